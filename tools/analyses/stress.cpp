#include "analyses/stress.h"

#include <math.h>

#include <algorithm>
#include <iostream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "scenario/memory_host.h"
#include "scenario/progress.h"
#include "scenario/runner.h"
#include "scenario/text.h"
#include "analyses/whatif.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

// The price step the crossing search resolves.
const double kCent = 0.01;

double ReferencePrice(const Market& m) {
    if (m.last >= 1e-8) return m.last;
    if (m.prevPrice >= 1e-8) return m.prevPrice;
    return m.bid;
}

bool Moves(const StressPlan& plan, const Security& sec) {
    return plan.security.empty() || sec.code == plan.security;
}

// Gives the host the scenario's prices with the moved ones shocked, as a terminal would.
void SetShock(const Scenario& s, const StressPlan& plan, double shock) {
    for (const Class& c : s.classes)
        for (const Security& sec : c.securities) {
            Market m = Moves(plan, sec) ? Shocked(sec.market, shock) : sec.market;
            memory_host::SetPrices(c.id, sec.id, m.offer, m.bid, m.prevPrice, m.last, m.accruedInt);
        }
}

// The largest reference price that moves: a shock step below kCent / this moves no price by
// a cent.
double LargestMovingPrice(const Scenario& s, const StressPlan& plan) {
    double largest = 0;
    for (const Class& c : s.classes)
        for (const Security& sec : c.securities)
            if (Moves(plan, sec)) largest = std::max(largest, ReferencePrice(sec.market));
    return largest;
}

class Evaluator {
  public:
    Evaluator(const Scenario& s, const StressPlan& plan) : s_(s), plan_(plan) {}

    RowResult Row(const RowRequest& req, double shock, bool actv) {
        SetShock(s_, plan_, shock);
        RunOptions o;
        o.actv = actv;
        RowResult r = RunRow(req, o);
        // The host's call log only grows; nothing here reads it.
        memory_host::host().log.clear();
        return r;
    }

    CrossingSide Side(const RowRequest& req, double shock) {
        CrossingSide side;
        side.shock = shock;
        side.value = Figure(Row(req, shock, false), plan_.levelFigure);
        for (const Class& c : s_.classes)
            for (const Security& sec : c.securities) {
                if (!Moves(plan_, sec)) continue;
                Market m = Shocked(sec.market, shock);
                if (!plan_.security.empty()) side.price = ReferencePrice(m);
                side.markets.emplace_back(sec.code, m);
            }
        return side;
    }

  private:
    const Scenario& s_;
    const StressPlan& plan_;
};

bool Below(double value, const StressPlan& plan) {
    return value < plan.level;
}

// Narrows [a, b], whose figures lie on either side of the level, until no moved price differs
// by more than a cent between the ends; `near` is the end nearer the unshocked market.
Crossing Bisect(Evaluator& eval, const RowRequest& req, CrossingSide near, CrossingSide far,
                const StressPlan& plan, double largestPrice) {
    for (int i = 0; i < 200 && fabs(far.shock - near.shock) * largestPrice > kCent; ++i) {
        CrossingSide mid = eval.Side(req, (near.shock + far.shock) / 2.0);
        if (mid.value != mid.value) break;
        if (Below(mid.value, plan) == Below(near.value, plan))
            near = mid;
        else
            far = mid;
    }
    Crossing c;
    c.before = near;
    c.at = far;
    c.down = Below(far.value, plan) && !Below(near.value, plan);
    return c;
}

void FindCrossings(Evaluator& eval, ClientStress* c, const std::vector<double>& shocks,
                   const StressPlan& plan, double largestPrice) {
    for (size_t i = 0; i + 1 < c->points.size(); ++i) {
        double va = Figure(c->points[i].row, plan.levelFigure);
        double vb = Figure(c->points[i + 1].row, plan.levelFigure);
        if (va != va || vb != vb || Below(va, plan) == Below(vb, plan)) continue;
        double a = shocks[i], b = shocks[i + 1];
        // The crossing is read moving away from the unshocked market.
        bool aNearer = fabs(a) < fabs(b) || (fabs(a) == fabs(b) && a < b);
        CrossingSide near = eval.Side(c->request, aNearer ? a : b);
        CrossingSide far = eval.Side(c->request, aNearer ? b : a);
        c->crossings.push_back(Bisect(eval, c->request, near, far, plan, largestPrice));
    }
    // Nearest the unshocked market first.
    std::stable_sort(
        c->crossings.begin(), c->crossings.end(),
        [](const Crossing& x, const Crossing& y) { return fabs(x.at.shock) < fabs(y.at.shock); });
}

} // namespace

double Figure(const RowResult& r, const std::string& name) {
    double v = std::numeric_limits<double>::quiet_NaN();
    if (r.ok) // read at every step of a bisection: no copy of the row's figures
        ForEachField(r.row, [&](const RowField& f, double x) {
            if (name == f.name) v = x;
        });
    return v;
}

bool ParseLevel(const std::string& text, StressPlan* plan, std::string* reason) {
    size_t eq = text.find('=');
    if (eq == std::string::npos) {
        *reason = "expected FIGURE=NUMBER, e.g. marginLevel=50";
        return false;
    }
    std::string name = text.substr(0, eq);
    KRMarginalRow any{};
    any.size = KR_ROW_SIZE_280;
    bool known = false;
    for (const auto& f : RowFigures(any))
        known = known || f.first == name;
    if (!known) {
        *reason = "'" + name + "' is not a row figure (marginLevel, equity, buyCapacity, ...)";
        return false;
    }
    try {
        plan->level = ParseNumber(text.substr(eq + 1), name);
    } catch (const WhatIfError& e) {
        *reason = e.what();
        return false;
    }
    plan->levelFigure = name;
    return true;
}

StressResult RunStress(const Scenario& s, const StressPlan& plan) {
    if (!plan.security.empty()) {
        bool found = false;
        for (const Class& c : s.classes)
            for (const Security& sec : c.securities)
                found = found || sec.code == plan.security;
        if (!found) throw std::runtime_error("the scenario has no security " + plan.security);
    }
    StressResult out;
    out.plan = plan;
    int n = plan.steps < 2 ? 2 : plan.steps;
    // The ends weighted, not stepped; a shock within rounding of 0 moves no price (1 + it is
    // 1.0) and is shown as 0.
    for (int i = 0; i < n; ++i) {
        double shock = (plan.from * double(n - 1 - i) + plan.to * double(i)) / double(n - 1);
        out.shocks.push_back(fabs(shock) < 1e-12 ? 0.0 : shock);
    }
    // The scenario's own prices are always a row of the grid.
    if (plan.from < 0 && plan.to > 0 &&
        std::find(out.shocks.begin(), out.shocks.end(), 0.0) == out.shocks.end())
        out.shocks.insert(std::upper_bound(out.shocks.begin(), out.shocks.end(), 0.0), 0.0);

    RunOptions baseOptions;
    baseOptions.trace = true;
    baseOptions.progress = false; // the shocks below show it, client by client
    out.base = RunScenario(s, baseOptions);
    Evaluator eval(s, plan);
    const double largest = LargestMovingPrice(s, plan);
    Progress progress(out.base.rows.size());
    for (const RowResult& b : out.base.rows) {
        progress.Step();
        if (!plan.clients.empty() && std::find(plan.clients.begin(), plan.clients.end(),
                                               b.request.client) == plan.clients.end())
            continue;
        ClientStress c;
        c.request = b.request;
        c.base = b;
        for (double shock : out.shocks) {
            StressPoint p;
            p.shock = shock;
            for (const Class& cl : s.classes)
                for (const Security& sec : cl.securities)
                    if (!plan.security.empty() && sec.code == plan.security)
                        p.price = ReferencePrice(Shocked(sec.market, shock));
            p.row = eval.Row(c.request, shock, plan.actv);
            c.points.push_back(p);
        }
        if (!plan.levelFigure.empty()) FindCrossings(eval, &c, out.shocks, plan, largest);
        out.clients.push_back(c);
    }
    SetShock(s, plan, 0.0);
    return out;
}

std::vector<const ClientStress*> RankedClients(const StressResult& r) {
    const StressPlan& plan = r.plan;
    std::vector<const ClientStress*> order;
    for (const ClientStress& c : r.clients)
        order.push_back(&c);
    if (plan.levelFigure.empty()) return order;
    const double inf = std::numeric_limits<double>::infinity();
    // (group, value): below the level by its figure, then by the move, then none, then failed.
    auto key = [&](const ClientStress* c) {
        if (!c->base.ok) return std::make_pair(3, 0.0);
        double d = DistanceToLevel(*c, plan);
        if (d == 0) return std::make_pair(0, Figure(c->base, plan.levelFigure));
        return d < 0 ? std::make_pair(2, inf) : std::make_pair(1, d);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](const ClientStress* a, const ClientStress* b) { return key(a) < key(b); });
    return order;
}

double DistanceToLevel(const ClientStress& c, const StressPlan& plan) {
    double now = Figure(c.base, plan.levelFigure);
    if (now == now && Below(now, plan)) return 0.0;
    double best = -1;
    for (const Crossing& x : c.crossings)
        if (x.down && (best < 0 || fabs(x.at.shock) < best)) best = fabs(x.at.shock);
    return best;
}

} // namespace kesvar_cli

namespace kesvar_cli {

void AddStressOptions(CLI::App* cmd, StressArgs* a) {
    cmd->add_option("--security", a->security, "Move only this security's prices");
    cmd->add_flag("--all", a->all, "Move every price (the default)");
    cmd->add_option("--from", a->from, "First shock, in percent (default -50%)");
    cmd->add_option("--to", a->to, "Last shock, in percent (default 50%)");
    cmd->add_option("--steps", a->steps, "Shocks in the grid, ends included (default 21)")
        ->check(CLI::Range(2, 10001));
    cmd->add_option("--level", a->level,
                    "FIGURE=L: find where each client's row figure crosses L "
                    "(marginLevel=50, equity=0, buyCapacity=0)");
    cmd->add_flag("--actv", a->actv, "Every actv request at every shock too");
    cmd->add_option("--client", a->clients, "Only this client code (repeatable)");
    cmd->add_option("--top", a->top, "Only the N clients nearest their margin call")
        ->check(CLI::PositiveNumber);
}

StressPlan StressPlanOf(const StressArgs& a) {
    if (a.all && !a.security.empty()) throw CommandError("--all and --security exclude each other");
    StressPlan plan;
    plan.from = ParsePercent(a.from, "--from " + a.from);
    plan.to = ParsePercent(a.to, "--to " + a.to);
    if (!(plan.from < plan.to) || plan.from < -1.0)
        throw CommandError("--from must lie below --to, and no shock below -100%");
    plan.security = a.security;
    plan.steps = a.steps;
    plan.clients = a.clients;
    plan.actv = a.actv;
    plan.firm = a.allClients || !a.failBelow.empty();
    plan.failBelow = ParseLevels(a.failBelow, "--fail-below");
    std::string reason;
    if (!a.level.empty() && !ParseLevel(a.level, &plan, &reason))
        throw CommandError("--level " + a.level + ": " + reason);
    return plan;
}

StressResult StressOfFile(const std::string& scenario, const StressArgs& args, const WhatIf& whatIf,
                          Scenario* ran) {
    StressPlan plan = StressPlanOf(args);
    Scenario s;
    std::vector<Warning> warnings;
    LoadScenarioWithWhatIf(scenario, whatIf, &s, std::cerr, &warnings, !args.allClients);
    if (args.allClients) RequestAllClients(&s);
    std::vector<OrderImpact> basket = ApplyBasket(whatIf, &s);
    if (args.allClients && !basket.empty()) RequestAllClients(&s); // new holdings' actv
    for (const std::string& code : plan.clients) {
        bool found = false;
        for (const RowRequest& q : s.rows)
            found = found || q.client == code;
        if (!found) throw CommandError("--client " + code + ": no row of the scenario asks for it");
    }
    StressResult out;
    try {
        out = RunStress(s, plan);
    } catch (const std::runtime_error& e) {
        throw CommandError("--security " + plan.security + ": " + e.what());
    }
    out.args = args;
    out.whatIf = whatIf;
    out.basket = std::move(basket);
    out.warnings = warnings;
    out.scenarioText = s.text;
    out.firms = s.firms;
    out.classes = s.classes;
    if (args.top > 0 && size_t(args.top) < out.clients.size()) {
        std::vector<ClientStress> nearest;
        for (const ClientStress* c : RankedClients(out))
            if (nearest.size() < size_t(args.top)) nearest.push_back(*c);
        out.clients = nearest;
    }
    if (ran) *ran = std::move(s);
    return out;
}

} // namespace kesvar_cli

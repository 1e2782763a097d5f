// Reads the settings record the loader builds.
#define KESVAR_INTERNAL_SETTINGS

#include "analyses/cure.h"

#include <string.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "analyses/stress.h"
#include "exports/internal.h"
#include "scenario/settings_reports.h"

namespace kesvar_cli {

namespace {

// Deposits above this (in hundredths) are not searched: no level needs them.
const int64_t kLargestDeposit = int64_t(1) << 50;

template <size_t N> std::string Text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

KRMoneyLimit* MoneyRecord(size_t i) {
    return reinterpret_cast<KRMoneyLimit*>(memory_host::host().moneyLimits[i].get());
}

KRSecLimit* SecRecord(size_t i) {
    return reinterpret_cast<KRSecLimit*>(memory_host::host().secLimits[i].get());
}

// A position the plan may trade: its record, how many of the record's units make a lot, and
// the money one lot moves at the trading price.
struct Holding {
    KRSecLimit* record = nullptr;
    std::string code;
    int32_t units = 0, unitsPerLot = 1, lots = 0;
    double lotCents = 0, key = 0, value = 0;
};

// The money one unit of the security fetches at `price` (percent of face value for a class
// quoted so, plus the accrued interest).
double MoneyPrice(const Class& c, const Security& s, double price) {
    return c.flags & 1 ? price * s.faceValue / 100 + s.market.accruedInt : price;
}

struct Cure {
    const Level& level;
    CureOrder order;
    std::map<std::string, std::pair<const Class*, const Security*>> securities;
    std::map<std::tuple<std::string, std::string>, size_t> firstMoney;
    std::map<std::tuple<std::string, std::string>, std::vector<size_t>> secRecords;
    // Firm and security code to the long and short weights of the firm's settings.
    std::map<std::tuple<std::string, std::string>, std::pair<double, double>> weights;

    double Weight(const std::string& firm, const std::string& code, int sign) const {
        auto it = weights.find(std::make_tuple(firm, code));
        if (it == weights.end()) return 1;
        return sign < 0 ? it->second.first : it->second.second;
    }

    double Eval(const RowRequest& req) const {
        RunOptions o;
        o.actv = false;
        return Figure(RunRow(req, o), level.figure);
    }
    bool Restored(double v) const { return !std::isnan(v) && v > level.level; }

    void Deposit(const RowRequest& req, KRMoneyLimit* money, ClientCure* out) const {
        const double balance = money->currentBalance;
        auto restoredWith = [&](int64_t cents, double* figure) {
            money->currentBalance = balance + double(cents);
            *figure = Eval(req);
            return Restored(*figure);
        };
        double v = 0;
        int64_t lo = 0, hi = 1;
        while (!restoredWith(hi, &v)) {
            lo = hi;
            if (hi >= kLargestDeposit) {
                money->currentBalance = balance;
                return;
            }
            hi *= 2;
        }
        while (hi - lo > 1) {
            int64_t mid = lo + (hi - lo) / 2;
            (restoredWith(mid, &v) ? hi : lo) = mid;
        }
        out->depositFound = true;
        out->depositCents = hi;
        restoredWith(hi, &out->afterDeposit);
        restoredWith(hi - 1, &out->oneCentLess);
        money->currentBalance = balance;
    }

    // Longs to sell at the bid (sign -1) or shorts to buy back at the offer (sign +1).
    std::vector<Holding> Holdings(const RowRequest& req, int sign) const {
        std::vector<Holding> out;
        auto it = secRecords.find(std::make_tuple(req.firm, req.client));
        if (it == secRecords.end()) return out;
        const bool inLots = KRIsLimitsInLots(req.firm.c_str()) != 0;
        for (size_t i : it->second) {
            KRSecLimit* r = SecRecord(i);
            auto sec = securities.find(Text(r->secCode));
            if (sec == securities.end() || r->currentBalance * -sign <= 0) continue;
            const Class& c = *sec->second.first;
            const Security& s = *sec->second.second;
            Holding h;
            h.record = r;
            h.code = s.code;
            h.units = r->currentBalance;
            h.unitsPerLot = inLots ? 1 : std::max(s.lot, 1);
            // Units a working order has locked are spoken for: the plan trades the rest.
            const int32_t locked = sign < 0 ? r->lockedSell : r->lockedBuy;
            h.lots = std::max(std::abs(h.units) - std::max(locked, 0), 0) / h.unitsPerLot;
            const double price = sign < 0 ? s.market.bid : s.market.offer;
            h.lotCents = std::round(MoneyPrice(c, s, price) * std::max(s.lot, 1) * 100);
            h.value = h.lots * h.lotCents;
            const double change =
                h.lots * std::max(s.lot, 1) *
                (MoneyPrice(c, s, s.market.last) - MoneyPrice(c, s, s.market.prevPrice)) * -sign;
            h.key = order == CureOrder::Value  ? -h.value
                    : order == CureOrder::Loss ? change
                                               : -Weight(req.firm, Text(r->secCode), sign);
            if (h.lots > 0) out.push_back(h);
        }
        std::stable_sort(out.begin(), out.end(), [](const Holding& a, const Holding& b) {
            return a.key != b.key ? a.key < b.key : a.value > b.value;
        });
        return out;
    }

    TradePlan Plan(const RowRequest& req, KRMoneyLimit* money, int sign, double now) const {
        TradePlan plan;
        plan.best = now;
        std::vector<Holding> holdings = Holdings(req, sign);
        const double balance = money->currentBalance;
        double base = balance;
        auto trade = [&](const Holding& h, int32_t lots) {
            h.record->currentBalance = h.units + sign * lots * h.unitsPerLot;
            money->currentBalance = base - sign * lots * h.lotCents;
            return Eval(req);
        };
        for (const Holding& h : holdings) {
            double v = trade(h, h.lots);
            int32_t lots = h.lots;
            if (Restored(v)) {
                int32_t lo = 0;
                while (lots - lo > 1) {
                    int32_t mid = lo + (lots - lo) / 2;
                    (Restored(trade(h, mid)) ? lots : lo) = mid;
                }
                v = trade(h, lots);
            }
            plan.steps.push_back({h.code, lots, lots * h.unitsPerLot, lots * h.lotCents, v});
            if (!std::isnan(v)) plan.best = std::max(plan.best, v);
            base = money->currentBalance;
            if ((plan.restores = Restored(v))) break;
        }
        for (const Holding& h : holdings)
            h.record->currentBalance = h.units;
        money->currentBalance = balance;
        return plan;
    }
};

} // namespace

CureResult RunCure(const Scenario& s, const Level& level, CureOrder order) {
    CureResult out;
    out.level = level;
    out.order = order;
    RunOptions o;
    o.actv = false;
    out.base = RunScenario(s, o);
    Cure cure{level, order, {}, {}, {}, {}};
    std::vector<Warning> reported; // `run` and `check` show them; a cure does not
    if (order == CureOrder::Weight)
        for (const Firm& f : s.firms)
            LoadSettingsText(
                f.settings, f.source, &reported, nullptr, [&](const kesvar::FirmRecord& record) {
                    // The first line of a code counts, as in the library.
                    for (int32_t i = 0; i < record.securityWeights.count; ++i) {
                        const kesvar::SecurityWeight& w = record.securityWeights[i];
                        cure.weights.emplace(std::make_tuple(f.id, w.secCode),
                                             std::make_pair(w.longWeight, w.shortWeight));
                    }
                });
    for (const Class& c : s.classes)
        for (const Security& sec : c.securities)
            cure.securities.emplace(sec.code, std::make_pair(&c, &sec));
    for (size_t i = 0; i < memory_host::host().moneyLimits.size(); ++i) {
        const KRMoneyLimit* m = MoneyRecord(i);
        cure.firstMoney.emplace(std::make_tuple(Text(m->firmId), Text(m->clientCode)), i);
    }
    for (size_t i = 0; i < memory_host::host().secLimits.size(); ++i) {
        const KRSecLimit* p = SecRecord(i);
        auto key = std::make_tuple(Text(p->firmId), Text(p->clientCode));
        auto& list = cure.secRecords[key];
        // The first record of each security holds the position the plan moves.
        bool seen = false;
        for (size_t j : list)
            seen = seen || strncmp(SecRecord(j)->secCode, p->secCode, sizeof p->secCode) == 0;
        if (!seen) list.push_back(i);
    }
    for (const RowResult& row : out.base.rows) {
        if (!AtOrBelow(row, level)) continue;
        ClientCure c;
        c.request = row.request;
        c.figure = Figure(row, level.figure);
        auto money = cure.firstMoney.find(std::make_tuple(row.request.firm, row.request.client));
        c.hasMoney = money != cure.firstMoney.end();
        if (c.hasMoney) {
            KRMoneyLimit* m = MoneyRecord(money->second);
            cure.Deposit(row.request, m, &c);
            c.sales = cure.Plan(row.request, m, -1, c.figure);
            c.buyBack = cure.Plan(row.request, m, +1, c.figure);
        }
        out.clients.push_back(c);
    }
    return out;
}

} // namespace kesvar_cli

#include "outputs/report.h"

#include <math.h>
#include <time.h>

#include <algorithm>
#include <sstream>

#include <nlohmann/json.hpp>

#include "analyses/explain.h"
#include "outputs/csv.h"
#include "outputs/cure_output.h"
#include "outputs/html.h"
#include "outputs/interactive.h"
#include "outputs/order_output.h"
#include "outputs/run_output.h"
#include "scenario/text.h"
#include "kesvar_version.h"

namespace kesvar_cli {

namespace {

// Screen and print (A4) in one sheet; system fonts only.
const char* const kStyle = R"CSS(
:root { --ink: #1b1f24; --muted: #5a6470; --rule: #d5dbe1; --band: #f3f5f7; --warn: #b3261e;
        --line1: #1f5fa8; --line2: #2e7d32; }
* { box-sizing: border-box; }
body { margin: 0 auto; max-width: 72rem; padding: 1.5rem; color: var(--ink);
       font: 15px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial, sans-serif; }
h1 { font-size: 1.6rem; margin: 0 0 .25rem; }
h2 { font-size: 1.25rem; margin: 2rem 0 .5rem; padding-top: .5rem; border-top: 2px solid var(--ink); }
h3 { font-size: 1rem; margin: 1.25rem 0 .4rem; }
p.lead, p.note { color: var(--muted); margin: .25rem 0 .75rem; }
a { color: var(--line1); }
a:focus { outline: 3px solid #ffbf47; outline-offset: 2px; }
nav ol { columns: 3 14rem; margin: .25rem 0 0; padding-left: 1.25rem; }
table { border-collapse: collapse; width: 100%; margin: .25rem 0 .75rem; font-variant-numeric: tabular-nums; }
caption { text-align: left; font-weight: 600; padding: .25rem 0; }
th, td { padding: .2rem .45rem; border-bottom: 1px solid var(--rule); vertical-align: top; }
th { text-align: left; font-weight: 600; background: var(--band); }
td.num, th.num { text-align: right; white-space: nowrap; }
td.why { font-size: .85em; color: var(--muted); }
.warn { color: var(--warn); font-weight: 600; }
.figures { display: grid; grid-template-columns: 1fr 1fr; gap: 0 1.5rem; }
.figures table { margin: 0; }
.stress { display: grid; grid-template-columns: 3fr 2fr; gap: 1rem; align-items: start; }
.charts { display: grid; gap: 1rem; }
figure { margin: 0; }
#prices input[type=number] { width: 8rem; }
figcaption { font-size: .9em; color: var(--muted); }
svg { width: 100%; height: auto; display: block; }
svg text { font: 11px system-ui, sans-serif; fill: var(--ink); }
table.grid { font-size: .8em; }
aside.cure { border-left: 3px solid var(--warn); padding-left: .6rem; margin-bottom: .75rem; }
aside.cure h4 { margin: 0 0 .25rem; }
aside.cure table { font-size: .85em; }
table.about { width: auto; }
table.about th { width: 9rem; }
table.firm { width: auto; min-width: 30rem; }
code { font-size: .85em; color: var(--muted); }
ul.warnings { font-size: .85em; color: var(--muted); margin: .25rem 0; }
table.grid td { padding: .05rem .4rem; }
@media print {
  @page { size: A4; margin: 14mm 12mm; }
  body { max-width: none; padding: 0; font-size: 9.5pt; }
  nav { display: none; }
  h2 { break-after: avoid; }
  section.client { break-before: page; }
  table, figure, .figures, aside.cure { break-inside: avoid; }
  a { color: inherit; text-decoration: none; }
  section.client h3, section.client .lead { break-after: avoid; }
}
)CSS";

std::string Anchor(const RowRequest& q) {
    std::string id = "client-";
    for (char c : q.firm + "-" + q.client)
        id += isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return id;
}

// A row figure in words, for the reader who does not know the record.
const char* Label(const std::string& field) {
    static const std::pair<const char*, const char*> kLabels[] = {
        {"moneyAvailable", "Money available"},
        {"openCollateral", "Collateral at the open"},
        {"leverage", "Leverage"},
        {"openLimitTotal", "Opening money limits"},
        {"shortValue", "Short positions, weighted"},
        {"longValue", "Long positions, weighted"},
        {"longValueMargin", "of which margin securities"},
        {"longValueAsset", "of which asset-only securities"},
        {"equity", "Equity"},
        {"marginLevel", "Margin level, %"},
        {"creditCapacity", "Credit capacity"},
        {"buyCapacity", "Buying capacity"},
        {"buyCommitment", "Money committed to buy orders"},
        {"buyCommitmentMargin", "of which margin securities"},
        {"buyCommitmentAsset", "of which asset-only securities"},
        {"uncoveredSellValue", "Sell orders beyond holdings"},
        {"lockedValueTotal", "Money locked by orders"},
        {"marginBuyLimit", "Buy limit, margin securities"},
        {"buyCapacityCopy", "Buying capacity (copy)"},
        {"ownBuyLimit", "Buy limit, own funds"},
        {"assetBuyLimit", "Buy limit, asset-only securities"},
        {"settlementDebt", "Debt due on settlement"},
        {"openValue", "Value at the open"},
        {"currentValue", "Value now"},
        {"moneyCurrent", "Own money now"},
        {"moneyLocked", "Money locked"},
        {"currentLeverage", "Leverage now"},
        {"equitySurplus", "Collateral beyond equity"},
    };
    for (const auto& l : kLabels)
        if (field == l.first) return l.second;
    return "";
}

// The one number format of the page: ratios to 4 decimals, every other figure to 2.
std::string Number(const std::string& field, double v) {
    return field == "leverage" || field == "currentLeverage" ? Sprintf("%.4f", v) : Amount(v);
}

std::string Labelled(const std::string& field) {
    return Escape(Label(field)) + " <code>" + field + "</code>";
}

std::string ClientName(const RowRequest& q) {
    return q.client + " (firm " + q.firm + ")";
}

// One chart: a row figure against the shock, its own level, and where it crosses it.
struct Chart {
    std::string id, figure;
    double level;
    std::string levelName; // "level 50", "zero"
    const char* colour;
};

// The chart of each figure the report draws, with the level each is read against: the
// margin level against the plan's (50 by default), equity and buying capacity against zero
// unless the plan's level is theirs.
std::vector<Chart> ChartsOf(const StressPlan& plan, const std::string& anchor) {
    std::vector<Chart> charts = {{anchor + "-level", "marginLevel", 50, "", "#1f5fa8"},
                                 {anchor + "-equity", "equity", 0, "", "#2e7d32"},
                                 {anchor + "-buy", "buyCapacity", 0, "", "#7b3fa0"}};
    for (Chart& c : charts) {
        if (plan.levelFigure == c.figure) c.level = plan.level;
        c.levelName = c.level == 0 ? std::string("zero") : "level " + Sprintf("%g", c.level);
    }
    return charts;
}

// Where the figure changes side of the level between two grid points, by linear
// interpolation between them.
std::vector<double> GridCrossings(const ClientStress& c, const Chart& ch) {
    std::vector<double> at;
    for (size_t i = 0; i + 1 < c.points.size(); ++i) {
        double a = Figure(c.points[i].row, ch.figure);
        double b = Figure(c.points[i + 1].row, ch.figure);
        if (a != a || b != b || (a < ch.level) == (b < ch.level)) continue;
        double sa = c.points[i].shock, sb = c.points[i + 1].shock;
        at.push_back(sa + (ch.level - a) / (b - a) * (sb - sa));
    }
    return at;
}

double NiceStep(double span) {
    double raw = span / 5.0;
    double p = pow(10.0, floor(log10(raw)));
    double m = raw / p;
    return (m < 1.5 ? 1 : m < 3 ? 2 : m < 7 ? 5 : 10) * p;
}

std::string Svg(const Chart& ch, const StressResult& r, const ClientStress& c) {
    const double w = 560, h = 250, left = 72, right = 24, top = 24, bottom = 38;
    std::vector<double> xs, ys;
    for (const StressPoint& p : c.points) {
        double v = Figure(p.row, ch.figure);
        if (v != v) continue;
        xs.push_back(p.shock);
        ys.push_back(v);
    }
    std::ostringstream s;
    s << "<svg viewBox=\"0 0 " << w << " " << h << "\" role=\"img\" aria-labelledby=\"" << ch.id
      << "-t\"><title id=\"" << ch.id << "-t\">" << Escape(Label(ch.figure)) << " of client "
      << Escape(ClientName(c.request)) << " against the price shock</title>";
    if (xs.empty()) return s.str() + "<text x=\"20\" y=\"40\">no figures</text></svg>";
    double ylo = std::min(*std::min_element(ys.begin(), ys.end()), ch.level);
    double yhi = std::max(*std::max_element(ys.begin(), ys.end()), ch.level);
    if (yhi - ylo < 1e-9) {
        ylo -= 1;
        yhi += 1;
    }
    double step = NiceStep(yhi - ylo);
    ylo = floor(ylo / step) * step;
    yhi = ceil(yhi / step) * step;
    const double xlo = r.shocks.front(), xhi = r.shocks.back();
    auto X = [&](double x) { return left + (x - xlo) / (xhi - xlo) * (w - left - right); };
    auto Y = [&](double y) { return top + (yhi - y) / (yhi - ylo) * (h - top - bottom); };
    s << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << w - left - right
      << "\" height=\"" << h - top - bottom << "\" fill=\"none\" stroke=\"#d5dbe1\"/>";
    for (double y = ylo; y <= yhi + step / 2; y += step) {
        s << Sprintf("<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#eef1f4\"/>",
                     left, w - right, Y(y), Y(y));
        s << Sprintf("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>", left - 6,
                     Y(y) + 4, Escape(Sprintf("%g", fabs(y) < step / 1e6 ? 0.0 : y)).c_str());
    }
    const double xstep = NiceStep(xhi - xlo);
    for (double x = ceil(xlo / xstep - 1e-9) * xstep; x <= xhi + xstep * 1e-9; x += xstep)
        s << Sprintf("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>", X(x),
                     h - bottom + 16, Percent(x).c_str());
    s << Sprintf("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">price shock (%s)</text>",
                 left + (w - left - right) / 2, h - 4,
                 Escape(r.plan.security.empty() ? "every price" : r.plan.security).c_str());
    s << Sprintf("<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#b3261e\" "
                 "stroke-dasharray=\"6 4\" stroke-width=\"1.5\"/>",
                 left, w - right, Y(ch.level), Y(ch.level));
    s << "<polyline fill=\"none\" stroke=\"" << ch.colour << "\" stroke-width=\"2\" points=\"";
    for (size_t i = 0; i < xs.size(); ++i)
        s << Sprintf("%s%.1f,%.1f", i ? " " : "", X(xs[i]), Y(ys[i]));
    s << "\"/>";
    for (size_t i = 0; i < xs.size(); ++i)
        s << Sprintf("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"2.2\" fill=\"%s\"/>", X(xs[i]), Y(ys[i]),
                     ch.colour);
    // Labels go in the band above the plot, clear of both axes' ticks.
    const std::vector<double> crossings = GridCrossings(c, ch);
    std::string said = ch.levelName + ": ";
    for (size_t i = 0; i < crossings.size(); ++i) {
        double x = crossings[i];
        s << Sprintf("<circle class=\"crossing\" data-crossing-figure=\"%s\" "
                     "data-crossing-shock=\"%s\" data-level=\"%s\" cx=\"%.1f\" cy=\"%.1f\" "
                     "r=\"6\" fill=\"none\" stroke=\"#b3261e\" stroke-width=\"2\"/>"
                     "<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#b3261e\" "
                     "stroke-dasharray=\"1 2\"/>",
                     ch.figure.c_str(), Exact(x).c_str(), Exact(ch.level).c_str(), X(x),
                     Y(ch.level), X(x), X(x), top, Y(ch.level));
        said += (i ? ", " : "crossed at ") + Percent(x);
    }
    if (crossings.empty()) said += "none in range";
    s << Sprintf("<text x=\"%.1f\" y=\"%.1f\" fill=\"#b3261e\">%s</text>", left, top - 8,
                 Escape(said).c_str());
    s << "</svg>";
    return s.str();
}

std::string CallText(const ClientStress& c, const StressPlan& plan) {
    double d = DistanceToLevel(c, plan);
    if (d == 0) return "already below the level";
    for (const Crossing& x : c.crossings)
        if (x.down && fabs(x.at.shock) == d) {
            std::string s = "at a shock of " + Percent(x.at.shock);
            if (!plan.security.empty())
                s += " (" + plan.security + " at " + Amount(x.at.price) + ")";
            return s;
        }
    return "none in " + Percent(plan.from) + " to " + Percent(plan.to);
}

void Summary(std::ostream& o, const StressResult& r) {
    const StressPlan& plan = r.plan;
    o << "<section id=\"summary\"><h2>Clients by distance to their margin call</h2>\n"
      << "<p class=\"note\">The margin call is " << Escape(plan.levelFigure) << " below "
      << Escape(Sprintf("%g", plan.level)) << ", with "
      << Escape(plan.security.empty() ? "every price" : "the prices of " + plan.security)
      << " moved from " << Percent(plan.from) << " to " << Percent(plan.to)
      << "; the crossing is found to a cent of price. Clients already below come first, the "
         "furthest below first; then the nearest.</p>\n"
      << "<table><thead><tr><th scope=\"col\">#</th><th scope=\"col\">Client</th>"
         "<th scope=\"col\">Firm</th><th scope=\"col\" class=\"num\">"
      << Labelled("equity") << "</th><th scope=\"col\" class=\"num\">" << Labelled("marginLevel")
      << "</th><th scope=\"col\" class=\"num\">" << Labelled("buyCapacity")
      << "</th><th scope=\"col\">Margin call</th></tr></thead><tbody>\n";
    int rank = 0;
    for (const ClientStress* c : RankedClients(r)) {
        o << "<tr data-firm=\"" << Escape(c->request.firm) << "\" data-client=\""
          << Escape(c->request.client) << "\"><td>" << ++rank << "</td><td><a href=\"#"
          << Anchor(c->request) << "\">" << Escape(c->request.client) << "</a></td><td>"
          << Escape(c->request.firm) << "</td>";
        if (!c->base.ok) {
            o << "<td colspan=\"4\" class=\"warn\">" << Escape(c->base.failure.call)
              << " failed: " << ErrorName(c->base.failure.code) << "</td></tr>\n";
            continue;
        }
        double d = DistanceToLevel(*c, plan);
        o << "<td class=\"num\">" << Number("equity", c->base.row.equity)
          << "</td><td class=\"num\">" << Number("marginLevel", c->base.row.marginLevel)
          << "</td><td class=\"num\">" << Number("buyCapacity", c->base.row.buyCapacity)
          << "</td><td" << (d >= 0 && d < 0.1 ? " class=\"warn\"" : "") << ">"
          << Escape(CallText(*c, plan)) << "</td></tr>\n";
    }
    o << "</tbody></table></section>\n";
}

void FiguresTables(std::ostream& o, const RowResult& row) {
    o << "<h3>Figures</h3>\n<div class=\"figures\">";
    auto figures = RowFigures(row.row);
    size_t per = (figures.size() + 1) / 2;
    for (size_t part = 0; part < 2; ++part) {
        o << "<table><thead><tr><th scope=\"col\">Figure</th><th scope=\"col\" "
             "class=\"num\">Value</th></tr></thead><tbody>";
        for (size_t i = part * per; i < std::min(figures.size(), (part + 1) * per); ++i)
            o << "<tr><th scope=\"row\">" << Labelled(figures[i].first)
              << "</th><td class=\"num\" data-figure=\"" << figures[i].first << "\" data-value=\""
              << Exact(figures[i].second) << "\">" << Number(figures[i].first, figures[i].second)
              << "</td></tr>";
        o << "</tbody></table>";
    }
    o << "</div>\n";
}

void PositionsTable(std::ostream& o, const RowResult& row) {
    if (row.actv.empty()) return;
    o << "<h3>Positions</h3>\n<table><thead><tr><th scope=\"col\">Security</th>"
         "<th scope=\"col\" class=\"num\">Position <code>position</code></th><th scope=\"col\" "
         "class=\"num\">May buy <code>maxBuy</code></th><th scope=\"col\" class=\"num\">May sell "
         "<code>maxSell</code></th><th scope=\"col\" class=\"num\">Value at the last price "
         "<code>value</code></th><th scope=\"col\">Why</th></tr></thead><tbody>\n";
    for (const ActvResult& a : row.actv) {
        o << "<tr data-security=\"" << Escape(a.request.secCode) << "\"";
        if (!a.ok) {
            o << "><th scope=\"row\">" << Escape(a.request.secCode)
              << "</th><td colspan=\"5\" class=\"warn\">" << Escape(a.failure.call)
              << " failed: " << ErrorName(a.failure.code) << "</td></tr>\n";
            continue;
        }
        const KRMarginalActv& v = a.actv;
        o << " data-position=\"" << v.position << "\" data-max-buy=\"" << v.maxBuy
          << "\" data-max-sell=\"" << v.maxSell << "\" data-value=\"" << Exact(v.value)
          << "\"><th scope=\"row\">" << Escape(a.request.secCode)
          << (a.request.price > 0 ? " @" + Price(a.request.price) : std::string())
          << "</th><td class=\"num\">" << v.position << "</td><td class=\"num\">" << v.maxBuy
          << "</td><td class=\"num\">" << v.maxSell << "</td><td class=\"num\">" << Amount(v.value)
          << "</td><td class=\"why\">" << Escape(ExplainLine(a)) << "</td></tr>\n";
    }
    o << "</tbody></table>\n";
}

// The firm at the scenario's prices, summed as `run --all-clients` sums it: every row the
// scenario ran, whichever clients the page goes on to show.
void FirmPart(std::ostream& o, const StressResult& r) {
    const Level level{r.plan.levelFigure, r.plan.level};
    const FirmSummary s = SummarizeFirm(r.base, {level});
    o << "<section id=\"firm\"><h2>The firm</h2>\n<p class=\"note\">Every row the scenario "
         "ran, unshocked, summed as <code>run --all-clients</code> sums them.</p>\n"
         "<table class=\"firm\"><tbody>";
    auto line = [&](const char* key, const std::string& words, const std::string& exact,
                    const std::string& shown) {
        o << "<tr><th scope=\"row\">" << words << "</th><td class=\"num\" data-firm-figure=\""
          << key << "\" data-value=\"" << exact << "\">" << shown << "</td></tr>";
    };
    line("clients", "Clients", std::to_string(s.clients), std::to_string(s.clients));
    line("failed", "Rows that failed", std::to_string(s.failed), std::to_string(s.failed));
    const std::pair<const char*, double> totals[] = {
        {"equity", s.equity}, {"longValue", s.longValue}, {"shortValue", s.shortValue}};
    for (const auto& t : totals)
        line(t.first, Labelled(t.first) + ", total", Exact(t.second), Number(t.first, t.second));
    for (const LevelCount& c : s.levels) {
        o << "<tr><th scope=\"row\">At or below " << Labelled(c.level.figure) << " "
          << Escape(Sprintf("%g", c.level.level)) << "</th><td class=\"num\" data-firm-level=\""
          << c.level.figure << "\" data-level=\"" << Exact(c.level.level) << "\" data-value=\""
          << c.clients.size() << "\">" << c.clients.size() << "</td></tr>";
        for (const RowResult* row : c.clients)
            o << "<tr><td>" << Escape(ClientName(row->request)) << "</td><td class=\"num\">"
              << Number(c.level.figure, Figure(*row, c.level.figure)) << "</td></tr>";
    }
    o << "</tbody></table></section>\n";
}

void PlanTable(std::ostream& o, const char* what, const TradePlan& p, const Level& level) {
    if (p.steps.empty()) return;
    o << "<table><caption>" << Escape(what) << "</caption><thead><tr><th scope=\"col\">Security"
      << "</th><th scope=\"col\" class=\"num\">Lots</th><th scope=\"col\" class=\"num\">Money"
      << "</th><th scope=\"col\" class=\"num\">" << Labelled(level.figure)
      << " after</th></tr></thead><tbody>";
    for (const CureStep& step : p.steps)
        o << "<tr data-cure-security=\"" << Escape(step.security) << "\" data-cure-lots=\""
          << step.lots << "\"><th scope=\"row\">" << Escape(step.security)
          << "</th><td class=\"num\">" << step.lots << "</td><td class=\"num\">"
          << Amount(step.cents / 100) << "</td><td class=\"num\">"
          << Number(level.figure, step.figure) << "</td></tr>";
    o << "</tbody></table><p class=\"note\">"
      << (p.restores
              ? std::string("This restores the level.")
              : "Not enough alone: the best reachable is " + Number(level.figure, p.best) + ".")
      << "</p>";
}

// What restores the level for a client at or below it: the cure analysis's deposit, sales and
// buy-backs. Nothing for a client above it.
void CureAside(std::ostream& o, const CureResult* cures, const RowRequest& q) {
    if (!cures) return;
    for (const ClientCure& c : cures->clients) {
        if (c.request.firm != q.firm || c.request.client != q.client) continue;
        const Level& l = cures->level;
        o << "<aside class=\"cure\" data-cure-client=\"" << Escape(q.client) << "\"><h4>What "
          << "restores " << Labelled(l.figure) << " above " << Escape(Sprintf("%g", l.level))
          << "</h4>";
        if (!c.hasMoney) {
            o << "<p>No money limit: nothing to deposit into or trade through.</p></aside>";
            return;
        }
        if (c.depositFound)
            o << "<p data-cure-deposit=\"" << Exact(double(c.depositCents) / 100)
              << "\">A deposit of <strong>" << Amount(double(c.depositCents) / 100)
              << "</strong> into the first money limit: " << l.figure << " "
              << Apart(c.afterDeposit, c.oneCentLess)
              << " (one cent less: " << Apart(c.oneCentLess, c.afterDeposit) << ").</p>";
        else
            o << "<p>No deposit restores it.</p>";
        PlanTable(o, (std::string("Or sell, ") + CureOrderName(cures->order)).c_str(), c.sales, l);
        PlanTable(o, "Or buy back shorts", c.buyBack, l);
        o << "</aside>";
        return;
    }
}

void StressPart(std::ostream& o, const StressResult& r, const ClientStress& c,
                const CureResult* cures) {
    const StressPlan& plan = r.plan;
    const std::vector<Chart> charts = ChartsOf(plan, Anchor(c.request));
    o << "<h3>Stress</h3>\n<div class=\"stress\"><div class=\"charts\">";
    for (const Chart& ch : charts)
        o << "<figure>" << Svg(ch, r, c) << "<figcaption>" << Labelled(ch.figure)
          << "; the dashed line is " << ch.levelName
          << ", each crossing circled where the grid's line meets it.</figcaption></figure>";
    o << "</div>\n<div>";
    CureAside(o, cures, c.request);
    o << "<table class=\"grid\"><caption>The stress grid</caption><thead><tr><th "
         "scope=\"col\" class=\"num\">Shock</th>"
      << (plan.security.empty() ? "" : "<th scope=\"col\" class=\"num\">Price</th>");
    for (const Chart& ch : charts)
        o << "<th scope=\"col\" class=\"num\">" << Labelled(ch.figure) << "</th>";
    o << "</tr></thead><tbody>";
    for (const StressPoint& p : c.points) {
        o << "<tr data-grid-shock=\"" << Exact(p.shock) << "\"><td class=\"num\">"
          << Percent(p.shock) << "</td>";
        if (!plan.security.empty()) o << "<td class=\"num\">" << Amount(p.price) << "</td>";
        for (const Chart& ch : charts) {
            double v = Figure(p.row, ch.figure);
            o << "<td class=\"num\" data-grid-figure=\"" << ch.figure << "\" data-grid-value=\""
              << Exact(v) << "\">" << Number(ch.figure, v) << "</td>";
        }
        o << "</tr>";
    }
    o << "</tbody></table></div></div>\n";
}

void ClientSection(std::ostream& o, const StressResult& r, const ClientStress& c,
                   const CureResult* cures) {
    const RowRequest& q = c.request;
    const RowResult& row = c.base;
    o << "<section class=\"client\" id=\"" << Anchor(q) << "\" data-firm=\"" << Escape(q.firm)
      << "\" data-client=\"" << Escape(q.client) << "\">\n<h2>Client " << Escape(q.client)
      << " <small>firm " << Escape(q.firm) << "</small></h2>\n";
    if (!row.ok) {
        o << "<p class=\"warn\">" << Escape(row.failure.call) << " failed: " << row.failure.code
          << " " << ErrorName(row.failure.code) << "</p></section>\n";
        return;
    }
    o << "<p class=\"lead\">Credit lag " << (row.row.creditLag2 ? 2 : 1) << ". Margin call "
      << Escape(CallText(c, r.plan)) << ".</p>\n";
    FiguresTables(o, row);
    PositionsTable(o, row);
    StressPart(o, r, c, cures);
    o << "</section>\n";
}

// The --order basket the figures hold, each order with its verdict.
void BasketRow(std::ostream& o, const WhatIf& whatIf, const std::vector<OrderImpact>& basket) {
    if (basket.empty()) return;
    o << "<tr><th scope=\"row\">Orders</th><td>" << (whatIf.pending ? "pending" : "filled")
      << "; each order judged with the earlier ones working<ol class=\"basket\">";
    for (size_t i = 0; i < basket.size(); ++i)
        o << "<li data-order=\"" << Escape(whatIf.orders[i]) << "\" data-fits=\""
          << (basket[i].fits ? "true" : "false") << "\" data-largest=\"" << basket[i].largest
          << "\"><code>--order " << Escape(whatIf.orders[i])
          << "</code>: " << Escape(OrderText(basket[i])) << "; " << Escape(VerdictText(basket[i]))
          << "</li>";
    o << "</ol></td></tr>";
}

// What the figures are: the inputs, the overrides and the build that made them.
void Header(std::ostream& o, const ReportHeader& h, const StressResult& r) {
    o << "<header><h1>Margin risk report</h1>\n<table class=\"about\"><tbody>"
      << "<tr><th scope=\"row\">Scenario</th><td>" << Escape(h.scenario) << " <code>"
      << h.scenarioHash << "</code></td></tr>";
    for (const auto& f : h.firms)
        o << "<tr><th scope=\"row\">Firm " << Escape(f.id) << "</th><td>settings <code>"
          << f.settingsHash << "</code>; quantities in "
          << (f.limitsInLots == 0 ? "units (LIMITSINLOTS=0)" : "lots") << "</td></tr>";
    o << "<tr><th scope=\"row\">Prices</th><td>";
    if (h.whatIf.prices.empty() && h.whatIf.shifts.empty())
        o << "the scenario's own";
    else
        o << "the scenario's, overridden";
    for (const std::string& shift : h.whatIf.shifts)
        o << "; <code>--shift " << Escape(shift) << "</code>";
    for (const std::string& price : h.whatIf.prices)
        o << "; <code>--price " << Escape(price) << "</code>";
    o << "</td></tr>";
    BasketRow(o, h.whatIf, r.basket);
    o << "<tr><th scope=\"row\">Made by</th><td>" << Escape(h.versions) << ", " << Escape(h.time)
      << "</td></tr></tbody></table>\n<p class=\"lead\">" << r.clients.size() << " client"
      << (r.clients.size() == 1 ? "" : "s")
      << ". Money in money units. Hashes: FNV-1a 64-bit of the file's bytes.</p>\n";
    if (!r.warnings.empty()) {
        o << "<details open><summary>What <code>run</code> says about the scenario ("
          << r.warnings.size() << ")</summary><ul class=\"warnings\">";
        for (const Warning& w : r.warnings)
            o << "<li>" << Escape(WarningText(w)) << "</li>";
        o << "</ul></details>\n";
    }
    o << "<nav aria-label=\"Clients\"><ol><li><a href=\"#firm\">The firm</a></li><li><a "
         "href=\"#summary\">Clients by distance to their "
         "margin call</a></li>";
    for (const ClientStress& c : r.clients)
        o << "<li><a href=\"#" << Anchor(c.request) << "\">Client " << Escape(ClientName(c.request))
          << "</a></li>";
    o << "</ol></nav></header>\n";
}

std::string Hash(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return Sprintf("%016llx", static_cast<unsigned long long>(h));
}

} // namespace

void WriteReport(std::ostream& o, const ReportHeader& h, const StressResult& r,
                 const std::string* module, const CureResult* cures) {
    o << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      << "<title>Margin risk report: " << Escape(h.scenario) << "</title>\n<style>" << kStyle
      << "</style>\n</head>\n<body>\n";
    Header(o, h, r);
    o << "<main>\n";
    FirmPart(o, r);
    if (module) WritePriceForm(o, r);
    Summary(o, r);
    for (const ClientStress& c : r.clients)
        ClientSection(o, r, c, cures);
    o << "</main>\n";
    if (module) WritePriceScript(o, r, h.whatIf, h.scenario, *module);
    o << "</body>\n</html>\n";
}

ReportHeader HeaderOf(const std::string& scenario, const WhatIf& whatIf, const StressResult& r) {
    ReportHeader h;
    h.scenario = scenario == "-" ? "standard input" : scenario;
    h.scenarioHash = Hash(r.scenarioText);
    for (const Firm& f : r.firms) {
        ReportHeader::FirmLine line{f.id, Hash(f.settings), -1};
        for (const RowResult& row : r.base.rows)
            if (row.request.firm == f.id && line.limitsInLots < 0)
                line.limitsInLots = row.limitsInLots;
        h.firms.push_back(line);
    }
    h.whatIf = whatIf;
    h.versions = "kesvar " KESVAR_VERSION_STRING ", Kesvar library " KESVAR_VERSION_STRING;
    char when[32];
    time_t now = time(nullptr);
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", gmtime(&now));
    h.time = when;
    return h;
}

} // namespace kesvar_cli

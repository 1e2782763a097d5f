#include "outputs/order_output.h"

#include <nlohmann/json.hpp>

#include "outputs/csv.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

// Every figure of the three states by name: the row's, then the actv's.
template <class F> void ForEachFigure(const OrderImpact& r, F visit) {
    if (!r.now.ok || !r.pending.ok || !r.filled.ok) return;
    for (size_t i = 0; i < kRowFieldCount; ++i) {
        const RowField& f = kRowFields[i];
        if (r.now.row.size < f.minSize) continue;
        visit(std::string(f.name), FieldValue(r.now.row, f), FieldValue(r.pending.row, f),
              FieldValue(r.filled.row, f));
    }
    const RowResult* rows[3] = {&r.now, &r.pending, &r.filled};
    for (const RowResult* row : rows)
        if (row->actv.empty() || !row->actv[0].ok) return;
    auto actv = [&](const char* name, auto member) {
        visit(std::string("actv.") + name, double(r.now.actv[0].actv.*member),
              double(r.pending.actv[0].actv.*member), double(r.filled.actv[0].actv.*member));
    };
    actv("position", &KRMarginalActv::position);
    actv("maxBuy", &KRMarginalActv::maxBuy);
    actv("maxSell", &KRMarginalActv::maxSell);
    actv("value", &KRMarginalActv::value);
}

// The order and its verdict, without the figures.
ordered_json OrderJson(const OrderImpact& r) {
    ordered_json j;
    j["firm"] = r.order.firm;
    j["client"] = r.order.client;
    j["side"] = r.order.buy ? "buy" : "sell";
    j["security"] = r.order.security;
    j["quantity"] = r.order.quantity;
    j["price"] = r.price;
    j["fits"] = r.fits;
    j["largest"] = r.largest;
    j["bound"] = r.bound;
    return j;
}

} // namespace

std::string OrderText(const OrderImpact& r) {
    return Sprintf("%s %s qty %d @ %g for %s / %s", r.order.buy ? "buy" : "sell",
                   r.order.security.c_str(), r.order.quantity, r.price, r.order.firm.c_str(),
                   r.order.client.c_str());
}

std::string VerdictText(const OrderImpact& r) {
    const char* side = r.order.buy ? "maxBuy" : "maxSell";
    if (r.fits) return Sprintf("fits: %d within %s %d", r.order.quantity, side, r.largest);
    return Sprintf("does not fit: %s is %d, decided by the %s; the largest that fits is %d", side,
                   r.largest, r.bound.c_str(), r.largest);
}

void PrintOrderText(std::ostream& out, const OrderImpact& r) {
    out << OrderText(r) << "\n";
    for (const RowResult* row : {&r.now, &r.pending, &r.filled})
        if (!row->ok) out << "the row failed: " << row->failure.call << "\n";
    out << Sprintf("%-20s %14s %14s %12s %14s %12s\n", "FIGURE", "NOW", "PENDING", "CHANGE",
                   "FILLED", "CHANGE");
    ForEachFigure(r, [&](const std::string& name, double now, double pending, double filled) {
        out << Sprintf("%-20s %14.2f %14.2f %+12.2f %14.2f %+12.2f\n", name.c_str(), now, pending,
                       pending - now, filled, filled - now);
    });
    out << "verdict: " << VerdictText(r) << "\n";
}

void PrintOrderJson(std::ostream& out, const OrderImpact& r) {
    ordered_json root = OrderJson(r);
    root["figures"] = ordered_json::array();
    ForEachFigure(r, [&](const std::string& name, double now, double pending, double filled) {
        root["figures"].push_back(
            {{"figure", name}, {"now", now}, {"pending", pending}, {"filled", filled}});
    });
    out << root.dump(2) << "\n";
}

void PrintOrderCsv(std::ostream& out, const OrderImpact& r) {
    WriteCsvLine(out, {"figure", "now", "pending", "filled"});
    ForEachFigure(r, [&](const std::string& name, double now, double pending, double filled) {
        WriteCsvLine(out, {name, Exact(now), Exact(pending), Exact(filled)});
    });
    WriteCsvLine(out,
                 {"verdict", r.fits ? "fits" : "does not fit", std::to_string(r.largest), r.bound});
}

void PrintBasketTable(std::ostream& out, const WhatIf& whatIf,
                      const std::vector<OrderImpact>& basket) {
    if (basket.empty()) return;
    out << "\nBasket, " << (whatIf.pending ? "pending" : "filled")
        << "; each order judged with the earlier ones working:\n";
    for (size_t i = 0; i < basket.size(); ++i) {
        // One clause a line, to keep within 80 columns.
        std::string verdict = VerdictText(basket[i]);
        for (size_t at; (at = verdict.find("; ")) != std::string::npos;)
            verdict.replace(at, 2, "\n    ");
        out << "  --order " << whatIf.orders[i] << "\n    " << OrderText(basket[i]) << "\n    "
            << verdict << "\n";
    }
}

ordered_json BasketJson(const WhatIf& whatIf, const std::vector<OrderImpact>& basket) {
    ordered_json orders = ordered_json::array();
    for (size_t i = 0; i < basket.size(); ++i) {
        ordered_json j = {{"order", whatIf.orders[i]}};
        j.update(OrderJson(basket[i]));
        orders.push_back(j);
    }
    return {{"state", whatIf.pending ? "pending" : "filled"}, {"orders", orders}};
}

} // namespace kesvar_cli

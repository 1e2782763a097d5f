#include "analyses/order.h"

#include <stdint.h>

#include <cmath>

#include <CLI/CLI.hpp>

#include "analyses/explain.h"

namespace kesvar_cli {

namespace {

struct Where {
    const Class* cls = nullptr;
    const Security* sec = nullptr;
};

Where Find(const Scenario& s, const std::string& code) {
    for (const Class& c : s.classes)
        for (const Security& sec : c.securities)
            if (sec.code == code) return {&c, &sec};
    throw OrderError("security " + code + " is in no class of the scenario");
}

// The firm of the client's first limit record when the order names none.
std::string FirmOf(const Scenario& s, const Order& o) {
    auto ours = [&o](const auto& r) {
        return r.client == o.client && (o.firm.empty() || r.firm == o.firm);
    };
    for (const MoneyLimit& m : s.moneyLimits)
        if (ours(m)) return m.firm;
    for (const SecLimit& p : s.secLimits)
        if (ours(p)) return p.firm;
    throw OrderError("client " + o.client + (o.firm.empty() ? "" : " of firm " + o.firm) +
                     " has no limit record in the scenario");
}

double OrderPrice(const Where& w, const Order& o) {
    return o.price > 0 ? o.price : o.buy ? w.sec->market.offer : w.sec->market.bid;
}

// The money the order moves, in hundredths: bond prices are percent of face value plus the
// accrued interest.
double Cents(const Where& w, const Order& o, bool inLots) {
    double price = OrderPrice(w, o);
    if (w.cls->flags & 1) price = price * w.sec->faceValue / 100 + w.sec->market.accruedInt;
    return std::round(price * o.quantity * (inLots ? std::max(w.sec->lot, 1) : 1) * 100);
}

RowResult RunOne(const Scenario& s, const Order& o, const Where& w, double price) {
    Scenario one = s;
    RowRequest row;
    row.firm = o.firm;
    row.client = o.client;
    row.actv.push_back({w.cls->id, w.sec->id, w.cls->code, w.sec->code, price});
    one.rows = {row};
    RunOptions options;
    options.trace = true;
    return RunScenario(one, options).rows.at(0);
}

} // namespace

Scenario WithOrder(const Scenario& s, const Order& order, OrderState state, bool inLots) {
    Order o = order;
    o.firm = FirmOf(s, order);
    const Where w = Find(s, o.security);
    const double cents = Cents(w, o, inLots);
    Scenario out = s;
    SecLimit* sec = nullptr;
    for (SecLimit& p : out.secLimits)
        if (!sec && p.firm == o.firm && p.client == o.client && p.secCode == o.security) sec = &p;
    if (!sec) {
        SecLimit p;
        p.firm = o.firm;
        p.client = o.client;
        p.secCode = o.security;
        out.secLimits.push_back(p);
        sec = &out.secLimits.back();
    }
    MoneyLimit* money = nullptr;
    for (MoneyLimit& m : out.moneyLimits)
        if (!money && m.firm == o.firm && m.client == o.client) money = &m;
    if (!money) throw OrderError("client " + o.client + " has no money limit for the order");
    if (state == OrderState::Pending) {
        if (o.buy) {
            sec->lockedBuy += o.quantity;
            sec->lockedBuyValue += cents;
            money->locked += cents;
        } else {
            sec->lockedSell += o.quantity;
        }
    } else {
        sec->currentBalance += o.buy ? o.quantity : -o.quantity;
        money->currentBalance += o.buy ? -cents : cents;
    }
    return out;
}

OrderImpact JudgeOrder(const Scenario& s, const Order& order) {
    if (order.quantity < 1) throw OrderError("the quantity must be at least 1");
    OrderImpact out;
    out.order = order;
    out.order.firm = FirmOf(s, order);
    const Where w = Find(s, order.security);
    out.price = OrderPrice(w, order);
    if (out.price <= 0)
        throw OrderError(std::string("no ") + (order.buy ? "offer" : "bid") + " for " +
                         order.security + ": give the order a price");
    out.now = RunOne(s, out.order, w, out.price);
    if (out.now.ok && !out.now.actv.empty() && out.now.actv[0].ok) {
        const ActvResult& a = out.now.actv[0];
        out.largest = order.buy ? a.actv.maxBuy : a.actv.maxSell;
        out.fits = order.quantity <= out.largest;
        const kesvar::TraceQuantity& q = order.buy ? a.trace.buy : a.trace.sell;
        int32_t d = DecidingStep(q);
        if (d >= 0) out.bound = BoundName(q.steps[d].bound);
    }
    return out;
}

OrderImpact RunOrder(const Scenario& s, const Order& order) {
    OrderImpact out = JudgeOrder(s, order);
    const Where w = Find(s, order.security);
    const bool inLots = out.now.limitsInLots != 0;
    out.pending =
        RunOne(WithOrder(s, out.order, OrderState::Pending, inLots), out.order, w, out.price);
    out.filled =
        RunOne(WithOrder(s, out.order, OrderState::Filled, inLots), out.order, w, out.price);
    return out;
}

Order ParseOrder(const std::string& text) {
    const std::string what = "--order " + text;
    std::vector<std::string> parts(1);
    for (char c : text)
        if (c == ':')
            parts.emplace_back();
        else
            parts.back() += c;
    if (parts.size() != 4)
        throw WhatIfError(what + ": expected [FIRM/]CLIENT:buy|sell|short:CODE:QTY[@PRICE]");
    Order o;
    const size_t slash = parts[0].find('/');
    o.client = slash == std::string::npos ? parts[0] : parts[0].substr(slash + 1);
    if (slash != std::string::npos) o.firm = parts[0].substr(0, slash);
    if (o.client.empty() || (slash != std::string::npos && o.firm.empty()))
        throw WhatIfError(what + ": expected a client, or FIRM/CLIENT, before the first ':'");
    if (parts[1] != "buy" && parts[1] != "sell" && parts[1] != "short")
        throw WhatIfError(what + ": expected buy, sell or short, found '" + parts[1] + "'");
    o.buy = parts[1] == "buy";
    o.security = parts[2];
    if (o.security.empty()) throw WhatIfError(what + ": expected a security code");
    const size_t at = parts[3].find('@');
    const std::string qty = parts[3].substr(0, at);
    if (qty.empty() || qty.size() > 10 ||
        qty.find_first_not_of("0123456789") != std::string::npos || std::stoll(qty) > INT32_MAX)
        throw WhatIfError(what + ": expected a whole quantity, found '" + qty + "'");
    o.quantity = int32_t(std::stoll(qty));
    if (at != std::string::npos) {
        o.price = ParseNumber(parts[3].substr(at + 1), what);
        if (o.price <= 0) throw WhatIfError(what + ": expected a price above 0");
    }
    return o;
}

void AddBasketOptions(CLI::App* command, WhatIf* w) {
    auto* order = command->add_option(
        "--order", w->orders,
        "[FIRM/]CLIENT:buy|sell|short:CODE:QTY[@PRICE]: the figures with this order filled; "
        "repeatable, a basket recorded in the order given");
    command->add_flag("--pending", w->pending, "Record the --order basket as working orders")
        ->needs(order);
}

std::vector<OrderImpact> ApplyBasket(const WhatIf& w, Scenario* s) {
    std::vector<OrderImpact> verdicts;
    if (w.orders.empty()) return verdicts;
    Scenario working = *s, filled = *s;
    for (const std::string& text : w.orders) {
        const Order order = ParseOrder(text);
        try {
            // Judged as a terminal would: the basket's earlier orders are working.
            OrderImpact v = JudgeOrder(working, order);
            const bool inLots = v.now.limitsInLots != 0;
            working = WithOrder(working, v.order, OrderState::Pending, inLots);
            if (!w.pending) filled = WithOrder(filled, v.order, OrderState::Filled, inLots);
            verdicts.push_back(std::move(v));
        } catch (const OrderError& e) {
            throw WhatIfError("--order " + text + ": " + e.what());
        }
    }
    *s = w.pending ? working : filled;
    return verdicts;
}

} // namespace kesvar_cli

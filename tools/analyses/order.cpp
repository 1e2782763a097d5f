#include "analyses/order.h"

#include <cmath>

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
    if (!o.firm.empty()) return o.firm;
    for (const MoneyLimit& m : s.moneyLimits)
        if (m.client == o.client) return m.firm;
    for (const SecLimit& p : s.secLimits)
        if (p.client == o.client) return p.firm;
    throw OrderError("client " + o.client + " has no limit record in the scenario");
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

OrderImpact RunOrder(const Scenario& s, const Order& order) {
    if (order.quantity < 1) throw OrderError("the quantity must be at least 1");
    OrderImpact out;
    out.order = order;
    out.order.firm = FirmOf(s, order);
    const Where w = Find(s, order.security);
    out.price = OrderPrice(w, order);
    out.now = RunOne(s, out.order, w, out.price);
    const bool inLots = out.now.limitsInLots != 0;
    out.pending =
        RunOne(WithOrder(s, out.order, OrderState::Pending, inLots), out.order, w, out.price);
    out.filled =
        RunOne(WithOrder(s, out.order, OrderState::Filled, inLots), out.order, w, out.price);
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

} // namespace kesvar_cli

#include "analyses/explain.h"

#include <sstream>

#include "scenario/text.h"

namespace kesvar_cli {

using kesvar::ActvTrace;
using kesvar::RowTrace;
using kesvar::TraceQuantity;
using kesvar::TraceStep;
using ordered_json = nlohmann::ordered_json;

namespace {

struct BoundText {
    int32_t bound;
    const char* key;
    const char* name;
};
const BoundText kBounds[] = {
    {kesvar::kBoundMarginBuyLimit, "marginBuyLimit", "margin buy limit"},
    {kesvar::kBoundOwnBuyLimit, "ownBuyLimit", "own buy limit"},
    {kesvar::kBoundAssetBuyLimit, "assetBuyLimit", "asset buy limit"},
    {kesvar::kBoundFreeMoney, "freeMoney", "own money (current less locked)"},
    {kesvar::kBoundLimitAfterCover, "limitAfterCover", "buy limit once the short is covered"},
    {kesvar::kBoundUncoveredShort, "uncoveredShort", "short not covered by pending buys"},
    {kesvar::kBoundCreditLimit, "creditLimit", "credit cap: free money + open limit"},
    {kesvar::kBoundBuyCapacity, "buyCapacity", "buying capacity, carrying a short"},
    {kesvar::kBoundCapacityAfterSale, "capacityAfterSale", "capacity as if the position were sold"},
    {kesvar::kBoundSellableHeld, "sellableHeld", "position held less locked sells"},
    {kesvar::kBoundOpenLimitSell, "openLimitSell", "credit cap: open limit"},
    {kesvar::kBoundLimitSell, "limitSell", "limit less locked sells"},
    {kesvar::kBoundNeverNegative, "neverNegative", "never below 0"},
};

const char* OpKey(int32_t op) {
    switch (op) {
    case kesvar::kOpBase:
        return "base";
    case kesvar::kOpCap:
        return "cap";
    case kesvar::kOpFloor:
        return "floor";
    default:
        return "notTaken";
    }
}

const char* RuleKey(int32_t rule) {
    switch (rule) {
    case kesvar::kRuleTrunc:
        return "trunc";
    case kesvar::kRuleTruncPositive:
        return "truncPositive";
    case kesvar::kRuleAfterCover:
        return "afterCover";
    case kesvar::kRuleShortable:
        return "shortable";
    default:
        return "quantity";
    }
}

const char* BuyCaseText(int32_t c) {
    switch (c) {
    case kesvar::kBuyMarginAndAsset:
        return "credit lag 2, a margin and asset security: the margin buy limit per lot, a "
               "short's value at the offer added back, at the price";
    case kesvar::kBuyAsset:
        return "credit lag 2, an asset but not a margin security: the asset buy limit";
    case kesvar::kBuyAssetCover:
        return "credit lag 2, an asset but not a margin security, short beyond pending buys: "
               "only the short may be bought back";
    case kesvar::kBuyRestricted:
        return "credit lag 2, in neither list and the firm restricts such buying: own money "
               "only, the smaller of the own buy limit and free money";
    case kesvar::kBuyRestrictedCover:
        return "credit lag 2, in neither list, buying restricted, a short: only its cover";
    case kesvar::kBuyOwnLimit:
        return "credit lag 2, not both margin and asset: the own buy limit";
    case kesvar::kBuyAfterCover:
        return "credit lag 2, not both margin and asset, a short: it is bought back first on a "
               "copy of the row, then the credit-lag-2 limit of that copy applies on top";
    case kesvar::kBuyLag1Margin:
        return "credit lag 1, a margin security: the row's margin buy limit";
    case kesvar::kBuyLag1Own:
        return "credit lag 1, not a margin security: the row's own buy limit";
    default:
        return "";
    }
}

const char* SellCaseText(int32_t c, const ActvTrace& t) {
    switch (c) {
    case kesvar::kSellShortable:
        return "credit lag 2, a margin security that may be shorted: the buying capacity "
               "carries a short beyond what is held";
    case kesvar::kSellOutsideAssets:
        return "credit lag 2, a margin security that may be shorted, held long outside the "
               "asset list: the buying capacity as if the position were sold at the bid";
    case kesvar::kSellHeldOnly:
        return t.isMargin ? "credit lag 2, short sales restricted for this security: only what "
                            "is held"
                          : "credit lag 2, not a margin security: only what is held";
    case kesvar::kSellLag1:
        return "credit lag 1: the position's limit, less locked sells";
    default:
        return "";
    }
}

// "(10 x 285.40)" when the denominator is lot times price, else the number.
std::string Denominator(double den, double lot, double price) {
    if (den == lot * price) return "(" + Sprintf("%g", lot) + " x " + Price(price) + ")";
    return Price(den);
}

std::string QuantityFormula(const TraceStep& s, const ActvTrace& t) {
    switch (s.bound) {
    case kesvar::kBoundUncoveredShort:
        return Sprintf("short %d, pending buys %d: %d to cover",
                       t.currentBalance < 0 ? t.currentBalance : 0, t.lockedBuy, s.quantity);
    case kesvar::kBoundSellableHeld:
        if (kesvar::WrapSub(t.currentBalance, t.lockedSell) < 0)
            return Sprintf("position %d - locked sells %d, none below 0: %d", t.currentBalance,
                           t.lockedSell, s.quantity);
        return Sprintf("position %d - locked sells %d = %d", t.currentBalance, t.lockedSell,
                       s.quantity);
    case kesvar::kBoundOpenLimitSell:
        return Sprintf("open limit %d - locked sells %d + position %d = %d", t.openLimit,
                       t.lockedSell, t.currentBalance, s.quantity);
    case kesvar::kBoundLimitSell:
        return Sprintf("current limit %d - locked sells %d + balance %d = %d", t.currentLimit,
                       t.lockedSell, t.currentBalance, s.quantity);
    default:
        return Sprintf("%d", s.quantity);
    }
}

std::string StepFormula(const TraceStep& s, const ActvTrace& t, double price) {
    std::string q = Lots(s.quotient);
    switch (s.rule) {
    case kesvar::kRuleTrunc:
    case kesvar::kRuleTruncPositive:
        if (t.buyCase == kesvar::kBuyMarginAndAsset && s.op == kesvar::kOpBase)
            // The limit per lot unit, a short's value at the offer added back, at the price.
            return Amount(s.money) + " / lot " + Sprintf("%g", t.lot) +
                   (t.currentBalance < 0 || t.uncoveredShort < 0 ? " + the short at the offer"
                                                                 : "") +
                   " = " + Amount(s.numerator) + "; / " + Price(s.denominator) + " = " + q +
                   " -> " + std::to_string(s.quantity);
        return Amount(s.numerator) + " / " + Denominator(s.denominator, t.lot, price) + " = " + q +
               " -> " + std::to_string(s.quantity);
    case kesvar::kRuleAfterCover:
        return Amount(s.numerator) + " / " + Denominator(s.denominator, t.lot, price) + " = " + q +
               (s.quotient > 0 ? "" : " (none)") + ", + " + Lots(s.addend) +
               " to cover the short -> " + std::to_string(s.quantity);
    case kesvar::kRuleShortable:
        return Amount(s.numerator) + " / " + Denominator(s.denominator, t.lot, price) + " = " + q +
               " + " + Lots(s.addend) + " repaid, + " + Lots(s.sellable) + " held -> " +
               std::to_string(s.quantity);
    default:
        return QuantityFormula(s, t);
    }
}

double BuyPrice(const ActvTrace& t) {
    return t.buyPrice;
}

double SellUnitPrice(const ActvTrace& t) {
    return t.sellPrice > t.bid ? t.sellPrice : t.bid;
}

std::string PriceNote(const ActvTrace& t, bool buy) {
    if (buy)
        return t.priceGiven ? "the given price " + Price(t.buyPrice)
                            : "the offer " + Price(t.offer);
    if (!t.creditLag2) return "no price (a quantity of the limits)";
    if (t.priceGiven)
        return "the given price " + Price(t.sellPrice) + " (a short never below the bid " +
               Price(t.bid) + ")";
    return "the bid " + Price(t.bid);
}

// Row figures that did not bound this purchase, at the same price: the question after "why so
// few" is usually "and what about the buying capacity".
struct Context {
    const char* key;
    const char* name;
    double money;
};
std::vector<Context> BuyContext(const RowResult& row, const ActvTrace& t) {
    std::vector<Context> all = {{"marginBuyLimit", "margin buy limit", row.row.marginBuyLimit},
                                {"ownBuyLimit", "own buy limit", row.row.ownBuyLimit},
                                {"buyCapacity", "buying capacity", row.row.buyCapacity}};
    if (t.creditLag2) all.push_back({"assetBuyLimit", "asset buy limit", row.row.assetBuyLimit});
    std::vector<Context> out;
    for (const Context& c : all) {
        bool used = false;
        for (int32_t i = 0; i < t.buy.count; ++i)
            used = used || BoundKey(t.buy.steps[i].bound) == std::string(c.key);
        if (!used) out.push_back(c);
    }
    return out;
}

// Whether the firm's credit cap (CHECKMAXCREDIT) took part, and why not when it did not.
std::string CreditCapNote(const ActvTrace& t, const KRMarginalRow& row, bool buy) {
    if (!t.creditLag2) return "";
    if (!t.checkMaxCredit) return "off (the firm does not check credit)";
    const TraceQuantity& q = buy ? t.buy : t.sell;
    for (int32_t i = 0; i < q.count; ++i)
        if (q.steps[i].bound == kesvar::kBoundCreditLimit ||
            q.steps[i].bound == kesvar::kBoundOpenLimitSell)
            return "applied";
    if (!buy) return "not applied: the security has no opening limit";
    if (row.leverageGiven) return "not applied: the host gave the leverage";
    if (!(row.openLimitTotal > 0.0)) return "not applied: no opening limit";
    return "not applied: the row is shorter than 264 bytes";
}

ordered_json StepJson(const TraceStep& s, bool decides) {
    ordered_json j;
    j["bound"] = BoundKey(s.bound);
    j["name"] = BoundName(s.bound);
    j["op"] = OpKey(s.op);
    j["rule"] = RuleKey(s.rule);
    if (s.rule != kesvar::kRuleQuantity) j["money"] = s.money;
    j["numerator"] = s.numerator;
    j["denominator"] = s.denominator;
    j["quotient"] = s.quotient;
    if (s.rule == kesvar::kRuleAfterCover || s.rule == kesvar::kRuleShortable)
        j["addend"] = s.addend;
    if (s.rule == kesvar::kRuleShortable) j["sellable"] = s.sellable;
    j["quantity"] = s.quantity;
    j["result"] = s.result;
    j["decides"] = decides;
    return j;
}

ordered_json QuantityJson(const TraceQuantity& q, int32_t value, const char* why, double price,
                          const std::string& priceNote) {
    ordered_json j;
    j["value"] = value;
    j["rule"] = why;
    j["price"] = price;
    j["priceNote"] = priceNote;
    int32_t d = DecidingStep(q);
    j["decidedBy"] = d >= 0 ? BoundKey(q.steps[d].bound) : "";
    j["steps"] = ordered_json::array();
    for (int32_t i = 0; i < q.count; ++i)
        j["steps"].push_back(StepJson(q.steps[i], i == d));
    return j;
}

// The text block of one quantity.
void PrintQuantity(std::ostream& out, const char* figure, int32_t value, const TraceQuantity& q,
                   const ActvTrace& t, bool buy, const RowResult& row) {
    const double price = buy ? BuyPrice(t) : SellUnitPrice(t);
    int32_t d = DecidingStep(q);
    out << "  " << figure << " " << value;
    if (d >= 0) out << ", decided by: " << BoundName(q.steps[d].bound);
    out << "\n    Case: " << (buy ? BuyCaseText(t.buyCase) : SellCaseText(t.sellCase, t)) << ".\n";
    out << "    Price: " << PriceNote(t, buy) << "; lot " << Sprintf("%g", t.lot) << ".\n";
    std::string cap = CreditCapNote(t, row.row, buy);
    if (!cap.empty()) out << "    Firm's credit cap: " << cap << ".\n";
    out << Sprintf("    %-38s %13s %10s  %s\n", "bound", "money", "lots", "role");
    for (int32_t i = 0; i < q.count; ++i) {
        const TraceStep& s = q.steps[i];
        bool money = s.rule != kesvar::kRuleQuantity;
        out << Sprintf("  %-2s%-38s %13s %10s  %s%s\n", i == d ? "*" : "", BoundName(s.bound),
                       money ? Amount(s.money).c_str() : "",
                       money ? Lots(s.quotient).c_str() : Sprintf("%d", s.quantity).c_str(),
                       OpKey(s.op), i == d ? ", decides" : "");
        if (s.bound != kesvar::kBoundNeverNegative)
            out << "        " << StepFormula(s, t, price) << "\n";
    }
    if (buy)
        for (const Context& c : BuyContext(row, t)) {
            double lots = c.money / (t.lot * price);
            out << Sprintf("    %-38s %13s %10s  not a bound here\n", c.name,
                           Amount(c.money).c_str(), Lots(lots).c_str());
        }
    out << "    Rounding: down to whole lots, toward zero; never below 0.\n";
}

void PrintRowLimits(std::ostream& out, const RowResult& r) {
    const KRMarginalRow& row = r.row;
    const RowTrace& t = r.trace;
    if (!row.creditLag2) {
        out << "  marginBuyLimit " << Amount(row.marginBuyLimit) << " = current limit + balance "
            << Amount(t.limitAndBalance) << " - locked " << Amount(t.moneyLocked) << "\n";
        out << "  ownBuyLimit " << Amount(row.ownBuyLimit) << " = current money "
            << Amount(t.moneyCurrent) << " - locked " << Amount(t.moneyLocked)
            << (t.volumeFlag ? " + short value " + Amount(row.shortValue) : std::string()) << "\n";
    } else {
        double uncommitted = t.uncommittedMoney > 0 ? t.uncommittedMoney : 0.0;
        out << "  marginBuyLimit " << Amount(row.marginBuyLimit) << " = buyCapacity "
            << Amount(row.buyCapacity) << " + uncommitted money " << Amount(uncommitted) << "\n";
        if (t.ownLimit.noEquity)
            out << "  ownBuyLimit 0.00: equity " << Amount(row.equity) << " is not positive\n";
        else
            out << "  ownBuyLimit " << Amount(row.ownBuyLimit)
                << " = smaller of the money and leverage bound " << Amount(t.ownLimit.moneyBound)
                << " and the settlement bound " << Amount(t.ownLimit.settlementBound) << "\n";
        double w = t.creditAfterSettlement < 0 ? t.creditAfterSettlement : 0.0;
        out << "  assetBuyLimit " << Amount(row.assetBuyLimit) << " = equity " << Amount(row.equity)
            << " + credit short of settlement " << Amount(w) << " - asset-only longs "
            << Amount(row.longValueAsset) << " - their commitments "
            << Amount(row.buyCommitmentAsset) << "\n";
    }
    double shortfall = t.uncommittedMoney < 0 ? t.uncommittedMoney : 0.0;
    out << "  buyCapacity " << Amount(row.buyCapacity) << " = credit capacity "
        << Amount(row.creditCapacity) << " (leverage " << Sprintf("%.4f", row.leverage)
        << " x collateral " << Amount(t.currentCollateralCounted) << ") + short value "
        << Amount(row.shortValue) << " - uncovered sells " << Amount(row.uncoveredSellValue)
        << " + money short of commitments " << Amount(shortfall) << "\n";
}

} // namespace

const char* BoundName(int32_t bound) {
    for (const BoundText& b : kBounds)
        if (b.bound == bound) return b.name;
    return "?";
}

const char* BoundKey(int32_t bound) {
    for (const BoundText& b : kBounds)
        if (b.bound == bound) return b.key;
    return "?";
}

int32_t DecidingStep(const TraceQuantity& q) {
    int32_t decider = -1;
    int32_t value = 0;
    for (int32_t i = 0; i < q.count; ++i) {
        const TraceStep& s = q.steps[i];
        if (s.op == kesvar::kOpBase) {
            decider = i;
            value = s.result;
        } else if (s.op != kesvar::kOpAlternative && decider >= 0 && s.result != value) {
            decider = i;
            value = s.result;
        }
    }
    return decider;
}

int32_t ReproduceStep(const TraceStep& s) {
    using kesvar::TruncToInt32;
    switch (s.rule) {
    case kesvar::kRuleTrunc:
        return TruncToInt32(s.numerator / s.denominator);
    case kesvar::kRuleTruncPositive: {
        double q = s.numerator / s.denominator;
        return q > 0.0 ? TruncToInt32(q) : 0;
    }
    case kesvar::kRuleAfterCover: {
        double q = s.numerator / s.denominator;
        return TruncToInt32((q > 0.0 ? q : 0.0) + s.addend);
    }
    case kesvar::kRuleShortable: {
        double q = s.numerator * (1.0 / s.denominator) + s.addend;
        return TruncToInt32((q > 0.0 ? q : 0.0) + s.sellable);
    }
    default:
        return TruncToInt32(s.numerator);
    }
}

int32_t ReplaySteps(const TraceQuantity& q) {
    int32_t value = 0;
    for (int32_t i = 0; i < q.count; ++i) {
        const TraceStep& s = q.steps[i];
        int32_t v = ReproduceStep(s);
        if (s.op == kesvar::kOpBase) value = v;
        if (s.op == kesvar::kOpCap && v < value) value = v;
        if (s.op == kesvar::kOpFloor && v > value) value = v;
    }
    return value;
}

std::string ExplainLine(const ActvResult& a) {
    if (!a.ok || !a.traced) return "";
    const ActvTrace& t = a.trace;
    // Every line names its bound; a quantity rule's formula goes in brackets after it.
    auto named = [&](const TraceStep& step, double price) {
        std::string formula = StepFormula(step, t, price);
        return std::string(BoundName(step.bound)) +
               (step.rule == kesvar::kRuleQuantity ? " (" + formula + ")" : " " + formula);
    };
    auto part = [&](const char* label, int32_t value, const TraceQuantity& q, double price) {
        int32_t d = DecidingStep(q);
        std::string s = Sprintf("%s %d", label, value);
        if (d < 0) return s;
        const TraceStep& step = q.steps[d];
        if (step.bound == kesvar::kBoundNeverNegative) {
            // What went negative, then.
            for (int32_t i = 0; i < q.count; ++i)
                if (q.steps[i].op == kesvar::kOpBase)
                    return s + ": " + named(q.steps[i], price) + ", never below 0";
            return s + ": never below 0";
        }
        return s + ": " + named(step, price);
    };
    return part("buy", a.actv.maxBuy, t.buy, BuyPrice(t)) + " | " +
           part("sell", a.actv.maxSell, t.sell, SellUnitPrice(t));
}

ordered_json ExplainActvJson(const ActvResult& a, const RowResult& row) {
    ordered_json j;
    const ActvTrace& t = a.trace;
    j["creditLag2"] = t.creditLag2;
    j["lists"] = {{"margin", t.isMargin}, {"asset", t.isAsset}, {"restrictedShort", t.isRestShort}};
    j["settings"] = {{"restrictBuy", t.restrictBuy}, {"checkMaxCredit", t.checkMaxCredit}};
    j["prices"] = {{"offer", t.offer}, {"bid", t.bid}, {"last", t.last}, {"prev", t.prev}};
    j["lot"] = t.lot;
    j["limits"] = {{"currentBalance", t.currentBalance},
                   {"openLimit", t.openLimit},
                   {"currentLimit", t.currentLimit},
                   {"lockedSell", t.lockedSell},
                   {"lockedBuy", t.lockedBuy}};
    j["position"] = t.position;
    j["maxBuy"] =
        QuantityJson(t.buy, a.actv.maxBuy, BuyCaseText(t.buyCase), BuyPrice(t), PriceNote(t, true));
    ordered_json context = ordered_json::array();
    for (const Context& c : BuyContext(row, t))
        context.push_back(
            {{"bound", c.key}, {"money", c.money}, {"lots", c.money / (t.lot * t.buyPrice)}});
    j["maxBuy"]["notBounds"] = context;
    if (t.buyCase == kesvar::kBuyAfterCover)
        j["maxBuy"]["afterCover"] = {{"coverCost", t.coverCost},
                                     {"moneyBound", t.afterCover.moneyBound},
                                     {"settlementBound", t.afterCover.settlementBound},
                                     {"noEquity", t.afterCover.noEquity}};
    j["maxSell"] = QuantityJson(t.sell, a.actv.maxSell, SellCaseText(t.sellCase, t),
                                SellUnitPrice(t), PriceNote(t, false));
    if (t.creditLag2) {
        j["maxBuy"]["creditCap"] = CreditCapNote(t, row.row, true);
        j["maxSell"]["creditCap"] = CreditCapNote(t, row.row, false);
    }
    j["line"] = ExplainLine(a);
    return j;
}

void PrintExplainText(std::ostream& out, const RunResult& r) {
    for (const RowResult& row : r.rows) {
        const RowRequest& q = row.request;
        out << "Row " << q.firm << " / " << q.client;
        if (!row.ok) {
            out << ": " << row.failure.call << " failed: " << row.failure.code << " "
                << ErrorName(row.failure.code) << "\n\n";
            continue;
        }
        out << " (credit lag " << (row.row.creditLag2 ? 2 : 1) << ")\n";
        PrintRowLimits(out, row);
        for (const ActvResult& a : row.actv) {
            out << "\n" << q.client << " " << a.request.secCode;
            if (!a.ok) {
                out << ": " << a.failure.call << " failed: " << a.failure.code << " "
                    << ErrorName(a.failure.code) << "\n";
                continue;
            }
            const ActvTrace& t = a.trace;
            out << ": position " << a.actv.position << "; margin " << (t.isMargin ? "yes" : "no")
                << ", asset " << (t.isAsset ? "yes" : "no") << ", short restricted "
                << (t.isRestShort ? "yes" : "no") << "\n";
            PrintQuantity(out, "maxBuy", a.actv.maxBuy, t.buy, t, true, row);
            PrintQuantity(out, "maxSell", a.actv.maxSell, t.sell, t, false, row);
        }
        out << "\n";
    }
}

void PrintExplainJson(std::ostream& out, const RunResult& r) {
    ordered_json root;
    root["rows"] = ordered_json::array();
    for (const RowResult& row : r.rows) {
        ordered_json j;
        j["firm"] = row.request.firm;
        j["client"] = row.request.client;
        j["ok"] = row.ok;
        if (row.ok) {
            const RowTrace& t = row.trace;
            j["creditLag2"] = row.row.creditLag2;
            j["limits"] = {{"marginBuyLimit", row.row.marginBuyLimit},
                           {"ownBuyLimit", row.row.ownBuyLimit},
                           {"assetBuyLimit", row.row.assetBuyLimit},
                           {"buyCapacity", row.row.buyCapacity},
                           {"limitAndBalance", t.limitAndBalance},
                           {"moneyCurrent", t.moneyCurrent},
                           {"moneyLocked", t.moneyLocked},
                           {"uncommittedMoney", t.uncommittedMoney},
                           {"ownLimitMoneyBound", t.ownLimit.moneyBound},
                           {"ownLimitSettlementBound", t.ownLimit.settlementBound},
                           {"currentCollateral", t.currentCollateralCounted}};
        }
        j["actv"] = ordered_json::array();
        for (const ActvResult& a : row.actv) {
            ordered_json aj;
            aj["class"] = a.request.classCode;
            aj["security"] = a.request.secCode;
            aj["ok"] = a.ok;
            if (a.ok) {
                aj["position"] = a.actv.position;
                aj["maxBuy"] = a.actv.maxBuy;
                aj["maxSell"] = a.actv.maxSell;
                aj["why"] = ExplainActvJson(a, row);
            } else {
                aj["failure"] = {{"call", a.failure.call}, {"code", a.failure.code}};
            }
            j["actv"].push_back(aj);
        }
        root["rows"].push_back(j);
    }
    out << root.dump(2) << "\n";
}

} // namespace kesvar_cli

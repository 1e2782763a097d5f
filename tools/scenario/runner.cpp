#include "scenario/runner.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "scenario/library.h"
#include "scenario/memory_host.h"
#include "scenario/progress.h"

namespace kesvar_cli {

#define KESVAR_ROW_FIELD(name, minSize, ratio)                                                     \
    { #name, offsetof(KRMarginalRow, name), minSize, ratio }
// The two reserved fields are always zero.
const RowField kRowFields[] = {
    KESVAR_ROW_FIELD(moneyAvailable, 248, false),
    KESVAR_ROW_FIELD(openCollateral, 248, false),
    KESVAR_ROW_FIELD(leverage, 248, true),
    KESVAR_ROW_FIELD(openLimitTotal, 248, false),
    KESVAR_ROW_FIELD(shortValue, 248, false),
    KESVAR_ROW_FIELD(longValue, 248, false),
    KESVAR_ROW_FIELD(longValueMargin, 248, false),
    KESVAR_ROW_FIELD(longValueAsset, 248, false),
    KESVAR_ROW_FIELD(equity, 248, false),
    KESVAR_ROW_FIELD(marginLevel, 248, false),
    KESVAR_ROW_FIELD(creditCapacity, 248, false),
    KESVAR_ROW_FIELD(buyCapacity, 248, false),
    KESVAR_ROW_FIELD(buyCommitment, 248, false),
    KESVAR_ROW_FIELD(buyCommitmentMargin, 248, false),
    KESVAR_ROW_FIELD(buyCommitmentAsset, 248, false),
    KESVAR_ROW_FIELD(uncoveredSellValue, 248, false),
    KESVAR_ROW_FIELD(lockedValueTotal, 248, false),
    KESVAR_ROW_FIELD(marginBuyLimit, 248, false),
    KESVAR_ROW_FIELD(buyCapacityCopy, 248, false),
    KESVAR_ROW_FIELD(ownBuyLimit, 248, false),
    KESVAR_ROW_FIELD(assetBuyLimit, 248, false),
    KESVAR_ROW_FIELD(settlementDebt, 248, false),
    KESVAR_ROW_FIELD(openValue, 248, false),
    KESVAR_ROW_FIELD(currentValue, 248, false),
    KESVAR_ROW_FIELD(moneyCurrent, 264, false),
    KESVAR_ROW_FIELD(moneyLocked, 264, false),
    KESVAR_ROW_FIELD(currentLeverage, 272, true),
    KESVAR_ROW_FIELD(equitySurplus, 280, false),
};
#undef KESVAR_ROW_FIELD
const size_t kRowFieldCount = sizeof kRowFields / sizeof kRowFields[0];

namespace {

// Ranks records by their first-level key (firm, client), then their second-level key.
template <class T, class K1, class K2>
std::vector<size_t> Order(const std::vector<T>& in, K1 outer, K2 inner) {
    std::map<decltype(outer(in[0])), size_t> outerRank;
    std::map<decltype(inner(in[0])), size_t> innerRank;
    std::vector<std::tuple<size_t, size_t, size_t>> keys;
    for (size_t i = 0; i < in.size(); ++i) {
        size_t a = outerRank.emplace(outer(in[i]), outerRank.size()).first->second;
        size_t b = innerRank.emplace(inner(in[i]), innerRank.size()).first->second;
        keys.emplace_back(a, b, i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<size_t> order;
    for (const auto& k : keys)
        order.push_back(std::get<2>(k));
    return order;
}

void Register(const Scenario& s) {
    // A terminal keeps each client's records together, and each security's within them: the
    // library's walks stop at the first record of another client or security.
    for (size_t i : TerminalOrder(s.moneyLimits))
        memory_host::AddMoneyLimit(s.moneyLimits[i]);
    for (size_t i : TerminalOrder(s.secLimits))
        memory_host::AddSecLimit(s.secLimits[i]);
    for (const Class& c : s.classes)
        for (const Security& sec : c.securities)
            memory_host::SetPrices(c.id, sec.id, sec.market.offer, sec.market.bid,
                                   sec.market.prevPrice, sec.market.last, sec.market.accruedInt);
}

CallFailure Failure(const char* call, const std::string& subject) {
    CallFailure f;
    f.call = call;
    f.subject = subject;
    f.code = KRGetLastError();
    return f;
}

ActvResult RunActv(const KRMarginalRow& row, const ActvRequest& req, bool trace) {
    ActvResult r;
    r.request = req;
    r.actv = memory_host::Actv(req.classId, req.secId, req.size);
    if (!KRInitMarginalActv(&row, &r.actv)) {
        r.failure = Failure("KRInitMarginalActv", req.secCode);
        return r;
    }
    if (!(trace ? kesvar::TraceMarginalActv(&row, &r.actv, req.price, &r.trace)
                : KRCalcMarginalActv(&row, &r.actv, req.price))) {
        r.failure = Failure("KRCalcMarginalActv", req.secCode);
        return r;
    }
    r.ok = true;
    r.traced = trace;
    return r;
}

} // namespace

RowResult RunRow(const RowRequest& req, const RunOptions& options) {
    RowResult r;
    r.request = req;
    r.row = memory_host::Row(req.firm, req.client, req.size);
    if (!KRInitMarginalRow(&r.row)) {
        r.failure = Failure("KRInitMarginalRow", req.firm + "/" + req.client);
        return r;
    }
    if (!(options.trace ? kesvar::TraceMarginalRow(&r.row, &r.trace) : KRCalcMarginalRow(&r.row))) {
        r.failure = Failure("KRCalcMarginalRow", req.firm + "/" + req.client);
        return r;
    }
    r.ok = true;
    int32_t inLots = KRIsLimitsInLots(req.firm.c_str());
    if (KRGetLastError() == KR_ERR_NONE) r.limitsInLots = inLots;
    r.traced = options.trace;
    if (options.actv)
        for (const ActvRequest& a : req.actv)
            r.actv.push_back(RunActv(r.row, a, options.trace));
    return r;
}

bool RunResult::AnyFailure() const {
    if (!setup.empty()) return true;
    for (const RowResult& r : rows) {
        if (!r.ok) return true;
        for (const ActvResult& a : r.actv)
            if (!a.ok) return true;
    }
    return false;
}

bool RunResult::AnyWarning() const {
    for (const Warning& w : warnings)
        if (!w.note) return true;
    return false;
}

RunResult RunScenario(const Scenario& s, const RunOptions& options) {
    RunResult out;
    out.version = s.version;
    memory_host::Reset();
    int32_t code = OpenLibrary(s.version);
    // Each scenario starts from an empty library, whatever an earlier one or a test left.
    if (code == KR_ERR_NONE && !KRCleanup()) code = KR_ERR_STATE;
    if (code != KR_ERR_NONE) {
        CallFailure f;
        f.call = "KRInitEx";
        f.code = code;
        out.setup.push_back(f);
        return out;
    }
    out.initialised = true;
    Register(s);

    for (const Class& c : s.classes) {
        std::vector<memory_host::SecurityDef> secs;
        for (const Security& sec : c.securities) {
            memory_host::SecurityDef entry;
            entry.secId = sec.id;
            entry.code = sec.code;
            entry.lotSize = sec.lot;
            entry.faceValue = sec.faceValue;
            secs.push_back(entry);
        }
        int32_t result =
            memory_host::AddClass(c.id, c.code, secs, c.flags, int8_t(c.valueUnlisted ? 1 : 0));
        if (!result || KRGetLastError() != KR_ERR_NONE)
            out.setup.push_back(Failure("KRAddClass", c.code));
    }
    for (const Firm& f : s.firms)
        if (!KRSetDliniFile(f.id.c_str(), f.settings.c_str()))
            out.setup.push_back(Failure("KRSetDliniFile", f.id));

    Progress progress(s.rows.size());
    for (const RowRequest& req : s.rows) {
        if (options.progress) progress.Step();
        out.rows.push_back(RunRow(req, options));
    }
    return out;
}

std::string ErrorName(int32_t code) {
    const std::string named = KRErrorName(code);
    return named.substr(0, named.find(':'));
}

double FieldValue(const KRMarginalRow& row, const RowField& f) {
    double v;
    memcpy(&v, reinterpret_cast<const char*>(&row) + f.offset, sizeof v);
    return v;
}

std::vector<std::pair<std::string, double>> RowFigures(const KRMarginalRow& row) {
    std::vector<std::pair<std::string, double>> out;
    ForEachField(row, [&](const RowField& f, double v) { out.emplace_back(f.name, v); });
    return out;
}

std::vector<size_t> TerminalOrder(const std::vector<MoneyLimit>& records) {
    return Order(records, ClientOf, ClientOf);
}

std::vector<size_t> TerminalOrder(const std::vector<SecLimit>& records) {
    return Order(records, ClientOf,
                 [](const SecLimit& p) { return std::make_tuple(p.firm, p.client, p.secCode); });
}

} // namespace kesvar_cli

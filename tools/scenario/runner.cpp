#include "scenario/runner.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "scenario/memory_host.h"

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
        fakehost::AddMoneyLimit(s.moneyLimits[i]);
    for (size_t i : TerminalOrder(s.secLimits))
        fakehost::AddSecLimit(s.secLimits[i]);
    for (const Class& c : s.classes)
        for (const Security& sec : c.securities)
            fakehost::SetPrices(c.id, sec.id, sec.market.offer, sec.market.bid,
                                sec.market.prevPrice, sec.market.last, sec.market.accruedInt);
}

CallFailure Failure(const char* call, const std::string& subject) {
    CallFailure f;
    f.call = call;
    f.subject = subject;
    f.code = KRGetLastError();
    return f;
}

// The library records into `trace` while `call` runs, when asked.
template <class Call> bool Traced(kesvar::Trace* trace, Call call) {
    kesvar::gTrace = trace;
    bool ok = call();
    kesvar::gTrace = nullptr;
    return ok;
}

ActvResult RunActv(const KRMarginalRow& row, const ActvRequest& req, bool trace) {
    ActvResult r;
    r.request = req;
    r.actv = fakehost::Actv(req.classId, req.secId, req.size);
    if (!KRInitMarginalActv(&row, &r.actv)) {
        r.failure = Failure("KRInitMarginalActv", req.secCode);
        return r;
    }
    kesvar::Trace t{};
    if (!Traced(trace ? &t : nullptr,
                [&] { return KRCalcMarginalActv(&row, &r.actv, req.price); })) {
        r.failure = Failure("KRCalcMarginalActv", req.secCode);
        return r;
    }
    r.ok = true;
    r.traced = trace;
    r.trace = t.actv;
    return r;
}

} // namespace

RowResult RunRow(const RowRequest& req, const RunOptions& options) {
    RowResult r;
    r.request = req;
    r.row = fakehost::Row(req.firm, req.client, req.size);
    if (!KRInitMarginalRow(&r.row)) {
        r.failure = Failure("KRInitMarginalRow", req.firm + "/" + req.client);
        return r;
    }
    kesvar::Trace t{};
    if (!Traced(options.trace ? &t : nullptr, [&] { return KRCalcMarginalRow(&r.row); })) {
        r.failure = Failure("KRCalcMarginalRow", req.firm + "/" + req.client);
        return r;
    }
    r.ok = true;
    int32_t inLots = KRIsLimitsInLots(req.firm.c_str());
    if (KRGetLastError() == KR_ERR_NONE) r.limitsInLots = inLots;
    r.traced = options.trace;
    r.trace = t.row;
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
    // The library initialises once per process: a later scenario in the same process (tests
    // of generated worlds) empties it instead, and must keep the interface version.
    static int32_t libraryVersion = 0;
    fakehost::Reset();
    if (libraryVersion == 0 && fakehost::Install(s.version)) {
        libraryVersion = s.version;
    } else if (libraryVersion == 0 && KRGetLastError() != KR_ERR_STATE) {
        out.setup.push_back(Failure("KRInitEx", ""));
        return out;
    } else {
        // Initialised before, by an earlier scenario or a test's own world: emptied instead.
        if (libraryVersion == 0) libraryVersion = s.version;
        fakehost::host().version = libraryVersion;
        if (s.version != libraryVersion || !KRCleanup()) {
            CallFailure f = Failure("KRInitEx", "");
            f.code = KR_ERR_STATE;
            out.setup.push_back(f);
            return out;
        }
    }
    out.initialised = true;
    Register(s);

    for (const Class& c : s.classes) {
        std::vector<fakehost::SecurityDef> secs;
        for (const Security& sec : c.securities) {
            fakehost::SecurityDef entry;
            entry.secId = sec.id;
            entry.code = sec.code;
            entry.lotSize = sec.lot;
            entry.faceValue = sec.faceValue;
            secs.push_back(entry);
        }
        int32_t result =
            fakehost::AddClass(c.id, c.code, secs, c.flags, int8_t(c.valueUnlisted ? 1 : 0));
        if (!result || KRGetLastError() != KR_ERR_NONE)
            out.setup.push_back(Failure("KRAddClass", c.code));
    }
    for (const Firm& f : s.firms)
        if (!KRSetDliniFile(f.id.c_str(), f.settings.c_str()))
            out.setup.push_back(Failure("KRSetDliniFile", f.id));

    for (const RowRequest& req : s.rows)
        out.rows.push_back(RunRow(req, options));
    return out;
}

const char* ErrorName(int32_t code) {
    static const char* const names[] = {
        "KR_ERR_NONE",         "KR_ERR_STATE",       "KR_ERR_ARGUMENT",      "KR_ERR_SIZE",
        "KR_ERR_CLASS_EXISTS", "KR_ERR_NO_SETTINGS", "KR_ERR_PARAM_UNKNOWN", "KR_ERR_NOT_FOUND",
        "KR_ERR_NO_PRICE",     "KR_ERR_VERSION",     "KR_ERR_NO_MEMORY"};
    if (code < 0 || code >= int32_t(sizeof names / sizeof names[0])) return "unknown code";
    return names[code];
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

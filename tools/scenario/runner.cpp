#include "scenario/runner.h"

#include "analyses/audit.h"
#include "scenario/memory_host.h"

namespace kesvar_cli {

namespace {

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

} // namespace kesvar_cli

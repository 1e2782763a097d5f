#include "run.h"

#include "audit.h"
#include "fake_host.h"
#include "library.h"

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

ActvResult RunActv(const KRMarginalRow& row, const ActvRequest& req, bool trace) {
    ActvResult r;
    r.request = req;
    r.actv = fakehost::Actv(req.classId, req.secId, req.size);
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
    r.row = fakehost::Row(req.firm, req.client, req.size);
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
    fakehost::Reset();
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

std::string ErrorName(int32_t code) {
    const std::string named = KRErrorName(code);
    return named.substr(0, named.find(':'));
}

} // namespace kesvar_cli

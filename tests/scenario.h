// The one market the tests share: four classes (shares in lots, face-value bonds, a class whose
// unlisted positions count, one that does not), four firms whose settings use every section,
// and limits and prices for their clients. The golden file is this scenario's output, the
// reliability, allocation and thread tests observe it, and the calculation tables build on its
// registry and settings. Observe() runs every query a host has and records the bytes it got
// back, so two observations of equal library states are equal strings.
#ifndef KESVAR_TESTS_SCENARIO_H
#define KESVAR_TESTS_SCENARIO_H

#include <algorithm>

#include "scenario/memory_host.h"

// A securities limit named field by field: Holding("F1", "C1", "SBER").Current(10).Open(8).
struct Holding : memory_host::Position {
    Holding(std::string firmId, std::string clientCode, std::string code, std::string account = "")
        : Position{firmId, clientCode, code, account} {}
    Holding& Open(int32_t v) { return openBalance = v, *this; }
    Holding& OpenLimit(int32_t v) { return openLimit = v, *this; }
    Holding& Current(int32_t v) { return currentBalance = v, *this; }
    Holding& CurrentLimit(int32_t v) { return currentLimit = v, *this; }
    Holding& LockedSell(int32_t v) { return lockedSell = v, *this; }
    Holding& LockedBuy(int32_t v) { return lockedBuy = v, *this; }
    Holding& LockedBuyValue(double v) { return lockedBuyValue = v, *this; }
};

// A money limit named field by field, in hundredths: Funds("F1", "C1", "MB").Open(500).
struct Funds : memory_host::Money {
    Funds(std::string firmId, std::string clientCode, std::string boardTag)
        : Money{firmId, clientCode, boardTag} {}
    Funds& Open(double v) { return openBalance = v, *this; }
    Funds& OpenLimit(double v) { return openLimit = v, *this; }
    Funds& Current(double v) { return currentBalance = v, *this; }
    Funds& CurrentLimit(double v) { return currentLimit = v, *this; }
    Funds& Locked(double v) { return locked = v, *this; }
    Funds& LockedValue(double v) { return lockedValue = v, *this; }
    Funds& LeveragePercent(int32_t v) { return leveragePercent = v, *this; }
};

namespace world {

using namespace memory_host;

struct ClassDef {
    uint32_t id;
    std::string code;
    uint32_t flags;
    int8_t valueUnlisted;
    std::vector<SecurityDef> secs;
};

// One security as the host knows it: ids for actv requests, the code for list questions.
struct SecRef {
    uint32_t classId, secId;
    std::string code;
};

inline const std::vector<ClassDef>& Classes() {
    static const std::vector<ClassDef> classes = {
        {10,
         "TQBR",
         0,
         0,
         {{101, "SBER", 10}, {102, "GAZP", 10}, {103, "LKOH"}, {104, "NOPRICE", 100}}},
        {20, "TQOB", KR_CLASS_FACE_VALUE, 0, {{201, "OFZ1", 1, 1000.0}, {202, "OFZ2", 1, 500.0}}},
        {30, "UNL", 0, 1, {{301, "UNLISTED"}}},
        {40, "OTH", 0, 0, {{401, "OTHER"}}}};
    return classes;
}

inline std::vector<SecRef> Securities() {
    std::vector<SecRef> out;
    for (const ClassDef& c : Classes())
        for (const SecurityDef& s : c.secs)
            out.push_back({c.id, s.secId, s.code});
    return out;
}

// Registers every class; returns how many KRAddClass calls answered 1.
inline int RegisterClasses() {
    return int(std::count_if(Classes().begin(), Classes().end(), [](const ClassDef& c) {
        return AddClass(c.id, c.code, c.secs, c.flags, c.valueUnlisted) == 1;
    }));
}

// F1: credit lag 1 in lots, with weights, a client section, a lag-2 client and boards and
// accounts of every kind. In F1 SBER is margin and asset, GAZP asset, LKOH margin and
// restricted for shorts, NOPRICE margin (and without prices), OFZ1 margin and asset, OFZ2 asset.
inline const char* FirmText() {
    return "[LIMITALLOWEDSECURITY]\nTQBR=SBER,LKOH,NOPRICE\nTQOB=OFZ1\n"
           "[ASSETSECURITIES]\nTQBR=SBER,GAZP\nTQOB=<ALL>\n[RESTSHORTSECURITIES]\nTQBR=LKOH\n"
           "[GENERAL]\nRSTRNMBUY=1\nCHECKMAXCREDIT=1\n"
           "[CLVIP_MARGIN]\nTQBR=SBER,LKOH\nTQBR_ASSET=SBER,GAZP,LKOH\nIGNORERESTSHORTSECURITY=1\n"
           "[CLIENTLAG]\nL2=2\n[SECURITYWEIGHT]\nSBER=0.85,1.35\nOFZ1=0.95,1.1\nLKOH=0.7,1.7\n"
           "[BOARDTAG]\nMB=\n[ADDLIMITBOARDS]\nMB=AL\n[ADDREPOBOARDS]\nMB=RP\n"
           "[ADDLIMITTRDACC]\nMB=ACC2\n[ADDREPOTRDACC]\nMB=ACC3\n";
}

// F2, in small letters: credit lag 2 in units, buying not restricted, a lag-1 client, no
// boards, the volume flag. TQBR is all margin; SBER restricted for shorts; GAZP, OFZ1 and OFZ2
// assets.
inline const char* SecondFirmText() {
    return "[general]\ncreditlag=2\nlimitsinlots=0\nrstrnmbuy=0\n[limitallowedsecurity]\n"
           "tqbr=<all>\ntqob=ofz2\n[assetsecurities]\ntqob=ofz1,ofz2\ntqbr=gazp\n"
           "[restshortsecurities]\ntqbr=sber\n[clientlag]\nc1=1\n[securityweight]\n"
           "gazp=0.6,1.9\nvolume\n";
}

// F3: the class order of MAINMARGINCLASSES, one list and nothing else.
inline const char* ThirdFirmText() {
    return "[GENERAL]\nMAINMARGINCLASSES=TQOB,TQBR\n[LIMITALLOWEDSECURITY]\nTQOB=OFZ2,OFZ1\n"
           "TQBR=GAZP\n";
}

// F4, with CR LF line ends: templates, a prefix client section, prefix lags, repeated codes,
// an entry without securities, a client's rest-short list and a client section whose asset
// line comes before its margin line.
inline const char* FourthFirmText() {
    return "; rules\r\nVOLUME\r\n[LIMITALLOWEDSECURITY]\r\nTQBR=SBER, GAZP ,sber,LKOH\r\n"
           "TQOB=<ALL>\r\nOTH=\r\n[ASSETSECURITIES]\r\nTQBR=SBER,GAZP,NOPRICE\r\nTQOB=OFZ1\r\n"
           "[RESTSHORTSECURITIES]\r\nTQBR=GAZP\r\n[GENERAL]\r\nCHECKMAXCREDIT=1\r\n"
           "MAINMARGINCLASSES=TQOB,TQBR\r\n[CLVIP01_MARGIN]\r\nRSTRNMBUY=1\r\n"
           "IGNORERESTSHORTSECURITY=1\r\nTQBR_ASSET=<ALL>\r\nTQBR=SBER,LKOH\r\n"
           "UNL_RESTSHORT=UNLISTED\r\n[CLQ*_MARGIN]\r\nTQOB=<ALL>\r\n"
           "[CLGROUP_MARGIN_TEMPLATE]\r\nCLIENTS=T1, T2,T3*,VIP01\r\nTQBR=SBER\r\nUNL=<ALL>\r\n"
           "[CLIENTLAG]\r\nC2=2\r\nQ*=2\r\nT2=1\r\n[SECURITYWEIGHT]\r\nSBER=0.8,1.3\r\n"
           "GAZP=1.5,0.5\r\nLKOH=,2\r\n[BOARDTAG]\r\nTQBR=\r\n[ADDLIMITBOARDS]\r\nSPBX=B1,B2\r\n"
           "[ADDREPOBOARDS]\r\nRPMA=R1\r\n[ADDLIMITTRDACC]\r\nTQBR=ACC1\r\n"
           "[ADDREPOTRDACC]\r\nTQBR=ACC2,ACC3\r\n";
}

struct Firm {
    const char *id, *text;
    std::vector<std::string> clients;
};
inline const std::vector<Firm>& Firms() {
    static const std::vector<Firm> firms = {
        {"F1", FirmText(), {"C1", "L2", "VIP"}},
        {"F2", SecondFirmText(), {"C1", "D2"}},
        {"F3", ThirdFirmText(), {"Z1"}},
        {"F4", FourthFirmText(), {"C1", "C2", "VIP01", "Q7", "T1", "T2"}}};
    return firms;
}
// Loads every firm; returns how many loads answered 1.
inline int LoadFirms() {
    return int(std::count_if(Firms().begin(), Firms().end(),
                             [](const Firm& f) { return KRSetDliniFile(f.id, f.text) == 1; }));
}

// A money limit in hundredths, with the limits and the locked value derived from the amounts.
inline void AddMoney(const char* firm, const std::string& client, const char* tag, double open,
                     double current, double locked, int32_t leverage = -1) {
    AddMoneyLimit({firm, client, tag, open, open * 0.25, current, current * 0.5, locked,
                   locked * 1.03, leverage});
}

inline void AddPosition(const char* firm, const std::string& client, const char* code,
                        const char* acc, int32_t open, int32_t current, int32_t lockedSell = 0,
                        int32_t lockedBuy = 0, double lockedBuyValue = 0) {
    AddSecLimit({firm, client, code, acc, open, open / 2, current, current / 3, lockedSell,
                 lockedBuy, lockedBuyValue});
}

// Limits of one client of F4 (or of a client a fuzzed text names): money on listed,
// additional and unknown boards; long, short, unlisted, unknown and priceless positions.
inline void AddClientLimits(const char* firm, const std::string& client, int seed) {
    const double k = 1.0 + seed * 0.25;
    AddMoney(firm, client, "TQBR", 1000000 * k, 1200000 * k, 1000, seed % 2 ? 250 : -1);
    AddMoney(firm, client, "B1", 70000, 90000, 10);
    AddMoney(firm, client, "R1", 5000, 6000, 0, 400);
    AddMoney(firm, client, "XXXX", 123456, 654321, 0);
    AddPosition(firm, client, "SBER", "ACC0", 100, 120 + seed, 5, 7, 12345);
    AddPosition(firm, client, "GAZP", "ACC1", -50, -40 - seed, 0, 3);
    AddPosition(firm, client, "LKOH", "ACC2", 10, 12, 2);
    AddPosition(firm, client, "OFZ1", "ACC0", 5, 6, 0, 1, 99000);
    AddPosition(firm, client, "UNLISTED", "ACC3", 3, 3);
    AddPosition(firm, client, "NOPRICE", "ACC0", 1, 1);
    AddPosition(firm, client, "UNKNOWN", "ACC0", 4, 4);
}

// One client's money on a board, named field by field, in hundredths.
struct Cash {
    const char *firm, *client, *tag;
    double open = 0, current = 0, locked = 0;
    int32_t leverage = -1;
    Cash& Open(double v) { return open = v, *this; }
    Cash& Current(double v) { return current = v, *this; }
    Cash& Locked(double v) { return locked = v, *this; }
    Cash& LeveragePercent(int32_t v) { return leverage = v, *this; }
};

// One client's position in a security, named field by field.
struct Stock {
    const char *firm, *client, *code;
    const char* account = "ACC1";
    int32_t open = 0, current = 0, lockedSell = 0, lockedBuy = 0;
    double lockedBuyValue = 0;
    Stock& Account(const char* v) { return account = v, *this; }
    Stock& Open(int32_t v) { return open = v, *this; }
    Stock& Current(int32_t v) { return current = v, *this; }
    Stock& LockedSell(int32_t v) { return lockedSell = v, *this; }
    Stock& LockedBuy(int32_t v) { return lockedBuy = v, *this; }
    Stock& LockedBuyValue(double v) { return lockedBuyValue = v, *this; }
};

// The host's limits and prices for every client of the firms above, plus `extra` clients of
// F1. Prices have fractions that do not fit a double exactly, so any change in the order or
// grouping of the arithmetic shows in the last bits.
inline void AddHostData(const std::vector<std::string>& extraClients = {}) {
    // Money in hundredths on a board (limits and locked value follow from it), and positions
    // on ACC1 unless named: F1's ACC2 is an additional limit, ACC3 an additional repo.
    const Cash money[] = {
        Cash{"F1", "C1", "MB"}.Open(1234567.0).Current(1198765.0).Locked(43211.0),
        Cash{"F1", "C1", "AL"}.Open(50000.0).Current(61234.0),
        Cash{"F1", "C1", "RP"}.Open(7000.0).Current(6500.0).Locked(1300.0),
        // not a listed board: skipped
        Cash{"F1", "C1", "ZZ"}.Open(999999.0).Current(999999.0).Locked(999.0),
        Cash{"F1", "L2", "MB"}.Open(250000.0).Current(-125000.5).Locked(3333.0),
        Cash{"F1", "L2", "AL"}.Open(10000.0).Current(10000.0).LeveragePercent(250),
        Cash{"F1", "VIP", "MB"}.Open(5000000.0).Current(4200000.0).Locked(100000.0).LeveragePercent(
            300),
        Cash{"F2", "C1", "EQTV"}.Open(800000.0).Current(812345.67).Locked(12345.0),
        Cash{"F2", "D2", "EQTV"}.Open(300000.0).Current(150000.25).Locked(5000.0).LeveragePercent(
            175),
        Cash{"F2", "D2", "SPBX"}.Open(20000.0).Current(19000.0).LeveragePercent(400),
        Cash{"F3", "Z1", "EQTV"},
    };
    for (const Cash& m : money)
        AddMoney(m.firm, m.client, m.tag, m.open, m.current, m.locked, m.leverage);
    const Stock positions[] = {
        Stock{"F1", "C1", "SBER"}.Open(120).Current(95).LockedSell(7).LockedBuy(3).LockedBuyValue(
            81000.37),
        Stock{"F1", "C1", "GAZP"}.Open(40).Current(55).LockedBuy(11).LockedBuyValue(179000.0),
        Stock{"F1", "C1", "LKOH"}.Account("ACC2").Open(-3).Current(-5).LockedBuy(1).LockedBuyValue(
            693250.0),
        Stock{"F1", "C1", "OFZ1"}.Open(15).Current(22).LockedSell(2),
        Stock{"F1", "C1", "UNLISTED"}.Account("ACC3").Open(100).Current(150).LockedSell(10),
        Stock{"F1", "C1", "NOPRICE"}.Open(5).Current(5),
        Stock{"F1", "L2", "SBER"}.Open(-30).Current(-42).LockedBuy(5).LockedBuyValue(135800.0),
        Stock{"F1", "L2", "OFZ1"}.Open(50).Current(47).LockedSell(5),
        Stock{"F1", "L2", "LKOH"}.Open(2).Current(1).LockedSell(1),
        Stock{"F1", "VIP", "SBER"}
            .Open(1000)
            .Current(1100)
            .LockedSell(100)
            .LockedBuy(50)
            .LockedBuyValue(1356000.0),
        Stock{"F1", "VIP", "LKOH"}.Open(-20).Current(-25),
        Stock{"F2", "C1", "GAZP"}.Open(3000).Current(2750).LockedSell(250),
        Stock{"F2", "C1", "OFZ2"}.Open(100).Current(120).LockedBuy(30).LockedBuyValue(303000.0),
        Stock{"F2", "D2", "SBER"}.Open(-500).Current(-650).LockedBuy(100).LockedBuyValue(2713700.0),
        Stock{"F2", "D2", "GAZP"}.Open(1200).Current(1000),
        Stock{"F2", "D2", "OFZ1"}.Open(75).Current(80).LockedSell(10),
        Stock{"F2", "D2", "OTHER"}.Open(10000).Current(12000),
    };
    for (const Stock& p : positions)
        AddPosition(p.firm, p.client, p.code, p.account, p.open, p.current, p.lockedSell,
                    p.lockedBuy, p.lockedBuyValue);
    int seed = 0;
    for (const std::string& c : Firms()[3].clients)
        AddClientLimits("F4", c, seed++);
    for (const std::string& c : extraClients)
        AddClientLimits("F1", c, seed++);
    SetPrices(10, 101, 271.37, 271.21, 268.9, 270.13);
    SetPrices(10, 102, 163.43, 163.17, 161.11, 0.0); // no last price
    SetPrices(10, 103, 6932.5, 6928.0, 6901.3, 6930.7);
    SetPrices(20, 201, 98.731, 98.512, 98.3, 98.61, 17.43);
    SetPrices(20, 202, 101.07, 100.93, 0.0, 100.99, 3.17); // no previous price
    SetPrices(30, 301, 11.3, 11.1, 11.05, 11.2);
    SetPrices(40, 401, 1.7, 1.6, 1.65, 1.66);
}

// The whole scenario on an initialised library: classes, then settings, then the host's data.
inline bool Build() {
    if (RegisterClasses() != 4 || LoadFirms() != 4) return false;
    AddHostData();
    return true;
}

// Appends what the host got back to `out`: bytes, values, and the result and code of calls.
struct Recorder {
    std::string& out;
    bool refused = false; // a call refused an argument, such as a row gone stale

    void Put(const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
    template <class... T> void Values(const T&... v) { (Put(&v, sizeof v), ...); }
    void Call(int32_t result) {
        const int32_t code = KRGetLastError();
        Values(result, code);
        refused = refused || (result == 0 && code == KR_ERR_ARGUMENT);
    }
    // A row's bytes without its binding handle (handles differ between equal states).
    void PutRow(const KRMarginalRow& row, uint32_t size) {
        Put(&row, 4);
        Put(reinterpret_cast<const uint8_t*>(&row) + 8, size - 8);
    }
};

// The callback of KRGetMarginSecs: appends the list to the std::string behind `user`, per entry
// "classId CODE secId:CODE ...", with a "!" after a class code whose field is not zero-padded;
// entries joined by " | ".
inline int32_t KR_CALL RecordMarginSecs(const KRMarginClassEntry* entries, uint32_t count,
                                        uintptr_t user) {
    std::string& out = *reinterpret_cast<std::string*>(user);
    for (uint32_t i = 0; i < count; ++i) {
        const KRMarginClassEntry& e = entries[i];
        const size_t n = strnlen(e.code, sizeof e.code);
        out += (i ? " | " : "") + std::to_string(e.classId) + " " + std::string(e.code, n);
        if (std::any_of(e.code + n, std::end(e.code), [](char c) { return c != 0; })) out += "!";
        for (int32_t j = 0; j < e.secCount; ++j)
            out += " " + std::to_string(e.secs[j].secId) + ":" + e.secs[j].code;
    }
    return 0;
}
inline std::string MarginList(const char* firm, const std::string& client) {
    KRMarginalRow row = Row(firm, client);
    std::string out;
    if (KRInitMarginalRow(&row) != 1 ||
        KRGetMarginSecs(&row, RecordMarginSecs, reinterpret_cast<uintptr_t>(&out)) != 1)
        return "refused";
    return out;
}

// How much of the request space an observation covers: everything, or (for the fuzz targets,
// where speed is coverage) one row size, one actv size and one price.
enum class Depth { Full, Quick };

// Everything the host can learn about one client of one firm. False when a call refused an
// argument: with settings reloaded on another thread, the row went stale on the way.
inline bool ObserveClient(std::string& out, const char* firm, const std::string& client,
                          const std::vector<SecRef>& secs, Depth depth = Depth::Full,
                          KRMarginSecsFunc callback = RecordMarginSecs) {
    const bool full = depth == Depth::Full;
    Recorder r{out};
    KRMarginalRow row = Row(firm, client);
    r.Call(KRInitMarginalRow(&row));
    if (row.binding == 0) return false;
    r.Values(row.creditLag2);
    r.Call(KRCalcMarginalRow(&row));
    r.PutRow(row, sizeof row);
    for (uint32_t size : {KR_ROW_SIZE_248, KR_ROW_SIZE_264, KR_ROW_SIZE_272}) {
        KRMarginalRow shorter = Row(firm, client, size);
        if (!full || KRInitMarginalRow(&shorter) != 1) break;
        uint32_t moneyIndex = 0, secIndex = 0;
        r.Call(KRCalcMarginalRowEx(&shorter, &moneyIndex, &secIndex));
        r.Values(moneyIndex, secIndex);
        r.PutRow(shorter, size);
    }
    for (const SecRef& s : secs) {
        for (uint32_t size : {KR_ACTV_SIZE_56, KR_ACTV_SIZE_48}) {
            KRMarginalActv actv = Actv(s.classId, s.secId, size);
            r.Call(KRInitMarginalActv(&row, &actv));
            for (double price : {0.0, 123.45}) {
                r.Call(KRCalcMarginalActv(&row, &actv, price));
                r.Put(&actv, size);
                if (!full) break;
            }
            if (!full) break;
        }
        for (auto query : {KRIsMarginSeccode, KRIsAssetSeccode}) {
            uint32_t classId = 0, secId = 0;
            r.Call(query(&row, s.code.c_str(), &classId, &secId));
            r.Values(classId, secId);
        }
    }
    r.Call(KRGetMarginSecs(&row, callback, reinterpret_cast<uintptr_t>(&out)));
    return !r.refused;
}

// Everything the host can learn about a firm and the given clients.
inline std::string Observe(const char* firm, const std::vector<std::string>& clients,
                           const std::vector<SecRef>& secs, Depth depth = Depth::Full) {
    std::string out;
    Recorder r{out};
    for (const std::string& c : clients) {
        ObserveClient(out, firm, c, secs, depth);
        host().log.clear(); // nobody reads it here, and it grows with every callback
    }
    for (const ClassDef& c : Classes()) {
        for (int32_t capacity : {16, 1}) {
            uint32_t ids[16] = {};
            int32_t count = capacity;
            r.Call(KRGetNeedClassSecIDs(c.id, ids, &count));
            r.Values(count, ids);
        }
    }
    for (const char* tag : {"MB", "AL", "RP", "TQBR", "B1", "R1", "tqbr", "XXXX", ""})
        r.Values(KRIsBoardTagApplicable(firm, tag)); // success leaves the code alone
    r.Call(KRIsLimitsInLots(firm));
    return out;
}

// Every firm and client of the scenario.
inline std::string ObserveAll(Depth depth = Depth::Quick) {
    std::string out;
    for (const Firm& f : Firms())
        out += Observe(f.id, f.clients, Securities(), depth);
    return out;
}

} // namespace world

#endif

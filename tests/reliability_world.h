// A small but complete trading world shared by the reliability tests and the fuzz targets:
// four classes, two firms whose settings use every section, limits and prices for a handful of
// clients, and an observer that runs every query the host has and records the bytes it got
// back. Two observations of equal library states are equal strings.
#ifndef KESVAR_TESTS_RELIABILITY_WORLD_H
#define KESVAR_TESTS_RELIABILITY_WORLD_H

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_host.h"

namespace world {

using namespace fakehost;

struct ClassSpec {
    uint32_t id;
    std::string code;
    uint32_t flags;
    int8_t valueUnlisted;
    std::vector<SecuritySpec> secs;
};

// One security as the host knows it: ids for actv requests, the code for list questions.
struct SecRef {
    uint32_t classId, secId;
    std::string code;
};

inline const std::vector<ClassSpec>& Classes() {
    // clang-format off
    static const std::vector<ClassSpec> classes = {
        {10, "TQBR", 0, 1, {{101, "SBER", 10}, {102, "GAZP"}, {103, "LKOH"}, {104, "NOPRICE"}}},
        {20, "EQOB", KR_CLASS_FACE_VALUE, 0,
         {{201, "SU26207RMFS9", 1, 1000.0}, {202, "RU000A0JX0J2", 1, 500.0}}},
        // Registry codes of 16 and 19 characters reach 15-character fields through <ALL>.
        {30, "SPBXM", 0, 0,
         {{301, "AAPL"}, {302, "LONGCODE16CHARS0"}, {303, "CODE19CHARSXXXXXXXX", 2}}},
        {40, "TQTF", 0, 0, {}},
    };
    // clang-format on
    return classes;
}

inline std::vector<SecRef> Securities() {
    std::vector<SecRef> out;
    for (const ClassSpec& c : Classes())
        for (const SecuritySpec& s : c.secs)
            out.push_back({c.id, s.secId, s.code});
    return out;
}

// Registers every class; returns how many KRAddClass calls answered 1.
inline int RegisterClasses() {
    int ok = 0;
    for (const ClassSpec& c : Classes())
        ok += AddClass(c.id, c.code, c.secs, c.flags, c.valueUnlisted) == 1;
    return ok;
}

// Every section the loader knows, with prefixes, templates, <ALL>, suffixes, repeated codes,
// duplicate clients, a VOLUME line and an entry without securities (TQTF: a zero-byte block).
inline const char* FirmText() {
    return "; firm one\nVOLUME\n"
           "[LIMITALLOWEDSECURITY]\nTQBR=SBER, GAZP ,sber,LKOH\nEQOB=<ALL>\n"
           "SPBXM=AAPL,LONGCODE16CHARS0\nTQTF=\n"
           "[ASSETSECURITIES]\nTQBR=SBER,GAZP,LKOH,NOPRICE\nEQOB=SU26207RMFS9\n"
           "[RESTSHORTSECURITIES]\nTQBR=GAZP\n"
           "[GENERAL]\nCREDITLAG=1\nRSTRNMBUY=0\nCHECKMAXCREDIT=1\nLIMITSINLOTS=1\n"
           "MAINMARGINCLASSES=EQOB,TQBR\n"
           "[CLVIP01_MARGIN]\nRSTRNMBUY=1\nIGNORERESTSHORTSECURITY=1\nTQBR=SBER,LKOH\n"
           "TQBR_ASSET=<ALL>\nSPBXM_RESTSHORT=AAPL\n"
           "[CLQ*_MARGIN]\nEQOB=<ALL>\n"
           "[CLGROUP_MARGIN_TEMPLATE]\nCLIENTS=T1, T2,T3*,VIP01\nTQBR=SBER\nSPBXM=<ALL>\n"
           "[CLIENTLAG]\nC2=2\nQ*=2\nT2=1\n"
           "[SECURITYWEIGHT]\nSBER=0.8,1.3\nGAZP=1.5,0.5\nAAPL=,2\n"
           "[BOARDTAG]\nTQBR=\nEQOB=\n[ADDLIMITBOARDS]\nSPBXM=B1,B2\n[ADDREPOBOARDS]\nRPMA=R1\n"
           "[ADDLIMITTRDACC]\nTQBR=ACC1\n[ADDREPOTRDACC]\nTQBR=ACC2,ACC3\n";
}

// A credit-lag-2 firm that keeps limits in units and lists no boards.
inline const char* SecondFirmText() {
    return "[LIMITALLOWEDSECURITY]\r\nTQBR=<ALL>\r\nSPBXM=<ALL>,AAPL\r\n"
           "[GENERAL]\r\nCREDITLAG=2\r\nLIMITSINLOTS=0\r\nCHECKMAXCREDIT=1\r\n"
           "[CLC9_MARGIN]\r\nTQBR=GAZP\r\n[SECURITYWEIGHT]\r\nLKOH=0.5,1.5\r\n";
}

inline const std::vector<std::string>& FirmClients() {
    static const std::vector<std::string> c = {"C1", "C2", "VIP01", "Q7", "T1", "T2", "ZZ"};
    return c;
}
inline const std::vector<std::string>& SecondFirmClients() {
    static const std::vector<std::string> c = {"C1", "C9"};
    return c;
}

// Limits of one client: money on listed, additional and unknown boards; long, short, unlisted
// and priceless positions on several trade accounts.
inline void AddClientLimits(const std::string& firm, const std::string& client, int seed) {
    double k = 1.0 + seed * 0.25;
    AddMoneyLimit({firm, client, "TQBR", 1000000 * k, 50000, 1200000 * k, 40000, 1000, 2500,
                   seed % 2 ? 250 : -1});
    AddMoneyLimit({firm, client, "EQOB", 300000, 0, 250000, 0, 0, 0, 400});
    AddMoneyLimit({firm, client, "B1", 70000, 100, 90000, 100, 10, 0});
    AddMoneyLimit({firm, client, "R1", 5000, 0, 6000, 0, 0, 0});
    AddMoneyLimit({firm, client, "XXXX", 123456, 0, 654321, 0, 0, 0});
    AddSecLimit({firm, client, "SBER", "ACC0", 100, 0, 120 + seed, 0, 5, 7, 12345});
    AddSecLimit({firm, client, "GAZP", "ACC0", -50, 0, -40 - seed, 0, 0, 3, 0});
    AddSecLimit({firm, client, "LKOH", "ACC1", 10, 0, 12, 0, 2, 0, 0});
    AddSecLimit({firm, client, "SU26207RMFS9", "ACC0", 5, 0, 6, 0, 0, 1, 99000});
    AddSecLimit({firm, client, "AAPL", "ACC2", 3, 0, 3});
    AddSecLimit({firm, client, "NOPRICE", "ACC0", 1, 0, 1});
    AddSecLimit({firm, client, "UNKN", "ACC0", 4, 0, 4});
    AddSecLimit({firm, client, "LONGCODE16CH", "ACC0", 2, 0, 2});
}

// The host's data for both firms and every client in the lists above, plus `extra` clients.
inline void AddHostData(const std::vector<std::string>& extraClients = {}) {
    int seed = 0;
    for (const std::string& c : FirmClients())
        AddClientLimits("F1", c, seed++);
    for (const std::string& c : SecondFirmClients())
        AddClientLimits("F2", c, seed++);
    for (const std::string& c : extraClients)
        AddClientLimits("F1", c, seed++);
    SetPrices(10, 101, 250.5, 250.3, 249.0, 250.4);
    SetPrices(10, 102, 0.0, 0.0, 160.0, 0.0); // no quotes: everything falls back
    SetPrices(10, 103, 5001.0, 4999.0, 4990.0, 5000.0);
    SetPrices(20, 201, 98.5, 98.1, 98.0, 98.3, 12.34);
    SetPrices(20, 202, 101.0, 100.5, 100.0, 0.0, 3.5);
    SetPrices(30, 301, 190.1, 189.9, 188.0, 190.0);
    SetPrices(30, 302, 10.0, 9.9, 9.8, 9.95);
    SetPrices(30, 303, 7.0, 6.9, 6.8, 6.95);
}

inline void Put(std::string& out, const void* p, size_t n) {
    out.append(static_cast<const char*>(p), n);
}
template <class T> inline void PutValue(std::string& out, T v) {
    Put(out, &v, sizeof v);
}
// Set when a call refused an argument, such as a row gone stale (per thread).
inline bool& SawRefusal() {
    static thread_local bool saw = false;
    return saw;
}
// The result and the code of one call.
inline void PutCall(std::string& out, int32_t result) {
    const int32_t code = KRGetLastError();
    PutValue(out, result);
    PutValue(out, code);
    if (result == 0 && code == KR_ERR_ARGUMENT) SawRefusal() = true;
}

// The callback of KRGetMarginSecs: appends every byte the host may rely on to the std::string
// behind `user`.
inline int32_t KR_CALL RecordMarginSecs(const KRMarginClassEntry* entries, uint32_t count,
                                        uintptr_t user) {
    std::string& out = *reinterpret_cast<std::string*>(user);
    PutValue(out, count);
    for (uint32_t i = 0; i < count; ++i) {
        const KRMarginClassEntry& e = entries[i];
        PutValue(out, e.classId);
        PutValue(out, e.secCount);
        Put(out, e.code, sizeof e.code); // zero-padded: every byte counts
        for (int32_t j = 0; j < e.secCount; ++j) {
            PutValue(out, e.secs[j].secId);
            out.append(e.secs[j].code, strnlen(e.secs[j].code, sizeof e.secs[j].code)) += '|';
        }
    }
    return 0;
}

// A row's bytes without its binding handle (handles differ between equal states).
inline void PutRow(std::string& out, const KRMarginalRow& row, uint32_t size) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&row);
    Put(out, p, 4);
    Put(out, p + 8, size - 8);
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
    KRMarginalRow row = Row(firm, client);
    SawRefusal() = false;
    PutCall(out, KRInitMarginalRow(&row));
    if (row.binding == 0) return false;
    PutValue(out, row.creditLag2);
    PutCall(out, KRCalcMarginalRow(&row));
    PutRow(out, row, sizeof row);
    for (uint32_t size : {KR_ROW_SIZE_248, KR_ROW_SIZE_264, KR_ROW_SIZE_272}) {
        KRMarginalRow shorter = Row(firm, client, size);
        if (!full || KRInitMarginalRow(&shorter) != 1) break;
        uint32_t moneyIndex = 0, secIndex = 0;
        PutCall(out, KRCalcMarginalRowEx(&shorter, &moneyIndex, &secIndex));
        PutValue(out, moneyIndex);
        PutValue(out, secIndex);
        PutRow(out, shorter, size);
    }
    for (const SecRef& s : secs) {
        for (uint32_t size : {KR_ACTV_SIZE_56, KR_ACTV_SIZE_48}) {
            KRMarginalActv actv = Actv(s.classId, s.secId, size);
            PutCall(out, KRInitMarginalActv(&row, &actv));
            for (double price : {0.0, 123.45}) {
                PutCall(out, KRCalcMarginalActv(&row, &actv, price));
                Put(out, &actv, size);
                if (!full) break;
            }
            if (!full) break;
        }
        for (auto query : {KRIsMarginSeccode, KRIsAssetSeccode}) {
            uint32_t classId = 0, secId = 0;
            PutCall(out, query(&row, s.code.c_str(), &classId, &secId));
            PutValue(out, classId);
            PutValue(out, secId);
        }
    }
    PutCall(out, KRGetMarginSecs(&row, callback, reinterpret_cast<uintptr_t>(&out)));
    return !SawRefusal();
}

// Everything the host can learn about a firm and the given clients.
inline std::string Observe(const char* firm, const std::vector<std::string>& clients,
                           const std::vector<SecRef>& secs, Depth depth = Depth::Full) {
    std::string out;
    for (const std::string& c : clients) {
        ObserveClient(out, firm, c, secs, depth);
        host().log.clear(); // nobody reads it here, and it grows with every callback
    }
    for (const ClassSpec& c : Classes()) {
        for (int32_t capacity : {16, 1}) {
            uint32_t ids[16] = {};
            int32_t count = capacity;
            PutCall(out, KRGetNeedClassSecIDs(c.id, ids, &count));
            PutValue(out, count);
            Put(out, ids, sizeof ids);
        }
    }
    for (const char* tag : {"TQBR", "EQOB", "B1", "R1", "XXXX", "tqbr", ""})
        PutValue(out, KRIsBoardTagApplicable(firm, tag)); // success leaves the code alone
    PutCall(out, KRIsLimitsInLots(firm));
    return out;
}

} // namespace world

#endif

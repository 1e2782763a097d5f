// Bit-identical figures on every target: one fixed scenario (three firms, clients of both credit
// lags, face-value bonds, all row and actv sizes) is run through the exports, and every output
// record is compared byte for byte with tests/data/golden.bin. The same file must match on
// 64-bit Linux, 32-bit ARM under qemu and 64-bit Windows under wine.
//
// To regenerate the file after a deliberate change of the figures, run the test once with
// KESVAR_GOLDEN_UPDATE=1 in the environment on the native build, e.g.
//   KESVAR_GOLDEN_UPDATE=1 build/native/tests/kesvar_tests --gtest_filter='Golden.*'
// and review the diff of the figures the test prints before committing the new file.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_host.h"

using namespace fakehost;

namespace {

// One output record: what was asked, the export's result and last error, and the bytes.
struct Block {
    std::string label;
    int32_t result = 0;
    int32_t lastError = 0;
    std::vector<uint8_t> bytes;
};

const uint32_t kRowSizes[] = {KR_ROW_SIZE_280, KR_ROW_SIZE_272, KR_ROW_SIZE_264, KR_ROW_SIZE_248};
const uint32_t kActvSizes[] = {KR_ACTV_SIZE_56, KR_ACTV_SIZE_48};
const uint8_t kFill = 0xA5; // bytes the library must leave alone keep this value
const char kMagic[8] = {'K', 'S', 'V', 'G', 'O', 'L', 'D', '1'};

// Registered securities: host class id, host security id, code.
struct Sec {
    uint32_t classId, secId;
    const char* code;
};
const Sec kSecs[] = {
    {10, 101, "SBER"}, {10, 102, "GAZP"}, {10, 103, "LKOH"},     {10, 104, "NOPRICE"},
    {20, 201, "OFZ1"}, {20, 202, "OFZ2"}, {30, 301, "UNLISTED"}, {40, 401, "OTHER"},
};

// Firm and client of every row asked for; the comment says what the row exercises.
struct Client {
    const char* firm;
    const char* client;
};
const Client kClients[] = {
    {"F1", "C1"},  // credit lag 1, limits in lots, weights, board and account kinds
    {"F1", "L2"},  // credit lag 2 by [CLIENTLAG]
    {"F1", "VIP"}, // own client margin section ignoring short restrictions
    {"F2", "C1"},  // lag 1 by [CLIENTLAG] in a lag-2 firm, limits in units, volume flag
    {"F2", "D2"},  // the firm's lag 2, leverage given by a money limit
    {"F3", "Z1"},  // main margin classes order, no lists but one, empty limits
};

const char* kF1 = "[LIMITALLOWEDSECURITY]\n"
                  "TQBR=SBER,LKOH,NOPRICE\n"
                  "TQOB=OFZ1\n"
                  "[ASSETSECURITIES]\n"
                  "TQBR=SBER,GAZP\n"
                  "TQOB=<ALL>\n"
                  "[RESTSHORTSECURITIES]\n"
                  "TQBR=LKOH\n"
                  "[GENERAL]\n"
                  "RSTRNMBUY=1\n"
                  "CHECKMAXCREDIT=1\n"
                  "[CLVIP_MARGIN]\n"
                  "TQBR=SBER,LKOH\n"
                  "TQBR_ASSET=SBER,GAZP,LKOH\n"
                  "IGNORERESTSHORTSECURITY=1\n"
                  "[CLIENTLAG]\n"
                  "L2=2\n"
                  "[SECURITYWEIGHT]\n"
                  "SBER=0.85,1.35\n"
                  "OFZ1=0.95,1.1\n"
                  "LKOH=0.7,1.7\n"
                  "[BOARDTAG]\n"
                  "MB=\n"
                  "[ADDLIMITBOARDS]\n"
                  "MB=AL\n"
                  "[ADDREPOBOARDS]\n"
                  "MB=RP\n"
                  "[ADDLIMITTRDACC]\n"
                  "MB=ACC2\n"
                  "[ADDREPOTRDACC]\n"
                  "MB=ACC3\n";

const char* kF2 = "[general]\n"
                  "creditlag=2\n"
                  "limitsinlots=0\n"
                  "rstrnmbuy=0\n"
                  "[limitallowedsecurity]\n"
                  "tqbr=<all>\n"
                  "tqob=ofz2\n"
                  "[assetsecurities]\n"
                  "tqob=ofz1,ofz2\n"
                  "tqbr=gazp\n"
                  "[restshortsecurities]\n"
                  "tqbr=sber\n"
                  "[clientlag]\n"
                  "c1=1\n"
                  "[securityweight]\n"
                  "gazp=0.6,1.9\n"
                  "volume\n";

const char* kF3 = "[GENERAL]\n"
                  "MAINMARGINCLASSES=TQOB,TQBR\n"
                  "[LIMITALLOWEDSECURITY]\n"
                  "TQOB=OFZ2,OFZ1\n"
                  "TQBR=GAZP\n";

void Scenario() {
    ASSERT_EQ(1, Install(KR_INTERFACE_V2));
    ASSERT_EQ(
        1,
        AddClass(10, "TQBR",
                 {{101, "SBER", 10}, {102, "GAZP", 10}, {103, "LKOH", 1}, {104, "NOPRICE", 100}}));
    ASSERT_EQ(1, AddClass(20, "TQOB", {{201, "OFZ1", 1, 1000.0}, {202, "OFZ2", 1, 500.0}},
                          KR_CLASS_FACE_VALUE));
    ASSERT_EQ(1, AddClass(30, "UNL", {{301, "UNLISTED", 1}}, 0, 1));
    ASSERT_EQ(1, AddClass(40, "OTH", {{401, "OTHER", 1}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", kF1));
    ASSERT_EQ(1, KRSetDliniFile("F2", kF2));
    ASSERT_EQ(1, KRSetDliniFile("F3", kF3));

    // Prices with fractions that do not fit a double exactly, so any change in the order or
    // grouping of the arithmetic shows in the last bits.
    SetPrices(10, 101, 271.37, 271.21, 268.9, 270.13);
    SetPrices(10, 102, 163.43, 163.17, 161.11, 0.0); // no last price
    SetPrices(10, 103, 6932.5, 6928.0, 6901.3, 6930.7);
    SetPrices(20, 201, 98.731, 98.512, 98.3, 98.61, 17.43);
    SetPrices(20, 202, 101.07, 100.93, 0.0, 100.99, 3.17); // no previous price
    SetPrices(30, 301, 11.3, 11.1, 11.05, 11.2);
    SetPrices(40, 401, 1.7, 1.6, 1.65, 1.66);

    // Money limits (hundredths), per client in one run; tags of every board kind.
    auto money = [](const char* firm, const char* client, const char* tag, double open,
                    double current, double locked, int32_t leverage = -1) {
        Money m;
        m.firm = firm;
        m.client = client;
        m.tag = tag;
        m.openBalance = open;
        m.openLimit = open * 0.25;
        m.currentBalance = current;
        m.currentLimit = current * 0.5;
        m.locked = locked;
        m.lockedValue = locked * 1.03;
        m.leveragePercent = leverage;
        AddMoneyLimit(m);
    };
    money("F1", "C1", "MB", 1234567.0, 1198765.0, 43211.0);
    money("F1", "C1", "AL", 50000.0, 61234.0, 0.0);
    money("F1", "C1", "RP", 7000.0, 6500.0, 1300.0);
    money("F1", "C1", "ZZ", 999999.0, 999999.0, 999.0); // not a listed board: skipped
    money("F1", "L2", "MB", 250000.0, -125000.5, 3333.0);
    money("F1", "L2", "AL", 10000.0, 10000.0, 0.0, 250);
    money("F1", "VIP", "MB", 5000000.0, 4200000.0, 100000.0, 300);
    money("F2", "C1", "EQTV", 800000.0, 812345.67, 12345.0);
    money("F2", "D2", "EQTV", 300000.0, 150000.25, 5000.0, 175);
    money("F2", "D2", "SPBX", 20000.0, 19000.0, 0.0, 400);
    money("F3", "Z1", "EQTV", 0.0, 0.0, 0.0);

    // Positions: longs, shorts, locked buys and sells, accounts of every kind.
    auto position = [](const char* firm, const char* client, const char* code, const char* acc,
                       int32_t open, int32_t current, int32_t lockedSell, int32_t lockedBuy,
                       double lockedBuyValue) {
        Position p;
        p.firm = firm;
        p.client = client;
        p.secCode = code;
        p.trdAcc = acc;
        p.openBalance = open;
        p.openLimit = open / 2;
        p.currentBalance = current;
        p.currentLimit = current / 3;
        p.lockedSell = lockedSell;
        p.lockedBuy = lockedBuy;
        p.lockedBuyValue = lockedBuyValue;
        AddSecLimit(p);
    };
    position("F1", "C1", "SBER", "ACC1", 120, 95, 7, 3, 81000.37);
    position("F1", "C1", "GAZP", "ACC1", 40, 55, 0, 11, 179000.0);
    position("F1", "C1", "LKOH", "ACC2", -3, -5, 0, 1, 693250.0);
    position("F1", "C1", "OFZ1", "ACC1", 15, 22, 2, 0, 0.0);
    position("F1", "C1", "UNLISTED", "ACC3", 100, 150, 10, 0, 0.0);
    position("F1", "C1", "NOPRICE", "ACC1", 5, 5, 0, 0, 0.0);
    position("F1", "L2", "SBER", "ACC1", -30, -42, 0, 5, 135800.0);
    position("F1", "L2", "OFZ1", "ACC1", 50, 47, 5, 0, 0.0);
    position("F1", "L2", "LKOH", "ACC1", 2, 1, 1, 0, 0.0);
    position("F1", "VIP", "SBER", "ACC1", 1000, 1100, 100, 50, 1356000.0);
    position("F1", "VIP", "LKOH", "ACC1", -20, -25, 0, 0, 0.0);
    position("F2", "C1", "GAZP", "ACC1", 3000, 2750, 250, 0, 0.0);
    position("F2", "C1", "OFZ2", "ACC1", 100, 120, 0, 30, 303000.0);
    position("F2", "D2", "SBER", "ACC1", -500, -650, 0, 100, 2713700.0);
    position("F2", "D2", "GAZP", "ACC1", 1200, 1000, 0, 0, 0.0);
    position("F2", "D2", "OFZ1", "ACC1", 75, 80, 10, 0, 0.0);
    position("F2", "D2", "OTHER", "ACC1", 10000, 12000, 0, 0, 0.0);
}

// Appends ids, counts and codes of the margin list (not its pointers) to the vector at `user`.
int32_t KR_CALL MarginSecsToBytes(const KRMarginClassEntry* e, uint32_t n, uintptr_t user) {
    std::vector<uint8_t>& bytes = *reinterpret_cast<std::vector<uint8_t>*>(user);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&e[i]);
        bytes.insert(bytes.end(), p, p + 8); // classId, secCount
        bytes.insert(bytes.end(), e[i].code, e[i].code + sizeof e[i].code);
        for (int32_t j = 0; j < e[i].secCount; ++j) {
            const uint8_t* q = reinterpret_cast<const uint8_t*>(&e[i].secs[j]);
            bytes.insert(bytes.end(), q, q + sizeof(KRMarginSecEntry));
        }
    }
    return 0;
}

std::string Label(const char* what, const Client& c, uint32_t rowSize) {
    return std::string(what) + " " + c.firm + "/" + c.client + " row " + std::to_string(rowSize);
}

// Runs the scenario and collects every output record.
std::vector<Block> RunScenario() {
    std::vector<Block> out;
    int rowsBound = 0, lag2Rows = 0, actvOk = 0, actvNoPrice = 0;
    for (const Client& c : kClients) {
        for (uint32_t rowSize : kRowSizes) {
            // The row lives in a larger buffer: bytes past its size tag must stay untouched.
            alignas(8) uint8_t row[296];
            memset(row, kFill, sizeof row);
            KRMarginalRow init = Row(c.firm, c.client, rowSize);
            memcpy(row, &init, offsetof(KRMarginalRow, creditLag2));
            KRMarginalRow* r = reinterpret_cast<KRMarginalRow*>(row);

            Block b;
            b.label = Label("row", c, rowSize);
            int32_t bound = KRInitMarginalRow(r);
            rowsBound += bound;
            b.result = bound ? KRCalcMarginalRow(r) : 0;
            b.lastError = KRGetLastError();
            EXPECT_EQ(1, b.result) << b.label;
            lag2Rows += r->creditLag2 == 1;
            b.bytes.assign(row, row + sizeof row);
            // The binding is a handle, not a figure.
            memset(&b.bytes[offsetof(KRMarginalRow, binding)], 0, sizeof(uint32_t));
            out.push_back(b);

            for (const Sec& s : kSecs) {
                for (uint32_t actvSize : kActvSizes) {
                    for (int p = 0; p < 2; ++p) {
                        // 0: offer to buy, bid to sell; else a price of the host's choosing.
                        const double price = p == 0 ? 0.0 : 157.25;
                        alignas(8) uint8_t actv[64];
                        memset(actv, kFill, sizeof actv);
                        KRMarginalActv a0 = Actv(s.classId, s.secId, actvSize);
                        memcpy(actv, &a0, offsetof(KRMarginalActv, secIndex));
                        KRMarginalActv* a = reinterpret_cast<KRMarginalActv*>(actv);
                        Block ab;
                        ab.label = Label("actv", c, rowSize) + " " + s.code + " size " +
                                   std::to_string(actvSize) + (p == 0 ? " market" : " at 157.25");
                        int32_t prepared = KRInitMarginalActv(r, a);
                        ab.result = prepared ? KRCalcMarginalActv(r, a, price) : -1;
                        ab.lastError = KRGetLastError();
                        EXPECT_EQ(1, prepared) << ab.label;
                        actvOk += ab.result == 1;
                        actvNoPrice += ab.lastError == KR_ERR_NO_PRICE;
                        ab.bytes.assign(actv, actv + sizeof actv);
                        out.push_back(ab);
                    }
                }
            }

            // The margin list of the row's client: ids, counts and codes (not the pointers).
            Block mb;
            mb.label = Label("marginsecs", c, rowSize);
            mb.result =
                KRGetMarginSecs(r, MarginSecsToBytes, reinterpret_cast<uintptr_t>(&mb.bytes));
            mb.lastError = KRGetLastError();
            EXPECT_EQ(1, mb.result) << mb.label;
            out.push_back(mb);
        }
    }
    // The scenario must reach what it claims to cover.
    EXPECT_EQ(int(sizeof kClients / sizeof kClients[0] * 4), rowsBound);
    EXPECT_EQ(2 * 4, lag2Rows) << "rows of credit lag 2";
    EXPECT_GT(actvOk, 500);
    EXPECT_GT(actvNoPrice, 0);
    return out;
}

void Put32(std::vector<uint8_t>& f, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        f.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const std::vector<uint8_t>& f, size_t& at, bool& ok) {
    if (at + 4 > f.size()) {
        ok = false;
        return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(f[at + i]) << (8 * i);
    at += 4;
    return v;
}

std::vector<uint8_t> Serialise(const std::vector<Block>& blocks) {
    std::vector<uint8_t> f(kMagic, kMagic + sizeof kMagic);
    Put32(f, uint32_t(blocks.size()));
    for (const Block& b : blocks) {
        Put32(f, uint32_t(b.label.size()));
        f.insert(f.end(), b.label.begin(), b.label.end());
        Put32(f, uint32_t(b.result));
        Put32(f, uint32_t(b.lastError));
        Put32(f, uint32_t(b.bytes.size()));
        f.insert(f.end(), b.bytes.begin(), b.bytes.end());
    }
    return f;
}

bool Parse(const std::vector<uint8_t>& f, std::vector<Block>& blocks) {
    if (f.size() < sizeof kMagic || memcmp(f.data(), kMagic, sizeof kMagic) != 0) return false;
    size_t at = sizeof kMagic;
    bool ok = true;
    uint32_t n = Get32(f, at, ok);
    for (uint32_t i = 0; ok && i < n; ++i) {
        Block b;
        uint32_t len = Get32(f, at, ok);
        if (!ok || at + len > f.size()) return false;
        b.label.assign(reinterpret_cast<const char*>(&f[at]), len);
        at += len;
        b.result = int32_t(Get32(f, at, ok));
        b.lastError = int32_t(Get32(f, at, ok));
        len = Get32(f, at, ok);
        if (!ok || at + len > f.size()) return false;
        b.bytes.assign(f.begin() + long(at), f.begin() + long(at + len));
        at += len;
        blocks.push_back(b);
    }
    return ok && at == f.size();
}

std::string GoldenPath() {
    std::string dir = KESVAR_TEST_DATA;
#ifdef _WIN32
    // Under wine the build's absolute Unix paths live on drive Z:.
    if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
    return dir + "/golden.bin";
}

// The 8-byte field holding offset `at` of a row or actv record, as a double.
std::string FieldAt(const std::vector<uint8_t>& bytes, size_t at) {
    size_t start = at & ~size_t(7);
    if (start + 8 > bytes.size()) return "";
    double d;
    memcpy(&d, &bytes[start], sizeof d);
    char text[96];
    snprintf(text, sizeof text, " (bytes %u-%u as double: %.17g)", unsigned(start),
             unsigned(start + 7), d);
    return text;
}

} // namespace

TEST(Golden, EveryRecordMatchesByteForByte) {
    std::vector<Block> now;
    ASSERT_NO_FATAL_FAILURE(Scenario());
    now = RunScenario();
    ASSERT_FALSE(HasFailure()) << "the scenario itself went wrong";
    const std::string path = GoldenPath();

    if (getenv("KESVAR_GOLDEN_UPDATE")) {
        std::vector<uint8_t> f = Serialise(now);
        FILE* out = fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, out) << path;
        ASSERT_EQ(f.size(), fwrite(f.data(), 1, f.size(), out));
        ASSERT_EQ(0, fclose(out));
        GTEST_SKIP() << "wrote " << now.size() << " records to " << path << ", nothing compared";
    }

    std::vector<uint8_t> file;
    FILE* in = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, in) << "cannot read " << path
                           << " (KESVAR_GOLDEN_UPDATE=1 writes it, see the top of this file)";
    uint8_t chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, in)) > 0)
        file.insert(file.end(), chunk, chunk + got);
    fclose(in);
    std::vector<Block> golden;
    ASSERT_TRUE(Parse(file, golden)) << path << " is not a golden file of this test";
    ASSERT_EQ(golden.size(), now.size()) << "the scenario changed; regenerate the golden file";

    int reported = 0;
    for (size_t i = 0; i < now.size(); ++i) {
        const Block& g = golden[i];
        const Block& b = now[i];
        ASSERT_EQ(g.label, b.label) << "record " << i;
        EXPECT_EQ(g.result, b.result) << b.label;
        EXPECT_EQ(g.lastError, b.lastError) << b.label;
        if (g.bytes == b.bytes) continue;
        size_t at = 0;
        while (at < g.bytes.size() && at < b.bytes.size() && g.bytes[at] == b.bytes[at])
            ++at;
        if (reported++ < 20) {
            const int want = at < g.bytes.size() ? g.bytes[at] : -1;
            const int have = at < b.bytes.size() ? b.bytes[at] : -1;
            ADD_FAILURE() << b.label << ": first difference at byte " << at << ", expected " << want
                          << FieldAt(g.bytes, at) << ", got " << have << FieldAt(b.bytes, at)
                          << "; sizes " << g.bytes.size() << " and " << b.bytes.size();
        }
    }
    EXPECT_EQ(0, reported) << "records that differ";
}

// Bit-identical figures on every target: the shared scenario is run through the exports (every
// row and actv size, both price modes, the margin lists) and the records are compared byte for
// byte with tests/data/golden.bin. The same file must match on 64-bit Linux, 32-bit ARM under
// qemu and 64-bit Windows under wine.
//
// To regenerate the file after a deliberate change of the figures, run the test once with
// KESVAR_GOLDEN_UPDATE=1 in the environment on the native build, e.g.
//   KESVAR_GOLDEN_UPDATE=1 build/native/tests/kesvar_tests --gtest_filter='Golden.*'
// and review what the comparison then reports against the committed file before replacing it.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include "scenario.h"

using namespace fakehost;

namespace {

const uint8_t kFill = 0xA5; // bytes the library must leave alone keep this value

// The file: "KSVGOLD1", the record count, then per record the label, the export's result and
// last error, and the bytes, each preceded by its length (32-bit little-endian).
struct File {
    std::vector<uint8_t> bytes{'K', 'S', 'V', 'G', 'O', 'L', 'D', '1', 0, 0, 0, 0};
    std::vector<std::pair<size_t, std::string>> starts; // offset and label of each record

    void Put32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(v >> (8 * i)));
    }
    void Add(const std::string& label, int32_t result, const uint8_t* p, size_t n) {
        starts.push_back({bytes.size(), label});
        Put32(uint32_t(label.size()));
        bytes.insert(bytes.end(), label.begin(), label.end());
        Put32(uint32_t(result));
        Put32(uint32_t(KRGetLastError()));
        Put32(uint32_t(n));
        bytes.insert(bytes.end(), p, p + n);
        const uint32_t count = uint32_t(starts.size());
        memcpy(&bytes[8], &count, 4); // little-endian on every target of the library
    }
};

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

// Every row (in a larger buffer, so bytes past its tag must stay untouched), actv and margin
// list of the first three firms' clients.
File RunScenario() {
    File out;
    int lag2Rows = 0, actvOk = 0, actvNoPrice = 0;
    for (size_t f = 0; f < 3; ++f) {
        const world::Firm& firm = world::Firms()[f];
        for (const std::string& client : firm.clients) {
            for (uint32_t rowSize :
                 {KR_ROW_SIZE_280, KR_ROW_SIZE_272, KR_ROW_SIZE_264, KR_ROW_SIZE_248}) {
                const std::string at =
                    std::string(firm.id) + "/" + client + " row " + std::to_string(rowSize);
                alignas(8) uint8_t row[296];
                memset(row, kFill, sizeof row);
                const KRMarginalRow init = Row(firm.id, client, rowSize);
                memcpy(row, &init, offsetof(KRMarginalRow, creditLag2));
                KRMarginalRow* r = reinterpret_cast<KRMarginalRow*>(row);
                const int32_t result = KRInitMarginalRow(r) ? KRCalcMarginalRow(r) : 0;
                EXPECT_EQ(1, result) << at;
                lag2Rows += r->creditLag2 == 1;
                std::vector<uint8_t> bytes(row, row + sizeof row);
                memset(&bytes[offsetof(KRMarginalRow, binding)], 0, 4); // a handle, no figure
                out.Add("row " + at, result, bytes.data(), bytes.size());

                for (const world::SecRef& s : world::Securities()) {
                    for (uint32_t actvSize : {KR_ACTV_SIZE_56, KR_ACTV_SIZE_48}) {
                        for (double price : {0.0, 157.25}) {
                            alignas(8) uint8_t actv[64];
                            memset(actv, kFill, sizeof actv);
                            const KRMarginalActv a0 = Actv(s.classId, s.secId, actvSize);
                            memcpy(actv, &a0, offsetof(KRMarginalActv, secIndex));
                            KRMarginalActv* a = reinterpret_cast<KRMarginalActv*>(actv);
                            EXPECT_EQ(1, KRInitMarginalActv(r, a)) << at << s.code;
                            const int32_t calc = KRCalcMarginalActv(r, a, price);
                            actvOk += calc == 1;
                            actvNoPrice += KRGetLastError() == KR_ERR_NO_PRICE;
                            out.Add("actv " + at + " " + s.code + " size " +
                                        std::to_string(actvSize) +
                                        (price == 0.0 ? " market" : " at 157.25"),
                                    calc, actv, sizeof actv);
                        }
                    }
                }
                std::vector<uint8_t> list;
                const int32_t listed =
                    KRGetMarginSecs(r, MarginSecsToBytes, reinterpret_cast<uintptr_t>(&list));
                EXPECT_EQ(1, listed) << at;
                out.Add("marginsecs " + at, listed, list.data(), list.size());
            }
        }
    }
    // The scenario must reach what it claims to cover.
    EXPECT_EQ(2 * 4, lag2Rows) << "rows of credit lag 2";
    EXPECT_GT(actvOk, 500);
    EXPECT_GT(actvNoPrice, 0);
    return out;
}

std::string GoldenPath() {
    std::string dir = KESVAR_TEST_DATA;
#ifdef _WIN32
    // Under wine the build's absolute Unix paths live on drive Z:.
    if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
    return dir + "/golden.bin";
}

} // namespace

TEST(Golden, EveryRecordMatchesByteForByte) {
    ASSERT_EQ(1, Install(KR_INTERFACE_V2));
    ASSERT_TRUE(world::Build());
    const File now = RunScenario();
    ASSERT_FALSE(HasFailure()) << "the scenario itself went wrong";
    const std::string path = GoldenPath();

    if (getenv("KESVAR_GOLDEN_UPDATE")) {
        FILE* out = fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, out) << path;
        ASSERT_EQ(now.bytes.size(), fwrite(now.bytes.data(), 1, now.bytes.size(), out));
        ASSERT_EQ(0, fclose(out));
        GTEST_SKIP() << "wrote " << now.starts.size() << " records to " << path;
    }

    std::vector<uint8_t> file;
    FILE* in = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, in) << "cannot read " << path
                           << " (KESVAR_GOLDEN_UPDATE=1 writes it, see the top of this file)";
    uint8_t chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, in)) > 0;)
        file.insert(file.end(), chunk, chunk + got);
    fclose(in);
    if (file == now.bytes) return;

    // The first byte that differs, and the record it belongs to.
    size_t at = 0, record = 0;
    while (at < file.size() && at < now.bytes.size() && file[at] == now.bytes[at])
        ++at;
    while (record + 1 < now.starts.size() && now.starts[record + 1].first <= at)
        ++record;
    ADD_FAILURE() << "first difference at byte " << at << " of " << file.size() << " and "
                  << now.bytes.size() << ", " << at - now.starts[record].first
                  << " bytes into record " << record << " \"" << now.starts[record].second << "\"";
}

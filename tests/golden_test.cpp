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

#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "scenario.h"

using namespace memory_host;

namespace {

const uint8_t kFill = 0xA5; // bytes the library must leave alone keep this value

// The file: "KSVGOLD1", the record count, then per record the label, the export's result and
// last error, and the bytes, each preceded by its length (32-bit little-endian, as every target
// of the library stores them).
struct File {
    std::string bytes = std::string("KSVGOLD1") + std::string(4, '\0');
    std::vector<std::pair<size_t, std::string>> starts; // offset and label of each record

    void Add(const std::string& label, int32_t result, const void* p, size_t n) {
        starts.push_back({bytes.size(), label});
        world::Recorder out{bytes};
        out.Values(uint32_t(label.size()));
        out.Put(label.data(), label.size());
        out.Call(result);
        out.Values(uint32_t(n));
        out.Put(p, n);
        const uint32_t count = uint32_t(starts.size());
        memcpy(&bytes[8], &count, 4);
    }
};

// Appends ids, counts and codes of the margin list (not its pointers) to the string at `user`.
int32_t KR_CALL MarginSecsToBytes(const KRMarginClassEntry* e, uint32_t n, uintptr_t user) {
    world::Recorder out{*reinterpret_cast<std::string*>(user)};
    for (uint32_t i = 0; i < n; ++i) {
        out.Put(&e[i], 8); // classId, secCount
        out.Put(e[i].code, sizeof e[i].code);
        out.Put(e[i].secs, e[i].secCount * sizeof(KRMarginSecEntry));
    }
    return 0;
}

} // namespace

// Every row (in a larger buffer, so bytes past its tag must stay untouched), actv and margin
// list of the first three firms' clients.
TEST(Golden, EveryRecordMatchesByteForByte) {
    ASSERT_TRUE(Install(KR_INTERFACE_V2) == 1 && world::Build());
    File now;
    int lag2Rows = 0, actvOk = 0, actvNoPrice = 0;
    for (const world::Firm& firm : {world::Firms()[0], world::Firms()[1], world::Firms()[2]})
        for (const std::string& client : firm.clients)
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
                now.Add("row " + at, result, row, sizeof row);
                // The binding is a handle, not a figure: zeroed in the file.
                memset(&now.bytes[now.bytes.size() - sizeof row + 4], 0, 4);
                for (const world::SecRef& s : world::Securities())
                    for (uint32_t actvSize : {KR_ACTV_SIZE_56, KR_ACTV_SIZE_48})
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
                            now.Add("actv " + at + " " + s.code + " size " +
                                        std::to_string(actvSize) +
                                        (price == 0.0 ? " market" : " at 157.25"),
                                    calc, actv, sizeof actv);
                        }
                std::string list;
                const int32_t listed = KRGetMarginSecs(r, MarginSecsToBytes, uintptr_t(&list));
                EXPECT_EQ(1, listed) << at;
                now.Add("marginsecs " + at, listed, list.data(), list.size());
            }
    // The scenario must reach what it claims to cover.
    EXPECT_EQ(2 * 4, lag2Rows) << "rows of credit lag 2";
    EXPECT_GT(actvOk, 500);
    EXPECT_GT(actvNoPrice, 0);
    ASSERT_FALSE(HasFailure()) << "the scenario itself went wrong";

    std::string path = KESVAR_TEST_DATA "/golden.bin";
#ifdef _WIN32
    // Under wine the build's absolute Unix paths live on drive Z:.
    if (path[0] == '/') path = "Z:" + path;
#endif
    if (getenv("KESVAR_GOLDEN_UPDATE")) {
        std::ofstream out(path, std::ios::binary);
        ASSERT_TRUE(out << now.bytes << std::flush) << "cannot write " << path;
        GTEST_SKIP() << "wrote " << now.starts.size() << " records to " << path;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "cannot read " << path
                    << " (KESVAR_GOLDEN_UPDATE=1 writes it, see the top of this file)";
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

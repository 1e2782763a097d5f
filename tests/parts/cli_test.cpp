// The kesvar tool as a user runs it: figures of a hand-worked portfolio, refusals of bad
// scenarios, and the settings checker's reports.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::json;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh file in the test's temporary directory.
std::string TempFile(const std::string& name, const std::string& content) {
    std::string path = testing::TempDir() + "kesvar_cli_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

Result Kesvar(const std::string& args) {
    std::string errPath = TempFile("stderr", "");
    std::string cmd = std::string("'") + KESVAR_CLI + "' " + args + " 2>'" + errPath + "'";
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = Slurp(errPath);
    remove(errPath.c_str());
    return r;
}

std::string Data(const std::string& name) {
    return std::string(KESVAR_CLI_DATA) + "/" + name;
}

json RunJson(const std::string& scenario) {
    Result r = Kesvar("run '" + scenario + "' --format json");
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out);
}

const json& RowOf(const json& out, const std::string& client) {
    for (const json& row : out["rows"])
        if (row["client"] == client) return row;
    static const json none;
    ADD_FAILURE() << "no row for " << client;
    return none;
}

// Figures worked out by hand from the money and positions of tests/data/cli/small.json.
TEST(CliRun, RowFiguresMatchTheHandWorkedPortfolio) {
    json out = RunJson(Data("small.json"));
    const double marginLevel = (1930.0 / 5950.0) * 100.0;
    struct Case {
        const char* client;
        const char* field;
        double expected;
    } cases[] = {
        // C1, credit lag 1: 10.00 money, 5 lots of SBER long, 2 lots of GAZP short.
        {"C1", "moneyAvailable", 1000},
        {"C1", "openCollateral", 6000},
        {"C1", "leverage", 0.5},
        {"C1", "openLimitTotal", 3000},
        {"C1", "shortValue", -4020},
        {"C1", "longValue", 4950},
        {"C1", "longValueMargin", 4950},
        {"C1", "longValueAsset", 0},
        {"C1", "equity", 1930},
        {"C1", "marginLevel", marginLevel},
        {"C1", "creditCapacity", 965},
        {"C1", "buyCapacity", -6075},
        {"C1", "buyCapacityCopy", -6075},
        {"C1", "buyCommitment", 0},
        {"C1", "uncoveredSellValue", 0},
        {"C1", "marginBuyLimit", 4000},
        {"C1", "ownBuyLimit", 1000},
        {"C1", "assetBuyLimit", 0},
        {"C1", "settlementDebt", 0},
        {"C1", "openValue", 6000},
        {"C1", "currentValue", 2000},
        {"C1", "moneyCurrent", 1000},
        {"C1", "moneyLocked", 0},
        {"C1", "currentLeverage", 100.0 / marginLevel - 1.0},
        {"C1", "equitySurplus", 0},
        // C2, credit lag 2 from [CLIENTLAG]: money only.
        {"C2", "moneyAvailable", 5000},
        {"C2", "leverage", 0},
        {"C2", "equity", 5000},
        {"C2", "marginLevel", 100},
        {"C2", "buyCapacity", 0},
        {"C2", "marginBuyLimit", 5000},
        {"C2", "ownBuyLimit", 5000},
        {"C2", "assetBuyLimit", 5000},
        {"C2", "settlementDebt", 0},
        {"C2", "currentLeverage", 0},
    };
    for (const Case& c : cases) {
        const json& row = RowOf(out, c.client);
        ASSERT_TRUE(row["figures"].contains(c.field)) << c.client << " " << c.field;
        EXPECT_DOUBLE_EQ(row["figures"][c.field].get<double>(), c.expected)
            << c.client << " " << c.field;
    }
    EXPECT_EQ(RowOf(out, "C1")["creditLag2"], 0);
    EXPECT_EQ(RowOf(out, "C2")["creditLag2"], 1);
    EXPECT_EQ(RowOf(out, "C1")["figures"].size(), 28u) << "every figure of a 280-byte row";
}

TEST(CliRun, ActvFiguresMatchTheHandWorkedPortfolio) {
    json out = RunJson(Data("small.json"));
    struct Case {
        const char* client;
        size_t index;
        int position, maxBuy, maxSell;
        double value, prevValue;
    } cases[] = {
        // Plain regime: 40.00 margin buy limit over 10 x 101 (offer), and over 10 x 190.
        {"C1", 0, 5, 3, 5, 5000, 5000},
        {"C1", 1, -2, 2, 0, -4000, -4000},
        // Lag-2 regime: 5000 / 10 lots / 101 offer.
        {"C2", 0, 0, 4, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const json& a = RowOf(out, c.client)["actv"][c.index];
        SCOPED_TRACE(std::string(c.client) + " " + a["security"].get<std::string>());
        ASSERT_TRUE(a["ok"].get<bool>()) << a;
        EXPECT_EQ(a["isMargin"], 1);
        EXPECT_EQ(a["isAsset"], 1);
        EXPECT_EQ(a["isRestShort"], 0);
        EXPECT_EQ(a["position"], c.position);
        EXPECT_EQ(a["maxBuy"], c.maxBuy);
        EXPECT_EQ(a["maxSell"], c.maxSell);
        EXPECT_DOUBLE_EQ(a["value"].get<double>(), c.value);
        EXPECT_DOUBLE_EQ(a["prevValue"].get<double>(), c.prevValue);
    }
}

// The three formats carry the same figures; the CSV and JSON ones exactly.
TEST(CliRun, CsvCarriesTheJsonFiguresExactly) {
    json out = RunJson(Data("small.json"));
    Result csv = Kesvar("run '" + Data("small.json") + "' --format csv");
    ASSERT_EQ(csv.status, 0) << csv.err;
    std::istringstream lines(csv.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "record,firm,client,class,security,field,value");
    int compared = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            f.push_back(cell);
        ASSERT_EQ(f.size(), 7u) << line;
        if (f[0] != "row" || f[5] == "creditLag2" || f[5] == "leverageGiven") continue;
        EXPECT_EQ(strtod(f[6].c_str(), nullptr), RowOf(out, f[2])["figures"][f[5]].get<double>())
            << line;
        ++compared;
    }
    EXPECT_EQ(compared, 2 * 28);
}

TEST(CliRun, FailedCallsNameTheExportAndTheCode) {
    struct Case {
        const char* what;
        const char* rows;
        const char* text;
        const char* call;
        int code;
        const char* name;
    } cases[] = {
        {"no settings for the firm", R"([{"firm": "NOSUCH", "client": "C1"}])",
         "KRInitMarginalRow failed for NOSUCH/C1: 5 KR_ERR_NO_SETTINGS", "KRInitMarginalRow", 5,
         "KR_ERR_NO_SETTINGS"},
        {"a security without any price",
         R"([{"firm": "F1", "client": "C1", "actv": [{"security": "NOPX"}]}])",
         "KRCalcMarginalActv failed for NOPX: 8 KR_ERR_NO_PRICE", "KRCalcMarginalActv", 8,
         "KR_ERR_NO_PRICE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string scenario = std::string(R"({"classes": [{"id": 1, "code": "TQBR",
            "securities": [{"id": 7, "code": "NOPX"}]}],
            "firms": [{"id": "F1", "settings": "[LIMITALLOWEDSECURITY]\nTQBR=NOPX"}],
            "rows": )") + c.rows +
                               "}";
        std::string path = TempFile("failing.json", scenario);
        Result r = Kesvar("run '" + path + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;

        Result j = Kesvar("run '" + path + "' -f json");
        EXPECT_EQ(j.status, 1);
        json out = json::parse(j.out);
        const json& row = out["rows"][0];
        const json& failure = row["ok"].get<bool>() ? row["actv"][0]["failure"] : row["failure"];
        EXPECT_EQ(failure["call"], c.call);
        EXPECT_EQ(failure["code"], c.code);
        EXPECT_EQ(failure["name"], c.name);
    }
}

// Every bad input stops before anything runs: one message naming the place, status 2,
// nothing on standard output.
TEST(CliRun, MalformedScenariosAreRefusedWithThePathAndWhatWasExpected) {
    const std::string sec =
        R"({"id": 1, "code": "TQBR", "securities": [{"id": 7, "code": "SBER"}]})";
    const std::string row = R"("rows": [{"firm": "F1", "client": "C1"}])";
    struct Case {
        std::string scenario;
        const char* path;
        const char* expected;
    } cases[] = {
        {R"({"rows": [)", "(JSON)", "expected valid JSON"},
        {"[]", "(top level)", "expected an object"},
        {R"({"row": []})", "row:", "unexpected key"},
        {R"({"classes": []})", "rows:", "expected at least one row request"},
        {R"({"interfaceVersion": 3, )" + row + "}", "interfaceVersion", "expected 1 or 2"},
        {R"({"classes": [{"id": -1, "code": "X"}], )" + row + "}", "classes[0].id",
         "expected an integer from 0 to 4294967295"},
        {R"({"classes": [{"id": 1, "code": "ABCDEFGHIJKLM"}], )" + row + "}", "classes[0].code",
         "expected at most 12 characters"},
        {R"({"classes": [{"id": 1, "code": "X", "securities": [{"id": 2, "code": 5}]}], )" + row +
             "}",
         "classes[0].securities[0].code", "expected a string, found a number"},
        {R"({"classes": [{"id": 1, "code": "X", "securities": [{"id": 2, "code": "S", "lot": 1.5}]}], )" +
             row + "}",
         "classes[0].securities[0].lot", "expected an integer"},
        {R"({"classes": [)" + sec + "," + sec + "], " + row + "}", "classes[1].code",
         "not used by an earlier class"},
        {R"({"firms": [{"id": "F1", "settings": "", "settingsFile": "x"}], )" + row + "}",
         "firms[0]:", "not both"},
        {R"({"firms": [{"id": "F1", "settingsFile": "no-such.dlini"}], )" + row + "}",
         "firms[0].settingsFile", "expected a readable settings file"},
        {R"({"firms": [{"id": "F1"}], )" + row + "}", "firms[0]:", "expected \"settings\""},
        {R"({"moneyLimits": [{"firm": "F1", "client": "C1", "tag": "EQTVX"}], )" + row + "}",
         "moneyLimits[0].tag", "expected at most 4 characters"},
        {R"({"moneyLimits": [{"firm": "F1", "client": "C1", "currentBalanse": 5}], )" + row + "}",
         "moneyLimits[0].currentBalanse", "unexpected key"},
        {R"({"secLimits": [{"firm": "F1", "client": "C1"}], )" + row + "}", "secLimits[0].security",
         "missing"},
        {R"({"secLimits": [{"firm": "F1", "client": "C1", "security": "S", "lockedSell": 3000000000}], )" +
             row + "}",
         "secLimits[0].lockedSell", "expected an integer from -2147483648 to 2147483647"},
        {R"({"rows": [{"firm": "F1", "client": "C1", "size": 256}]})", "rows[0].size",
         "expected one of 280, 272, 264, 248"},
        {R"({"rows": [{"firm": "F1", "client": "C1", "actv": [{"security": "GAZP"}]}]})",
         "rows[0].actv[0].security", "expected a security listed under \"classes\""},
        {R"({"classes": [)" + sec +
             R"(, {"id": 2, "code": "SMAL", "securities": [{"id": 7, "code": "SBER"}]}],
            "rows": [{"firm": "F1", "client": "C1", "actv": [{"security": "SBER"}]}]})",
         "rows[0].actv[0].security", "is in several classes"},
        {R"({"rows": [{"firm": "F1", "client": "C1", "actv": [{"security": "S", "size": 52}]}]})",
         "rows[0].actv[0].size", "expected 56 or 48"},
    };
    for (const Case& c : cases) {
        std::string path = TempFile("bad.json", c.scenario);
        Result r = Kesvar("run '" + path + "'");
        SCOPED_TRACE(c.scenario);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.path), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(CliRun, UsageErrorsExitWithTwo) {
    const char* cases[] = {"",      "run",        "run x.json --format xml",
                           "check", "frobnicate", "run /no/such/scenario.json"};
    for (const char* args : cases) {
        Result r = Kesvar(args);
        EXPECT_EQ(r.status, 2) << "kesvar " << args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << "kesvar " << args;
    }
}

TEST(CliDemo, RunsTheBundledScenarioWithinEightyColumns) {
    Result r = Kesvar("demo");
    ASSERT_EQ(r.status, 0) << r.err;
    size_t first = r.out.find("Row MC0139600000 / 10001  (size 280)\n  creditLag2"),
           second = r.out.find(
               "Row MC0139600000 / 10002  (size 280)\n  creditLag2                        yes");
    EXPECT_NE(first, std::string::npos) << r.out;
    EXPECT_NE(second, std::string::npos) << r.out;
    EXPECT_LT(first, second);
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;

    // Every request the scenario makes succeeds, in every format.
    json j = json::parse(Kesvar("demo --format json").out);
    ASSERT_EQ(j["rows"].size(), 2u);
    for (const json& row : j["rows"]) {
        EXPECT_TRUE(row["ok"].get<bool>()) << row;
        for (const json& a : row["actv"])
            EXPECT_TRUE(a["ok"].get<bool>()) << a;
    }
}

// The demo compiled into the tool is the one in examples/demo.
TEST(CliDemo, PrintsTheFilesItWasBuiltFrom) {
    Result r = Kesvar("demo --print-scenario");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"scenario.json", "broker.dlini"}) {
        std::string text = Slurp(std::string(KESVAR_DEMO_DIR) + "/" + name);
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_NE(r.out.find("==> " + std::string(name) + " <==\n" + text), std::string::npos)
            << name;
    }
}

std::multiset<std::pair<int, std::string>> Warnings(const json& out) {
    std::multiset<std::pair<int, std::string>> w;
    for (const json& d : out["warnings"])
        w.emplace(d["line"].get<int>(), d["kind"].get<std::string>());
    return w;
}

TEST(CliCheck, ReportsEachDeliberateFaultOnItsLine) {
    Result r = Kesvar("check '" + Data("faults.dlini") + "' --format json");
    EXPECT_EQ(r.status, 1) << r.err;
    json out = json::parse(r.out);
    std::multiset<std::pair<int, std::string>> expected = {
        {1, "unread-line"},          // ';' starts no comment
        {3, "empty-piece"},          // "SBER, ,GAZP"
        {3, "repeated-piece"},       // SBER twice
        {4, "key-too-long"},         // a class code of 17 characters
        {5, "piece-too-long"},       // a security code of 15
        {6, "no-equals"},            // words inside a section
        {9, "repeated-key"},         // second CREDITLAG
        {10, "space-in-class-list"}, // "TQBR, TQOB"
        {11, "unknown-key"},         // MARGINCALL
        {13, "value-out-of-range"},  // a client lag of 3
        {15, "no-comma"},            // one weight only
        {16, "value-clamped"},       // long weight 1.5
        {16, "value-clamped"},       // short weight 0.8
        {18, "cut"},                 // a board tag of 5 characters
        {19, "name-too-long"},       // a client code of 18 characters
        {20, "unread-line"},         // the body of that non-header
        {24, "client-discarded"},    // 10001 has its own section
        {24, "client-skipped"},      // VIP* in a template
        {26, "repeated-section"},    // [GENERAL] again
        {28, "unread-line"},         // an unknown section
        {29, "unread-line"},
        {30, "template-without-clients"},
    };
    EXPECT_EQ(Warnings(out), expected) << out["warnings"].dump(1);

    // The text form says the same, compiler-style.
    Result text = Kesvar("check '" + Data("faults.dlini") + "'");
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("faults.dlini:11: warning: unknown key 'MARGINCALL': ignored "
                            "[unknown-key]"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("faults.dlini: 22 warnings"), std::string::npos);

    // What the loader kept despite the faults.
    const json& s = out["settings"];
    EXPECT_EQ(s["marginList"][0]["securities"], json({"SBER", "GAZP"}));
    EXPECT_EQ(s["switches"]["CREDITLAG"]["value"], 2);
    EXPECT_EQ(s["switches"]["MAINMARGINCLASSES"]["value"], ",TQBR, TQOB,");
    EXPECT_EQ(s["clients"].size(), 1u);
    EXPECT_EQ(s["boardTags"][0]["tag"], "EQTV");
}

TEST(CliCheck, CleanTextsGiveNoWarning) {
    for (std::string path :
         {std::string(KESVAR_DEMO_DIR) + "/broker.dlini", Data("clean_crlf.dlini")}) {
        Result r = Kesvar("check '" + path + "' --format json");
        EXPECT_EQ(r.status, 0) << path << "\n" << r.out;
        json out = json::parse(r.out);
        EXPECT_EQ(out["warningCount"], 0) << out["warnings"].dump(1);
    }
    // Lower case and CR LF read as the loader reads them.
    json out = json::parse(Kesvar("check '" + Data("clean_crlf.dlini") + "' -f json").out);
    const json& s = out["settings"];
    EXPECT_EQ(s["switches"]["CREDITLAG"], json({{"value", 2}, {"isDefault", false}}));
    EXPECT_EQ(s["switches"]["LIMITSINLOTS"], json({{"value", 1}, {"isDefault", true}}));
    ASSERT_EQ(s["clients"].size(), 1u);
    EXPECT_EQ(s["clients"][0]["code"], "Q*");
    EXPECT_EQ(s["clients"][0]["ignoreRestShort"], true);
    EXPECT_EQ(s["clients"][0]["assetList"][0]["all"], true);
}

TEST(CliCheck, TextAfterANulByteIsReportedAsUnread) {
    const char raw[] = "[GENERAL]\nCREDITLAG=2\n\0[CLIENTLAG]\nC1=2\n";
    std::string text(raw, sizeof raw - 1);
    Result r = Kesvar("check '" + TempFile("nul.dlini", text) + "' -f json");
    EXPECT_EQ(r.status, 1);
    json out = json::parse(r.out);
    EXPECT_EQ(Warnings(out), (std::multiset<std::pair<int, std::string>>{{3, "nul-byte"}}));
    EXPECT_EQ(out["settings"]["clientLags"].size(), 0u);
}

} // namespace

// The kesvar tool as a user runs it: figures of a hand-worked portfolio, refusals of bad
// scenarios, and the settings checker's reports. Expected figures live in tests/data/cli.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "settings/names.h"

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

std::string TempFile(const std::string& name, const std::string& content) {
    std::string path = testing::TempDir() + "kesvar_cli_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

Result Kesvar(const std::string& args) {
    std::string out = TempFile("stdout", ""), err = TempFile("stderr", "");
    int st = system(("'" KESVAR_CLI "' " + args + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, Slurp(out), Slurp(err)};
}

std::string Data(const std::string& name) {
    return std::string(KESVAR_CLI_DATA) + "/" + name;
}

json DataJson(const std::string& name) {
    return json::parse(Slurp(Data(name)), nullptr, true, /*ignore_comments=*/true);
}

json RunJson(const std::string& args, int status) {
    Result r = Kesvar(args + " --format json");
    EXPECT_EQ(r.status, status) << args << "\n" << r.err;
    return json::parse(r.out);
}

// Every key of `want` is in `got` with the same value, arrays item by item. Numbers compare
// exactly: the expected ones are written with every digit.
void ExpectMatches(const json& want, const json& got, const std::string& where) {
    if (want.is_object()) {
        for (auto it = want.begin(); it != want.end(); ++it) {
            ASSERT_TRUE(got.contains(it.key())) << where << "." << it.key() << " in " << got;
            ExpectMatches(*it, got[it.key()], where + "." + it.key());
        }
    } else if (want.is_array()) {
        ASSERT_TRUE(got.is_array() && got.size() == want.size()) << where << ": " << got;
        for (size_t i = 0; i < want.size(); ++i)
            ExpectMatches(want[i], got[i], where + "[" + std::to_string(i) + "]");
    } else {
        EXPECT_EQ(got, want) << where;
    }
}

// The same portfolio with its limits inline in hundredths, read from standard input, and in
// CSV files in money units.
TEST(CliRun, FiguresMatchTheHandWorkedPortfolio) {
    for (std::string args :
         {"run '" + Data("small.json") + "'", "run - < '" + Data("small.json") + "'",
          "run '" + Data("units.json") + "'"}) {
        SCOPED_TRACE(args);
        json out = RunJson(args, 0);
        ExpectMatches(DataJson("small.expected.json"), out, "");
        EXPECT_EQ(out["rows"][0]["figures"].size(), 28u) << "every figure of a 280-byte row";
        EXPECT_EQ(out["warnings"], json::array());
    }
}

// Warnings never stop a run; --strict makes them fail it. Table and CSV keep them on
// standard error, one line each.
TEST(CliRun, BrokenTextAndScenarioAreReportedAndFailOnlyUnderStrict) {
    std::string run = "run '" + Data("broken.json") + "'";
    json want = DataJson("broken.expected.json");
    ExpectMatches(want, RunJson(run, 0), "");
    EXPECT_EQ(RunJson(run + " --strict", 1)["warnings"].size(), want["warnings"].size());
    for (const char* format : {"table", "csv"}) {
        Result r = Kesvar(run + " -f " + format);
        EXPECT_EQ(r.status, 0) << format;
        EXPECT_EQ(size_t(std::count(r.err.begin(), r.err.end(), '\n')), want["warnings"].size())
            << r.err;
        EXPECT_NE(r.err.find("broken.json: firms[0].settings:5: warning: line 'TQOB <ALL>' has "
                             "no '=': skipped [no-equals]\n"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("broken.json: secLimits[2]: note: records of client 'C1'"),
                  std::string::npos)
            << r.err;
    }
}

// The CSV spells each figure as the JSON does, so both read back as the same double. The
// demo, whose values and previous values differ, shows a swapped column.
TEST(CliDemo, CsvCarriesTheJsonFiguresExactly) {
    Result j = Kesvar("demo -f json"), csv = Kesvar("demo -f csv");
    ASSERT_EQ(csv.status, 0) << csv.err;
    std::string want = "record,firm,client,class,security,field,value\n";
    auto out = nlohmann::ordered_json::parse(j.out);
    for (const auto& row : out["rows"]) {
        std::string who = row["firm"].get<std::string>() + "," + row["client"].get<std::string>();
        for (const char* k : {"creditLag2", "leverageGiven"})
            want += "row," + who + ",,," + k + "," + row[k].dump() + "\n";
        for (const auto& f : row["figures"].items())
            want += "row," + who + ",,," + f.key() + "," + f.value().dump() + "\n";
        for (const auto& a : row["actv"])
            for (const auto& f : a.items())
                if (!std::set<std::string>{"class", "security", "size", "ok"}.count(f.key()) &&
                    !f.value().is_null())
                    want += "actv," + who + "," + a["class"].get<std::string>() + "," +
                            a["security"].get<std::string>() + "," + f.key() + "," +
                            f.value().dump() + "\n";
    }
    EXPECT_EQ(csv.out, want);
}

TEST(CliRun, FailedCallsNameTheExportAndTheCode) {
    struct Case {
        const char *rows, *text, *pointer, *failure;
    } cases[] = {
        {R"([{"firm": "NOSUCH", "client": "C1"}])",
         "KRInitMarginalRow failed for NOSUCH/C1: 5 KR_ERR_NO_SETTINGS", "/rows/0/failure",
         R"({"call": "KRInitMarginalRow", "subject": "NOSUCH/C1", "code": 5,
             "name": "KR_ERR_NO_SETTINGS"})"},
        {R"([{"firm": "F1", "client": "C1", "actv": [{"security": "NOPX"}]}])",
         "KRCalcMarginalActv failed for NOPX: 8 KR_ERR_NO_PRICE", "/rows/0/actv/0/failure",
         R"({"call": "KRCalcMarginalActv", "subject": "NOPX", "code": 8,
             "name": "KR_ERR_NO_PRICE"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string path = TempFile("failing.json", std::string(R"({"classes": [{"id": 1,
            "code": "TQBR", "securities": [{"id": 7, "code": "NOPX"}]}], "firms": [{"id": "F1",
            "settings": "[LIMITALLOWEDSECURITY]\nTQBR=NOPX"}], "rows": )") +
                                                        c.rows + "}");
        Result r = Kesvar("run '" + path + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
        json out = RunJson("run '" + path + "'", 1);
        EXPECT_EQ(out[json::json_pointer(c.pointer)], json::parse(c.failure)) << out;
    }
}

// Each bad input stops before anything runs: one message naming the place, status 2,
// nothing on standard output.
TEST(CliRun, MalformedScenariosAreRefusedWithThePathAndWhatWasExpected) {
    for (const json& c : DataJson("malformed.json")) {
        const json& s = c["scenario"];
        std::string path = TempFile("bad.json", s.is_string() ? s.get<std::string>() : s.dump());
        Result r = Kesvar("run '" + path + "'");
        SCOPED_TRACE(c.dump());
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(": " + c["message"].get<std::string>()), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(CliRun, UsageErrorsExitWithTwoAndSayWhatWasWrong) {
    struct Case {
        const char *args, *message;
    } cases[] = {
        {"", "kesvar: a subcommand is required: run, check, demo, explain, stress or report\n"},
        {"run", "kesvar: SCENARIO is required\n"},
        {"run x.json --format xml", "kesvar: --format: expected table, json or csv, found 'xml'"},
        {"check x --format csv", "kesvar: --format: expected text or json, found 'csv'"},
        {"check", "kesvar: SETTINGS is required\n"},
        {"frobnicate",
         "kesvar: unknown subcommand 'frobnicate' (expected run, check, demo, explain, "
         "stress or report)"},
        {"run --bogus x.json", "kesvar: "},
        {"run /no/such.json", "kesvar: cannot read the scenario: /no/such.json: "},
    };
    for (const Case& c : cases) {
        Result r = Kesvar(c.args);
        EXPECT_EQ(r.status, 2) << "kesvar " << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << "kesvar " << c.args;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << "kesvar " << c.args << "\n" << r.err;
    }
    Result v = Kesvar("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("kesvar " KESVAR_PROJECT_VERSION
                          " (Kesvar library " KESVAR_PROJECT_VERSION "; ",
                          0),
              0u)
        << v.out;
}

TEST(CliDemo, RunsTheBundledScenarioWithinEightyColumns) {
    Result r = Kesvar("demo");
    ASSERT_EQ(r.status, 0) << r.err;
    size_t first = r.out.find("Row MC0139600000 / 10001  (size 280)\n  creditLag2");
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Row MC0139600000 / 10002  (size 280)\n  creditLag2                 "
                         "       yes",
                         first),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n  Quantities in lots (the firm keeps its limits in lots); money in "
                         "units.\n  SECURITY"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "") << "the demo has nothing to warn about";
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
    // Every request the scenario makes succeeds.
    json out = RunJson("demo", 0);
    EXPECT_EQ(out["rows"].size(), 2u);
    EXPECT_EQ(out.dump().find(R"("ok":false)"), std::string::npos) << out.dump(1);
}

// The demo compiled into the tool is the one in examples/demo.
TEST(CliDemo, PrintsTheFilesItWasBuiltFrom) {
    Result r = Kesvar("demo --print-scenario");
    ASSERT_EQ(r.status, 0) << r.err;
    for (std::string name : {"scenario.json", "broker.dlini"}) {
        std::string text = Slurp(std::string(KESVAR_DEMO_DIR) + "/" + name);
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_NE(r.out.find("==> " + name + " <==\n" + text), std::string::npos) << name;
    }
}

TEST(CliCheck, ReportsEachDeliberateFaultOnItsLine) {
    json out = RunJson("check '" + Data("faults.dlini") + "'", 1);
    ExpectMatches(DataJson("faults.expected.json"), out, "");
    // The text form says the same, compiler-style.
    Result text = Kesvar("check '" + Data("faults.dlini") + "'");
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("faults.dlini:3: note: security 'SBER' already listed in this line"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("faults.dlini: 18 warnings, 2 notes\n"), std::string::npos) << text.out;
}

// Each case's reports, exactly, on their lines; the text output says the same, with hints.
TEST(CliCheck, EachMistakeIsReportedOnItsLineWithItsKind) {
    for (const json& c : DataJson("check_cases.json")) {
        std::string text;
        if (c["text"].is_string())
            text = c["text"];
        else
            for (const json& line : c["text"])
                text += (text.empty() ? "" : "\n") + line.get<std::string>();
        SCOPED_TRACE(text);
        std::string path = TempFile("case.dlini", text);
        int status = c.value("status", c["warnings"].empty() ? 0 : 1);
        ExpectMatches(json{{"warnings", c["warnings"]}}, RunJson("check '" + path + "'", status),
                      "");
        Result r = Kesvar("check '" + path + "'");
        for (const json& want : c.value("output", json::array()))
            EXPECT_NE(r.out.find(want.get<std::string>()), std::string::npos) << want << r.out;
    }
}

TEST(CliCheck, CleanTextsGiveNoWarning) {
    json demo = RunJson("check '" KESVAR_DEMO_DIR "/broker.dlini'", 0);
    EXPECT_EQ(demo["warnings"], json::array());
    ExpectMatches(DataJson("clean_crlf.expected.json"),
                  RunJson("check '" + Data("clean_crlf.dlini") + "'", 0), "");
}

TEST(CliCheck, TextAfterANulByteIsReportedAsUnread) {
    const char raw[] = "[GENERAL]\nCREDITLAG=2\n\0[CLIENTLAG]\nC1=2\n";
    json out =
        RunJson("check '" + TempFile("nul.dlini", std::string(raw, sizeof raw - 1)) + "'", 1);
    ExpectMatches(json::parse(R"({"warnings": [{"line": 3, "kind": "nul-byte"}],
        "settings": {"clientLags": []}})"),
                  out, "");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every "$ " command of the page's console blocks prints exactly the lines under it.
TEST(CliDocs, SettingsPageShowsWhatItsCommandsPrint) {
    std::vector<std::string> page = Lines(Slurp(KESVAR_SOURCE_DIR "/docs/settings.md"));
    int commands = 0;
    bool inBlock = false;
    for (size_t i = 0; i < page.size(); ++i) {
        if (page[i].rfind("```", 0) == 0) {
            inBlock = !inBlock && page[i] == "```console";
            continue;
        }
        if (!inBlock || page[i].rfind("$ ", 0) != 0) continue;
        std::string want;
        for (size_t k = i + 1;
             k < page.size() && page[k].rfind("$ ", 0) != 0 && page[k].rfind("```", 0) != 0; ++k)
            want += page[k] + "\n";
        std::string script = TempFile("doc.sh", page[i].substr(2) + "\n");
        std::string out = TempFile("doc.out", "");
        system(("cd '" KESVAR_SOURCE_DIR "' && PATH='" KESVAR_CLI_DIR "':\"$PATH\" sh '" + script +
                "' >'" + out + "' 2>/dev/null")
                   .c_str());
        EXPECT_EQ(Slurp(out), want) << page[i];
        ++commands;
    }
    EXPECT_GE(commands, 20);
}

// The page documents the sections, keys and special words of the loader's table, section by
// section, and the loader reads each of them: a text of every section and key gives no
// warning, and no key of a client block is taken for a class.
TEST(CliDocs, SettingsPageCoversEverySectionAndKeyTheLoaderReads) {
    std::map<std::string, std::set<std::string>> table, page;
    std::string text;
    for (const kesvar::SettingsSection& s : kesvar::kSettingsSections) {
        std::string name = s.name;
        table[name];
        text += "[" + (name.rfind("CL*", 0) == 0 ? "CLX" + name.substr(3) : name) + "]\n";
        for (const char* const* k = s.keys; k && *k; ++k) {
            table[name].insert(*k);
            text += std::string(*k) + (std::string(*k) == "CLIENTS" ? "=C9\n" : "=1\n");
        }
    }
    std::string doc = Slurp(KESVAR_SOURCE_DIR "/docs/settings.md");
    const std::regex section(R"(\[([A-Z_]+|CL&lt;[a-z]+&gt;_[A-Z_]+)\])"),
        key(R"(^\| `([A-Z_]+)` \|)");
    std::vector<std::string> current;
    for (const std::string& line : Lines(doc)) {
        std::smatch m;
        if (line.rfind("#", 0) == 0) {
            current.clear();
            for (auto it = std::sregex_iterator(line.begin(), line.end(), section);
                 it != std::sregex_iterator(); ++it) {
                std::string name =
                    std::regex_replace((*it)[1].str(), std::regex("&lt;.*&gt;"), "*");
                current.push_back(name);
                page[name];
            }
        } else if (std::regex_search(line, m, key)) {
            ASSERT_EQ(current.size(), 1u) << "a key table under one section: " << line;
            page[current[0]].insert(m[1]);
        }
    }
    EXPECT_EQ(page, table);
    for (const char* const* w = kesvar::kSettingsWords; *w; ++w)
        EXPECT_NE(doc.find("`" + std::string(*w)), std::string::npos) << *w;

    json out = RunJson("check '" + TempFile("every.dlini", text) + "'", 0);
    for (const json& w : out["warnings"])
        EXPECT_EQ(w["kind"], "empty-section") << w;
    ASSERT_EQ(out["settings"]["clients"].size(), 2u)
        << out["settings"]; // X, and C9 of the template
    for (const json& c : out["settings"]["clients"])
        EXPECT_EQ(c["marginList"], json::array()) << c;
}

} // namespace

// The kesvar tool as a user runs it. Most cases are rows of the tables in tests/data/cli: a
// command line, its exit status and what it prints, figures compared exactly with expected JSON.
#include <algorithm>
#include <map>
#include <regex>
#include <set>

#include "cli_run.h"
#include "settings/names.h"

namespace {

using namespace clirun;

json DataJson(const std::string& name) {
    return json::parse(Slurp(KESVAR_CLI_DATA "/" + name), nullptr, true, /*ignore_comments=*/true);
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

// Standard output ("out") or error ("err") as a case of a table describes it: the whole text,
// its start, pieces in order, its line count, its widest line. A key the case leaves out is not
// checked.
void ExpectStream(const json& c, const std::string& name, const std::string& got) {
    if (c.contains(name)) {
        EXPECT_EQ(got, c[name].get<std::string>()) << name;
    }
    if (c.contains(name + "Start")) {
        const std::string start = c[name + "Start"];
        EXPECT_EQ(got.substr(0, start.size()), start) << name << ": " << got;
    }
    size_t at = 0;
    for (const json& piece : c.value(name + "Has", json::array())) {
        at = got.find(piece.get<std::string>(), at);
        EXPECT_NE(at, std::string::npos) << name << " lacks, in order, " << piece << ":\n" << got;
    }
    if (c.contains(name + "Lines")) {
        const size_t lines = size_t(std::count(got.begin(), got.end(), '\n'));
        EXPECT_EQ(lines, c[name + "Lines"].get<size_t>()) << got;
    }
    if (c.contains(name + "Width")) {
        std::istringstream in(got);
        for (std::string line; std::getline(in, line);)
            EXPECT_LE(line.size(), c[name + "Width"].get<size_t>()) << line;
    }
}

// Runs each case of a table (its "defaults" under each) with $DATA, $DEMO and $FILE, the
// case's "file" written out ($DATA in it too): a string as it is, lines joined with LF,
// anything else as JSON.
void RunTable(const std::string& name) {
    setenv("DATA", KESVAR_CLI_DATA, 1);
    setenv("DEMO", KESVAR_DEMO_DIR, 1);
    json table = DataJson(name);
    for (const json& row : table.at("cases")) {
        json c = table.value("defaults", json::object());
        c.update(row);
        SCOPED_TRACE(c.dump());
        for (const auto& key : c.items())
            EXPECT_TRUE(
                std::regex_match(key.key(), std::regex("args|status|file|json|errJson|"
                                                       "(out|err)(Start|Has|Lines|Width)?")))
                << "a key nothing checks: " << key.key();
        const json& f = c.value("file", json());
        std::string text = f.is_string() ? f.get<std::string>() : f.is_array() ? "" : f.dump();
        for (size_t i = 0; f.is_array() && i < f.size(); ++i)
            text += (i ? "\n" : "") + f[i].get<std::string>();
        for (size_t at; (at = text.find("$DATA")) != std::string::npos;)
            text.replace(at, 5, KESVAR_CLI_DATA);
        setenv("FILE", TempFile("case", text).c_str(), 1);
        Result r = Kesvar(c["args"]);
        EXPECT_EQ(r.status, c["status"]) << r.err;
        ExpectStream(c, "out", r.out);
        ExpectStream(c, "err", r.err);
        if (c.contains("errJson"))
            ExpectMatches(c["errJson"], json::parse(r.err, nullptr, false), "err");
        if (c.contains("json"))
            ExpectMatches(c["json"].is_string() ? DataJson(c["json"]) : c["json"],
                          Json(c["args"], c["status"]), "");
    }
}

// Commands, malformed scenarios, and the checker's report of each mistake on its line with its
// kind.
TEST(CliRun, CommandsExitAndPrintWhatTheyShould) {
    for (const char* table : {"commands.json", "malformed.json", "check_cases.json"})
        RunTable(table);
    std::string version =
        "kesvar " KESVAR_PROJECT_VERSION " (Kesvar library " KESVAR_PROJECT_VERSION "; ";
    Result v = Kesvar("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.substr(0, version.size()), version);
}

// The CSV spells each figure as the JSON does, so both read back as the same double, and ends
// each record with CRLF. The demo, whose values and previous values differ, shows a swapped
// column.
TEST(CliDemo, CsvCarriesTheJsonFiguresExactlyAndTheFilesAreTheExamples) {
    Result csv = Kesvar("demo -f csv");
    std::string want = "record,firm,client,class,security,field,value\r\n";
    auto out = nlohmann::ordered_json::parse(Kesvar("demo -f json").out);
    for (const auto& row : out["rows"]) {
        std::string who = row["firm"].get<std::string>() + "," + row["client"].get<std::string>();
        for (const char* k : {"creditLag2", "leverageGiven"})
            want += "row," + who + ",,," + k + "," + row[k].dump() + "\r\n";
        for (const auto& f : row["figures"].items())
            want += "row," + who + ",,," + f.key() + "," + f.value().dump() + "\r\n";
        for (const auto& a : row["actv"])
            for (const auto& f : a.items())
                if (!std::set<std::string>{"class", "security", "size", "ok"}.count(f.key()) &&
                    !f.value().is_null())
                    want += "actv," + who + "," + a["class"].get<std::string>() + "," +
                            a["security"].get<std::string>() + "," + f.key() + "," +
                            f.value().dump() + "\r\n";
    }
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, want);
    // The demo compiled into the tool is the one in examples/demo.
    const std::string files = Kesvar("demo --print-scenario").out;
    for (std::string name : {"scenario.json", "broker.dlini"}) {
        const std::string text = Slurp(KESVAR_DEMO_DIR "/" + name); // other tests read it too
        EXPECT_NE(files.find("==> " + name + " <==\n" + text), std::string::npos) << name;
    }
}

// Records of a CSV text as a strict RFC 4180 reader splits them: quoted fields may hold commas,
// doubled quotes and line breaks, and only CRLF ends a record (a bare line feed stays in its
// field).
std::vector<std::vector<std::string>> CsvRecords(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            records.back().back() += text[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            records.back().emplace_back();
        } else if (!quoted && text.compare(i, 2, "\r\n") == 0) {
            records.emplace_back(1);
            ++i;
        } else {
            records.back().back() += c;
        }
    }
    if (records.back() == std::vector<std::string>(1)) records.pop_back();
    return records;
}

// Client codes holding commas and quotes leave every CSV line with its header's field count,
// and read back as themselves.
TEST(CliCsv, CodesWithCommasAndQuotesKeepTheFieldCount) {
    json scenario = DataJson("small.json");
    const std::string codes[] = {"A,\"B", "Q\"\"R,"};
    scenario["firms"][0]["settings"] = {"[LIMITALLOWEDSECURITY]", "TQBR=SBER,GAZP"};
    for (const char* list : {"moneyLimits", "secLimits"})
        for (json& r : scenario[list])
            r["client"] = r["client"] == "C1" ? codes[0] : codes[1];
    scenario["rows"][0]["client"] = codes[0];
    scenario["rows"][1]["client"] = codes[1];
    std::string path = TempFile("codes.json", scenario.dump());
    const size_t clientColumn = 2; // record, firm, client: in every CSV the tool writes
    for (const std::string args : {"stress -f csv", "stress -f csv --actv --level marginLevel=200",
                                   "run -f csv", "cure -f csv --level marginLevel=100000"}) {
        SCOPED_TRACE(args);
        Result r = Kesvar(args + " '" + path + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        auto records = CsvRecords(r.out);
        ASSERT_GT(records.size(), 2u) << r.out;
        std::set<std::string> clients;
        for (size_t i = 1; i < records.size(); ++i) {
            ASSERT_EQ(records[i].size(), records[0].size()) << "line " << i + 1 << "\n" << r.out;
            clients.insert(records[i][clientColumn]);
        }
        EXPECT_EQ(clients, (std::set<std::string>{codes[0], codes[1]}));
    }
}

// Every "$ " command of the page's console blocks prints exactly the lines under it.
TEST(CliDocs, SettingsPageShowsWhatItsCommandsPrint) {
    const std::string page = Slurp(KESVAR_SOURCE_DIR "/docs/settings.md");
    const std::regex block("\n```console\n([^`]*\n)```"), command(R"(\$ (.*)\n((?:(?!\$ ).*\n)*))");
    int commands = 0;
    for (std::sregex_iterator b(page.begin(), page.end(), block), end; b != end; ++b) {
        const std::string body = (*b)[1];
        for (std::sregex_iterator c(body.begin(), body.end(), command); c != end; ++c, ++commands) {
            std::string script = TempFile("doc.sh", "cd '" KESVAR_SOURCE_DIR
                                                    "' && PATH='" KESVAR_CLI_DIR "':\"$PATH\"\n" +
                                                        (*c)[1].str() + "\n");
            // The page shows CSV records as a terminal does, without their CRs.
            const std::string out =
                std::regex_replace(Shell("sh '" + script + "'").out, std::regex("\r\n"), "\n");
            EXPECT_EQ(out, (*c)[2].str()) << (*c)[1];
        }
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
        const std::string name = s.name;
        std::set<std::string>& keys = table[name];
        for (const char* const* k = s.keys; k && *k; ++k)
            keys.insert(*k);
        text += "[" + (name.rfind("CL*", 0) == 0 ? "CLX" + name.substr(3) : name) + "]\n";
        for (const std::string& k : keys)
            text += k + (k == "CLIENTS" ? "=C9\n" : "=1\n");
    }
    // Client blocks are spelled CL&lt;code&gt;_... in the page's headings.
    const std::string doc = std::regex_replace(Slurp(KESVAR_SOURCE_DIR "/docs/settings.md"),
                                               std::regex("CL&lt;[a-z]+&gt;"), "CL*");
    const std::regex section(R"(\[([A-Z_*]+)\])"), key(R"(^\| `([A-Z_]+)` \|)");
    std::vector<std::string> current;
    std::istringstream in(doc);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (line.rfind("#", 0) == 0) {
            current.clear();
            for (std::sregex_iterator it(line.begin(), line.end(), section), end; it != end; ++it)
                page[current.emplace_back((*it)[1])];
        } else if (std::regex_search(line, m, key)) {
            ASSERT_EQ(current.size(), 1u) << "a key table under one section: " << line;
            page[current[0]].insert(m[1]);
        }
    }
    EXPECT_EQ(page, table);
    for (const char* const* w = kesvar::kSettingsWords; *w; ++w)
        EXPECT_NE(doc.find("`" + std::string(*w)), std::string::npos) << *w;

    json out = Json("check '" + TempFile("every.dlini", text) + "'");
    for (const json& w : out["warnings"])
        EXPECT_EQ(w["kind"], "empty-section") << w;
    // X, and C9 of the template.
    ASSERT_EQ(out["settings"]["clients"].size(), 2u) << out["settings"];
    for (const json& c : out["settings"]["clients"])
        EXPECT_EQ(c["marginList"], json::array()) << c;
}

// Every field of the records a terminal hands in or reads back, as the public header declares
// it, has a heading of its own in its record's section of the figures page; the four records
// have a section each.
TEST(CliDocs, FiguresPageCoversEveryRecordField) {
    const std::string header = Slurp(KESVAR_SOURCE_DIR "/include/kesvar.h");
    const std::string page = Slurp(KESVAR_SOURCE_DIR "/docs/figures.md");
    const std::regex record(R"(typedef struct (KR\w+) \{([^}]*)\})"),
        field(R"(\n\s+\w+ (\w+)(\[\d+\])?;)"), heading(R"(\n### ([^\n]*))");
    int checked = 0;
    for (const std::string name :
         {"KRMarginalRow", "KRMarginalActv", "KRMoneyLimit", "KRSecLimit"}) {
        std::smatch r;
        std::string::const_iterator from = header.begin();
        while (std::regex_search(from, header.end(), r, record) && r[1] != name)
            from = r[0].second;
        ASSERT_EQ(r[1], name) << "not in the header";
        std::smatch s;
        ASSERT_TRUE(std::regex_search(page, s, std::regex("\n## [^\n]*`" + name + "`")))
            << name << ": no section";
        const size_t start = s.position(0);
        const std::string section = page.substr(start, page.find("\n## ", start + 1) - start);
        std::set<std::string> headed;
        for (std::sregex_iterator h(section.begin(), section.end(), heading), end; h != end; ++h) {
            const std::string line = (*h)[1];
            const std::regex code("`(\\w+)`");
            for (std::sregex_iterator c(line.begin(), line.end(), code); c != end; ++c)
                headed.insert((*c)[1]);
        }
        const std::string body = r[2];
        for (std::sregex_iterator f(body.begin(), body.end(), field), end; f != end; ++f, ++checked)
            EXPECT_TRUE(headed.count((*f)[1])) << name << "." << (*f)[1] << " has no heading";
    }
    EXPECT_GE(checked, 70);
}

} // namespace

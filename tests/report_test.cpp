// explain, what-if, stress and report as a user runs them, against `run` on the same scenario:
// the explanation's numbers give back the quantities, stress at shock 0 is `run`, a solved
// crossing fed back as prices lands on either side of the level, and the report opens in a
// real browser without a console message and carries `run`'s figures in its DOM.
#include <pty.h>

#include <algorithm>
#include <map>
#include <regex>

#include "cli_run.h"
#include "analyses/explain.h"

namespace {

using namespace clirun;

const std::string kDemo = "'" KESVAR_DEMO_DIR "/scenario.json'";

// The step as the library recorded it, from the JSON.
kesvar::TraceStep StepOf(const json& j) {
    const char* rules[] = {"", "trunc", "truncPositive", "afterCover", "shortable", "quantity"};
    kesvar::TraceStep s{};
    s.rule = int32_t(std::find(rules, rules + 6, j["rule"].get<std::string>()) - rules);
    s.numerator = j["numerator"];
    s.denominator = j["denominator"];
    s.addend = j.value("addend", 0.0);
    s.sellable = j.value("sellable", 0.0);
    return s;
}

TEST(Why, ExplainNamesTheDecidingBoundAndItsNumbersGiveTheQuantity) {
    json run = Json("run " + kDemo), why = Json("explain " + kDemo);
    int quantities = 0;
    for (size_t r = 0; r < run["rows"].size(); ++r)
        for (size_t a = 0; a < run["rows"][r]["actv"].size(); ++a)
            for (const char* figure : {"maxBuy", "maxSell"}) {
                const json& q = why["rows"][r]["actv"][a]["why"][figure];
                SCOPED_TRACE(run["rows"][r]["actv"][a]["security"].dump() + " " + figure);
                json decided = json::array(); // quantity and bound of each deciding step
                for (const json& step : q["steps"]) {
                    EXPECT_EQ(kesvar_cli::ReproduceStep(StepOf(step)), step["quantity"]) << step;
                    if (step["decides"]) decided.push_back({step["quantity"], step["bound"]});
                }
                EXPECT_EQ(decided, json({{run["rows"][r]["actv"][a][figure], q["decidedBy"]}}));
                ++quantities;
            }
    EXPECT_EQ(quantities, 18);
    std::string text = Kesvar("explain " + kDemo).out;
    const std::regex named(", decided by: ");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), named), {}), 18) << text;
}

// Every price of a crossing side as --price options.
std::string PriceOptions(const json& side) {
    std::string s;
    for (const auto& sec : side["prices"].items())
        for (const char* field : {"offer", "bid", "prev", "last"}) // JSON's text reads back exactly
            s += " --price " + sec.key() + "." + field + "=" + sec.value()[field].dump();
    return s;
}

// Stress at shock 0 is `run` with the same what-if options; a crossing of a level, its two
// sides fed back to `run` as prices, lies on either side of the level.
TEST(Why, StressAtShockZeroIsRunAndACrossingLiesOnEitherSideOfTheLevel) {
    struct Case {
        const char *args, *whatIf, *figure;
        double level;
    } cases[] = {
        {"--security GAZP --from -30% --to 10% --steps 5", "--shift SBER=-7%", nullptr, 0},
        {"--security LKOH --from -10% --to 10% --steps 3", "--price GAZP=150", nullptr, 0},
        {"--security LKOH --from -10% --to 10% --steps 3",
         "--order 10001:buy:SBER:10 --order 10002:short:AFLT:100 --pending", nullptr, 0},
        {"--security GAZP --from 0% --to 100% --steps 11", "", "marginLevel", 50},
        {"--all --from -50% --to 400% --steps 10", "", "marginLevel", 50},
        {"--security SBER --from -60% --to 0% --steps 7", "", "equity", 400000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.args) + " " + c.whatIf);
        const std::string level =
            c.figure ? " --level " + std::string(c.figure) + "=" + std::to_string(int(c.level))
                     : "";
        json run = Json("run " + kDemo + " " + c.whatIf), want = json::array();
        json stress = Json("stress " + kDemo + " " + c.args + " " + c.whatIf + level);
        json atZero = json::array();
        for (const json& row : run["rows"])
            want.push_back({row["client"], row["figures"]});
        for (const json& client : stress["clients"])
            for (const json& p : client["points"])
                if (p["shock"] == 0.0) atZero.push_back({client["client"], p["figures"]});
        EXPECT_EQ(atZero, want);
        int found = 0;
        // Clients come in the order of the scenario's rows, as `run` gives them.
        for (size_t client = 0; client < stress["clients"].size(); ++client)
            for (const json& x : stress["clients"][client]["crossings"]) {
                ++found;
                double sides[2];
                for (int s = 0; s < 2; ++s) {
                    const json& side = x[s ? "at" : "before"];
                    sides[s] = Json("run " + kDemo +
                                    PriceOptions(side))["rows"][client]["figures"][c.figure];
                    EXPECT_EQ(sides[s], side["value"]);
                }
                EXPECT_NE(sides[0] < c.level, sides[1] < c.level) << sides[0] << " " << sides[1];
                EXPECT_EQ(x["direction"] == "down", sides[1] < c.level);
                // A security's crossing is solved to within a hundredth of its price.
                EXPECT_LE(fabs(x["at"].value("price", 0.0) - x["before"].value("price", 0.0)),
                          0.01);
            }
        EXPECT_EQ(found > 0, c.figure != nullptr);
    }
}

// Loads `file` in headless Chromium; its DOM after loading, and every console message.
Result Browser(const std::string& file) {
    return Shell("p='" + TempFile("profile") + "' f='file://" + file +
                 "'; rm -rf \"$p\"; chromium --headless --no-sandbox --disable-gpu --no-first-run "
                 "--disable-quic --disable-sync --disable-background-networking --v=0 "
                 "--disable-component-update --enable-logging=stderr --user-data-dir=\"$p\" "
                 "--dump-dom \"$f\"");
}

TEST(Why, ReportOpensInABrowserCleanlyWithRunsFigures) {
    ASSERT_EQ(0, system("command -v chromium >/dev/null"))
        << "the report test needs Debian's chromium (apt-get install chromium)";
    // The check of the console must be able to fail.
    std::string control =
        TempFile("control.html", "<!DOCTYPE html><p>x</p><script>console.error('seen')</script>");
    ASSERT_NE(Browser(control).err.find(":CONSOLE"), std::string::npos);

    std::string file = TempFile("report.html");
    Result made = Kesvar("report " + kDemo + " -o '" + file + "' --security GAZP --to 100%");
    ASSERT_EQ(made.status, 0) << made.err;
    std::string html = Slurp(file);
    for (const char* outside : {"http:", "https:", "<script", "<link", "@import", "url("})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    Result page = Browser(file);
    ASSERT_EQ(page.status, 0) << page.err;
    EXPECT_EQ(page.err.find(":CONSOLE"), std::string::npos) << page.err;

    // Each client section as the browser parsed it, its figures and positions, against `run`.
    json run = Json("run " + kDemo), want = json::array(), seen = json::array();
    for (const json& row : run["rows"]) {
        json actv = json::array();
        for (const json& a : row["actv"])
            actv.push_back({a["security"], a["position"], a["maxBuy"], a["maxSell"], a["value"]});
        want.push_back({row["client"], row["figures"], actv});
    }
    std::regex section("<section class=\"client\"[^>]*data-client=\"([^\"]+)\"[^>]*>");
    std::regex figure("data-figure=\"([a-zA-Z]+)\" data-value=\"([^\"]+)\"");
    std::regex position("data-security=\"([^\"]+)\" data-position=\"(-?\\d+)\" data-max-buy=\""
                        "(\\d+)\" data-max-sell=\"(\\d+)\" data-value=\"([^\"]+)\"");
    for (std::sregex_iterator s(page.out.begin(), page.out.end(), section), end; s != end; ++s) {
        const std::string rest = s->suffix(), part = rest.substr(0, rest.find("</section>"));
        json figures = json::object(), actv = json::array();
        for (std::sregex_iterator f(part.begin(), part.end(), figure); f != end; ++f)
            figures[(*f)[1].str()] = json::parse((*f)[2].str());
        for (std::sregex_iterator a(part.begin(), part.end(), position); a != end; ++a)
            actv.push_back({(*a)[1].str(), json::parse((*a)[2].str()), json::parse((*a)[3].str()),
                            json::parse((*a)[4].str()), json::parse((*a)[5].str())});
        seen.push_back({(*s)[1].str(), figures, actv});
    }
    EXPECT_EQ(seen, want);
}

const std::string kLeveraged = "'" KESVAR_EXAMPLES_DIR "/report/leveraged.json'";

// Each chart circles its own figure's crossings of its own level, one for each pair of grid
// points where the figure changes side, and each between those two points.
TEST(Why, ReportMarksEachFiguresCrossingBetweenTheGridPointsWhereItChangesSide) {
    // A report, and how many crossings it marks at least.
    struct Case {
        const char* name;
        std::string args;
        int crossings = 0;
        Case& Crossings(int v) { return crossings = v, *this; }
    };
    const Case cases[] = {
        Case{"leveraged long", kLeveraged}.Crossings(6),
        Case{"demo, GAZP up", kDemo + " --security GAZP --to 100%"},
        Case{"leveraged, equity level", kLeveraged + " --level equity=20000"}.Crossings(6),
    };
    const std::regex section("<section class=\"client\"[^>]*>"),
        row("<tr data-grid-shock=\"([^\"]+)\">((?:(?!</tr>).)*)</tr>"),
        cell("data-grid-figure=\"(\\w+)\" data-grid-value=\"([^\"]+)\""),
        mark("data-crossing-figure=\"(\\w+)\" data-crossing-shock=\"([^\"]+)\" "
             "data-level=\"([^\"]+)\"");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = TempFile("crossing.html");
        Result made = Kesvar("report " + c.args + " -o '" + file + "'");
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string html = Slurp(file);
        int marked = 0;
        for (std::sregex_iterator s(html.begin(), html.end(), section), end; s != end; ++s) {
            const std::string rest = s->suffix(), part = rest.substr(0, rest.find("</section>"));
            std::vector<double> shocks;
            std::map<std::string, std::vector<double>> values;
            for (std::sregex_iterator r(part.begin(), part.end(), row); r != end; ++r) {
                shocks.push_back(std::stod((*r)[1]));
                const std::string cells = (*r)[2];
                for (std::sregex_iterator v(cells.begin(), cells.end(), cell); v != end; ++v)
                    values[(*v)[1]].push_back(std::stod((*v)[2]));
            }
            std::map<std::string, int> changes, seen;
            std::map<std::string, double> levels;
            for (std::sregex_iterator m(part.begin(), part.end(), mark); m != end; ++m) {
                const std::string figure = (*m)[1];
                const double x = std::stod((*m)[2]), level = std::stod((*m)[3]);
                const std::vector<double>& v = values[figure];
                bool between = false;
                for (size_t i = 0; i + 1 < v.size(); ++i)
                    between = between || (shocks[i] <= x && x <= shocks[i + 1] &&
                                          (v[i] < level) != (v[i + 1] < level));
                EXPECT_TRUE(between) << figure << " marked at " << x;
                levels[figure] = level;
                ++seen[figure];
                ++marked;
            }
            for (const auto& [figure, level] : levels) {
                const std::vector<double>& v = values[figure];
                for (size_t i = 0; i + 1 < v.size(); ++i)
                    changes[figure] += (v[i] < level) != (v[i + 1] < level);
            }
            EXPECT_EQ(seen, changes);
        }
        EXPECT_GE(marked, c.crossings);
    }
}

// The firm summary heading the report is run's, of every row whatever clients the page shows;
// beside the charts of a client at or below the level stands the cure command's deposit and
// sales, and beside one above it nothing.
TEST(Why, ReportHeadsWithRunsFirmSummaryAndCuresWhoIsAtOrBelow) {
    struct Case {
        Case(const char* n, const char* l) : name(n), level(l) {}
        const char* name;
        std::string level, rows, only; // --all-clients or not; the clients the page shows
        std::vector<std::string> cured;
        Case& Rows(const char* v) { return rows = v, *this; }
        Case& Only(const char* v) { return only = v, *this; }
        Case& Cured(const char* v) { return cured = {v}, *this; }
    };
    const Case cases[] = {
        Case("every client, one below", "marginLevel=70").Rows(" --all-clients").Cured("10002"),
        Case("both below, one shown", "marginLevel=99").Only(" --client 10001").Cured("10001"),
        Case("none at or below", "equity=0"),
    };
    const std::regex total("data-firm-figure=\"(\\w+)\" data-value=\"([^\"]+)\""),
        count("data-firm-level=\"\\w+\" data-level=\"[^\"]+\" data-value=\"(\\d+)\""),
        cure("data-cure-client=\"([^\"]+)\">(?:(?!</aside>).)*data-cure-deposit=\"([^\"]+)\""
             "(?:(?!</aside>).)*?data-cure-security=\"(\\w+)\"");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = TempFile("firm.html");
        Result made = Kesvar("report " + kDemo + c.rows + c.only + " --level " + c.level +
                             " --steps 3 -o '" + file + "'");
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string html = Slurp(file);
        json run = Json("run " + kDemo + c.rows + " --fail-below " + c.level,
                        c.cured.empty() ? 0 : 3)["firm"],
             seen;
        for (std::sregex_iterator t(html.begin(), html.end(), total), e; t != e; ++t)
            seen[(*t)[1].str()] = json::parse((*t)[2].str());
        std::smatch n;
        ASSERT_TRUE(std::regex_search(html, n, count));
        seen["atOrBelow"] = std::stoul(n[1]);
        run["atOrBelow"] = run["levels"][0]["atOrBelow"].size();
        run.erase("levels");
        EXPECT_EQ(seen, run);

        const json cures = Json("cure " + kDemo + c.rows + " --level " + c.level)["clients"];
        std::vector<std::string> cured;
        for (std::sregex_iterator a(html.begin(), html.end(), cure), e; a != e; ++a) {
            cured.push_back((*a)[1]);
            for (const json& want : cures)
                if (want["client"] == (*a)[1].str()) {
                    EXPECT_EQ(json::parse((*a)[2].str()), want["deposit"]);
                    EXPECT_EQ((*a)[3].str(), want["sales"]["steps"][0]["security"]);
                }
        }
        EXPECT_EQ(cured, c.cured);
    }
}

// Progress goes to a terminal and never into a pipe: the shocks of stress, the rows of run and
// explain.
TEST(Why, ProgressShowsOnATerminalOnly) {
    const std::string progress = "of 2 clients, about";
    for (const char* args : {"stress --steps 5", "run", "explain"}) {
        SCOPED_TRACE(args);
        const std::string command =
            "KESVAR_PROGRESS_AFTER=0 '" KESVAR_CLI "' " + std::string(args) + " " + kLeveraged;
        Result piped = Shell(command);
        ASSERT_EQ(piped.status, 0) << piped.err;
        EXPECT_EQ(piped.err.find(progress), std::string::npos) << piped.err;

        int terminal = -1;
        pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(child, 0);
        if (child == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string seen;
        char buffer[4096];
        for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
            seen.append(buffer, size_t(n));
        int status = 0;
        waitpid(child, &status, 0);
        close(terminal);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_NE(seen.find(progress), std::string::npos) << seen;
    }
}

} // namespace

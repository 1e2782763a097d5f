// explain, what-if, stress and report as a user runs them, against `run` on the same scenario:
// the explanation's numbers give back the quantities, stress at shock 0 is `run`, a solved
// crossing fed back as prices lands on either side of the level, and the report opens in a
// real browser without a console message and carries `run`'s figures in its DOM.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "explain.h"

namespace {

using json = nlohmann::json;

const std::string kDemo = KESVAR_DEMO_DIR "/scenario.json";

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

std::string Temp(const std::string& name) {
    return testing::TempDir() + "kesvar_why_" + std::to_string(getpid()) + "_" + name;
}

Result Shell(const std::string& command) {
    std::string out = Temp("stdout"), err = Temp("stderr");
    int st = system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, Slurp(out), Slurp(err)};
}

Result Kesvar(const std::string& args) {
    return Shell("'" KESVAR_CLI "' " + args);
}

json Json(const std::string& args) {
    Result r = Kesvar(args + " -f json");
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    return r.status == 0 ? json::parse(r.out) : json();
}

// The step as the library recorded it, from the JSON.
kesvar::TraceStep StepOf(const json& j) {
    kesvar::TraceStep s{};
    const char* rules[] = {"", "trunc", "truncPositive", "afterCover", "shortable", "quantity"};
    for (int i = 1; i <= 5; ++i)
        if (j["rule"] == rules[i]) s.rule = i;
    s.numerator = j["numerator"];
    s.denominator = j["denominator"];
    s.addend = j.value("addend", 0.0);
    s.sellable = j.value("sellable", 0.0);
    return s;
}

TEST(Why, ExplainNamesTheDecidingBoundAndItsNumbersGiveTheQuantity) {
    json run = Json("run '" + kDemo + "'");
    json why = Json("explain '" + kDemo + "'");
    Result text = Kesvar("explain '" + kDemo + "'");
    int quantities = 0;
    for (size_t r = 0; r < run["rows"].size(); ++r)
        for (size_t a = 0; a < run["rows"][r]["actv"].size(); ++a)
            for (const char* figure : {"maxBuy", "maxSell"}) {
                const json& q = why["rows"][r]["actv"][a]["why"][figure];
                int32_t want = run["rows"][r]["actv"][a][figure];
                SCOPED_TRACE(run["rows"][r]["actv"][a]["security"].get<std::string>() + " " +
                             figure);
                int decided = 0;
                for (const json& step : q["steps"]) {
                    EXPECT_EQ(kesvar_cli::ReproduceStep(StepOf(step)), step["quantity"]) << step;
                    if (!step["decides"]) continue;
                    ++decided;
                    EXPECT_EQ(step["quantity"], want);
                    EXPECT_EQ(step["bound"], q["decidedBy"]);
                }
                EXPECT_EQ(decided, 1);
                ++quantities;
            }
    EXPECT_EQ(quantities, 18);
    size_t named = 0;
    for (size_t at = 0; (at = text.out.find(", decided by: ", at)) != std::string::npos; ++at)
        ++named;
    EXPECT_EQ(named, size_t(quantities)) << text.out;
}

// The figures of `client` in a `run` JSON.
json Figures(const json& run, const std::string& client) {
    for (const json& row : run["rows"])
        if (row["client"] == client) return row["figures"];
    return json();
}

TEST(Why, StressAtShockZeroIsRun) {
    struct Case {
        const char *grid, *whatIf;
    } cases[] = {{"--all --from -50% --to 50% --steps 21", ""},
                 {"--security GAZP --from -30% --to 10% --steps 5", "--shift SBER=-7%"},
                 {"--security LKOH --from -10% --to 10% --steps 3", "--price GAZP=150"}};
    for (const Case& c : cases) {
        std::string args = std::string(c.grid) + " " + c.whatIf;
        SCOPED_TRACE(args);
        json run = Json("run '" + kDemo + "' " + c.whatIf);
        json stress = Json("stress '" + kDemo + "' " + args);
        ASSERT_EQ(stress["clients"].size(), run["rows"].size());
        int zeros = 0;
        for (const json& c : stress["clients"])
            for (const json& p : c["points"])
                if (p["shock"] == 0.0) {
                    EXPECT_EQ(p["figures"], Figures(run, c["client"])) << c["client"];
                    ++zeros;
                }
        EXPECT_EQ(zeros, int(run["rows"].size()));
    }
}

// Every price of a crossing side as --price options.
std::string PriceOptions(const json& side) {
    std::string s;
    char buf[64];
    for (const auto& sec : side["prices"].items())
        for (const char* field : {"offer", "bid", "prev", "last"}) {
            snprintf(buf, sizeof buf, "%.17g", sec.value()[field].get<double>());
            s += " --price " + sec.key() + "." + field + "=" + buf;
        }
    return s;
}

TEST(Why, ACrossingFedBackAsPricesLiesOnEitherSideOfTheLevel) {
    struct Case {
        const char *args, *figure;
        double level;
    } cases[] = {
        {"--security GAZP --from 0% --to 100% --steps 11", "marginLevel", 50},
        {"--all --from -50% --to 400% --steps 10", "marginLevel", 50},
        {"--security SBER --from -60% --to 0% --steps 7", "equity", 400000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        json stress = Json("stress '" + kDemo + "' " + c.args + " --level " + c.figure + "=" +
                           std::to_string(int(c.level)));
        int found = 0;
        for (const json& client : stress["clients"])
            for (const json& x : client["crossings"]) {
                ++found;
                double sides[2];
                for (int s = 0; s < 2; ++s) {
                    json run = Json("run '" + kDemo + "'" + PriceOptions(x[s ? "at" : "before"]));
                    sides[s] = Figures(run, client["client"])[c.figure];
                    EXPECT_EQ(sides[s], x[s ? "at" : "before"]["value"]);
                }
                EXPECT_NE(sides[0] < c.level, sides[1] < c.level) << sides[0] << " " << sides[1];
                EXPECT_EQ(x["direction"] == "down", sides[1] < c.level);
                if (x["at"].contains("price")) {
                    double step =
                        x["at"]["price"].get<double>() - x["before"]["price"].get<double>();
                    EXPECT_LE(fabs(step), 0.01);
                }
            }
        EXPECT_GE(found, 1);
    }
}

TEST(Why, BadOverridesAndOptionsAreRefused) {
    const char* cases[][2] = {
        {"run '" KESVAR_DEMO_DIR "/scenario.json' --price NOPE=1", "no security NOPE"},
        {"run '" KESVAR_DEMO_DIR "/scenario.json' --price GAZP.bid=x", "expected a number"},
        {"explain '" KESVAR_DEMO_DIR "/scenario.json' --shift GAZP=-120%", "more than 100%"},
        {"explain '" KESVAR_DEMO_DIR "/scenario.json' --client NOBODY", "no row"},
        {"stress '" KESVAR_DEMO_DIR "/scenario.json' --level margin=5", "not a row figure"},
        {"stress '" KESVAR_DEMO_DIR "/scenario.json' --from 10% --to -10%", "must lie below"},
        {"stress '" KESVAR_DEMO_DIR "/scenario.json' --security NOPE", "no security NOPE"},
    };
    for (const auto& c : cases) {
        Result r = Kesvar(c[0]);
        EXPECT_EQ(r.status, 2) << c[0];
        EXPECT_NE(r.err.find(c[1]), std::string::npos) << c[0] << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c[0];
    }
}

// Loads `file` in headless Chromium; its DOM after loading, and every console message.
Result Browser(const std::string& file) {
    std::string profile = Temp("profile");
    return Shell("rm -rf '" + profile +
                 "'; chromium --headless --no-sandbox --disable-gpu "
                 "--disable-quic --no-first-run --disable-background-networking "
                 "--disable-component-update --disable-sync --enable-logging=stderr --v=0 "
                 "--user-data-dir='" +
                 profile + "' --dump-dom 'file://" + file + "'");
}

bool HasConsoleMessage(const Result& r) {
    return r.err.find(":CONSOLE") != std::string::npos;
}

TEST(Why, ReportOpensInABrowserCleanlyWithRunsFigures) {
    ASSERT_EQ(0, system("command -v chromium >/dev/null"))
        << "the report test needs Debian's chromium (apt-get install chromium)";
    // The check of the console must be able to fail.
    std::string control = Temp("control.html");
    std::ofstream(control) << "<!DOCTYPE html><p>x</p><script>console.error('seen')</script>";
    ASSERT_TRUE(HasConsoleMessage(Browser(control)));

    std::string file = Temp("report.html");
    Result made = Kesvar("report '" + kDemo + "' -o '" + file + "' --security GAZP --to 100%");
    ASSERT_EQ(made.status, 0) << made.err;
    std::string html = Slurp(file);
    for (const char* outside : {"http:", "https:", "<script", "<link", "@import", "url("})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;

    Result page = Browser(file);
    ASSERT_EQ(page.status, 0) << page.err;
    EXPECT_FALSE(HasConsoleMessage(page)) << page.err;

    json run = Json("run '" + kDemo + "'");
    // Each client section, as the browser parsed it: its figures and its positions.
    std::regex section("<section class=\"client\"[^>]*data-client=\"([^\"]+)\"[^>]*>");
    std::regex figure("data-figure=\"([a-zA-Z]+)\" data-value=\"([^\"]+)\"");
    std::regex actv("data-security=\"([^\"]+)\" data-position=\"(-?\\d+)\" data-max-buy=\"(\\d+)\""
                    " data-max-sell=\"(\\d+)\" data-value=\"([^\"]+)\"");
    const std::string& dom = page.out;
    int clients = 0;
    for (std::sregex_iterator s(dom.begin(), dom.end(), section), end; s != end; ++s) {
        std::string client = (*s)[1];
        size_t from = size_t(s->position()), to = dom.find("</section>", from);
        std::string part = dom.substr(from, to - from);
        const json* row = nullptr;
        for (const json& r : run["rows"])
            if (r["client"] == client) row = &r;
        ASSERT_NE(row, nullptr) << client;
        json seen = json::object();
        for (std::sregex_iterator f(part.begin(), part.end(), figure); f != end; ++f)
            seen[(*f)[1].str()] = json::parse((*f)[2].str());
        EXPECT_EQ(seen, (*row)["figures"]) << client;
        size_t i = 0;
        for (std::sregex_iterator a(part.begin(), part.end(), actv); a != end; ++a, ++i) {
            ASSERT_LT(i, (*row)["actv"].size());
            const json& want = (*row)["actv"][i];
            EXPECT_EQ((*a)[1].str(), want["security"]);
            EXPECT_EQ(std::stoi((*a)[2]), want["position"]);
            EXPECT_EQ(std::stoi((*a)[3]), want["maxBuy"]);
            EXPECT_EQ(std::stoi((*a)[4]), want["maxSell"]);
            EXPECT_EQ(json::parse((*a)[5].str()), want["value"]);
        }
        EXPECT_EQ(i, (*row)["actv"].size()) << client;
        ++clients;
    }
    EXPECT_EQ(clients, int(run["rows"].size()));
}

} // namespace

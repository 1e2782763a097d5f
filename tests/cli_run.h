// The kesvar tool run as a user runs it, for the tests of the tool.
#ifndef KESVAR_TESTS_CLI_RUN_H
#define KESVAR_TESTS_CLI_RUN_H

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace clirun {

using json = nlohmann::json;

struct Result {
    int status = -1;
    std::string out, err;
};

inline std::string Slurp(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// A file of this test process holding `content`.
inline std::string TempFile(const std::string& name, const std::string& content = "") {
    std::string path = testing::TempDir() + "kesvar_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

inline Result Shell(const std::string& command) {
    std::string out = TempFile("stdout"), err = TempFile("stderr");
    int st = system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, Slurp(out), Slurp(err)};
}

inline Result Kesvar(const std::string& args) {
    return Shell("'" KESVAR_CLI "' " + args);
}

// `kesvar ARGS --format json`, which must exit with `status`; a discarded value when the
// output is not JSON.
inline json Json(const std::string& args, int status = 0) {
    Result r = Kesvar(args + " --format json");
    EXPECT_EQ(r.status, status) << args << "\n" << r.err;
    return json::parse(r.out, nullptr, false);
}

} // namespace clirun

#endif

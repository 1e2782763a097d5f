#include "scenario/scenario.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <iostream>
#include <iterator>

namespace kesvar_cli {

std::string ReadFile(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error(path + ": " + strerror(errno));
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    int err = ferror(f) ? errno : 0;
    fclose(f);
    if (err) throw std::runtime_error(path + ": " + strerror(err));
    return data;
}

std::string ReadInput(const std::string& path) {
    if (path != "-") return ReadFile(path);
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

Scenario LoadScenarioFile(const std::string& path) {
    std::string text;
    try {
        text = ReadInput(path);
    } catch (const std::exception& e) {
        throw CommandError(std::string("cannot read the scenario: ") + e.what());
    }
#ifdef _WIN32
    const char* separators = "/\\";
#else
    const char* separators = "/";
#endif
    // Files a scenario read from standard input names are relative to the current directory.
    size_t slash = path == "-" ? std::string::npos : path.find_last_of(separators);
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    FileReader read = [dir, separators](const std::string& rel) {
        bool absolute = !rel.empty() && strchr(separators, rel[0]) != nullptr;
#ifdef _WIN32
        absolute = absolute || (rel.size() > 1 && rel[1] == ':');
#endif
        return ReadFile(absolute ? rel : dir + rel);
    };
    Scenario s = ParseScenario(text, path, read);
    s.text = text;
    return s;
}

} // namespace kesvar_cli

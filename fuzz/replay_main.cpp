// Replays saved inputs through a fuzz target's body without libFuzzer, so crash inputs found
// once stay tests in every build configuration.
// Usage: kesvar_fuzz_replay <settings|classes|host_answers|scenario|limits_csv> <file or
// directory>...
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s <target> <file or directory>...\n", argv[0]);
        return 2;
    }
    kfuzz::Target target = kfuzz::TargetByName(argv[1]);
    if (!target) {
        fprintf(stderr, "unknown target %s\n", argv[1]);
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 2; i < argc; ++i) {
        fs::path p(argv[i]);
        if (fs::is_directory(p)) {
            for (const fs::directory_entry& e : fs::directory_iterator(p))
                if (e.is_regular_file() && e.path().filename().string()[0] != '.')
                    files.push_back(e.path());
        } else if (fs::is_regular_file(p)) {
            files.push_back(p);
        } else {
            fprintf(stderr, "no such input: %s\n", argv[i]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        printf("%s: %s (%zu bytes)\n", argv[1], f.filename().string().c_str(), bytes.size());
        fflush(stdout);
        target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    printf("%s: %zu inputs replayed\n", argv[1], files.size());
    return 0;
}

// Runs a fuzz target over the files of its corpus, as an ordinary test:
//   fuzz_replay <target> <file or folder>...
// Every file is one input; a property that does not hold aborts (and the
// sanitizers stop at a memory error), so a passing run means the whole
// corpus went through.
#include "FuzzTarget.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fuzz {
std::map<std::string, TargetFunction>& targets();
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <target> <file or folder>...\ntargets:", argv[0]);
        for (const auto& [name, function] : fuzz::targets())
            std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    const auto found = fuzz::targets().find(argv[1]);
    if (found == fuzz::targets().end()) {
        std::fprintf(stderr, "no fuzz target named %s\n", argv[1]);
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.push_back(path);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs for %s\n", argv[1]);
        return 2;
    }
    fuzz::prepare();
    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "%s\n", path.filename().c_str());
        // A copy of exactly the input's size, so reading past it is caught.
        std::vector<uint8_t> data(bytes.begin(), bytes.end());
        found->second(data.empty() ? nullptr : data.data(), data.size());
    }
    std::printf("%s: %zu input(s) replayed\n", argv[1], inputs.size());
    return 0;
}

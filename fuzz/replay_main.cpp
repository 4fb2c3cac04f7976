// The fuzzers without libFuzzer: every file of the folders (or the files) named on the command line goes
// once through the fuzzer's entry, so the ordinary build and test run replays the committed inputs too.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path argument = argv[i];
        std::error_code error;
        if (fs::is_directory(argument, error)) {
            for (const auto& entry : fs::directory_iterator(argument))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else if (fs::is_regular_file(argument, error)) {
            inputs.push_back(argument);
        } else {
            // A mistyped folder would otherwise replay nothing and pass.
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 2;
        }
    }
    if (inputs.empty()) {
        std::fputs("no inputs to replay\n", stderr);
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());

    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
        // A buffer of exactly the input's size, as libFuzzer hands over, so a sanitizer sees any read past it.
        const auto buffer = std::make_unique<std::uint8_t[]>(size > 0 ? static_cast<std::size_t>(size) : 0);
        if (size < 0 || !in.seekg(0) || !in.read(reinterpret_cast<char*>(buffer.get()), size)) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            return 2;
        }
        // Named before it runs: a crash in it is then traced to its file.
        std::printf("%s (%lld bytes)\n", path.c_str(), static_cast<long long>(size));
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(buffer.get(), static_cast<std::size_t>(size));
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}

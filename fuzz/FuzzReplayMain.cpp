// Runs LLVMFuzzerTestOneInput once over each file named on the command line,
// and over every file in each folder named there (not recursing). Options
// beginning with '-' are libFuzzer's and are ignored, so a test can run a
// replay build and a libFuzzer build of a target with the same arguments.
// Used where the compiler has no libFuzzer: the targets still build and
// their seed corpora still run.

#include "FuzzInput.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace {

bool RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int ran = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.empty() || arg[0] == '-')
            continue;
        const std::filesystem::path path(arg);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                ok = RunFile(file) && ok;
                ++ran;
            }
        } else {
            ok = RunFile(path) && ok;
            ++ran;
        }
    }
    std::printf("%d input(s) run\n", ran);
    return ok && ran > 0 ? 0 : 1;
}

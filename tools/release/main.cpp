// orva-release: see tools/release/release_tool.h and `orva-release --help`.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/release/release_tool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string out;
    std::string err;
    int status = orva::runReleaseTool(args, out, err);
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        status = orva::kExitFailure;  // for example a closed pipe or a full disk
    }
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}

// Measures one whole download() of a large installer and then a second run
// that reuses it: the transfer time, the time of the check after the
// transfer, the time of the reuse run, and the process's peak working set.
// Not a test; scripts/bench-download.sh runs it next to curl and sha256sum
// against the local test server.
//
//   download_bench.exe SERVICE_URL FOLDER
//
// Prints one line: installer bytes, transfer seconds, check seconds, reuse
// run seconds, peak working set bytes.

#include <windows.h>
// windows.h must come first.
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/text.h"
#include "download/download.h"
#include "tests/support/recording_reporter.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timeline {
    Clock::time_point downloading{};
    Clock::time_point checking{};
    Clock::time_point finished{};
    std::wstring failure;
    std::wstring installer;
};

// Runs download() and notes when each phase began, as it is reported.
Timeline runOnce() {
    using orva::testing::Report;
    using orva::testing::ReportKind;
    Timeline timeline;
    orva::testing::RecordingReporter reporter;
    reporter.onReport = [&timeline](const Report& r) {
        if (r.kind == ReportKind::kStatus && r.text.starts_with(L"Downloading")) {
            timeline.downloading = Clock::now();
        } else if (r.kind == ReportKind::kStatus && r.text.starts_with(L"Checking")) {
            timeline.checking = Clock::now();
        } else if (r.kind == ReportKind::kFailed) {
            timeline.failure = r.text;
        } else if (r.kind == ReportKind::kInstallerReady) {
            timeline.installer = r.text;
        }
    };
    orva::download(reporter);
    timeline.finished = Clock::now();
    return timeline;
}

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_bench SERVICE_URL FOLDER\n");
        return 2;
    }
    SetEnvironmentVariableW(L"ORVA_UPDATE_URL", orva::utf8ToWide(argv[1]).c_str());
    SetEnvironmentVariableW(L"TMP", orva::utf8ToWide(argv[2]).c_str());

    const Timeline first = runOnce();
    if (first.installer.empty()) {
        std::fprintf(stderr, "download_bench: the download failed: %s\n",
                     orva::wideToUtf8(first.failure).c_str());
        return 1;
    }
    const auto reuseStart = Clock::now();
    const Timeline second = runOnce();
    if (second.installer != first.installer || second.downloading != Clock::time_point{}) {
        std::fprintf(stderr, "download_bench: the second run did not reuse the installer\n");
        return 1;
    }

    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(first.installer.c_str(), GetFileExInfoStandard, &data);
    const unsigned long long size =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));

    std::printf("%llu %.3f %.3f %.3f %llu\n", size, seconds(first.downloading, first.checking),
                seconds(first.checking, first.finished), seconds(reuseStart, second.finished),
                static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return 0;
}

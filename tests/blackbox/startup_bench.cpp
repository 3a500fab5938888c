// Measures, for each program named on the command line, the time from
// CreateProcess to its first visible top-level window, over several starts,
// and prints the median and the range. Not a test; scripts/bench-startup.sh
// runs it for Orva-Setup and for a minimal window program, the same way.
//
//   startup_bench.exe RUNS PROGRAM.exe [PROGRAM.exe...]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    bool found;
};

BOOL CALLBACK findVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->processId && IsWindowVisible(window)) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds from the start of |program| to its first visible window, or
// -1 when none appears within 30 s. The program is ended afterwards.
double timeToWindow(const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    Search search = {process.dwProcessId, false};
    double elapsed = -1;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        EnumWindows(findVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            elapsed =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            break;
        }
        Sleep(1);
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_bench RUNS PROGRAM.exe [PROGRAM.exe...]\n");
        return 2;
    }
    const int runs = _wtoi(argv[1]);
    // The programs take turns, so that whatever the machine does meanwhile
    // falls on all of them alike.
    std::vector<std::vector<double>> times(static_cast<std::size_t>(argc - 2));
    for (int i = 2; i < argc; ++i) {
        timeToWindow(argv[i]);  // a first start warms the caches
    }
    for (int run = 0; run < runs; ++run) {
        for (int i = 2; i < argc; ++i) {
            times[static_cast<std::size_t>(i - 2)].push_back(timeToWindow(argv[i]));
        }
    }
    for (int i = 2; i < argc; ++i) {
        std::vector<double>& sorted = times[static_cast<std::size_t>(i - 2)];
        std::sort(sorted.begin(), sorted.end());
        std::printf(
            "%-28ls median %6.1f ms  (min %6.1f, max %6.1f, %d starts)\n",
            std::wstring(argv[i]).substr(std::wstring(argv[i]).find_last_of(L"/\\") + 1).c_str(),
            sorted[sorted.size() / 2], sorted.front(), sorted.back(), runs);
    }
    return 0;
}

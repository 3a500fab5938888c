// Whole runs of download() against the local update service
// (tests/server/http_test_server.py, /update/...), each in a temporary folder
// of its own, with what it reports kept by a recording reporter. The service
// signs its lists with the TEST-ONLY key, which this executable has built in.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h must come first.
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "download/download.h"
#include "download/installer_file.h"
#include "download/run_messages.h"
#include "http/http_client.h"
#include "http/network_errors.h"
#include "json/json.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_data.h"
#include "tests/support/test_server.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using testing::RecordingReporter;
using testing::Report;
using testing::ReportKind;
using testing::TempFolder;

constexpr std::uint64_t kSize = 3 * 1024 * 1024;  // "3.0 MB"
const std::wstring kFinding = L"Finding the newest version of Orva...";
const std::wstring kDownloading = L"Downloading Orva 2.4.1 (3.0 MB)";
const std::wstring kChecking = L"Checking the download...";
const std::wstring kNotAsPublished =
    L"What was downloaded is not Orva 2.4.1 as it was published (its size or checksum "
    L"differs), so it was thrown away. Try again; if it happens twice, write to "
    L"support@orva-cad.example.";

std::string serviceUrl(const std::string& scenario, std::uint64_t size = kSize) {
    return testing::testServerUrl("ORVA_TEST_HTTP_URL") + "/update/" + scenario + "/" +
           std::to_string(size);
}

// The program's private folder in the temporary folder |folder|, where the
// installer and its partial file live.
fs::path privateFolderIn(const fs::path& folder) {
    return folder / "Orva Setup";
}

// The private folder download() will use once TMP names |folder|, as text
// ending in a backslash: GetTempPathW's text and "Orva Setup\".
std::wstring tempPathFor(const fs::path& folder) {
    SetEnvironmentVariableW(L"TMP", folder.wstring().c_str());
    wchar_t buffer[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer) + L"Orva Setup\\";
}

// The partial files in |folder|: none should outlive a run.
std::vector<fs::path> partialFiles(const fs::path& folder) {
    std::vector<fs::path> found;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".part") {
                found.push_back(entry.path());
            }
        }
    }
    return found;
}

// Runs download() against |url| with |folder| as the temporary folder and
// |kept| as what an earlier run of the same process left (a fresh one, gone
// with the run, when none is given); |onReport| sees each report as it is
// made and may ask the run to stop.
RecordingReporter runDownload(
    const std::string& url, const fs::path& folder,
    const std::function<void(RecordingReporter&, const Report&)>& onReport = {},
    KeptDownload* kept = nullptr) {
    SetEnvironmentVariableW(L"ORVA_UPDATE_URL", utf8ToWide(url).c_str());
    SetEnvironmentVariableW(L"TMP", folder.wstring().c_str());
    RecordingReporter reporter;
    if (onReport) {
        reporter.onReport = [&](const Report& report) { onReport(reporter, report); };
    }
    KeptDownload ownKept;
    download(reporter, kept != nullptr ? *kept : ownKept);
    reporter.onReport = nullptr;
    return reporter;
}

// The same for a run that an earlier one of the same process precedes.
RecordingReporter runAgain(const std::string& url, const fs::path& folder, KeptDownload& kept) {
    return runDownload(url, folder, {}, &kept);
}

struct Scenario {
    const char* name;
    const char* service;  // the scenario of the test service
    // Makes files in the temporary folder before the run.
    std::function<void(const fs::path& folder)> prepare;
    std::vector<std::wstring> statuses;
    ReportKind finalKind;
    // The final message's text, given the temporary folder's text.
    std::function<std::wstring(const std::wstring& tempPath)> finalText;
    // The installer's content afterwards; nullopt: no file by that name.
    std::optional<std::string> installerAfter;
};

const std::string kInstaller = testing::testPattern(0, kSize);

std::wstring readyAt(const std::wstring& tempPath) {
    return tempPath + L"Orva-Setup-2.4.1.exe";
}

TEST(DownloadScenario, EndToEnd) {
    const fs::path installerName = "Orva-Setup-2.4.1.exe";
    std::string changed = kInstaller;
    changed[1000] ^= 0x40;
    const Scenario kScenarios[] = {
        {"fresh download",
         "good",
         {},
         {kFinding, kDownloading, kChecking},
         ReportKind::kInstallerReady,
         readyAt,
         kInstaller},
        {"verified copy reused, nothing fetched",
         "setup-500",
         [&](const fs::path& f) { testing::writeFile(f / installerName, kInstaller); },
         {kFinding},
         ReportKind::kInstallerReady,
         readyAt,
         kInstaller},
        {"cached copy with one byte changed is replaced",
         "good",
         [&](const fs::path& f) { testing::writeFile(f / installerName, changed); },
         {kFinding, kDownloading, kChecking},
         ReportKind::kInstallerReady,
         readyAt,
         kInstaller},
        {"answer longer than signed",
         "longer",
         {},
         {kFinding, kDownloading, kChecking},
         ReportKind::kFailed,
         [](const std::wstring&) { return kNotAsPublished; },
         std::nullopt},
        {"answer shorter than signed",
         "shorter",
         {},
         {kFinding, kDownloading, kChecking},
         ReportKind::kFailed,
         [](const std::wstring&) { return kNotAsPublished; },
         std::nullopt},
        {"answer differs from signed",
         "different",
         {},
         {kFinding, kDownloading, kChecking},
         ReportKind::kFailed,
         [](const std::wstring&) { return kNotAsPublished; },
         std::nullopt},
        {"a damaged cached copy stays when the download fails",
         "different",
         [&](const fs::path& f) { testing::writeFile(f / installerName, changed); },
         {kFinding, kDownloading, kChecking},
         ReportKind::kFailed,
         [](const std::wstring&) { return kNotAsPublished; },
         changed},
        {"list answered 503",
         "list-503",
         {},
         {kFinding},
         ReportKind::kFailed,
         [](const std::wstring&) {
             return std::wstring(
                 L"updates.orva-cad.example did not give the list of versions (HTTP 503).");
         },
         std::nullopt},
        {"list answered 503 with an error text",
         "list-503-json",
         {},
         {kFinding},
         ReportKind::kFailed,
         [](const std::wstring&) {
             return std::wstring(L"The update service is closed for maintenance until 14:00 UTC.");
         },
         std::nullopt},
        {"list is not JSON",
         "list-not-json",
         {},
         {kFinding},
         ReportKind::kFailed,
         [](const std::wstring&) {
             return std::wstring(
                 L"updates.orva-cad.example answered with something that is "
                 L"not a list of versions.");
         },
         std::nullopt},
        {"no signed release",
         "unsigned",
         {},
         {kFinding},
         ReportKind::kFailed,
         [](const std::wstring&) {
             return std::wstring(
                 L"updates.orva-cad.example lists no version of Orva signed by "
                 L"its maker. Write to support@orva-cad.example.");
         },
         std::nullopt},
        {"download answered 404 with an error text",
         "setup-404",
         {},
         {kFinding, kDownloading},
         ReportKind::kFailed,
         [](const std::wstring&) {
             return std::wstring(L"Orva 2.4.1 was withdrawn; please try again tomorrow.");
         },
         std::nullopt},
        {"a folder bears the installer's name",
         "good",
         [&](const fs::path& f) { fs::create_directory(f / installerName); },
         {kFinding, kDownloading, kChecking},
         ReportKind::kFailed,
         [](const std::wstring& tempPath) {
             // The folder without its final backslash.
             return L"The download could not be put in " + tempPath.substr(0, tempPath.size() - 1) +
                    L".";
         },
         std::nullopt},
    };
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        TempFolder folder;
        // An earlier run's folder, which the run uses again.
        fs::create_directory(privateFolderIn(folder.path()));
        if (s.prepare)
            s.prepare(privateFolderIn(folder.path()));
        const std::wstring tempPath = tempPathFor(folder.path());
        const RecordingReporter run = runDownload(serviceUrl(s.service), folder.path());

        EXPECT_EQ(run.texts(ReportKind::kStatus), s.statuses);
        const auto final = run.final();
        ASSERT_TRUE(final.has_value());
        EXPECT_EQ(final->kind, s.finalKind);
        EXPECT_EQ(final->text, s.finalText(tempPath));
        EXPECT_EQ(
            run.texts(ReportKind::kFailed).size() + run.texts(ReportKind::kInstallerReady).size(),
            1u);

        const fs::path installer = privateFolderIn(folder.path()) / installerName;
        if (s.installerAfter) {
            ASSERT_TRUE(fs::is_regular_file(installer));
            EXPECT_TRUE(testing::readTestFile(installer) == *s.installerAfter);
        } else if (!fs::is_directory(installer)) {
            EXPECT_FALSE(fs::exists(installer));
        }
        EXPECT_TRUE(partialFiles(privateFolderIn(folder.path())).empty())
            << "a partial file was left behind";
    }
}

// A file or folder by the partial file's former fixed name (or any other)
// is never opened, written or deleted: each run creates a name of its own.
TEST(DownloadScenario, LeavesFilesItDidNotCreateAlone) {
    TempFolder folder;
    const fs::path own = privateFolderIn(folder.path());
    fs::create_directory(own);
    testing::writeFile(own / "Orva-Setup-2.4.1.exe.part", "somebody else's");
    fs::create_directory(own / "Orva-Setup-2.4.1.exe.0123456789abcdef.part");
    RecordingReporter run = runDownload(serviceUrl("good"), folder.path());
    ASSERT_TRUE(run.final().has_value());
    EXPECT_EQ(run.final()->kind, ReportKind::kInstallerReady);
    EXPECT_EQ(testing::readTestFile(own / "Orva-Setup-2.4.1.exe.part"), "somebody else's");
    EXPECT_TRUE(fs::is_directory(own / "Orva-Setup-2.4.1.exe.0123456789abcdef.part"));
    EXPECT_EQ(partialFiles(own).size(), 2u) << "only the two that were there";
}

// From the check until the launch has returned, the installer is held: no
// other program can write, rename or delete what was checked.
TEST(DownloadScenario, TheCheckedInstallerIsHeldAgainstWritersUntilReleased) {
    for (const bool reused : {false, true}) {
        SCOPED_TRACE(reused ? "a verified copy reused" : "a fresh download");
        TempFolder folder;
        if (reused) {
            fs::create_directory(privateFolderIn(folder.path()));
            testing::writeFile(privateFolderIn(folder.path()) / "Orva-Setup-2.4.1.exe", kInstaller);
        }
        RecordingReporter run = runDownload(serviceUrl("good"), folder.path());
        ASSERT_TRUE(run.final().has_value());
        ASSERT_EQ(run.final()->kind, ReportKind::kInstallerReady);
        ASSERT_TRUE(run.hold);
        const std::wstring path = run.final()->text;
        const auto openForWriting = [&path] {
            const FileHandle file(CreateFileW(
                path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            return file ? 0ul : GetLastError();
        };
        EXPECT_EQ(openForWriting(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(DeleteFileW(path.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        run.hold.reset();
        EXPECT_EQ(openForWriting(), 0ul) << "free once the launch has returned";
    }
}

TEST(DownloadScenario, FreshDownloadReportsProgressToTheEnd) {
    TempFolder folder;
    const RecordingReporter run = runDownload(serviceUrl("good"), folder.path());
    const std::vector<std::wstring> progress = run.texts(ReportKind::kProgress);
    ASSERT_FALSE(progress.empty());
    EXPECT_LE(progress.size(), 1001u);
    EXPECT_EQ(progress.back(), L"3.0 MB of 3.0 MB");
    std::vector<std::uint32_t> permille;
    for (const Report& r : run.reports) {
        if (r.kind == ReportKind::kProgress)
            permille.push_back(r.permille);
    }
    EXPECT_EQ(permille.back(), 1000u);
    EXPECT_TRUE(std::is_sorted(permille.begin(), permille.end()));
    // Progress comes between the downloading and the checking status.
    const auto downloading = std::find_if(run.reports.begin(), run.reports.end(),
                                          [](const Report& r) { return r.text == kDownloading; });
    const auto firstProgress =
        std::find_if(run.reports.begin(), run.reports.end(),
                     [](const Report& r) { return r.kind == ReportKind::kProgress; });
    const auto checking = std::find_if(run.reports.begin(), run.reports.end(),
                                       [](const Report& r) { return r.text == kChecking; });
    EXPECT_LT(downloading, firstProgress);
    EXPECT_LT(firstProgress, checking);
}

TEST(DownloadScenario, NewestSignedReleaseIsChosen) {
    // The list offers 3.0.0 (not signed), 2.9.0, 2.10.0 and a second 2.10.0
    // with another digest: the first 2.10.0 wins.
    TempFolder folder;
    const std::wstring tempPath = tempPathFor(folder.path());
    const RecordingReporter run = runDownload(serviceUrl("newest"), folder.path());
    EXPECT_EQ(
        run.texts(ReportKind::kStatus),
        (std::vector<std::wstring>{kFinding, L"Downloading Orva 2.10.0 (3.0 MB)", kChecking}));
    ASSERT_TRUE(run.final().has_value());
    EXPECT_EQ(run.final()->kind, ReportKind::kInstallerReady);
    EXPECT_EQ(run.final()->text, tempPath + L"Orva-Setup-2.10.0.exe");
}

// The broken connection is what the user is told of, and the half that
// arrived is kept for "Try Again" until the process lets it go.
TEST(DownloadScenario, DroppedConnectionFailsAndKeepsThePartUntilTheProcessEnds) {
    TempFolder folder;
    KeptDownload kept;
    const RecordingReporter run = runDownload(serviceUrl("drop"), folder.path(), {}, &kept);
    ASSERT_TRUE(run.final().has_value());
    EXPECT_EQ(run.final()->kind, ReportKind::kFailed);
    EXPECT_EQ(wideToUtf8(run.final()->text),
              describeWinHttpError(ERROR_WINHTTP_CONNECTION_ERROR, L"127.0.0.1") + ".");
    ASSERT_TRUE(kept.file);
    EXPECT_EQ(kept.bytes, kSize / 2);
    EXPECT_EQ(kept.release.version, "2.4.1");
    EXPECT_EQ(partialFiles(privateFolderIn(folder.path())).size(), 1u);
    kept.discard();
    EXPECT_TRUE(fs::is_empty(privateFolderIn(folder.path())));
}

// What the test service recorded of the installer requests of |scenario|:
// the Range header of each ("" for none) and the body bytes it sent.
struct Requests {
    std::vector<std::string> ranges;
    std::uint64_t bytesSent = 0;
};

Requests recordedRequests(const std::string& scenario, std::uint64_t size = kSize) {
    HttpRequest request;
    request.url = serviceUrl(scenario, size).append("/record");
    const HttpResponse answer = performHttpRequest(request, 1 << 20);
    Requests requests;
    JsonValue document;
    std::string error;
    const JsonValue* list = nullptr;
    if (!answer.ok || !parseJson(answer.body, document, error) ||
        (list = document.find("requests")) == nullptr) {
        ADD_FAILURE() << "no record of " << scenario << ": " << answer.body;
        return requests;
    }
    for (const JsonValue& item : list->items) {
        requests.ranges.push_back(item.find("range")->text);
        requests.bytesSent += static_cast<std::uint64_t>(item.find("sent")->number);
    }
    return requests;
}

// A name of a scenario that no other run of this program has used, so that
// the service's count of its requests starts at 0.
std::string freshScenario(const std::string& prefix) {
    static int counter = 0;
    return prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

// The thousandths of the first progress report.
std::optional<std::uint32_t> firstPermille(const RecordingReporter& run) {
    for (const Report& r : run.reports) {
        if (r.kind == ReportKind::kProgress)
            return r.permille;
    }
    return std::nullopt;
}

// The case the whole of resuming is for: a large installer whose connection
// drops at a third. "Try Again" asks for the rest, the bar goes on from a
// third, and the installer is exactly the signed one; the bytes sent in all
// are about the installer's size, not one and a third of it.
TEST(DownloadScenario, ADropAtAThirdCostsOnlyTheRestOnTryAgain) {
    constexpr std::uint64_t kLarge = 64ull << 20;
    const std::string scenario = freshScenario("resume-third-");
    const std::string url = serviceUrl(scenario, kLarge);
    TempFolder folder;
    KeptDownload kept;

    const RecordingReporter first = runAgain(url, folder.path(), kept);
    ASSERT_TRUE(first.final().has_value());
    EXPECT_EQ(first.final()->kind, ReportKind::kFailed);
    ASSERT_TRUE(kept.file) << "the part is kept";
    EXPECT_GT(kept.bytes, 0u);
    EXPECT_LE(kept.bytes, kLarge / 3);

    const std::uint64_t third = kept.bytes;
    RecordingReporter second = runAgain(url, folder.path(), kept);
    ASSERT_TRUE(second.final().has_value());
    ASSERT_EQ(second.final()->kind, ReportKind::kInstallerReady)
        << wideToUtf8(second.final()->text);
    EXPECT_EQ(
        second.texts(ReportKind::kStatus),
        (std::vector<std::wstring>{kFinding, L"Downloading Orva 2.4.1 (64.0 MB)", kChecking}));
    EXPECT_EQ(firstPermille(second), static_cast<std::uint32_t>(third * 1000 / kLarge));
    EXPECT_EQ(second.texts(ReportKind::kProgress).front(), formatMegabytes(third) + L" of 64.0 MB");
    EXPECT_EQ(second.texts(ReportKind::kProgress).back(), L"64.0 MB of 64.0 MB");
    EXPECT_FALSE(kept.file) << "nothing is kept once the installer is ready";

    const Requests requests = recordedRequests(scenario, kLarge);
    EXPECT_EQ(requests.ranges,
              (std::vector<std::string>{"", "bytes=" + std::to_string(third) + "-"}));
    EXPECT_EQ(requests.bytesSent, kLarge / 3 + (kLarge - third));
    std::printf(
        "[ figures  ] a 64 MiB installer dropped at a third and resumed: %llu bytes sent "
        "in all (%.3f of its size)\n",
        static_cast<unsigned long long>(requests.bytesSent),
        static_cast<double>(requests.bytesSent) / static_cast<double>(kLarge));

    const fs::path installer = privateFolderIn(folder.path()) / "Orva-Setup-2.4.1.exe";
    EXPECT_TRUE(testing::readTestFile(installer) == testing::testPattern(0, kLarge))
        << "the bytes are exact";
    second.hold.reset();
    EXPECT_TRUE(partialFiles(privateFolderIn(folder.path())).empty());
}

// What else may happen between the drop and "Try Again": each case ends with
// the signed installer or nothing, never with a file that is not exactly it.
TEST(DownloadScenario, ResumingTakesOnlyTheRestOfTheSameRelease) {
    const std::string rest = "bytes=" + std::to_string(kSize / 3) + "-";
    const auto alterFirstBytes = [](KeptDownload& kept) {
        LARGE_INTEGER start{};
        DWORD written = 0;
        ASSERT_TRUE(SetFilePointerEx(kept.file->handle(), start, nullptr, FILE_BEGIN));
        ASSERT_TRUE(WriteFile(kept.file->handle(), "MZ altered", 10, &written, nullptr));
    };
    const struct {
        const char* name;
        const char* scenario;
        std::function<void(KeptDownload&)> between;  // after the drop
        std::vector<std::string> ranges;             // of every installer request
        std::wstring failureOnce;  // the reason of a run between the drop and the last
        std::wstring final;        // the last run's reason; empty: the installer is ready
        std::wstring installer;    // its name, when ready
        bool resumed;              // the last run's progress starts at the third
    } kCases[] = {
        {"the rest is given", "resume-", {}, {"", rest}, L"", L"", L"Orva-Setup-2.4.1.exe", true},
        {"the service ignores the range (200)",
         "resume-ignore-",
         {},
         {"", rest},
         L"",
         L"",
         L"Orva-Setup-2.4.1.exe",
         false},
        {"the service answers another range",
         "resume-wrong-",
         {},
         {"", rest, ""},
         L"",
         L"",
         L"Orva-Setup-2.4.1.exe",
         false},
        {"the service cannot give the range (416)",
         "resume-416-",
         {},
         {"", rest, ""},
         L"",
         L"",
         L"Orva-Setup-2.4.1.exe",
         false},
        {"a newer release since the drop",
         "resume-newer-",
         {},
         {"", ""},
         L"",
         L"",
         L"Orva-Setup-2.4.2.exe",
         false},
        {"an error answer before the rest",
         "resume-503-",
         {},
         {"", rest, rest},
         L"The update service is restarting; try again in a minute.",
         L"",
         L"Orva-Setup-2.4.1.exe",
         true},
        {"the part on the disk was altered",
         "resume-",
         alterFirstBytes,
         {"", rest},
         L"",
         kNotAsPublished,
         L"",
         true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string scenario = freshScenario(c.scenario);
        const std::string url = serviceUrl(scenario);
        TempFolder folder;
        const fs::path own = privateFolderIn(folder.path());
        KeptDownload kept;
        const RecordingReporter dropped = runAgain(url, folder.path(), kept);
        ASSERT_TRUE(kept.file);
        ASSERT_EQ(kept.bytes, kSize / 3);
        if (c.between) {
            c.between(kept);
        }
        if (!c.failureOnce.empty()) {
            const RecordingReporter refused = runAgain(url, folder.path(), kept);
            ASSERT_TRUE(refused.final().has_value());
            EXPECT_EQ(refused.final()->text, c.failureOnce);
            ASSERT_TRUE(kept.file) << "an answer without bytes keeps the part";
            EXPECT_EQ(kept.bytes, kSize / 3);
        }
        RecordingReporter last = runAgain(url, folder.path(), kept);
        ASSERT_TRUE(last.final().has_value());
        EXPECT_EQ(recordedRequests(scenario).ranges, c.ranges);
        const auto progress = firstPermille(last);
        ASSERT_TRUE(progress.has_value());
        EXPECT_EQ(*progress == (kSize / 3) * 1000 / kSize, c.resumed) << *progress;
        if (c.final.empty()) {
            ASSERT_EQ(last.final()->kind, ReportKind::kInstallerReady)
                << wideToUtf8(last.final()->text);
            EXPECT_EQ(fs::path(last.final()->text).filename().wstring(), c.installer);
            EXPECT_TRUE(testing::readTestFile(own / c.installer) == kInstaller);
        } else {
            EXPECT_EQ(last.final()->kind, ReportKind::kFailed);
            EXPECT_EQ(last.final()->text, c.final);
            EXPECT_FALSE(fs::exists(own / "Orva-Setup-2.4.1.exe")) << "nothing to start";
        }
        EXPECT_FALSE(kept.file);
        last.hold.reset();
        EXPECT_TRUE(partialFiles(own).empty()) << "a partial file was left behind";
    }
}

// The reference service answers ranges as the program needs them: a part
// that the test service dropped is finished from nginx's copy of the same
// signed release.
TEST(DownloadScenario, TheReferenceServiceGivesTheRest) {
    if (!testing::testAuthorityTrusted()) {
        GTEST_SKIP() << "the reference service speaks HTTPS, whose test authority can be "
                        "trusted only as root";
    }
    const std::string scenario = freshScenario("resume-nginx-");
    TempFolder folder;
    KeptDownload kept;
    const RecordingReporter dropped = runAgain(serviceUrl(scenario), folder.path(), kept);
    ASSERT_TRUE(kept.file) << (dropped.final() ? wideToUtf8(dropped.final()->text) : "no end");
    const std::uint64_t part = kept.bytes;
    RecordingReporter last =
        runAgain(testing::testServerUrl("ORVA_TEST_NGINX_URL"), folder.path(), kept);
    ASSERT_TRUE(last.final().has_value());
    ASSERT_EQ(last.final()->kind, ReportKind::kInstallerReady)
        << wideToUtf8(last.final()->text) << " after "
        << wideToUtf8(last.texts(ReportKind::kStatus).back());
    EXPECT_EQ(firstPermille(last), static_cast<std::uint32_t>(part * 1000 / kSize))
        << "the rest, not the whole";
    EXPECT_TRUE(testing::readTestFile(privateFolderIn(folder.path()) / "Orva-Setup-2.4.1.exe") ==
                kInstaller);
}

// A temporary folder whose path leaves no room for the installer's: the
// shell could not start it from there (nor could a file be created there
// without long-path support), so the run says so before it makes anything,
// rather than failing later for a reason that is not the real one. One
// character less and the run goes through.
TEST(DownloadScenario, ATemporaryFolderTooLongToStartFromIsSaidSo) {
    TempFolder base;
    // The longest path a run makes: "<temp>\Orva Setup <16 hex>\" and the
    // partial file "Orva-Setup-2.4.1.exe.<16 hex>.part".
    const std::size_t overhead = std::wstring(L"Orva Setup 0123456789abcdef\\").size() +
                                 std::wstring(L"Orva-Setup-2.4.1.exe.0123456789abcdef.part").size();
    const std::size_t baseLength =
        tempPathFor(base.path()).size() - std::wstring(L"Orva Setup\\").size();
    for (const bool fits : {true, false}) {
        SCOPED_TRACE(fits ? "just fits" : "one character too long");
        // <base>\<name>\ with the total at MAX_PATH - 1, or MAX_PATH.
        const std::size_t total = MAX_PATH - 1 - overhead + (fits ? 0 : 1);
        const fs::path temp =
            base.path() / std::wstring(total - baseLength - 1, fits ? L'f' : L'l');
        fs::create_directory(temp);
        const std::wstring tempPath = tempPathFor(temp);
        ASSERT_EQ(tempPath.size() - std::wstring(L"Orva Setup\\").size(), total);
        const RecordingReporter run = runDownload(serviceUrl("good"), temp);
        ASSERT_TRUE(run.final().has_value());
        if (fits) {
            EXPECT_EQ(run.final()->kind, ReportKind::kInstallerReady) << run.final()->text;
            continue;
        }
        EXPECT_EQ(run.final()->kind, ReportKind::kFailed);
        EXPECT_EQ(run.final()->text,
                  L"The path of Windows' temporary folder is too long for the installer to be "
                  L"started from it: " +
                      tempPath.substr(0, tempPath.size() - std::wstring(L"\\Orva Setup\\").size()) +
                      L". A shorter temporary folder (the TMP setting) solves this.");
        EXPECT_TRUE(fs::is_empty(temp)) << "nothing made";
    }
}

TEST(DownloadScenario, NoServiceListeningGivesTheNetworkSentence) {
    TempFolder folder;
    const std::string closed = testing::testServerUrl("ORVA_TEST_CLOSED_URL");
    const RecordingReporter run = runDownload(closed, folder.path());
    EXPECT_EQ(run.texts(ReportKind::kStatus), std::vector<std::wstring>{kFinding});
    ASSERT_TRUE(run.final().has_value());
    EXPECT_EQ(run.final()->kind, ReportKind::kFailed);
    EXPECT_EQ(wideToUtf8(run.final()->text),
              describeWinHttpError(ERROR_WINHTTP_CANNOT_CONNECT, L"127.0.0.1") + ".");
}

TEST(DownloadScenario, ClosingTheWindowDuringTheDownloadStopsSilently) {
    TempFolder folder;
    const RecordingReporter run = runDownload(serviceUrl("slow", 1024 * 1024), folder.path(),
                                              [](RecordingReporter& reporter, const Report& r) {
                                                  if (r.kind == ReportKind::kProgress)
                                                      reporter.stop = true;
                                              });
    EXPECT_FALSE(run.final().has_value()) << "a run given up on reports no end";
    EXPECT_FALSE(run.texts(ReportKind::kProgress).empty());
    EXPECT_TRUE(fs::is_empty(privateFolderIn(folder.path()))) << "the partial file is deleted";
}

TEST(DownloadScenario, AFullDiskIsReportedAndCleanedUp) {
    const char* tiny = std::getenv("ORVA_TEST_TINY_FOLDER");
    if (tiny == nullptr) {
        GTEST_SKIP() << "needs the 1 MiB file system that with-test-server.sh mounts as root";
    }
    const fs::path folder = fs::path(tiny) / "full-disk";
    fs::create_directories(folder);
    const RecordingReporter run = runDownload(serviceUrl("good"), folder);
    ASSERT_TRUE(run.final().has_value());
    EXPECT_EQ(run.final()->kind, ReportKind::kFailed);
    EXPECT_EQ(run.final()->text, L"The download could not be written: is the disk full?");
    EXPECT_FALSE(run.texts(ReportKind::kProgress).empty()) << "the disk filled part of the way";
    EXPECT_TRUE(fs::is_empty(privateFolderIn(folder)));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace orva

// Whole runs of download() against the local update service
// (tests/server/http_test_server.py, /update/...), each in a temporary folder
// of its own, with what it reports kept by a recording reporter. The service
// signs its lists with the TEST-ONLY key, which this executable has built in.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h must come first.
#include <winhttp.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "download/download.h"
#include "http/network_errors.h"
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

// Runs download() against |url| with |folder| as the temporary folder;
// |onReport| sees each report as it is made and may ask the run to stop.
RecordingReporter runDownload(
    const std::string& url, const fs::path& folder,
    const std::function<void(RecordingReporter&, const Report&)>& onReport = {}) {
    SetEnvironmentVariableW(L"ORVA_UPDATE_URL", utf8ToWide(url).c_str());
    SetEnvironmentVariableW(L"TMP", folder.wstring().c_str());
    RecordingReporter reporter;
    if (onReport) {
        reporter.onReport = [&](const Report& report) { onReport(reporter, report); };
    }
    download(reporter);
    reporter.onReport = nullptr;
    return reporter;
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

TEST(DownloadScenario, DroppedConnectionFailsAndLeavesNothing) {
    TempFolder folder;
    const RecordingReporter run = runDownload(serviceUrl("drop"), folder.path());
    ASSERT_TRUE(run.final().has_value());
    EXPECT_EQ(run.final()->kind, ReportKind::kFailed);
    // Windows reports the broken connection; Wine ends the body cleanly, so
    // the short file fails the check instead. Either way nothing is kept.
    EXPECT_TRUE(run.final()->text == kNotAsPublished ||
                run.final()->text.find(L"127.0.0.1") != std::wstring::npos)
        << wideToUtf8(run.final()->text);
    EXPECT_TRUE(fs::is_empty(privateFolderIn(folder.path())));
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

#include "download/download.h"

#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/ui_messages.h"
#include "common/text.h"
#include "download/installer_file.h"
#include "download/release_list.h"
#include "download/service_error.h"
#include "download/update_endpoint.h"
#include "http/http_client.h"

namespace orva {
namespace {

// Only error answers of the download are kept in memory.
constexpr std::uint64_t kMaxDownloadErrorBytes = 65'536;

void fail(const std::wstring& reason) {
    postUiMessage(kMsgFailed, reason);
}

// The HTTP client's sentences have no final full stop.
std::wstring networkReason(const HttpResponse& response) {
    return utf8ToWide(response.error) + L".";
}

}  // namespace

void download() {
    postUiMessage(kMsgStatus, L"Finding the newest version of Orva...");

    HttpRequest listRequest;
    listRequest.url = updateUrl("/list");
    listRequest.sendTimeoutMs = 15000;
    listRequest.receiveTimeoutMs = 15000;
    const HttpResponse list = performHttpRequest(listRequest, kMaxReleaseListBytes, {}, {});
    if (g_cancelRequested.load()) {
        return;
    }
    if (!list.ok) {
        return fail(networkReason(list));
    }
    if (list.status != 200) {
        return fail(serviceErrorMessage(list, "give the list of versions"));
    }

    std::vector<ReleaseInfo> releases;
    std::string parseError;  // not shown: the service's answer is what failed
    if (!parseReleaseList(list.body, releases, parseError)) {
        return fail(utf8ToWide(kServiceHost) +
                    L" answered with something that is not a list of versions.");
    }
    const std::optional<std::size_t> newest = pickNewestRelease(releases);
    if (!newest) {
        return fail(utf8ToWide(kServiceHost) +
                    L" lists no version of Orva signed by its maker. Write to " +
                    utf8ToWide(kSupportEmail) + L".");
    }
    const ReleaseInfo release = releases[*newest];
    const std::wstring wideVersion = utf8ToWide(release.version);

    std::wstring folder;
    if (!temporaryFolder(folder)) {
        return fail(L"Windows did not say where its temporary folder is.");
    }
    const std::wstring installerPath = installerPathFor(folder, release);
    if (isVerifiedCopy(installerPath, release)) {
        return postUiMessage(kMsgInstallerReady, installerPath);
    }

    postUiMessage(kMsgStatus, L"Downloading Orva " + wideVersion + L" (" +
                                  formatMegabytes(release.size) + L")");
    const std::wstring partPath = installerPath + L".part";
    OutputFile file;
    if (!file.open(partPath)) {
        return fail(L"The download could not be written to " + partPath + L".");
    }

    HttpRequest setupRequest;
    setupRequest.url = updateUrl("/setup?version=" + release.version);
    setupRequest.receiveTimeoutMs = 60000;
    DownloadState state;
    const HttpResponse setup = performHttpRequest(setupRequest, kMaxDownloadErrorBytes,
                                                  makeDownloadCallback(state, release, file), {});
    file.close();

    if (g_cancelRequested.load()) {
        DeleteFileW(partPath.c_str());
        return;
    }
    if (state.writeFailed) {
        DeleteFileW(partPath.c_str());
        return fail(L"The download could not be written: is the disk full?");
    }
    if (!state.tooLarge) {
        if (!setup.ok) {
            DeleteFileW(partPath.c_str());
            return fail(networkReason(setup));
        }
        if (setup.status != 200) {
            DeleteFileW(partPath.c_str());
            return fail(serviceErrorMessage(setup, "give the download"));
        }
    }

    postUiMessage(kMsgStatus, L"Checking the download...");
    if (!isGoodDownload(state, release, partPath)) {
        DeleteFileW(partPath.c_str());
        return fail(L"What was downloaded is not Orva " + wideVersion +
                    L" as it was published (its size or checksum differs), so it was thrown "
                    L"away. Try again; if it happens twice, write to " +
                    utf8ToWide(kSupportEmail) + L".");
    }
    if (!putInPlace(partPath, installerPath)) {
        return fail(L"The download could not be put in " + folder + L".");
    }
    postUiMessage(kMsgInstallerReady, installerPath);
}

}  // namespace orva

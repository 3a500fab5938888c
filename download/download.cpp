#include "download/download.h"

#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "download/installer_file.h"
#include "download/release_list.h"
#include "download/run_messages.h"
#include "download/service_error.h"
#include "download/update_endpoint.h"
#include "http/http_client.h"

namespace orva {
namespace {

// Only error answers of the download are kept in memory.
constexpr std::uint64_t kMaxDownloadErrorBytes = 65'536;

}  // namespace

void download(RunReporter& reporter) {
    reporter.status(kFindingStatus);

    HttpRequest listRequest;
    listRequest.url = updateUrl("/list");
    listRequest.sendTimeoutMs = 15000;
    listRequest.receiveTimeoutMs = 15000;
    const HttpResponse list = performHttpRequest(listRequest, kMaxReleaseListBytes, {}, {});
    if (reporter.stopRequested()) {
        return;
    }
    if (!list.ok) {
        return reporter.failed(networkReason(list));
    }
    if (list.status != 200) {
        return reporter.failed(serviceErrorMessage(list, "give the list of versions"));
    }

    std::vector<ReleaseInfo> releases;
    std::string parseError;  // not shown: the service's answer is what failed
    if (!parseReleaseList(list.body, releases, parseError)) {
        return reporter.failed(notAListReason());
    }
    const std::optional<std::size_t> newest = pickNewestRelease(releases);
    if (!newest) {
        return reporter.failed(nothingSignedReason());
    }
    const ReleaseInfo release = releases[*newest];

    std::wstring folder;
    if (!temporaryFolder(folder)) {
        return reporter.failed(kNoTemporaryFolderReason);
    }
    const std::wstring installerPath = installerPathFor(folder, release);
    if (isVerifiedCopy(installerPath, release)) {
        return reporter.installerReady(installerPath);
    }

    reporter.status(downloadingStatus(release));
    // Deleted again on every way out below, unless put in place at the end.
    const std::wstring partPath = joinText({installerPath, L".part"});
    PartialFile file;
    if (!file.open(partPath)) {
        return reporter.failed(cannotCreateReason(partPath));
    }

    HttpRequest setupRequest;
    setupRequest.url = updateUrl("/setup?version=" + release.version);
    setupRequest.receiveTimeoutMs = 60000;
    DownloadState state;
    const HttpResponse setup =
        performHttpRequest(setupRequest, kMaxDownloadErrorBytes,
                           makeDownloadCallback(state, release, file, reporter), {});
    file.close();

    if (reporter.stopRequested()) {
        return;
    }
    if (state.writeFailed) {
        return reporter.failed(kDiskFullReason);
    }
    if (!state.tooLarge) {
        if (!setup.ok) {
            return reporter.failed(networkReason(setup));
        }
        if (setup.status != 200) {
            return reporter.failed(serviceErrorMessage(setup, "give the download"));
        }
    }

    reporter.status(kCheckingStatus);
    if (!isGoodDownload(state, release, file.path())) {
        return reporter.failed(notAsPublishedReason(release));
    }
    if (!file.putInPlace(installerPath)) {
        return reporter.failed(cannotPutInPlaceReason(folder));
    }
    reporter.installerReady(installerPath);
}

}  // namespace orva

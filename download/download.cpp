#include "download/download.h"

#include <optional>
#include <string>
#include <utility>
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

    std::wstring temp;
    if (!temporaryFolder(temp)) {
        return reporter.failed(kNoTemporaryFolderReason);
    }
    std::wstring folder;
    if (!privateFolder(temp, folder)) {
        return reporter.failed(cannotCreateReason(folder));
    }
    const std::wstring installerPath = installerPathFor(folder, release);
    if (FileHandle copy = openVerifiedCopy(installerPath, release)) {
        return reporter.installerReady(installerPath, std::move(copy));
    }

    reporter.status(downloadingStatus(release));
    // Deleted again on every way out below, unless put in place at the end.
    PartialFile file;
    if (!file.create(installerPath)) {
        return reporter.failed(cannotCreateReason(file.path()));
    }
    // The disk is written while the network is read. Without a thread of its
    // own the file is written here instead, only slower.
    file.writeBehind();

    HttpRequest setupRequest;
    setupRequest.url = updateUrl("/setup?version=" + release.version);
    setupRequest.receiveTimeoutMs = 60000;
    DownloadState state;
    const HttpResponse setup =
        performHttpRequest(setupRequest, kMaxDownloadErrorBytes,
                           makeDownloadCallback(state, release, file, reporter), {});

    if (reporter.stopRequested()) {
        return;
    }
    // A write behind the transfer may have failed after its last chunk.
    if (state.writeFailed || !file.finishWriting()) {
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
    if (!isGoodDownload(state, release, file)) {
        return reporter.failed(notAsPublishedReason(release));
    }
    if (!file.putInPlace(installerPath)) {
        return reporter.failed(cannotPutInPlaceReason(folder));
    }
    // The handle held until the installer has been started, on the very file
    // that was written and hashed: it is not read again.
    FileHandle held = file.holdPlaced(installerPath);
    if (!held) {
        return reporter.failed(notAsPublishedReason(release));
    }
    reporter.installerReady(installerPath, std::move(held));
}

}  // namespace orva

#include "download/download.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "download/installer_file.h"
#include "download/partial_file.h"
#include "download/private_folder.h"
#include "download/release_list.h"
#include "download/run_messages.h"
#include "download/service_error.h"
#include "download/transfer.h"
#include "download/update_endpoint.h"
#include "download/verified_copy.h"
#include "http/http_client.h"

namespace orva {
namespace {

// The process's own partial file between runs; touched only by the run on
// the worker thread, and after the last run has ended.
KeptDownload g_kept;

// Asks the service for its list and picks the newest release signed by the
// maker; nothing (the failure reported) when there is none to be had.
std::optional<ReleaseInfo> findNewestRelease(RunReporter& reporter) {
    HttpRequest listRequest;
    listRequest.url = updateUrl("/list");
    listRequest.sendTimeoutMs = 15000;
    listRequest.receiveTimeoutMs = 15000;
    const HttpResponse list = performHttpRequest(listRequest, kMaxReleaseListBytes);
    if (reporter.stopRequested()) {
        return std::nullopt;
    }
    if (!list.ok) {
        reporter.failed(networkReason(list));
        return std::nullopt;
    }
    if (list.status != 200) {
        reporter.failed(serviceErrorMessage(list, "give the list of versions"));
        return std::nullopt;
    }
    std::vector<ReleaseInfo> releases;
    std::string parseError;  // not shown: the service's answer is what failed
    if (!parseReleaseList(list.body, releases, parseError)) {
        reporter.failed(notAListReason());
        return std::nullopt;
    }
    const std::optional<std::size_t> newest = pickNewestRelease(releases);
    if (!newest) {
        reporter.failed(nothingSignedReason());
        return std::nullopt;
    }
    return releases[*newest];
}

// Where a run keeps the installer.
struct InstallerPlace {
    std::wstring temp;    // the temporary folder
    std::wstring folder;  // the private folder in it
    std::wstring installer;
};

// The temporary folder and the private folder for |release|'s installer;
// false (the failure reported) when there are none to be had.
bool findInstallerPlace(const ReleaseInfo& release, RunReporter& reporter, InstallerPlace& place) {
    if (!temporaryFolder(place.temp)) {
        reporter.failed(kNoTemporaryFolderReason);
        return false;
    }
    if (!pathsFitIn(place.temp, release)) {
        reporter.failed(temporaryFolderTooLongReason(place.temp));
        return false;
    }
    if (!privateFolder(place.temp, place.folder)) {
        reporter.failed(cannotCreateReason(place.folder));
        return false;
    }
    place.installer = installerPathFor(place.folder, release);
    return true;
}

// The partial file to write: the part an earlier run left, if it is of this
// very release (|from| is then the bytes that count, read back into the
// digest: what counts is what is on the disk), or a new one. Anything else
// an earlier run left is deleted here. Null when no file can be created;
// |path| is then the name that was tried.
std::unique_ptr<PartialFile> takeOrCreatePart(KeptDownload& kept, const ReleaseInfo& release,
                                              const std::wstring& installerPath,
                                              std::uint64_t& from, std::wstring& path) {
    std::unique_ptr<PartialFile> file;
    from = 0;
    if (kept.isFor(release, installerPath)) {
        file = std::move(kept.file);
        from = kept.bytes;
        if (!file->resumeAt(from)) {
            from = 0;
            if (!file->restart()) {
                file.reset();
            }
        }
    }
    kept.discard();
    if (!file) {
        // Deleted again on every way out, unless put in place or kept.
        file = std::make_unique<PartialFile>();
        if (!file->create(installerPath)) {
            path = file->path();
            file.reset();
        }
    }
    return file;
}

// Checks the finished file against |release|, gives it the installer's name
// and holds it for the launch, then tidies the private folders.
void checkAndPlace(const ReleaseInfo& release, const InstallerPlace& place, PartialFile& file,
                   const DownloadState& state, RunReporter& reporter) {
    reporter.status(kCheckingStatus);
    if (!isGoodDownload(state, release, file)) {
        return reporter.failed(notAsPublishedReason(release));
    }
    // Renamed and held through the handle the file was written and hashed
    // through: it is not read again, and the handle is held until the
    // installer has been started.
    PlacedInstaller placed = file.putInPlace(place.installer);
    if (!placed.renamed) {
        return reporter.failed(cannotPutInPlaceReason(place.folder));
    }
    if (!placed.held) {
        return reporter.failed(cannotHoldReason(placed.error, place.installer));
    }
    tidyPrivateFolders(place.temp, place.folder, place.installer);
    reporter.installerReady(place.installer, std::move(placed.held));
}

}  // namespace

bool KeptDownload::isFor(const ReleaseInfo& other, const std::wstring& path) const {
    return file && release.version == other.version && release.size == other.size &&
           release.sha256 == other.sha256 && installerPath == path;
}

void KeptDownload::discard() {
    file.reset();  // deletes it
    *this = KeptDownload{};
}

void download(RunReporter& reporter) {
    download(reporter, g_kept);
}

void discardKeptDownload() {
    g_kept.discard();
}

void download(RunReporter& reporter, KeptDownload& kept) {
    reporter.status(kFindingStatus);
    const std::optional<ReleaseInfo> found = findNewestRelease(reporter);
    if (!found) {
        return;
    }
    const ReleaseInfo& release = *found;
    InstallerPlace place;
    if (!findInstallerPlace(release, reporter, place)) {
        return;
    }
    if (FileHandle copy = openVerifiedCopy(place.installer, release)) {
        kept.discard();
        tidyPrivateFolders(place.temp, place.folder, place.installer);
        return reporter.installerReady(place.installer, std::move(copy));
    }

    reporter.status(downloadingStatus(release));
    std::uint64_t from = 0;
    std::wstring triedPath;
    std::unique_ptr<PartialFile> file =
        takeOrCreatePart(kept, release, place.installer, from, triedPath);
    if (!file) {
        return reporter.failed(cannotCreateReason(triedPath));
    }

    const TransferResult transfer = transferInstaller(release, *file, from, reporter);
    switch (transfer.end) {
        case TransferEnd::kStopped:
            return;
        case TransferEnd::kDiskFull:
            return reporter.failed(kDiskFullReason);
        case TransferEnd::kBrokenOff:
        case TransferEnd::kRefused:
            // What the file holds is the start of the installer, kept for "Try
            // Again".
            if (transfer.state.receivedBytes > 0 && transfer.state.receivedBytes < release.size) {
                kept.release = release;
                kept.installerPath = place.installer;
                kept.bytes = transfer.state.receivedBytes;
                kept.file = std::move(file);
            }
            return reporter.failed(
                transfer.end == TransferEnd::kBrokenOff
                    ? networkReason(transfer.response)
                    : serviceErrorMessage(transfer.response, "give the download"));
        case TransferEnd::kTooLarge:
        case TransferEnd::kUnaskedPart:
            // Not the installer: the check below says so.
        case TransferEnd::kComplete:
            break;
    }
    checkAndPlace(release, place, *file, transfer.state, reporter);
}

}  // namespace orva

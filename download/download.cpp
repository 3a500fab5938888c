#include "download/download.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "download/installer_file.h"
#include "download/private_folder.h"
#include "download/release_list.h"
#include "download/run_messages.h"
#include "download/service_error.h"
#include "download/update_endpoint.h"
#include "http/http_client.h"

namespace orva {
namespace {

// Only error answers of the download are kept in memory.
constexpr std::uint64_t kMaxDownloadErrorBytes = 65'536;

// The process's own partial file between runs; touched only by the run on
// the worker thread, and after the last run has ended.
KeptDownload g_kept;

// One request for the installer, written to |file| from byte |from| on (0: the
// whole file; otherwise the rest, asked for with a Range header). The answer
// decides where the bytes go: a 206 for exactly the rest continues after
// |from|; a 200 empties the file and starts from byte 0; a 206 for anything
// else, or a 416 (the range cannot be given), is not read (state.refusedRange).
HttpResponse requestInstaller(const ReleaseInfo& release, PartialFile& file, std::uint64_t from,
                              DownloadState& state, RunReporter& reporter) {
    HttpRequest request;
    request.url = updateUrl("/setup?version=" + release.version);
    request.receiveTimeoutMs = 60000;
    if (from > 0) {
        request.headers.push_back("Range: bytes=" + std::to_string(from) + "-");
    }
    state = DownloadState{};
    state.receivedBytes = from;  // what counts, until the answer says otherwise

    const auto onHead = [&](const HttpResponse& head) {
        if (head.status == 416 && from > 0) {
            // The service cannot give that range (its copy is shorter than
            // the part?): asking again for it would never succeed.
            state.refusedRange = true;
            return false;
        }
        if (head.status == 206) {
            if (from == 0) {
                return false;  // a part nobody asked for: the status is reported
            }
            if (!isRangeOfTheRest(head.contentRange, from, release.size)) {
                state.refusedRange = true;
                return false;
            }
            reportProgress(state, release, reporter);  // the bar starts where the file ends
            return true;
        }
        if (head.status == 200 && from > 0) {
            // The whole installer after all: what is on the disk goes.
            state.receivedBytes = 0;
            if (!file.restart()) {
                state.writeFailed = true;
                return false;
            }
            file.writeBehind();
        }
        return true;
    };
    return performHttpRequest(request, kMaxDownloadErrorBytes,
                              makeDownloadCallback(state, release, file, reporter), {}, onHead);
}

}  // namespace

bool KeptDownload::isFor(const ReleaseInfo& release, const std::wstring& path) const {
    return file && version == release.version && size == release.size && sha256 == release.sha256 &&
           installerPath == path;
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
    if (!pathsFitIn(temp, release)) {
        return reporter.failed(temporaryFolderTooLongReason(temp));
    }
    std::wstring folder;
    if (!privateFolder(temp, folder)) {
        return reporter.failed(cannotCreateReason(folder));
    }
    const std::wstring installerPath = installerPathFor(folder, release);
    if (FileHandle copy = openVerifiedCopy(installerPath, release)) {
        kept.discard();
        tidyPrivateFolders(temp, folder, installerPath);
        return reporter.installerReady(installerPath, std::move(copy));
    }

    reporter.status(downloadingStatus(release));
    // The part an earlier run left, if it is of this very release; anything
    // else it left is deleted here. The part is read back into the digest:
    // what counts is what is on the disk.
    std::unique_ptr<PartialFile> file;
    std::uint64_t from = 0;
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
        // Deleted again on every way out below, unless put in place or kept.
        file = std::make_unique<PartialFile>();
        if (!file->create(installerPath)) {
            return reporter.failed(cannotCreateReason(file->path()));
        }
    }

    DownloadState state;
    HttpResponse setup;
    for (;;) {
        // The disk is written while the network is read. Without a thread of
        // its own the file is written here instead, only slower.
        file->writeBehind();
        setup = requestInstaller(release, *file, from, state, reporter);
        if (!state.refusedRange || reporter.stopRequested()) {
            break;
        }
        // Not the rest that was asked for: the whole installer instead.
        from = 0;
        if (!file->restart()) {
            return reporter.failed(kDiskFullReason);
        }
    }

    if (reporter.stopRequested()) {
        return;
    }
    // A write behind the transfer may have failed after its last chunk.
    if (state.writeFailed || !file->finishWriting()) {
        return reporter.failed(kDiskFullReason);
    }
    if (!state.tooLarge) {
        const bool transferred = setup.ok && (setup.status == 200 || setup.status == 206);
        if (!transferred) {
            // Broken off part of the way, or nothing given this time: what the
            // file holds is the start of the installer, kept for "Try Again".
            if (state.receivedBytes > 0 && state.receivedBytes < release.size) {
                kept.version = release.version;
                kept.size = release.size;
                kept.sha256 = release.sha256;
                kept.installerPath = installerPath;
                kept.bytes = state.receivedBytes;
                kept.file = std::move(file);
            }
            if (!setup.ok) {
                return reporter.failed(networkReason(setup));
            }
            return reporter.failed(serviceErrorMessage(setup, "give the download"));
        }
    }

    reporter.status(kCheckingStatus);
    if (!isGoodDownload(state, release, *file)) {
        return reporter.failed(notAsPublishedReason(release));
    }
    // Renamed and held through the handle the file was written and hashed
    // through: it is not read again, and the handle is held until the
    // installer has been started.
    PlacedInstaller placed = file->putInPlace(installerPath);
    if (!placed.renamed) {
        return reporter.failed(cannotPutInPlaceReason(folder));
    }
    if (!placed.held) {
        return reporter.failed(cannotHoldReason(placed.error, installerPath));
    }
    FileHandle held = std::move(placed.held);
    tidyPrivateFolders(temp, folder, installerPath);
    reporter.installerReady(installerPath, std::move(held));
}

}  // namespace orva

#pragma once

// The transfer of the installer into its partial file: what it has done so
// far, the data callback that writes each chunk and reports progress, the
// rule for a resumed answer's Content-Range, and the check of what arrived.
// Windows only.

#include <cstdint>
#include <string_view>

#include "common/release_info.h"
#include "download/partial_file.h"
#include "download/run_reporter.h"
#include "http/http_client.h"

namespace orva {

// What a download has done so far, shared by download() and its data callback
// and reset before each download.
struct DownloadState {
    std::uint64_t receivedBytes = 0;  // bytes of the file that count, a resumed part included
    bool writeFailed = false;         // a write to the partial file failed
    bool tooLarge = false;            // a chunk would have gone past the release's size
    bool refusedRange = false;        // a 206 answer for another range than the one asked for
    bool unaskedPart = false;         // a 206 answer to a request for the whole installer
    bool errorAnswer = false;         // another status than 200 or 206: its body was collected
    std::int32_t lastPermille = -1;   // progress last posted, -1 before the first
};

// Posts progress for state.receivedBytes of the release, unless the
// thousandths value is the one last posted.
void reportProgress(DownloadState& state, const ReleaseInfo& release, RunReporter& reporter);

// True when |contentRange|, the Content-Range header of a 206 answer, says
// exactly "bytes <from>-<size - 1>/<size>": the rest of the release from
// byte |from| on. The unit may be in any case and the numbers may have
// leading zeros; nothing else may differ (no "*" size, no other end).
bool isRangeOfTheRest(std::string_view contentRange, std::uint64_t from, std::uint64_t size);

// The callback that writes each chunk of the installer to |file|: it stops the
// transfer when |reporter| says the run is to stop, when a chunk would take
// the file past the release's size (nothing of that chunk is written), or
// when a write fails; and it reports progress whenever the thousandths value
// changes, so at most 1001 times. It holds references only.
HttpDataCallback makeDownloadCallback(DownloadState& state, const ReleaseInfo& release,
                                      PartialFile& file, RunReporter& reporter);

// True when the partial file holds exactly the release: not too large, |size|
// bytes received, and the SHA-256 of what was written equal to the release's
// sha256 byte for byte. Nothing is read back.
bool isGoodDownload(const DownloadState& state, const ReleaseInfo& release, PartialFile& file);

// How a transfer of the installer ended.
enum class TransferEnd {
    kComplete,     // an answer with the installer ended, every byte written
    kBrokenOff,    // the exchange failed before or during the body (a dropped connection,
                   // a time-out, no service)
    kRefused,      // the service answered with another status than 200 or 206
    kUnaskedPart,  // a part (206) although the whole installer was asked for; not read
    kDiskFull,     // a write to the partial file failed
    kTooLarge,     // the answer would have taken the file past the signed size
    kStopped,      // the run was asked to stop
};

// What a transfer came to: how it ended, what it did (DownloadState), and the
// last answer, whose status and error texts word kBrokenOff and kRefused.
struct TransferResult {
    TransferEnd end = TransferEnd::kComplete;
    DownloadState state;
    HttpResponse response;
};

// Transfers the installer of |release| ("/setup?version=...") into |file|,
// from byte |from| on: 0 asks for all of it; otherwise the rest is asked for
// with "Range: bytes=<from>-", and only a 206 answer for exactly the rest
// (isRangeOfTheRest) continues after |from|. A 200 answer empties the file
// and starts from byte 0 in the same exchange; a 206 for another range, or a
// 416, is not read and the whole installer is asked for again. The file is
// written behind the transfer, and progress is reported as it goes (from
// |from| on, as soon as a 206 is accepted).
TransferResult transferInstaller(const ReleaseInfo& release, PartialFile& file, std::uint64_t from,
                                 RunReporter& reporter);

}  // namespace orva

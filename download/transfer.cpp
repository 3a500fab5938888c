#include "download/transfer.h"

#include <limits>
#include <string>

#include "download/run_messages.h"
#include "download/update_endpoint.h"

namespace orva {
namespace {

// Only error answers of the download are kept in memory.
constexpr std::uint64_t kMaxDownloadErrorBytes = 65'536;

// One request for the installer, written to |file| from byte |from| on; the
// head of the answer decides where its bytes go (see transferInstaller).
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
            return HeadAnswer::kStop;
        }
        if (head.status == 206) {
            if (from == 0) {
                state.unaskedPart = true;
                return HeadAnswer::kStop;
            }
            if (!isRangeOfTheRest(head.contentRange, from, release.size)) {
                state.refusedRange = true;
                return HeadAnswer::kStop;
            }
            reportProgress(state, release, reporter);  // the bar starts where the file ends
            return HeadAnswer::kStream;
        }
        if (head.status != 200) {
            state.errorAnswer = true;
            return HeadAnswer::kCollect;  // its text may say why
        }
        if (from > 0) {
            // The whole installer after all: what is on the disk goes.
            state.receivedBytes = 0;
            if (!file.restart()) {
                state.writeFailed = true;
                return HeadAnswer::kStop;
            }
        }
        return HeadAnswer::kStream;
    };
    return performHttpRequest(request, kMaxDownloadErrorBytes,
                              {onHead, makeDownloadCallback(state, release, file, reporter), {}});
}

// How the transfer that left |result| ended; the checks in this order.
TransferEnd endOf(const TransferResult& result, PartialFile& file, RunReporter& reporter) {
    if (reporter.stopRequested()) {
        return TransferEnd::kStopped;
    }
    // A write behind the transfer may have failed after its last chunk.
    if (result.state.writeFailed || !file.finishWriting()) {
        return TransferEnd::kDiskFull;
    }
    if (result.state.tooLarge) {
        return TransferEnd::kTooLarge;
    }
    if (result.state.unaskedPart) {
        return TransferEnd::kUnaskedPart;
    }
    if (!result.response.ok) {
        return TransferEnd::kBrokenOff;
    }
    if (result.state.errorAnswer) {
        return TransferEnd::kRefused;
    }
    return TransferEnd::kComplete;
}

}  // namespace

void reportProgress(DownloadState& state, const ReleaseInfo& release, RunReporter& reporter) {
    // size >= receivedBytes here, and size <= 4,000,000,000 keeps the product
    // far inside 64 bits.
    const auto permille = static_cast<std::int32_t>(state.receivedBytes * 1000 / release.size);
    if (permille != state.lastPermille) {
        state.lastPermille = permille;
        reporter.progress(static_cast<std::uint32_t>(permille),
                          progressDetail(state.receivedBytes, release.size));
    }
}

namespace {

// Reads a decimal number at |text|[i...], leading zeros allowed, up to the
// first character that is not a digit; false when there is no digit or the
// value does not fit in 64 bits.
bool readNumber(std::string_view text, std::size_t& i, std::uint64_t& value) {
    const std::size_t first = i;
    value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return i > first;
}

}  // namespace

bool isRangeOfTheRest(std::string_view contentRange, std::uint64_t from, std::uint64_t size) {
    constexpr std::string_view kUnit = "bytes ";
    if (size == 0 || from >= size || contentRange.size() < kUnit.size()) {
        return false;
    }
    for (std::size_t k = 0; k < kUnit.size(); ++k) {
        const char c = contentRange[k];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kUnit[k]) {
            return false;
        }
    }
    std::size_t i = kUnit.size();
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    if (!readNumber(contentRange, i, first) || i >= contentRange.size() ||
        contentRange[i++] != '-' || !readNumber(contentRange, i, last) ||
        i >= contentRange.size() || contentRange[i++] != '/' ||
        !readNumber(contentRange, i, total) || i != contentRange.size()) {
        return false;
    }
    return first == from && last == size - 1 && total == size;
}

HttpDataCallback makeDownloadCallback(DownloadState& state, const ReleaseInfo& release,
                                      PartialFile& file, RunReporter& reporter) {
    return [&state, &release, &file, &reporter](const std::uint8_t* data, std::uint64_t length,
                                                std::uint64_t /*contentLength*/) {
        if (reporter.stopRequested()) {
            return false;
        }
        if (length == 0) {
            return true;  // nothing to write or count
        }
        if (state.receivedBytes + length > release.size) {
            state.tooLarge = true;
            return false;
        }
        if (!file.write(data, length)) {
            state.writeFailed = true;
            return false;
        }
        state.receivedBytes += length;
        reportProgress(state, release, reporter);
        return true;
    };
}

bool isGoodDownload(const DownloadState& state, const ReleaseInfo& release, PartialFile& file) {
    return !state.tooLarge && state.receivedBytes == release.size &&
           file.sha256Hex() == release.sha256;
}

TransferResult transferInstaller(const ReleaseInfo& release, PartialFile& file, std::uint64_t from,
                                 RunReporter& reporter) {
    // The disk is written while the network is read. Without a thread of its
    // own the file is written here instead, only slower.
    file.writeBehind();
    TransferResult result;
    for (;;) {
        result.response = requestInstaller(release, file, from, result.state, reporter);
        if (!result.state.refusedRange || reporter.stopRequested()) {
            break;
        }
        // Not the rest that was asked for: the whole installer instead.
        from = 0;
        if (!file.restart()) {
            result.end = TransferEnd::kDiskFull;
            return result;
        }
    }
    result.end = endOf(result, file, reporter);
    return result;
}

}  // namespace orva

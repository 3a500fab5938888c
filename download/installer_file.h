#pragma once

// The installer in the user's temporary folder: its names, the reuse of a
// verified copy, the partial file a download is written to, the data callback
// that writes it and reports progress, the check of the finished file and
// putting it in place. Nothing here posts a failure; download() words them.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/release_info.h"
#include "http/http_client.h"

namespace orva {

// The temporary folder as GetTempPathW gives it (normally ending in a
// backslash). False when Windows gives none, or one longer than 260 units.
bool temporaryFolder(std::wstring& folder);

// |folder| + '\' + |name|, without doubling a separator already at the end of
// |folder|; either part alone when the other is empty.
std::wstring joinPath(const std::wstring& folder, const std::wstring& name);

// "Orva-Setup-<version>.exe" in |folder|.
std::wstring installerPathFor(const std::wstring& folder, const ReleaseInfo& release);

// |bytes| in units of 1,048,576 with one decimal, e.g. "181.3 MB"; the decimal
// separator is a point whatever the user's locale.
std::wstring formatMegabytes(std::uint64_t bytes);

// The file's SHA-256 as 64 lowercase hexadecimal digits, hashed in pieces so
// that memory stays small whatever the file's size. Empty text when the file
// cannot be opened or read, or is empty (so an empty file never matches).
std::string fileSha256Hex(const std::wstring& path);

// True when a file (not a folder) at |path| has the release's size and its
// SHA-256, so that it can be used again without a download. Deletes nothing.
bool isVerifiedCopy(const std::wstring& path, const ReleaseInfo& release);

// The file a download is written to: created or truncated, shared with other
// processes (they may read, write or delete it), written without a buffer of
// its own. Once a write fails it stays failed. Closed when the owner ends.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False when the file cannot be created (for example a folder bears its name).
    bool open(const std::wstring& path);
    // Writes all |length| bytes; false (and failed() from then on) otherwise.
    bool write(const void* data, std::uint64_t length);
    bool failed() const { return failed_; }
    void close();

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool failed_ = false;
};

// What a download has done so far, shared by download() and its data callback
// and reset before each download.
struct DownloadState {
    std::uint64_t receivedBytes = 0;  // bytes accepted and written
    bool writeFailed = false;         // a write to the partial file failed
    bool tooLarge = false;            // a chunk would have gone past the release's size
    std::int32_t lastPermille = -1;   // progress last posted, -1 before the first
};

// The callback that writes each chunk of the installer to |file|: it stops the
// transfer when the window has been closed, when a chunk would take the file
// past the release's size (nothing of that chunk is written), or when a write
// fails; and it posts kMsgProgress whenever the thousandths value changes, so
// at most 1001 times. It holds references only.
HttpDataCallback makeDownloadCallback(DownloadState& state, const ReleaseInfo& release,
                                      OutputFile& file);

// True when the closed partial file holds exactly the release: not too large,
// |size| bytes received, and its SHA-256 (computed only when the sizes agree)
// equal to the release's sha256 byte for byte.
bool isGoodDownload(const DownloadState& state, const ReleaseInfo& release,
                    const std::wstring& partPath);

// Gives the checked file its final name: an older copy at |installerPath|
// gives way first. False when the rename fails; the partial file is then
// deleted.
bool putInPlace(const std::wstring& partPath, const std::wstring& installerPath);

}  // namespace orva

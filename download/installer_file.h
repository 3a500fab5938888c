#pragma once

// The installer in the user's temporary folder: its names, the reuse of a
// verified copy, the partial file a download is written to, the data callback
// that writes it and reports progress, the check of the finished file and
// putting it in place. Nothing here reports a failure; download() words them.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/release_info.h"
#include "common/win32_handles.h"
#include "download/run_reporter.h"
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

// The partial file a download is written to, deleted again unless the run
// puts it in place: every way out of a run that fails or is stopped leaves
// nothing behind without saying so. Created or truncated when opened, shared
// with other processes (they may read, write or delete it), written without a
// buffer of its own; once a write fails it stays failed.
class PartialFile {
  public:
    PartialFile() = default;
    // Closes the file and deletes it, unless putInPlace has given it its name.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // False when the file cannot be created (for example a folder bears its name).
    bool open(const std::wstring& path);
    // Writes all |length| bytes; false (and failed() from then on) otherwise.
    bool write(const void* data, std::uint64_t length);
    bool failed() const { return failed_; }
    // Ends the writing; the file stays until the owner ends or puts it in place.
    void close();
    const std::wstring& path() const { return path_; }

    // Gives the closed, checked file the name |installerPath|: an older copy
    // there gives way first. True once renamed: the owner then leaves the file
    // alone. False when the rename fails; the file is deleted when the owner ends.
    bool putInPlace(const std::wstring& installerPath);

  private:
    FileHandle handle_;
    std::wstring path_;  // empty when there is no file to clean up
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
// transfer when |reporter| says the run is to stop, when a chunk would take
// the file past the release's size (nothing of that chunk is written), or
// when a write fails; and it reports progress whenever the thousandths value
// changes, so at most 1001 times. It holds references only.
HttpDataCallback makeDownloadCallback(DownloadState& state, const ReleaseInfo& release,
                                      PartialFile& file, RunReporter& reporter);

// True when the closed partial file holds exactly the release: not too large,
// |size| bytes received, and its SHA-256 (computed only when the sizes agree)
// equal to the release's sha256 byte for byte.
bool isGoodDownload(const DownloadState& state, const ReleaseInfo& release,
                    const std::wstring& partPath);

}  // namespace orva

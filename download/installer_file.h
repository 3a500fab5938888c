#pragma once

// The installer in the program's private folder inside the user's temporary
// folder: the folder, the names, the reuse of a verified copy, the partial
// file a download is written to, the data callback that writes it and reports
// progress, the check of the finished file, putting it in place, and holding
// it unchanged until it has been started. Nothing here reports a failure;
// download() words them.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/release_info.h"
#include "common/win32_handles.h"
#include "download/run_reporter.h"
#include "http/http_client.h"
#include "signing/crypto.h"

namespace orva {

// The temporary folder as GetTempPathW gives it (normally ending in a
// backslash). False when Windows gives none, or one longer than 260 units.
bool temporaryFolder(std::wstring& folder);

// |folder| + '\' + |name|, without doubling a separator already at the end of
// |folder|; either part alone when the other is empty.
std::wstring joinPath(const std::wstring& folder, const std::wstring& name);

// "Orva-Setup-<version>.exe" in |folder|.
std::wstring installerPathFor(const std::wstring& folder, const ReleaseInfo& release);

// "<installerPath>.<hex>.part": the name of a partial file of that installer,
// |hex| being 16 hexadecimal digits.
std::wstring partialPathFor(const std::wstring& installerPath, const std::wstring& hex);

// |bytes| in units of 1,048,576 with one decimal, e.g. "181.3 MB"; the decimal
// separator is a point whatever the user's locale.
std::wstring formatMegabytes(std::uint64_t bytes);

// The file's SHA-256 as 64 lowercase hexadecimal digits, hashed in pieces so
// that memory stays small whatever the file's size. Empty text when the file
// cannot be opened or read, or is empty (so an empty file never matches).
std::string fileSha256Hex(const std::wstring& path);

// The same for an open file, read from its start through |file| (which needs
// read access); the file position is left at its end.
std::string handleSha256Hex(HANDLE file);

// Opens the file at |path| for the check and the launch: for reading, with
// read sharing only, so that while the handle is open no other process can
// write, rename or delete the file (the loader's own open is compatible). The
// handle is returned only when the file (not a folder) has the release's
// size and SHA-256, read through that same handle; empty otherwise. Deletes
// nothing.
FileHandle openVerifiedCopy(const std::wstring& path, const ReleaseInfo& release);

// True when a file at |path| is a verified copy (see openVerifiedCopy).
bool isVerifiedCopy(const std::wstring& path, const ReleaseInfo& release);

// The size of each of the two buffers of PartialFile::writeBehind.
inline constexpr std::size_t kWriteBehindBytes = 1 << 20;

// What putInPlace came to.
struct PlacedInstaller {
    // The installer, opened for reading with read sharing only, so that while
    // it is held no other process can write, rename or delete it (the
    // loader's own open is compatible); empty when it could not be had.
    FileHandle held;
    // The file bears the installer's name (true also when it was then not
    // held: it stays, and a later run checks it again before any use).
    bool renamed = false;
    // GetLastError() of the step that failed; 0 once held.
    std::uint32_t error = 0;
};

// The partial file a download is written to: a name the run creates itself
// and never one that existed, so that no existing file or link is ever
// opened, written or deleted through it. Open without write or delete sharing
// for other processes, written without a buffer of its own; once a write
// fails it stays failed. Marked for deletion through its own handle (never by
// name) from its creation until putInPlace, so that the system deletes it
// when the handle closes, however the process ends; meanwhile nobody else can
// open it at all. Deleted when the owner ends, unless put in place.
class PartialFile {
  public:
    PartialFile();
    // Deletes the file, unless putInPlace has given it its name.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Creates a fresh "<installerPath>.<16 hexadecimal digits>.part". False
    // when none can be created (path() is then the last name tried).
    bool create(const std::wstring& installerPath);
    // Creates exactly |path|; false when it exists already (file, folder or
    // link) or cannot be created.
    bool open(const std::wstring& path);
    // Writes all |length| bytes and adds them to the file's SHA-256 as they
    // go, so that the digest is known when the last byte is written and
    // nothing is read back; false (and failed() from then on) otherwise.
    bool write(const void* data, std::uint64_t length);
    // From now on write() copies into one of two buffers of
    // kWriteBehindBytes and returns, while a thread of the file's own writes
    // and hashes the other: the network is read while the disk is written.
    // Memory stays at the two buffers whatever the file's size. A write that
    // fails is reported by a later write() (or by sha256Hex's empty digest).
    // False when no thread can be had: writing then stays in the caller.
    bool writeBehind();
    // Waits until everything written so far is on its way to the disk (the
    // write-behind thread done); false when any write failed.
    bool finishWriting();
    bool failed() const { return failed_; }

    // Continues a file an earlier transfer left: its first |bytes| bytes are
    // read back through the file's own handle and hashed, anything after them
    // is cut off, and the next write() appends after them. False when the file
    // holds fewer bytes or cannot be read (the file is then as it was; the
    // caller starts again with restart()).
    bool resumeAt(std::uint64_t bytes);
    // Empties the file and starts its digest afresh, for a transfer that
    // begins again at byte 0; false (and failed()) when the file cannot be cut.
    bool restart();
    // The file's own handle (read, write and delete access), for reading back
    // what was written.
    HANDLE handle() const { return handle_.get(); }
    // The SHA-256 of everything written, as 64 lowercase hexadecimal digits;
    // empty when nothing was written or hashing failed. Ends the writing: the
    // digest stays, and a later write fails.
    std::string sha256Hex();
    const std::wstring& path() const { return path_; }

    // Gives the checked file the name |installerPath| and holds it for the
    // launch, all through the file's own handle and never by name: the rename
    // is of exactly the file written and hashed (FileRenameInfo, which
    // replaces whatever bears that name, a link included, rather than writing
    // through it), and the hold is opened from that handle (ReOpenFile). The
    // deletion mark is taken back before the rename, so nothing depends on
    // what a file marked for deletion reports (on Windows it counts no links
    // and opens for nobody; under Wine it does). See PlacedInstaller for the
    // outcome; when the rename fails the file stays marked and is deleted when
    // the owner ends.
    PlacedInstaller putInPlace(const std::wstring& installerPath);

  private:
    class WriteBehind;
    // Writes and hashes at once, on the calling thread.
    bool writeNow(const void* data, std::uint64_t length);
    // Waits until everything handed to the write-behind thread is written.
    void drain();

    std::unique_ptr<WriteBehind> behind_;
    FileHandle handle_;
    std::wstring path_;
    std::unique_ptr<Sha256Stream> hash_;  // until the digest is taken
    std::string digest_;
    bool owned_ = false;              // the file at path_ is ours to delete
    bool markedForDeletion_ = false;  // deleted by the system when handle_ closes
    bool failed_ = false;
};

// What a download has done so far, shared by download() and its data callback
// and reset before each download.
struct DownloadState {
    std::uint64_t receivedBytes = 0;  // bytes of the file that count, a resumed part included
    bool writeFailed = false;         // a write to the partial file failed
    bool tooLarge = false;            // a chunk would have gone past the release's size
    bool refusedRange = false;        // a 206 answer for another range than the one asked for
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

}  // namespace orva

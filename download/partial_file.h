#pragma once

// The partial file a download is written to, hashed as it is written (behind
// the transfer, by a thread of its own), resumed or started again, and at the
// end put in place as the installer and held for its start. Nothing here
// reports a failure; download() words them. Windows only.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/win32_handles.h"
#include "signing/crypto.h"

namespace orva {

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
    // False when no thread can be had: writing then stays in the caller. It
    // stays on across resumeAt and restart.
    bool writeBehind();
    // True while write() hands its bytes to the write-behind thread.
    bool writingBehind() const { return static_cast<bool>(behind_); }
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
    // Waits until everything handed to the write-behind thread is written;
    // the thread stays.
    void settle();
    // The same, and the thread ends.
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

}  // namespace orva

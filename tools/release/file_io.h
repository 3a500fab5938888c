#pragma once

// The release tool's file operations (POSIX): whole small files in, files out
// without ever leaving half of one behind, and installers hashed in pieces.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orva {

// A small file read whole.
struct FileText {
    bool found = false;     // false: there is no file at the path
    bool tooLarge = false;  // the file is longer than the limit; |text| is empty
    std::string text;
};

// Reads the file at |path| if it is at most |maxBytes| long. A missing file is
// not a failure (|file.found| is false); any other fault is, with |error| set.
bool readTextFile(const std::string& path, std::size_t maxBytes, FileText& file,
                  std::string& error);

// Creates |path| with |mode| and writes |data| into it, flushed to disk.
// Fails, touching nothing, when |path| already exists; when writing fails the
// new file is removed.
bool writeNewFile(const std::string& path, std::string_view data, unsigned mode,
                  std::string& error);

// Replaces (or creates) |path| with |data| in one step: the data goes to a
// temporary file in the same folder, is flushed to disk and renamed over
// |path|. On failure |path| is as it was and the temporary file is gone. An
// existing file keeps its permissions; a new one gets 0666 less the umask.
bool replaceFile(const std::string& path, std::string_view data, std::string& error);

// The size of the regular file at |path|. |found| is false for a missing file.
bool regularFileSize(const std::string& path, std::uint64_t& size, bool& found, std::string& error);

// The SHA-256 of the file at |path| as 64 lowercase hexadecimal digits, read
// in pieces of a mebibyte so that installers of gigabytes need no more memory
// than that. |size| receives the number of bytes hashed. Fails when the file
// changes length while it is read.
bool sha256OfFile(const std::string& path, std::uint64_t& size, std::string& sha256Hex,
                  std::string& error);

}  // namespace orva

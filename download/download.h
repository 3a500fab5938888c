#pragma once

// The download procedure: one worker run from the release list to a verified
// installer, and the fixed texts it shows. Both texts lie under the reserved
// .example domain, so that the built-in address never reaches anybody's real
// server.

#include <cstdint>
#include <memory>
#include <string>

#include "common/release_info.h"
#include "download/partial_file.h"
#include "download/run_reporter.h"

namespace orva {

// The update service's public host name, named in reasons shown to the user;
// also the host of the built-in service address (update_endpoint.h).
inline constexpr char kServiceHost[] = "updates.orva-cad.example";

// Where users are asked to write when the service offers nothing usable.
inline constexpr char kSupportEmail[] = "support@orva-cad.example";

// What a run whose transfer broke off part of the way leaves for the next run
// of the same process ("Try Again"): the partial file, still open (so nobody
// else can change it) and still marked for deletion (so it goes when the
// process ends, however it ends), and what it was the start of.
struct KeptDownload {
    ReleaseInfo release;         // the release it is the start of
    std::wstring installerPath;  // where the finished installer would go
    std::unique_ptr<PartialFile> file;
    std::uint64_t bytes = 0;  // how many of its bytes count, from the start

    // True when a partial file is kept for |other| (the same version, size
    // and digest) at |path|.
    bool isFor(const ReleaseInfo& other, const std::wstring& path) const;
    // Deletes a kept partial file, if any, and forgets it.
    void discard();
};

// One run, on the worker thread: finds the newest release signed by the
// maker, reuses or downloads and checks its installer in the temporary
// folder, and tells |reporter|: statuses and progress, then exactly one
// failed (a plain reason) or installerReady (the installer's path), or
// nothing more once reporter.stopRequested(). Throws nothing for any failure
// of the service, the network, the disk or the data.
//
// A transfer that breaks off after some bytes (a dropped connection, a
// time-out, an error answer to a request for the rest) leaves its partial
// file in |kept|. A later run that picks the same release asks only for the
// rest ("Range: bytes=<n>-"), accepts only a 206 answer for exactly bytes n
// to the end of the signed size, rebuilds the digest from the n bytes on the
// disk, and reports progress from n. A 200 answer starts again from byte 0 in
// the same exchange; any other range, or a 416 answer, is refused and asked
// for again from byte 0. The finished file gets the same whole-file size and SHA-256 check
// as any other.
void download(RunReporter& reporter, KeptDownload& kept);

// The same with the process's own KeptDownload, which lives from one run to
// the next: what the window's runs use.
void download(RunReporter& reporter);

// Deletes the partial file the process's own runs kept, if any. Called when
// the program ends, once no run is active.
void discardKeptDownload();

}  // namespace orva

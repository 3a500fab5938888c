#pragma once

// The download procedure: one worker run from the release list to a verified
// installer, and the fixed texts it shows. Both texts lie under the reserved
// .example domain, so that the built-in address never reaches anybody's real
// server.

#include "download/run_reporter.h"

namespace orva {

// The update service's public host name, named in reasons shown to the user;
// also the host of the built-in service address (update_endpoint.h).
inline constexpr char kServiceHost[] = "updates.orva-cad.example";

// Where users are asked to write when the service offers nothing usable.
inline constexpr char kSupportEmail[] = "support@orva-cad.example";

// One run, on the worker thread: finds the newest release signed by the
// maker, reuses or downloads and checks its installer in the temporary
// folder, and tells |reporter|: statuses and progress, then exactly one
// failed (a plain reason) or installerReady (the installer's path), or
// nothing more once reporter.stopRequested(). Throws nothing for any failure
// of the service, the network, the disk or the data.
void download(RunReporter& reporter);

}  // namespace orva

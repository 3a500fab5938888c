#pragma once

// The download procedure's fixed texts. Both lie under the reserved .example
// domain, so that the built-in address never reaches anybody's real server.

namespace orva {

// The update service's public host name, named in reasons shown to the user;
// also the host of the built-in service address (update_endpoint.h).
inline constexpr char kServiceHost[] = "updates.orva-cad.example";

// Where users are asked to write when the service offers nothing usable.
inline constexpr char kSupportEmail[] = "support@orva-cad.example";

}  // namespace orva

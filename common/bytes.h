#pragma once

#include <cstdint>
#include <vector>

namespace orva {

// Raw bytes owned by their holder: digests, keys, signatures and key blobs.
using Bytes = std::vector<std::uint8_t>;

}  // namespace orva

// libFuzzer target: any bytes through the JSON reader, which must either
// accept them or refuse them with a fault sentence; never crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    orva::JsonValue value;
    std::string error;
    if (orva::parseJson(text, value, error)) {
        if (!error.empty()) {
            std::abort();  // success leaves the error untouched
        }
    } else if (error.empty() || error.back() != ')') {
        std::abort();  // every refusal names its fault and line
    }
    return 0;
}

#pragma once

// The installer's file name: the same in the program's private folder and
// among the files a maker publishes. Portable (the release tool uses it too).

#include <string>
#include <string_view>

namespace orva {

inline constexpr std::string_view kInstallerNamePrefix = "Orva-Setup-";
inline constexpr std::string_view kInstallerNameSuffix = ".exe";

// "Orva-Setup-<version>.exe", e.g. "Orva-Setup-2.4.1.exe".
inline std::string installerFileName(std::string_view version) {
    std::string name(kInstallerNamePrefix);
    name += version;
    name += kInstallerNameSuffix;
    return name;
}

}  // namespace orva

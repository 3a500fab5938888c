#pragma once

// A fresh, empty folder for one test, removed with everything in it when the
// owner ends.

#include <filesystem>
#include <string>

namespace orva::testing {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // |name| inside the folder.
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Writes |bytes| to |path|, replacing what was there; fails the calling test
// when it cannot.
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace orva::testing

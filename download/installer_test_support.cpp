#include "download/installer_test_support.h"

#include <gtest/gtest.h>

#include "common/win32_handles.h"
#include "download/file_system.h"
#include "signing/crypto.h"
#include "signing/encoding.h"
#include "tests/support/test_data.h"

namespace orva::testing {

std::string hexOf(const std::string& bytes) {
    return toHex(sha256(bytes));
}

ReleaseInfo releaseFor(const std::string& bytes) {
    ReleaseInfo release;
    release.version = "2.4.1";
    release.size = bytes.size();
    release.sha256 = hexOf(bytes);
    return release;
}

std::string readAll(const std::filesystem::path& path) {
    return readTestFile(path);
}

std::string readBack(PartialFile& file) {
    std::string content;
    LARGE_INTEGER start{};
    if (!file.finishWriting() || !SetFilePointerEx(file.handle(), start, nullptr, FILE_BEGIN)) {
        ADD_FAILURE() << "the partial file cannot be read back";
        return content;
    }
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.handle(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    return content;
}

DWORD openError(const std::filesystem::path& path, DWORD access, DWORD sharing) {
    const FileHandle file(CreateFileW(path.wstring().c_str(), access, sharing, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : GetLastError();
}

void expectHeldAgainstChanges(const std::filesystem::path& path, DWORD readerSharing) {
    EXPECT_EQ(openError(path, GENERIC_WRITE, kShareAll),
              static_cast<DWORD>(ERROR_SHARING_VIOLATION))
        << "opened for writing";
    EXPECT_EQ(openError(path, DELETE, kShareAll), static_cast<DWORD>(ERROR_SHARING_VIOLATION))
        << "opened for deleting or renaming";
    EXPECT_FALSE(DeleteFileW(path.wstring().c_str())) << "deleted";
    EXPECT_EQ(openError(path, GENERIC_READ | FILE_EXECUTE, readerSharing), 0u)
        << "a reader is turned away";
}

}  // namespace orva::testing

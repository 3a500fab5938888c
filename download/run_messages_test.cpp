// The reasons a run gives when the checked installer is in place but cannot
// be held for its start: each says what happened, and none says that the
// download differed from what was published (it did not).
#include "download/run_messages.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace orva {
namespace {

TEST(FormatMegabytes, OneDecimalOfBinaryMegabytes) {
    struct Case {
        std::uint64_t bytes;
        const wchar_t* text;
    };
    const Case kCases[] = {
        {0, L"0.0 MB"},
        {1'048'576, L"1.0 MB"},
        {1'572'864, L"1.5 MB"},
        {52'428, L"0.0 MB"},
        {52'429, L"0.1 MB"},
        {190'106'009, L"181.3 MB"},
        {4'000'000'000, L"3814.7 MB"},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(formatMegabytes(c.bytes), c.text) << c.bytes;
    }
}

TEST(CannotHoldReason, SaysWhatHappenedAndWhereTheInstallerIs) {
    const std::wstring path = L"C:\\Temp\\Orva Setup\\Orva-Setup-2.4.1.exe";
    struct Case {
        std::uint32_t error;
        const wchar_t* starts;
    };
    const Case kCases[] = {
        // ERROR_VIRUS_INFECTED and ERROR_VIRUS_DELETED: security software.
        {225, L"Security software on this computer blocked the downloaded installer"},
        {226, L"Security software on this computer blocked the downloaded installer"},
        {ERROR_SHARING_VIOLATION, L"Another program is using the downloaded installer"},
        {ERROR_LOCK_VIOLATION, L"Another program is using the downloaded installer"},
        {ERROR_ACCESS_DENIED, L"Another program is using the downloaded installer"},
        {ERROR_INVALID_PARAMETER, L"The downloaded installer could not be opened again"},
    };
    for (const Case& c : kCases) {
        const std::wstring reason = cannotHoldReason(c.error, path);
        EXPECT_TRUE(reason.starts_with(c.starts)) << c.error << L": " << reason;
        EXPECT_TRUE(reason.ends_with(L" It is " + path + L".")) << c.error << L": " << reason;
        EXPECT_EQ(reason.find(L"published"), std::wstring::npos) << c.error << L": " << reason;
    }
}

}  // namespace
}  // namespace orva

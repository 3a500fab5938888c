// The program's resources as the program sees them in its own module: this
// test program is linked with orva-setup.rc exactly as Orva-Setup.exe is. The
// version they must carry is project()'s, through the generated
// resources/version.h.

#include <gtest/gtest.h>
#include <windows.h>
// windows.h must come first.
#include <winver.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "resources/version.h"

namespace {

std::string_view resourceBytes(WORD id, const wchar_t* type) {
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    if (resource == nullptr) {
        return {};
    }
    const auto* data = static_cast<const char*>(LockResource(LoadResource(nullptr, resource)));
    return {data, SizeofResource(nullptr, resource)};
}

// An icon group in a module: a header and one 14-byte entry per image.
#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height;  // 0 means 256
    BYTE colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;  // the RT_ICON resource holding the image
};
struct GroupIconHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

TEST(Resources, IconGroupOneHasNine32BitPngImages) {
    const std::string_view group = resourceBytes(1, RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    GroupIconHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    ASSERT_EQ(header.type, 1);  // icons, not cursors
    ASSERT_EQ(header.count, 9);
    ASSERT_EQ(group.size(), sizeof header + header.count * sizeof(GroupIconEntry));

    const int sizes[] = {16, 20, 24, 32, 40, 48, 64, 128, 256};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(sizes[i]);
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + sizeof header + i * sizeof entry, sizeof entry);
        EXPECT_EQ(entry.width == 0 ? 256 : entry.width, sizes[i]);
        EXPECT_EQ(entry.height == 0 ? 256 : entry.height, sizes[i]);
        EXPECT_EQ(entry.bitCount, 32);
        const std::string_view image = resourceBytes(entry.id, RT_ICON);
        EXPECT_EQ(image.size(), entry.bytes);
        EXPECT_EQ(image.substr(0, 8), std::string_view("\x89PNG\r\n\x1a\n", 8));
    }
    // The system can draw it at the header's size.
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 48, 48, 0));
    EXPECT_NE(icon, nullptr);
}

TEST(Resources, ManifestAsksForInvokerRightsAndCommonControlsSix) {
    const std::string_view manifest = resourceBytes(1, RT_MANIFEST);
    ASSERT_FALSE(manifest.empty());
    const char* required[] = {
        R"(level="asInvoker")",
        R"(uiAccess="false")",
        R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
    };
    for (const char* text : required) {
        EXPECT_NE(manifest.find(text), std::string_view::npos) << text;
    }
    // The entry calls SetProcessDPIAware instead.
    EXPECT_EQ(manifest.find("dpiAware"), std::string_view::npos);
    EXPECT_EQ(manifest.find("dpiAwareness"), std::string_view::npos);

    // The manifest took effect: the process's activation context sends
    // comctl32.dll to the side-by-side version 6 assembly.
    ACTCTX_SECTION_KEYED_DATA redirection = {};
    redirection.cbSize = sizeof redirection;
    EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                         L"comctl32.dll", &redirection))
        << GetLastError();
}

TEST(Resources, VersionBlock) {
    wchar_t path[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_NE(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    // Two 16-bit parts in each 32-bit half, the most significant first.
    constexpr DWORD kVersionMS = (ORVA_VERSION_MAJOR << 16) | ORVA_VERSION_MINOR;
    constexpr DWORD kVersionLS = (ORVA_VERSION_PATCH << 16) | ORVA_VERSION_BUILD;
    EXPECT_EQ(fixed->dwFileVersionMS, kVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, kVersionLS);
    EXPECT_EQ(fixed->dwProductVersionMS, kVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, kVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    // The texts below give the same four numbers.
    const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, L"" ORVA_VERSION_TEXT);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);  // U.S. English
    EXPECT_EQ(translation[1], 1200);    // UTF-16

    struct Text {
        const wchar_t* name;
        const wchar_t* value;
    };
    const Text texts[] = {
        {L"CompanyName", L"Orva CAD"},
        {L"FileDescription", L"Orva Setup"},
        {L"FileVersion", L"" ORVA_VERSION_TEXT},
        {L"InternalName", L"Orva-Setup"},
        {L"LegalCopyright", L"Copyright 2026 Orva CAD"},
        {L"OriginalFilename", L"Orva-Setup.exe"},
        {L"ProductName", L"Orva"},
        {L"ProductVersion", L"" ORVA_VERSION_TEXT},
    };
    for (const Text& text : texts) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + text.name;
        wchar_t* value = nullptr;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << ::testing::PrintToString(std::wstring(text.name));
        EXPECT_STREQ(value, text.value);
    }
}

}  // namespace

#include "download/private_folder.h"

// clang-format off
#include <windows.h>
#include <aclapi.h>  // these need <windows.h> first
#include <sddl.h>
// clang-format on

#include <string_view>
#include <vector>

#include "common/current_user.h"
#include "common/text.h"
#include "common/win32_handles.h"
#include "download/file_system.h"
#include "download/installer_file.h"
#include "download/installer_name.h"
#include "download/release_list.h"

namespace orva {
namespace {

// Creates |folder| with the descriptor |sddl|; false with the last error set
// (ERROR_ALREADY_EXISTS when the name is taken) otherwise.
bool createProtectedFolder(const std::wstring& folder, const std::wstring& sddl) {
    LocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    return CreateDirectoryW(folder.c_str(), &attributes) != 0;
}

// True when the directory entry |path| is |wanted| (FILE_ATTRIBUTE_DIRECTORY
// or 0) and no reparse point. Read from the entry in its folder, which
// reports a link as Windows does, and not through an open, which Wine 8
// follows to the link's target.
bool entryIs(const std::wstring& path, DWORD wanted) {
    WIN32_FIND_DATAW entry{};
    const FindHandle find(FindFirstFileW(path.c_str(), &entry));
    return find && (entry.dwFileAttributes &
                    (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == wanted;
}

// True when |handle| is of a plain directory, not a link or other reparse
// point (Windows opens the link itself with FILE_FLAG_OPEN_REPARSE_POINT).
bool isPlainDirectory(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool isSystemOrAdministrators(PSID sid) {
    return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(sid, WinLocalSystemSid);
}

// True when |dacl| allows access to nobody but |user|, SYSTEM and
// Administrators. Entries that deny are no access for anyone; any other kind
// of entry counts as access for someone else.
bool onlyUserSystemAndAdministrators(const ACL* dacl, const CurrentUser& user) {
    if (dacl == nullptr) {
        return false;  // no DACL: everyone has full access
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), i, &ace)) {
            return false;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            continue;
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            return false;
        }
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        if (!EqualSid(sid, const_cast<std::uint8_t*>(user.sidBytes.data())) &&
            !isSystemOrAdministrators(sid)) {
            return false;
        }
    }
    return true;
}

// Makes |user| the owner of the folder open through |handle| again and gives
// it the private folder's DACL. Only the owner changes hands: the entries are
// the same ones the check found. A failure leaves the folder as it was, and
// as usable.
void takeBack(HANDLE handle, const CurrentUser& user) {
    const FileHandle writable(
        ReOpenFile(handle, READ_CONTROL | WRITE_OWNER | WRITE_DAC, kShareAll,
                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    LocalMemory descriptor;
    if (!writable ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(
            privateFolderSddl(user.sid).c_str(), SDDL_REVISION_1, descriptor.put(), nullptr)) {
        return;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) &&
        GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted)) {
        SetSecurityInfo(writable.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                            PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, nullptr, dacl, nullptr);
    }
}

// True when |folder| is one this run may use as its private folder (see
// privateFolder); a folder left to Administrators or SYSTEM is given back to
// the user here.
bool isOwnFolder(const std::wstring& folder, const CurrentUser& user) {
    if (!entryIs(folder, FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    const FileHandle handle(CreateFileW(
        folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle || !isPlainDirectory(handle.get())) {
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalMemory descriptor;
    if (GetSecurityInfo(handle.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, descriptor.put()) != ERROR_SUCCESS ||
        owner == nullptr) {
        return false;
    }
    if (EqualSid(owner, const_cast<std::uint8_t*>(user.sidBytes.data()))) {
        return true;
    }
    // Only an elevated process or SYSTEM can give a folder to Administrators
    // or SYSTEM; and one that nobody else could reach holds nothing anybody
    // else put there.
    if (!isSystemOrAdministrators(owner) || !onlyUserSystemAndAdministrators(dacl, user)) {
        return false;
    }
    takeBack(handle.get(), user);
    return true;
}

// Deletes the file |path| through a handle that shares nothing, so that a
// file anyone has open (a reader, the installer's image) is left alone; and
// only a plain file, never a link's target or a folder.
void deleteIfUnused(const std::wstring& path) {
    if (!entryIs(path, 0)) {
        return;
    }
    const FileHandle file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file && GetFileInformationByHandle(file.get(), &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
        markForDeletion(file.get(), true);
    }
}

// The names in |folder| that match |pattern| (FindFirstFileW's wildcards).
std::vector<std::wstring> namesIn(const std::wstring& folder, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const FindHandle find(FindFirstFileW(joinPath(folder, pattern).c_str(), &entry));
    if (!find) {
        return names;
    }
    do {
        names.emplace_back(entry.cFileName);
    } while (FindNextFileW(find.get(), &entry));
    return names;
}

bool isHex(std::wstring_view text) {
    for (const wchar_t c : text) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    return true;
}

// "Orva Setup <16 hexadecimal digits>", as privateFolder names a fresh folder.
bool isFreshFolderName(std::wstring_view name) {
    const std::wstring_view prefix = L"Orva Setup ";
    return name.size() == prefix.size() + 16 && name.starts_with(prefix) &&
           isHex(name.substr(prefix.size()));
}

// "Orva-Setup-<version>.exe.<16 hexadecimal digits>.part", as PartialFile names one.
bool isPartialFileName(const std::wstring& name) {
    constexpr std::size_t kTail = 1 + 16 + 5;  // ".<16 hex>.part"
    return name.size() > kTail && name.ends_with(L".part") && name[name.size() - kTail] == L'.' &&
           isHex(std::wstring_view(name).substr(name.size() - kTail + 1, 16)) &&
           isInstallerFileName(name.substr(0, name.size() - kTail));
}

}  // namespace

bool privateFolder(const std::wstring& temp, std::wstring& folder) {
    const CurrentUser user = currentUser();
    folder = joinPath(temp, kPrivateFolderName);
    if (user.sid.empty()) {
        return false;
    }
    const std::wstring sddl = privateFolderSddl(user.sid);
    if (createProtectedFolder(folder, sddl)) {
        return true;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS && isOwnFolder(folder, user)) {
        return true;  // made by an earlier run: a verified copy in it may be reused
    }
    // Taken by something that is not ours: a fresh folder for this run only.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::wstring suffix;
        if (!randomHex(suffix)) {
            return false;
        }
        folder = joinPath(temp, joinText({kPrivateFolderName, L" ", suffix}));
        if (createProtectedFolder(folder, sddl)) {
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

std::wstring privateFolderSddl(const std::wstring& userSid) {
    // O: the user owns it, also when an elevated run (whose token gives new
    // objects to Administrators) creates it. D:P protected (nothing inherited
    // from the temporary folder); OICI the entries pass to the files and
    // folders made inside; FA full access.
    return joinText(
        {L"O:", userSid, L"D:P(A;OICI;FA;;;", userSid, L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"});
}

bool pathsFitIn(const std::wstring& temp, const ReleaseInfo& release) {
    // The longest of them: the partial file in a fresh folder. The digits'
    // values do not matter, only their number.
    const std::wstring hex(16, L'0');
    const std::wstring folder = joinPath(temp, joinText({kPrivateFolderName, L" ", hex}));
    return partialPathFor(installerPathFor(folder, release), hex).size() < MAX_PATH;
}

bool isInstallerFileName(const std::wstring& name) {
    const std::string narrow = wideToUtf8(name);
    const std::string_view text = narrow;
    if (text.size() <= kInstallerNamePrefix.size() + kInstallerNameSuffix.size() ||
        !text.starts_with(kInstallerNamePrefix) || !text.ends_with(kInstallerNameSuffix)) {
        return false;
    }
    return isValidVersion(
        text.substr(kInstallerNamePrefix.size(),
                    text.size() - kInstallerNamePrefix.size() - kInstallerNameSuffix.size()));
}

void tidyPrivateFolders(const std::wstring& temp, const std::wstring& folder,
                        const std::wstring& keep) {
    const std::wstring installers = utf8ToWide(installerFileName("*"));  // "Orva-Setup-*.exe"
    for (const std::wstring& name : namesIn(folder, installers.c_str())) {
        const std::wstring path = joinPath(folder, name);
        if (isInstallerFileName(name) &&
            CompareStringOrdinal(path.c_str(), -1, keep.c_str(), -1, TRUE) != CSTR_EQUAL) {
            deleteIfUnused(path);
        }
    }
    const CurrentUser user = currentUser();
    if (user.sid.empty()) {
        return;
    }
    for (const std::wstring& name : namesIn(temp, L"Orva Setup *")) {
        const std::wstring other = joinPath(temp, name);
        if (!isFreshFolderName(name) ||
            CompareStringOrdinal(other.c_str(), -1, folder.c_str(), -1, TRUE) == CSTR_EQUAL ||
            !isOwnFolder(other, user)) {
            continue;
        }
        for (const std::wstring& inside : namesIn(other, L"*")) {
            if (isInstallerFileName(inside) || isPartialFileName(inside)) {
                deleteIfUnused(joinPath(other, inside));
            }
        }
        RemoveDirectoryW(other.c_str());  // fails, and leaves it, while anything is left inside
    }
}

}  // namespace orva

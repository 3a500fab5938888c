#include "tests/support/documented_windows.h"

// clang-format off
#include <windows.h>
#include <aclapi.h>  // these need <windows.h> first
#include <sddl.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace orva::testing {
namespace {

// Which file a handle or a name is: the same three numbers on Windows and
// under Wine (there the device and the inode).
struct Identity {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
    bool operator<(const Identity& other) const {
        return std::tie(volume, high, low) < std::tie(other.volume, other.high, other.low);
    }
    bool operator==(const Identity& other) const {
        return volume == other.volume && high == other.high && low == other.low;
    }
};

// The system's own functions, called by the stand-ins and by nothing else
// here (a call by name would go through the changed import table).
struct Real {
    decltype(&::CreateFileW) createFile = nullptr;
    decltype(&::ReOpenFile) reOpenFile = nullptr;
    decltype(&::CloseHandle) closeHandle = nullptr;
    decltype(&::DeleteFileW) deleteFile = nullptr;
    decltype(&::MoveFileExW) moveFileEx = nullptr;
    decltype(&::GetFileAttributesW) getFileAttributes = nullptr;
    decltype(&::GetFileAttributesExW) getFileAttributesEx = nullptr;
    decltype(&::SetFileInformationByHandle) setFileInformation = nullptr;
    decltype(&::GetFileInformationByHandle) getFileInformation = nullptr;
    decltype(&::GetFileInformationByHandleEx) getFileInformationEx = nullptr;
    decltype(&::CreateDirectoryW) createDirectory = nullptr;
    decltype(&::GetSecurityInfo) getSecurityInfo = nullptr;
    decltype(&::SetSecurityInfo) setSecurityInfo = nullptr;
    decltype(&::GetTokenInformation) getTokenInformation = nullptr;
};

// An object's owner and DACL as Windows keeps them, in SDDL ("O:..." and
// "D:..."); empty where Wine's own answer is Windows' too.
struct Security {
    std::string owner;
    std::string dacl;
};

struct State {
    Real real;
    SRWLOCK lock = SRWLOCK_INIT;
    std::map<HANDLE, Identity> handles;     // handles this process opened on files
    std::map<Identity, bool> pending;       // files marked for deletion
    std::map<Identity, Security> security;  // what Windows would keep and Wine 8 does not
    std::string userSid;                    // the token's user, in string form
    bool elevated = false;
    // Where |security| is kept from one process to the next (a run, then the
    // next run of the same user); empty: in this process only.
    std::wstring stateFile;
};

State* g_state = nullptr;

class Locked {
  public:
    Locked() { AcquireSRWLockExclusive(&g_state->lock); }
    ~Locked() { ReleaseSRWLockExclusive(&g_state->lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

// Writes |security| to the state file, if there is one. The lock is held.
void saveSecurity() {
    if (g_state->stateFile.empty()) {
        return;
    }
    std::string text;
    for (const auto& [identity, kept] : g_state->security) {
        text += std::to_string(identity.volume) + " " + std::to_string(identity.high) + " " +
                std::to_string(identity.low) + "|" + kept.owner + "|" + kept.dacl + "\n";
    }
    const HANDLE file = g_state->real.createFile(g_state->stateFile.c_str(), GENERIC_WRITE, 0,
                                                 nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        g_state->real.closeHandle(file);
    }
}

// Reads what earlier processes kept in the state file.
void loadSecurity() {
    const HANDLE file =
        g_state->real.createFile(g_state->stateFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    g_state->real.closeHandle(file);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t bar = line.find('|');
        const std::size_t second = line.find('|', bar + 1);
        Identity identity;
        unsigned long volume = 0, high = 0, low = 0;
        if (bar == std::string::npos || second == std::string::npos ||
            std::sscanf(line.c_str(), "%lu %lu %lu", &volume, &high, &low) != 3) {
            continue;
        }
        identity = {static_cast<DWORD>(volume), static_cast<DWORD>(high), static_cast<DWORD>(low)};
        g_state->security[identity] = {line.substr(bar + 1, second - bar - 1),
                                       line.substr(second + 1)};
    }
}

bool identityOf(HANDLE handle, Identity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!g_state->real.getFileInformation(handle, &info)) {
        return false;
    }
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

// The file or folder a name stands for now, opened for nothing (which any
// sharing mode allows) and closed again.
bool identityOfName(const wchar_t* name, Identity& identity) {
    // Devices and pipes ("\\\\.\\...") are no files, and an open would take a
    // pipe's instance.
    if (name == nullptr || std::wcsncmp(name, L"\\\\.\\", 4) == 0) {
        return false;
    }
    const HANDLE probe =
        g_state->real.createFile(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = identityOf(probe, identity);
    g_state->real.closeHandle(probe);
    return known;
}

bool isPending(const Identity& identity) {
    const auto found = g_state->pending.find(identity);
    return found != g_state->pending.end() && found->second;
}

// True (with ERROR_ACCESS_DENIED set) when |name| is a file marked for
// deletion: Windows opens it for nobody, by name.
bool deniedByName(const wchar_t* name) {
    Identity identity;
    if (!identityOfName(name, identity)) {
        return false;
    }
    Locked locked;
    if (!isPending(identity)) {
        return false;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
}

void track(HANDLE handle, bool created) {
    Identity identity;
    if (handle == INVALID_HANDLE_VALUE || !identityOf(handle, identity)) {
        return;
    }
    Locked locked;
    g_state->handles[handle] = identity;
    if (created) {
        // A new file may get the number of one deleted before: nothing of
        // that one carries over.
        g_state->pending.erase(identity);
        if (g_state->security.erase(identity) > 0) {
            saveSecurity();
        }
    }
}

std::string sidText(PSID sid) {
    LPWSTR text = nullptr;
    std::string result;
    if (sid != nullptr && ConvertSidToStringSidA(sid, reinterpret_cast<LPSTR*>(&text))) {
        result = reinterpret_cast<const char*>(text);
        LocalFree(text);
    }
    return result;
}

// The SID of the Administrators group, in string form.
const char kAdministrators[] = "S-1-5-32-544";

HANDLE WINAPI createFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
    Identity before;
    const bool existed = identityOfName(name, before);
    if (existed) {
        Locked locked;
        if (isPending(before)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    const HANDLE handle =
        g_state->real.createFile(name, access, share, attributes, disposition, flags, templateFile);
    const DWORD error = GetLastError();
    track(handle, !existed);
    SetLastError(error);
    return handle;
}

HANDLE WINAPI reOpenFile(HANDLE original, DWORD access, DWORD share, DWORD flags) {
    Identity identity;
    if (identityOf(original, identity)) {
        Locked locked;
        if (isPending(identity)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    const HANDLE handle = g_state->real.reOpenFile(original, access, share, flags);
    const DWORD error = GetLastError();
    track(handle, false);
    SetLastError(error);
    return handle;
}

BOOL WINAPI closeHandle(HANDLE handle) {
    {
        Locked locked;
        const auto found = g_state->handles.find(handle);
        if (found != g_state->handles.end()) {
            const Identity identity = found->second;
            g_state->handles.erase(found);
            bool stillOpen = false;
            for (const auto& [other, otherIdentity] : g_state->handles) {
                stillOpen = stillOpen || otherIdentity == identity;
            }
            if (!stillOpen && isPending(identity)) {
                // The last handle: the system deletes the file now.
                g_state->pending.erase(identity);
                if (g_state->security.erase(identity) > 0) {
                    saveSecurity();
                }
            }
        }
    }
    return g_state->real.closeHandle(handle);
}

BOOL WINAPI deleteFile(LPCWSTR name) {
    return deniedByName(name) ? FALSE : g_state->real.deleteFile(name);
}

BOOL WINAPI moveFileEx(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (deniedByName(from) || deniedByName(to)) {
        return FALSE;
    }
    return g_state->real.moveFileEx(from, to, flags);
}

DWORD WINAPI getFileAttributes(LPCWSTR name) {
    return deniedByName(name) ? INVALID_FILE_ATTRIBUTES : g_state->real.getFileAttributes(name);
}

BOOL WINAPI getFileAttributesEx(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
    return deniedByName(name) ? FALSE : g_state->real.getFileAttributesEx(name, level, info);
}

BOOL WINAPI setFileInformation(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer,
                               DWORD size) {
    if (!g_state->real.setFileInformation(handle, kind, buffer, size)) {
        return FALSE;
    }
    Identity identity;
    if (kind == FileDispositionInfo && size >= sizeof(FILE_DISPOSITION_INFO) &&
        identityOf(handle, identity)) {
        Locked locked;
        g_state->pending[identity] = static_cast<FILE_DISPOSITION_INFO*>(buffer)->DeleteFile != 0;
        g_state->handles.emplace(handle, identity);
    }
    return TRUE;
}

// Links not deleted: one fewer while the file is marked (the link it was
// opened through).
DWORD linksNow(DWORD links) {
    return links > 0 ? links - 1 : 0;
}

BOOL WINAPI getFileInformation(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    if (!g_state->real.getFileInformation(handle, info)) {
        return FALSE;
    }
    const Identity identity{info->dwVolumeSerialNumber, info->nFileIndexHigh, info->nFileIndexLow};
    Locked locked;
    if (isPending(identity)) {
        info->nNumberOfLinks = linksNow(info->nNumberOfLinks);
    }
    return TRUE;
}

BOOL WINAPI getFileInformationEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer,
                                 DWORD size) {
    if (!g_state->real.getFileInformationEx(handle, kind, buffer, size)) {
        return FALSE;
    }
    Identity identity;
    if (kind == FileStandardInfo && size >= sizeof(FILE_STANDARD_INFO) &&
        identityOf(handle, identity)) {
        Locked locked;
        if (isPending(identity)) {
            auto* standard = static_cast<FILE_STANDARD_INFO*>(buffer);
            standard->NumberOfLinks = linksNow(standard->NumberOfLinks);
            standard->DeletePending = TRUE;
        }
    }
    return TRUE;
}

// The owner a security descriptor names, in string form; empty when none.
std::string ownerIn(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (descriptor == nullptr || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) {
        return {};
    }
    return sidText(owner);
}

// |descriptor|'s DACL in SDDL ("D:P(A;...)"); empty when it has none.
std::string daclIn(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    LPSTR text = nullptr;
    std::string result;
    if (descriptor != nullptr &&
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    return result;
}

BOOL WINAPI createDirectory(LPCWSTR name, LPSECURITY_ATTRIBUTES attributes) {
    const PSECURITY_DESCRIPTOR given =
        attributes != nullptr ? attributes->lpSecurityDescriptor : nullptr;
    std::string owner = ownerIn(given);
    bool elevated = false;
    std::string user;
    {
        Locked locked;
        elevated = g_state->elevated;
        user = g_state->userSid;
    }
    if (!owner.empty() && owner != user && !elevated) {
        SetLastError(ERROR_INVALID_OWNER);  // a normal token can name only its user
        return FALSE;
    }
    if (owner.empty()) {
        owner = elevated ? kAdministrators : user;  // the token's default owner
    }
    if (!g_state->real.createDirectory(name, attributes)) {
        return FALSE;
    }
    Identity identity;
    if (identityOfName(name, identity)) {
        // Windows keeps the DACL it was given; Wine 8 puts its own default
        // (SYSTEM, the user and read access for Everyone) in its place.
        Security kept{owner == user ? std::string() : "O:" + owner, daclIn(given)};
        Locked locked;
        g_state->pending.erase(identity);
        if (kept.owner.empty() && kept.dacl.empty()) {
            g_state->security.erase(identity);
        } else {
            g_state->security[identity] = kept;
        }
        saveSecurity();
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// |descriptor|'s parts |what| in SDDL.
std::string sddlOf(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION what) {
    LPSTR text = nullptr;
    std::string result;
    if (what != 0 && ConvertSecurityDescriptorToStringSecurityDescriptorA(
                         descriptor, SDDL_REVISION_1, what, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    return result;
}

DWORD WINAPI getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION what,
                             PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                             PSECURITY_DESCRIPTOR* descriptor) {
    const DWORD result =
        g_state->real.getSecurityInfo(handle, type, what, owner, group, dacl, sacl, descriptor);
    Identity identity;
    if (result != ERROR_SUCCESS || descriptor == nullptr || *descriptor == nullptr ||
        !identityOf(handle, identity)) {
        return result;
    }
    Security kept;
    {
        Locked locked;
        const auto found = g_state->security.find(identity);
        if (found == g_state->security.end()) {
            return result;
        }
        kept = found->second;
    }
    // The same descriptor with what Windows would have kept, allocated as the
    // system allocates it, so that the caller's LocalFree releases it.
    const bool ownKeptOwner = (what & OWNER_SECURITY_INFORMATION) != 0 && !kept.owner.empty();
    const bool ownKeptDacl = (what & DACL_SECURITY_INFORMATION) != 0 && !kept.dacl.empty();
    const SECURITY_INFORMATION rest = what & ~((ownKeptOwner ? OWNER_SECURITY_INFORMATION : 0) |
                                               (ownKeptDacl ? DACL_SECURITY_INFORMATION : 0));
    const std::string sddl = (ownKeptOwner ? kept.owner : std::string()) +
                             (ownKeptDacl ? kept.dacl : std::string()) + sddlOf(*descriptor, rest);
    PSECURITY_DESCRIPTOR replaced = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &replaced, nullptr)) {
        return result;
    }
    LocalFree(*descriptor);
    *descriptor = replaced;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (owner != nullptr) {
        GetSecurityDescriptorOwner(replaced, owner, &defaulted);
    }
    if (group != nullptr) {
        GetSecurityDescriptorGroup(replaced, group, &defaulted);
    }
    if (dacl != nullptr) {
        GetSecurityDescriptorDacl(replaced, &present, dacl, &defaulted);
    }
    if (sacl != nullptr) {
        GetSecurityDescriptorSacl(replaced, &present, sacl, &defaulted);
    }
    return result;
}

DWORD WINAPI setSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION what,
                             PSID owner, PSID group, PACL dacl, PACL sacl) {
    const bool settingOwner = (what & OWNER_SECURITY_INFORMATION) != 0 && owner != nullptr;
    const std::string newOwner = settingOwner ? sidText(owner) : std::string();
    if (settingOwner) {
        Locked locked;
        if (!g_state->elevated && newOwner != g_state->userSid) {
            return ERROR_INVALID_OWNER;
        }
    }
    const DWORD result =
        g_state->real.setSecurityInfo(handle, type, what, owner, group, dacl, sacl);
    Identity identity;
    if (result != ERROR_SUCCESS || !identityOf(handle, identity)) {
        return result;
    }
    std::string newDacl;
    if ((what & DACL_SECURITY_INFORMATION) != 0) {
        SECURITY_DESCRIPTOR absolute{};
        InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&absolute, TRUE, dacl, FALSE);
        if ((what & PROTECTED_DACL_SECURITY_INFORMATION) != 0) {
            SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        }
        newDacl = daclIn(&absolute);
    }
    Locked locked;
    Security& kept = g_state->security[identity];
    if (settingOwner) {
        kept.owner = newOwner == g_state->userSid ? std::string() : "O:" + newOwner;
    }
    if (!newDacl.empty()) {
        kept.dacl = newDacl;
    }
    if (kept.owner.empty() && kept.dacl.empty()) {
        g_state->security.erase(identity);
    }
    saveSecurity();
    return result;
}

BOOL WINAPI getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer,
                                DWORD size, PDWORD needed) {
    if (kind != TokenElevation) {
        return g_state->real.getTokenInformation(token, kind, buffer, size, needed);
    }
    if (needed != nullptr) {
        *needed = sizeof(TOKEN_ELEVATION);
    }
    if (buffer == nullptr || size < sizeof(TOKEN_ELEVATION)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    Locked locked;
    static_cast<TOKEN_ELEVATION*>(buffer)->TokenIsElevated = g_state->elevated ? 1 : 0;
    return TRUE;
}

struct Hook {
    const char* name;
    void* replacement;
};

// Points every import table entry of this program for a hooked name at its
// stand-in. The program is linked statically, so its own import table is the
// only one its code calls through.
void patchImports(const std::vector<Hook>& hooks) {
    auto* base = reinterpret_cast<std::uint8_t*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return;
    }
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         dll->Name != 0; ++dll) {
        const DWORD namesAt =
            dll->OriginalFirstThunk != 0 ? dll->OriginalFirstThunk : dll->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Hook& hook : hooks) {
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), hook.name) != 0) {
                    continue;
                }
                DWORD old = 0;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                               &old);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook.replacement);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            }
        }
    }
}

template <typename Function>
void resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    alignas(TOKEN_USER) std::uint8_t buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD length = 0;
    std::string sid;
    if (g_state->real.getTokenInformation(token, TokenUser, buffer, sizeof buffer, &length)) {
        sid = sidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    }
    g_state->real.closeHandle(token);
    return sid;
}

// Installs the mode before main when the environment asks for it.
bool environmentSays(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

const bool g_installedAtStart = [] {
    if (!environmentSays("ORVA_DOCUMENTED_WINDOWS") || !installDocumentedWindows()) {
        return false;
    }
    setDocumentedElevation(environmentSays("ORVA_DOCUMENTED_ELEVATED"));
    return true;
}();

}  // namespace

bool installDocumentedWindows() {
    if (g_state != nullptr) {
        return true;
    }
    auto* state = new State;
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const HMODULE advapi32 = LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    Real& real = state->real;
    resolve(kernel32, "CreateFileW", real.createFile);
    resolve(kernel32, "ReOpenFile", real.reOpenFile);
    resolve(kernel32, "CloseHandle", real.closeHandle);
    resolve(kernel32, "DeleteFileW", real.deleteFile);
    resolve(kernel32, "MoveFileExW", real.moveFileEx);
    resolve(kernel32, "GetFileAttributesW", real.getFileAttributes);
    resolve(kernel32, "GetFileAttributesExW", real.getFileAttributesEx);
    resolve(kernel32, "SetFileInformationByHandle", real.setFileInformation);
    resolve(kernel32, "GetFileInformationByHandle", real.getFileInformation);
    resolve(kernel32, "GetFileInformationByHandleEx", real.getFileInformationEx);
    resolve(kernel32, "CreateDirectoryW", real.createDirectory);
    resolve(advapi32, "GetSecurityInfo", real.getSecurityInfo);
    resolve(advapi32, "SetSecurityInfo", real.setSecurityInfo);
    resolve(advapi32, "GetTokenInformation", real.getTokenInformation);
    const void* all[] = {
        reinterpret_cast<void*>(real.createFile),
        reinterpret_cast<void*>(real.reOpenFile),
        reinterpret_cast<void*>(real.closeHandle),
        reinterpret_cast<void*>(real.deleteFile),
        reinterpret_cast<void*>(real.moveFileEx),
        reinterpret_cast<void*>(real.getFileAttributes),
        reinterpret_cast<void*>(real.getFileAttributesEx),
        reinterpret_cast<void*>(real.setFileInformation),
        reinterpret_cast<void*>(real.getFileInformation),
        reinterpret_cast<void*>(real.getFileInformationEx),
        reinterpret_cast<void*>(real.createDirectory),
        reinterpret_cast<void*>(real.getSecurityInfo),
        reinterpret_cast<void*>(real.setSecurityInfo),
        reinterpret_cast<void*>(real.getTokenInformation),
    };
    for (const void* function : all) {
        if (function == nullptr) {
            delete state;
            return false;
        }
    }
    g_state = state;
    g_state->userSid = currentUserSid();
    wchar_t stateFile[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"ORVA_DOCUMENTED_STATE", stateFile, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        g_state->stateFile.assign(stateFile, length);
        loadSecurity();
    }
    const std::vector<Hook> hooks = {
        {"CreateFileW", reinterpret_cast<void*>(&createFile)},
        {"ReOpenFile", reinterpret_cast<void*>(&reOpenFile)},
        {"CloseHandle", reinterpret_cast<void*>(&closeHandle)},
        {"DeleteFileW", reinterpret_cast<void*>(&deleteFile)},
        {"MoveFileExW", reinterpret_cast<void*>(&moveFileEx)},
        {"GetFileAttributesW", reinterpret_cast<void*>(&getFileAttributes)},
        {"GetFileAttributesExW", reinterpret_cast<void*>(&getFileAttributesEx)},
        {"SetFileInformationByHandle", reinterpret_cast<void*>(&setFileInformation)},
        {"GetFileInformationByHandle", reinterpret_cast<void*>(&getFileInformation)},
        {"GetFileInformationByHandleEx", reinterpret_cast<void*>(&getFileInformationEx)},
        {"CreateDirectoryW", reinterpret_cast<void*>(&createDirectory)},
        {"GetSecurityInfo", reinterpret_cast<void*>(&getSecurityInfo)},
        {"SetSecurityInfo", reinterpret_cast<void*>(&setSecurityInfo)},
        {"GetTokenInformation", reinterpret_cast<void*>(&getTokenInformation)},
    };
    patchImports(hooks);
    return true;
}

bool documentedWindowsInstalled() {
    return g_state != nullptr;
}

void setDocumentedElevation(bool elevated) {
    if (g_state != nullptr) {
        Locked locked;
        g_state->elevated = elevated;
    }
}

}  // namespace orva::testing

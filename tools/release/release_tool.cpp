#include "tools/release/release_tool.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "download/installer_name.h"
#include "download/release_list.h"
#include "signing/crypto.h"
#include "signing/encoding.h"
#include "signing/release_signature.h"
#include "tools/release/file_io.h"
#include "tools/release/json_writer.h"
#include "tools/release/release_json.h"
#include "tools/release/signing_key.h"

namespace orva {
namespace {

constexpr const char* kOverviewHelp =
    R"(orva-release: signs releases of Orva for its update service and checks the list.

Usage:
  orva-release keygen --out KEY.pem
  orva-release public-key --key KEY.pem
  orva-release sign --key KEY.pem --list LIST.json --installer FILE --version V
                    [--date YYYY-MM-DD] [--notes-file F] [--replace]
  orva-release verify --list LIST.json
                      (--program Orva-Setup.exe | --public-key HEX | --key KEY.pem)
                      [--installers DIR]
  orva-release COMMAND --help

keygen makes the signing key, public-key prints its public half again, sign
puts a signed release into the list that
the update service answers to "/list", verify reads a list as the program
does and says which release the program would install.

Exit status: 0 on success; 1 when verify finds that the program would install
nothing or not the newest listed version, or that an installer does not
match the list; 2 for bad input or a
failed command, which then changes no file and prints nothing on standard
output.
)";

constexpr const char* kKeygenHelp =
    R"(Usage: orva-release keygen --out KEY.pem

Makes a new ECDSA P-256 private key for signing releases and writes it to
KEY.pem (PEM, PKCS #8, unencrypted, mode 0600). An existing file is never
replaced. Prints the public key on standard output as the 128 hexadecimal
digits (X then Y) that the program is built with:

  cmake --preset windows -DORVA_RELEASE_PUBLIC_KEY=<the 128 digits>

Keep KEY.pem secret and backed up: whoever holds it can publish releases that
the program installs, and without it no program built with its public key
will accept a new release.
)";

// Its {placeholders} are filled in by withRules().
constexpr const char* kSignHelp =
    R"(Usage: orva-release sign --key KEY.pem --list LIST.json --installer FILE --version V
                         [--date YYYY-MM-DD] [--notes-file F] [--replace]

Signs a release of the installer FILE with KEY.pem and puts it into the
release list LIST.json. The signature covers the version V, the date (default:
today in UTC), the installer's size and SHA-256, and the release notes (the
UTF-8 text of F; default: none).

A release of the same version already in the list (compared as numbers, so
01.2.3 is 1.2.3) is replaced where it stands, and any further entry of that
version is removed; otherwise the release is added at the end. Everything
else in the list stays as it was, in order, even entries the program skips.
A missing LIST.json is created. A file that is not a list of releases is left
alone and the command fails. The list is written to a temporary file in the
same folder and renamed over LIST.json, so it is never left half written.

The installer of a version never changes once it is published: the service
lets clients and caches keep it for a year without asking again. So a version
that the list already gives with another size or SHA-256 is refused: clients
and caches may hold the old bytes, and the program would refuse them against
the new entry. Publish a new version instead. --replace signs it all the same,
for a version that you know nobody has downloaded yet. Signing the same
installer again (to change the date or the notes) needs no --replace.

Refused, because the program would skip the release or could not use it: a
version that is not {version form}, a date
that is not {date form}, an empty installer or one larger
than {largest installer} bytes, notes that are not UTF-8, and a list longer than the
{longest list} bytes that the program reads.

Publish the installer beside the list under the name Orva-Setup-V.exe.
)";

// |text| with each {name} replaced by the program's own rule or limit (from
// download/release_list.h), so that the help never restates them.
std::string withRules(std::string_view text) {
    const std::pair<std::string_view, std::string> kRules[] = {
        {"{version form}", versionForm()},
        {"{date form}", kDateForm},
        {"{largest installer}", std::to_string(kMaxReleaseSize)},
        {"{longest list}", std::to_string(kMaxReleaseListBytes)},
    };
    std::string filled(text);
    for (const auto& [name, value] : kRules) {
        for (std::size_t at = filled.find(name); at != std::string::npos;
             at = filled.find(name, at + value.size())) {
            filled.replace(at, name.size(), value);
        }
    }
    return filled;
}

constexpr const char* kPublicKeyHelp =
    R"(Usage: orva-release public-key --key KEY.pem

Prints the public half of the private key KEY.pem on standard output as the
128 hexadecimal digits (X then Y) that the program is built with, and its
fingerprint (the SHA-256 of the 64 key bytes, as BUILDINFO names it) on
standard error. Changes nothing.
)";

constexpr const char* kVerifyHelp =
    R"(Usage: orva-release verify --list LIST.json
                           (--program Orva-Setup.exe | --public-key HEX | --key KEY.pem)
                           [--installers DIR]

Reads LIST.json with the program's own reader and reports, for each entry of
its "releases", whether the program keeps it (every member has its form) and
whether its signature verifies against the public key: the one the built
program Orva-Setup.exe carries (the check that counts: a list signed with
another key by mistake fails it), given as 128 hexadecimal digits, or taken
from the private key KEY.pem. Then names the release the program would
choose: the newest that verifies, the first among equal versions.

With --installers, also checks that DIR/Orva-Setup-V.exe of every release that
verifies has the size and SHA-256 that the list gives, and names each one that
does not: its size or its SHA-256 next to the list's, or that it is missing.
A missing installer of a release older than the chosen one is allowed (old
installers may be taken down); one with other bytes is not, since clients and
caches may hold either.

Exit status: 0 when the program would choose the newest listed version (and,
with --installers, its installer matches and no installer has other bytes
than the list gives); 1 when it would choose none, or an older release than
the newest listed (the newest does not verify with this key), or the chosen
installer is missing or does not match, or another installer has other
bytes; 2 for bad input.
)";

// The options of one command: "--name value" pairs and "--name" flags, each
// at most once.
struct Options {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    bool help = false;

    bool has(const std::string& flag) const { return flags.count(flag) != 0; }

    const std::string* find(const std::string& name) const {
        const auto found = values.find(name);
        return found == values.end() ? nullptr : &found->second;
    }
};

bool parseOptions(const std::vector<std::string>& args, const std::vector<std::string_view>& known,
                  const std::vector<std::string_view>& knownFlags, Options& options,
                  std::string& error) {
    auto among = [](const std::string& arg, const std::vector<std::string_view>& names) {
        for (const std::string_view name : names) {
            if (arg == name) {
                return true;
            }
        }
        return false;
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (among(arg, knownFlags)) {
            if (!options.flags.insert(arg).second) {
                error = arg + " is given twice.";
                return false;
            }
            continue;
        }
        if (!among(arg, known)) {
            error = arg.rfind("--", 0) == 0 ? args[0] + " has no option " + arg + "."
                                            : "Unexpected argument '" + arg + "'.";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value.";
            return false;
        }
        if (!options.values.emplace(arg, args[i + 1]).second) {
            error = arg + " is given twice.";
            return false;
        }
        ++i;
    }
    return true;
}

bool requireOptions(const std::string& command, const Options& options,
                    std::initializer_list<const char*> required, std::string& error) {
    for (const char* name : required) {
        if (options.find(name) == nullptr) {
            error = command + " needs " + name + ".";
            return false;
        }
    }
    return true;
}

// True when |text| is well-formed UTF-8: no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned char lead = byte(i);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;  // allowed range of the second byte
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
        } else {
            return false;
        }
        if (text.size() - i < length || byte(i + 1) < low || byte(i + 1) > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string todayUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday);
    return text;
}

// The largest program verify --program reads: far more than Orva-Setup.exe.
constexpr std::size_t kMaxProgramBytes = 64u << 20;

// The release key that the built program at |path| carries (the record after
// kReleaseKeyTag, which stands exactly once in it).
bool programKey(const std::string& path, Bytes& publicKey, std::string& error) {
    FileText file;
    if (!readTextFile(path, kMaxProgramBytes, file, error)) {
        return false;
    }
    const std::string_view tag(kReleaseKeyTag, kReleaseKeyTagBytes);
    const std::size_t at = file.found && !file.tooLarge ? file.text.find(tag) : std::string::npos;
    if (at == std::string::npos || file.text.size() - at - tag.size() < kP256PublicKeyBytes ||
        file.text.find(tag, at + 1) != std::string::npos) {
        error = path + " is no Orva-Setup.exe built from this tree: it carries no release key " +
                "that verify can read.";
        return false;
    }
    const auto* first = reinterpret_cast<const std::uint8_t*>(file.text.data() + at + tag.size());
    publicKey.assign(first, first + kP256PublicKeyBytes);
    return true;
}

// The public key that verify checks against: from --public-key, --key or
// --program, exactly one of them.
bool verifyKey(const Options& options, Bytes& publicKey, std::string& error) {
    const std::string* hex = options.find("--public-key");
    const std::string* keyPath = options.find("--key");
    const std::string* program = options.find("--program");
    if ((hex != nullptr) + (keyPath != nullptr) + (program != nullptr) != 1) {
        error = "verify needs either --public-key or --key, or --program: one of them.";
        return false;
    }
    if (hex != nullptr) {
        return parsePublicKeyHex(*hex, publicKey, error);
    }
    if (program != nullptr) {
        return programKey(*program, publicKey, error);
    }
    SigningKey key;
    return loadSigningKey(*keyPath, key, error) && publicKeyOf(key, publicKey, error);
}

// The list document in |path|, or a new empty one when there is no file.
bool readListForUpdate(const std::string& path, JsonValue& document, std::string& error) {
    FileText file;
    if (!readTextFile(path, kMaxReleaseListBytes, file, error)) {
        return false;
    }
    if (!file.found) {
        document = JsonValue();
        document.set(kReleasesMember, JsonValue()).kind = JsonKind::kArray;
        return true;
    }
    if (file.tooLarge) {
        error = path + " is already longer than the " + std::to_string(kMaxReleaseListBytes) +
                " bytes that the program reads; it is left as it is.";
        return false;
    }
    std::vector<ReleaseInfo> releases;
    std::string why;
    if (!parseReleaseList(file.text, releases, why) || !parseJson(file.text, document, why)) {
        error = path + " is not a list of releases (" + why + "); it is left as it is.";
        return false;
    }
    return true;
}

// Puts the tool's error line for |why| into |err| and gives the failure status.
int failure(std::string& err, const std::string& why) {
    err = "orva-release: " + why + "\n";
    return kExitFailure;
}

// "Fingerprint: <the SHA-256 of the 64 key bytes>", the name BUILDINFO gives a key.
std::string fingerprintLine(const Bytes& publicKey) {
    Bytes digest;
    std::string error;
    computeSha256(publicKey.data(), publicKey.size(), digest, error);
    return "Fingerprint (SHA-256 of the 64 key bytes): " + toHex(digest) + "\n";
}

int publicKey(const Options& options, std::string& out, std::string& err) {
    std::string error;
    if (!requireOptions("public-key", options, {"--key"}, error)) {
        return failure(err, error + " See orva-release public-key --help.");
    }
    SigningKey key;
    Bytes bytes;
    if (!loadSigningKey(*options.find("--key"), key, error) || !publicKeyOf(key, bytes, error)) {
        return failure(err, error);
    }
    out = toHex(bytes) + "\n";
    err = fingerprintLine(bytes);
    return kExitSuccess;
}

int keygen(const Options& options, std::string& out, std::string& err) {
    std::string error;
    if (!requireOptions("keygen", options, {"--out"}, error)) {
        return failure(err, error + " See orva-release keygen --help.");
    }
    const std::string& path = *options.find("--out");
    Bytes publicKey;
    if (!generateSigningKey(path, publicKey, error)) {
        return failure(err, error);
    }
    out = toHex(publicKey) + "\n";
    err = "Wrote a new private key to " + path +
          " (mode 0600): keep it secret and backed up.\n"
          "Build the program with -DORVA_RELEASE_PUBLIC_KEY=<the 128 digits above>.\n";
    return kExitSuccess;
}

// What |entry|, an entry of the list of the same version as |release|, says
// about its installer when that differs from |release|'s installer: such as
// "300000 bytes, SHA-256 ab12...". Empty when the entry gives the same size
// and SHA-256, or gives none (an entry without them never described any
// bytes). Text from the list is written as JSON where it could be anything,
// so that no byte of it can act on the terminal.
std::string otherInstallerOf(const JsonValue& entry, const ReleaseInfo& release) {
    const JsonValue* size = entry.find(kSizeMember);
    const JsonValue* digest = entry.find(kSha256Member);
    const bool hasSize = size != nullptr && size->kind == JsonKind::kNumber;
    const bool hasDigest = digest != nullptr && digest->kind == JsonKind::kString;
    std::string lowerDigest = hasDigest ? digest->text : std::string();
    for (char& c : lowerDigest) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const bool otherSize = hasSize && size->number != static_cast<double>(release.size);
    const bool otherDigest = hasDigest && lowerDigest != release.sha256;
    if (!otherSize && !otherDigest) {
        return {};
    }
    std::string said;
    if (hasSize) {
        said = writeJson(*size) + " bytes";
    }
    if (hasDigest) {
        const bool isHex = lowerDigest.find_first_not_of("0123456789abcdef") == std::string::npos;
        said += (said.empty() ? "" : ", ") + std::string("SHA-256 ") +
                (isHex && !lowerDigest.empty() ? digest->text : jsonString(digest->text));
    }
    return said;
}

// What sign works on, filled in step by step.
struct Signing {
    std::string listPath;
    std::string installerPath;
    ReleaseInfo release;
    std::string replacedInstaller;  // the list's other installer of the version; empty: none
    int replaced = 0;               // entries of the version that the new one took over
    std::size_t entries = 0;        // entries of the list as written
};

// The version and date of the release from the options (the date defaults to
// today), refused in a form that the program would skip.
bool releaseFromOptions(const Options& options, ReleaseInfo& release, std::string& error) {
    release.version = *options.find("--version");
    if (!isValidVersion(release.version)) {
        error = "The version " + jsonString(release.version) + " is not " + versionForm() +
                ", such as 2.4.1; the program would skip it.";
        return false;
    }
    const std::string* date = options.find("--date");
    release.date = date != nullptr ? *date : todayUtc();
    std::uint32_t year = 0, month = 0, day = 0;
    if (!parseDate(release.date, year, month, day)) {
        error = "The date " + jsonString(release.date) + " is not " + kDateForm +
                "; the program would skip the release.";
        return false;
    }
    return true;
}

// The text of --notes-file into |notes|; without the option |notes| stays as
// it is.
bool readNotes(const Options& options, std::string& notes, std::string& error) {
    const std::string* notesPath = options.find("--notes-file");
    if (notesPath == nullptr) {
        return true;
    }
    FileText file;
    if (!readTextFile(*notesPath, kMaxReleaseListBytes, file, error)) {
        return false;
    }
    if (!file.found) {
        error = *notesPath + " does not exist.";
        return false;
    }
    if (file.tooLarge) {
        error = *notesPath + " is longer than the whole list may be.";
        return false;
    }
    if (!isUtf8(file.text)) {
        error = *notesPath + " is not UTF-8 text.";
        return false;
    }
    notes = std::move(file.text);
    return true;
}

// The size and SHA-256 of the installer at |path| into |release|, refused
// unless the program accepts an installer of that size.
bool measureInstaller(const std::string& path, ReleaseInfo& release, std::string& error) {
    // The size is checked before the installer is read, and again after, in
    // case it changed in between.
    std::uint64_t size = 0;
    bool found = false;
    if (!regularFileSize(path, size, found, error)) {
        return false;
    }
    if (!found) {
        error = path + " does not exist.";
        return false;
    }
    if (size == 0 || size > kMaxReleaseSize) {
        error = path + " is " + std::to_string(size) +
                " bytes long; the program accepts installers of 1 to " +
                std::to_string(kMaxReleaseSize) + " bytes.";
        return false;
    }
    if (!sha256OfFile(path, release.size, release.sha256, error)) {
        return false;
    }
    if (release.size == 0 || release.size > kMaxReleaseSize) {
        error = path + " changed while it was read.";
        return false;
    }
    return true;
}

// The "releases" array of a document that readListForUpdate gave, to be
// changed in place: its first member of that name, as the program reads it.
JsonValue* releasesOf(JsonValue& document) {
    for (std::size_t i = 0; i < document.names.size(); ++i) {
        if (document.names[i] == kReleasesMember) {
            return &document.items[i];
        }
    }
    return nullptr;
}

// True when the program reads the version of |entry| as |version|.
bool hasVersion(const JsonValue& entry, const std::string& version) {
    const std::string own = stringMember(entry, kVersionMember);
    return isValidVersion(own) && compareVersions(own, version) == 0;
}

// What the first entry of |release|'s version that gives another installer
// says of it (see otherInstallerOf); empty when no entry does.
std::string otherInstallerInList(const JsonValue& releases, const ReleaseInfo& release) {
    for (const JsonValue& element : releases.items) {
        if (hasVersion(element, release.version)) {
            std::string other = otherInstallerOf(element, release);
            if (!other.empty()) {
                return other;
            }
        }
    }
    return {};
}

// Why sign does not give a published version another installer unless told to.
std::string installerChangeRefused(const Signing& signing) {
    const ReleaseInfo& release = signing.release;
    return signing.listPath + " already has Orva " + release.version + " with another installer (" +
           signing.replacedInstaller + "); " + signing.installerPath + " is " +
           std::to_string(release.size) + " bytes, SHA-256 " + release.sha256 +
           ". An installer that was published may be held by clients and caches for "
           "a long time, and the program would refuse those old bytes against the new "
           "entry. Publish this installer as a new version instead, or pass --replace "
           "if you know that nobody has downloaded the old one. Nothing was written.";
}

// Signs |release| with |key| and checks the signature as the program would,
// against |publicKey|.
bool signRelease(const SigningKey& key, const Bytes& publicKey, ReleaseInfo& release,
                 std::string& error) {
    Bytes signature;
    if (!signDigest(key, sha256(signedPayload(release)), signature, error)) {
        return false;
    }
    release.signature = encodeBase64(signature);
    if (!verifyReleaseWithKey(release, publicKey, error)) {
        error = "The new signature does not verify (" + error + "); nothing was written.";
        return false;
    }
    return true;
}

// Puts |entry| in place of the first entry of |version| in |releases|, or at
// the end when there is none; later entries of that version would only hide
// it or be hidden by it, so they go. Gives the number of entries of that
// version there were.
int putRelease(JsonValue& releases, JsonValue&& entry, const std::string& version) {
    JsonValue updated;
    updated.kind = JsonKind::kArray;
    int replaced = 0;
    for (JsonValue& element : releases.items) {
        if (hasVersion(element, version)) {
            if (replaced++ == 0) {
                updated.append(std::move(entry));
            }
            continue;
        }
        updated.append(std::move(element));
    }
    if (replaced == 0) {
        updated.append(std::move(entry));
    }
    releases = std::move(updated);
    return replaced;
}

// Writes |document| over the list at |path| in one step, unless it has grown
// longer than the program reads.
bool writeList(const std::string& path, const JsonValue& document, std::string& error) {
    const std::string listText = writeJson(document) + "\n";
    if (listText.size() > kMaxReleaseListBytes) {
        error = "With this release " + path + " would be " + std::to_string(listText.size()) +
                " bytes long, more than the " + std::to_string(kMaxReleaseListBytes) +
                " bytes that the program reads; it is left as it is.";
        return false;
    }
    return replaceFile(path, listText, error);
}

// What sign says once the list is written.
std::string signReport(const Signing& signing) {
    const ReleaseInfo& release = signing.release;
    std::string out = "Signed Orva " + release.version + " (" + release.date + ", " +
                      std::to_string(release.size) + " bytes, SHA-256 " + release.sha256 + ").\n";
    out += (signing.replaced == 0 ? "Added it to " : "Replaced the entry of the same version in ") +
           signing.listPath + ", which now has " + std::to_string(signing.entries) +
           (signing.entries == 1 ? " entry.\n" : " entries.\n");
    if (signing.replaced > 1) {
        out += "Removed " + std::to_string(signing.replaced - 1) +
               " further entries of the same version.\n";
    }
    if (!signing.replacedInstaller.empty()) {
        out += "The list gave another installer for this version (" + signing.replacedInstaller +
               "): clients and caches that hold it will be refused by the program until they "
               "fetch the new one.\n";
    }
    out += "Publish the installer beside the list as " + installerFileName(release.version) + ".\n";
    return out;
}

int sign(const Options& options, std::string& out, std::string& err) {
    std::string error;
    if (!requireOptions("sign", options, {"--key", "--list", "--installer", "--version"}, error)) {
        return failure(err, error + " See orva-release sign --help.");
    }
    Signing signing;
    signing.listPath = *options.find("--list");
    signing.installerPath = *options.find("--installer");
    ReleaseInfo& release = signing.release;
    SigningKey key;
    Bytes publicKey;
    JsonValue document;
    if (!releaseFromOptions(options, release, error) ||
        !loadSigningKey(*options.find("--key"), key, error) ||
        !publicKeyOf(key, publicKey, error) || !readNotes(options, release.notes, error) ||
        !measureInstaller(signing.installerPath, release, error) ||
        !readListForUpdate(signing.listPath, document, error)) {
        return failure(err, error);
    }
    JsonValue& releases = *releasesOf(document);
    // The service lets clients and caches keep an installer for a year
    // without asking again, so a version's bytes must never change once
    // published: whoever holds the old bytes would be refused by the new
    // entry, and the new bytes would not reach them.
    signing.replacedInstaller = otherInstallerInList(releases, release);
    if (!signing.replacedInstaller.empty() && !options.has("--replace")) {
        return failure(err, installerChangeRefused(signing));
    }
    if (!signRelease(key, publicKey, release, error)) {
        return failure(err, error);
    }
    signing.replaced = putRelease(releases, releaseToJson(release), release.version);
    signing.entries = releases.items.size();
    if (!writeList(signing.listPath, document, error)) {
        return failure(err, error);
    }
    out = signReport(signing);
    return kExitSuccess;
}

// What verify finds of the installer of a release that verifies.
enum class InstallerVerdict {
    kMatches,
    kMissing,
    kUnreadable,  // its size or its SHA-256 could not be had
    kOtherSize,
    kOtherSha256,
};

struct InstallerCheck {
    InstallerVerdict verdict = InstallerVerdict::kMatches;
    std::string fault;       // kUnreadable: why
    std::uint64_t size = 0;  // the file's length in bytes
    std::string sha256;      // the file's SHA-256, once it is read
};

// The installer at |path| against the size and SHA-256 that the list gives
// for |release|.
InstallerCheck checkInstaller(const std::string& path, const ReleaseInfo& release) {
    InstallerCheck check;
    bool found = false;
    if (!regularFileSize(path, check.size, found, check.fault)) {
        check.verdict = InstallerVerdict::kUnreadable;
    } else if (!found) {
        check.verdict = InstallerVerdict::kMissing;
    } else if (check.size != release.size) {
        check.verdict = InstallerVerdict::kOtherSize;
    } else if (!sha256OfFile(path, check.size, check.sha256, check.fault)) {
        check.verdict = InstallerVerdict::kUnreadable;
    } else if (check.sha256 != release.sha256) {
        check.verdict = InstallerVerdict::kOtherSha256;
    }
    return check;
}

// What verify says of the installer after its name.
std::string verdictText(const InstallerCheck& check, const ReleaseInfo& release) {
    switch (check.verdict) {
        case InstallerVerdict::kMatches:
            return "matches";
        case InstallerVerdict::kMissing:
            return "missing";
        case InstallerVerdict::kUnreadable:
            return check.fault;
        case InstallerVerdict::kOtherSize:
            return "does not match: it is " + std::to_string(check.size) +
                   " bytes long, the list says " + std::to_string(release.size);
        case InstallerVerdict::kOtherSha256:
            return "does not match: its SHA-256 is " + check.sha256 + ", the list says " +
                   release.sha256;
    }
    return {};
}

// What verify checks every entry against.
struct VerifyInputs {
    Bytes publicKey;
    const std::string* installersFolder = nullptr;  // --installers; null without it
    std::optional<std::size_t> chosen;  // the program's choice among the releases it keeps
};

// What verify has found so far, entry by entry.
struct VerifyTally {
    std::string report;
    std::size_t kept = 0;                    // entries the program keeps
    std::optional<std::size_t> chosenEntry;  // of "releases", once the chosen one verified
    bool chosenInstallerMatches = true;
    std::vector<std::string> otherBytes;  // present installers, but the chosen, that differ
};

// The report line of an entry that the program skips for the reason |skipped|.
std::string skippedLine(const std::string& number, const JsonValue& element,
                        const std::string& skipped) {
    // The version as a JSON string, so that no byte of it can act on the
    // terminal.
    const JsonValue* version = element.find(kVersionMember);
    return "  " + number + ". " +
           (version != nullptr && version->kind == JsonKind::kString
                ? jsonString(version->text) + " "
                : std::string()) +
           "skipped by the program: " + skipped + "\n";
}

// Checks the installer of |release| in |folder| and notes what it found.
void checkPublishedInstaller(const std::string& folder, const ReleaseInfo& release, bool isChosen,
                             VerifyTally& tally) {
    const std::string name = installerFileName(release.version);
    const InstallerCheck check = checkInstaller(folder + "/" + name, release);
    tally.report += "     installer " + name + ": " + verdictText(check, release) + "\n";
    if (check.verdict == InstallerVerdict::kMatches) {
        return;
    }
    if (isChosen) {
        tally.chosenInstallerMatches = false;
    } else if (check.verdict != InstallerVerdict::kMissing) {
        // An old installer may have been taken down, but other bytes (or
        // no readable file) under a published name mean that it was
        // replaced.
        tally.otherBytes.push_back(name);
    }
}

// Reports on |element|, the entry at |index| of "releases".
void verifyEntry(const JsonValue& element, std::size_t index, const VerifyInputs& inputs,
                 VerifyTally& tally) {
    const std::string number = std::to_string(index + 1);
    ReleaseInfo release;
    std::string skipped;
    if (!parseRelease(element, release, skipped)) {
        tally.report += skippedLine(number, element, skipped);
        return;
    }
    const bool isChosen = inputs.chosen && *inputs.chosen == tally.kept;
    ++tally.kept;
    tally.report += "  " + number + ". " + release.version + " (" + release.date + ", " +
                    std::to_string(release.size) + " bytes): ";
    std::string why;
    if (!verifyReleaseWithKey(release, inputs.publicKey, why)) {
        tally.report += "does not verify: " + why + "\n";
        return;
    }
    tally.report += "verifies\n";
    if (isChosen) {
        tally.chosenEntry = index;
    }
    if (inputs.installersFolder != nullptr) {
        checkPublishedInstaller(*inputs.installersFolder, release, isChosen, tally);
    }
}

// The newest version among |releases| (which is not empty), signed or not.
const std::string& newestListedVersion(const std::vector<ReleaseInfo>& releases) {
    std::size_t newest = 0;
    for (std::size_t i = 1; i < releases.size(); ++i) {
        if (compareVersions(releases[i].version, releases[newest].version) > 0) {
            newest = i;
        }
    }
    return releases[newest].version;
}

// The end of verify's report, into |out|, and its exit status.
int concludeVerify(const VerifyTally& tally, const std::vector<ReleaseInfo>& releases,
                   const VerifyInputs& inputs, std::string& out) {
    if (!tally.chosenEntry) {
        out = tally.report + "The program would install nothing: no release verifies.\n";
        return kExitNothingToInstall;
    }
    out = tally.report + "The program would choose " + releases[*inputs.chosen].version +
          " (entry " + std::to_string(*tally.chosenEntry + 1) + ").\n";
    // A newer version that does not verify is the mistake to catch: signed
    // with another key, or changed since, users are silently given an older
    // release.
    const std::string& newest = newestListedVersion(releases);
    const bool newestChosen = compareVersions(newest, releases[*inputs.chosen].version) == 0;
    if (!newestChosen) {
        out += "The newest listed version, " + newest +
               ", does not verify with this key: users would be given " +
               releases[*inputs.chosen].version + " instead.\n";
    }
    if (!tally.chosenInstallerMatches) {
        out +=
            "Its installer is missing or does not match: the program would refuse the "
            "download.\n";
    }
    if (!tally.otherBytes.empty()) {
        std::string names;
        for (const std::string& name : tally.otherBytes) {
            names += (names.empty() ? "" : ", ") + name;
        }
        out += "Not as the list gives: " + names +
               ". A client that still has an older list, or a cache, may hold either "
               "bytes: put back the installers that were signed.\n";
    }
    return newestChosen && tally.chosenInstallerMatches && tally.otherBytes.empty()
               ? kExitSuccess
               : kExitNothingToInstall;
}

// The list at |path| for verify, which has nothing to check without one.
bool readListToVerify(const std::string& path, FileText& file, std::string& error) {
    if (!readTextFile(path, kMaxReleaseListBytes, file, error)) {
        return false;
    }
    if (!file.found) {
        error = path + " does not exist.";
        return false;
    }
    return true;
}

int verify(const Options& options, std::string& out, std::string& err) {
    std::string error;
    if (!requireOptions("verify", options, {"--list"}, error)) {
        return failure(err, error + " See orva-release verify --help.");
    }
    const std::string& listPath = *options.find("--list");
    VerifyInputs inputs;
    FileText file;
    if (!verifyKey(options, inputs.publicKey, error) || !readListToVerify(listPath, file, error)) {
        return failure(err, error);
    }
    if (file.tooLarge) {
        out = listPath + " is longer than the " + std::to_string(kMaxReleaseListBytes) +
              " bytes that the program reads: the program would install nothing.\n";
        return kExitNothingToInstall;
    }
    std::vector<ReleaseInfo> releases;
    if (!parseReleaseList(file.text, releases, error)) {
        return failure(err, listPath + " is not a list of releases (" + error + ").");
    }
    JsonValue document;
    parseJson(file.text, document, error);  // cannot fail: parseReleaseList read it
    const JsonValue& entries = *document.find(kReleasesMember);
    inputs.installersFolder = options.find("--installers");
    // The program's own choice, made on the releases that it keeps.
    inputs.chosen = pickNewestReleaseWithKey(releases, inputs.publicKey);
    VerifyTally tally;
    tally.report = listPath + ": " + std::to_string(entries.size()) +
                   (entries.size() == 1 ? " entry" : " entries") + " in \"releases\"\n";
    for (std::size_t i = 0; i < entries.items.size(); ++i) {
        verifyEntry(entries.items[i], i, inputs, tally);
    }
    return concludeVerify(tally, releases, inputs, out);
}

}  // namespace

int runReleaseTool(const std::vector<std::string>& args, std::string& out, std::string& err) {
    out.clear();
    err.clear();
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) = kOverviewHelp;
        return args.empty() ? kExitFailure : kExitSuccess;
    }
    struct Command {
        const char* name;
        std::vector<std::string_view> options;  // each takes a value
        std::vector<std::string_view> flags;    // each stands alone
        std::string help;
        int (*run)(const Options&, std::string&, std::string&);
    };
    const Command kCommands[] = {
        {"keygen", {"--out"}, {}, kKeygenHelp, keygen},
        {"public-key", {"--key"}, {}, kPublicKeyHelp, publicKey},
        {"sign",
         {"--key", "--list", "--installer", "--version", "--date", "--notes-file"},
         {"--replace"},
         withRules(kSignHelp),
         sign},
        {"verify",
         {"--list", "--program", "--public-key", "--key", "--installers"},
         {},
         kVerifyHelp,
         verify},
    };
    for (const Command& command : kCommands) {
        if (args[0] != command.name) {
            continue;
        }
        Options options;
        std::string error;
        if (!parseOptions(args, command.options, command.flags, options, error)) {
            return failure(err, error + " See orva-release " + command.name + " --help.");
        }
        if (options.help) {
            out = command.help;
            return kExitSuccess;
        }
        const int status = command.run(options, out, err);
        if (status == kExitFailure) {
            out.clear();
        }
        return status;
    }
    return failure(
        err,
        "there is no command " + jsonString(args[0]) +
            "; the commands are keygen, public-key, sign and verify. See orva-release --help.");
}

}  // namespace orva

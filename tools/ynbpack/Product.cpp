// product.txt, the configuration, and check and info.
#include "Product.h"
#include "Commands.h"
#include "Keys.h"
#include "Texts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "Artwork.h"
#include "Host.h"
#include "Unicode.h"
#include "VersionInfo.h"
#include "config/SetupText.h"
#include "install/InstallPaths.h"
#include "install/Manifest.h"
#include "sys/Names.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

enum class Kind { Identifier, Version, Text, Url };

struct InfoKey {
    const char* name;
    Kind kind;
    long minChars;
    long maxChars;
    bool registry; // written into the uninstall entry, in Shift-JIS
};

// The limits are those of the package manager's manifests.
constexpr InfoKey kInfoKeys[] = {
    { "id", Kind::Identifier, 3, 128, false },
    { "version", Kind::Version, 1, 128, true },
    { "publisher", Kind::Text, 2, 256, true },
    { "url", Kind::Url, 1, 2048, true },
    { "license", Kind::Text, 3, 512, false },
    { "license-url", Kind::Url, 1, 2048, false },
    { "description", Kind::Text, 3, 256, false },
    { "copyright", Kind::Text, 3, 512, false },
};

constexpr char kReservedCharacters[] = "\\/:*?\"<>|";

// Printable ASCII without blanks and without what Windows forbids in names.
bool IsNameCharacter(char c)
{
    return c > 0x20 && c < 0x7F && std::strchr(kReservedCharacters, c) == nullptr;
}

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool IsIdentifier(const std::string& value)
{
    int parts = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = std::min(value.find('.', start), value.size());
        const std::size_t length = dot - start;
        if (length < 1 || length > 32
            || !std::all_of(value.begin() + static_cast<std::ptrdiff_t>(start),
                value.begin() + static_cast<std::ptrdiff_t>(dot), IsNameCharacter))
            return false;
        ++parts;
        if (dot == value.size())
            break;
        start = dot + 1;
    }
    return parts >= 2 && parts <= 8;
}

std::string ValueProblem(const InfoKey& key, const std::string& value)
{
    if (value.empty())
        return "no value";
    std::u32string points;
    if (!Utf8ToCodePoints(value, points))
        return "not UTF-8";
    if (std::any_of(points.begin(), points.end(), IsControl))
        return "holds a control character";
    const auto characters = static_cast<long>(points.size());
    if (characters < key.minChars || characters > key.maxChars)
        return "has " + std::to_string(characters) + " characters; " + std::to_string(key.minChars) + " to "
            + std::to_string(key.maxChars) + " are allowed";
    switch (key.kind) {
    case Kind::Identifier:
        if (!IsIdentifier(value))
            return "'" + value
                + "' is no package identifier: 2 to 8 parts of 1 to 32 characters joined by dots, in ASCII "
                  "without blanks and \\ / : * ? \" < > |";
        break;
    case Kind::Version:
        if (!std::all_of(value.begin(), value.end(), IsNameCharacter))
            return "'" + value + "' is no version: ASCII without blanks and \\ / : * ? \" < > |";
        // The programs' version resource holds it as four 16-bit numbers.
        if (std::array<uint16_t, 4> parts; !ParseFileVersion(value, parts))
            return "'" + value + "' is no version of Windows' programs: 1 to 4 numbers of 0 to 65535 joined by dots";
        break;
    case Kind::Url:
        if (!IsWebAddress(value))
            return "'" + value + "' is no http:// or https:// address (ASCII, without blanks)";
        break;
    case Kind::Text:
        break;
    }
    if (key.registry) {
        std::string shiftJis;
        if (!Utf8ToShiftJis(value, shiftJis))
            return "has characters without a Shift-JIS form, which the uninstall entry needs";
        if (shiftJis.size() >= sys::kPathSize)
            return "has " + std::to_string(shiftJis.size()) + " bytes in Shift-JIS; the uninstall entry takes at most "
                + std::to_string(sys::kPathSize - 1);
    }
    return {};
}

// A document or folder of the product that must be there.
void RequirePresent(const std::string& path, bool folder, const char* role, std::vector<std::string>& problems)
{
    std::error_code ec;
    const fs::file_status status = fs::status(PathOf(path), ec);
    if (!fs::exists(status))
        problems.push_back(path + ": missing (" + role + ")");
    else if (folder ? !fs::is_directory(status) : !fs::is_regular_file(status))
        problems.push_back(path + ": not a " + (folder ? "folder" : "file") + " (" + role + ")");
}

bool IsFile(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(PathOf(path), ec);
}

} // namespace

bool IsWebAddress(const std::string& value)
{
    std::string lower(value.substr(0, 8));
    std::transform(lower.begin(), lower.end(), lower.begin(),
        [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    const std::size_t scheme = lower.rfind("https://", 0) == 0 ? 8 : lower.rfind("http://", 0) == 0 ? 7 : 0;
    return scheme > 0 && value.size() > scheme
        && std::all_of(value.begin(), value.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

std::string ProductInfo::Get(const std::string& key) const
{
    const auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
}

ProductInfo ReadProductInfo(const std::string& product, std::vector<std::string>& problems)
{
    ProductInfo info;
    const std::string path = product + "/product.txt";
    std::error_code ec;
    if (!fs::exists(PathOf(path), ec))
        return info;
    if (!IsFile(path)) {
        problems.push_back(path + ": not a file");
        return info;
    }
    info.present = true;
    const Bytes text = ReadFile(path);
    for (const NamedValue& item : ReadNamedValues(text, false)) {
        const std::string where = path + ":" + std::to_string(item.line) + ": ";
        if (!item.fault.empty()) {
            problems.push_back(where + item.fault);
            continue;
        }
        const auto key = std::find_if(
            std::begin(kInfoKeys), std::end(kInfoKeys), [&](const InfoKey& k) { return item.name == k.name; });
        if (key == std::end(kInfoKeys)) {
            std::string known;
            for (const InfoKey& k : kInfoKeys)
                known += (known.empty() ? "" : ", ") + std::string(k.name);
            problems.push_back(where + "unknown key '" + item.name + "' (" + known + ")");
            continue;
        }
        if (info.values.count(item.name) != 0) {
            problems.push_back(where + "the key " + item.name + " is given twice");
            continue;
        }
        const std::string problem = ValueProblem(*key, item.value);
        if (!problem.empty()) {
            problems.push_back(where + item.name + ": " + problem);
            continue;
        }
        info.values[item.name] = item.value;
    }
    return info;
}

ProductInfo ReadProductInfo(const std::string& product)
{
    std::vector<std::string> problems;
    ProductInfo info = ReadProductInfo(product, problems);
    if (!problems.empty())
        ThrowProblems(product + "/product.txt has problems", problems);
    return info;
}

SetupRecord ReadConfiguration(const std::string& path)
{
    const Bytes text = ReadFile(path);
    if (text.size() > static_cast<std::size_t>(kSetupTextMaxLength))
        throw UsageError(path + ": the configuration text has " + std::to_string(text.size()) + " bytes; at most "
            + std::to_string(kSetupTextMaxLength) + " fit the program");
    char buffer[kSetupBufferSize] = {};
    std::memcpy(buffer, text.data(), text.size());
    SetupRecord record;
    (void)ParseSetupText(buffer, record);
    return record;
}

// A manifest source (Shift-JIS bytes, as setup.exe opens it) by the UTF-8 name
// that the host's payload tree gives the file; ASCII and bytes that are no
// Shift-JIS stay as they are. Converted before the backslashes are read, since
// a Shift-JIS trail byte may be 0x5C.
std::string HostName(const std::string& source)
{
    std::string converted;
    return ShiftJisToUtf8(source, converted) ? converted : source;
}

fs::path PayloadPath(const std::string& relative)
{
    std::string generic = relative;
    std::replace(generic.begin(), generic.end(), '\\', '/');
    const fs::path path = PathOf(generic);
    if (generic.empty() || path.is_absolute() || generic.find(':') != std::string::npos)
        throw UsageError("'" + relative + "' is not a relative path inside the payload");
    for (const fs::path& part : path)
        if (part == ".." || part == "." || part.empty())
            throw UsageError("'" + relative + "' is not a relative path inside the payload");
    return path;
}

fs::path StagingPath(const SetupRecord& record)
{
    char first[install::kPathSize];
    if (!install::FirstComponent(record.ProductFolder, first) || first[0] == '\0')
        throw UsageError("the product folder (value 4) is empty or too long");
    return PayloadPath(HostName(first) + "/ins");
}

void ManifestSourceProblems(
    const std::string& manifestPath, const Bytes& plain, const fs::path& staging, std::vector<std::string>& problems)
{
    ManifestSourceProblems(manifestPath, plain, problems, [&staging](const fs::path& relative, bool folder) {
        std::error_code ec;
        return folder ? fs::is_directory(staging / relative, ec) : fs::is_regular_file(staging / relative, ec);
    });
}

void ManifestSourceProblems(const std::string& manifestPath, const Bytes& plain, std::vector<std::string>& problems,
    const std::function<bool(const fs::path& relative, bool folder)>& holds)
{
    std::string text(plain.begin(), plain.end());
    install::ManifestEntry entries[install::kManifestMaxEntries];
    const install::ManifestSplit split
        = install::SplitManifest(text.data(), static_cast<int32_t>(text.size()), entries);
    for (int i = 0; i < split.Count; ++i) {
        if (entries[i].Source == nullptr)
            continue;
        std::string source = entries[i].Source;
        const bool folder = install::IsFolderSource(source.c_str());
        if (folder)
            source.pop_back();
        source = HostName(source);
        const std::string where = manifestPath + ": line " + std::to_string(i + 1) + ": ";
        fs::path path;
        try {
            path = PayloadPath(source);
        } catch (const UsageError&) {
            problems.push_back(where + "the source '" + entries[i].Source + "' does not lie in the staging folder");
            continue;
        }
        if (!holds(path, folder))
            problems.push_back(where + "the payload holds no " + (folder ? "folder" : "file") + " '" + source
                + "' in its staging folder");
    }
}

std::vector<std::string> ProductProblems(const std::string& product, bool payloadComplete)
{
    std::vector<std::string> problems;
    std::error_code ec;
    if (!fs::is_directory(PathOf(product), ec)) {
        problems.push_back(product + ": not a folder");
        return problems;
    }
    auto at = [&product](const char* name) { return product + "/" + name; };
    auto attempt = [&problems](auto&& work) {
        try {
            work();
        } catch (const UsageError& e) {
            problems.push_back(e.what());
        }
    };

    fs::path staging;
    RequirePresent(at("setup.cfg"), false, "the configuration text", problems);
    if (IsFile(at("setup.cfg")))
        attempt([&] {
            const SetupRecord record = ReadConfiguration(at("setup.cfg"));
            try {
                staging = StagingPath(record);
            } catch (const UsageError& e) {
                problems.push_back(at("setup.cfg") + ": " + e.what());
            }
        });
    RequirePresent(at("keys.txt"), false, "the three scrambling keys", problems);
    if (IsFile(at("keys.txt")))
        attempt([&] { (void)ReadKeys(at("keys.txt"), problems); });
    RequirePresent(at("setup.txt"), false, "the first licence document", problems);
    RequirePresent(at("license.txt"), false, "the second licence document", problems);

    const std::string payload = at("payload");
    if (payloadComplete || fs::exists(PathOf(payload), ec))
        RequirePresent(payload, true, "the files to install", problems);
    RequirePresent(at("manifest.txt"), false, "the plain manifest", problems);
    if (IsFile(at("manifest.txt")))
        attempt([&] {
            const Bytes text = ReadFile(at("manifest.txt"));
            const std::string fault = install::CheckManifest(reinterpret_cast<const char*>(text.data()), text.size());
            if (!fault.empty())
                problems.push_back(at("manifest.txt") + ": " + fault);
            else if (payloadComplete && !staging.empty() && fs::is_directory(PathOf(payload), ec))
                ManifestSourceProblems(at("manifest.txt"), text, PathOf(payload) / staging, problems);
        });

    attempt([&] { (void)ReadProductInfo(product, problems); });
    CheckArtwork(at("art"), problems);
    return problems;
}

void CheckProduct(const std::string& product, bool payloadComplete)
{
    const std::vector<std::string> problems = ProductProblems(product, payloadComplete);
    if (!problems.empty())
        ThrowProblems("the product " + product + " has " + std::to_string(problems.size()) + " problem"
                + (problems.size() == 1 ? "" : "s"),
            problems);
}

// check PRODUCT: the payload may come from the product's own programs when
// it builds any.
int CommandCheck(std::vector<std::string> args)
{
    if (args.size() != 1)
        throw UsageError("usage: ynbpack check PRODUCT");
    std::error_code ec;
    CheckProduct(args[0], !fs::exists(PathOf(args[0] + "/program/CMakeLists.txt"), ec));
    std::cout << args[0] << ": ready to build\n";
    return 0;
}

// info PRODUCT: name= and folder= from the configuration (UTF-8), then
// product.txt's values, one "key=value" a line, for scripts.
int CommandInfo(std::vector<std::string> args)
{
    if (args.size() != 1)
        throw UsageError("usage: ynbpack info PRODUCT");
    const std::string& product = args[0];
    const SetupRecord record = ReadConfiguration(product + "/setup.cfg");
    const ProductInfo info = ReadProductInfo(product);
    std::string name;
    std::string folder;
    char first[install::kPathSize];
    if (!ShiftJisToUtf8(record.ProductName, name) || !install::FirstComponent(record.ProductFolder, first)
        || !ShiftJisToUtf8(first, folder))
        throw UsageError(product + "/setup.cfg: the product name or folder is not Shift-JIS");
    std::cout << "name=" << name << "\nfolder=" << folder << '\n';
    for (const InfoKey& key : kInfoKeys)
        if (info.values.count(key.name) != 0)
            std::cout << key.name << '=' << info.Get(key.name) << '\n';
    std::cout.flush();
    if (!std::cout)
        throw FileError("cannot write to standard output");
    return 0;
}

} // namespace ynbpack

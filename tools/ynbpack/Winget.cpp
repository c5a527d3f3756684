// winget: the Windows package manager's manifests (format 1.28.0) for the
// zips of a product's distributions, one for each architecture.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Commands.h"
#include "Errors.h"
#include "Files.h"
#include "Host.h"
#include "PeImage.h"
#include "Programs.h"
#include "Texts.h"
#include "Unicode.h"
#include "package/Sha256.h"
#include "Product.h"
#include "install/InstallPaths.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

constexpr char kManifestVersion[] = "1.28.0";
constexpr char kLocale[] = "ja-JP";
constexpr char kSetupName[] = "setup.exe";

struct Installer {
    std::string architecture;
    std::string zip; // the zip, or the setup program
    std::string url;
    std::string sha256;
    bool exe; // a single-file setup program
};

// A YAML double-quoted scalar of UTF-8 text: what YAML would read as a line
// break or could not show is escaped.
std::string Quoted(const std::string& text)
{
    std::u32string points;
    if (!Utf8ToCodePoints(text, points))
        points.assign(text.begin(), text.end()); // checked before: never taken
    std::string out = "\"";
    for (const char32_t c : points) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0xFEFF) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            AppendUtf8(c, out);
        }
    }
    return out + "\"";
}

// Empty when the zip's central directory names setup.exe at its top level.
std::string ZipProblem(const Bytes& zip)
{
    if (zip.size() < 22 || std::memcmp(zip.data(), "PK\x03\x04", 4) != 0)
        return "not a zip file";
    // The end record lies within the last 22 + 65,535 bytes (its comment).
    std::size_t end = zip.size();
    for (std::size_t at = zip.size() - 22;; --at) {
        if (ReadLe32(zip, at) == 0x06054B50 && at + 22 + ReadLe16(zip, at + 20) == zip.size()) {
            end = at;
            break;
        }
        if (at == 0 || zip.size() - at >= 22 + 0xFFFF)
            break;
    }
    if (end == zip.size())
        return "not a zip file (no end of its central directory)";
    const uint64_t count = ReadLe16(zip, end + 10);
    const uint64_t size = ReadLe32(zip, end + 12);
    const uint64_t offset = ReadLe32(zip, end + 16);
    if (count == 0xFFFF || offset == 0xFFFFFFFF)
        return "a zip64 archive, which is not read here";
    if (offset + size > end)
        return "its central directory lies outside the file";
    const uint64_t directoryEnd = offset + size;
    for (uint64_t i = 0, at = offset; i < count; ++i) {
        if (at + 46 > directoryEnd || ReadLe32(zip, at) != 0x02014B50)
            return "its central directory is damaged";
        const uint64_t nameLength = ReadLe16(zip, at + 28);
        if (at + 46 + nameLength > directoryEnd)
            return "its central directory is damaged";
        if (std::string(zip.begin() + static_cast<std::ptrdiff_t>(at + 46),
                zip.begin() + static_cast<std::ptrdiff_t>(at + 46 + nameLength))
            == kSetupName)
            return {};
        at += 46 + nameLength + ReadLe16(zip, at + 30) + ReadLe16(zip, at + 32);
    }
    return std::string("holds no ") + kSetupName + " at its top level";
}

std::string Sha256Hex(const Bytes& data)
{
    unsigned char digest[kSha256Size];
    Sha256::Hash(data.data(), data.size(), digest);
    std::string hex;
    for (unsigned char byte : digest) {
        hex += "0123456789ABCDEF"[byte >> 4];
        hex += "0123456789ABCDEF"[byte & 15];
    }
    return hex;
}

// Empty when the program is a setup.exe that holds its payload (built with
// --single-file); otherwise why not.
std::string SingleFileProblem(const Bytes& program, const std::string& path)
{
    try {
        const PeImage image(program, path);
        config::ProductData data;
        if (ReadProductData(image, data) != config::ProductAreaProblem::None)
            return "holds no product: not a setup program made by ynbpack build";
        if (!data.singleFile)
            return "needs the data00.dat beside it: give the zip of its distribution, or build it with --single-file";
        return {};
    } catch (const UsageError& e) {
        return e.what();
    }
}

// "ARCH=FILE,URL"; the file's path holds no comma. FILE is the zip of a
// distribution or a single-file setup.exe.
Installer ParseInstaller(const std::string& argument)
{
    const auto eq = argument.find('=');
    const auto comma = argument.find(',', eq == std::string::npos ? 0 : eq);
    if (eq == std::string::npos || comma == std::string::npos)
        throw UsageError("'" + argument + "' is not ARCH=FILE,URL");
    Installer installer { argument.substr(0, eq), argument.substr(eq + 1, comma - eq - 1), argument.substr(comma + 1),
        {}, false };
    if (installer.architecture != "x86" && installer.architecture != "x64")
        throw UsageError("'" + installer.architecture + "': the distributions are x86 and x64");
    if (!IsWebAddress(installer.url) || installer.url.size() > 2048)
        throw UsageError(installer.architecture + ": '" + installer.url + "' is no http:// or https:// address");
    const Bytes file = ReadFile(installer.zip);
    installer.exe = file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
    const std::string problem = installer.exe ? SingleFileProblem(file, installer.zip) : ZipProblem(file);
    if (!problem.empty())
        throw UsageError(installer.architecture + ": '" + installer.zip + "': " + problem);
    installer.sha256 = Sha256Hex(file);
    return installer;
}

std::string Header(const char* type)
{
    return std::string("# yaml-language-server: $schema=https://aka.ms/winget-manifest.") + type + "."
        + kManifestVersion + ".schema.json\n\n";
}

std::string Footer(const char* type)
{
    return std::string("ManifestType: ") + type + "\nManifestVersion: " + kManifestVersion + "\n";
}

} // namespace

// winget PRODUCT OUTDIR ARCH=ZIP,URL...
int CommandWinget(std::vector<std::string> args)
{
    if (args.size() < 3)
        throw UsageError("usage: ynbpack winget PRODUCT OUTDIR x86=FILE,URL [x64=FILE,URL]");
    const std::string product = args[0];
    const fs::path out = PathOf(args[1]);
    CheckProduct(product, false);

    const ProductInfo info = ReadProductInfo(product);
    const char* required[] = { "id", "version", "publisher", "license", "description" };
    std::string missing;
    for (const char* key : required)
        if (info.Get(key).empty())
            missing += (missing.empty() ? "" : ", ") + std::string(key);
    if (!info.present)
        throw UsageError(product + " has no product.txt; the package manager's manifests need its " + missing);
    if (!missing.empty())
        throw UsageError(product + "/product.txt lacks what the package manager's manifests need: " + missing);

    const SetupRecord record = ReadConfiguration(product + "/setup.cfg");
    std::string name;
    std::string folder;
    char first[install::kPathSize];
    std::u32string nameCharacters;
    if (!ShiftJisToUtf8(record.ProductName, name) || !Utf8ToCodePoints(name, nameCharacters)
        || nameCharacters.size() < 2 || nameCharacters.size() > 256)
        throw UsageError(product + "/setup.cfg: the product name (value 2) must be Shift-JIS of 2 to 256 characters");
    if (!install::FirstComponent(record.ProductFolder, first) || !ShiftJisToUtf8(first, folder))
        throw UsageError(product + "/setup.cfg: the product folder (value 4) is not Shift-JIS");

    std::vector<Installer> installers;
    for (std::size_t i = 2; i < args.size(); ++i) {
        Installer installer = ParseInstaller(args[i]);
        for (const Installer& other : installers)
            if (other.architecture == installer.architecture)
                throw UsageError(installer.architecture + " is given twice");
            else if (other.exe != installer.exe)
                throw UsageError("the installers are either all zips or all single-file setup programs");
        installers.push_back(installer);
    }

    const std::string id = info.Get("id");
    const std::string version = info.Get("version");
    const std::string identity = "PackageIdentifier: " + Quoted(id) + "\nPackageVersion: " + Quoted(version) + "\n";

    const std::string versionManifest
        = Header("version") + identity + "DefaultLocale: " + kLocale + "\n" + Footer("version");

    std::string installer = Header("installer") + identity;
    installer += std::string("InstallerLocale: ") + kLocale + "\n";
    installer += "Platform:\n  - Windows.Desktop\n";
    // A single-file setup.exe is the installer itself; four files come in a
    // zip, with setup.exe at its top.
    if (installers.front().exe) {
        installer += "InstallerType: exe\n";
    } else {
        installer += "InstallerType: zip\nNestedInstallerType: exe\n";
        installer += std::string("NestedInstallerFiles:\n  - RelativeFilePath: ") + kSetupName + "\n";
    }
    installer += "InstallModes:\n  - interactive\n  - silent\n  - silentWithProgress\n";
    installer += "InstallerSwitches:\n"
                 "  Silent: \"/S\"\n"
                 "  SilentWithProgress: \"/S /PROGRESS\"\n"
                 "  InstallLocation: \"/D=<INSTALLPATH>\"\n"
                 "  Log: \"/LOG=<LOGPATH>\"\n"
                 "  Repair: \"/REPAIR\"\n";
    // No copy of the payload stays on the machine: a repair runs the setup.
    installer += "RepairBehavior: installer\n";
    // 3010: installed, and a file a program held is replaced when the
    // machine restarts; the others end without an installation (32: files
    // in use, cancelled; 350: Windows must restart before the setup).
    installer += "ExpectedReturnCodes:\n"
                 "  - InstallerReturnCode: 3010\n    ReturnResponse: rebootRequiredToFinish\n"
                 "  - InstallerReturnCode: 350\n    ReturnResponse: rebootRequiredForInstall\n"
                 "  - InstallerReturnCode: 32\n    ReturnResponse: fileInUse\n"
                 "  - InstallerReturnCode: 1602\n    ReturnResponse: cancelledByUser\n"
                 "  - InstallerReturnCode: 1603\n    ReturnResponse: contactSupport\n"
                 "  - InstallerReturnCode: 1618\n    ReturnResponse: installInProgress\n"
                 "  - InstallerReturnCode: 87\n    ReturnResponse: invalidParameter\n"
                 "  - InstallerReturnCode: 112\n    ReturnResponse: diskFull\n"
                 "  - InstallerReturnCode: 1638\n    ReturnResponse: alreadyInstalled\n"
                 "  - InstallerReturnCode: 4\n    ReturnResponse: downgrade\n"
                 "  - InstallerReturnCode: 183\n    ReturnResponse: alreadyInstalled\n";
    // A newer version installs into the installed one's folder.
    installer += "UpgradeBehavior: install\n";
    // The uninstall entry's key is the product folder's first component.
    installer += "ProductCode: " + Quoted(folder) + "\n";
    installer += "AppsAndFeaturesEntries:\n  - DisplayName: " + Quoted(name)
        + "\n    Publisher: " + Quoted(info.Get("publisher")) + "\n    DisplayVersion: " + Quoted(version)
        + "\n    ProductCode: " + Quoted(folder) + "\n";
    installer += "Installers:\n";
    // One installer a scope: the same zip, the switch choosing for whom. The
    // program runs as invoked; for the machine it starts itself elevated.
    for (const Installer& entry : installers)
        for (const bool machine : { false, true })
            installer += "  - Architecture: " + entry.architecture + "\n    Scope: " + (machine ? "machine" : "user")
                + "\n    InstallerUrl: " + Quoted(entry.url) + "\n    InstallerSha256: " + entry.sha256
                + "\n    InstallerSwitches:\n      Custom: \"" + (machine ? "/ALLUSERS" : "/CURRENTUSER") + "\"\n"
                + (machine ? "    ElevationRequirement: elevatesSelf\n" : "");
    installer += Footer("installer");

    std::string locale = Header("defaultLocale") + identity;
    locale += std::string("PackageLocale: ") + kLocale + "\n";
    locale += "Publisher: " + Quoted(info.Get("publisher")) + "\n";
    locale += "PackageName: " + Quoted(name) + "\n";
    const std::pair<const char*, const char*> optional[] = { { "PackageUrl", "url" }, { "License", "license" },
        { "LicenseUrl", "license-url" }, { "Copyright", "copyright" }, { "ShortDescription", "description" } };
    for (const auto& [field, key] : optional)
        if (!info.Get(key).empty())
            locale += std::string(field) + ": " + Quoted(info.Get(key)) + "\n";
    locale += Footer("defaultLocale");

    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec)
        throw FileError("cannot create '" + args[1] + "': " + ec.message());
    auto write = [&out](const std::string& name, const std::string& text) {
        WriteFile(Utf8Of(out / PathOf(name)), Bytes(text.begin(), text.end()));
    };
    write(id + ".yaml", versionManifest);
    write(id + ".installer.yaml", installer);
    write(id + ".locale." + kLocale + ".yaml", locale);
    return 0;
}

} // namespace ynbpack

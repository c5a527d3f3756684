// manifest and build: the scrambled manifest and the distribution of a product.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "Errors.h"
#include "Files.h"
#include "Keys.h"
#include "Payload.h"
#include "package/PayloadDigests.h"
#include "Product.h"
#include "Stamp.h"
#include "Host.h"
#include "Programs.h"
#include "Progress.h"
#include "Signing.h"
#include "package/Sha256.h"
#include "config/SetupText.h"
#include "install/InstallPaths.h"
#include "install/Manifest.h"
#include "package/ClsSecurity.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

constexpr const char* kManifestName = "ynb_inst.com";

// The plain manifest checked and scrambled as one codec buffer.
Bytes ScrambledManifest(const std::string& path, int32_t key)
{
    Bytes text = ReadFile(path);
    const std::string fault = install::CheckManifest(reinterpret_cast<const char*>(text.data()), text.size());
    if (!fault.empty())
        throw UsageError(path + ": " + fault);
    (void)ClsSecurity::Scramble(text.data(), static_cast<int32_t>(text.size()), key);
    return text;
}

void CopyInto(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (!ec)
        fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec)
        throw FileError("cannot copy '" + Utf8Of(source) + "' to '" + Utf8Of(target) + "': " + ec.message());
}

} // namespace

int CommandManifest(std::vector<std::string> args)
{
    const int32_t key = TakeKeyOption(args);
    if (args.size() != 2)
        throw UsageError("usage: ynbpack manifest --key K IN.txt OUT.com");
    WriteFile(args[1], ScrambledManifest(args[0], key));
    return 0;
}

namespace {

struct BuildOptions {
    fs::path product;
    fs::path out;
    std::vector<std::string> trees;
    std::vector<std::pair<std::string, fs::path>> additions;
    std::string uninstaller; // a built uninstaller, instead of the stub's
    std::string setup; // a built setup program to stamp, instead of the stub
    bool noSetup = false; // data00.dat and the documents alone
    std::string stubs; // --stubs DIR
    std::string arch = "x86";
    bool singleFile = false;
    std::string sign; // the signing command
    uint32_t folderSize = kDefaultFolderSize;
    CabinetCompression compression;
};

const char kBuildUsage[]
    = "usage: ynbpack build PRODUCT OUTDIR [--tree DIR]... [--add SRC=RELPATH]... [--uninstaller FILE] "
      "[--folder-size BYTES] [--compression lzx[:15-21]|mszip|none] [--setup FILE | --no-setup] [--stubs DIR] "
      "[--arch x86|x64] [--single-file] [--sign COMMAND]";

BuildOptions ParseBuildOptions(std::vector<std::string> args)
{
    BuildOptions options;
    options.folderSize = TakeFolderSizeOption(args);
    options.compression = TakeCompressionOption(args);
    std::vector<std::string> positional;
    std::string value;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--no-setup" || name == "--single-file") {
            (name == "--no-setup" ? options.noSetup : options.singleFile) = true;
            continue;
        }
        const bool valued = name == "--tree" || name == "--add" || name == "--uninstaller" || name == "--setup"
            || name == "--stubs" || name == "--arch" || name == "--sign";
        if (!valued) {
            if (name.rfind("--", 0) == 0)
                throw UsageError("unknown option '" + name + "'\n" + kBuildUsage);
            positional.push_back(name);
            continue;
        }
        if (i + 1 >= args.size())
            throw UsageError(name + " needs a value");
        value = args[++i];
        if (name == "--tree") {
            options.trees.push_back(value);
        } else if (name == "--add") {
            const auto eq = value.find('=');
            if (eq == std::string::npos)
                throw UsageError("--add needs SRC=RELPATH");
            options.additions.emplace_back(value.substr(0, eq), PayloadPath(value.substr(eq + 1)));
        } else {
            std::string& target = name == "--uninstaller" ? options.uninstaller
                : name == "--setup"                       ? options.setup
                : name == "--stubs"                       ? options.stubs
                : name == "--sign"                        ? options.sign
                                                          : options.arch;
            target = value;
        }
    }
    if (positional.size() != 2)
        throw UsageError(kBuildUsage);
    options.product = PathOf(positional[0]);
    options.out = PathOf(positional[1]);
    if (!options.setup.empty() && options.noSetup)
        throw UsageError("--setup and --no-setup exclude each other");
    if (options.singleFile && options.noSetup)
        throw UsageError("--single-file puts the payload into setup.exe: it needs one");
    if (!options.setup.empty() && !fs::is_regular_file(PathOf(options.setup)))
        throw UsageError("--setup: '" + options.setup + "' is not a file");
    if (!options.uninstaller.empty() && !fs::is_regular_file(PathOf(options.uninstaller)))
        throw UsageError("--uninstaller: '" + options.uninstaller + "' is not a file");
    if (!options.sign.empty())
        CheckSigningCommand(options.sign);
    return options;
}

// The payload's files: the product's own, the built trees', the added ones,
// then those the build makes (generated), which nothing may hold already.
// Each keeps its file's time and read-only attribute.
CabinetFiles AssemblePayload(const BuildOptions& options, std::vector<CabinetSource> generated)
{
    CabinetFiles files;
    std::error_code ec;
    if (fs::is_directory(options.product / "payload", ec))
        CollectFiles(options.product / "payload", files);
    for (const std::string& extra : options.trees) {
        if (!fs::is_directory(PathOf(extra), ec))
            throw UsageError("--tree: '" + extra + "' is not a folder");
        CollectFiles(PathOf(extra), files);
    }
    for (const auto& [source, relative] : options.additions) {
        if (!fs::is_regular_file(PathOf(source), ec))
            throw UsageError("--add: '" + source + "' is not a file");
        CabinetSource added;
        added.relative = Utf8Of(relative.generic_u8string());
        added.path = PathOf(source);
        files[added.relative] = std::move(added);
    }
    for (CabinetSource& file : generated) {
        if (files.count(file.relative) != 0)
            throw UsageError("the payload already holds " + file.relative + ", which the build makes");
        const std::string relative = file.relative;
        files[relative] = std::move(file);
    }
    return files;
}

// What the build makes into the payload, with the time of the file it is
// made from, so that the same product gives the same payload.
CabinetSource Generated(const fs::path& relative, Bytes content, const std::string& madeFrom)
{
    CabinetSource file;
    file.relative = Utf8Of(relative.generic_u8string());
    file.content = std::move(content);
    file.modified = FactsOf(PathOf(madeFrom)).modified;
    return file;
}

// Whether the files hold a file, or a folder (any file below it), at path.
bool Holds(const CabinetFiles& files, const fs::path& path, bool folder)
{
    const std::string relative = Utf8Of(path.generic_u8string());
    if (!folder)
        return files.count(relative) != 0;
    const auto below = files.lower_bound(relative + "/");
    return below != files.end() && below->first.rfind(relative + "/", 0) == 0;
}

// The uninstaller removes what the install log names: what the manifest
// placed. Files the cabinet puts elsewhere stay behind.
void NoteFilesOutsideStaging(const CabinetFiles& files, const fs::path& staging, const fs::path& uninstaller)
{
    const std::string inside = Utf8Of(staging.generic_u8string()) + "/";
    const std::string exempt = Utf8Of(uninstaller.generic_u8string());
    const auto outside = std::count_if(files.begin(), files.end(),
        [&](const auto& file) { return file.first != exempt && file.first.rfind(inside, 0) != 0; });
    if (outside > 0)
        std::cerr << "ynbpack: note: " << outside
                  << " file(s) of the payload lie outside the staging folder; the uninstaller leaves them\n";
}

// setup.exe from the stub, holding the product, and with singleFile the
// payload and the documents after its sections; stamped with the payload's
// digest. The documents' digests are the program's own.
Bytes SetupFromStub(const BuildOptions& options, const Stubs& stubs, config::ProductData data, const Bytes& payload)
{
    const std::string product = Utf8Of(options.product);
    PeImage image = ProgramFromStub(stubs.setup, stubs.arch, product, Program::Setup, data);
    if (options.singleFile) {
        const Bytes setupText = ReadFile(product + "/setup.txt");
        const Bytes licenseText = ReadFile(product + "/license.txt");
        Bytes& file = image.Data();
        const std::pair<config::EmbeddedPart, const Bytes*> parts[] = { { config::EmbeddedPart::Payload, &payload },
            { config::EmbeddedPart::SetupText, &setupText }, { config::EmbeddedPart::LicenseText, &licenseText } };
        for (const auto& [part, bytes] : parts) {
            file.resize((file.size() + 7) / 8 * 8, 0);
            config::EmbeddedRange& range = data.Part(part);
            range.offset = file.size();
            range.size = bytes->size();
            Sha256::Hash(bytes->data(), bytes->size(), range.digest);
            file.insert(file.end(), bytes->begin(), bytes->end());
        }
        // An Authenticode signature follows on an eight-byte boundary.
        file.resize((file.size() + 7) / 8 * 8, 0);
        data.singleFile = true;
        WriteProductData(image, data);
    }
    StampProgram(image, payload.data(), payload.size());
    return image.Data();
}

} // namespace

// build PRODUCT OUTDIR: the distribution of a product (see kBuildUsage).
int CommandBuild(std::vector<std::string> args)
{
    const BuildOptions options = ParseBuildOptions(std::move(args));
    const bool fromStubs = options.setup.empty() && !options.noSetup;
    const std::string product = Utf8Of(options.product);

    // Without built trees or added files, the product's payload/ is all there is.
    Progress::Get().Step("checking " + product);
    CheckProduct(product, options.trees.empty() && options.additions.empty());
    const Stubs stubs = fromStubs ? FindStubs(options.stubs, options.arch) : Stubs {};
    const ProductKeys keys = ReadKeys(product + "/keys.txt");
    const SetupRecord record = ReadConfiguration(product + "/setup.cfg");
    char first[install::kPathSize];
    (void)install::FirstComponent(record.ProductFolder, first); // the check saw it fit
    const fs::path staging = StagingPath(record);
    const config::ProductData data = fromStubs ? ProductDataOf(product) : config::ProductData {};

    // What the build makes into the payload: the scrambled manifest, and the
    // uninstaller in the install folder, where the uninstall command names it.
    std::vector<CabinetSource> generated;
    const std::string manifestPath = product + "/manifest.txt";
    std::error_code ec;
    const bool manifest = fs::exists(PathOf(manifestPath), ec);
    if (manifest)
        generated.push_back(
            Generated(staging / kManifestName, ScrambledManifest(manifestPath, keys.manifest), manifestPath));
    // The uninstaller is signed with its product data in, before it goes in.
    const fs::path uninstallerPath = PayloadPath(HostName(first) + "/uninstall.exe");
    const std::string uninstallerFrom = options.uninstaller.empty() ? stubs.uninstall : options.uninstaller;
    if (!uninstallerFrom.empty()) {
        Progress::Get().Step("uninstall.exe from " + uninstallerFrom);
        Bytes uninstaller = options.uninstaller.empty()
            ? ProgramFromStub(stubs.uninstall, stubs.arch, product, Program::Uninstall, data).Data()
            : ReadFile(options.uninstaller);
        if (!options.sign.empty())
            uninstaller = SignProgram(options.sign, uninstaller, "uninstall.exe");
        generated.push_back(Generated(uninstallerPath, std::move(uninstaller), uninstallerFrom));
    }

    CabinetFiles files = AssemblePayload(options, std::move(generated));
    // Every file's digest, so that an upgrade or a repair writes only what
    // differs from what is installed.
    CabinetSource digests = Generated(
        staging / package::kDigestsName, DigestsOf(files), manifest ? manifestPath : product + "/setup.cfg");
    if (files.count(digests.relative) != 0)
        throw UsageError("the payload already holds " + digests.relative + ", which the build makes");
    files[digests.relative] = std::move(digests);
    if (!options.uninstaller.empty() || fromStubs)
        NoteFilesOutsideStaging(files, staging, uninstallerPath);
    if (manifest) {
        std::vector<std::string> problems;
        ManifestSourceProblems(manifestPath, ReadFile(manifestPath), problems,
            [&](const fs::path& relative, bool folder) { return Holds(files, staging / relative, folder); });
        if (!problems.empty())
            ThrowProblems("the manifest names sources that the payload lacks", problems);
    }

    fs::create_directories(options.out, ec);
    if (ec)
        throw FileError("cannot create '" + Utf8Of(options.out) + "': " + ec.message());
    const Bytes payload = MakePayload(BuildCabinetBytes(files, options.folderSize, options.compression), keys.payload);
    const std::string out = Utf8Of(options.out);
    if (!options.singleFile) {
        Progress::Get().Step("writing " + out + "/data00.dat and the documents");
        WriteFile(out + "/data00.dat", payload);
        for (const char* document : { "setup.txt", "license.txt" })
            CopyInto(options.product / document, options.out / document);
    }
    // The setup program carries the payload's digest, so it is made last,
    // then signed.
    if (options.setup.empty() && !fromStubs)
        return 0;
    Progress::Get().Step("setup.exe from " + (fromStubs ? stubs.setup : options.setup)
        + (options.singleFile ? ", with the payload and the documents" : ""));
    Bytes setup;
    if (fromStubs) {
        setup = SetupFromStub(options, stubs, data, payload);
    } else {
        PeImage built(ReadFile(options.setup), options.setup);
        StampProgram(built, payload.data(), payload.size());
        setup = std::move(built.Data());
    }
    if (!options.sign.empty())
        setup = SignProgram(options.sign, setup, "setup.exe");
    WriteReplacing(out + "/setup.exe", setup, fromStubs ? stubs.setup : options.setup);
    return 0;
}

} // namespace ynbpack

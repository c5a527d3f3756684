// manifest and build: the scrambled manifest and the distribution of a product.
#include <unistd.h>

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
#include "Product.h"
#include "Stamp.h"
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
        throw FileError("cannot copy '" + source.string() + "' to '" + target.string() + "': " + ec.message());
}

// A scratch folder removed on every way out.
struct ScratchFolder {
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "ynbpack-build-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw FileError("cannot create a scratch folder: " + std::string(std::strerror(errno)));
        path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

} // namespace

int CommandManifest(std::vector<std::string> args)
{
    const int32_t key = TakeKeyOption(args);
    if (args.size() != 2)
        throw UsageError("usage: ynbpack manifest --key K IN.txt OUT.com");
    WriteFile(args[1], ScrambledManifest(args[0], key));
    return 0;
}

// build PRODUCT OUTDIR [--tree DIR]... [--add SRC=RELPATH]... [--uninstaller FILE] [--folder-size BYTES]
//       [--compression lzx[:15-21]|mszip|none] [--setup FILE]
int CommandBuild(std::vector<std::string> args)
{
    const uint32_t folderSize = TakeFolderSizeOption(args);
    const CabinetCompression compression = TakeCompressionOption(args);
    std::string uninstaller;
    std::string setup;
    std::vector<std::string> trees;
    std::vector<std::pair<std::string, fs::path>> additions;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--tree" || args[i] == "--add" || args[i] == "--uninstaller" || args[i] == "--setup") {
            if (i + 1 >= args.size())
                throw UsageError(args[i] + " needs a value");
            const std::string value = args[++i];
            if (args[i - 1] == "--uninstaller") {
                uninstaller = value;
                continue;
            }
            if (args[i - 1] == "--setup") {
                setup = value;
                continue;
            }
            if (args[i - 1] == "--tree") {
                trees.push_back(value);
                continue;
            }
            const auto eq = value.find('=');
            if (eq == std::string::npos)
                throw UsageError("--add needs SRC=RELPATH");
            additions.emplace_back(value.substr(0, eq), PayloadPath(value.substr(eq + 1)));
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
        throw UsageError(
            "usage: ynbpack build PRODUCT OUTDIR [--tree DIR]... [--add SRC=RELPATH]... [--uninstaller FILE] "
            "[--folder-size BYTES] [--compression lzx[:15-21]|mszip|none] [--setup FILE]");
    const fs::path product = positional[0];
    const fs::path out = positional[1];
    if (!setup.empty() && !fs::is_regular_file(setup))
        throw UsageError("--setup: '" + setup + "' is not a file");

    // Without built trees or added files, the product's payload/ is all there is.
    CheckProduct(product.string(), trees.empty() && additions.empty());
    const ProductKeys keys = ReadKeys((product / "keys.txt").string());
    const SetupRecord record = ReadConfiguration((product / "setup.cfg").string());
    char first[install::kPathSize];
    (void)install::FirstComponent(record.ProductFolder, first); // the check saw it fit
    const fs::path stagingRelative = StagingPath(record);

    // The payload tree: the product's own files, then the built ones.
    ScratchFolder scratch;
    const fs::path tree = scratch.path / "payload";
    fs::create_directory(tree);
    if (fs::is_directory(product / "payload"))
        CopyInto(product / "payload", tree);
    for (const std::string& extra : trees)
        CopyInto(extra, tree);
    for (const auto& [source, relative] : additions) {
        if (!fs::is_regular_file(source))
            throw UsageError("--add: '" + source + "' is not a file");
        CopyInto(source, tree / relative);
    }
    // The uninstaller lands in the install folder, where the registered
    // uninstall command names it.
    if (!uninstaller.empty()) {
        if (!fs::is_regular_file(uninstaller))
            throw UsageError("--uninstaller: '" + uninstaller + "' is not a file");
        const fs::path target = tree / PayloadPath(std::string(first) + "\\uninstall.exe");
        if (fs::exists(target))
            throw UsageError("the payload already holds " + target.lexically_relative(tree).string());
        CopyInto(uninstaller, target);
        // The uninstaller removes what the install log names: what the
        // manifest placed. Files the cabinet puts elsewhere stay behind.
        int outside = 0;
        for (const auto& entry : fs::recursive_directory_iterator(tree))
            if (entry.is_regular_file() && entry.path() != target
                && entry.path().lexically_relative(tree / stagingRelative).native().rfind("..", 0) == 0)
                ++outside;
        if (outside > 0)
            std::cerr << "ynbpack: note: " << outside
                      << " file(s) of the payload lie outside the staging folder; the uninstaller leaves them\n";
    }

    const std::string manifestPath = (product / "manifest.txt").string();
    const fs::path manifestTarget = tree / stagingRelative / kManifestName;
    if (fs::exists(manifestTarget))
        throw UsageError("the payload already holds " + manifestTarget.lexically_relative(tree).string()
            + "; it is made from manifest.txt");
    if (fs::exists(manifestPath)) {
        const Bytes scrambled = ScrambledManifest(manifestPath, keys.manifest);
        std::vector<std::string> problems;
        ManifestSourceProblems(manifestPath, ReadFile(manifestPath), tree / stagingRelative, problems);
        if (!problems.empty())
            ThrowProblems("the manifest names sources that the payload lacks", problems);
        std::error_code ec;
        fs::create_directories(manifestTarget.parent_path(), ec);
        WriteFile(manifestTarget.string(), scrambled);
    }

    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec)
        throw FileError("cannot create '" + out.string() + "': " + ec.message());
    const Bytes payload = MakePayload(BuildCabinetBytes(tree.string(), folderSize, compression), keys.payload);
    WriteFile((out / "data00.dat").string(), payload);
    for (const char* document : { "setup.txt", "license.txt" }) {
        if (!fs::is_regular_file(product / document))
            throw UsageError("the product has no " + std::string(document));
        CopyInto(product / document, out / document);
    }
    // The setup program carries the payload's digest, so it is made last.
    if (!setup.empty())
        StampSetupProgram(setup, (out / "setup.exe").string(), payload);
    return 0;
}

} // namespace ynbpack

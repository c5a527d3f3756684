#include "Programs.h"

#include <cstring>
#include <filesystem>

#include "Host.h"
#include "Keys.h"
#include "Product.h"
#include "Texts.h"
#include "Unicode.h"
#include "VersionInfo.h"
#include "package/ClsSecurity.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kProgramIcon = 1;
constexpr uint16_t kImage1 = 101;
constexpr uint16_t kImage2 = 102;
constexpr uint16_t kMachineX86 = 0x14c;
constexpr uint16_t kMachineX64 = 0x8664;

// A product.txt text in Shift-JIS into its field, zero included.
void ShiftJisField(
    const ProductInfo& info, const std::string& key, char* field, std::size_t size, const std::string& product)
{
    std::string value;
    if (!Utf8ToShiftJis(info.Get(key), value))
        throw UsageError(product + "/product.txt: " + key + " has no Shift-JIS form");
    if (value.size() >= size)
        throw UsageError(product + "/product.txt: " + key + " is longer than the programs hold");
    std::memcpy(field, value.data(), value.size());
    field[value.size()] = '\0';
}

std::u16string Utf16(const std::string& utf8)
{
    std::u16string out;
    (void)Utf8ToUtf16(utf8, out); // product.txt's texts are checked UTF-8
    return out;
}

const PeSection& ProductSection(const PeImage& image, const std::string& what)
{
    const PeSection* section = image.Find(config::kProductSectionName);
    if (section == nullptr || section->rawSize < config::kProductAreaSize)
        throw UsageError("'" + what + "' has no product data section: not a prebuilt program of ynbsetup");
    return *section;
}

} // namespace

config::ProductData ProductDataOf(const std::string& product)
{
    const ProductKeys keys = ReadKeys(product + "/keys.txt");
    const ProductInfo info = ReadProductInfo(product);
    Bytes text = ReadFile(product + "/setup.cfg");
    if (text.empty() || text.size() > static_cast<std::size_t>(kSetupTextMaxLength))
        throw UsageError(product + "/setup.cfg: a configuration text has 1 to 999 bytes");
    (void)ClsSecurity::Scramble(text.data(), static_cast<int32_t>(text.size()), keys.config);

    config::ProductData data;
    data.present = true;
    const std::string length = std::to_string(text.size());
    std::memcpy(data.SetupTextLength, length.c_str(), length.size() + 1);
    // The unused rest of the area holds spaces, then the final zero.
    std::memset(data.SetupTextData, ' ', kSetupTextDataSize);
    std::memcpy(data.SetupTextData, text.data(), text.size());
    data.SetupTextData[kSetupTextDataSize] = '\0';
    data.configKey = keys.config;
    data.payloadKey = keys.payload;
    data.manifestKey = keys.manifest;
    ShiftJisField(info, "version", data.displayVersion, sizeof data.displayVersion, product);
    ShiftJisField(info, "publisher", data.publisher, sizeof data.publisher, product);
    ShiftJisField(info, "url", data.urlInfoAbout, sizeof data.urlInfoAbout, product);
    return data;
}

Bytes ProgramVersionResource(const std::string& product, Program program)
{
    const ProductInfo info = ReadProductInfo(product);
    const SetupRecord record = ReadConfiguration(product + "/setup.cfg");
    VersionTexts texts;
    const bool setup = program == Program::Setup;
    texts.fileDescription = setup ? u"Setup" : u"Uninstall";
    texts.internalName = setup ? u"setup" : u"uninstall";
    texts.originalFilename = setup ? u"setup.exe" : u"uninstall.exe";
    std::string name;
    if (!ShiftJisToUtf8(record.ProductName, name))
        throw UsageError(product + "/setup.cfg: the product name is no Shift-JIS text");
    texts.productName = Utf16(name);
    texts.companyName = Utf16(info.Get("publisher"));
    texts.legalCopyright = Utf16(info.Get("copyright"));
    const std::string version = info.Get("version");
    if (!version.empty() && !ParseFileVersion(version, texts.parts))
        throw UsageError(product + "/product.txt: version '" + version + "' is no version of Windows' programs");
    texts.version = Utf16(FileVersionText(texts.parts));
    return VersionResource(texts);
}

Stubs FindStubs(const std::string& dir, const std::string& arch)
{
    if (arch != "x86" && arch != "x64")
        throw UsageError("--arch must be x86 or x64, not '" + arch + "'");
    std::vector<fs::path> candidates;
    if (!dir.empty()) {
        candidates.push_back(PathOf(dir));
    } else {
        const fs::path tool = PathOf(ExecutablePath()).parent_path();
        candidates.push_back(tool / "stubs" / PathOf(arch));
        candidates.push_back(tool / ".." / ".." / ".." / PathOf("win-" + arch) / "stub");
    }
    for (const fs::path& folder : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(folder / "setup.exe", ec) && fs::is_regular_file(folder / "uninstall.exe", ec))
            return { arch, Utf8Of((folder / "setup.exe").lexically_normal()),
                Utf8Of((folder / "uninstall.exe").lexically_normal()) };
    }
    if (!dir.empty())
        throw UsageError("--stubs: '" + dir + "' does not hold setup.exe and uninstall.exe");
    throw UsageError("no prebuilt programs for " + arch + " beside ynbpack (stubs/" + arch
        + ") nor in its build tree: name them with --stubs DIR");
}

config::ProductAreaProblem ReadProductData(const PeImage& image, config::ProductData& data)
{
    const PeSection* section = image.Find(config::kProductSectionName);
    if (section == nullptr || section->rawSize < config::kProductAreaSize)
        return config::ProductAreaProblem::NoMarker;
    return config::ReadProductArea(image.Data().data() + section->rawOffset, config::kProductAreaSize, data);
}

void WriteProductData(PeImage& image, const config::ProductData& data)
{
    const PeSection& section = ProductSection(image, "program");
    config::WriteProductArea(data, image.Data().data() + section.rawOffset);
}

PeImage ProgramFromStub(const std::string& path, const std::string& arch, const std::string& product, Program program,
    const config::ProductData& data)
{
    PeImage image(ReadFile(path), path);
    image.RequireBare();
    const uint16_t machine = arch == "x86" ? kMachineX86 : kMachineX64;
    if (image.Machine() != machine)
        throw UsageError("'" + path + "' is not a program for " + arch);
    const PeSection& section = ProductSection(image, path);
    const unsigned char* area = image.Data().data() + section.rawOffset;
    const uint32_t layout = config::ProductAreaLayoutOf(area, config::kProductAreaSize);
    if (layout == 0)
        throw UsageError("'" + path + "' has no product data area: not a prebuilt program of ynbsetup");
    if (layout != config::kProductAreaLayout)
        throw UsageError("'" + path + "' is a prebuilt program of product data layout " + std::to_string(layout)
            + "; this ynbpack writes layout " + std::to_string(config::kProductAreaLayout)
            + ": use the programs that came with it");
    config::ProductData held;
    if (config::ReadProductArea(area, config::kProductAreaSize, held) != config::ProductAreaProblem::NoProduct)
        throw UsageError("'" + path + "' holds a product already: give the prebuilt program that holds none");

    ResourceTree resources = image.Resources();
    const std::string art = product + "/art/";
    const auto has = [&art](const char* name) {
        std::error_code ec;
        return fs::is_regular_file(PathOf(art + name), ec);
    };
    if (has("program.ico"))
        SetIconGroup(resources, kProgramIcon, ReadFile(art + "program.ico"), art + "program.ico");
    if (program == Program::Setup && has("image1.bmp"))
        SetBitmap(resources, kImage1, ReadFile(art + "image1.bmp"), art + "image1.bmp");
    if (program == Program::Setup && has("image2.ico"))
        SetIconGroup(resources, kImage2, ReadFile(art + "image2.ico"), art + "image2.ico");
    SetVersion(resources, ProgramVersionResource(product, program));
    image.ReplaceResources(resources);
    WriteProductData(image, data);
    return image;
}

} // namespace ynbpack

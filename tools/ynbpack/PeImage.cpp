#include "PeImage.h"

#include <algorithm>
#include <cstring>

namespace ynbpack {

namespace {

constexpr std::size_t kPeOffsetField = 0x3c;
constexpr std::size_t kCoffSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr int kResourceDirectory = 2;
constexpr int kCertificateDirectory = 4;
constexpr int kRelocationDirectory = 5;

uint32_t AlignUp(uint64_t n, uint32_t to)
{
    return static_cast<uint32_t>((n + to - 1) / to * to);
}

} // namespace

PeImage::PeImage(Bytes data, std::string what)
    : data_(std::move(data))
    , what_(std::move(what))
{
    Parse();
}

void PeImage::Parse()
{
    const auto refuse = [this](const std::string& why) { throw UsageError("'" + what_ + "' " + why); };
    if (data_.size() < kPeOffsetField + 4 || data_[0] != 'M' || data_[1] != 'Z')
        refuse("is not a Windows program (no MZ header)");
    const std::size_t pe = ReadLe32(data_, kPeOffsetField);
    if (pe > data_.size() || data_.size() - pe < 4 + kCoffSize || std::memcmp(&data_[pe], "PE\0\0", 4) != 0)
        refuse("is not a Windows program (no PE header)");
    coff_ = pe + 4;
    optional_ = coff_ + kCoffSize;
    const std::size_t optionalSize = ReadLe16(data_, coff_ + 16);
    if (optionalSize > data_.size() - optional_ || optionalSize < 2)
        refuse("has a truncated optional header");
    const uint32_t magic = ReadLe16(data_, optional_);
    if (magic != 0x10b && magic != 0x20b)
        refuse("has no PE32 or PE32+ optional header");
    is64_ = magic == 0x20b;
    const std::size_t countField = is64_ ? 108 : 92;
    if (optionalSize < countField + 4)
        refuse("has a truncated optional header");
    sectionAlignment_ = ReadLe32(data_, optional_ + 32);
    fileAlignment_ = ReadLe32(data_, optional_ + 36);
    directories_ = optional_ + countField + 4;
    directoryCount_ = std::min<uint32_t>(
        ReadLe32(data_, optional_ + countField), static_cast<uint32_t>((optionalSize - countField - 4) / 8));
    const std::size_t count = ReadLe16(data_, coff_ + 2);
    const std::size_t table = optional_ + optionalSize;
    if (table > data_.size() || (data_.size() - table) / kSectionHeaderSize < count)
        refuse("has a truncated section table");
    sections_.clear();
    badSection_.clear();
    for (std::size_t i = 0; i < count; ++i) {
        PeSection section;
        section.header = table + kSectionHeaderSize * i;
        const char* name = reinterpret_cast<const char*>(&data_[section.header]);
        section.name.assign(name, strnlen(name, 8));
        section.virtualSize = ReadLe32(data_, section.header + 8);
        section.virtualAddress = ReadLe32(data_, section.header + 12);
        section.rawSize = ReadLe32(data_, section.header + 16);
        section.rawOffset = ReadLe32(data_, section.header + 20);
        if (section.rawSize != 0
            && (section.rawOffset > data_.size() || data_.size() - section.rawOffset < section.rawSize))
            badSection_ = section.name.empty() ? "?" : section.name;
        sections_.push_back(section);
    }
}

uint16_t PeImage::Machine() const
{
    return static_cast<uint16_t>(ReadLe16(data_, coff_));
}

void PeImage::RequireSections() const
{
    if (!badSection_.empty())
        throw UsageError("'" + what_ + "' has a section (" + badSection_ + ") that lies outside the file");
}

const PeSection* PeImage::Find(const std::string& name) const
{
    RequireSections();
    for (const PeSection& section : sections_)
        if (section.name == name)
            return &section;
    return nullptr;
}

std::size_t PeImage::SectionsEnd() const
{
    RequireSections();
    std::size_t end = optional_;
    for (const PeSection& section : sections_)
        end = std::max<std::size_t>(end, uint64_t { section.rawOffset } + section.rawSize);
    return end;
}

uint32_t PeImage::Directory(int index, uint32_t& size) const
{
    size = 0;
    if (static_cast<uint32_t>(index) >= directoryCount_)
        return 0;
    size = ReadLe32(data_, directories_ + 8 * static_cast<std::size_t>(index) + 4);
    return ReadLe32(data_, directories_ + 8 * static_cast<std::size_t>(index));
}

void PeImage::SetDirectory(int index, uint32_t rva, uint32_t size)
{
    if (static_cast<uint32_t>(index) >= directoryCount_)
        throw UsageError("'" + what_ + "' has no room for data directory " + std::to_string(index));
    StoreLe32(data_, directories_ + 8 * static_cast<std::size_t>(index), rva);
    StoreLe32(data_, directories_ + 8 * static_cast<std::size_t>(index) + 4, size);
}

std::size_t PeImage::CertificateEntry() const
{
    return static_cast<uint32_t>(kCertificateDirectory) < directoryCount_ ? directories_ + 8 * kCertificateDirectory
                                                                          : 0;
}

bool PeImage::Signed() const
{
    uint32_t size = 0;
    const uint32_t offset = Directory(kCertificateDirectory, size);
    return offset != 0 || size != 0;
}

void PeImage::RequireBare() const
{
    if (Signed())
        throw UsageError("'" + what_ + "' carries an Authenticode signature: ynbpack needs the unsigned program");
    if (SectionsEnd() != data_.size())
        throw UsageError("'" + what_ + "' has data appended after its sections");
}

ResourceTree PeImage::Resources() const
{
    RequireSections();
    uint32_t size = 0;
    const uint32_t rva = Directory(kResourceDirectory, size);
    if (rva == 0)
        return {};
    for (const PeSection& section : sections_) {
        if (rva != section.virtualAddress)
            continue;
        if (size > section.rawSize)
            throw UsageError("'" + what_ + "': its resource directory runs past its section");
        const auto from = data_.begin() + section.rawOffset;
        return ReadResources(Bytes(from, from + size), rva, what_);
    }
    throw UsageError("'" + what_ + "': its resources do not start a section of their own");
}

void PeImage::ReplaceResources(const ResourceTree& tree)
{
    RequireBare();
    if (fileAlignment_ == 0 || sectionAlignment_ == 0 || (fileAlignment_ & (fileAlignment_ - 1)) != 0
        || (sectionAlignment_ & (sectionAlignment_ - 1)) != 0)
        throw UsageError("'" + what_ + "' has an alignment that is no power of two");
    uint32_t size = 0;
    const uint32_t rva = Directory(kResourceDirectory, size);
    std::size_t index = sections_.size();
    for (std::size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].virtualAddress == rva && rva != 0)
            index = i;
    if (index == sections_.size())
        throw UsageError("'" + what_ + "' has no resource section to replace");
    // Only a relocation section may follow: its content names other
    // sections' addresses, never its own.
    std::vector<std::size_t> after;
    for (std::size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].virtualAddress > rva)
            after.push_back(i);
    uint32_t relocationSize = 0;
    const uint32_t relocationRva = Directory(kRelocationDirectory, relocationSize);
    if (after.size() > 1
        || (after.size() == 1
            && (sections_[after[0]].name != ".reloc" || relocationRva != sections_[after[0]].virtualAddress)))
        throw UsageError("'" + what_ + "': a section other than the relocations follows its resources");
    for (std::size_t i = 0; i < sections_.size(); ++i)
        if (i != index && (after.empty() || i != after[0])
            && uint64_t { sections_[i].rawOffset } + sections_[i].rawSize > sections_[index].rawOffset
            && sections_[i].rawSize != 0)
            throw UsageError("'" + what_ + "': its sections are not stored in the order of their addresses");

    PeSection& resources = sections_[index];
    const Bytes bytes = WriteResources(tree, rva);
    Bytes relocations;
    if (!after.empty()) {
        const PeSection& relocation = sections_[after[0]];
        relocations.assign(
            data_.begin() + relocation.rawOffset, data_.begin() + relocation.rawOffset + relocation.rawSize);
    }
    const uint32_t oldRaw = resources.rawSize;
    resources.virtualSize = static_cast<uint32_t>(bytes.size());
    resources.rawSize = AlignUp(bytes.size(), fileAlignment_);
    data_.resize(resources.rawOffset);
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    data_.resize(uint64_t { resources.rawOffset } + resources.rawSize, 0);
    StoreLe32(data_, resources.header + 8, resources.virtualSize);
    StoreLe32(data_, resources.header + 16, resources.rawSize);
    SetDirectory(kResourceDirectory, rva, resources.virtualSize);
    uint32_t imageEnd = AlignUp(uint64_t { rva } + resources.virtualSize, sectionAlignment_);
    int64_t initialized = static_cast<int64_t>(resources.rawSize) - oldRaw;
    if (!after.empty()) {
        PeSection& relocation = sections_[after[0]];
        relocation.virtualAddress = imageEnd;
        relocation.rawOffset = static_cast<uint32_t>(data_.size());
        data_.insert(data_.end(), relocations.begin(), relocations.end());
        StoreLe32(data_, relocation.header + 12, relocation.virtualAddress);
        StoreLe32(data_, relocation.header + 20, relocation.rawOffset);
        SetDirectory(kRelocationDirectory, relocation.virtualAddress, relocationSize);
        imageEnd = AlignUp(uint64_t { relocation.virtualAddress } + relocation.virtualSize, sectionAlignment_);
    }
    StoreLe32(data_, optional_ + 56, imageEnd); // SizeOfImage
    StoreLe32(data_, optional_ + 8,
        static_cast<uint32_t>(static_cast<int64_t>(ReadLe32(data_, optional_ + 8)) + initialized)); // initialized data
}

uint32_t PeImage::Checksum() const
{
    const std::size_t at = ChecksumOffset();
    const auto byte
        = [&](std::size_t i) -> uint32_t { return i >= data_.size() || (i >= at && i < at + 4) ? 0 : data_[i]; };
    uint64_t sum = 0;
    for (std::size_t i = 0; i < data_.size(); i += 2) {
        sum += byte(i) | (byte(i + 1) << 8);
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint32_t>(sum + data_.size());
}

void PeImage::UpdateChecksum()
{
    // The loader ignores a program's checksum, but a checksum there must stay true.
    if (ReadLe32(data_, ChecksumOffset()) != 0)
        StoreLe32(data_, ChecksumOffset(), Checksum());
}

} // namespace ynbpack

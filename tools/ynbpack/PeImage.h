// A Windows program's file as ynbpack reads and changes it: its headers and
// sections, its product data area, its resources, and data appended after
// its sections. A program is untrusted input: every offset it gives is
// checked against the file before it is followed. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files.h"
#include "PeResources.h"

namespace ynbpack {

struct PeSection {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    std::size_t header = 0; // the section header's offset in the file
};

class PeImage {
public:
    // Throws UsageError naming `what` when data is no PE32 or PE32+ program
    // whose headers lie inside it; what needs the sections throws when one
    // of them does not.
    PeImage(Bytes data, std::string what);

    const Bytes& Data() const { return data_; }
    Bytes& Data() { return data_; }
    const std::string& What() const { return what_; }
    bool Is64() const { return is64_; }
    uint16_t Machine() const;
    const std::vector<PeSection>& Sections() const { return sections_; }
    const PeSection* Find(const std::string& name) const;
    // Where the sections' raw data ends: anything after is appended data.
    std::size_t SectionsEnd() const;
    // The certificate table (an Authenticode signature) is not empty.
    bool Signed() const;
    // Throws unless the program is unsigned and has nothing appended.
    void RequireBare() const;

    // The resource section's tree, and its replacement: the section takes
    // the new tree's size; a relocation section after it moves along (no
    // other section may follow it).
    ResourceTree Resources() const;
    void ReplaceResources(const ResourceTree& tree);

    // The file offset of the checksum field; the PE checksum of the file as
    // it is, and the field set to it where the program carries one.
    std::size_t ChecksumOffset() const { return optional_ + 64; }
    uint32_t Checksum() const;
    void UpdateChecksum();
    // The certificate table's entry in the data directories (offset in the
    // file), or 0 when the program has none.
    std::size_t CertificateEntry() const;

private:
    uint32_t Directory(int index, uint32_t& size) const;
    void SetDirectory(int index, uint32_t rva, uint32_t size);
    void Parse();
    void RequireSections() const;

    Bytes data_;
    std::string what_;
    bool is64_ = false;
    std::size_t coff_ = 0;
    std::size_t optional_ = 0;
    std::size_t directories_ = 0;
    uint32_t directoryCount_ = 0;
    uint32_t sectionAlignment_ = 0;
    uint32_t fileAlignment_ = 0;
    std::vector<PeSection> sections_;
    std::string badSection_; // the name of a section that lies outside the file
};

} // namespace ynbpack

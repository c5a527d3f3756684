#include "PeResources.h"

#include <set>
#include <vector>

#include "Artwork.h"

namespace ynbpack {

namespace {

constexpr uint32_t kSubdirectory = 0x80000000;
constexpr uint32_t kNamed = 0x80000000;
constexpr std::size_t kDirectorySize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
constexpr int kLevels = 3; // type, name, language

struct Reader {
    const Bytes& section;
    uint32_t rva;
    const std::string& what;
    ResourceTree tree;
    std::set<uint32_t> visited;

    [[noreturn]] void Refuse(const std::string& why) const
    {
        throw UsageError("'" + what + "': its resources are damaged (" + why + ")");
    }

    void Need(uint64_t offset, uint64_t size) const
    {
        if (offset > section.size() || size > section.size() - offset)
            Refuse("a record lies outside the section");
    }

    ResourceId Id(uint32_t field) const
    {
        ResourceId id;
        if ((field & kNamed) == 0) {
            if (field > 0xFFFF)
                Refuse("a number above 65535");
            id.number = static_cast<uint16_t>(field);
            return id;
        }
        const uint32_t at = field & ~kNamed;
        Need(at, 2);
        const uint32_t length = ReadLe16(section, at);
        Need(at + 2, 2ull * length);
        for (uint32_t i = 0; i < length; ++i)
            id.text += static_cast<char16_t>(ReadLe16(section, at + 2 + 2 * i));
        if (id.text.empty())
            Refuse("an empty name");
        return id;
    }

    void Directory(uint32_t at, int level, ResourceKey key)
    {
        if (!visited.insert(at).second)
            Refuse("a directory reached twice");
        Need(at, kDirectorySize);
        const uint32_t count = ReadLe16(section, at + 12) + ReadLe16(section, at + 14);
        Need(at + kDirectorySize, uint64_t { kEntrySize } * count);
        for (uint32_t i = 0; i < count; ++i) {
            const std::size_t entry = at + kDirectorySize + kEntrySize * i;
            const ResourceId id = Id(ReadLe32(section, entry));
            const uint32_t target = ReadLe32(section, entry + 4);
            if (level == 0)
                key.type = id;
            else if (level == 1)
                key.name = id;
            else if (id.text.empty())
                key.language = id.number;
            else
                Refuse("a language given by name");
            const bool subdirectory = (target & kSubdirectory) != 0;
            if (subdirectory != (level + 1 < kLevels))
                Refuse("a tree deeper or shallower than type, name and language");
            if (subdirectory) {
                Directory(target & ~kSubdirectory, level + 1, key);
                continue;
            }
            Need(target, kDataEntrySize);
            const uint32_t dataRva = ReadLe32(section, target);
            const uint32_t size = ReadLe32(section, target + 4);
            if (dataRva < rva)
                Refuse("data outside the section");
            Need(dataRva - rva, size);
            const auto from = section.begin() + static_cast<std::ptrdiff_t>(dataRva - rva);
            if (!tree.emplace(key, Bytes(from, from + size)).second)
                Refuse("a resource given twice");
        }
    }
};

void Put(Bytes& out, std::size_t at, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

std::size_t Align(std::size_t n, std::size_t to)
{
    return (n + to - 1) / to * to;
}

// The entries of one directory, in the order Windows searches them: names
// first, then numbers, each ascending.
template <typename Value>
using Level = std::map<ResourceId, Value>;

uint16_t LanguageOf(const ResourceTree& tree, uint16_t type, uint16_t name)
{
    for (const auto& [key, data] : tree)
        if (key.type == ResourceId { type, {} } && key.name == ResourceId { name, {} })
            return key.language;
    return tree.empty() ? 0 : tree.begin()->first.language;
}

void EraseAll(ResourceTree& tree, uint16_t type, uint16_t name)
{
    for (auto it = tree.begin(); it != tree.end();)
        it = it->first.type == ResourceId { type, {} } && it->first.name == ResourceId { name, {} } ? tree.erase(it)
                                                                                                    : std::next(it);
}

} // namespace

bool ResourceId::operator<(const ResourceId& other) const
{
    if (text.empty() != other.text.empty())
        return !text.empty(); // names before numbers
    return text.empty() ? number < other.number : text < other.text;
}

ResourceTree ReadResources(const Bytes& section, uint32_t sectionRva, const std::string& what)
{
    Reader reader { section, sectionRva, what, {}, {} };
    if (!section.empty())
        reader.Directory(0, 0, {});
    return std::move(reader.tree);
}

Bytes WriteResources(const ResourceTree& tree, uint32_t sectionRva)
{
    Level<Level<Level<const Bytes*>>> types;
    for (const auto& [key, data] : tree)
        types[key.type][key.name][ResourceId { key.language, {} }] = &data;

    // Sizes: the directories, the data entries, the names, then the data.
    const auto directorySize = [](std::size_t entries) { return kDirectorySize + kEntrySize * entries; };
    std::size_t directories = directorySize(types.size());
    std::size_t names = 0;
    for (const auto& [type, byName] : types) {
        directories += directorySize(byName.size());
        for (const auto& [name, byLanguage] : byName)
            directories += directorySize(byLanguage.size());
    }
    std::set<std::u16string> texts;
    for (const auto& [type, byName] : types) {
        if (!type.text.empty())
            texts.insert(type.text);
        for (const auto& [name, byLanguage] : byName)
            if (!name.text.empty())
                texts.insert(name.text);
    }
    for (const std::u16string& text : texts)
        names += 2 + 2 * text.size();
    const std::size_t dataEntries = directories;
    const std::size_t strings = dataEntries + kDataEntrySize * tree.size();
    std::size_t dataAt = Align(strings + names, 8);
    std::size_t total = dataAt;
    for (const auto& [key, data] : tree)
        total = Align(total + data.size(), 8);

    Bytes out(total, 0);
    std::map<std::u16string, std::size_t> textAt;
    std::size_t at = strings;
    for (const std::u16string& text : texts) {
        textAt[text] = at;
        Put(out, at, static_cast<uint32_t>(text.size()), 2);
        for (std::size_t i = 0; i < text.size(); ++i)
            Put(out, at + 2 + 2 * i, text[i], 2);
        at += 2 + 2 * text.size();
    }
    std::size_t nextDirectory = 0;
    std::size_t nextDataEntry = dataEntries;
    // Writes a directory's header, returns its entries' offset.
    const auto directory = [&](const auto& level) {
        const std::size_t here = nextDirectory;
        std::size_t named = 0;
        for (const auto& [id, value] : level)
            named += id.text.empty() ? 0 : 1;
        Put(out, here + 12, static_cast<uint32_t>(named), 2);
        Put(out, here + 14, static_cast<uint32_t>(level.size() - named), 2);
        nextDirectory += directorySize(level.size());
        return here + kDirectorySize;
    };
    const auto entryName = [&](std::size_t entry, const ResourceId& id) {
        Put(out, entry, id.text.empty() ? id.number : static_cast<uint32_t>(kNamed | textAt[id.text]), 4);
    };
    std::size_t typeEntry = directory(types);
    for (const auto& [type, byName] : types) {
        entryName(typeEntry, type);
        Put(out, typeEntry + 4, static_cast<uint32_t>(kSubdirectory | nextDirectory), 4);
        typeEntry += kEntrySize;
        std::size_t nameEntry = directory(byName);
        for (const auto& [name, byLanguage] : byName) {
            entryName(nameEntry, name);
            Put(out, nameEntry + 4, static_cast<uint32_t>(kSubdirectory | nextDirectory), 4);
            nameEntry += kEntrySize;
            std::size_t languageEntry = directory(byLanguage);
            for (const auto& [language, data] : byLanguage) {
                entryName(languageEntry, language);
                Put(out, languageEntry + 4, static_cast<uint32_t>(nextDataEntry), 4);
                languageEntry += kEntrySize;
                Put(out, nextDataEntry, static_cast<uint32_t>(sectionRva + dataAt), 4);
                Put(out, nextDataEntry + 4, static_cast<uint32_t>(data->size()), 4);
                nextDataEntry += kDataEntrySize;
                std::copy(data->begin(), data->end(), out.begin() + static_cast<std::ptrdiff_t>(dataAt));
                dataAt = Align(dataAt + data->size(), 8);
            }
        }
    }
    return out;
}

void SetIconGroup(ResourceTree& tree, uint16_t group, const Bytes& iconFile, const std::string& what)
{
    const std::string problem = IconProblem(iconFile, {});
    if (!problem.empty())
        throw UsageError("'" + what + "': " + problem);
    const uint16_t language = LanguageOf(tree, kRtGroupIcon, group);
    // The images the group had go with it.
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        if (!(it->first.type == ResourceId { kRtGroupIcon, {} } && it->first.name == ResourceId { group, {} }))
            continue;
        const Bytes& old = it->second;
        const std::size_t count = old.size() >= 6 ? ReadLe16(old, 4) : 0;
        for (std::size_t i = 0; i < count && 6 + 14 * (i + 1) <= old.size(); ++i)
            EraseAll(tree, kRtIcon, static_cast<uint16_t>(ReadLe16(old, 6 + 14 * i + 12)));
    }
    EraseAll(tree, kRtGroupIcon, group);

    std::set<uint16_t> used;
    for (const auto& [key, data] : tree)
        if (key.type == ResourceId { kRtIcon, {} } && key.name.text.empty())
            used.insert(key.name.number);
    const std::size_t count = ReadLe16(iconFile, 4);
    Bytes directory(6 + 14 * count, 0);
    Put(directory, 2, 1, 2); // icons
    Put(directory, 4, static_cast<uint32_t>(count), 2);
    uint16_t next = 1;
    for (std::size_t i = 0; i < count; ++i) {
        while (used.count(next) != 0)
            ++next;
        if (next == 0)
            throw UsageError("'" + what + "': no icon numbers are left in the program");
        const std::size_t entry = 6 + 16 * i;
        const std::size_t bytes = ReadLe32(iconFile, entry + 8);
        const std::size_t offset = ReadLe32(iconFile, entry + 12);
        // Width, height, colours, reserved, planes, bits as the file has them.
        std::copy(iconFile.begin() + static_cast<std::ptrdiff_t>(entry),
            iconFile.begin() + static_cast<std::ptrdiff_t>(entry + 12), directory.begin() + 6 + 14 * i);
        Put(directory, 6 + 14 * i + 12, next, 2);
        tree[{ { kRtIcon, {} }, { next, {} }, language }]
            = Bytes(iconFile.begin() + static_cast<std::ptrdiff_t>(offset),
                iconFile.begin() + static_cast<std::ptrdiff_t>(offset + bytes));
        used.insert(next);
    }
    tree[{ { kRtGroupIcon, {} }, { group, {} }, language }] = directory;
}

void SetBitmap(ResourceTree& tree, uint16_t id, const Bytes& bitmapFile, const std::string& what)
{
    if (bitmapFile.size() < 14 + 12 || bitmapFile[0] != 'B' || bitmapFile[1] != 'M')
        throw UsageError("'" + what + "': not a Windows bitmap (no BM header)");
    const uint16_t language = LanguageOf(tree, kRtBitmap, id);
    EraseAll(tree, kRtBitmap, id);
    tree[{ { kRtBitmap, {} }, { id, {} }, language }] = Bytes(bitmapFile.begin() + 14, bitmapFile.end());
}

void SetVersion(ResourceTree& tree, const Bytes& version)
{
    const uint16_t language = LanguageOf(tree, kRtVersion, 1);
    EraseAll(tree, kRtVersion, 1);
    tree[{ { kRtVersion, {} }, { 1, {} }, language }] = version;
}

} // namespace ynbpack

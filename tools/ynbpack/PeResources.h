// A program's resources (the tree of its resource section) read, changed and
// written again: the pictures, icons and version texts that ynbpack puts
// into a prebuilt program. Portable: the same bytes on every host.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "Files.h"

namespace ynbpack {

// A resource type or name: a number, or a text when text is not empty.
struct ResourceId {
    uint16_t number = 0;
    std::u16string text;

    bool operator<(const ResourceId& other) const;
    bool operator==(const ResourceId& other) const { return number == other.number && text == other.text; }
};

constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtBitmap = 2;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kRtManifest = 24;

struct ResourceKey {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;

    bool operator<(const ResourceKey& other) const
    {
        return std::tie(type, name, language) < std::tie(other.type, other.name, other.language);
    }
    bool operator==(const ResourceKey& other) const
    {
        return type == other.type && name == other.name && language == other.language;
    }
};

using ResourceTree = std::map<ResourceKey, Bytes>;

// The tree of a resource section whose bytes are section and whose first
// byte lies at sectionRva; the data entries' addresses are taken relative to
// it. Throws UsageError (naming what) on anything that does not lie inside
// the section or loops.
ResourceTree ReadResources(const Bytes& section, uint32_t sectionRva, const std::string& what);
// The section's bytes for the tree, at sectionRva.
Bytes WriteResources(const ResourceTree& tree, uint32_t sectionRva);

// The group icon `group` (RT_GROUP_ICON) made of the images of an icon file,
// replacing the group and the images it had; the images get the lowest
// numbers free. The language is the group's, else the tree's first one's.
// Throws UsageError when the file is no icon.
void SetIconGroup(ResourceTree& tree, uint16_t group, const Bytes& iconFile, const std::string& what);
// The bitmap `id` (RT_BITMAP) from a bitmap file (its file header left out).
void SetBitmap(ResourceTree& tree, uint16_t id, const Bytes& bitmapFile, const std::string& what);
// The version resource (RT_VERSION 1), replacing whatever it had.
void SetVersion(ResourceTree& tree, const Bytes& version);

} // namespace ynbpack

#include "install/Manifest.h"

#include <cstring>

namespace install {

namespace {

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

struct Word {
    const char* text;
    std::size_t length;
    bool (*SpecialFolders::*getter)(char*);
};

constexpr Word kWords[] = {
    { "DESKTOP", 7, &SpecialFolders::Desktop },
    { "MYDOC", 5, &SpecialFolders::MyDocuments },
    { "SYSTEM", 6, &SpecialFolders::Windows },
};

} // namespace

bool IsFolderSource(const char* source)
{
    const std::size_t length = std::strlen(source);
    return length > 0 && source[length - 1] == '\\';
}

ManifestSplit SplitManifest(char* text, int32_t size, ManifestEntry* entries)
{
    ManifestSplit split;
    if (size <= 0)
        return split;
    if (static_cast<std::size_t>(size) > kManifestCapacity) {
        split.Stop = ManifestStop::TooLarge;
        return split;
    }
    int32_t p = 0;
    while (true) {
        while (p < size && IsLineEnd(text[p]))
            ++p;
        if (p >= size)
            break;
        if (split.Count == kManifestMaxEntries) {
            split.Stop = ManifestStop::TooManyLines;
            break;
        }
        ManifestEntry& entry = entries[split.Count++];
        entry = ManifestEntry {};
        entry.Offset = p;

        int32_t tab = p;
        while (tab < size && text[tab] != '\t' && !IsLineEnd(text[tab]))
            ++tab;
        int32_t end = tab;
        while (end < size && !IsLineEnd(text[end]))
            ++end;
        entry.Length = end - p;
        if (end == size) {
            entry.Problem = EntryProblem::MissingLineEnd;
            break;
        }
        if (tab == end) {
            entry.Problem = EntryProblem::MissingTab;
            p = end + 1;
        } else {
            text[tab] = '\0';
            text[end] = '\0';
            entry.Source = text + p;
            entry.Destination = text + tab + 1;
            p = end + 1;
        }
        // The second byte of a two-byte line end.
        if (p < size && IsLineEnd(text[p])) {
            if (entry.Problem == EntryProblem::None)
                text[p] = '\0';
            ++p;
        }
    }
    return split;
}

TargetResult FormTargetPath(
    const char* destination, const char* source, const SpecialFolders& folders, char* target, std::string* whole)
{
    target[0] = '\0';
    std::string path(destination);
    TargetResult result = path.size() < kTargetPathCapacity ? TargetResult::Ok : TargetResult::TooLong;
    for (const Word& word : kWords) {
        if (result != TargetResult::Ok || path.compare(0, word.length, word.text) != 0)
            continue;
        char folder[kFolderCapacity] = {};
        const auto getter = folders.*word.getter;
        if (getter != nullptr)
            (void)getter(folder); // the getters always report true; an empty text means no folder
        folder[kFolderCapacity - 1] = '\0';
        if (folder[0] == '\0') {
            result = TargetResult::NoSpecialFolder;
            break;
        }
        path = std::string(folder) + path.substr(word.length);
        if (path.size() >= kTargetPathCapacity)
            result = TargetResult::TooLong;
    }
    path += '\\';
    path += source;
    if (result == TargetResult::Ok && path.size() >= kTargetPathCapacity)
        result = TargetResult::TooLong;
    if (whole != nullptr)
        *whole = path;
    if (result == TargetResult::Ok)
        std::memcpy(target, path.c_str(), path.size() + 1);
    return result;
}

std::string CheckManifest(const char* text, std::size_t size)
{
    if (size > kManifestCapacity)
        return "the manifest has " + std::to_string(size) + " bytes; at most " + std::to_string(kManifestCapacity)
            + " are allowed";
    if (size == 0)
        return "the manifest is empty";

    // Physical lines first: zero bytes and empty lines, which the splitter
    // would pass over.
    int line = 1;
    for (std::size_t i = 0; i < size;) {
        if (IsLineEnd(text[i]))
            return "line " + std::to_string(line) + " is empty";
        while (i < size && !IsLineEnd(text[i])) {
            if (text[i] == '\0')
                return "line " + std::to_string(line) + " holds a zero byte";
            ++i;
        }
        if (i < size) {
            ++i;
            if (i < size && IsLineEnd(text[i]))
                ++i;
        }
        ++line;
    }

    std::string copy(text, size);
    ManifestEntry entries[kManifestMaxEntries];
    const ManifestSplit split = SplitManifest(copy.data(), static_cast<int32_t>(size), entries);
    for (int i = 0; i < split.Count; ++i) {
        const std::string where = "line " + std::to_string(i + 1);
        const ManifestEntry& entry = entries[i];
        if (entry.Problem == EntryProblem::MissingTab)
            return where + " has no TAB between source and destination";
        if (entry.Problem == EntryProblem::MissingLineEnd)
            return where + " does not end with a line end";
        if (std::strlen(entry.Destination) + 1 + std::strlen(entry.Source) >= kTargetPathCapacity)
            return where + " is too long: its target path would exceed " + std::to_string(kTargetPathCapacity - 1)
                + " bytes";
    }
    if (split.Stop == ManifestStop::TooManyLines)
        return "the manifest has more than " + std::to_string(kManifestMaxEntries) + " lines";
    return {};
}

} // namespace install

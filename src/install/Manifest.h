// The file manifest "ynb_inst.com": its split into entries and the target path
// of an entry. Portable: no Win32; the special folders come from the caller.
//
// Plain text: lines of source, TAB, destination, line end (CR or LF, optionally
// followed by one more CR or LF). The entries are zero-terminated strings inside
// the manifest buffer itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace install {

constexpr std::size_t kManifestCapacity = 4096; // bytes of the manifest text
constexpr int kManifestMaxEntries = 256;
constexpr std::size_t kTargetPathCapacity = 520; // terminator included
constexpr std::size_t kFolderCapacity = 260; // a special folder's path

// Why a line cannot be used. Such an entry is refused: it is neither copied
// nor logged, and the installation reports it as a failed copy.
enum class EntryProblem : uint8_t {
    None,
    MissingTab, // the line holds no TAB before its line end
    MissingLineEnd, // the data ends inside the line (a cut-off manifest)
};

struct ManifestEntry {
    // Zero-terminated inside the text; both null for a refused line.
    char* Source = nullptr;
    char* Destination = nullptr;
    EntryProblem Problem = EntryProblem::None;
    // The line's first byte in the text and its length without the line end,
    // for messages (a refused line is not zero-terminated).
    int32_t Offset = 0;
    int32_t Length = 0;
};

// A source whose last byte is a backslash names a folder; an empty one a file.
// Byte-wise: a double-byte character with trail byte 0x5C counts as a backslash.
bool IsFolderSource(const char* source);

enum class ManifestStop : uint8_t {
    End, // every line was read
    TooLarge, // more than kManifestCapacity bytes: nothing read
    TooManyLines, // the lines after the 256th were not read
};

struct ManifestSplit {
    int Count = 0;
    ManifestStop Stop = ManifestStop::End;
};

// Splits the first `size` bytes of `text` in place: each line's TAB and line
// end bytes become zeros. A size of 0 or below gives no entries. Reads and
// writes only the first `size` bytes, and fills at most kManifestMaxEntries
// entries. A line without a TAB becomes a refused entry and the next line is
// read as usual; a line without its line end can only be the last one and is
// refused too. Empty lines (line-end bytes where a line should begin) are
// passed over, so no source or destination ever holds a CR or LF.
ManifestSplit SplitManifest(char* text, int32_t size, ManifestEntry* entries);

// The three special folders, asked for only when a destination begins with
// their word. Each writes a path of at most kFolderCapacity - 1 bytes into a
// kFolderCapacity-byte buffer (ClsFile's getters have this form).
struct SpecialFolders {
    bool (*Desktop)(char* result) = nullptr;
    bool (*MyDocuments)(char* result) = nullptr;
    bool (*Windows)(char* result) = nullptr;
};

enum class TargetResult : uint8_t {
    Ok,
    TooLong, // the target path does not fit kTargetPathCapacity bytes
    NoSpecialFolder, // the system named no folder for DESKTOP, MYDOC or SYSTEM
};

// The target path of an entry: the destination with a leading "DESKTOP",
// "MYDOC" or "SYSTEM" (tested in that order, case-sensitive, each on the
// destination as the previous test left it) replaced by its folder, then "\"
// and the source as written. On anything but Ok, `target` is empty; `whole`,
// when given, receives the full text as far as it could be formed, for the
// failure message.
TargetResult FormTargetPath(const char* destination, const char* source, const SpecialFolders& folders,
    char* target /* kTargetPathCapacity */, std::string* whole = nullptr);

// Syntax check of a plain manifest, for the tool that builds it: every line has
// a TAB and ends with a line end, no empty lines, no zero bytes, at most
// kManifestCapacity bytes and kManifestMaxEntries lines, no source or
// destination that leaves no room in the target path. Returns an empty text
// when it is well formed, otherwise a message naming the line (1-based).
std::string CheckManifest(const char* text, std::size_t size);

} // namespace install

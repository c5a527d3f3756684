// The installation worked out before anything is written: where each file of
// the payload ends up, which manifest entries fail and why, the folders to
// make, the copies left for after the extraction, the log's entry lines and
// the bytes each volume receives. Portable: the machine is asked through the
// facts the caller gives, Win32 only carries the plan out.
//
// The plan replays the installation's sequence on a model of the paths it
// touches: the payload extracted into the base folder, then every manifest
// entry copied in manifest order (a copy never makes its target's folder, a
// later writer of a path wins, a file that an earlier write made read-only,
// hidden or system refuses the next copy), then the staging folder removed.
// What is left decides the writes: each payload file goes straight to one of
// its final places, and is copied from there to the others once the payload
// has been decoded whole; a file only the staging folder held, and the
// manifest, are not written at all.
//
// Where the model cannot know what the machine will do (a source that is no
// payload file but exists on the machine, a staging folder that exists
// already, a target inside the staging folder, a path written twice that
// existed before, a file where a folder is expected), the plan is staged:
// the installation runs as a sequence of real copies from the extracted
// staging folder, which is exact by construction.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/Manifest.h"
#include "sys/PathWalk.h"

namespace install {

enum class PathKind : uint8_t { None, File, Folder };

// Attribute bits as Windows numbers them.
constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kHidden = 0x2;
constexpr uint32_t kSystem = 0x4;

struct PayloadFileInfo {
    std::string name; // relative to the base folder, with backslashes, ANSI
    uint64_t size = 0;
    uint32_t attributes = 0; // those the extracted file carries
};

// The machine as it is before the installation, asked by full path.
struct MachineFacts {
    std::function<PathKind(const std::string& path)> kind;
    // The full form of an absolute path: "." and ".." resolved, separators
    // made one. Without it, FullPathOf's own rules apply.
    std::function<std::string(const std::string& path)> fullPath;
    // The current folder the process keeps for a drive ("D:\" when none),
    // against which "D:x" resolves when D: is not the drive in use.
    std::function<std::string(char drive)> driveFolder;
};

// A manifest entry that could not be placed, and why (also the shape of the
// engine's report).
struct CopyFailure {
    std::string target; // the entry's target path, or the refused line
    // The file or folder that failed (inside a folder's tree for a folder
    // entry), with its Win32 error; empty and 0 for a refused line.
    std::string path;
    uint32_t error = 0;
};

// What became of one manifest entry.
struct EntryPlan {
    std::string item; // the source as written, for the progress line
    bool logged = false; // the entry gets a log line
    std::string logTarget; // its target path as formed (relative ones stay so)
    bool folder = false;
    std::string fullTarget; // the target's full path, for /LOG=
    // A failure the model foresees; a write or copy of this entry that fails
    // when carried out may come first (the lower step).
    bool fails = false;
    CopyFailure failure;
    uint32_t failureStep = UINT32_MAX; // its place in the entry's walk
};

// One payload file written by the extraction.
struct PlannedWrite {
    int file = -1; // in the payload's table
    std::string path; // full path
    // As a copy writes its target (the file's attributes given at creation,
    // only the last-write time set, a failure that is the entry's own),
    // rather than as the extraction writes its files.
    bool asCopy = false;
    int entry = -1; // the entry whose target it is, or -1
    uint32_t step = 0; // its place in that entry's walk
    bool existed = false; // a file was there before the installation
};

// A copy after the extraction, from a file the extraction wrote.
struct PlannedCopy {
    int entry = -1;
    uint32_t step = 0;
    std::string from;
    std::string to;
    uint64_t size = 0;
    bool existed = false; // a file was there before the installation
};

enum class PlanMode : uint8_t {
    Direct, // every file written once, straight to its place
    Staged, // the payload into the base folder, then the manifest's copies
};

struct InstallPlan {
    PlanMode mode = PlanMode::Direct;
    std::string why; // why it is staged, in one English line
    std::vector<std::string> folders; // to make before writing, parents first
    std::vector<PlannedWrite> writes; // at most one per payload file
    std::vector<PlannedCopy> copies; // in manifest order
    // Payload files written to a temporary place beside the install folder's
    // files, only to be copied to targets outside it that exist already;
    // removed at the end.
    std::vector<std::string> scratch;
    std::vector<EntryPlan> entries; // per manifest entry, in manifest order
    // The bytes of the files the extraction leaves, as the uninstall entry
    // estimates the installation's size: a file the payload holds twice
    // counts once, the staging folder's files included.
    uint64_t payloadSize = 0;
    uint64_t bytesToWrite = 0; // every write and copy, for the progress
};

struct PlanInput {
    std::string baseFolder; // full paths, without a trailing backslash
    std::string installFolder;
    std::string stagingFolder;
    std::vector<PayloadFileInfo> files;
    int manifestFile = -1; // the payload file that is the manifest, or -1
    // The manifest split into entries (Manifest.h), text included for the
    // refused lines; null with no entries.
    const char* manifestText = nullptr;
    const ManifestEntry* entries = nullptr;
    int entryCount = 0;
    SpecialFolders specialFolders;
    MachineFacts machine;
    sys::CodePage codePage;
};

InstallPlan PlanInstallation(const PlanInput& input);

// The full path of path as the system forms it with folder current (a full
// path itself): "D:x" against the drive's own folder, "\x" against the
// folder's root, anything relative against the folder; then made full by
// facts.fullPath, or by the rules of NormalizePath without one.
std::string FullPathOf(const std::string& path, const std::string& folder, const MachineFacts& facts);

// "." and ".." resolved and runs of separators made one, the root ("C:\" or
// "\\server\share\") kept.
std::string NormalizePath(const std::string& path, LeadByteTest isLead);

// folder, one backslash, then rest: a folder that ends in a separator (a
// root) gets no second.
std::string JoinFolder(const std::string& folder, const std::string& rest);

// The path without its trailing separators, its root's excepted.
std::string WithoutTrailingSeparators(std::string path, LeadByteTest isLead);

// The root a full path lies on: "C:\" or "\\server\share\"; empty when none.
std::string VolumeOf(const std::string& path, LeadByteTest isLead);

struct VolumeNeed {
    std::string volume;
    uint64_t bytes = 0;
};

// The bytes each volume receives: every write, copy and scratch file rounded
// up to the volume's cluster, plus 1 MiB on the install folder's volume for
// the folders and the log. Counted gross: a file that replaces another gets
// no credit for it.
std::vector<VolumeNeed> SpaceNeeded(const InstallPlan& plan, const PlanInput& input,
    const std::function<uint64_t(const std::string& volume)>& clusterSize);

// The plan as lines of text, for tests and for looking at it.
std::string DescribePlan(const InstallPlan& plan);

} // namespace install

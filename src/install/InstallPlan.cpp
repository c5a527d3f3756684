#include "install/InstallPlan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

namespace install {

namespace {

// Win32's error numbers for what the model foresees.
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kSharingViolation = 32;
constexpr std::size_t kMaxPath = 260; // the ANSI file functions' limit, terminator included
constexpr uint64_t kFolderAndLogReserve = 1024 * 1024;
constexpr uint32_t kGuarded = kReadOnly | kHidden | kSystem;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// One path of the model: what lies there now, as far as the installation
// has come.
struct Node {
    std::string path;
    PathKind kind = PathKind::None;
    bool existed = false; // before the installation
    bool untouched = true; // still as the machine had it
    bool overMachineFile = false; // a copy replaced a file that existed before
    bool extracted = false; // the payload's own place of the file, not overwritten since
    int content = -1; // the payload file it holds
    uint32_t attributes = 0;
    int entry = -1; // the last write's entry and step
    uint32_t step = 0;
    std::size_t order = 0; // when it was last written, for the order of places
};

class Model {
public:
    explicit Model(const PlanInput& input)
        : in_(input)
        , isLead(input.codePage.isLead)
    {
    }

    std::string Key(const std::string& path) const { return sys::PathKey(path, in_.codePage); }

    Node& At(const std::string& path)
    {
        const std::string key = Key(path);
        auto found = nodes_.find(key);
        if (found != nodes_.end())
            return found->second;
        Node node;
        node.path = path;
        node.kind = in_.machine.kind ? in_.machine.kind(path) : PathKind::None;
        node.existed = node.kind != PathKind::None;
        return nodes_.emplace(key, std::move(node)).first->second;
    }

    // The folder that holds path, or empty at a root.
    std::string Parent(const std::string& path) const
    {
        const std::size_t root = VolumeOf(path, isLead).size();
        const std::ptrdiff_t last = sys::LastSeparatorIn(path, isLead);
        if (root == 0 || path.size() <= root || last < static_cast<std::ptrdiff_t>(root))
            return path.size() > root && root > 0 ? path.substr(0, root) : std::string();
        return path.substr(0, static_cast<std::size_t>(last));
    }

    bool Within(const std::string& inner, const std::string& outer) const
    {
        const std::string a = Key(inner);
        const std::string b = Key(outer);
        if (a == b || outer.empty())
            return a == b;
        const std::string prefix = Key(outer.back() == '\\' ? outer : outer + "\\");
        return a.compare(0, prefix.size(), prefix) == 0;
    }

    void Stage(const char* why)
    {
        if (!staged) {
            staged = true;
            this->why = why;
        }
    }

    // Makes the folder and every missing one above it, as the extraction
    // does; false where a file stands in the way.
    bool MakeTree(const std::string& folder)
    {
        std::vector<std::string> chain;
        for (std::string at = folder; !at.empty(); at = Parent(at)) {
            Node& node = At(at);
            if (node.kind == PathKind::Folder)
                break;
            if (node.kind == PathKind::File)
                return false;
            chain.push_back(at);
        }
        for (auto at = chain.rbegin(); at != chain.rend(); ++at)
            MakeFolder(*at);
        return true;
    }

    void MakeFolder(const std::string& path)
    {
        Node& node = At(path);
        node.kind = PathKind::Folder;
        node.untouched = false;
        madeFolders.push_back(path);
    }

    // The nodes directly inside folder that exist now, in the order of their keys.
    std::vector<Node*> Children(const std::string& folder)
    {
        std::vector<Node*> children;
        const std::string parent = Key(folder);
        const std::string prefix = Key(folder + "\\");
        for (auto it = nodes_.lower_bound(prefix);
             it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
            if (it->second.kind != PathKind::None && Key(Parent(it->second.path)) == parent)
                children.push_back(&it->second);
        return children;
    }

    std::map<std::string, Node>& Nodes() { return nodes_; }

    const PlanInput& in_;
    LeadByteTest isLead;
    bool staged = false;
    std::string why;
    std::vector<std::string> madeFolders;
    std::size_t writes = 0;

private:
    std::map<std::string, Node> nodes_;
};

class Planner {
public:
    explicit Planner(const PlanInput& input)
        : in_(input)
        , model_(input)
    {
    }

    InstallPlan Run()
    {
        Extract();
        for (int i = 0; i < in_.entryCount; ++i)
            Entry(i);
        if (model_.staged) {
            plan_.mode = PlanMode::Staged;
            plan_.why = model_.why;
        } else {
            Places();
        }
        return std::move(plan_);
    }

private:
    std::string Full(const std::string& path) const { return FullPathOf(path, in_.stagingFolder, in_.machine); }
    std::string Key(const std::string& path) const { return model_.Key(path); }

    // The payload into the base folder: each file over whatever was there.
    void Extract()
    {
        if (model_.At(in_.stagingFolder).kind != PathKind::None)
            model_.Stage("the staging folder exists already");
        std::map<std::string, int> last; // folded own place -> the file that stays there
        for (std::size_t i = 0; i < in_.files.size(); ++i) {
            const std::string path = JoinFolder(in_.baseFolder, in_.files[i].name);
            last[Key(path)] = static_cast<int>(i);
            if (model_.Within(in_.stagingFolder, path))
                model_.Stage("a payload file stands where the staging folder belongs");
            if (!model_.MakeTree(model_.Parent(path)))
                model_.Stage("a file stands where the payload needs a folder");
            Node& node = model_.At(path);
            if (node.kind == PathKind::Folder) {
                model_.Stage("a folder stands where the payload has a file");
                continue;
            }
            Write(node, static_cast<int>(i), -1, 0);
            node.extracted = true;
        }
        for (const auto& [key, file] : last)
            plan_.payloadSize += in_.files[static_cast<std::size_t>(file)].size;
    }

    void Write(Node& node, int content, int entry, uint32_t step)
    {
        node.kind = PathKind::File;
        node.content = content;
        node.attributes = in_.files[static_cast<std::size_t>(content)].attributes;
        node.entry = entry;
        node.step = step;
        node.extracted = false;
        node.untouched = false;
        node.order = ++model_.writes;
    }

    void Fail(EntryPlan& entry, uint32_t step, std::string target, std::string path, uint32_t error)
    {
        if (entry.fails && entry.failureStep <= step)
            return;
        entry.fails = true;
        entry.failureStep = step;
        entry.failure = { std::move(target), std::move(path), error };
    }

    void Entry(int index)
    {
        const ManifestEntry& manifest = in_.entries[index];
        EntryPlan entry;
        if (manifest.Problem != EntryProblem::None) {
            Fail(entry, 0, std::string(in_.manifestText + manifest.Offset, static_cast<std::size_t>(manifest.Length)),
                {}, 0);
            plan_.entries.push_back(std::move(entry));
            return;
        }
        entry.item = manifest.Source;
        char target[kTargetPathCapacity];
        std::string whole;
        if (FormTargetPath(manifest.Destination, manifest.Source, in_.specialFolders, target, &whole)
            != TargetResult::Ok) {
            Fail(entry, 0, whole, {}, 0);
            plan_.entries.push_back(std::move(entry));
            return;
        }
        entry.logged = true;
        entry.logTarget = target;
        entry.folder = IsFolderSource(manifest.Source);
        entry.fullTarget = Full(target);
        if (!model_.staged) {
            std::string source = manifest.Source;
            if (entry.folder) {
                source.pop_back();
                CopyFolder(index, entry, source);
            } else {
                CopyFile(index, entry, source);
            }
        }
        plan_.entries.push_back(std::move(entry));
    }

    // Whether a copy may write to.path, with what the model foresees; false
    // when it fails (reported at step, naming failurePath).
    void CopyTo(int index, EntryPlan& entry, uint32_t step, const Node& from, const std::string& to,
        const std::string& failurePath)
    {
        if (Key(to) == Key(from.path)) {
            Fail(entry, step, entry.logTarget, failurePath, kSharingViolation);
            return;
        }
        if (model_.Within(to, in_.stagingFolder)) {
            model_.Stage("a target lies inside the staging folder");
            return;
        }
        if (to.size() >= kMaxPath) {
            model_.Stage("a target's path is too long for the file functions");
            return;
        }
        const Node& parent = model_.At(model_.Parent(to));
        if (parent.kind == PathKind::File) {
            model_.Stage("a target's folder is a file");
            return;
        }
        if (parent.kind == PathKind::None) {
            Fail(entry, step, entry.logTarget, failurePath, kPathNotFound); // a copy makes no folder
            return;
        }
        Node& node = model_.At(to);
        if (node.kind == PathKind::Folder) {
            model_.Stage("a target is a folder");
            return;
        }
        if (node.kind == PathKind::File && !node.untouched && (node.attributes & kGuarded) != 0) {
            model_.Stage("a target was made read-only, hidden or system by an earlier write");
            return;
        }
        if (node.kind == PathKind::File && node.overMachineFile) {
            model_.Stage("a file that exists already is the target of two copies");
            return;
        }
        const bool overMachine = node.kind == PathKind::File && node.untouched;
        Write(node, from.content, index, step);
        node.overMachineFile = overMachine || node.overMachineFile;
    }

    // A path on no drive or share (a device or \\?\ path) is the machine's to judge.
    bool Rooted(const std::string& path)
    {
        if (!VolumeOf(path, model_.isLead).empty())
            return true;
        model_.Stage("a path names no drive or share");
        return false;
    }

    void CopyFile(int index, EntryPlan& entry, const std::string& source)
    {
        if (source.empty()) {
            model_.Stage("an entry without a source");
            return;
        }
        const std::string from = WithoutTrailingSeparators(Full(source), model_.isLead);
        const std::string to = WithoutTrailingSeparators(entry.fullTarget, model_.isLead);
        if (!Rooted(from) || !Rooted(to))
            return;
        Node& node = model_.At(from);
        if (node.kind == PathKind::None) {
            const Node& parent = model_.At(model_.Parent(from));
            Fail(entry, 0, entry.logTarget, entry.fullTarget,
                parent.kind == PathKind::Folder ? kFileNotFound : kPathNotFound);
            return;
        }
        if (node.kind == PathKind::Folder || node.untouched) {
            model_.Stage("a source is no file of the payload");
            return;
        }
        CopyTo(index, entry, 0, node, to, entry.fullTarget);
    }

    void CopyFolder(int index, EntryPlan& entry, const std::string& source)
    {
        if (source.empty()) {
            Fail(entry, 0, entry.logTarget, {}, 0);
            return;
        }
        const std::string from = WithoutTrailingSeparators(Full(source), model_.isLead);
        const std::string to = WithoutTrailingSeparators(entry.fullTarget, model_.isLead);
        if (!Rooted(from) || !Rooted(to))
            return;
        if (model_.Within(to, from)) {
            Fail(entry, 0, entry.logTarget, {}, 0); // it would list its own copy again and again
            return;
        }
        Node& node = model_.At(from);
        if (node.kind == PathKind::None) {
            Fail(entry, 0, entry.logTarget, Full(source), kPathNotFound);
            return;
        }
        if (node.kind == PathKind::File || node.existed) {
            model_.Stage("a folder entry lists a folder that is not the payload's alone");
            return;
        }
        uint32_t step = 0;
        if (!MakeCopyFolder(index, entry, step, to, entry.fullTarget))
            return;
        Walk(index, entry, step, from, to);
    }

    // CreateDirectoryEx of a folder copy: an existing folder is used as it is.
    bool MakeCopyFolder(int index, EntryPlan& entry, uint32_t& step, const std::string& to, const std::string& named)
    {
        (void)index;
        Node& node = model_.At(to);
        if (node.kind == PathKind::File) {
            model_.Stage("a folder entry's target is a file");
            return false;
        }
        if (model_.Within(to, in_.stagingFolder)) {
            model_.Stage("a target lies inside the staging folder");
            return false;
        }
        if (node.kind == PathKind::Folder)
            return true;
        const Node& parent = model_.At(model_.Parent(to));
        if (parent.kind != PathKind::Folder) {
            if (parent.kind == PathKind::File)
                model_.Stage("a target's folder is a file");
            else
                Fail(entry, step, entry.logTarget, named, kPathNotFound);
            return false;
        }
        model_.MakeFolder(to);
        ++step;
        return true;
    }

    void Walk(int index, EntryPlan& entry, uint32_t& step, const std::string& from, const std::string& to)
    {
        for (Node* child : model_.Children(from)) {
            if (model_.staged)
                return;
            const std::string name = child->path.substr(from.size() + 1);
            const std::string target = to + "\\" + name;
            if (child->kind == PathKind::Folder) {
                if (MakeCopyFolder(index, entry, step, target, target))
                    Walk(index, entry, step, child->path, target);
            } else {
                CopyTo(index, entry, step++, *child, target, target);
            }
        }
    }

    // What is left decides the writes: per payload file, its places.
    void Places()
    {
        std::map<int, std::vector<const Node*>> places;
        for (const auto& [key, node] : model_.Nodes()) {
            (void)key;
            if (node.kind == PathKind::File && !node.untouched && node.content >= 0
                && !model_.Within(node.path, in_.stagingFolder))
                places[node.content].push_back(&node);
        }
        for (const std::string& folder : model_.madeFolders)
            if (!model_.Within(folder, in_.stagingFolder)
                && std::find(plan_.folders.begin(), plan_.folders.end(), folder) == plan_.folders.end())
                plan_.folders.push_back(folder);
        for (auto& [file, nodes] : places) {
            std::sort(nodes.begin(), nodes.end(), [](const Node* a, const Node* b) {
                if (a->extracted != b->extracted)
                    return a->extracted;
                return std::make_pair(a->entry, a->step) < std::make_pair(b->entry, b->step);
            });
            const Node* primary = nullptr;
            if (nodes.front()->extracted)
                primary = nodes.front();
            for (const Node* node : nodes)
                if (primary == nullptr && model_.Within(node->path, in_.installFolder))
                    primary = node;
            for (const Node* node : nodes)
                if (primary == nullptr && !node->existed)
                    primary = node;
            const uint64_t size = in_.files[static_cast<std::size_t>(file)].size;
            std::string from;
            if (primary != nullptr) {
                plan_.writes.push_back(
                    { file, primary->path, !primary->extracted, primary->entry, primary->step, primary->existed });
                from = primary->path;
            } else {
                from = Scratch(file);
                plan_.writes.push_back({ file, from, false, -1, 0, false });
                plan_.scratch.push_back(from);
            }
            plan_.bytesToWrite += size;
            for (const Node* node : nodes)
                if (node != primary) {
                    plan_.copies.push_back({ node->entry, node->step, from, node->path, size, node->existed });
                    plan_.bytesToWrite += size;
                }
        }
        std::sort(plan_.writes.begin(), plan_.writes.end(),
            [](const PlannedWrite& a, const PlannedWrite& b) { return a.file < b.file; });
        std::stable_sort(plan_.copies.begin(), plan_.copies.end(), [](const PlannedCopy& a, const PlannedCopy& b) {
            return std::make_pair(a.entry, a.step) < std::make_pair(b.entry, b.step);
        });
    }

    // A name in the install folder that nothing has or will have.
    std::string Scratch(int file)
    {
        for (int n = 0;; ++n) {
            const std::string path = in_.installFolder + "\\~ynb" + std::to_string(file)
                + (n > 0 ? "-" + std::to_string(n) : std::string()) + ".tmp";
            const Node& node = model_.At(path);
            if (node.kind == PathKind::None && !node.existed)
                return path;
        }
    }

    const PlanInput& in_;
    Model model_;
    InstallPlan plan_;
};

} // namespace

std::string JoinFolder(const std::string& folder, const std::string& rest)
{
    return !folder.empty() && IsSeparator(folder.back()) ? folder + rest : folder + "\\" + rest;
}

std::string WithoutTrailingSeparators(std::string path, LeadByteTest isLead)
{
    const std::size_t root = VolumeOf(path, isLead).size();
    while (path.size() > root && path.back() == '\\'
        && sys::LastSeparatorIn(path, isLead) == static_cast<std::ptrdiff_t>(path.size()) - 1)
        path.pop_back();
    return path;
}

std::string NormalizePath(const std::string& path, LeadByteTest isLead)
{
    const std::string root = VolumeOf(path, isLead);
    if (root.empty())
        return path;
    std::vector<std::string_view> kept;
    // A share named without its separator has a root one byte longer than itself.
    const std::string_view rest = std::string_view(path).substr(std::min(root.size(), path.size()));
    for (std::string_view part : sys::SplitAtSeparators(rest, isLead, sys::Slashes::Separate)) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    std::string full = root;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            full += '\\';
        full += kept[i];
    }
    if (!kept.empty() && !rest.empty() && IsSeparator(rest.back())
        && sys::LastSeparatorIn(rest, isLead, sys::Slashes::Separate) == static_cast<std::ptrdiff_t>(rest.size()) - 1)
        full += '\\';
    return full;
}

std::string VolumeOf(const std::string& path, LeadByteTest isLead)
{
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]))
        return path.substr(0, 2) + "\\";
    if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || path[2] == '?' || path[2] == '.')
        return {};
    // \\server\share\: the separators after the server and after the share.
    std::size_t separators = 0;
    for (std::size_t i = 2; i < path.size(); i += sys::CharacterSize(path, i, isLead))
        if (IsSeparator(path[i]) && ++separators == 2)
            return "\\\\" + path.substr(2, i - 2) + "\\";
    return separators == 1 ? "\\\\" + path.substr(2) + "\\" : std::string();
}

std::string FullPathOf(const std::string& path, const std::string& folder, const MachineFacts& facts)
{
    std::string joined;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        joined = path;
    } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        if (path.size() >= 3 && IsSeparator(path[2])) {
            joined = path;
        } else if (folder.size() >= 2 && folder[1] == ':'
            && std::toupper(static_cast<unsigned char>(folder[0]))
                == std::toupper(static_cast<unsigned char>(path[0]))) {
            joined = JoinFolder(folder, path.substr(2));
        } else {
            const std::string drive = facts.driveFolder ? facts.driveFolder(path[0]) : std::string(1, path[0]) + ":\\";
            joined = JoinFolder(drive, path.substr(2));
        }
    } else if (!path.empty() && IsSeparator(path[0])) {
        std::string root = VolumeOf(folder, nullptr);
        if (!root.empty())
            root.pop_back();
        joined = root + path;
    } else {
        joined = JoinFolder(folder, path);
    }
    return facts.fullPath ? facts.fullPath(joined) : NormalizePath(joined, nullptr);
}

InstallPlan PlanInstallation(const PlanInput& input)
{
    return Planner(input).Run();
}

std::vector<VolumeNeed> SpaceNeeded(const InstallPlan& plan, const PlanInput& input,
    const std::function<uint64_t(const std::string& volume)>& clusterSize)
{
    std::vector<VolumeNeed> needs;
    std::map<std::string, uint64_t> clusters;
    auto add = [&](const std::string& path, uint64_t bytes) {
        const std::string volume = VolumeOf(path, input.codePage.isLead);
        const std::string key = sys::PathKey(volume, input.codePage);
        auto found = clusters.find(key);
        if (found == clusters.end())
            found = clusters.emplace(key, std::max<uint64_t>(clusterSize ? clusterSize(volume) : 1, 1)).first;
        const uint64_t cluster = found->second;
        const uint64_t rounded = (bytes + cluster - 1) / cluster * cluster;
        for (VolumeNeed& need : needs)
            if (sys::PathKey(need.volume, input.codePage) == key) {
                need.bytes += rounded;
                return;
            }
        needs.push_back({ volume, rounded });
    };
    add(input.installFolder, kFolderAndLogReserve);
    if (plan.mode == PlanMode::Staged) {
        // The payload into the base folder; the copies from outside it are
        // not known before they run.
        for (const PayloadFileInfo& file : input.files)
            add(input.baseFolder, file.size);
        for (const PlannedCopy& copy : plan.copies)
            add(copy.to, copy.size);
        return needs;
    }
    for (const PlannedWrite& write : plan.writes)
        add(write.path, input.files[static_cast<std::size_t>(write.file)].size);
    for (const PlannedCopy& copy : plan.copies)
        add(copy.to, copy.size);
    return needs;
}

std::string DescribePlan(const InstallPlan& plan)
{
    std::string text = plan.mode == PlanMode::Direct ? "direct\n" : "staged: " + plan.why + "\n";
    for (const std::string& folder : plan.folders)
        text += "folder " + folder + "\n";
    for (const PlannedWrite& write : plan.writes) {
        text += "write " + std::to_string(write.file) + " " + write.path;
        if (write.asCopy)
            text += " as copy of entry " + std::to_string(write.entry + 1) + "." + std::to_string(write.step);
        text += "\n";
    }
    for (const PlannedCopy& copy : plan.copies)
        text += "copy " + copy.from + " -> " + copy.to + " for entry " + std::to_string(copy.entry + 1) + "."
            + std::to_string(copy.step) + "\n";
    for (const std::string& scratch : plan.scratch)
        text += "scratch " + scratch + "\n";
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        const EntryPlan& entry = plan.entries[i];
        text += "entry " + std::to_string(i + 1) + " " + entry.item;
        if (entry.logged)
            text += " log " + entry.logTarget;
        if (entry.fails)
            text += " fails " + entry.failure.target + " | " + entry.failure.path + " | "
                + std::to_string(entry.failure.error);
        text += "\n";
    }
    text += "payload " + std::to_string(plan.payloadSize) + " bytes, " + std::to_string(plan.bytesToWrite)
        + " written\n";
    return text;
}

} // namespace install

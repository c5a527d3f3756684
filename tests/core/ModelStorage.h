// A model of a disk and a registry for the transaction's tests (Storage.h):
// every change is kept in a trace, and the state after a cut at any point of
// it can be rebuilt as a kill leaves it (everything done so far) or as a
// power cut does (names only up to some point after the last flush, file
// bytes only as last flushed, registry writes only up to some point after
// the last flush of the registry). Restart operations count as durable at
// once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "install/Storage.h"

namespace model {

using install::PathKind;
using install::PendingRename;
using install::RegistryKey;
using install::RegistryValue;
using install::Scope;
namespace err = install::store_error;

struct Node {
    bool folder = false;
    int inode = 0; // a file's identity, which its bytes belong to
    bool operator==(const Node&) const = default;
};

// What the machine holds; files' bytes by inode.
struct State {
    std::map<std::string, Node> nodes;
    std::map<int, std::string> data;
    std::map<std::pair<Scope, std::string>, std::vector<RegistryValue>> keys;
    std::vector<PendingRename> pending;

    // The files with their bytes, the folders, the keys, and the restart
    // operations that still have something to do.
    std::string Describe() const
    {
        std::string text;
        for (const auto& [path, node] : nodes)
            text += node.folder ? path + "\\\n" : path + " = " + data.at(node.inode) + "\n";
        for (const auto& [key, values] : keys) {
            text += (key.first == Scope::Machine ? "HKLM\\" : "HKCU\\") + key.second + "\n";
            for (const RegistryValue& value : values)
                text += "  " + value.name + " = " + value.data + "\n";
        }
        for (const PendingRename& rename : pending)
            if (nodes.count(rename.source) != 0)
                text += "at restart: " + rename.source + " -> " + rename.target + "\n";
        return text;
    }
};

enum class OpKind { Meta, Data, FlushData, Barrier, Registry, RegistryFlush, Pending };

struct Op {
    explicit Op(OpKind what)
        : kind(what)
    {
    }
    OpKind kind;
    // Meta: the names before and after (a rename, a creation, a removal).
    std::map<std::string, Node> before;
    std::map<std::string, Node> after;
    int inode = 0;
    std::string bytes;
    Scope scope = Scope::Machine;
    std::map<std::pair<Scope, std::string>, std::vector<RegistryValue>> keysAfter;
    PendingRename rename;
};

inline std::string Parent(const std::string& path)
{
    const std::size_t at = path.find_last_of('\\');
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

inline bool Below(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '\\';
}

constexpr char kTorn[] = "<torn>";

class Disk {
public:
    explicit Disk(State initial)
        : initial_(initial)
        , state_(std::move(initial))
    {
        for (const auto& [inode, bytes] : state_.data)
            next_ = std::max(next_, inode + 1);
    }

    const State& Now() const { return state_; }
    const std::vector<Op>& Trace() const { return trace_; }
    std::set<std::string> held; // files a program holds: neither renamed nor removed
    // Files a program has open with delete sharing: renamed, but no folder
    // above one is.
    std::set<std::string> open;

    install::Storage MakeStorage()
    {
        install::Storage s;
        s.kind = [this](const std::string& path) {
            const auto found = state_.nodes.find(path);
            return found == state_.nodes.end() ? PathKind::None
                : found->second.folder         ? PathKind::Folder
                                               : PathKind::File;
        };
        s.names = [this](const std::string& folder) {
            std::vector<std::string> names;
            for (auto it = state_.nodes.lower_bound(folder + "\\");
                 it != state_.nodes.end() && Below(it->first, folder); ++it)
                if (it->first.find('\\', folder.size() + 1) == std::string::npos)
                    names.push_back(it->first.substr(folder.size() + 1));
            return names;
        };
        s.makeFolder = [this](const std::string& path, bool) {
            if (state_.nodes.count(path) != 0)
                return err::kAlreadyExists;
            if (!IsFolder(Parent(path)))
                return err::kPathNotFound;
            return Change({}, { { path, Node { true, 0 } } });
        };
        s.removeFolder = [this](const std::string& path) {
            if (!IsFolder(path))
                return err::kFileNotFound;
            if (HasChildren(path))
                return err::kDirNotEmpty;
            return Change({ { path, state_.nodes.at(path) } }, {});
        };
        s.removeFile = [this](const std::string& path) {
            const auto found = state_.nodes.find(path);
            if (found == state_.nodes.end())
                return err::kFileNotFound;
            if (found->second.folder)
                return err::kAccessDenied;
            if (held.count(path) != 0)
                return err::kSharingViolation;
            return Change({ *found }, {});
        };
        s.removeTree = [this](const std::string& path) {
            if (!IsFolder(path))
                return err::kPathNotFound;
            std::vector<std::string> below;
            for (const auto& [name, node] : state_.nodes)
                if (Below(name, path))
                    below.push_back(name);
            std::sort(below.rbegin(), below.rend()); // children before their folders
            for (const std::string& name : below) {
                if (held.count(name) != 0)
                    return err::kSharingViolation;
                (void)Change({ { name, state_.nodes.at(name) } }, {});
            }
            return Change({ { path, state_.nodes.at(path) } }, {});
        };
        s.rename = [this](const std::string& from, const std::string& to) { return Rename(from, to, false); };
        s.replaceDurably = [this](const std::string& from, const std::string& to) {
            const uint32_t error = Rename(from, to, true);
            if (error == err::kNone)
                Record(Op(OpKind::Barrier));
            return error;
        };
        s.copyDurably = [this](const std::string& from, const std::string& to) {
            const auto source = state_.nodes.find(from);
            if (source == state_.nodes.end() || source->second.folder)
                return err::kFileNotFound;
            const std::string bytes = state_.data.at(source->second.inode);
            return Create(to, bytes);
        };
        s.createDurably = [this](const std::string& path, const std::string& bytes) { return Create(path, bytes); };
        s.appendDurably = [this](const std::string& path, const std::string& bytes) {
            const auto found = state_.nodes.find(path);
            if (found == state_.nodes.end() || found->second.folder)
                return err::kFileNotFound;
            Write(found->second.inode, state_.data.at(found->second.inode) + bytes);
            return err::kNone;
        };
        s.read = [this](const std::string& path, std::string& bytes, uint64_t limit) {
            const auto found = state_.nodes.find(path);
            if (found == state_.nodes.end() || found->second.folder)
                return err::kFileNotFound;
            bytes = state_.data.at(found->second.inode);
            return bytes.size() > limit ? err::kInvalidData : err::kNone;
        };
        s.barrier = [this](const std::string&) {
            Record(Op(OpKind::Barrier));
            return err::kNone;
        };
        s.renameAtRestart = [this](const PendingRename& rename) {
            Op op(OpKind::Pending);
            op.rename = rename;
            state_.pending.push_back(rename);
            Record(std::move(op));
            return err::kNone;
        };
        s.pendingRenames = [this] { return state_.pending; };
        s.readKey = [this](Scope scope, const std::string& key) {
            const auto found = state_.keys.find({ scope, key });
            return found == state_.keys.end() ? RegistryKey {} : RegistryKey { true, found->second };
        };
        s.writeKey = [this](Scope scope, const std::string& key, const std::vector<RegistryValue>& set,
                         const std::vector<std::string>& remove) {
            std::vector<RegistryValue>& values = state_.keys[{ scope, key }];
            for (const std::string& name : remove)
                std::erase_if(values, [&name](const RegistryValue& value) { return value.name == name; });
            for (const RegistryValue& value : set) {
                std::erase_if(values, [&value](const RegistryValue& old) { return old.name == value.name; });
                values.push_back(value);
            }
            std::sort(values.begin(), values.end(),
                [](const RegistryValue& a, const RegistryValue& b) { return a.name < b.name; });
            RecordKeys(scope);
            return err::kNone;
        };
        s.deleteKey = [this](Scope scope, const std::string& key) {
            for (const auto& [other, values] : state_.keys)
                if (other.first == scope && Below(other.second, key))
                    return err::kAccessDenied; // it has sub-keys
            state_.keys.erase({ scope, key });
            RecordKeys(scope);
            return err::kNone;
        };
        s.flushKeys = [this](Scope scope) {
            Op op(OpKind::RegistryFlush);
            op.scope = scope;
            Record(std::move(op));
            return err::kNone;
        };
        return s;
    }

    // The state after the first `cut` changes of the trace. Power: names
    // after the last flush kept up to `names` changes (at least the flushed
    // ones), registry writes up to `keys`, bytes not flushed torn.
    State At(std::size_t cut, bool power, std::size_t names = 0, std::size_t keys = 0) const
    {
        State state = initial_;
        std::map<int, std::string> written = initial_.data; // what was written last
        std::map<int, std::string> flushed = initial_.data; // what was flushed last
        for (std::size_t i = 0; i < cut; ++i) {
            const Op& op = trace_[i];
            switch (op.kind) {
            case OpKind::Meta:
                if (!power || i < names) {
                    for (const auto& [path, node] : op.before)
                        state.nodes.erase(path);
                    for (const auto& [path, node] : op.after)
                        state.nodes[path] = node;
                }
                break;
            case OpKind::Data:
                written[op.inode] = op.bytes;
                break;
            case OpKind::FlushData:
                flushed[op.inode] = written[op.inode];
                break;
            case OpKind::Registry:
                if (!power || i < keys) {
                    for (auto it = state.keys.begin(); it != state.keys.end();)
                        it = it->first.first == op.scope ? state.keys.erase(it) : std::next(it);
                    for (const auto& [key, values] : op.keysAfter)
                        state.keys[key] = values;
                }
                break;
            case OpKind::Pending:
                state.pending.push_back(op.rename);
                break;
            case OpKind::Barrier:
            case OpKind::RegistryFlush:
                break;
            }
        }
        state.data.clear();
        for (const auto& [path, node] : state.nodes) {
            if (node.folder)
                continue;
            const auto last = written.find(node.inode);
            const auto safe = flushed.find(node.inode);
            if (!power)
                state.data[node.inode] = last == written.end() ? std::string() : last->second;
            else if (last == written.end())
                state.data[node.inode] = std::string();
            else if (safe != flushed.end() && safe->second == last->second)
                state.data[node.inode] = last->second;
            else // what was flushed, as far as the later writes left it, then garbage
                state.data[node.inode]
                    = Common(safe == flushed.end() ? std::string() : safe->second, last->second) + kTorn;
        }
        return state;
    }

    // The points after the last flush where a power cut at `cut` may leave
    // the names (first) and the registry (second).
    std::pair<std::vector<std::size_t>, std::vector<std::size_t>> PowerPoints(std::size_t cut) const
    {
        std::vector<std::size_t> names { 0 };
        std::vector<std::size_t> keys { 0 };
        for (std::size_t i = 0; i < cut; ++i) {
            const OpKind kind = trace_[i].kind;
            if (kind == OpKind::Barrier || kind == OpKind::FlushData)
                names = { i + 1 };
            else if (kind == OpKind::Meta)
                names.push_back(i + 1);
            if (kind == OpKind::RegistryFlush)
                keys = { i + 1 };
            else if (kind == OpKind::Registry)
                keys.push_back(i + 1);
        }
        return { names, keys };
    }

private:
    static std::string Common(const std::string& a, const std::string& b)
    {
        std::size_t n = 0;
        while (n < a.size() && n < b.size() && a[n] == b[n])
            ++n;
        return a.substr(0, n);
    }

    static std::string Volume(const std::string& path) { return path.substr(0, 2); }

    bool IsFolder(const std::string& path) const
    {
        const auto found = state_.nodes.find(path);
        return path.size() == 2 || (found != state_.nodes.end() && found->second.folder); // "C:" is a root
    }

    bool HasChildren(const std::string& folder) const
    {
        const auto first = state_.nodes.lower_bound(folder + "\\");
        return first != state_.nodes.end() && Below(first->first, folder);
    }

    void Record(Op op) { trace_.push_back(std::move(op)); }

    uint32_t Change(std::map<std::string, Node> before, std::map<std::string, Node> after)
    {
        for (const auto& [path, node] : before)
            state_.nodes.erase(path);
        for (const auto& [path, node] : after)
            state_.nodes[path] = node;
        Op op(OpKind::Meta);
        op.before = std::move(before);
        op.after = std::move(after);
        Record(std::move(op));
        return err::kNone;
    }

    void Write(int inode, const std::string& bytes)
    {
        state_.data[inode] = bytes;
        Op data(OpKind::Data);
        data.inode = inode;
        data.bytes = bytes;
        Record(std::move(data));
        Op flush(OpKind::FlushData);
        flush.inode = inode;
        Record(std::move(flush));
    }

    uint32_t Create(const std::string& path, const std::string& bytes)
    {
        if (state_.nodes.count(path) != 0)
            return err::kFileExists;
        if (!IsFolder(Parent(path)))
            return err::kPathNotFound;
        const int inode = next_++;
        state_.data[inode] = std::string();
        (void)Change({}, { { path, Node { false, inode } } });
        Write(inode, bytes);
        return err::kNone;
    }

    uint32_t Rename(const std::string& from, const std::string& to, bool replace)
    {
        const auto source = state_.nodes.find(from);
        if (source == state_.nodes.end())
            return err::kFileNotFound;
        if (held.count(from) != 0 || (replace && held.count(to) != 0))
            return err::kSharingViolation;
        for (const std::string& file : open)
            if (Below(file, from))
                return err::kAccessDenied;
        if (Volume(from) != Volume(to))
            return err::kNotSameDevice;
        if (!IsFolder(Parent(to)))
            return err::kPathNotFound;
        std::map<std::string, Node> before;
        std::map<std::string, Node> after;
        const auto target = state_.nodes.find(to);
        if (target != state_.nodes.end()) {
            if (!replace || target->second.folder)
                return err::kAlreadyExists;
            before.insert(*target);
        }
        for (const auto& [path, node] : state_.nodes)
            if (path == from || Below(path, from)) {
                before.insert({ path, node });
                after.insert({ to + path.substr(from.size()), node });
            }
        return Change(std::move(before), std::move(after));
    }

    void RecordKeys(Scope scope)
    {
        Op op(OpKind::Registry);
        op.scope = scope;
        for (const auto& [key, values] : state_.keys)
            if (key.first == scope)
                op.keysAfter[key] = values;
        Record(std::move(op));
    }

    State initial_;
    State state_;
    std::vector<Op> trace_;
    int next_ = 1;
};

} // namespace model

#include "install/Transaction.h"

#include <algorithm>
#include <map>
#include <set>

#include "install/UninstallPlan.h"
#include "package/Sha256.h"
#include "sys/PathWalk.h"

namespace install {

namespace {

using namespace store_error;

constexpr char kFolderPrefix[] = ".ynb"; // then two base-36 digits
constexpr std::size_t kFolderNameSize = 6;
constexpr char kJournalName[] = "jnl";
constexpr char kSideLogName[] = "instdir.ynb";
constexpr char kNewLogName[] = "log";
constexpr uint64_t kJournalLimit = 512ull << 20;

char Base36(uint32_t digit)
{
    return static_cast<char>(digit < 10 ? '0' + digit : 'a' + (digit - 10));
}

std::string Digits(uint32_t value, int width)
{
    std::string text(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i, value /= 36)
        text[static_cast<std::size_t>(i)] = Base36(value % 36);
    return text;
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}

// The folder of a full path (which is never a root).
std::string FolderOf(const std::string& path, const sys::CodePage& codePage)
{
    const std::ptrdiff_t separator = sys::LastSeparatorIn(path, codePage);
    return separator < 0 ? std::string() : path.substr(0, static_cast<std::size_t>(separator));
}

std::string Digest(const std::string& bytes)
{
    unsigned char digest[kSha256Size];
    Sha256::Hash(bytes.data(), bytes.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

void Note(std::vector<TxLeft>& left, const std::string& path, uint32_t error)
{
    if (error != kNone && !IsMissing(error))
        left.push_back({ path, error });
}

} // namespace

Transaction::Transaction(const Storage& storage, Scope scope, std::string product)
    : storage_(storage)
{
    journal_.scope = scope;
    journal_.product = std::move(product);
}

Transaction::Transaction(const Storage& storage, Journal journal, JournalPointer pointer)
    : storage_(storage)
    , journal_(std::move(journal))
    , pointer_(std::move(pointer))
    , begun_(true)
{
    if (journal_.txFolder.empty() && !pointer_.removeIfEmpty.empty())
        journal_.txFolder = pointer_.removeIfEmpty.front();
    // Fresh names after every name the journal gave out.
    nextName_ = static_cast<uint32_t>(journal_.asides.size() + journal_.restarts.size()) + 1;
}

uint32_t Transaction::Begin(const Start& start)
{
    journal_.kind = start.kind;
    journal_.installFolder = start.installFolder;
    journal_.entryKey = start.entryKey;
    for (uint32_t n = 0; n < 36 * 36 && journal_.txFolder.empty(); ++n) {
        const std::string folder = Join(start.installFolder, kFolderPrefix + Digits(n, 2));
        if (storage_.kind(folder) == PathKind::None)
            journal_.txFolder = folder;
    }
    if (journal_.txFolder.empty())
        return kAlreadyExists;
    pointer_.journalPath = Join(journal_.txFolder, kJournalName);
    // An installation's new log waits in the transaction's folder; an
    // uninstallation's log goes beside itself, on its own volume.
    journal_.logPath = start.logPath;
    if (start.kind == TxKind::Install)
        journal_.sideLogPath = Join(journal_.txFolder, kNewLogName);
    else if (!start.logPath.empty())
        journal_.sideLogPath = Join(FolderOf(start.logPath, storage_.codePage), kSideLogName);
    pointer_.removeIfEmpty = { journal_.txFolder };
    if (start.kind == TxKind::Uninstall)
        pointer_.removeIfEmpty.insert(pointer_.removeIfEmpty.end(), start.removeAtEnd.begin(), start.removeAtEnd.end());
    else
        pointer_.removeIfEmpty.insert(
            pointer_.removeIfEmpty.end(), start.foldersToMake.rbegin(), start.foldersToMake.rend());
    journal_.entryBefore = storage_.readKey(journal_.scope, journal_.entryKey);

    // The pointer first: whatever follows can be found and undone.
    uint32_t error = storage_.writeKey(journal_.scope, PointerKey(journal_.product),
        { { kPointerValue, 3 /* REG_BINARY */, EncodePointer(pointer_) } }, {});
    if (error == kNone)
        error = storage_.flushKeys(journal_.scope);
    if (error == kNone)
        for (const std::string& folder : start.foldersToMake)
            if (storage_.kind(folder) == PathKind::None && (error = storage_.makeFolder(folder, false)) != kNone)
                break;
    if (error == kNone)
        error = storage_.makeFolder(journal_.txFolder, true);
    if (error == kNone) {
        const std::string first = JournalBeginRecord(journal_);
        ++records_;
        journalBytes_ += first.size();
        error = storage_.createDurably(pointer_.journalPath, first);
    }
    begun_ = true;
    if (error != kNone) {
        std::vector<TxLeft> left;
        RemoveTraces(left);
        begun_ = false;
    }
    return error;
}

uint32_t Transaction::Append(const std::string& record)
{
    ++records_;
    journalBytes_ += record.size();
    return storage_.appendDurably(pointer_.journalPath, record);
}

std::string Transaction::FreshName()
{
    return Join(journal_.txFolder, Digits(nextName_++, 5));
}

// The folders below the install folder that hold nothing but what `paths`
// names, and folders that do so themselves: the outermost of them.
std::vector<std::string> Transaction::WholeFolders(const std::vector<std::string>& paths) const
{
    const sys::CodePage& codePage = storage_.codePage;
    std::set<std::string> named;
    std::map<std::string, std::string> candidates; // key, path
    for (const std::string& path : paths) {
        named.insert(sys::PathKey(path, codePage));
        for (std::string folder = FolderOf(path, codePage);
             IsBelow(folder, journal_.installFolder, codePage) && candidates.count(sys::PathKey(folder, codePage)) == 0;
             folder = FolderOf(folder, codePage))
            candidates.emplace(sys::PathKey(folder, codePage), folder);
    }
    std::vector<std::string> deepestFirst;
    for (const auto& [key, folder] : candidates)
        deepestFirst.push_back(folder);
    std::sort(deepestFirst.begin(), deepestFirst.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    std::set<std::string> whole;
    for (const std::string& folder : deepestFirst) {
        const std::vector<std::string> names = storage_.names(folder);
        if (!names.empty() && std::all_of(names.begin(), names.end(), [&](const std::string& name) {
                const std::string key = sys::PathKey(Join(folder, name), codePage);
                return named.count(key) != 0 || whole.count(key) != 0;
            }))
            whole.insert(sys::PathKey(folder, codePage));
    }
    std::vector<std::string> outermost;
    for (const auto& [key, folder] : candidates)
        if (whole.count(key) != 0 && whole.count(sys::PathKey(FolderOf(folder, codePage), codePage)) == 0)
            outermost.push_back(folder);
    return outermost;
}

int Transaction::SetAside(const std::vector<std::string>& paths, std::vector<uint32_t>& errors, bool wholeFolders)
{
    errors.assign(paths.size(), kNone);
    if (paths.empty())
        return 0;
    const std::vector<std::string> folders = wholeFolders ? WholeFolders(paths) : std::vector<std::string>();
    // Per path: the folder it goes with, or none.
    std::vector<std::ptrdiff_t> with(paths.size(), -1);
    for (std::size_t i = 0; i < paths.size(); ++i)
        for (std::size_t f = 0; f < folders.size() && with[i] < 0; ++f)
            if (IsBelow(paths[i], folders[f], storage_.codePage))
                with[i] = static_cast<std::ptrdiff_t>(f);
    std::vector<SetAsideRecord> records;
    for (const std::string& folder : folders)
        records.push_back({ folder, FreshName() });
    std::vector<std::size_t> alone;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (with[i] < 0) {
            records.push_back({ paths[i], FreshName() });
            alone.push_back(i);
        }
    if (const uint32_t error = Append(JournalSetAsideRecord(records)); error != kNone) {
        errors.assign(paths.size(), error);
        return static_cast<int>(paths.size());
    }
    journal_.asides.insert(journal_.asides.end(), records.begin(), records.end());
    // A folder that does not go (a file in it open, another volume below
    // it): its files go each on its own, below.
    std::vector<bool> stayed(folders.size(), false);
    for (std::size_t k = 0; k < records.size(); ++k) {
        const SetAsideRecord& record = records[k];
        uint32_t error = storage_.rename(record.path, record.aside);
        if (k < folders.size()) {
            stayed[k] = error != kNone;
            continue;
        }
        if (error == kNotSameDevice) {
            // Whole under its set-aside name, or not there at all.
            const std::string partial = record.aside + "~";
            error = storage_.copyDurably(record.path, partial);
            if (error == kNone)
                error = storage_.rename(partial, record.aside);
        }
        errors[alone[k - folders.size()]] = error;
    }
    std::vector<std::string> again;
    std::vector<std::size_t> againAt;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (with[i] >= 0 && stayed[static_cast<std::size_t>(with[i])]) {
            again.push_back(paths[i]);
            againAt.push_back(i);
        }
    if (!again.empty()) {
        std::vector<uint32_t> againErrors;
        (void)SetAside(again, againErrors, false);
        for (std::size_t k = 0; k < again.size(); ++k)
            errors[againAt[k]] = againErrors[k];
    }
    return static_cast<int>(std::count_if(errors.begin(), errors.end(), [](uint32_t e) { return e != kNone; }));
}

uint32_t Transaction::IntendCreate(const std::vector<std::string>& files, const std::vector<std::string>& folders)
{
    if (files.empty() && folders.empty())
        return kNone;
    const uint32_t error = Append(JournalCreateRecord(files, folders));
    if (error == kNone) {
        journal_.createdFiles.insert(journal_.createdFiles.end(), files.begin(), files.end());
        journal_.madeFolders.insert(journal_.madeFolders.end(), folders.begin(), folders.end());
    }
    return error;
}

uint32_t Transaction::ReplaceAtRestart(const std::vector<PendingRename>& renames, std::string& failed)
{
    if (renames.empty())
        return kNone;
    if (journal_.scope == Scope::User) {
        failed = renames.front().target; // a user's own installation never leaves work for the restart
        return kAccessDenied;
    }
    if (const uint32_t error = Append(JournalRestartRecord(renames)); error != kNone)
        return error;
    journal_.restarts.insert(journal_.restarts.end(), renames.begin(), renames.end());
    for (const PendingRename& rename : renames)
        if (const uint32_t error = storage_.renameAtRestart(rename); error != kNone) {
            failed = rename.target;
            return error;
        }
    return kNone;
}

uint32_t Transaction::WriteEntry(const std::vector<RegistryValue>& set, const std::vector<std::string>& remove)
{
    const uint32_t error = storage_.writeKey(journal_.scope, journal_.entryKey, set, remove);
    return error != kNone ? error : storage_.flushKeys(journal_.scope);
}

bool Transaction::IsCommitted() const
{
    if (!journal_.commitAnnounced)
        return false;
    if (journal_.kind == TxKind::Uninstall) // a log outside the install folder stays
        return journal_.logPath.empty() || storage_.kind(journal_.logPath) == PathKind::None;
    std::string log;
    return storage_.read(journal_.logPath, log, kJournalLimit) == kNone && Digest(log) == journal_.logDigest;
}

uint32_t Transaction::Commit(
    const std::string& log, const std::string& logPath, const std::vector<std::string>& removeIfEmpty)
{
    uint32_t error = storage_.createDurably(journal_.sideLogPath, log);
    if (error != kNone)
        return error;
    journal_.logPath = logPath;
    journal_.logDigest = Digest(log);
    journal_.removeIfEmpty = removeIfEmpty;
    journal_.commitAnnounced = true;
    if ((error = Append(JournalCommitRecord(journal_))) != kNone) {
        journal_.commitAnnounced = false;
        return error;
    }
    error = storage_.replaceDurably(journal_.sideLogPath, journal_.logPath);
    // Renamed, but not known to be durable: the log in place decides.
    committed_ = error == kNone || IsCommitted();
    return committed_ ? kNone : error;
}

uint32_t Transaction::CommitRemoval(const std::vector<RemovalRecord>& removals, bool removeEntry)
{
    journal_.removals = removals;
    journal_.removeEntry = removeEntry;
    journal_.commitAnnounced = true;
    uint32_t error = Append(JournalCommitRecord(journal_));
    if (error != kNone) {
        journal_.commitAnnounced = false;
        return error;
    }
    if (journal_.logPath.empty()) {
        committed_ = true;
        return kNone;
    }
    (void)storage_.removeFile(journal_.sideLogPath);
    error = storage_.replaceDurably(journal_.logPath, journal_.sideLogPath);
    committed_ = error == kNone || IsCommitted();
    return committed_ ? kNone : error;
}

bool Transaction::GoesAtRestart(const std::string& path) const
{
    const std::vector<PendingRename> renames = storage_.pendingRenames();
    return std::find(renames.begin(), renames.end(), PendingRename { path, std::string() }) != renames.end();
}

uint32_t Transaction::RemoveEntry()
{
    if (!journal_.removeEntry)
        return kNone;
    const uint32_t error = storage_.deleteKey(journal_.scope, journal_.entryKey);
    return error != kNone ? error : storage_.flushKeys(journal_.scope);
}

void Transaction::ScheduleHeld(const std::vector<std::string>& files, std::vector<TxLeft>& left)
{
    if (files.empty())
        return;
    if (journal_.scope == Scope::User) {
        for (const std::string& file : files)
            left.push_back({ file, kSharingViolation });
        return;
    }
    std::vector<PendingRename> renames;
    for (std::size_t i = 0; i < files.size(); ++i)
        renames.push_back({ FreshName(), std::string() });
    if (const uint32_t error = Append(JournalRestartRecord(renames)); error != kNone) {
        for (const std::string& file : files)
            left.push_back({ file, error });
        return;
    }
    journal_.restarts.insert(journal_.restarts.end(), renames.begin(), renames.end());
    for (std::size_t i = 0; i < files.size(); ++i) {
        uint32_t error = storage_.rename(files[i], renames[i].source);
        if (error == kNone) {
            error = storage_.renameAtRestart(renames[i]);
        } else if (error == kSharingViolation || error == kAccessDenied) {
            // Held without delete sharing: it goes under its own name, and
            // every run before the restart is refused (CheckPendingRenames).
            const PendingRename own { files[i], std::string() };
            error = Append(JournalRestartRecord({ own }));
            if (error == kNone)
                error = storage_.renameAtRestart(own);
            if (error == kNone)
                heldInPlace_.push_back(files[i]);
        }
        Note(left, files[i], error);
    }
}

void Transaction::Remove(std::size_t count, std::vector<RemovalResult>& results, std::vector<TxLeft>& left)
{
    const std::size_t end = std::min(journal_.removals.size(), removed_ + count);
    for (; removed_ < end; ++removed_) {
        const RemovalRecord& removal = journal_.removals[removed_];
        const PathKind kind = storage_.kind(removal.path);
        if (kind == PathKind::None) {
            results.push_back(RemovalResult::Gone);
            continue;
        }
        const bool tree = removal.folder && kind == PathKind::Folder;
        // What goes at the restart where it is, and a folder holding it.
        const bool held = std::any_of(heldInPlace_.begin(), heldInPlace_.end(), [&](const std::string& file) {
            return file == removal.path || (tree && IsBelow(file, removal.path, storage_.codePage));
        });
        uint32_t error = tree ? storage_.removeTree(removal.path) : storage_.removeFile(removal.path);
        if (error != kNone && held) {
            error = tree ? storage_.renameAtRestart({ removal.path, std::string() }) : kNone;
            results.push_back(error == kNone ? RemovalResult::Scheduled : RemovalResult::Left);
            Note(left, removal.path, error);
            continue;
        }
        results.push_back(error == kNone ? RemovalResult::Removed
                : IsMissing(error)       ? RemovalResult::Gone
                                         : RemovalResult::Left);
        Note(left, removal.path, error);
    }
}

void Transaction::RestoreEntry(std::vector<TxLeft>& left)
{
    const RegistryKey& before = journal_.entryBefore;
    const RegistryKey now = storage_.readKey(journal_.scope, journal_.entryKey);
    if (now == before)
        return;
    uint32_t error = kNone;
    if (!before.exists) {
        error = storage_.deleteKey(journal_.scope, journal_.entryKey);
    } else {
        std::vector<std::string> remove;
        for (const RegistryValue& value : now.values)
            if (std::none_of(before.values.begin(), before.values.end(),
                    [&value](const RegistryValue& old) { return old.name == value.name; }))
                remove.push_back(value.name);
        error = storage_.writeKey(journal_.scope, journal_.entryKey, before.values, remove);
    }
    if (error == kNone)
        error = storage_.flushKeys(journal_.scope);
    Note(left, journal_.entryKey, error);
}

void Transaction::RollBack(std::vector<TxLeft>& left)
{
    if (!begun_)
        return;
    if (journal_.kind == TxKind::Install) {
        // The new versions of held files would replace the old ones at the restart.
        for (const PendingRename& rename : journal_.restarts)
            if (storage_.kind(rename.source) == PathKind::File)
                Note(left, rename.source, storage_.removeFile(rename.source));
        for (auto file = journal_.createdFiles.rbegin(); file != journal_.createdFiles.rend(); ++file)
            if (storage_.kind(*file) == PathKind::File)
                Note(left, *file, storage_.removeFile(*file));
        // Made folders before what was set aside: a folder set aside whole
        // was made again.
        for (auto folder = journal_.madeFolders.rbegin(); folder != journal_.madeFolders.rend(); ++folder)
            (void)storage_.removeFolder(*folder); // one that holds something stays
        for (auto record = journal_.asides.rbegin(); record != journal_.asides.rend(); ++record) {
            if (storage_.kind(record->aside) == PathKind::None)
                continue; // never set aside: still in its place
            const PathKind there = storage_.kind(record->path);
            if (there != PathKind::None) {
                // A folder set aside whole: what is in its place now, this
                // run made.
                const uint32_t error = there == PathKind::File ? storage_.removeFile(record->path)
                    : storage_.kind(record->aside) == PathKind::Folder ? storage_.removeTree(record->path)
                                                                       : storage_.removeFolder(record->path);
                if (error != kNone && !IsMissing(error)) {
                    Note(left, record->path, error);
                    continue;
                }
            }
            uint32_t error = storage_.rename(record->aside, record->path);
            if (error == kNotSameDevice && (error = storage_.copyDurably(record->aside, record->path)) == kNone)
                error = storage_.removeFile(record->aside);
            Note(left, record->path, error);
        }
        RestoreEntry(left);
    }
    // An uninstallation changes nothing before its commit.
    RemoveTraces(left);
    begun_ = false;
}

void Transaction::Finish(std::vector<TxLeft>& left)
{
    if (!begun_)
        return;
    if (journal_.kind == TxKind::Install) {
        for (const SetAsideRecord& record : journal_.asides) {
            const PathKind kind = storage_.kind(record.aside);
            if (kind != PathKind::None)
                Note(left, record.aside,
                    kind == PathKind::Folder ? storage_.removeTree(record.aside) : storage_.removeFile(record.aside));
        }
        for (const std::string& folder : journal_.removeIfEmpty)
            (void)storage_.removeFolder(folder);
    }
    if (!journal_.sideLogPath.empty())
        (void)storage_.removeFile(journal_.sideLogPath);
    RemoveTraces(left);
    begun_ = false;
}

// The journal, the transaction's folder (kept for the restart while it holds
// a pending rename's source, and then deleted by it), the folders of the
// pointer that are empty, and last the pointer.
void Transaction::RemoveTraces(std::vector<TxLeft>& left)
{
    (void)storage_.removeFile(pointer_.journalPath);
    const std::string& folder = journal_.txFolder;
    bool pending = false;
    const std::vector<PendingRename> renames = storage_.pendingRenames();
    if (!folder.empty() && storage_.kind(folder) == PathKind::Folder) {
        for (const PendingRename& rename : renames)
            pending = pending
                || (IsBelow(rename.source, folder, storage_.codePage)
                    && storage_.kind(rename.source) != PathKind::None);
        if (!pending)
            Note(left, folder, storage_.removeTree(folder));
    }
    for (const std::string& path : pointer_.removeIfEmpty) {
        if ((path == folder && !pending) || storage_.kind(path) != PathKind::Folder)
            continue;
        if (storage_.removeFolder(path) == kNone || journal_.scope != Scope::Machine)
            continue;
        // A folder that holds what goes at the restart goes after it.
        const PendingRename removal { path, std::string() };
        const bool holds = std::any_of(renames.begin(), renames.end(), [&](const PendingRename& rename) {
            return IsBelow(rename.source, path, storage_.codePage) && storage_.kind(rename.source) != PathKind::None;
        });
        if (holds && std::find(renames.begin(), renames.end(), removal) == renames.end())
            (void)storage_.renameAtRestart(removal);
    }
    const std::string volume = storage_.kind(journal_.installFolder) == PathKind::Folder
        ? journal_.installFolder
        : FolderOf(journal_.installFolder, storage_.codePage);
    (void)storage_.barrier(volume);
    uint32_t error = storage_.deleteKey(journal_.scope, PointerKey(journal_.product));
    (void)storage_.deleteKey(journal_.scope, kPointerParent); // only when no other product's is left
    if (error == kNone)
        error = storage_.flushKeys(journal_.scope);
    Note(left, PointerKey(journal_.product), error);
}

Recovery Recover(const Storage& storage, Scope scope, const std::string& product,
    const std::function<bool(const std::string& journal)>& trusted)
{
    Recovery recovery;
    const RegistryKey key = storage.readKey(scope, PointerKey(product));
    const auto value = std::find_if(key.values.begin(), key.values.end(),
        [](const RegistryValue& candidate) { return candidate.name == kPointerValue; });
    if (!key.exists || value == key.values.end()) {
        // Cut between the removal of the pointer and that of its parent: the
        // parent goes when no other product's pointer is in it.
        if (!key.exists && storage.readKey(scope, kPointerParent).exists)
            (void)storage.deleteKey(scope, kPointerParent);
        return recovery;
    }
    JournalPointer pointer;
    if (!DecodePointer(value->data, pointer)) {
        recovery.outcome = Recovered::NotFollowed;
        recovery.why = "the pointer to the journal is damaged";
        return recovery;
    }
    recovery.journalPath = pointer.journalPath;
    // Finished but for its traces, or never begun: the journal is gone, or
    // its first record never became whole.
    const auto clear = [&storage, &scope, &product, &recovery](JournalPointer pointer) {
        Journal none;
        none.scope = scope;
        none.product = product;
        none.installFolder
            = pointer.removeIfEmpty.empty() ? std::string() : FolderOf(pointer.removeIfEmpty.front(), storage.codePage);
        Transaction traces(storage, std::move(none), std::move(pointer));
        traces.Finish(recovery.left);
        recovery.outcome = Recovered::Cleared;
        return recovery;
    };
    if (storage.kind(pointer.journalPath) == PathKind::None)
        return clear(std::move(pointer));
    std::string bytes;
    Journal journal;
    JournalProblem problem = JournalProblem::None;
    if (trusted && !trusted(pointer.journalPath)) {
        recovery.why = "others than its owner could change the journal";
    } else if (const uint32_t error = storage.read(pointer.journalPath, bytes, kJournalLimit); error != kNone) {
        recovery.why = "the journal cannot be read (error " + std::to_string(error) + ")";
    } else if ((problem = ReadJournal(bytes, journal)) == JournalProblem::NoBegin
        && storage.names(FolderOf(pointer.journalPath, storage.codePage)).size() == 1) {
        return clear(std::move(pointer)); // cut while the journal was made: nothing else happened
    } else if (problem != JournalProblem::None || journal.scope != scope || journal.product != product
        || Join(journal.txFolder, kJournalName) != pointer.journalPath) {
        recovery.why = "the journal is damaged";
    }
    if (!recovery.why.empty()) {
        recovery.outcome = Recovered::NotFollowed;
        return recovery;
    }
    recovery.kind = journal.kind;
    Transaction transaction(storage, std::move(journal), std::move(pointer));
    if (!transaction.IsCommitted()) {
        transaction.RollBack(recovery.left);
        recovery.outcome = Recovered::RolledBack;
        return recovery;
    }
    if (transaction.Record().kind == TxKind::Uninstall) {
        Note(recovery.left, transaction.Record().entryKey, transaction.RemoveEntry());
        std::vector<RemovalResult> results;
        std::vector<TxLeft> left;
        transaction.Remove(transaction.Record().removals.size(), results, left);
        // What a program holds (the uninstaller that recovers, among them)
        // goes at the restart, as in the run that was cut.
        std::vector<std::string> held;
        for (const TxLeft& item : left)
            if ((item.error == kSharingViolation || item.error == kAccessDenied)
                && storage.kind(item.path) == PathKind::File)
                held.push_back(item.path);
            else
                recovery.left.push_back(item);
        transaction.ScheduleHeld(held, recovery.left);
    }
    transaction.Finish(recovery.left);
    recovery.outcome = Recovered::Finished;
    return recovery;
}

bool HasUnfinished(const Storage& storage, Scope scope, const std::string& product)
{
    const RegistryKey key = storage.readKey(scope, PointerKey(product));
    return std::any_of(
        key.values.begin(), key.values.end(), [](const RegistryValue& value) { return value.name == kPointerValue; });
}

bool InTransactionFolder(const std::string& path, const std::string& installFolder, const sys::CodePage& codePage)
{
    if (!IsBelow(path, installFolder, codePage))
        return false;
    const std::string rest = path.substr(installFolder.size() + 1);
    const std::string name = rest.substr(0, rest.find('\\'));
    return name.size() == kFolderNameSize && name.compare(0, 4, kFolderPrefix) == 0;
}

RestartCheck CheckPendingRenames(const Storage& storage, const std::string& installFolder,
    const std::vector<std::string>& targets, const sys::CodePage& codePage)
{
    RestartCheck check;
    const std::vector<PendingRename> pending = storage.pendingRenames();
    if (pending.empty())
        return check;
    std::set<std::string> keys;
    for (const std::string& target : targets)
        keys.insert(sys::PathKey(target, codePage));
    for (const PendingRename& rename : pending) {
        if (InTransactionFolder(rename.source, installFolder, codePage)) {
            // An earlier run's: its source removed, the restart has nothing to do.
            if (storage.kind(rename.source) != PathKind::File)
                continue;
            const uint32_t error = storage.removeFile(rename.source);
            if (error == kNone || IsMissing(error)) {
                check.settled.push_back(rename.source);
                (void)storage.removeFolder(FolderOf(rename.source, codePage)); // when that emptied it
            } else {
                check.blocking.push_back(rename);
            }
            continue;
        }
        if (keys.count(sys::PathKey(rename.source, codePage)) != 0
            || (!rename.target.empty() && keys.count(sys::PathKey(rename.target, codePage)) != 0))
            check.blocking.push_back(rename);
    }
    return check;
}

} // namespace install

// The transaction cut at every change it makes, on a model of a disk that
// loses what was not flushed (ModelStorage.h): after each cut, and after each
// cut of the recovery that follows it, the next run must leave exactly the
// version before or exactly the one being made.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "ModelStorage.h"
#include "install/Journal.h"
#include "install/Transaction.h"

namespace {

using install::Journal;
using install::Transaction;
using install::TxKind;
using model::Disk;
using model::State;

constexpr char kProduct[] = "App";
constexpr char kInstall[] = "C:\\P\\App";
constexpr char kLog[] = "C:\\P\\App\\ynb\\instdir.dat";
constexpr char kEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App";

// A version of the product as it lies on the machine: its folders (parents
// first), its files, and its entry's values. The log is one of its files.
struct Version {
    std::vector<std::string> folders;
    std::map<std::string, std::string> files;
    std::vector<install::RegistryValue> entry;
};

Version V1()
{
    return { { kInstall, "C:\\P\\App\\lib", "C:\\P\\App\\gone", "C:\\P\\App\\ynb" },
        { { "C:\\P\\App\\a.exe", "a1" }, { "C:\\P\\App\\lib\\b.dll", "b1" }, { "C:\\P\\App\\lib\\old.dat", "o1" },
            { "C:\\P\\App\\gone\\g.txt", "g1" }, { "C:\\P\\App\\uninstall.exe", "u1" }, { kLog, "log 1" },
            { "C:\\U\\Desk\\App.lnk", "l1" }, { "D:\\Docs\\readme.txt", "r1" } },
        { { "DisplayName", 1, "App" }, { "DisplayVersion", 1, "1" }, { "Publisher", 1, "Maker" } } };
}

Version V2()
{
    return { { kInstall, "C:\\P\\App\\lib", "C:\\P\\App\\ynb" },
        { { "C:\\P\\App\\a.exe", "a2" }, { "C:\\P\\App\\lib\\b.dll", "b1" }, { "C:\\P\\App\\lib\\new.dll", "n2" },
            { "C:\\P\\App\\uninstall.exe", "u2" }, { kLog, "log 2" }, { "C:\\U\\Desk\\App.lnk", "l2" },
            { "D:\\Docs\\readme.txt", "r2" } },
        { { "DisplayName", 1, "App" }, { "DisplayVersion", 1, "2" } } };
}

// The machine without the product: Program Files, the desktop, and the
// documents on another volume.
State Bare()
{
    State state;
    for (const char* folder : { "C:\\P", "C:\\U", "C:\\U\\Desk", "D:\\Docs" })
        state.nodes[folder] = { true, 0 };
    state.nodes["C:\\P\\other.txt"] = { false, 1 };
    state.data[1] = "someone else's";
    return state;
}

State With(State state, const Version& version)
{
    int inode = 100;
    for (const std::string& folder : version.folders)
        state.nodes[folder] = { true, 0 };
    for (const auto& [path, bytes] : version.files) {
        state.nodes[path] = { false, inode };
        state.data[inode++] = bytes;
    }
    std::vector<install::RegistryValue> values = version.entry;
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    state.keys[{ install::Scope::Machine, kEntry }] = values;
    return state;
}

bool Exists(const install::Storage& storage, const std::string& path)
{
    return storage.kind(path) != install::PathKind::None;
}

// An installation of `to` over whatever `from` (the version installed, or
// none) left, in the order the setup program takes: begin, set aside what
// it replaces and what the earlier version has that it lacks, announce and
// write its files (a held file's new version waits for the restart), the
// entry, the commit, the end.
void Install(const install::Storage& storage, const Version* from, const Version& to, const std::set<std::string>& held)
{
    Transaction tx(storage, install::Scope::Machine, kProduct);
    Transaction::Start start { TxKind::Install, kInstall, {}, kEntry, {}, {} };
    if (!Exists(storage, kInstall))
        start.foldersToMake = { kInstall };
    ASSERT_EQ(tx.Begin(start), 0u);
    std::vector<std::string> aside;
    std::vector<std::string> created;
    std::vector<install::PendingRename> atRestart;
    for (const auto& [path, bytes] : to.files) {
        if (path == kLog)
            continue;
        if (held.count(path) != 0)
            atRestart.push_back({ tx.FreshName(), path });
        else if (Exists(storage, path))
            aside.push_back(path);
        else
            created.push_back(path);
    }
    std::vector<std::string> staleFolders;
    if (from != nullptr) {
        for (const auto& [path, bytes] : from->files)
            if (to.files.count(path) == 0 && Exists(storage, path))
                aside.push_back(path);
        for (auto folder = from->folders.rbegin(); folder != from->folders.rend(); ++folder)
            if (std::find(to.folders.begin(), to.folders.end(), *folder) == to.folders.end())
                staleFolders.push_back(*folder);
    }
    std::vector<uint32_t> errors;
    ASSERT_EQ(tx.SetAside(aside, errors, true), 0);
    std::vector<std::string> folders;
    for (const std::string& folder : to.folders)
        if (!Exists(storage, folder))
            folders.push_back(folder);
    ASSERT_EQ(tx.IntendCreate(created, folders), 0u);
    for (const std::string& folder : folders)
        ASSERT_EQ(storage.makeFolder(folder, false), 0u);
    for (const auto& [path, bytes] : to.files) {
        if (path == kLog || held.count(path) != 0)
            continue;
        if (Exists(storage, path)) { // copied aside from another volume: written over
            ASSERT_EQ(storage.removeFile(path), 0u);
        }
        ASSERT_EQ(storage.createDurably(path, bytes), 0u) << path;
    }
    for (const install::PendingRename& rename : atRestart)
        ASSERT_EQ(storage.createDurably(rename.source, to.files.at(rename.target)), 0u);
    std::string failed;
    ASSERT_EQ(tx.ReplaceAtRestart(atRestart, failed), 0u);
    std::vector<std::string> remove;
    if (from != nullptr)
        for (const install::RegistryValue& value : from->entry)
            if (std::none_of(to.entry.begin(), to.entry.end(), [&](const auto& v) { return v.name == value.name; }))
                remove.push_back(value.name);
    ASSERT_EQ(tx.WriteEntry(to.entry, remove), 0u);
    ASSERT_EQ(tx.Commit(to.files.at(kLog), kLog, staleFolders), 0u);
    std::vector<install::TxLeft> left;
    tx.Finish(left);
    EXPECT_TRUE(left.empty());
}

// An uninstallation, as the uninstaller takes it: begin, commit (what goes,
// and the log away), the entry, the removals in the log's reverse order,
// the program last, the end.
void Uninstall(const install::Storage& storage, const Version& version)
{
    Transaction tx(storage, install::Scope::Machine, kProduct);
    ASSERT_EQ(tx.Begin({ TxKind::Uninstall, kInstall, kLog, kEntry, {}, { "C:\\P\\App\\ynb", kInstall } }), 0u);
    std::vector<install::RemovalRecord> removals;
    for (auto it = version.files.rbegin(); it != version.files.rend(); ++it)
        if (it->first != kLog && it->first != "C:\\P\\App\\uninstall.exe")
            removals.push_back({ it->first, false });
    removals.push_back({ "C:\\P\\App\\gone", true });
    removals.push_back({ "C:\\P\\App\\lib", true });
    removals.push_back({ "C:\\P\\App\\uninstall.exe", false });
    ASSERT_EQ(tx.CommitRemoval(removals, true), 0u);
    ASSERT_EQ(tx.RemoveEntry(), 0u);
    std::vector<install::RemovalResult> results;
    std::vector<install::TxLeft> left;
    tx.Remove(removals.size() - 1, results, left);
    tx.Remove(1, results, left);
    tx.Finish(left);
    EXPECT_TRUE(left.empty());
}

std::function<bool(const std::string&)> Trusted()
{
    return [](const std::string&) { return true; };
}

// Runs `run` on `before`, then cuts it at every change (a kill, and a power
// cut at every point the disk and the registry may have reached), recovers,
// cuts the recovery the same way and recovers again: every outcome must be
// `before` or what the whole run made. Returns the cut points.
std::size_t CutEverywhere(const State& before, const std::function<void(const install::Storage&)>& run,
    const std::set<std::string>& held, const char* name, const std::set<std::string>& open = {})
{
    Disk whole(before);
    whole.held = held;
    whole.open = open;
    const install::Storage storage = whole.MakeStorage();
    run(storage);
    const std::string old = before.Describe();
    const std::string made = whole.Now().Describe();
    EXPECT_NE(old, made);
    std::size_t states = 0;
    std::size_t exact = 0;
    auto recoverAndCheck = [&](const State& cut) {
        Disk disk(cut);
        disk.held = held;
        disk.open = open;
        const install::Storage recovering = disk.MakeStorage();
        const install::Recovery recovery = install::Recover(recovering, install::Scope::Machine, kProduct, Trusted());
        EXPECT_NE(recovery.outcome, install::Recovered::NotFollowed) << recovery.why;
        const std::string after = disk.Now().Describe();
        ++states;
        if (after == old || after == made)
            ++exact;
        else if (states - exact == 1) // the first such state in full; the count at the end
            ADD_FAILURE() << name << ": neither version after a cut (recovery " << static_cast<int>(recovery.outcome)
                          << ")\n--- cut:\n"
                          << cut.Describe() << "--- recovered:\n"
                          << after;
        return disk;
    };
    auto everyCut = [](const Disk& disk, const std::function<void(const State&)>& visit) {
        for (std::size_t cut = 0; cut <= disk.Trace().size(); ++cut) {
            visit(disk.At(cut, false));
            const auto [names, keys] = disk.PowerPoints(cut);
            for (std::size_t n : names)
                for (std::size_t k : keys)
                    visit(disk.At(cut, true, n, k));
        }
    };
    everyCut(whole, [&](const State& cut) {
        const Disk recovered = recoverAndCheck(cut);
        everyCut(recovered, [&](const State& cutAgain) { (void)recoverAndCheck(cutAgain); });
    });
    std::printf("%s: %zu changes, %zu states after a cut and its recovery's cuts, %zu exact\n", name,
        whole.Trace().size(), states, exact);
    EXPECT_EQ(states, exact);
    return whole.Trace().size();
}

TEST(Transaction, EveryCutOfAFirstInstallationLeavesNothingOrTheProduct)
{
    const Version v1 = V1();
    CutEverywhere(
        Bare(), [&](const install::Storage& s) { Install(s, nullptr, v1, {}); }, {}, "first installation");
}

TEST(Transaction, EveryCutOfAnUpgradeLeavesOneVersionWholeAcrossVolumes)
{
    const Version v1 = V1();
    const Version v2 = V2();
    CutEverywhere(
        With(Bare(), v1), [&](const install::Storage& s) { Install(s, &v1, v2, {}); }, {}, "upgrade");
}

TEST(Transaction, EveryCutOfAnUpgradeWhoseFolderCannotGoWholeLeavesOneVersion)
{
    // lib holds only files the upgrade replaces, one of them open: it goes
    // file by file.
    const Version v1 = V1();
    const Version v2 = V2();
    CutEverywhere(
        With(Bare(), v1), [&](const install::Storage& s) { Install(s, &v1, v2, {}); }, {},
        "upgrade with a folder that cannot go whole", { "C:\\P\\App\\lib\\b.dll" });
}

TEST(Transaction, EveryCutOfAnUpgradeWithAHeldFileLeavesOneVersionAndItsRestart)
{
    const Version v1 = V1();
    const Version v2 = V2();
    const std::set<std::string> held { "C:\\P\\App\\a.exe" };
    CutEverywhere(
        With(Bare(), v1), [&](const install::Storage& s) { Install(s, &v1, v2, held); }, held,
        "upgrade with a held file");
}

TEST(Transaction, EveryCutOfARepairLeavesTheDamageOrTheRepair)
{
    const Version v1 = V1();
    State damaged = With(Bare(), v1);
    damaged.nodes.erase("C:\\P\\App\\lib\\b.dll");
    damaged.data[damaged.nodes.at("C:\\P\\App\\a.exe").inode] = "a1 changed";
    CutEverywhere(
        damaged, [&](const install::Storage& s) { Install(s, &v1, v1, {}); }, {}, "repair");
}

TEST(Transaction, EveryCutOfAnUninstallationLeavesTheProductOrNothing)
{
    const Version v1 = V1();
    CutEverywhere(
        With(Bare(), v1), [&](const install::Storage& s) { Uninstall(s, v1); }, {}, "uninstallation");
}

TEST(Transaction, AFailedRunPutsEverythingBack)
{
    // Set aside, half written, entry changed: the run's own rollback.
    const Version v1 = V1();
    Disk disk(With(Bare(), v1));
    const install::Storage s = disk.MakeStorage();
    const std::string before = disk.Now().Describe();
    Transaction tx(s, install::Scope::Machine, kProduct);
    ASSERT_EQ(tx.Begin({ TxKind::Install, kInstall, {}, kEntry, {}, {} }), 0u);
    std::vector<uint32_t> errors;
    ASSERT_EQ(tx.SetAside({ "C:\\P\\App\\a.exe", "D:\\Docs\\readme.txt" }, errors), 0);
    ASSERT_EQ(tx.IntendCreate({ "C:\\P\\App\\c.txt" }, { "C:\\P\\App\\new" }), 0u);
    ASSERT_EQ(s.makeFolder("C:\\P\\App\\new", false), 0u);
    ASSERT_EQ(s.createDurably("C:\\P\\App\\c.txt", "half"), 0u);
    ASSERT_EQ(s.createDurably("C:\\P\\App\\a.exe", "half"), 0u);
    ASSERT_EQ(tx.WriteEntry({ { "DisplayVersion", 1, "9" } }, { "Publisher" }), 0u);
    std::vector<install::TxLeft> left;
    tx.RollBack(left);
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(disk.Now().Describe(), before);
}

TEST(Transaction, ASetAsideThatFailsNamesItsFileAndLeavesIt)
{
    const Version v1 = V1();
    Disk disk(With(Bare(), v1));
    disk.held = { "C:\\P\\App\\a.exe" };
    const install::Storage s = disk.MakeStorage();
    Transaction tx(s, install::Scope::Machine, kProduct);
    ASSERT_EQ(tx.Begin({ TxKind::Install, kInstall, {}, kEntry, {}, {} }), 0u);
    std::vector<uint32_t> errors;
    EXPECT_EQ(tx.SetAside({ "C:\\P\\App\\lib\\b.dll", "C:\\P\\App\\a.exe" }, errors), 1);
    EXPECT_EQ(errors, (std::vector<uint32_t> { 0, install::store_error::kSharingViolation }));
    EXPECT_EQ(disk.Now().data.at(disk.Now().nodes.at("C:\\P\\App\\a.exe").inode), "a1");
    std::vector<install::TxLeft> left;
    tx.RollBack(left);
    EXPECT_EQ(disk.Now().Describe(), With(Bare(), v1).Describe());
}

TEST(Transaction, AUserInstallationNeverLeavesWorkForTheRestart)
{
    Disk disk(Bare());
    const install::Storage s = disk.MakeStorage();
    Transaction tx(s, install::Scope::User, kProduct);
    ASSERT_EQ(tx.Begin({ TxKind::Install, kInstall, {}, kEntry, { kInstall }, {} }), 0u);
    std::string failed;
    EXPECT_NE(tx.ReplaceAtRestart({ { tx.FreshName(), "C:\\P\\App\\a.exe" } }, failed), 0u);
    EXPECT_EQ(failed, "C:\\P\\App\\a.exe");
    EXPECT_TRUE(disk.Now().pending.empty());
}

TEST(Transaction, AJournalNobodyCanTrustOrReadIsNotFollowed)
{
    const Version v1 = V1();
    Disk disk(With(Bare(), v1));
    const install::Storage s = disk.MakeStorage();
    Transaction tx(s, install::Scope::Machine, kProduct);
    ASSERT_EQ(tx.Begin({ TxKind::Install, kInstall, {}, kEntry, {}, {} }), 0u);
    std::vector<uint32_t> errors;
    ASSERT_EQ(tx.SetAside({ "C:\\P\\App\\a.exe" }, errors), 0);
    const std::string journal = tx.Folder() + "\\jnl";

    auto untrusted = install::Recover(s, install::Scope::Machine, kProduct, [](const std::string&) { return false; });
    EXPECT_EQ(untrusted.outcome, install::Recovered::NotFollowed);
    // Another scope's or product's pointer is not this one.
    EXPECT_EQ(install::Recover(s, install::Scope::User, kProduct, Trusted()).outcome, install::Recovered::Nothing);
    EXPECT_EQ(install::Recover(s, install::Scope::Machine, "Other", Trusted()).outcome, install::Recovered::Nothing);

    std::string bytes;
    ASSERT_EQ(s.read(journal, bytes, 1 << 20), 0u);
    bytes[12] ^= 0x40; // inside the first record: its checksum fails
    ASSERT_EQ(s.removeFile(journal), 0u);
    ASSERT_EQ(s.createDurably(journal, bytes), 0u);
    const std::string cut = disk.Now().Describe();
    const auto damaged = install::Recover(s, install::Scope::Machine, kProduct, Trusted());
    EXPECT_EQ(damaged.outcome, install::Recovered::NotFollowed);
    EXPECT_EQ(damaged.why, "the journal is damaged");
    EXPECT_EQ(disk.Now().Describe(), cut) << "nothing is followed";
}

TEST(Journal, ReadsWhatWasWrittenAndStopsAtATornRecord)
{
    Journal journal;
    journal.kind = TxKind::Uninstall;
    journal.scope = install::Scope::User;
    journal.product = "\x83\x5c"
                      "App"; // a Shift-JIS name whose trail byte is a backslash
    journal.installFolder = kInstall;
    journal.txFolder = "C:\\P\\App\\.ynb00";
    journal.logPath = kLog;
    journal.sideLogPath = "C:\\P\\App\\ynb\\instdir.ynb";
    journal.entryKey = kEntry;
    journal.entryBefore = { true, { { "DisplayName", 1, std::string("App\0", 4) }, { "NoRepair", 4, "\x01\0\0\0" } } };
    journal.asides = { { "C:\\P\\App\\a.exe", "C:\\P\\App\\.ynb00\\00001" } };
    journal.createdFiles = { "C:\\P\\App\\b" };
    journal.madeFolders = { "C:\\P\\App\\lib" };
    journal.restarts = { { "C:\\P\\App\\.ynb00\\00002", "" } };
    journal.commitAnnounced = true;
    journal.removeEntry = true;
    journal.removals = { { "C:\\P\\App\\lib", true } };
    journal.removeIfEmpty = { kInstall };
    const std::string bytes = install::JournalBeginRecord(journal) + install::JournalSetAsideRecord(journal.asides)
        + install::JournalCreateRecord(journal.createdFiles, journal.madeFolders)
        + install::JournalRestartRecord(journal.restarts) + install::JournalCommitRecord(journal);
    Journal read;
    ASSERT_EQ(install::ReadJournal(bytes, read), install::JournalProblem::None);
    EXPECT_EQ(read, journal);

    // Cut anywhere: a whole prefix of records, never a part of one.
    const std::size_t begin = install::JournalBeginRecord(journal).size();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        const install::JournalProblem problem = install::ReadJournal(bytes.substr(0, size), read);
        if (size < begin) {
            EXPECT_EQ(problem, install::JournalProblem::NoBegin) << size;
            continue;
        }
        ASSERT_EQ(problem, install::JournalProblem::None) << size;
        EXPECT_FALSE(read.commitAnnounced) << size;
        EXPECT_LE(read.asides.size(), 1u);
    }
    // A record out of its place is damage, not a tear.
    EXPECT_EQ(
        install::ReadJournal(bytes + install::JournalCommitRecord(journal), read), install::JournalProblem::Damaged);
    const std::string withoutBegin = bytes.substr(0, 8) + bytes.substr(begin);
    EXPECT_EQ(install::ReadJournal(withoutBegin, read), install::JournalProblem::Damaged);

    install::JournalPointer pointer { journal.txFolder + "\\jnl", { journal.txFolder, kInstall } };
    install::JournalPointer back;
    const std::string encoded = install::EncodePointer(pointer);
    ASSERT_TRUE(install::DecodePointer(encoded, back));
    EXPECT_EQ(back, pointer);
    EXPECT_FALSE(install::DecodePointer(encoded.substr(0, encoded.size() - 1), back));
    EXPECT_FALSE(install::DecodePointer(encoded + "x", back));
}

TEST(Transaction, PendingRenamesOfThisProductAreSettledAndOthersBlock)
{
    State state = With(Bare(), V1());
    state.nodes["C:\\P\\App\\.ynb03"] = { true, 0 };
    state.nodes["C:\\P\\App\\.ynb03\\00001"] = { false, 500 };
    state.data[500] = "a2";
    state.nodes["C:\\P\\App\\.ynb04"] = { true, 0 };
    state.nodes["C:\\P\\App\\.ynb04\\00001"] = { false, 501 };
    state.data[501] = "still running";
    state.pending = { { "C:\\P\\App\\.ynb03\\00001", "C:\\P\\App\\a.exe" }, { "C:\\P\\App\\.ynb03", "" },
        { "C:\\P\\App\\.ynb04\\00001", "" }, { "C:\\Temp\\x", "C:\\P\\App\\lib\\b.dll" },
        { "C:\\Temp\\y", "C:\\Elsewhere\\y" } };
    Disk disk(state);
    disk.held = { "C:\\P\\App\\.ynb04\\00001" };
    const install::Storage s = disk.MakeStorage();
    const install::RestartCheck check
        = install::CheckPendingRenames(s, kInstall, { "C:\\P\\App\\a.exe", "C:\\P\\app\\LIB\\b.dll" }, {});
    EXPECT_EQ(check.settled, std::vector<std::string> { "C:\\P\\App\\.ynb03\\00001" });
    ASSERT_EQ(check.blocking.size(), 2u);
    EXPECT_EQ(check.blocking[0].source, "C:\\P\\App\\.ynb04\\00001");
    EXPECT_EQ(check.blocking[1].source, "C:\\Temp\\x");
    EXPECT_FALSE(Exists(s, "C:\\P\\App\\.ynb03\\00001"));
    EXPECT_TRUE(install::InTransactionFolder("C:\\P\\App\\.ynbzz", kInstall, {}));
    EXPECT_FALSE(install::InTransactionFolder("C:\\P\\App\\.ynbzzz\\a", kInstall, {}));
    EXPECT_FALSE(install::InTransactionFolder("C:\\P\\Other\\.ynb00\\a", kInstall, {}));
}

} // namespace

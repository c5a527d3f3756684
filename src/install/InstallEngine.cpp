#include "install/InstallEngine.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "config/CommandLine.h"
#include "config/ProductData.h"
#include "install/ClsUninstall.h"
#include "install/InstallLog.h"
#include "install/InstallPaths.h"
#include "install/Manifest.h"
#include "package/CabinetExtractor.h"
#include "package/ClsSecurity.h"
#include "package/PayloadStamp.h"
#include "sys/ClsFile.h"
#include "sys/ClsRegist.h"
#include "sys/FileSecurity.h"
#include "sys/Names.h"
#include "sys/PathText.h"
#include "sys/RestartManager.h"
#include "sys/SpecialFolder.h"
#include "sys/Text.h"
#include "sys/Win32.h"

namespace install {

namespace {

constexpr uint32_t kEntryPause = 500; // ms: paces the installation so the user sees it work

// Every path the installation derives from the record and the folder text,
// formed before anything is written, so that none is ever cut short. These
// are the texts the uninstall entry, the shortcuts and the log hold;
// relative ones stay relative there, while the files are reached through
// their full paths.
struct Paths {
    char baseFolder[kPathSize];
    char firstComponent[kPathSize];
    char installFolder[kPathSize];
    char stagingFolder[kPathSize];
    char uninstallKey[kPathSize];
    char uninstallCommand[kPathSize];
    char uninstallValue[kQuotedCommandSize];
    char shortcutTarget[kPathSize];
    char logFolder[kPathSize];
};

bool FormPaths(const SetupRecord& record, const char* folderText, Paths& paths)
{
    return BaseFolder(folderText, paths.baseFolder) && FirstComponent(record.ProductFolder, paths.firstComponent)
        && InstallFolder(folderText, paths.firstComponent, paths.installFolder)
        && StagingFolder(paths.installFolder, paths.stagingFolder)
        && UninstallKey(paths.firstComponent, paths.uninstallKey)
        && UninstallCommand(paths.installFolder, paths.uninstallCommand)
        && QuotedCommand(paths.uninstallCommand, paths.uninstallValue)
        && ShortcutTarget(paths.baseFolder, record.ProgramPath, paths.shortcutTarget)
        && LogFolderFromParent(record.ProductFolder, paths.logFolder);
}

// The machine as the plan asks for it.
MachineFacts ThisMachine()
{
    MachineFacts facts;
    facts.kind = [](const std::string& path) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return PathKind::None;
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::File;
    };
    facts.fullPath = [](const std::string& path) {
        char full[kTargetPathCapacity];
        const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
        return length > 0 && length < sizeof full ? std::string(full, length) : path;
    };
    facts.driveFolder = [](char drive) {
        // The process keeps a drive's current folder in "=D:" (as cmd.exe sets it).
        const char name[] = { '=', drive, ':', '\0' };
        char folder[kPathSize];
        const DWORD length = GetEnvironmentVariableA(name, folder, sizeof folder);
        return length > 0 && length < sizeof folder ? std::string(folder, length) : std::string { drive, ':', '\\' };
    };
    return facts;
}

// What the installation tells and asks, each through its own sink member.
class Reporter {
public:
    explicit Reporter(const InstallSink& sink)
        : sink_(sink)
    {
    }

    void Step(Phase phase, uint64_t done = 0, uint64_t total = 0, const std::string& item = {}) const
    {
        if (sink_.progress)
            sink_.progress(Progress { phase, done, total, item });
    }
    void CopyFailed(const CopyFailure& failure) const
    {
        if (sink_.copyFailed)
            sink_.copyFailed(failure);
    }
    void StepFailed(const std::string& detail) const
    {
        if (sink_.stepFailed)
            sink_.stepFailed(detail);
    }
    bool SetupFailed(const InstallFailure& failure) const
    {
        return sink_.setupFailed ? sink_.setupFailed(failure) : true;
    }
    void Pump() const
    {
        if (sink_.pump)
            sink_.pump();
    }
    void Placed(const std::string& path) const
    {
        if (sink_.placed)
            sink_.placed(path);
    }
    void Note(const std::string& text) const
    {
        if (sink_.note)
            sink_.note(text);
    }

    // Paces the installation for whoever watches it; nothing waits where
    // nobody does.
    void Pause(uint32_t milliseconds) const
    {
        if (sink_.pause)
            sink_.pause(milliseconds);
    }

    const InstallSink& Sink() const { return sink_; }

private:
    const InstallSink& sink_;
};

sys::TrustScope TrustScopeOf(Scope scope)
{
    return scope == Scope::User ? sys::TrustScope::User : sys::TrustScope::Machine;
}

// A folder that is not protected for the scope gets its protection: a
// machine's installation made its folders so before writing (InstallFolder
// below), and this only confirms it; a user's own installation cannot make
// the administrators its owner: a folder that others could change gets the
// user as its owner, full control for SYSTEM, the administrators and the
// user, and nothing for anyone else (what a profile's folders have).

void Protect(const char* folder, Scope scope, const Reporter& reporter)
{
    if (sys::JudgePath(folder, TrustScopeOf(scope)) == sys::Protection::Protected)
        return;
    reporter.Note(
        std::string(sys::ProtectFolder(folder, scope == Scope::User) ? "protected " : "could not protect ") + folder);
}

// The install log into folder. The log folder must be an administrator's
// (or this account's), and gets the protection of Program Files, since the
// uninstaller trusts what the log names; a log that lands elsewhere (no log
// folder) leaves that folder as it is.
void WriteLog(
    InstallLog& log, int32_t key, const std::string& folder, bool inLogFolder, Scope scope, const Reporter& reporter)
{
    if (inLogFolder) {
        if (!sys::OwnerIsTrusted(folder.c_str(), TrustScopeOf(scope))) {
            reporter.Note("the install log was not written: its folder " + folder + " belongs to someone else");
            return;
        }
        Protect(folder.c_str(), scope, reporter);
    }
    if (!log.Complete())
        reporter.StepFailed("the install log could not hold every line: " + std::to_string(log.LeftOut())
            + " left out, which the uninstaller will not remove");
    (void)ClsSecurity::Scramble(log.Data(), log.Length(), key);
    const std::string path = JoinFolder(folder, sys::kLogName);
    if (ClsFile::SaveFile(path.c_str(), log.Text(), log.Length()))
        reporter.Placed(path);
    else {
        const DWORD error = GetLastError();
        reporter.StepFailed(
            "the install log could not be written in " + folder + " (error " + std::to_string(error) + ")");
    }
}

// Setup failed before anything was installed.
InstallOutcome Fail(InstallFailure failure, const Reporter& reporter)
{
    InstallOutcome outcome;
    outcome.failure = std::move(failure);
    outcome.ending = reporter.SetupFailed(outcome.failure);
    return outcome;
}

InstallOutcome FailExtraction(const package::ExtractReport& report, const Reporter& reporter)
{
    return Fail({ report.problem == package::ExtractProblem::DiskFull ? InstallStep::DiskFull : InstallStep::Payload,
                    report.detail, report.overwritten, report.error, report.path, {}, 0, 0 },
        reporter);
}

void AddShortcut(
    const char* target, const char* linkFolder, const char* productName, InstallLog& log, const Reporter& reporter)
{
    if (linkFolder[0] == '\0')
        return; // the system names no such folder: nothing to place
    (void)ClsFile::CreateShortcut(target, linkFolder, productName); // logged whatever became of it
    (void)log.AddShortcut(linkFolder, productName);
    const std::string link = std::string(linkFolder) + "\\" + productName + ".lnk";
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES)
        reporter.Placed(link);
    else
        reporter.Note("the shortcut " + link + " could not be created");
}

// The uninstall entry: the name and the command as they always were, then
// what the system's list of programs shows beside them.
void Register(
    const Paths& paths, const ProductValues& product, uint64_t payloadSize, Scope scope, const Reporter& reporter)
{
    // Without the right to write under the scope's root nothing is stored;
    // the installation goes on.
    ClsRegist regist;
    (void)regist.CreateKey(UninstallRootOf(scope), paths.uninstallKey);
    (void)regist.SetString("DisplayName", product.record.ProductName);
    const bool written = regist.SetString("UninstallString", paths.uninstallValue);
    (void)regist.SetString("QuietUninstallString", (std::string("\"") + paths.uninstallCommand + "\" /S").c_str());
    (void)regist.SetString("InstallLocation", paths.installFolder);
    (void)regist.SetString("DisplayIcon", paths.shortcutTarget);
    (void)regist.SetDword(
        "EstimatedSize", static_cast<uint32_t>(std::min<uint64_t>((payloadSize + 1023) / 1024, UINT32_MAX)));
    (void)regist.SetDword("NoModify", 1);
    (void)regist.SetDword("NoRepair", 1);
    const std::pair<const char*, const std::string*> optional[] = { { "DisplayVersion", &product.displayVersion },
        { "Publisher", &product.publisher }, { "URLInfoAbout", &product.urlInfoAbout } };
    // A value this version lacks goes: an earlier installation's stays no
    // longer than the version that wrote it.
    for (const auto& [name, text] : optional)
        (void)(!text->empty() ? regist.SetString(name, text->c_str()) : regist.DeleteValue(name));
    reporter.Note(std::string(written ? "the uninstall entry " : "the uninstall entry could not be written: ")
        + (scope == Scope::User ? "HKCU\\" : "HKLM\\") + paths.uninstallKey);
}

// Every volume's need against its free space, before anything is written.
bool CheckSpace(const InstallPlan& plan, const PlanInput& input, InstallFailure& failure)
{
    const auto cluster = [](const std::string& volume) -> uint64_t {
        DWORD sectorsPerCluster = 0;
        DWORD bytesPerSector = 0;
        DWORD freeClusters = 0;
        DWORD clusters = 0;
        if (!GetDiskFreeSpaceA(volume.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
            return 4096;
        return static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    };
    for (const VolumeNeed& need : SpaceNeeded(plan, input, cluster)) {
        ULARGE_INTEGER available {};
        if (!GetDiskFreeSpaceExA(need.volume.c_str(), &available, nullptr, nullptr))
            continue; // a volume that tells nothing is found out by writing
        if (available.QuadPart >= need.bytes)
            continue;
        failure = { InstallStep::Space,
            "the drive " + need.volume + " has " + std::to_string(available.QuadPart) + " bytes free ("
                + Megabytes(available.QuadPart) + "); the installation needs " + std::to_string(need.bytes) + " ("
                + Megabytes(need.bytes) + ")",
            {}, ERROR_DISK_FULL, need.volume, need.volume, need.bytes, available.QuadPart };
        return false;
    }
    return true;
}

// The first of an entry's failures in its walk: the one the plan foresaw,
// or one met while carrying it out.
struct EntryOutcome {
    bool fails = false;
    uint32_t step = UINT32_MAX;
    CopyFailure failure;

    void Met(uint32_t at, CopyFailure met)
    {
        if (fails && step <= at)
            return;
        fails = true;
        step = at;
        failure = std::move(met);
    }
};

// One entry as the staged installation carries it out: a real copy from the
// extracted staging folder, its paths made full against it.
void CopyStaged(const PlanInput& input, const ManifestEntry& manifest, const EntryPlan& entry, EntryOutcome& outcome)
{
    if (entry.folder) {
        std::string source = manifest.Source;
        source.pop_back();
        const std::string from
            = source.empty() ? std::string() : FullPathOf(source, input.stagingFolder, input.machine);
        ClsFile::Failure lost;
        if (!ClsFile::CopyFolder(from.c_str(), entry.fullTarget.c_str(), &lost))
            outcome.Met(0, { entry.logTarget, lost.path, lost.error });
        return;
    }
    const std::string from = FullPathOf(manifest.Source, input.stagingFolder, input.machine);
    if (CopyFileA(from.c_str(), entry.fullTarget.c_str(), FALSE) == 0) {
        const DWORD error = GetLastError();
        outcome.Met(0, { entry.logTarget, entry.fullTarget, error });
    }
}

class Installation {
public:
    Installation(const InstallRequest& request, const Reporter& reporter)
        : request_(request)
        , product_(request.product)
        , reporter_(reporter)
    {
    }

    InstallOutcome Run();

private:
    bool ReadManifest(InstallFailure& failure);
    bool StaysOutOfTheWindowsFolder(InstallFailure& failure) const;
    InstallOutcome Extract();
    void PlaceEntries(InstallLog& log);
    void RemoveStale(const std::vector<std::string>& alsoPlaced);
    bool SetAside(const package::ExtractJob& job, InstallFailure& failure);
    bool SettleHeldFiles(package::ExtractJob& job, InstallFailure& failure);
    std::vector<std::string> ExistingTargets(const package::ExtractJob& job) const;
    bool MakeInstallFolder(InstallFailure& failure);
    bool RefuseUnprotectedTargets(const std::vector<std::string>& targets, InstallFailure& failure) const;
    void RemoveMadeFolders();
    void PutBack();
    void DropSetAside();

    const InstallRequest& request_;
    const ProductValues& product_;
    const Reporter& reporter_;
    Paths paths_ {};
    PlanInput input_;
    InstallPlan plan_;
    package::PayloadCabinet cabinet_;
    package::ExtractReport extracted_;
    std::vector<char> manifest_;
    ManifestEntry entries_[kManifestMaxEntries];
    // The installation this one replaces in the same folder, read before
    // anything is written.
    ClsUninstall previous_;
    bool installedHere_ = false; // the product is installed in this folder
    bool replaces_ = false; // and its log was read
    // The installed files this one replaces, each renamed beside itself
    // until the new version is whole: original, set-aside name.
    std::vector<std::pair<std::string, std::string>> setAside_;
    sys::RestartManager restartManager_;
    bool closeTried_ = false;
    // Held files: the new version's path beside each, the held file.
    std::vector<std::pair<std::string, std::string>> atRestart_;
    std::vector<std::string> replacedAtRestart_;
    std::vector<std::string> madeFolders_; // the install folder and those above it this run made, top first
    uint64_t done_ = 0; // bytes written, for the one progress
    uint64_t total_ = 0;
};

// A user's own installation leaves the machine's folders to administrators:
// an entry whose target lies in the Windows folder (SYSTEM, or reached
// otherwise) refuses it before anything is written.
bool Installation::StaysOutOfTheWindowsFolder(InstallFailure& failure) const
{
    char windows[kPathSize] = {};
    (void)ClsFile::GetWindowsFolder(windows);
    if (windows[0] == '\0')
        return true;
    for (const EntryPlan& entry : plan_.entries)
        if (!entry.fullTarget.empty() && sys::LiesWithin(entry.fullTarget.c_str(), windows)) {
            failure = { InstallStep::Scope,
                "an installation for the current user alone cannot write into the Windows folder: " + entry.fullTarget,
                {}, 0, entry.fullTarget, {}, 0, 0 };
            return false;
        }
    return true;
}

// The manifest, read from the payload before anything is written; a payload
// without one has no entries.
bool Installation::ReadManifest(InstallFailure& failure)
{
    const std::string manifest = JoinFolder(input_.stagingFolder, sys::kManifestName);
    const std::string key = sys::PathKey(manifest, sys::kAnsiPaths);
    for (std::size_t i = 0; i < input_.files.size(); ++i)
        if (sys::PathKey(JoinFolder(input_.baseFolder, input_.files[i].name), sys::kAnsiPaths) == key)
            input_.manifestFile = static_cast<int>(i); // the last of that name is the one extracted
    if (input_.manifestFile < 0)
        return true;
    const uint64_t size = input_.files[static_cast<std::size_t>(input_.manifestFile)].size;
    if (size == 0 || size > kManifestCapacity)
        return true; // empty or too large: no entries
    std::string bytes;
    package::ExtractJob job;
    job.outputs.assign(input_.files.size(), std::string());
    job.memoryFile = input_.manifestFile;
    job.memory = &bytes;
    job.maxWorkers = 1;
    job.pump = [this] { reporter_.Pump(); };
    const package::ExtractReport report = cabinet_.Extract(job);
    if (report.problem != package::ExtractProblem::None) {
        failure = { InstallStep::Payload, report.detail, {}, report.error, report.path, {}, 0, 0 };
        return false;
    }
    manifest_.assign(bytes.begin(), bytes.end());
    (void)ClsSecurity::Unscramble(manifest_.data(), static_cast<int32_t>(manifest_.size()), product_.manifestKey);
    const ManifestSplit split = SplitManifest(manifest_.data(), static_cast<int32_t>(manifest_.size()), entries_);
    input_.manifestText = manifest_.data();
    input_.entries = entries_;
    input_.entryCount = split.Count;
    return true;
}

// The payload's files to their places: straight there when the plan is
// direct, else into the base folder as they lie in the payload.
InstallOutcome Installation::Extract()
{
    package::ExtractJob job;
    if (plan_.mode == PlanMode::Direct) {
        job.outputs.assign(input_.files.size(), std::string());
        job.asCopy.assign(input_.files.size(), false);
        for (const PlannedWrite& write : plan_.writes) {
            job.outputs[static_cast<std::size_t>(write.file)] = write.path;
            job.asCopy[static_cast<std::size_t>(write.file)] = write.asCopy;
        }
        job.folders = plan_.folders;
    } else {
        extracted_ = cabinet_.PlaceBelow(JoinFolder(input_.baseFolder, ""), job);
        if (extracted_.problem != package::ExtractProblem::None)
            return FailExtraction(extracted_, reporter_);
    }
    job.pump = [this] { reporter_.Pump(); };
    job.progress = [this](uint64_t done, uint64_t, const std::string& item) {
        reporter_.Step(Phase::Unpacking, done, total_, item);
        done_ = done;
    };
    InstallFailure failure;
    if (request_.scope == Scope::Machine && !RefuseUnprotectedTargets(ExistingTargets(job), failure))
        return Fail(std::move(failure), reporter_);
    if (!SettleHeldFiles(job, failure) || (installedHere_ && !SetAside(job, failure)))
        return Fail(std::move(failure), reporter_);
    extracted_ = cabinet_.Extract(job);
    if (extracted_.problem != package::ExtractProblem::None) {
        PutBack();
        return FailExtraction(extracted_, reporter_);
    }

    InstallOutcome outcome;
    outcome.succeeded = true;
    return outcome;
}

std::string Listed(const std::vector<std::string>& files)
{
    std::string text;
    for (const std::string& file : files)
        text += (text.empty() ? "" : ", ") + file;
    return text;
}

// Before anything is written: files that programs hold are let go (the user
// closes the programs, or they are asked to close), or the installation is
// cancelled, or each such file's new version is written beside it to take
// its place at the restart.
bool Installation::SettleHeldFiles(package::ExtractJob& job, InstallFailure& failure)
{
    // Every file there before is registered with Restart Manager, which names
    // the programs using any of them; the probe finds the files a program
    // holds (open without sharing, a running program's image, a module).
    std::vector<std::string> targets;
    for (const std::string& path : ExistingTargets(job))
        if (!path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            targets.push_back(path);
    if (targets.empty())
        return true;
    const std::vector<uint32_t> ours = { GetCurrentProcessId() };
    (void)restartManager_.Register(targets);
    InUseSteps steps;
    steps.look = [&](const std::vector<std::string>& held) {
        return InUse { sys::HeldFiles(held), restartManager_.Holders(ours) };
    };
    if (reporter_.Sink().filesInUse)
        steps.ask = [this](const InUse& now, bool closeTried) {
            return reporter_.Sink().filesInUse(now.held, now.programs, closeTried);
        };
    steps.close = [this] { return restartManager_.Shutdown(); };
    std::vector<std::string> lastHeld;
    steps.seen = [this, &lastHeld](const InUse& now) {
        lastHeld = now.held;
        std::string names;
        for (const std::wstring& program : now.programs)
            names += (names.empty() ? "" : ", ") + sys::ToAnsi(program.c_str());
        reporter_.Note("held by " + (names.empty() ? std::string("programs Restart Manager does not name") : names)
            + ": " + (now.held.empty() ? std::string("files they may still change") : Listed(now.held)));
    };
    steps.closed = [this](bool closed) {
        reporter_.Note(closed ? "the programs were asked to close" : "the programs could not be asked to close");
    };
    const InUseOutcome settled = SettleInUse(
        InUse { sys::HeldFiles(targets), restartManager_.Holders(ours) }, request_.closeApplications, steps);
    closeTried_ = settled.closeTried;
    if (settled.cancelled) {
        failure = { InstallStep::FilesInUse,
            "cancelled: programs hold "
                + (lastHeld.empty() ? std::string("files of the installation") : Listed(lastHeld)),
            {}, ERROR_SHARING_VIOLATION, lastHeld.empty() ? targets.front() : lastHeld.front(), {}, 0, 0 };
        return false;
    }
    // The new version beside each file still held, written as it would be.
    const std::vector<std::string>& held = settled.atRestart;
    const auto beside = [&held, this](std::string& path) {
        if (std::find(held.begin(), held.end(), path) == held.end())
            return;
        std::string fresh = path + ".ynb-new";
        sys::ClearReadOnly(fresh.c_str());
        (void)DeleteFileA(fresh.c_str()); // an earlier run's
        atRestart_.emplace_back(fresh, path);
        path = std::move(fresh);
    };
    for (std::string& output : job.outputs)
        beside(output);
    for (PlannedCopy& copy : plan_.copies)
        beside(copy.to);
    return true;
}

// Why a folder or file is not protected, for logs.
std::string Why(sys::Protection protection)
{
    switch (protection) {
    case sys::Protection::Protected:
        return "protected";
    case sys::Protection::Malformed:
        return "its access list does not parse";
    case sys::Protection::NoDacl:
        return "it has no access list";
    case sys::Protection::ForeignOwner:
        return "its owner is not an administrator";
    case sys::Protection::OthersMayWrite:
        return "others may write to it";
    case sys::Protection::OthersMayMove:
        return "others may rename or delete it or what it holds";
    case sys::Protection::Unreadable:
        return "its access list cannot be read";
    case sys::Protection::Link:
        return "a link whose own access list cannot be read";
    }
    return "unknown";
}

// The files there before: all the outputs of a staged installation, the
// planned ones that existed otherwise.
std::vector<std::string> Installation::ExistingTargets(const package::ExtractJob& job) const
{
    std::vector<std::string> targets;
    if (plan_.mode == PlanMode::Staged)
        targets = job.outputs;
    for (const PlannedWrite& write : plan_.writes)
        if (write.existed)
            targets.push_back(write.path);
    for (const PlannedCopy& copy : plan_.copies)
        if (copy.existed)
            targets.push_back(copy.to);
    return targets;
}

// A machine's installation writes nothing into or through a folder that
// others than the administrators could change (they could change what the
// uninstaller, run by an administrator, later reads and runs): every folder
// of the install folder's path that exists is judged, and those that do not
// are made with Program Files' protection from their first moment, before
// anything is written.
bool Installation::MakeInstallFolder(InstallFailure& failure)
{
    const sys::InstallPathJudgement judgement = sys::JudgeInstallPath(input_.installFolder, sys::TrustScope::Machine);
    if (judgement.protection != sys::Protection::Protected) {
        const bool install = judgement.path == input_.installFolder;
        failure = { InstallStep::Unprotected,
            std::string(install ? "the install folder " : "the folder above the install folder ") + judgement.path
                + (judgement.link ? ", a junction or symbolic link," : "")
                + " could be changed by others than the administrators (" + Why(judgement.protection)
                + "); a machine's installation writes nothing there",
            {}, ERROR_ACCESS_DENIED, judgement.path, {}, 0, 0 };
        return false;
    }
    for (const std::string& folder : judgement.missing) {
        if (!sys::CreateProtectedFolder(folder.c_str()) && GetLastError() != ERROR_ALREADY_EXISTS) {
            const DWORD error = GetLastError();
            RemoveMadeFolders();
            failure = { InstallStep::Paths,
                "the folder " + folder + " could not be made (error " + std::to_string(error) + ")", {}, error, folder,
                {}, 0, 0 };
            return false;
        }
        madeFolders_.push_back(folder);
    }
    // One that appeared meanwhile is judged as any other.
    if (!judgement.missing.empty()
        && sys::JudgePath(input_.installFolder.c_str(), sys::TrustScope::Machine) != sys::Protection::Protected) {
        RemoveMadeFolders();
        failure = { InstallStep::Unprotected,
            "the install folder " + input_.installFolder + " could not be given the protection of Program Files", {},
            ERROR_ACCESS_DENIED, input_.installFolder, {}, 0, 0 };
        return false;
    }
    if (!madeFolders_.empty())
        reporter_.Note("made with the protection of Program Files: " + madeFolders_.front());
    return true;
}

// A file that is there already keeps its access list when it is written
// over: for the machine, one that others could change is refused.
bool Installation::RefuseUnprotectedTargets(const std::vector<std::string>& targets, InstallFailure& failure) const
{
    const sys::Account account = sys::RunningAccount();
    for (const std::string& path : targets) {
        if (path.empty() || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        const sys::Protection protection = sys::JudgePath(path.c_str(), sys::TrustScope::Machine, account);
        if (protection == sys::Protection::Protected)
            continue;
        failure = { InstallStep::Unprotected,
            "the file " + path
                + ", which the installation would write over, could be changed by others than the "
                  "administrators ("
                + Why(protection) + "); a machine's installation writes nothing there",
            {}, ERROR_ACCESS_DENIED, path, {}, 0, 0 };
        return false;
    }
    return true;
}

// The folders MakeInstallFolder made, deepest first, while they are empty:
// a failed installation leaves none of them.
void Installation::RemoveMadeFolders()
{
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it)
        (void)RemoveDirectoryA(it->c_str());
    madeFolders_.clear();
}

// Every installed file that the extraction replaces is renamed beside itself
// first, so that a failure can give the installed version back as it was;
// a file that cannot be renamed (held open by a program) fails the setup
// before anything is written.
bool Installation::SetAside(const package::ExtractJob& job, InstallFailure& failure)
{
    std::vector<std::string> existing; // what the plan knows was there, or every output when staged
    for (const PlannedWrite& write : plan_.writes)
        if (write.existed && plan_.mode == PlanMode::Direct)
            existing.push_back(job.outputs[static_cast<std::size_t>(write.file)]);
    for (const std::string& path : plan_.mode == PlanMode::Direct ? existing : job.outputs) {
        if (path.empty())
            continue;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        std::string aside = path + ".ynb-old";
        for (int n = 2; GetFileAttributesA(aside.c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
            aside = path + ".ynb-old" + std::to_string(n);
        if (!MoveFileExA(path.c_str(), aside.c_str(), 0)) {
            const DWORD error = GetLastError();
            PutBack();
            failure = { InstallStep::InUse,
                "the installed file " + path + " could not be set aside to be replaced (error " + std::to_string(error)
                    + "); nothing was changed",
                {}, error, path, {}, 0, 0 };
            return false;
        }
        setAside_.emplace_back(path, aside);
    }
    if (!setAside_.empty())
        reporter_.Note("set aside until the new version is whole: " + std::to_string(setAside_.size()) + " files");
    return true;
}

// The installed version's files back in their places (the extraction has
// taken away what it wrote).
void Installation::PutBack()
{
    for (auto it = setAside_.rbegin(); it != setAside_.rend(); ++it)
        if (!MoveFileExA(it->second.c_str(), it->first.c_str(), MOVEFILE_REPLACE_EXISTING))
            reporter_.StepFailed("the installed file " + it->first + " could not be put back from " + it->second
                + " (error " + std::to_string(GetLastError()) + ")");
    setAside_.clear();
}

// The new version is whole: the replaced files go (at the next restart when
// one is still held).
void Installation::DropSetAside()
{
    for (const auto& [path, aside] : setAside_) {
        sys::ClearReadOnly(aside.c_str());
        if (!DeleteFileA(aside.c_str()) && !MoveFileExA(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            reporter_.Note("the replaced file " + aside + " could not be removed");
    }
    setAside_.clear();
}

// Every entry in manifest order: its copies, its failure (foreseen, or met
// by its write or its copies), its log line and the pause after it.
void Installation::PlaceEntries(InstallLog& log)
{
    std::vector<std::vector<const PlannedCopy*>> copies(plan_.entries.size());
    for (const PlannedCopy& copy : plan_.copies)
        copies[static_cast<std::size_t>(copy.entry)].push_back(&copy);
    std::vector<std::vector<const PlannedWrite*>> writes(plan_.entries.size());
    for (const PlannedWrite& write : plan_.writes)
        if (write.entry >= 0)
            writes[static_cast<std::size_t>(write.entry)].push_back(&write);
    for (std::size_t i = 0; i < plan_.entries.size(); ++i) {
        const EntryPlan& entry = plan_.entries[i];
        reporter_.Step(Phase::Placing, done_, total_, entry.item);
        EntryOutcome outcome;
        if (entry.fails)
            outcome.Met(entry.failureStep, entry.failure);
        if (!entry.logged) {
            reporter_.CopyFailed(outcome.failure); // a line or target that could not be formed
            continue;
        }
        if (plan_.mode == PlanMode::Staged) {
            CopyStaged(input_, entries_[i], entry, outcome);
        } else {
            for (const PlannedWrite* write : writes[i]) {
                const uint32_t refused
                    = extracted_.refusals.empty() ? 0 : extracted_.refusals[static_cast<std::size_t>(write->file)];
                if (refused != 0)
                    outcome.Met(
                        write->step, { entry.logTarget, entry.folder ? write->path : entry.fullTarget, refused });
            }
            for (const PlannedCopy* copy : copies[i]) {
                if (CopyFileA(copy->from.c_str(), copy->to.c_str(), FALSE) == 0) {
                    const DWORD error = GetLastError();
                    outcome.Met(copy->step, { entry.logTarget, entry.folder ? copy->to : entry.fullTarget, error });
                }
                done_ += copy->size;
            }
        }
        if (outcome.fails)
            reporter_.CopyFailed(outcome.failure);
        else
            reporter_.Placed(entry.fullTarget);
        (void)log.AddEntry(entry.logTarget.c_str(), entry.folder); // a log too full leaves the line out
        reporter_.Pause(kEntryPause);
    }
}

// What the earlier installation's log names and this one did not place goes,
// judged as the uninstaller judges that log: an upgrade leaves no file of the
// version it replaces that it does not have itself.
void Installation::RemoveStale(const std::vector<std::string>& alsoPlaced)
{
    if (!replaces_)
        return;
    if (plan_.mode == PlanMode::Staged) {
        reporter_.Note("the earlier installation's files that this one lacks stay: its copies were not planned");
        return;
    }
    // Long names, as the uninstaller's judgement has them.
    const auto canonical = [](const std::string& path) {
        char longPath[kTargetPathCapacity];
        const DWORD length = GetLongPathNameA(path.c_str(), longPath, sizeof longPath);
        return length > 0 && length < sizeof longPath ? std::string(longPath, length) : path;
    };
    PlacedPaths placed(sys::kAnsiPaths);
    for (const PlannedWrite& write : plan_.writes)
        placed.Add(canonical(write.path));
    for (const PlannedCopy& copy : plan_.copies)
        placed.Add(canonical(copy.to));
    for (const std::string& folder : plan_.folders)
        placed.Add(canonical(folder));
    for (const std::string& path : alsoPlaced)
        placed.Add(canonical(path));
    for (const std::string& scratch : plan_.scratch)
        placed.Remove(scratch);
    ClsUninstall::Outcome outcome;
    previous_.RemoveStale(placed, outcome);
    for (const std::string& path : outcome.removed)
        reporter_.Note("removed from the earlier installation: " + path);
    for (const ClsUninstall::Remaining& left : outcome.remaining)
        reporter_.Note(
            "left from the earlier installation: " + left.path + " (error " + std::to_string(left.error) + ")");
}

InstallOutcome Installation::Run()
{
    const SetupRecord& record = product_.record;
    if (!FormPaths(record, request_.folderText.c_str(), paths_))
        return Fail(
            { InstallStep::Paths, "a path formed from the folder text does not fit 260 bytes", {}, 0, {}, {}, 0, 0 },
            reporter_);
    // The folder texts made full against the program's folder, once: the
    // payload and the manifest's paths are reached through them.
    input_.machine = ThisMachine();
    input_.codePage = sys::kAnsiPaths;
    const auto full = [this](const std::string& text) {
        return WithoutTrailingSeparators(FullPathOf(text, request_.programDir, input_.machine), sys::AnsiLead);
    };
    input_.baseFolder = full(std::string(paths_.baseFolder) + "\\");
    input_.installFolder = full(paths_.installFolder);
    input_.stagingFolder = full(paths_.stagingFolder);
    input_.specialFolders = { ClsFile::GetDesktopFolder, ClsFile::GetMyDocumentsFolder, ClsFile::GetWindowsFolder };

    package::ExtractReport opened
        = cabinet_.Open(JoinFolder(request_.programDir, "data00.dat"), product_.payloadKey, product_.payloadDigest);
    if (opened.problem != package::ExtractProblem::None)
        return FailExtraction(opened, reporter_);
    for (std::size_t i = 0; i < cabinet_.Names().size(); ++i) {
        const CabinetFileEntry& entry = cabinet_.Table().files[i];
        input_.files.push_back({ cabinet_.Names()[i], entry.size, entry.attributes & 0x27u });
    }
    InstallFailure failure;
    if (!ReadManifest(failure))
        return Fail(std::move(failure), reporter_);
    plan_ = PlanInstallation(input_);
    reporter_.Note(plan_.mode == PlanMode::Direct ? std::string("each file written once, straight to its place")
                                                  : "the payload staged first: " + plan_.why);
    if (request_.scope == Scope::User && !StaysOutOfTheWindowsFolder(failure))
        return Fail(std::move(failure), reporter_);
    if (!CheckSpace(plan_, input_, failure))
        return Fail(std::move(failure), reporter_);
    const InstalledProduct earlier = FindInstalledProduct(record);
    installedHere_ = IsInstalledFolder(record, request_.folderText.c_str(), earlier);
    replaces_ = installedHere_
        && previous_.Prepare(JoinFolder(earlier.installFolder, "uninstall.exe").c_str()) == ClsUninstall::State::Ready;
    if (plan_.mode == PlanMode::Staged)
        for (const PayloadFileInfo& file : input_.files)
            total_ += file.size;
    else
        total_ = plan_.bytesToWrite;
    reporter_.Step(Phase::Unpacking, 0, total_);

    if (request_.scope == Scope::Machine && !MakeInstallFolder(failure))
        return Fail(std::move(failure), reporter_);
    InstallOutcome extraction = Extract();
    if (!extraction.succeeded) {
        RemoveMadeFolders();
        return extraction;
    }
    // The payload's own places; the entries' targets are told with each entry.
    if (plan_.mode == PlanMode::Staged)
        for (const std::string& path : extracted_.placed)
            reporter_.Placed(path);
    for (const PlannedWrite& write : plan_.writes)
        if (write.entry < 0 && std::find(plan_.scratch.begin(), plan_.scratch.end(), write.path) == plan_.scratch.end())
            reporter_.Placed(write.path);
    Protect(input_.installFolder.c_str(), request_.scope, reporter_);

    reporter_.Step(Phase::Registering);
    auto log = std::make_unique<InstallLog>();
    Register(paths_, product_, plan_.payloadSize, request_.scope, reporter_);
    (void)log->Start(paths_.firstComponent);
    PlaceEntries(*log);
    // The held files' new versions are written: each takes its place at the restart.
    for (const auto& [fresh, held] : atRestart_) {
        if (GetFileAttributesA(fresh.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue; // its copy failed, and was reported
        if (MoveFileExA(fresh.c_str(), held.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
            reporter_.Note("held by a program, replaced when Windows restarts: " + held);
            replacedAtRestart_.push_back(held);
        } else
            reporter_.StepFailed("the held file " + held + " cannot be replaced at the restart (error "
                + std::to_string(GetLastError()) + "); its new version waits in " + fresh);
    }
    if (plan_.mode == PlanMode::Staged) {
        (void)ClsFile::RemoveFile(JoinFolder(input_.stagingFolder, sys::kManifestName).c_str());
        (void)ClsFile::DeleteFolder(input_.stagingFolder.c_str());
    }
    for (const std::string& scratch : plan_.scratch) {
        sys::ClearReadOnly(scratch.c_str());
        (void)DeleteFileA(scratch.c_str());
    }

    reporter_.Step(Phase::Shortcuts);
    std::vector<std::string> alsoPlaced; // the shortcuts and the log
    if (request_.desktopShortcut) {
        char desktop[kPathSize] = {};
        (void)ClsFile::GetDesktopFolder(desktop);
        AddShortcut(paths_.shortcutTarget, desktop, record.ProductName, *log, reporter_);
        alsoPlaced.push_back(std::string(desktop) + "\\" + record.ProductName + ".lnk");
    }
    if (request_.startMenuEntry) {
        char startup[kPathSize] = {};
        char programs[kPathSize] = {};
        (void)ClsFile::GetStartupFolder(startup);
        (void)StartMenuFolder(startup, programs); // a part of a 260-byte path always fits
        AddShortcut(paths_.shortcutTarget, programs, record.ProductName, *log, reporter_);
        alsoPlaced.push_back(std::string(programs) + "\\" + record.ProductName + ".lnk");
    }
    (void)log->Finish(paths_.installFolder);

    reporter_.Step(Phase::Log);
    // The log folder lies below the install folder's parent; without it the
    // log stays in that parent.
    const bool installed = input_.machine.kind(input_.installFolder) == PathKind::Folder;
    const std::string parent = full(JoinFolder(installed ? input_.installFolder : request_.programDir, ".."));
    const std::string logFolder = full(FullPathOf(paths_.logFolder, parent, input_.machine));
    const bool inLogFolder = input_.machine.kind(logFolder) == PathKind::Folder;
    InstallOutcome outcome;
    outcome.logFolder = inLogFolder ? logFolder : parent;
    WriteLog(*log, product_.manifestKey, outcome.logFolder, inLogFolder, request_.scope, reporter_);
    alsoPlaced.push_back(JoinFolder(outcome.logFolder, sys::kLogName));
    DropSetAside();
    RemoveStale(alsoPlaced);
    reporter_.Pause(kEntryPause);

    reporter_.Step(Phase::Done, done_, total_);
    if (closeTried_)
        restartManager_.Restart();
    outcome.replacedAtRestart = replacedAtRestart_;
    outcome.succeeded = true;
    outcome.payloadSize = plan_.payloadSize;
    outcome.baseFolder = paths_.baseFolder;
    outcome.plan = std::move(plan_);
    return outcome;
}

} // namespace

ProductValues BuiltProduct(const SetupRecord& record)
{
    ProductValues product;
    product.record = record;
    product.manifestKey = kManifestKey;
    product.payloadKey = kPayloadKey;
    unsigned char digest[kPayloadStampDigestSize];
    if (PayloadStampDigest(digest)) // a program made without a stamp checks nothing
        product.payloadDigest.assign(digest, digest + sizeof digest);
    product.displayVersion = kDisplayVersion;
    product.publisher = kPublisher;
    product.urlInfoAbout = kUrlInfoAbout;
    return product;
}

std::string Megabytes(uint64_t bytes)
{
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

uint32_t FailureExitCode(const InstallFailure& failure)
{
    if (failure.step == InstallStep::FilesInUse)
        return config::kExitFilesInUse;
    return failure.step == InstallStep::DiskFull || failure.step == InstallStep::Space ? config::kExitDiskFull
                                                                                       : config::kExitFailed;
}

void DefaultBaseFolder(char* out, Scope scope)
{
    if (scope == Scope::User) {
        sys::GetSpecialFolder(CSIDL_LOCAL_APPDATA, out);
        static constexpr char kPrograms[] = "\\Programs";
        const std::size_t length = std::strlen(out);
        if (length > 0 && length + sizeof kPrograms <= kPathSize) {
            std::memcpy(out + length, kPrograms, sizeof kPrograms);
            return;
        }
        out[0] = '\0'; // no such folder: the machine's default, which the user may change
    }
    static constexpr char kProgramFiles[] = "C:\\Program Files";
    static constexpr char kRoot[] = "C:\\";
    static_assert(sizeof kProgramFiles <= kPathSize);
    std::memcpy(out, kProgramFiles, sizeof kProgramFiles);
    const DWORD attributes = GetFileAttributesA(out);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;
    // The shell is asked only when it does not exist.
    (void)ClsFile::GetProgramFilesFolder(out);
    if (out[0] == '\0')
        std::memcpy(out, kRoot, sizeof kRoot);
}

InstallOutcome RunInstallation(const InstallRequest& request, const InstallSink& sink)
{
    const Reporter reporter(sink);
    return Installation(request, reporter).Run();
}

namespace {

InstalledProduct FindInScope(const SetupRecord& record, Scope scope)
{
    InstalledProduct product;
    char first[kPathSize];
    char key[kPathSize];
    char location[kPathSize];
    char version[kPathSize];
    char logFolder[kPathSize];
    const int32_t root = UninstallRootOf(scope);
    if (!FirstComponent(record.ProductFolder, first) || first[0] == '\0' || !UninstallKey(first, key)
        || !LogFolderFromParent(record.ProductFolder, logFolder)
        || !ClsRegist::ReadString(root, key, "InstallLocation", location, sizeof location))
        return product;
    (void)ClsRegist::ReadString(root, key, "DisplayVersion", version, sizeof version);
    // The install folder is the base folder, "\" and the first component.
    const std::string install = location;
    const std::size_t tail = std::strlen(first) + 1;
    if (install.size() <= tail || install.compare(install.size() - tail, tail, std::string("\\") + first) != 0)
        return product;
    const std::string base = install.substr(0, install.size() - tail);
    const std::string log = base + "\\" + logFolder + "\\" + sys::kLogName;
    const DWORD attributes = GetFileAttributesA(log.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return product; // the entry outlived its folder
    product.installed = true;
    product.installFolder = install;
    product.baseFolder = base;
    product.version = version;
    product.scope = scope;
    return product;
}

} // namespace

InstalledProduct FindInstalledProduct(const SetupRecord& record)
{
    // The user's key is the same in both registry views; the machine's is
    // this build's.
    const InstalledProduct machine = FindInScope(record, Scope::Machine);
    return machine.installed ? machine : FindInScope(record, Scope::User);
}

bool IsInstalledFolder(const SetupRecord& record, const char* folderText, const InstalledProduct& installed)
{
    char first[kPathSize];
    char install[kPathSize];
    return installed.installed && FirstComponent(record.ProductFolder, first)
        && InstallFolder(folderText, first, install) && sys::LiesWithin(install, installed.installFolder.c_str())
        && sys::LiesWithin(installed.installFolder.c_str(), install);
}

} // namespace install

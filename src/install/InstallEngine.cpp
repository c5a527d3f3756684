#include "install/InstallEngine.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "config/CommandLine.h"
#include "config/ProductData.h"
#include "install/ClsUninstall.h"
#include "install/InstallLog.h"
#include "install/InstallPaths.h"
#include "install/InstalledFiles.h"
#include "install/MachineStorage.h"
#include "install/ProductVersion.h"
#include "install/Manifest.h"
#include "install/Transaction.h"
#include "package/CabinetExtractor.h"
#include "package/ClsSecurity.h"
#include "package/PayloadDigests.h"
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
    facts.kind = KindOf;
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

// Setup failed and changed nothing (what it had changed is back).
InstallOutcome Fail(InstallFailure failure, const Reporter& reporter)
{
    InstallOutcome outcome;
    outcome.failure = std::move(failure);
    outcome.ending = reporter.SetupFailed(outcome.failure);
    return outcome;
}

InstallFailure ExtractionFailure(const package::ExtractReport& report)
{
    return { report.problem == package::ExtractProblem::DiskFull ? InstallStep::DiskFull : InstallStep::Payload,
        report.detail, report.overwritten, report.error, report.path, {}, 0, 0 };
}

InstallFailure StepFailure(InstallStep step, const std::string& detail, uint32_t error, const std::string& path)
{
    return { step, detail + " (error " + std::to_string(error) + ")", {}, error, path, {}, 0, 0 };
}

// A file written through the transaction is durable before the commit.
void Flushed(const std::string& path, const Reporter& reporter, int& count)
{
    if (const uint32_t error = FlushFile(path.c_str()); error != ERROR_SUCCESS)
        reporter.Note("could not flush " + path + " (error " + std::to_string(error) + ")");
    ++count;
}

void AddShortcut(const char* target, const char* linkFolder, const char* productName, InstallLog& log,
    const Reporter& reporter, int& flushed)
{
    if (linkFolder[0] == '\0')
        return; // the system names no such folder: nothing to place
    (void)ClsFile::CreateShortcut(target, linkFolder, productName); // logged whatever became of it
    (void)log.AddShortcut(linkFolder, productName);
    const std::string link = std::string(linkFolder) + "\\" + productName + ".lnk";
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Flushed(link, reporter, flushed);
        reporter.Placed(link);
    } else {
        reporter.Note("the shortcut " + link + " could not be created");
    }
}

// A registry string as the wide calls store it.
RegistryValue TextValue(const char* name, const std::string& text)
{
    const std::wstring wide = sys::FromAnsi(text.c_str());
    return { name, REG_SZ,
        std::string(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t)) };
}

RegistryValue NumberValue(const char* name, uint32_t number)
{
    return { name, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number) };
}

// The uninstall entry: the name and the command as they always were, then
// what the system's list of programs shows beside them. A value this
// version lacks goes: an earlier installation's stays no longer than the
// version that wrote it.
void EntryValues(const Paths& paths, const ProductValues& product, uint64_t payloadSize,
    std::vector<RegistryValue>& set, std::vector<std::string>& remove)
{
    set = { TextValue("DisplayName", product.record.ProductName), TextValue("UninstallString", paths.uninstallValue),
        TextValue("QuietUninstallString", std::string("\"") + paths.uninstallCommand + "\" /S"),
        TextValue("InstallLocation", paths.installFolder), TextValue("DisplayIcon", paths.shortcutTarget),
        NumberValue(
            "EstimatedSize", static_cast<uint32_t>(std::min<uint64_t>((payloadSize + 1023) / 1024, UINT32_MAX))),
        NumberValue("NoModify", 1), NumberValue("NoRepair", 1) };
    const std::pair<const char*, const std::string*> optional[] = { { "DisplayVersion", &product.displayVersion },
        { "Publisher", &product.publisher }, { "URLInfoAbout", &product.urlInfoAbout } };
    for (const auto& [name, text] : optional) {
        if (!text->empty())
            set.push_back(TextValue(name, *text));
        else
            remove.push_back(name);
    }
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

// Folders that do not exist yet on the way to `folder`, parents first, and
// `folder` itself when it is missing.
std::vector<std::string> MissingFolders(const std::string& folder, const MachineFacts& facts)
{
    std::vector<std::string> missing;
    for (std::string at = folder; !at.empty() && facts.kind(at) == PathKind::None;) {
        missing.insert(missing.begin(), at);
        const std::ptrdiff_t separator = sys::LastSeparator(at.c_str());
        if (separator <= 0 || static_cast<std::size_t>(separator) + 1 == at.size()
            || at[static_cast<std::size_t>(separator) - 1] == ':')
            break; // a root stays
        at.resize(static_cast<std::size_t>(separator));
    }
    return missing;
}

std::string Listed(const std::vector<std::string>& files)
{
    std::string text;
    for (const std::string& file : files)
        text += (text.empty() ? "" : ", ") + file;
    return text;
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
        , storage_(MachineStorage(request.scope == Scope::Machine))
    {
    }
    // A run left by an error it did not expect is undone, or finished when
    // it had committed.
    ~Installation() { End(); }

    InstallOutcome Run();

private:
    bool ReadManifest(InstallFailure& failure);
    // A file of the payload, read into memory: false, with failure, when the
    // payload cannot be read.
    bool ReadPayloadFile(int file, std::string& bytes, InstallFailure& failure);
    bool ReadDigests(InstallFailure& failure);
    void FindInPlace();
    bool InPlaceAt(const std::string& path) const;
    bool StaysOutOfTheWindowsFolder(InstallFailure& failure) const;
    InstallOutcome Extract();
    bool SettleHeldFiles(std::vector<std::string>& held, package::ExtractJob& job, InstallFailure& failure);
    bool Begin(package::ExtractJob& job, const std::vector<std::string>& held, InstallFailure& failure);
    std::vector<std::string> ExistingTargets(const package::ExtractJob& job) const;
    bool JudgeInstallFolder(std::vector<std::string>& missing, InstallFailure& failure) const;
    bool RefuseUnprotectedTargets(const std::vector<std::string>& targets, InstallFailure& failure) const;
    void CollectStale(std::vector<std::string>& files);
    void SetAsideForStagedCopy(std::size_t entry);
    // The shortcuts chosen, as full paths.
    std::vector<std::string> ShortcutPaths() const;
    void PlaceEntries(InstallLog& log);
    InstallOutcome Failed(InstallFailure failure);
    void End();
    // Where the install log goes: true for the log folder, false for the
    // install folder's parent, where it goes without one.
    bool LogFolder(std::string& folder) const;

    const InstallRequest& request_;
    const ProductValues& product_;
    const Reporter& reporter_;
    const Storage storage_;
    std::unique_ptr<Transaction> tx_;
    Paths paths_ {};
    PlanInput input_;
    InstallPlan plan_;
    package::PayloadCabinet cabinet_;
    package::ExtractReport extracted_;
    std::vector<char> manifest_;
    package::PayloadDigests digests_; // empty: the payload has no list of digests
    // Over an installation in the same folder: the targets (path keys) whose
    // files are the new version's already, or kept as the user changed them.
    std::set<std::string> inPlace_;
    // The machine's: existing targets judged on the handle they were read
    // through.
    std::map<std::string, sys::Protection> judged_;
    int inPlaceCount_ = 0;
    int keptCount_ = 0;
    int writtenCount_ = 0;
    bool repair_ = false;
    ManifestEntry entries_[kManifestMaxEntries];
    // The installation this one replaces in the same folder, read before
    // anything is written.
    ClsUninstall previous_;
    bool installedHere_ = false; // the product is installed in this folder
    bool replaces_ = false; // and its log was read
    // What the earlier installation has and this one lacks, set aside until
    // the commit, and its folders, removed after it when empty.
    std::vector<std::string> stale_;
    std::vector<std::string> staleFolders_;
    sys::RestartManager restartManager_;
    bool closeTried_ = false;
    // Held files: the new version's fresh name in the transaction's folder,
    // and the file it replaces when Windows restarts.
    std::vector<PendingRename> atRestart_;
    std::vector<std::string> replacedAtRestart_;
    int flushedFiles_ = 0; // the extraction's, the copies', the shortcuts', the log
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
    if (!ReadPayloadFile(input_.manifestFile, bytes, failure))
        return false;
    manifest_.assign(bytes.begin(), bytes.end());
    (void)ClsSecurity::Unscramble(manifest_.data(), static_cast<int32_t>(manifest_.size()), product_.manifestKey);
    const ManifestSplit split = SplitManifest(manifest_.data(), static_cast<int32_t>(manifest_.size()), entries_);
    input_.manifestText = manifest_.data();
    input_.entries = entries_;
    input_.entryCount = split.Count;
    return true;
}

// A failure before the commit: everything this run changed goes back.
InstallOutcome Installation::Failed(InstallFailure failure)
{
    if (tx_ && !tx_->Committed()) {
        std::vector<TxLeft> left;
        tx_->RollBack(left);
        for (const TxLeft& item : left)
            reporter_.StepFailed(
                "could not be put back as it was: " + item.path + " (error " + std::to_string(item.error) + ")");
        tx_.reset();
    }
    return Fail(std::move(failure), reporter_);
}

void Installation::End()
{
    if (!tx_)
        return;
    std::vector<TxLeft> left;
    if (tx_->Committed())
        tx_->Finish(left);
    else
        tx_->RollBack(left);
    tx_.reset();
}

bool Installation::ReadPayloadFile(int file, std::string& bytes, InstallFailure& failure)
{
    package::ExtractJob job;
    job.outputs.assign(input_.files.size(), std::string());
    job.memoryFile = file;
    job.memory = &bytes;
    job.maxWorkers = 1;
    job.pump = [this] { reporter_.Pump(); };
    const package::ExtractReport report = cabinet_.Extract(job);
    if (report.problem == package::ExtractProblem::None)
        return true;
    failure = { InstallStep::Payload, report.detail, {}, report.error, report.path, {}, 0, 0 };
    return false;
}

// The payload's list of its files' digests, beside the manifest; a payload
// without one, or with one that is no such list, has every file written.
bool Installation::ReadDigests(InstallFailure& failure)
{
    const std::string key = sys::PathKey(JoinFolder(input_.stagingFolder, package::kDigestsName), sys::kAnsiPaths);
    int found = -1;
    for (std::size_t i = 0; i < input_.files.size(); ++i)
        if (sys::PathKey(JoinFolder(input_.baseFolder, input_.files[i].name), sys::kAnsiPaths) == key)
            found = static_cast<int>(i);
    if (found < 0 || input_.files[static_cast<std::size_t>(found)].size > (64u << 20))
        return true;
    std::string bytes;
    if (!ReadPayloadFile(found, bytes, failure))
        return false;
    if (!package::ReadDigests(bytes, digests_))
        reporter_.Note("the payload's list of digests is damaged: every file is written");
    return true;
}

bool Installation::InPlaceAt(const std::string& path) const
{
    return !inPlace_.empty() && inPlace_.count(sys::PathKey(path, sys::kAnsiPaths)) != 0;
}

// Over an installation in the same folder, every file the plan writes over
// is looked at (and hashed, where its size is the new version's) before
// anything is written: one that is the new version's already stays as it is
// (its time too), and is neither set aside nor written. A staged plan, or a
// payload without a list of digests, writes every file.
void Installation::FindInPlace()
{
    if (!replaces_ || plan_.mode != PlanMode::Direct || digests_.empty())
        return;
    // Each target that exists, with the payload file it would receive.
    std::vector<std::string> paths;
    std::vector<PayloadFile> payloads;
    std::map<std::string, int> fileOf; // a write's path, its payload file
    for (const PlannedWrite& write : plan_.writes)
        fileOf[write.path] = write.file;
    const auto candidate = [&](const std::string& path, int file) {
        const PayloadFileInfo& info = input_.files[static_cast<std::size_t>(file)];
        const auto digest = digests_.find(info.name);
        if (digest == digests_.end() || digest->second.size != info.size)
            return;
        const CabinetFileEntry& entry = cabinet_.Table().files[static_cast<std::size_t>(file)];
        FILETIME local {};
        FILETIME utc {};
        uint64_t time = 0;
        if (DosDateTimeToFileTime(entry.date, entry.time, &local) && LocalFileTimeToFileTime(&local, &utc))
            time = (static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
        paths.push_back(path);
        payloads.push_back({ digest->second, info.attributes, time });
    };
    for (const PlannedWrite& write : plan_.writes)
        if (write.existed)
            candidate(write.path, write.file);
    for (const PlannedCopy& copy : plan_.copies)
        if (copy.existed && fileOf.count(copy.from) != 0)
            candidate(copy.to, fileOf.at(copy.from));
    if (paths.empty())
        return;
    uint64_t toHash = 0;
    std::vector<sys::Protection> protections(paths.size(), sys::Protection::Unreadable);
    std::function<void(std::size_t, HANDLE)> judge;
    if (request_.scope == Scope::Machine)
        judge = [&protections, account = sys::RunningAccount()](std::size_t i, HANDLE file) {
            protections[i] = sys::JudgeHandle(file, sys::TrustScope::Machine, account);
        };
    const std::vector<InstalledFile> installed = ReadInstalledFiles(
        paths,
        [&](std::size_t i, const InstalledFile& facts) {
            const bool hash = WorthHashing(payloads[i], facts);
            toHash += hash ? facts.size : 0;
            return hash;
        },
        [this] { reporter_.Pump(); },
        [this, &toHash](uint64_t hashed) { reporter_.Step(Phase::Checking, hashed, total_ + toHash); }, judge);
    for (std::size_t i = 0; judge && i < paths.size(); ++i)
        if (protections[i] != sys::Protection::Unreadable)
            judged_[paths[i]] = protections[i];
    done_ = toHash;
    total_ += toHash;
    std::vector<InPlace> judged(paths.size());
    std::map<std::string, std::size_t> at;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        judged[i] = JudgeInPlace(payloads[i], installed[i], repair_);
        at[paths[i]] = i;
    }
    // A copy written from a file the user changed would spread the change:
    // that file is put back too.
    for (const PlannedCopy& copy : plan_.copies) {
        const auto target = at.find(copy.to);
        const auto source = at.find(copy.from);
        if (source != at.end() && judged[source->second] == InPlace::KeptChanged
            && (target == at.end() || judged[target->second] == InPlace::Write))
            judged[source->second] = InPlace::Write;
    }
    uint64_t bytes = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (judged[i] == InPlace::Write)
            continue;
        inPlace_.insert(sys::PathKey(paths[i], sys::kAnsiPaths));
        ++(judged[i] == InPlace::Same ? inPlaceCount_ : keptCount_);
        bytes += installed[i].size;
        if (judged[i] == InPlace::KeptChanged)
            reporter_.Note("kept as the user changed it: " + paths[i]);
    }
    reporter_.Note("in place already: " + std::to_string(inPlaceCount_) + " files (" + Megabytes(bytes) + ") of "
        + std::to_string(paths.size()) + " there before");
}

// The payload's files to their places: straight there when the plan is
// direct, else into the base folder as they lie in the payload. Before
// anything is written the transaction begins and sets aside what is
// replaced.
InstallOutcome Installation::Extract()
{
    package::ExtractJob job;
    if (plan_.mode == PlanMode::Direct) {
        job.outputs.assign(input_.files.size(), std::string());
        job.asCopy.assign(input_.files.size(), false);
        for (const PlannedWrite& write : plan_.writes) {
            if (write.existed && InPlaceAt(write.path))
                continue; // a cabinet folder with nothing to write is not decoded
            job.outputs[static_cast<std::size_t>(write.file)] = write.path;
            job.asCopy[static_cast<std::size_t>(write.file)] = write.asCopy;
            if (std::find(plan_.scratch.begin(), plan_.scratch.end(), write.path) == plan_.scratch.end())
                ++writtenCount_; // a scratch file is only the source of copies
        }
        job.folders = plan_.folders;
    } else {
        extracted_ = cabinet_.PlaceBelow(JoinFolder(input_.baseFolder, ""), job);
        if (extracted_.problem != package::ExtractProblem::None)
            return Fail(ExtractionFailure(extracted_), reporter_);
    }
    job.pump = [this] { reporter_.Pump(); };
    const uint64_t checked = done_;
    job.progress = [this, checked](uint64_t done, uint64_t, const std::string& item) {
        done_ = checked + done;
        reporter_.Step(Phase::Unpacking, done_, total_, item);
    };
    job.flush = true;
    InstallFailure failure;
    std::vector<std::string> held;
    if (request_.scope == Scope::Machine && !RefuseUnprotectedTargets(ExistingTargets(job), failure))
        return Fail(std::move(failure), reporter_);
    if (!SettleHeldFiles(held, job, failure))
        return Fail(std::move(failure), reporter_);
    if (!Begin(job, held, failure))
        return Failed(std::move(failure));
    extracted_ = cabinet_.Extract(job);
    if (extracted_.problem != package::ExtractProblem::None) {
        extracted_.overwritten.clear(); // set aside: they are back
        return Failed(ExtractionFailure(extracted_));
    }
    for (const std::string& output : job.outputs)
        flushedFiles_ += output.empty() ? 0 : 1;
    InstallOutcome outcome;
    outcome.succeeded = true;
    return outcome;
}

// Before anything is written: files that programs hold are let go (the user
// closes the programs, or they are asked to close), or the installation is
// cancelled, or (the machine's installations, silently) each such file's new
// version is written aside to take its place at the restart: `held`.
bool Installation::SettleHeldFiles(std::vector<std::string>& held, package::ExtractJob& job, InstallFailure& failure)
{
    // Every file there before is registered with Restart Manager, which names
    // the programs using any of them; the probe finds the files a program
    // holds (open without sharing, a running program's image, a module).
    std::vector<std::string> targets;
    for (const std::string& path : ExistingTargets(job))
        if (!path.empty() && !InPlaceAt(path) && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            targets.push_back(path);
    if (targets.empty())
        return true;
    const std::vector<uint32_t> ours = { GetCurrentProcessId() };
    (void)restartManager_.Register(targets);
    InUseSteps steps;
    steps.look = [&](const std::vector<std::string>& now) {
        return InUse { sys::HeldFiles(now), restartManager_.Holders(ours) };
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
    const bool restartAllowed = request_.scope == Scope::Machine;
    const InUseOutcome settled = SettleInUse(InUse { sys::HeldFiles(targets), restartManager_.Holders(ours) },
        request_.closeApplications, steps, restartAllowed);
    closeTried_ = settled.closeTried;
    if (settled.cancelled) {
        failure = { InstallStep::FilesInUse,
            std::string(reporter_.Sink().filesInUse || restartAllowed
                    ? "cancelled: programs hold "
                    : "a user's own installation cannot replace files at the restart: programs hold ")
                + (lastHeld.empty() ? std::string("files of the installation") : Listed(lastHeld)),
            {}, ERROR_SHARING_VIOLATION, lastHeld.empty() ? targets.front() : lastHeld.front(), {}, 0, 0 };
        return false;
    }
    held = settled.atRestart;
    return true;
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
// (`missing`, parents first) are made by the transaction with Program Files'
// protection from their first moment, before anything is written.
bool Installation::JudgeInstallFolder(std::vector<std::string>& missing, InstallFailure& failure) const
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
    missing = judgement.missing;
    return true;
}

// A file that is there already keeps its access list when it is written
// over: for the machine, one that others could change is refused.
bool Installation::RefuseUnprotectedTargets(const std::vector<std::string>& targets, InstallFailure& failure) const
{
    const sys::Account account = sys::RunningAccount();
    for (const std::string& path : targets) {
        if (path.empty())
            continue;
        const auto read = judged_.find(path);
        if (read == judged_.end() && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        const sys::Protection protection = read != judged_.end()
            ? read->second
            : sys::JudgePath(path.c_str(), sys::TrustScope::Machine, account);
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

// What the earlier installation's log names and this one does not place,
// judged as the uninstaller judges that log: set aside before the commit, so
// that an upgrade leaves no file of the version it replaces that it does not
// have itself.
void Installation::CollectStale(std::vector<std::string>& files)
{
    if (!replaces_)
        return;
    if (plan_.mode == PlanMode::Staged) {
        reporter_.Note("the earlier installation's files that this one lacks stay: its copies were not planned");
        return;
    }
    // Long names, as the uninstaller's judgement has them: a folder's once
    // (the names below it are the payload's own, as they were written).
    std::map<std::string, std::string> folders;
    const auto canonical = [&folders](const std::string& path) {
        const std::size_t slash = path.find_last_of('\\');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
        auto known = folders.find(folder);
        if (known == folders.end()) {
            char longPath[kTargetPathCapacity];
            const DWORD length = GetLongPathNameA(folder.c_str(), longPath, sizeof longPath);
            known = folders.emplace(folder, length > 0 && length < sizeof longPath ? std::string(longPath, length) : folder)
                        .first;
        }
        return slash == std::string::npos ? path : known->second + path.substr(slash);
    };
    PlacedPaths placed(sys::kAnsiPaths);
    for (const PlannedWrite& write : plan_.writes)
        placed.Add(canonical(write.path));
    for (const PlannedCopy& copy : plan_.copies)
        placed.Add(canonical(copy.to));
    for (const std::string& folder : plan_.folders)
        placed.Add(canonical(folder));
    for (const std::string& scratch : plan_.scratch)
        placed.Remove(scratch);
    // The shortcuts this one makes, and the log, which the commit replaces.
    for (const std::string& link : ShortcutPaths())
        placed.Add(canonical(link));
    placed.Add(previous_.LogPath());
    ClsUninstall::Stale stale;
    previous_.CollectStale(placed, stale);
    for (const ClsUninstall::Remaining& left : stale.kept)
        reporter_.Note(
            "left from the earlier installation: " + left.path + " (error " + std::to_string(left.error) + ")");
    stale_ = stale.files;
    staleFolders_ = stale.folders;
    files.insert(files.end(), stale_.begin(), stale_.end());
}

// The transaction's beginning, before the first write: the restart's earlier
// work settled, the journal, what is replaced and what the earlier version
// has that this one lacks set aside, what will be written announced.
bool Installation::Begin(package::ExtractJob& job, const std::vector<std::string>& held, InstallFailure& failure)
{
    std::vector<std::string> replaced;
    std::vector<std::string> created;
    const auto isHeld
        = [&held](const std::string& path) { return std::find(held.begin(), held.end(), path) != held.end(); };
    const auto add = [&](const std::string& path, bool existed) {
        if (!path.empty() && !isHeld(path) && !(existed && InPlaceAt(path)))
            (existed ? replaced : created).push_back(path);
    };
    if (plan_.mode == PlanMode::Direct) {
        for (const PlannedWrite& write : plan_.writes)
            add(write.path, write.existed);
        for (const PlannedCopy& copy : plan_.copies)
            add(copy.to, copy.existed);
    } else {
        for (const std::string& output : job.outputs)
            add(output, input_.machine.kind(output) == PathKind::File);
    }
    const std::vector<std::string> links = ShortcutPaths();
    for (const std::string& link : links)
        add(link, input_.machine.kind(link) != PathKind::None);
    const std::size_t replacedCount = replaced.size();
    CollectStale(replaced);

    std::vector<std::string> targets = replaced;
    targets.insert(targets.end(), created.begin(), created.end());
    targets.insert(targets.end(), held.begin(), held.end());
    const RestartCheck check = CheckPendingRenames(storage_, input_.installFolder, targets, sys::kAnsiPaths);
    for (const std::string& settled : check.settled)
        reporter_.Note("an earlier run's work for the restart is dropped: " + settled);
    if (!check.blocking.empty()) {
        const PendingRename& first = check.blocking.front();
        failure = { InstallStep::RestartPending,
            "Windows must restart first: it has work left for " + first.source
                + (first.target.empty() ? std::string() : " -> " + first.target),
            {}, 0, first.target.empty() ? first.source : first.target, {}, 0, 0 };
        return false;
    }

    std::vector<std::string> missing;
    if (request_.scope == Scope::Machine) {
        if (!JudgeInstallFolder(missing, failure))
            return false;
    } else {
        missing = MissingFolders(input_.installFolder, input_.machine);
    }
    char key[kPathSize] = {};
    (void)UninstallKey(paths_.firstComponent, key);
    tx_ = std::make_unique<Transaction>(storage_, request_.scope, paths_.firstComponent);
    if (const uint32_t error = tx_->Begin({ TxKind::Install, input_.installFolder, {}, key, missing, {} });
        error != ERROR_SUCCESS) {
        tx_.reset();
        failure = StepFailure(
            InstallStep::Transaction, "the installation's journal could not be begun", error, input_.installFolder);
        return false;
    }
    if (!missing.empty()) {
        // One that appeared meanwhile is judged as any other.
        if (request_.scope == Scope::Machine
            && sys::JudgePath(input_.installFolder.c_str(), sys::TrustScope::Machine) != sys::Protection::Protected) {
            failure = { InstallStep::Unprotected,
                "the install folder " + input_.installFolder + " could not be given the protection of Program Files",
                {}, ERROR_ACCESS_DENIED, input_.installFolder, {}, 0, 0 };
            return false;
        }
        reporter_.Note(
            std::string(request_.scope == Scope::Machine ? "made with the protection of Program Files: " : "made: ")
            + missing.front());
    }
    std::vector<uint32_t> errors;
    if (tx_->SetAside(replaced, errors, plan_.mode == PlanMode::Direct) > 0) {
        for (std::size_t i = 0; i < replacedCount; ++i)
            if (errors[i] != ERROR_SUCCESS) {
                failure = { InstallStep::InUse,
                    "the installed file " + replaced[i] + " could not be set aside to be replaced (error "
                        + std::to_string(errors[i]) + "); nothing was changed",
                    {}, errors[i], replaced[i], {}, 0, 0 };
                return false;
            }
        for (std::size_t i = replacedCount; i < replaced.size(); ++i)
            if (errors[i] != ERROR_SUCCESS) {
                reporter_.Note("left from the earlier installation: " + replaced[i] + " (error "
                    + std::to_string(errors[i]) + ")");
                stale_.erase(std::find(stale_.begin(), stale_.end(), replaced[i]));
            }
    }
    if (replacedCount > 0)
        reporter_.Note("set aside until the new version is whole: " + std::to_string(replacedCount) + " files");
    // A held file's new version goes to a fresh name, to take its place at the restart.
    for (const std::string& path : held) {
        const std::string fresh = tx_->FreshName();
        for (std::string& output : job.outputs)
            if (output == path)
                output = fresh;
        for (PlannedCopy& copy : plan_.copies)
            if (copy.to == path)
                copy.to = fresh;
        atRestart_.push_back({ fresh, path });
    }
    // A folder set aside whole is made again, with what it holds.
    if (plan_.mode == PlanMode::Direct) {
        std::set<std::string> listed(job.folders.begin(), job.folders.end());
        const auto addParents = [&](const std::string& path) {
            for (std::ptrdiff_t at = sys::LastSeparatorIn(path, sys::AnsiLead); at > 0;) {
                const std::string folder = path.substr(0, static_cast<std::size_t>(at));
                if (listed.count(folder) != 0 || input_.machine.kind(folder) != PathKind::None)
                    break;
                listed.insert(folder);
                job.folders.push_back(folder);
                at = sys::LastSeparatorIn(folder, sys::AnsiLead);
            }
        };
        for (const std::string& output : job.outputs)
            if (!output.empty())
                addParents(output);
        for (const PlannedCopy& copy : plan_.copies)
            addParents(copy.to);
        // Parents first: a folder is shorter than what it holds.
        std::stable_sort(job.folders.begin(), job.folders.end(),
            [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    }
    std::vector<std::string> folders;
    for (const std::string& folder : job.folders)
        if (input_.machine.kind(folder) == PathKind::None)
            folders.push_back(folder);
    if (const uint32_t error = tx_->IntendCreate(created, folders); error != ERROR_SUCCESS) {
        failure = StepFailure(
            InstallStep::Transaction, "the installation's journal could not be written", error, input_.installFolder);
        return false;
    }
    return true;
}

std::vector<std::string> Installation::ShortcutPaths() const
{
    std::vector<std::string> links;
    const std::string name = std::string("\\") + product_.record.ProductName + ".lnk";
    char folder[kPathSize] = {};
    if (request_.desktopShortcut && ClsFile::GetDesktopFolder(folder) && folder[0] != '\0')
        links.push_back(folder + name);
    char startup[kPathSize] = {};
    if (request_.startMenuEntry && ClsFile::GetStartupFolder(startup) && StartMenuFolder(startup, folder)
        && folder[0] != '\0')
        links.push_back(folder + name);
    return links;
}

// A staged installation learns what an entry writes only once the payload is
// in the staging folder: its targets are set aside, or announced, before the
// entry is copied.
void Installation::SetAsideForStagedCopy(std::size_t index)
{
    const EntryPlan& entry = plan_.entries[index];
    std::vector<std::string> replaced;
    std::vector<std::string> created;
    std::vector<std::string> folders;
    // What the extraction wrote into the staging folder is this run's own
    // already (and may be the entry's source).
    const auto add = [&](const std::string& target) {
        if (!sys::LiesWithin(target.c_str(), input_.stagingFolder.c_str()))
            (input_.machine.kind(target) == PathKind::File ? replaced : created).push_back(target);
    };
    if (!entry.folder) {
        add(entry.fullTarget);
    } else {
        std::string source = entries_[index].Source;
        source.pop_back();
        const std::string from
            = source.empty() ? std::string() : FullPathOf(source, input_.stagingFolder, input_.machine);
        const std::string to = WithoutTrailingSeparators(entry.fullTarget, sys::AnsiLead);
        std::vector<std::string> walk { std::string() };
        if (!from.empty() && input_.machine.kind(to) == PathKind::None)
            folders.push_back(to);
        while (!from.empty() && !walk.empty()) {
            const std::string relative = walk.back();
            walk.pop_back();
            for (const std::string& name : storage_.names(relative.empty() ? from : from + "\\" + relative)) {
                const std::string inner = relative.empty() ? name : relative + "\\" + name;
                if (storage_.kind(from + "\\" + inner) == PathKind::Folder) {
                    if (input_.machine.kind(to + "\\" + inner) == PathKind::None)
                        folders.push_back(to + "\\" + inner);
                    walk.push_back(inner);
                } else {
                    add(to + "\\" + inner);
                }
            }
        }
    }
    std::vector<uint32_t> errors;
    (void)tx_->SetAside(replaced, errors); // one that stays fails its copy, which tells
    (void)tx_->IntendCreate(created, folders); // a journal that cannot be written stops at the commit
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
            SetAsideForStagedCopy(i);
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
                if (copy->existed && InPlaceAt(copy->to))
                    continue; // the new version's already: checked, counted in the total
                ++writtenCount_;
                if (CopyFileA(copy->from.c_str(), copy->to.c_str(), FALSE) == 0) {
                    const DWORD error = GetLastError();
                    outcome.Met(copy->step, { entry.logTarget, entry.folder ? copy->to : entry.fullTarget, error });
                } else {
                    Flushed(copy->to, reporter_, flushedFiles_);
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

bool Installation::LogFolder(std::string& folder) const
{
    const auto full = [this](const std::string& text) {
        return WithoutTrailingSeparators(FullPathOf(text, request_.programDir, input_.machine), sys::AnsiLead);
    };
    const bool installed = input_.machine.kind(input_.installFolder) == PathKind::Folder;
    const std::string parent = full(JoinFolder(installed ? input_.installFolder : request_.programDir, ".."));
    const std::string logFolder = full(FullPathOf(paths_.logFolder, parent, input_.machine));
    const bool inLogFolder = input_.machine.kind(logFolder) == PathKind::Folder;
    folder = inLogFolder ? logFolder : parent;
    return inLogFolder;
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
        return Fail(ExtractionFailure(opened), reporter_);
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
    const InstalledProduct earlier = FindInstalledProduct(record);
    installedHere_ = IsInstalledFolder(record, request_.folderText.c_str(), earlier);
    replaces_ = installedHere_
        && previous_.Prepare(JoinFolder(earlier.installFolder, "uninstall.exe").c_str()) == ClsUninstall::State::Ready;
    repair_ = replaces_ && CompareVersions(earlier.version, product_.displayVersion) == 0;
    if (replaces_ && !ReadDigests(failure))
        return Fail(std::move(failure), reporter_);
    FindInPlace();
    // What is written, and the space it takes: not what is in place already.
    InstallPlan written = plan_;
    std::erase_if(written.writes, [this](const PlannedWrite& write) { return write.existed && InPlaceAt(write.path); });
    std::erase_if(written.copies, [this](const PlannedCopy& copy) { return copy.existed && InPlaceAt(copy.to); });
    if (!CheckSpace(written, input_, failure))
        return Fail(std::move(failure), reporter_);
    if (plan_.mode == PlanMode::Staged) {
        for (const PayloadFileInfo& file : input_.files)
            total_ += file.size;
    } else {
        for (const PlannedWrite& write : written.writes)
            total_ += input_.files[static_cast<std::size_t>(write.file)].size;
        for (const PlannedCopy& copy : written.copies)
            total_ += copy.size;
    }
    reporter_.Step(Phase::Unpacking, done_, total_);

    InstallOutcome extraction = Extract();
    if (!extraction.succeeded)
        return extraction;
    // The payload's own places; the entries' targets are told with each entry.
    if (plan_.mode == PlanMode::Staged)
        for (const std::string& path : extracted_.placed)
            reporter_.Placed(path);
    for (const PlannedWrite& write : plan_.writes)
        if (write.entry < 0 && std::find(plan_.scratch.begin(), plan_.scratch.end(), write.path) == plan_.scratch.end())
            reporter_.Placed(write.path);
    Protect(input_.installFolder.c_str(), request_.scope, reporter_);

    reporter_.Step(Phase::Registering);
    std::vector<RegistryValue> values;
    std::vector<std::string> removed;
    EntryValues(paths_, product_, plan_.payloadSize, values, removed);
    const std::string entryName
        = (request_.scope == Scope::User ? "HKCU\\" : "HKLM\\") + std::string(paths_.uninstallKey);
    if (const uint32_t error = tx_->WriteEntry(values, removed); error != ERROR_SUCCESS)
        return Failed(StepFailure(InstallStep::Entry, "the uninstall entry could not be written", error, entryName));
    reporter_.Note("the uninstall entry " + entryName);
    auto log = std::make_unique<InstallLog>();
    (void)log->Start(paths_.firstComponent);
    PlaceEntries(*log);
    // The held files' new versions are written: each takes its place at the restart.
    std::vector<PendingRename> renames;
    for (const PendingRename& rename : atRestart_)
        if (GetFileAttributesA(rename.source.c_str()) != INVALID_FILE_ATTRIBUTES) // a failed copy was reported
            renames.push_back(rename);
    std::string heldFailed;
    if (const uint32_t error = tx_->ReplaceAtRestart(renames, heldFailed); error != ERROR_SUCCESS)
        return Failed(StepFailure(InstallStep::Restart,
            "the held file " + heldFailed + " cannot be replaced at the restart", error, heldFailed));
    for (const PendingRename& rename : renames) {
        reporter_.Note("held by a program, replaced when Windows restarts: " + rename.target);
        replacedAtRestart_.push_back(rename.target);
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
    if (request_.desktopShortcut) {
        char desktop[kPathSize] = {};
        (void)ClsFile::GetDesktopFolder(desktop);
        AddShortcut(paths_.shortcutTarget, desktop, record.ProductName, *log, reporter_, flushedFiles_);
    }
    if (request_.startMenuEntry) {
        char startup[kPathSize] = {};
        char programs[kPathSize] = {};
        (void)ClsFile::GetStartupFolder(startup);
        (void)StartMenuFolder(startup, programs); // a part of a 260-byte path always fits
        AddShortcut(paths_.shortcutTarget, programs, record.ProductName, *log, reporter_, flushedFiles_);
    }
    (void)log->Finish(paths_.installFolder);

    reporter_.Step(Phase::Log);
    InstallOutcome outcome;
    // The uninstaller trusts what the log names: its folder must be an
    // administrator's (or this account's), and gets the protection of
    // Program Files; a log that lands elsewhere (no log folder) leaves that
    // folder as it is.
    if (LogFolder(outcome.logFolder)) {
        if (!sys::OwnerIsTrusted(outcome.logFolder.c_str(), TrustScopeOf(request_.scope)))
            return Failed({ InstallStep::Log,
                "the install log cannot be written: its folder " + outcome.logFolder + " belongs to someone else", {},
                ERROR_ACCESS_DENIED, outcome.logFolder, {}, 0, 0 });
        Protect(outcome.logFolder.c_str(), request_.scope, reporter_);
    }
    if (!log->Complete())
        reporter_.StepFailed("the install log could not hold every line: " + std::to_string(log->LeftOut())
            + " left out, which the uninstaller will not remove");
    (void)ClsSecurity::Scramble(log->Data(), log->Length(), product_.manifestKey);
    const std::string logPath = JoinFolder(outcome.logFolder, sys::kLogName);
    if (const uint32_t error
        = tx_->Commit(std::string(log->Text(), static_cast<std::size_t>(log->Length())), logPath, staleFolders_);
        error != ERROR_SUCCESS)
        return Failed(StepFailure(InstallStep::Log, "the install log could not be written", error, logPath));
    reporter_.Placed(logPath);
    reporter_.Note("the transaction: " + std::to_string(tx_->Records()) + " journal records flushed ("
        + std::to_string(tx_->JournalBytes()) + " bytes), " + std::to_string(flushedFiles_)
        + " files flushed before the commit");
    std::vector<TxLeft> left;
    tx_->Finish(left);
    tx_.reset();
    for (const std::string& path : stale_)
        reporter_.Note("removed from the earlier installation: " + path);
    for (const TxLeft& item : left)
        reporter_.StepFailed("the installation could not remove " + item.path + " (error " + std::to_string(item.error)
            + "), which it had set aside");
    reporter_.Pause(kEntryPause);

    reporter_.Step(Phase::Done, done_, total_);
    if (closeTried_)
        restartManager_.Restart();
    outcome.replacedAtRestart = replacedAtRestart_;
    outcome.inPlace = inPlaceCount_;
    outcome.kept = keptCount_;
    outcome.written = writtenCount_;
    outcome.repair = repair_;
    if (repair_)
        reporter_.Note("repair: " + std::to_string(writtenCount_) + " files put back, " + std::to_string(inPlaceCount_)
            + " in place, " + std::to_string(keptCount_) + " kept as the user changed them");
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
    if (failure.step == InstallStep::RestartPending)
        return config::kExitRestartFirst;
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

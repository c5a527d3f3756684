#include "install/Journal.h"

#include <cstring>

#include "package/Sha256.h"

namespace install {

namespace {

constexpr char kMagic[4] = { 'Y', 'N', 'B', 'J' };
constexpr uint32_t kVersion = 1;
constexpr std::size_t kChecksumSize = 8;
// No record a run writes comes near it; a length beyond it is a torn one.
constexpr uint32_t kLargestRecord = 1u << 30;

enum class Record : uint8_t { Begin = 1, SetAside = 2, Create = 3, Restart = 4, Commit = 5, Pointer = 6 };

class Writer {
public:
    void U8(uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
    void U32(uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            U8(static_cast<uint8_t>(value >> shift));
    }
    void Text(const std::string& text)
    {
        U32(static_cast<uint32_t>(text.size()));
        bytes_ += text;
    }
    void Texts(const std::vector<std::string>& texts)
    {
        U32(static_cast<uint32_t>(texts.size()));
        for (const std::string& text : texts)
            Text(text);
    }
    void Key(const RegistryKey& key)
    {
        U8(key.exists ? 1 : 0);
        U32(static_cast<uint32_t>(key.values.size()));
        for (const RegistryValue& value : key.values) {
            Text(value.name);
            U32(value.type);
            Text(value.data);
        }
    }
    void Renames(const std::vector<PendingRename>& renames)
    {
        U32(static_cast<uint32_t>(renames.size()));
        for (const PendingRename& rename : renames) {
            Text(rename.source);
            Text(rename.target);
        }
    }

    const std::string& Bytes() const { return bytes_; }

    // The body framed as a record: length, type, body, checksum.
    std::string Framed(Record type) const
    {
        std::string checked(1, static_cast<char>(type));
        checked += bytes_;
        unsigned char digest[kSha256Size];
        Sha256::Hash(checked.data(), checked.size(), digest);
        Writer record;
        record.U32(static_cast<uint32_t>(bytes_.size()));
        record.bytes_ += checked;
        record.bytes_.append(reinterpret_cast<const char*>(digest), kChecksumSize);
        return record.bytes_;
    }

private:
    std::string bytes_;
};

// Reads within its bytes only; any read past them fails the reader for good.
class Reader {
public:
    explicit Reader(const std::string& bytes, std::size_t from = 0, std::size_t to = std::string::npos)
        : bytes_(bytes)
        , at_(from)
        , end_(to == std::string::npos ? bytes.size() : to)
    {
    }
    bool Good() const { return good_; }
    bool AtEnd() const { return good_ && at_ == end_; }
    std::size_t At() const { return at_; }

    uint8_t U8()
    {
        if (!Need(1))
            return 0;
        return static_cast<uint8_t>(bytes_[at_++]);
    }
    uint32_t U32()
    {
        if (!Need(4))
            return 0;
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes_[at_ + static_cast<std::size_t>(i)])) << (8 * i);
        at_ += 4;
        return value;
    }
    std::string Text()
    {
        const uint32_t size = U32();
        if (!Need(size))
            return std::string();
        std::string text = bytes_.substr(at_, size);
        at_ += size;
        return text;
    }
    // A count of items of at least `least` bytes each, checked against what is left.
    uint32_t Count(std::size_t least)
    {
        const uint32_t count = U32();
        if (good_ && static_cast<uint64_t>(count) * least > end_ - at_)
            good_ = false;
        return good_ ? count : 0;
    }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> texts(Count(4));
        for (std::string& text : texts)
            text = Text();
        return texts;
    }
    RegistryKey Key()
    {
        RegistryKey key;
        key.exists = U8() != 0;
        key.values.resize(Count(12));
        for (RegistryValue& value : key.values) {
            value.name = Text();
            value.type = U32();
            value.data = Text();
        }
        return key;
    }
    std::vector<PendingRename> Renames()
    {
        std::vector<PendingRename> renames(Count(8));
        for (PendingRename& rename : renames) {
            rename.source = Text();
            rename.target = Text();
        }
        return renames;
    }

private:
    bool Need(std::size_t count)
    {
        if (good_ && count <= end_ - at_)
            return true;
        good_ = false;
        return false;
    }

    const std::string& bytes_;
    std::size_t at_;
    std::size_t end_;
    bool good_ = true;
};

// The record at `at`, when it is whole: its type and the span of its body.
bool NextRecord(const std::string& bytes, std::size_t& at, Record& type, std::size_t& body, std::size_t& bodyEnd)
{
    Reader header(bytes, at);
    const uint32_t length = header.U32();
    if (!header.Good() || length > kLargestRecord
        || bytes.size() - header.At() < 1 + std::size_t { length } + kChecksumSize)
        return false;
    const std::size_t checked = header.At();
    unsigned char digest[kSha256Size];
    Sha256::Hash(bytes.data() + checked, 1 + std::size_t { length }, digest);
    if (std::memcmp(digest, bytes.data() + checked + 1 + length, kChecksumSize) != 0)
        return false;
    type = static_cast<Record>(static_cast<uint8_t>(bytes[checked]));
    body = checked + 1;
    bodyEnd = body + length;
    at = bodyEnd + kChecksumSize;
    return true;
}

std::string Header()
{
    Writer writer;
    for (char c : kMagic)
        writer.U8(static_cast<uint8_t>(c));
    writer.U32(kVersion);
    return writer.Bytes();
}

bool ValidScope(uint8_t scope)
{
    return scope <= static_cast<uint8_t>(Scope::User);
}

} // namespace

std::string JournalBeginRecord(const Journal& journal)
{
    Writer writer;
    writer.U8(static_cast<uint8_t>(journal.kind));
    writer.U8(static_cast<uint8_t>(journal.scope));
    for (const std::string* text : { &journal.product, &journal.installFolder, &journal.txFolder, &journal.logPath,
             &journal.sideLogPath, &journal.entryKey })
        writer.Text(*text);
    writer.Key(journal.entryBefore);
    return Header() + writer.Framed(Record::Begin);
}

std::string JournalSetAsideRecord(const std::vector<SetAsideRecord>& asides)
{
    Writer writer;
    writer.U32(static_cast<uint32_t>(asides.size()));
    for (const SetAsideRecord& aside : asides) {
        writer.Text(aside.path);
        writer.Text(aside.aside);
    }
    return writer.Framed(Record::SetAside);
}

std::string JournalCreateRecord(const std::vector<std::string>& files, const std::vector<std::string>& folders)
{
    Writer writer;
    writer.Texts(files);
    writer.Texts(folders);
    return writer.Framed(Record::Create);
}

std::string JournalRestartRecord(const std::vector<PendingRename>& restarts)
{
    Writer writer;
    writer.Renames(restarts);
    return writer.Framed(Record::Restart);
}

std::string JournalCommitRecord(const Journal& journal)
{
    Writer writer;
    writer.Text(journal.logPath);
    writer.Text(journal.logDigest);
    writer.U8(journal.removeEntry ? 1 : 0);
    writer.U32(static_cast<uint32_t>(journal.removals.size()));
    for (const RemovalRecord& removal : journal.removals) {
        writer.Text(removal.path);
        writer.U8(removal.folder ? 1 : 0);
    }
    writer.Texts(journal.removeIfEmpty);
    return writer.Framed(Record::Commit);
}

JournalProblem ReadJournal(const std::string& bytes, Journal& journal)
{
    journal = Journal();
    const std::string header = Header();
    if (bytes.size() < header.size() || bytes.compare(0, header.size(), header) != 0)
        return JournalProblem::NoBegin;
    std::size_t at = header.size();
    bool begun = false;
    Record type {};
    std::size_t body = 0;
    std::size_t end = 0;
    while (NextRecord(bytes, at, type, body, end)) {
        Reader reader(bytes, body, end);
        if (!begun && type != Record::Begin)
            return JournalProblem::Damaged;
        switch (type) {
        case Record::Begin: {
            if (begun)
                return JournalProblem::Damaged;
            begun = true;
            const uint8_t kind = reader.U8();
            const uint8_t scope = reader.U8();
            if (kind != static_cast<uint8_t>(TxKind::Install) && kind != static_cast<uint8_t>(TxKind::Uninstall))
                return JournalProblem::Damaged;
            if (!ValidScope(scope))
                return JournalProblem::Damaged;
            journal.kind = static_cast<TxKind>(kind);
            journal.scope = static_cast<Scope>(scope);
            for (std::string* text : { &journal.product, &journal.installFolder, &journal.txFolder, &journal.logPath,
                     &journal.sideLogPath, &journal.entryKey })
                *text = reader.Text();
            journal.entryBefore = reader.Key();
            break;
        }
        case Record::SetAside: {
            const uint32_t count = reader.Count(8);
            for (uint32_t i = 0; i < count && reader.Good(); ++i) {
                SetAsideRecord aside;
                aside.path = reader.Text();
                aside.aside = reader.Text();
                journal.asides.push_back(std::move(aside));
            }
            break;
        }
        case Record::Create: {
            for (std::string& file : reader.Texts())
                journal.createdFiles.push_back(std::move(file));
            for (std::string& folder : reader.Texts())
                journal.madeFolders.push_back(std::move(folder));
            break;
        }
        case Record::Restart:
            for (PendingRename& rename : reader.Renames())
                journal.restarts.push_back(std::move(rename));
            break;
        case Record::Commit: {
            if (journal.commitAnnounced)
                return JournalProblem::Damaged;
            journal.commitAnnounced = true;
            journal.logPath = reader.Text();
            journal.logDigest = reader.Text();
            journal.removeEntry = reader.U8() != 0;
            const uint32_t count = reader.Count(5);
            for (uint32_t i = 0; i < count && reader.Good(); ++i) {
                RemovalRecord removal;
                removal.path = reader.Text();
                removal.folder = reader.U8() != 0;
                journal.removals.push_back(std::move(removal));
            }
            journal.removeIfEmpty = reader.Texts();
            break;
        }
        default:
            return JournalProblem::Damaged;
        }
        if (!reader.AtEnd())
            return JournalProblem::Damaged;
    }
    return begun ? JournalProblem::None : JournalProblem::NoBegin;
}

std::string EncodePointer(const JournalPointer& pointer)
{
    Writer writer;
    writer.Text(pointer.journalPath);
    writer.Texts(pointer.removeIfEmpty);
    return writer.Framed(Record::Pointer);
}

bool DecodePointer(const std::string& bytes, JournalPointer& pointer)
{
    pointer = JournalPointer();
    std::size_t at = 0;
    Record type {};
    std::size_t body = 0;
    std::size_t end = 0;
    if (!NextRecord(bytes, at, type, body, end) || type != Record::Pointer || at != bytes.size())
        return false;
    Reader reader(bytes, body, end);
    pointer.journalPath = reader.Text();
    pointer.removeIfEmpty = reader.Texts();
    return reader.AtEnd() && !pointer.journalPath.empty();
}

std::string PointerKey(const std::string& product)
{
    return std::string(kPointerParent) + "\\" + product;
}

} // namespace install

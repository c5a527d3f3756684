// Shared helpers of the payload and cabinet tests: the fixtures made at build
// time (YNB_PACKAGE_FIXTURES), scratch folders of this process, a recorder on
// the extractor's reporting hook and a reader of a cabinet's file table.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/CabinetExtractor.h"
#include "sys/ClsFile.h"

namespace pkgtest {

using Bytes = std::vector<unsigned char>;

// The fixture folder as a Windows path (Wine maps the host's / to Z:).
inline std::string FixtureDir()
{
    const char* unixPath = std::getenv("YNB_PACKAGE_FIXTURES");
    if (unixPath == nullptr || unixPath[0] != '/')
        return {};
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

inline std::string Fixture(const std::string& name)
{
    return FixtureDir() + "\\" + name;
}

inline bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline Bytes ReadBytes(const std::string& path)
{
    Bytes data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open " << path;
        return data;
    }
    unsigned char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
        data.insert(data.end(), chunk, chunk + read);
    CloseHandle(file);
    return data;
}

inline void WriteBytes(const std::string& path, const Bytes& data)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
    ASSERT_EQ(data.size(), written);
    CloseHandle(file);
}

// A scratch folder of this process under the temporary folder, removed
// before and after.
inline std::string ScratchFolder(const char* tag)
{
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    EXPECT_GT(length, 0u);
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%synbpkg-%lu-%s", temp, GetCurrentProcessId(), tag);
    for (char* p = path + length; *p != '\0'; ++p)
        if (*p == '/')
            *p = '_'; // parameterised test names
    (void)ClsFile::DeleteFolder(path);
    EXPECT_TRUE(CreateDirectoryA(path, nullptr)) << path;
    return path;
}

struct Report {
    std::string text;
    std::string caption;
    int style;
};

// Records every report while it lives and answers Yes, as the program does.
class ReportRecorder {
public:
    ReportRecorder()
        : previous_(ReportMessage)
    {
        Reports().clear();
        ReportMessage = Record;
    }
    ~ReportRecorder() { ReportMessage = previous_; }
    const std::vector<Report>& Get() const { return Reports(); }
    bool Has(const std::string& text) const
    {
        for (const Report& r : Reports())
            if (r.text == text)
                return true;
        return false;
    }
    std::string Dump() const
    {
        std::string all;
        for (const Report& r : Reports())
            all += "[" + r.caption + "] " + r.text + "\n";
        return all;
    }

private:
    static std::vector<Report>& Reports()
    {
        static std::vector<Report> reports;
        return reports;
    }
    static int Record(const char* text, const char* caption, int style)
    {
        Reports().push_back({ text, caption, style });
        return kAnswerYes;
    }
    ReportHook previous_;
};

// One entry of a cabinet's file table, read independently of the library.
struct CabEntry {
    std::string name; // as stored
    uint32_t size;
    uint16_t date;
    uint16_t time;
    uint16_t attributes;
};

struct CabHeader {
    uint32_t total = 0;
    uint16_t folders = 0;
    uint16_t files = 0;
    uint16_t setId = 0;
    uint16_t number = 0;
    std::vector<CabEntry> entries;
};

inline CabHeader ReadCabinetHeader(const Bytes& cab)
{
    CabHeader h;
    auto u16 = [&cab](std::size_t at) { return static_cast<uint16_t>(cab.at(at) | cab.at(at + 1) << 8); };
    auto u32 = [&cab](std::size_t at) {
        return static_cast<uint32_t>(cab.at(at) | cab.at(at + 1) << 8 | cab.at(at + 2) << 16)
            | static_cast<uint32_t>(cab.at(at + 3)) << 24;
    };
    h.total = u32(8);
    std::size_t at = u32(16);
    h.folders = u16(26);
    h.files = u16(28);
    h.setId = u16(32);
    h.number = u16(34);
    for (unsigned i = 0; i < h.files; ++i) {
        CabEntry e {};
        e.size = u32(at);
        e.date = u16(at + 10);
        e.time = u16(at + 12);
        e.attributes = u16(at + 14);
        at += 16;
        while (cab.at(at) != 0)
            e.name += static_cast<char>(cab.at(at++));
        ++at;
        h.entries.push_back(e);
    }
    return h;
}

// The stored name in the ANSI code page (names marked 0x80 are UTF-8).
inline std::string AnsiName(const CabEntry& e)
{
    if ((e.attributes & 0x80) == 0)
        return e.name;
    wchar_t wide[MAX_PATH];
    const int n = MultiByteToWideChar(CP_UTF8, 0, e.name.c_str(), -1, wide, MAX_PATH);
    char ansi[MAX_PATH];
    if (n == 0 || WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr) == 0)
        return {};
    return ansi;
}

struct Expected {
    int index;
    uint32_t size;
    int64_t mtime;
    bool readOnly;
    std::string stored;
};

// expected.txt: index, size, modification time, read-only, stored name.
inline std::vector<Expected> ReadExpected()
{
    std::vector<Expected> all;
    const Bytes raw = ReadBytes(Fixture("expected.txt"));
    std::string text(raw.begin(), raw.end());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        std::vector<std::string> fields;
        std::size_t f = 0;
        for (int i = 0; i < 4; ++i) {
            const std::size_t tab = line.find('\t', f);
            fields.push_back(line.substr(f, tab - f));
            f = tab + 1;
        }
        fields.push_back(line.substr(f));
        all.push_back(
            { std::atoi(fields[0].c_str()), static_cast<uint32_t>(std::strtoul(fields[1].c_str(), nullptr, 10)),
                std::strtoll(fields[2].c_str(), nullptr, 10), fields[3] == "1", fields[4] });
    }
    return all;
}

inline FILETIME FromUnixTime(int64_t seconds)
{
    const uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

} // namespace pkgtest

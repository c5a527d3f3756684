// Writes the installation benchmark's payload tree: about 200 MiB in about
// 2,000 files of mixed sizes and kinds (text that compresses well, program-like
// data that compresses a little, media-like data that does not), spread over a
// few folders below YnbBench\, with the manifest's sources in YnbBench\ins.
// The content depends on nothing but the file's number, so every run and every
// machine installs the same bytes. With COPIES above 1, the folders outside
// the staging folder come that many times (doc, doc2, ...): a payload as many
// times as large, for the memory measurement.
//   ynbbench_tree OUTDIR [COPIES]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Kind { Text, Program, Media };

struct Group {
    const char* folder;
    const char* extension;
    Kind kind;
    int count;
    uint32_t minSize;
    uint32_t maxSize;
};

// Small files by the hundred, a few hundred of medium size, twenty large ones.
constexpr Group kGroups[] = {
    { "YnbBench/doc", ".txt", Kind::Text, 300, 512, 64 << 10 },
    { "YnbBench/data/dict", ".dic", Kind::Text, 350, 512, 64 << 10 },
    { "YnbBench/data/tables", ".tbl", Kind::Program, 350, 512, 64 << 10 },
    { "YnbBench/res/icons", ".ico", Kind::Media, 400, 512, 64 << 10 },
    { "YnbBench/lib/plugins", ".dll", Kind::Program, 260, 512, 64 << 10 },
    { "YnbBench/lib", ".dll", Kind::Program, 100, 64 << 10, 1 << 20 },
    { "YnbBench/res/images", ".png", Kind::Media, 120, 64 << 10, 1 << 20 },
    { "YnbBench/data/maps", ".map", Kind::Program, 60, 64 << 10, 1 << 20 },
    { "YnbBench/res/sounds", ".wav", Kind::Media, 8, 2 << 20, 8 << 20 },
    { "YnbBench/res/movies", ".avi", Kind::Media, 4, 2 << 20, 8 << 20 },
    { "YnbBench/data/archive", ".pak", Kind::Program, 8, 2 << 20, 8 << 20 },
    { "YnbBench/ins/manual", ".htm", Kind::Text, 24, 512, 64 << 10 },
    { "YnbBench/ins/manual/img", ".gif", Kind::Media, 12, 512, 64 << 10 },
};

class Random {
public:
    explicit Random(uint64_t seed)
        : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull)
    {
    }
    uint64_t Next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

private:
    uint64_t state_;
};

constexpr const char* kWords[] = { "setup", "folder", "install", "payload", "cabinet", "window", "page", "button",
    "licence", "manifest", "registry", "shortcut", "desktop", "program", "product", "version", "the", "of", "and", "a",
    "to", "in", "is", "file", "data", "table", "value", "entry", "user", "system", "copy", "path" };

std::string Content(Kind kind, uint32_t size, Random& random)
{
    std::string bytes;
    bytes.reserve(size + 16);
    switch (kind) {
    case Kind::Text:
        while (bytes.size() < size) {
            bytes += kWords[random.Next() % std::size(kWords)];
            bytes += random.Next() % 12 == 0 ? "\r\n" : " ";
        }
        break;
    case Kind::Program: {
        // Words drawn mostly from a small vocabulary, as code and tables are.
        uint32_t vocabulary[64];
        for (uint32_t& word : vocabulary)
            word = static_cast<uint32_t>(random.Next());
        while (bytes.size() < size) {
            const uint64_t draw = random.Next();
            const uint32_t word = draw % 10 < 7 ? vocabulary[(draw >> 8) % 64] : static_cast<uint32_t>(draw >> 32);
            bytes.append(reinterpret_cast<const char*>(&word), 4);
        }
        break;
    }
    case Kind::Media:
        while (bytes.size() < size) {
            const uint64_t word = random.Next();
            bytes.append(reinterpret_cast<const char*>(&word), 8);
        }
        break;
    }
    bytes.resize(size);
    return bytes;
}

bool Write(const fs::path& path, const std::string& bytes)
{
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "ynbbench_tree: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int copies = argc == 3 ? std::atoi(argv[2]) : 1;
    if (argc < 2 || argc > 3 || copies < 1) {
        std::fprintf(stderr, "usage: ynbbench_tree OUTDIR [COPIES]\n");
        return 2;
    }
    const fs::path root = argv[1];
    std::error_code error;
    fs::remove_all(root, error);
    if (error) {
        std::fprintf(stderr, "ynbbench_tree: cannot clear %s\n", root.string().c_str());
        return 1;
    }
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t number = 0;
    auto add = [&](const fs::path& path, const std::string& content) {
        files += 1;
        bytes += content.size();
        return Write(root / path, content);
    };
    for (int copy = 1; copy <= copies; ++copy) {
        for (const Group& group : kGroups) {
            const std::string folder = group.folder;
            if (copy > 1 && folder.find("/ins") != std::string::npos)
                continue; // the staging folder's files come once
            for (int i = 0; i < group.count; ++i) {
                Random random(++number);
                // Sizes spread evenly on a logarithmic scale.
                const double span = std::log(static_cast<double>(group.maxSize) / group.minSize);
                const auto size = static_cast<uint32_t>(group.minSize * std::exp(span * random.Unit()));
                char name[32];
                std::snprintf(name, sizeof name, "f%04d%s", i, group.extension);
                const std::string copied = copy > 1 ? folder + std::to_string(copy) : folder;
                if (!add(fs::path(copied) / name, Content(group.kind, size, random)))
                    return 1;
            }
        }
    }
    // The main program, the log folder and the manifest's single files.
    Random random(++number);
    if (!add("YnbBench/bin/bench.exe", Content(Kind::Program, 3 << 20, random))
        || !add("YnbBench/ynb/version.txt", "1.0.0\r\n")
        || !add("YnbBench/ins/notes.txt", Content(Kind::Text, 6000, random))
        || !add("YnbBench/ins/settings.ini", "[bench]\r\nrounds=3\r\n"))
        return 1;
    std::printf("payload tree: %llu files, %.1f MiB in %s\n", static_cast<unsigned long long>(files),
        static_cast<double>(bytes) / (1 << 20), root.string().c_str());
    return 0;
}

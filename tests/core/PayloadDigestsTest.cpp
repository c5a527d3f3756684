// The payload's list of its files' digests, as ynbpack writes it and setup.exe
// reads it back, and which installed files it spares.
#include <gtest/gtest.h>

#include <cstring>

#include "install/InPlace.h"
#include "package/PayloadDigests.h"

namespace {

using package::PayloadDigests;

TEST(PayloadDigests, ReadsWhatIsWrittenAndRefusesAnythingElseWhole)
{
    PayloadDigests digests;
    Sha256::Hash("a", 1, digests["App\\a.txt"].sha256);
    digests["App\\a.txt"].size = 1;
    // A Shift-JIS name whose trail byte is a backslash, and a file of 4 GiB and more.
    Sha256::Hash("", 0, digests["App\\\x83\x5c.dat"].sha256);
    digests["App\\\x83\x5c.dat"].size = 5000000000ull;
    const std::string text = package::WriteDigests(digests);
    PayloadDigests read;
    ASSERT_TRUE(package::ReadDigests(text, read));
    EXPECT_EQ(digests, read);
    EXPECT_TRUE(package::ReadDigests("", read));
    EXPECT_TRUE(read.empty());

    const std::string line = text.substr(0, text.find("\r\n") + 2);
    const std::string hex = line.substr(0, 64);
    for (const std::string& bad : {
             text.substr(0, text.size() - 1), // no line end at the end
             line + line, // a name twice
             "X" + line.substr(1), // not a hex digit
             hex.substr(0, 63) + "\t1\tApp\\a.txt\r\n", // a short digest
             hex + "\t\tApp\\a.txt\r\n", // no size
             hex + "\t-1\tApp\\a.txt\r\n",
             hex + "\t12345678901234567890\tApp\\a.txt\r\n", // a size past 64 bits
             hex + "\t1\t\r\n", // no name
             hex + "\t1\tApp\\\ta.txt\r\n", // a control byte in the name
         }) {
        read["stale"] = {};
        EXPECT_FALSE(package::ReadDigests(bad, read)) << bad;
        EXPECT_TRUE(read.empty());
    }
    EXPECT_FALSE(package::ReadDigests(text, read, 1)) << "more lines than allowed";
}

// Which installed file an upgrade or a repair leaves: the same bytes and
// kept attributes stay; a repair keeps a non-program the user saved since,
// never a program, a file it could not read, or one with the installed time.
TEST(InPlace, SameBytesStayAndARepairKeepsOnlyWhatTheUserChanged)
{
    using install::InPlace;
    install::PayloadFile payload;
    payload.digest.size = 3;
    Sha256::Hash("new", 3, payload.digest.sha256);
    payload.attributes = 0x20;
    payload.lastWrite = 1000;
    install::InstalledFile same;
    same.exists = same.read = same.hashed = true;
    same.size = 3;
    same.attributes = 0x20 | 0x80; // archive and normal do not count
    same.lastWrite = 7; // nor the time, for the same bytes
    std::memcpy(same.sha256, payload.digest.sha256, sizeof same.sha256);
    EXPECT_EQ(InPlace::Same, install::JudgeInPlace(payload, same, false));
    EXPECT_TRUE(install::WorthHashing(payload, same));

    install::InstalledFile readOnly = same;
    readOnly.attributes |= 0x1;
    install::InstalledFile changed = same;
    changed.sha256[0] ^= 1;
    install::InstalledFile longer = same;
    longer.size = 4;
    longer.hashed = false;
    EXPECT_FALSE(install::WorthHashing(payload, longer));
    install::InstalledFile program = changed;
    program.program = true;
    install::InstalledFile unreadable = longer;
    unreadable.read = false;
    install::InstalledFile damaged = changed;
    damaged.lastWrite = payload.lastWrite;
    for (const install::InstalledFile& file : { readOnly, program, unreadable, damaged, install::InstalledFile {} }) {
        EXPECT_EQ(InPlace::Write, install::JudgeInPlace(payload, file, true));
        EXPECT_EQ(InPlace::Write, install::JudgeInPlace(payload, file, false));
    }
    for (const install::InstalledFile& file : { changed, longer }) {
        EXPECT_EQ(InPlace::KeptChanged, install::JudgeInPlace(payload, file, true));
        EXPECT_EQ(InPlace::Write, install::JudgeInPlace(payload, file, false));
    }
}

} // namespace

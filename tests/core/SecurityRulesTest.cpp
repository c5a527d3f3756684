// The judgement of security descriptors: descriptors built here byte by byte,
// well-formed ones with every kind of entry and principal, and broken ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "sys/SecurityRules.h"

using namespace sys;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Writes value little-endian into width bytes at `at`.
void Put(Bytes& b, std::size_t at, std::uint32_t value, int width = 4)
{
    for (int i = 0; i < width; ++i)
        b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A self-relative descriptor: header, owner, then the DACL.
struct Descriptor {
    SidBytes owner = AdministratorsSid();
    std::uint16_t control = 0x8004; // SE_SELF_RELATIVE | SE_DACL_PRESENT
    bool nullDacl = false;
    std::vector<Bytes> aces;

    // An entry of any type: header, mask, then body (the SID, or flags and SID).
    Descriptor& Ace(std::uint8_t type, std::uint8_t flags, std::uint32_t mask, const Bytes& body)
    {
        Bytes ace(8);
        ace[0] = type;
        ace[1] = flags;
        Put(ace, 4, mask);
        ace.insert(ace.end(), body.begin(), body.end());
        Put(ace, 2, static_cast<std::uint32_t>(ace.size()), 2);
        aces.push_back(ace);
        return *this;
    }
    Descriptor& Allow(const SidBytes& sid, std::uint32_t mask, std::uint8_t flags = 0)
    {
        return Ace(0, flags, mask, sid);
    }

    Bytes Build() const
    {
        Bytes b(20);
        b[0] = 1;
        Put(b, 2, control, 2);
        if (!owner.empty()) {
            Put(b, 4, 20);
            b.insert(b.end(), owner.begin(), owner.end());
        }
        if (nullDacl)
            return b;
        Put(b, 16, static_cast<std::uint32_t>(b.size()));
        Bytes acl(8);
        acl[0] = 2;
        Put(acl, 4, static_cast<std::uint32_t>(aces.size()), 2);
        for (const Bytes& ace : aces)
            acl.insert(acl.end(), ace.begin(), ace.end());
        Put(acl, 2, static_cast<std::uint32_t>(acl.size()), 2);
        b.insert(b.end(), acl.begin(), acl.end());
        return b;
    }
};

const SidBytes kAccount = MakeSid(5, { 21, 1, 2, 3, 1001 }); // the account running the judging program
const SidBytes kStranger = MakeSid(5, { 21, 1, 2, 3, 1002 });
const Account kAdministrator { kAccount, true }; // an elevated administrator
const Account kStandard { kAccount, false }; // the same account without administrator rights
const std::vector<SidBytes> kTrusted = TrustedSids(TrustScope::Machine, kAdministrator);
const std::vector<SidBytes> kOrdinary = { UsersSid(), AuthenticatedUsersSid(), EveryoneSid(), InteractiveSid() };
const std::uint32_t kReadExecute = 0x1200A9;
const std::uint32_t kChange[] = { 0x2, 0x4, 0x100, 0x10000, 0x40000, 0x80000 }; // and 0x40 for folders
constexpr std::uint8_t kOi = 0x01, kCi = 0x02, kIo = 0x08, kInherited = 0x10;

Protection Judge(const Descriptor& d, bool isFolder = true, TrustScope scope = TrustScope::Machine,
    const Account& account = kAdministrator)
{
    return JudgeProtection(d.Build(), scope, account, isFolder);
}

Protection Ancestor(const Descriptor& d, const Account& account = kAdministrator)
{
    return JudgeAncestor(d.Build(), TrustScope::Machine, account);
}

// What an installation under Program Files leaves: TrustedInstaller's or the
// administrators' own, read and execute for Users, inherit-only entries.
Descriptor ProgramFilesLike()
{
    Descriptor d;
    d.Allow(SystemSid(), 0x1F01FF).Allow(AdministratorsSid(), 0x1F01FF).Allow(UsersSid(), kReadExecute, 0x03);
    d.Allow(MakeSid(3, { 0 }), 0x10000000, 0x0B).Allow(UsersSid(), 0xA0000000, 0x0B);
    return d;
}

} // namespace

TEST(Sids, WellKnownTextsAndBrokenBytes)
{
    const std::pair<SidBytes, const char*> known[] = {
        { SystemSid(), "S-1-5-18" },
        { AdministratorsSid(), "S-1-5-32-544" },
        { TrustedInstallerSid(), "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464" },
        { UsersSid(), "S-1-5-32-545" },
        { AuthenticatedUsersSid(), "S-1-5-11" },
        { EveryoneSid(), "S-1-1-0" },
        { InteractiveSid(), "S-1-5-4" },
    };
    for (const auto& [sid, text] : known)
        EXPECT_EQ(text, SidText(sid));
    EXPECT_EQ("S-1-0x123456789ABC-4294967295", SidText(MakeSid(0x123456789ABCull, { 0xFFFFFFFFu })));

    SidBytes sid = AdministratorsSid();
    EXPECT_EQ(16u, SidSize(sid));
    EXPECT_EQ(0u, SidSize(ByteSpan(sid).first(15))); // truncated
    sid.push_back(0);
    EXPECT_EQ("", SidText(sid)); // a byte too many
    sid = AdministratorsSid();
    sid[0] = 2;
    EXPECT_EQ(0u, SidSize(sid)); // revision
    Bytes sixteen = MakeSid(5, { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 });
    EXPECT_EQ(0u, SidSize(sixteen)); // more sub-authorities than a SID may have
    EXPECT_EQ("", SidText({}));
}

TEST(Rights, GenericRightsMapToFileRights)
{
    EXPECT_EQ(0x1F01FFu, MapFileRights(0x10000000));
    EXPECT_EQ(0x120116u | 0x1u, MapFileRights(0x40000001));
    EXPECT_EQ(kReadExecute, MapFileRights(0xA0000000));
    EXPECT_EQ(0xFFFFFFFFu, MapFileRights(0x02000000));
}

TEST(JudgeProtection, TrustedOwnersAndGrantees)
{
    EXPECT_EQ(Protection::Protected, Judge(ProgramFilesLike()));
    EXPECT_EQ(4u, kTrusted.size());
    for (const SidBytes& sid : kTrusted) {
        Descriptor d = ProgramFilesLike();
        d.owner = sid;
        d.Allow(sid, 0x10000000).Allow(sid, 0x02000000); // GENERIC_ALL, MAXIMUM_ALLOWED
        EXPECT_EQ(Protection::Protected, Judge(d)) << SidText(sid);
    }
    EXPECT_EQ(Protection::Protected, Judge(Descriptor {})); // an empty DACL
}

// A user's own installation lies in the profile: owned by the user, full
// control for SYSTEM, the administrators and the user alone. It is trusted by
// that user's uninstaller, and by no one else's; and the installation leaves
// such a folder as it is, while one Users could change gets protected.
TEST(JudgeProtection, TheUsersProfileIsTheUsersOwnProtection)
{
    Descriptor profile;
    profile.owner = kAccount;
    profile.Allow(SystemSid(), 0x1F01FF, 0x13)
        .Allow(AdministratorsSid(), 0x1F01FF, 0x13)
        .Allow(kAccount, 0x1F01FF, 0x13);
    EXPECT_EQ(Protection::Protected, Judge(profile, true, TrustScope::User, kStandard));
    EXPECT_EQ(Protection::Protected, Judge(profile, true, TrustScope::User, kAdministrator));
    EXPECT_EQ(Protection::ForeignOwner, Judge(profile, true, TrustScope::User, { kStranger, false }));
    // For the machine the account counts only while it is an enabled administrator.
    EXPECT_EQ(Protection::Protected, Judge(profile, true, TrustScope::Machine, kAdministrator));
    EXPECT_EQ(Protection::ForeignOwner, Judge(profile, true, TrustScope::Machine, kStandard));
    Descriptor shared = profile;
    shared.Allow(kStranger, 0x2);
    EXPECT_EQ(Protection::OthersMayWrite, Judge(shared, true, TrustScope::User, kStandard));
    shared = profile;
    shared.Allow(UsersSid(), 0x1301BF);
    EXPECT_EQ(Protection::OthersMayWrite, Judge(shared, true, TrustScope::User, kStandard));
    EXPECT_TRUE(
        TrustedSids(TrustScope::User, {}).size() == 3 && TrustedSids(TrustScope::Machine, kStandard).size() == 3);
}

// What an ordinary user can prepare for a machine's installation: a folder
// of his own (owner, or a single entry for him), one he may write through an
// entry that only its children inherit, through CREATOR GROUP, or through an
// allow entry that a deny entry before it seems to cancel.
TEST(JudgeProtection, WhatAStandardUserPreparesIsNotTheMachines)
{
    Descriptor ownerOnly;
    ownerOnly.owner = kStranger;
    ownerOnly.Allow(kStranger, 0x1F01FF, kOi | kCi);
    EXPECT_EQ(Protection::ForeignOwner, Judge(ownerOnly));
    Descriptor single = ProgramFilesLike();
    single.Allow(kStranger, 0x1301BF, kOi | kCi);
    EXPECT_EQ(Protection::OthersMayWrite, Judge(single));
    EXPECT_EQ(Protection::OthersMayWrite, Judge(ProgramFilesLike().Allow(kStranger, 0x10000), false)); // delete alone
    // Inherit-only entries count as they apply to what is made inside.
    for (std::uint8_t flags : { kOi | kIo, kCi | kIo, kOi | kCi | kIo | kInherited }) {
        EXPECT_EQ(Protection::OthersMayWrite, Judge(ProgramFilesLike().Allow(UsersSid(), 0x2, flags))) << int(flags);
        EXPECT_EQ(Protection::Protected, Judge(ProgramFilesLike().Allow(UsersSid(), 0x2, flags), false)) << int(flags);
    }
    EXPECT_EQ(
        Protection::Protected, Judge(ProgramFilesLike().Allow(UsersSid(), 0x40, kOi | kIo))); // no file has children
    EXPECT_EQ(Protection::OthersMayWrite, Judge(ProgramFilesLike().Allow(UsersSid(), 0x40, kCi | kIo)));
    EXPECT_EQ(Protection::Protected, Judge(ProgramFilesLike().Allow(UsersSid(), 0x1F01FF, kIo))); // applies to nothing
    // CREATOR OWNER and OWNER RIGHTS stand for the owner; CREATOR GROUP for a whole group.
    EXPECT_EQ(Protection::Protected, Judge(ProgramFilesLike().Allow(OwnerRightsSid(), 0x1F01FF, kOi | kCi)));
    EXPECT_EQ(Protection::OthersMayWrite, Judge(ProgramFilesLike().Allow(MakeSid(3, { 1 }), 0x10000000, kOi | kIo)));
    Descriptor creatorOwns = ProgramFilesLike();
    creatorOwns.owner = CreatorOwnerSid(); // never a real owner
    EXPECT_EQ(Protection::ForeignOwner, Judge(creatorOwns));
    // Deny before allow, a NULL list, an empty list.
    EXPECT_EQ(Protection::OthersMayWrite,
        Judge(ProgramFilesLike().Ace(1, 0, 0x1F01FF, kStranger).Allow(kStranger, 0x1F01FF)));
    Descriptor null;
    null.nullDacl = true;
    EXPECT_EQ(Protection::NoDacl, Judge(null));
    Descriptor empty;
    empty.owner = kStranger;
    EXPECT_EQ(Protection::ForeignOwner, Judge(empty));
    EXPECT_EQ(Protection::Protected, Judge(Descriptor {}));
}

// A folder above the install folder may let others add to it (the root of a
// drive does), never rename or delete it or what it holds.
TEST(JudgeAncestor, OthersMayAddButNeverMove)
{
    Descriptor root = ProgramFilesLike();
    root.Allow(AuthenticatedUsersSid(), 0x4 | 0x100000 | kReadExecute); // create folders
    root.Allow(AuthenticatedUsersSid(), 0x1301BF, kOi | kCi | kIo); // modify, for what they make
    EXPECT_EQ(Protection::Protected, Ancestor(root));
    for (std::uint32_t right : { 0x10000u, 0x40u, 0x40000u, 0x80000u, 0x10000000u, 0x02000000u })
        EXPECT_EQ(Protection::OthersMayMove, Ancestor(ProgramFilesLike().Allow(kStranger, right))) << right;
    Descriptor made = ProgramFilesLike(); // made by an administrator where authenticated users may modify
    made.Allow(AuthenticatedUsersSid(), 0x1301BF, kOi | kCi | kInherited);
    EXPECT_EQ(Protection::OthersMayMove, Ancestor(made));
    Descriptor own;
    own.owner = kStranger;
    EXPECT_EQ(Protection::ForeignOwner, Ancestor(own));
    EXPECT_EQ(Protection::OthersMayMove, Ancestor(Descriptor {}.Allow(kAccount, 0x1F01FF), kStandard));
    Descriptor standardOwns;
    standardOwns.owner = kAccount;
    EXPECT_EQ(Protection::Protected, Ancestor(standardOwns));
    EXPECT_EQ(Protection::ForeignOwner, Ancestor(standardOwns, kStandard));
}

// The folder the elevated uninstaller runs from: made with SYSTEM and the
// administrators alone, in a parent where users may add but not take away
// (as the Windows folder's Temp has it).
TEST(RemovalPlace, SafeOnlyWhenNobodyElseWritesOrMovesIt)
{
    Descriptor place;
    place.Allow(SystemSid(), 0x1F01FF, kOi | kCi).Allow(AdministratorsSid(), 0x1F01FF, kOi | kCi);
    Descriptor windowsTemp = ProgramFilesLike();
    windowsTemp.Allow(UsersSid(), 0x2 | 0x4 | 0x20 | 0x100000, kCi);
    windowsTemp.Allow(CreatorOwnerSid(), 0x10000000, kOi | kCi | kIo);
    EXPECT_TRUE(RemovalPlaceIsSafe(place.Build(), windowsTemp.Build(), kAdministrator));
    Descriptor readable = place;
    readable.Allow(UsersSid(), kReadExecute, kOi | kCi);
    EXPECT_TRUE(RemovalPlaceIsSafe(readable.Build(), windowsTemp.Build(), kAdministrator));
    Descriptor writable = place;
    writable.Allow(UsersSid(), 0x2, kOi);
    EXPECT_FALSE(RemovalPlaceIsSafe(writable.Build(), windowsTemp.Build(), kAdministrator));
    Descriptor userTemp = place; // a user's temporary folder: the user may take anything away
    userTemp.owner = kStranger;
    EXPECT_FALSE(RemovalPlaceIsSafe(place.Build(), userTemp.Build(), kAdministrator));
    EXPECT_FALSE(RemovalPlaceIsSafe(place.Build(), Bytes {}, kAdministrator));
}

TEST(JudgeProtection, ForeignOrMissingOwner)
{
    for (const SidBytes& sid : { kStranger, UsersSid(), EveryoneSid(), SidBytes {} }) {
        Descriptor d = ProgramFilesLike();
        d.owner = sid;
        EXPECT_EQ(Protection::ForeignOwner, Judge(d)) << SidText(sid);
        EXPECT_EQ(sid, OwnerOf(d.Build()));
    }
}

TEST(JudgeProtection, NoDaclOrNullDacl)
{
    Descriptor absent;
    absent.control = 0x8000; // the DACL is there, but SE_DACL_PRESENT is not
    EXPECT_EQ(Protection::NoDacl, Judge(absent));
    Descriptor null;
    null.nullDacl = true;
    EXPECT_EQ(Protection::NoDacl, Judge(null));
    EXPECT_EQ(Protection::NoDacl, Ancestor(null));
}

TEST(JudgeProtection, EachChangeRightForOthers)
{
    std::vector<SidBytes> others = kOrdinary;
    others.push_back(kStranger);
    for (const SidBytes& sid : others) {
        for (std::uint32_t right : kChange) {
            EXPECT_EQ(Protection::OthersMayWrite, Judge(ProgramFilesLike().Allow(sid, right), false)) << right;
            EXPECT_EQ(
                Protection::OthersMayWrite, Judge(Descriptor {}.Allow(sid, right), false, TrustScope::User, kStandard))
                << right;
        }
        // Deleting children matters for a folder only; extended attributes and reading never.
        EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Allow(sid, 0x40), true));
        EXPECT_EQ(Protection::Protected, Judge(Descriptor {}.Allow(sid, 0x40 | 0x10 | kReadExecute), false));
        EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Allow(sid, 0x40000000))); // GENERIC_WRITE
        EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Allow(sid, 0x02000000))); // MAXIMUM_ALLOWED
        EXPECT_EQ(Protection::Protected, Judge(Descriptor {}.Allow(sid, 0xA0000000))); // GENERIC_READ | EXECUTE
    }
    EXPECT_EQ(Protection::Protected, Judge(Descriptor {}.Allow(kAccount, 0x1F01FF)));
    EXPECT_EQ(Protection::OthersMayWrite,
        Judge(Descriptor {}.Allow(kAccount, 0x1F01FF), true, TrustScope::Machine, kStandard));
}

TEST(JudgeProtection, InheritOnlyAndDenyEntries)
{
    const SidBytes everyone = EveryoneSid();
    EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Allow(everyone, 0x1F01FF, 0x0B)));
    EXPECT_EQ(Protection::Protected, Judge(Descriptor {}.Allow(everyone, 0x1F01FF, 0x0B), false));
    // Inherited from the parent, but applying here.
    EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Allow(everyone, 0x1F01FF, 0x13)));
    // A deny entry before the allow entry does not make it harmless.
    EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Ace(1, 0, 0x1F01FF, everyone).Allow(everyone, 0x2)));
    // Deny, audit, deny-object, deny-callback and label entries grant nothing.
    for (std::uint8_t type : { 1, 2, 6, 10, 17 })
        EXPECT_EQ(Protection::Protected, Judge(Descriptor {}.Ace(type, 0, 0x1F01FF, everyone))) << int(type);
}

TEST(JudgeProtection, CallbackObjectAndUnknownAllowEntries)
{
    const Bytes guid(16, 0xAB);
    for (std::uint8_t type : { 5, 11 }) {
        for (std::uint32_t flags : { 0, 1, 2, 3 }) {
            // The SID follows the object flags and the GUIDs they announce.
            for (const SidBytes& sid : { AdministratorsSid(), EveryoneSid() }) {
                Bytes body(4);
                Put(body, 0, flags);
                for (std::uint32_t bit : { 1u, 2u })
                    if (flags & bit)
                        body.insert(body.end(), guid.begin(), guid.end());
                body.insert(body.end(), sid.begin(), sid.end());
                const Protection expected = sid == EveryoneSid() ? Protection::OthersMayWrite : Protection::Protected;
                EXPECT_EQ(expected, Judge(Descriptor {}.Ace(type, 0, 0x2, body))) << int(type) << " " << flags;
            }
        }
    }
    EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Ace(9, 0, 0x2, InteractiveSid())));
    // Entries not understood grant everything, whatever they seem to name.
    for (std::uint8_t type : { 4, 22, 0xFF }) {
        EXPECT_EQ(Protection::OthersMayWrite, Judge(Descriptor {}.Ace(type, 0, 0, SystemSid()))) << int(type);
        EXPECT_EQ(Protection::OthersMayMove, Ancestor(Descriptor {}.Ace(type, 0, 0, SystemSid()))) << int(type);
        EXPECT_EQ(Protection::Protected, Judge(Descriptor {}.Ace(type, 0x08, 0, SystemSid()))) << int(type);
    }
}

TEST(JudgeProtection, TruncatedDescriptorsAreMalformed)
{
    const Bytes valid = ProgramFilesLike().Build();
    for (std::size_t size = 0; size < valid.size(); ++size) {
        const ByteSpan cut = ByteSpan(valid).first(size);
        EXPECT_EQ(Protection::Malformed, JudgeProtection(cut, TrustScope::Machine, kAdministrator, true)) << size;
        EXPECT_EQ(Protection::Malformed, JudgeAncestor(cut, TrustScope::User, kStandard)) << size;
    }
    EXPECT_EQ(Protection::Malformed, Judge(Descriptor {}.Ace(0, 0, 0x2, Bytes { 1, 1, 0, 0 }))); // SID past the entry
    EXPECT_EQ(Protection::Malformed, Judge(Descriptor {}.Ace(5, 0, 0x2, Bytes { 3, 0, 0, 0 }))); // GUIDs past it
}

TEST(JudgeProtection, LyingFieldsAreMalformed)
{
    const Bytes valid = ProgramFilesLike().Build();
    const std::size_t acl = 36; // after the header and the 16-byte owner
    struct Lie {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int width; // bytes
    };
    const Lie lies[] = {
        { "descriptor revision", 0, 2, 1 },
        { "not self-relative", 2, 0x0004, 2 },
        { "owner past the end", 4, static_cast<std::uint32_t>(valid.size()), 4 },
        { "owner offset near 4 GiB", 4, 0xFFFFFFFC, 4 },
        { "DACL past the end", 16, static_cast<std::uint32_t>(valid.size() - 4), 4 },
        { "DACL offset near 4 GiB", 16, 0xFFFFFFFF, 4 },
        { "owner SID with 16 sub-authorities", 21, 16, 1 },
        { "ACL revision", acl, 5, 1 },
        { "ACL smaller than its header", acl + 2, 4, 2 },
        { "ACL larger than the descriptor", acl + 2, static_cast<std::uint32_t>(valid.size() - acl + 1), 2 },
        { "more entries than fit", acl + 4, 6, 2 },
        { "entry smaller than its header", acl + 8 + 2, 4, 2 },
        { "entry larger than the ACL", acl + 8 + 2, 0xFFFF, 2 },
    };
    for (const Lie& lie : lies) {
        Bytes bytes = valid;
        Put(bytes, lie.at, lie.value, lie.width);
        EXPECT_EQ(Protection::Malformed, JudgeProtection(bytes, TrustScope::Machine, kAdministrator, true)) << lie.what;
        EXPECT_EQ(Protection::Malformed, JudgeAncestor(bytes, TrustScope::Machine, kAdministrator)) << lie.what;
        EXPECT_TRUE(OwnerOf(bytes).empty()) << lie.what;
    }
    // An owner offset into the header, where the unused SACL offset reads as a SID.
    Bytes inHeader = valid;
    Put(inHeader, 12, 1);
    Put(inHeader, 4, 12);
    EXPECT_EQ(Protection::Malformed, JudgeProtection(inHeader, TrustScope::Machine, kAdministrator, true));
    // Room left over at the end of the ACL is allowed.
    Bytes slack = valid;
    slack.resize(valid.size() + 12);
    Put(slack, acl + 2, static_cast<std::uint32_t>(slack.size() - acl), 2);
    EXPECT_EQ(Protection::Protected, JudgeProtection(slack, TrustScope::Machine, kAdministrator, true));
}

TEST(ProtectionText, EveryResultHasItsOwnText)
{
    std::set<std::wstring> texts;
    for (Protection p : { Protection::Protected, Protection::Malformed, Protection::NoDacl, Protection::ForeignOwner,
             Protection::OthersMayWrite, Protection::OthersMayMove, Protection::Unreadable, Protection::Link })
        texts.insert(ProtectionText(p));
    EXPECT_EQ(8u, texts.size());
    EXPECT_EQ(0u, texts.count(L""));
}

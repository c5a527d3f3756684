// ClsRegist under Wine: keys and values read back with the registry calls.
#include <gtest/gtest.h>

#include "Driver.h"
#include "sys/ClsRegist.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

using driver::KeyExists;
using driver::ValueCount;

namespace {

constexpr int32_t kClassesRoot = 0;
constexpr int32_t kCurrentUser = 1;
constexpr int32_t kLocalMachine = 2;

struct Value {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = 0;
    DWORD size = 0;
    std::string text;
};

Value Query(HKEY root, const std::string& subKey, const char* name)
{
    Value value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key);
    if (value.status != ERROR_SUCCESS)
        return value;
    char data[1024] = {};
    value.size = sizeof data;
    value.status = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &value.size);
    RegCloseKey(key);
    if (value.status == ERROR_SUCCESS)
        value.text.assign(data, value.size > 0 ? value.size - 1 : 0);
    return value;
}

std::string OwnName(const char* what)
{
    char name[96];
    std::snprintf(name, sizeof name, "YnbSetupTests\\Sys%s%lu", what, GetCurrentProcessId());
    return name;
}

// A key of this test program under a predefined key, removed before and after.
class OwnKey {
public:
    OwnKey(HKEY root, std::string path)
        : root_(root)
        , path_(std::move(path))
    {
        Remove();
    }
    ~OwnKey() { Remove(); }
    OwnKey(const OwnKey&) = delete;
    OwnKey& operator=(const OwnKey&) = delete;
    const std::string& Path() const { return path_; }
    void Remove() { driver::RemoveKey(root_, path_); }

private:
    HKEY root_;
    std::string path_;
};

} // namespace

// ---- Root selectors

TEST(RegistRoot, SelectorIsMaskedWithThreeAndKeptUnmasked)
{
    OwnKey machine(HKEY_LOCAL_MACHINE, "Software\\" + OwnName("Mask"));
    ClsRegist regist;
    for (int32_t selector : { 6, -2, 2 }) {
        SCOPED_TRACE(selector);
        machine.Remove();
        ASSERT_TRUE(regist.CreateKey(selector, machine.Path().c_str()));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, machine.Path()));
        EXPECT_EQ(selector, regist.Root);
        EXPECT_STREQ(machine.Path().c_str(), regist.SubKey);
    }

    OwnKey users(HKEY_USERS, ".DEFAULT\\Software\\" + OwnName("Users"));
    ASSERT_TRUE(regist.CreateKey(-1, users.Path().c_str()));
    EXPECT_TRUE(KeyExists(HKEY_USERS, users.Path()));
    EXPECT_EQ(-1, regist.Root);

    OwnKey user(HKEY_CURRENT_USER, "Software\\" + OwnName("User"));
    ASSERT_TRUE(regist.WriteString(5, user.Path().c_str(), "V", "user"));
    EXPECT_EQ("user", Query(HKEY_CURRENT_USER, user.Path(), "V").text);
    EXPECT_EQ(5, regist.Root);

    char classes[64];
    std::snprintf(classes, sizeof classes, "YnbSetupTests.Sys%lu", GetCurrentProcessId());
    OwnKey classesKey(HKEY_CLASSES_ROOT, classes);
    ASSERT_TRUE(regist.WriteString(4, classes, "V", "classes"));
    EXPECT_EQ("classes", Query(HKEY_CLASSES_ROOT, classes, "V").text);
    EXPECT_EQ(4, regist.Root);
}

// ---- KeyExists and OpenKey

TEST(RegistKeys, KeyExistsNeitherCreatesNorKeepsAKeyOpen)
{
    OwnKey own(HKEY_CURRENT_USER, "Software\\" + OwnName("Exists"));
    ClsRegist regist;
    EXPECT_FALSE(regist.KeyExists(kCurrentUser, own.Path().c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, own.Path()));
    EXPECT_EQ(nullptr, regist.Key);
    ASSERT_TRUE(regist.CreateKey(kCurrentUser, own.Path().c_str()));
    EXPECT_TRUE(regist.KeyExists(kCurrentUser, own.Path().c_str()));
    EXPECT_EQ(nullptr, regist.Key);
}

TEST(RegistKeys, OpenKeyLeavesTheKeyOpenAndTheCurrentKeyAlone)
{
    OwnKey own(HKEY_CURRENT_USER, "Software\\" + OwnName("Open"));
    ClsRegist regist;
    ASSERT_TRUE(regist.OpenKey(kCurrentUser, own.Path().c_str())); // creates it
    ASSERT_NE(nullptr, regist.Key);
    const char text[] = "direct";
    EXPECT_EQ(ERROR_SUCCESS,
        RegSetValueExA(regist.Key, "Direct", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(regist.Key));
    regist.Key = nullptr;
    EXPECT_EQ("direct", Query(HKEY_CURRENT_USER, own.Path(), "Direct").text);
    EXPECT_EQ(0, regist.Root);
    EXPECT_STREQ("", regist.SubKey);
    EXPECT_FALSE(regist.SetString("Nowhere", "x")); // OpenKey sets no current key
}

// ---- CreateKey

TEST(RegistCreateKey, CreatesEveryMissingLevel)
{
    OwnKey top(HKEY_CURRENT_USER, "Software\\" + OwnName("Levels"));
    const std::string deep = top.Path() + "\\a\\b\\c\\d";
    ClsRegist regist;
    EXPECT_TRUE(regist.CreateKey(kCurrentUser, deep.c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top.Path() + "\\a\\b"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, deep));
    EXPECT_EQ(nullptr, regist.Key);
}

TEST(RegistCreateKey, ExistingKeyKeepsItsValues)
{
    OwnKey own(HKEY_CURRENT_USER, "Software\\" + OwnName("Keep"));
    ClsRegist regist;
    ASSERT_TRUE(regist.WriteString(kCurrentUser, own.Path().c_str(), "Old", "value"));
    ClsRegist second;
    EXPECT_TRUE(second.CreateKey(kCurrentUser, own.Path().c_str()));
    EXPECT_EQ("value", Query(HKEY_CURRENT_USER, own.Path(), "Old").text);
    EXPECT_EQ(1u, ValueCount(HKEY_CURRENT_USER, own.Path()));
}

TEST(RegistCreateKey, FailureLeavesTheCurrentKey)
{
    OwnKey first(HKEY_CURRENT_USER, "Software\\" + OwnName("First"));
    OwnKey volatileKey(HKEY_CURRENT_USER, "Software\\" + OwnName("Volatile"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
        RegCreateKeyExA(HKEY_CURRENT_USER, volatileKey.Path().c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
            nullptr, &key, nullptr));
    RegCloseKey(key);

    ClsRegist regist;
    ASSERT_TRUE(regist.CreateKey(5, first.Path().c_str()));
    // A lasting key cannot be created below a volatile one.
    const std::string child = volatileKey.Path() + "\\Child";
    EXPECT_FALSE(regist.CreateKey(kCurrentUser, child.c_str()));
    EXPECT_FALSE(regist.WriteString(kCurrentUser, child.c_str(), "V", "x"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, child));
    EXPECT_EQ(5, regist.Root);
    EXPECT_STREQ(first.Path().c_str(), regist.SubKey);
    EXPECT_TRUE(regist.SetString("After", "first"));
    EXPECT_EQ("first", Query(HKEY_CURRENT_USER, first.Path(), "After").text);
}

TEST(RegistCreateKey, SubKeyThatDoesNotFitIsRefusedBeforeAnythingIsCreated)
{
    OwnKey top(HKEY_CURRENT_USER, "Software\\" + OwnName("Long"));
    std::string path = top.Path();
    while (path.size() < 260)
        path += "\\abcdefghij";
    ClsRegist regist;
    EXPECT_FALSE(regist.CreateKey(kCurrentUser, path.c_str()));
    EXPECT_FALSE(regist.WriteString(kCurrentUser, path.c_str(), "V", "x"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top.Path()));
    EXPECT_FALSE(regist.SetString("V", "x"));
}

// ---- WriteString and SetString

TEST(RegistStrings, SetStringWritesTwoValuesUnderTheCreatedKey)
{
    OwnKey own(HKEY_LOCAL_MACHINE, "Software\\" + OwnName("Uninstall"));
    ClsRegist regist;
    ASSERT_TRUE(regist.CreateKey(kLocalMachine, own.Path().c_str()));
    const char* name = "\x83\x65\x83\x58\x83\x67\x90\xBB\x95\x69"; // "テスト製品"
    EXPECT_TRUE(regist.SetString("DisplayName", name));
    EXPECT_TRUE(regist.SetString("UninstallString", "C:\\Program Files\\Product\\uninstall.exe"));

    const Value display = Query(HKEY_LOCAL_MACHINE, own.Path(), "DisplayName");
    ASSERT_EQ(ERROR_SUCCESS, display.status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), display.type);
    EXPECT_EQ(std::strlen(name) + 1, display.size);
    EXPECT_EQ(name, display.text);
    const Value uninstall = Query(HKEY_LOCAL_MACHINE, own.Path(), "UninstallString");
    ASSERT_EQ(ERROR_SUCCESS, uninstall.status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), uninstall.type);
    EXPECT_EQ(sizeof "C:\\Program Files\\Product\\uninstall.exe", uninstall.size);
    EXPECT_EQ("C:\\Program Files\\Product\\uninstall.exe", uninstall.text);
    EXPECT_EQ(2u, ValueCount(HKEY_LOCAL_MACHINE, own.Path()));
    EXPECT_EQ(kLocalMachine, regist.Root); // unchanged by SetString
    EXPECT_STREQ(own.Path().c_str(), regist.SubKey);
}

TEST(RegistStrings, EmptyTextStoresTheTerminatorAlone)
{
    OwnKey own(HKEY_CURRENT_USER, "Software\\" + OwnName("Empty"));
    ClsRegist regist;
    ASSERT_TRUE(regist.WriteString(kCurrentUser, own.Path().c_str(), "Empty", ""));
    const Value value = Query(HKEY_CURRENT_USER, own.Path(), "Empty");
    ASSERT_EQ(ERROR_SUCCESS, value.status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
    EXPECT_EQ(1u, value.size);
}

TEST(RegistStrings, ExistingValueIsReplaced)
{
    OwnKey own(HKEY_CURRENT_USER, "Software\\" + OwnName("Replace"));
    ClsRegist regist;
    ASSERT_TRUE(regist.WriteString(kCurrentUser, own.Path().c_str(), "V", "a much longer old text"));
    ASSERT_TRUE(regist.SetString("V", "new"));
    const Value value = Query(HKEY_CURRENT_USER, own.Path(), "V");
    EXPECT_EQ("new", value.text);
    EXPECT_EQ(4u, value.size);
}

TEST(RegistStrings, WriteStringMakesItsKeyCurrentEvenWhenTheValueFails)
{
    OwnKey first(HKEY_CURRENT_USER, "Software\\" + OwnName("WsFirst"));
    OwnKey second(HKEY_CURRENT_USER, "Software\\" + OwnName("WsSecond"));
    ClsRegist regist;
    ASSERT_TRUE(regist.CreateKey(kCurrentUser, first.Path().c_str()));
    const std::string tooLongName(20000, 'n'); // longer than any value name may be
    EXPECT_FALSE(regist.WriteString(9, second.Path().c_str(), tooLongName.c_str(), "x"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, second.Path()));
    EXPECT_EQ(0u, ValueCount(HKEY_CURRENT_USER, second.Path()));
    EXPECT_EQ(9, regist.Root);
    EXPECT_STREQ(second.Path().c_str(), regist.SubKey);
    EXPECT_TRUE(regist.SetString("V", "second"));
    EXPECT_EQ("second", Query(HKEY_CURRENT_USER, second.Path(), "V").text);
    EXPECT_EQ(0u, ValueCount(HKEY_CURRENT_USER, first.Path()));
}

TEST(RegistStrings, SetStringWithoutCurrentKeyWritesNothing)
{
    char name[64];
    std::snprintf(name, sizeof name, "YnbSetupTestsNoKey%lu", GetCurrentProcessId());
    ClsRegist regist;
    EXPECT_FALSE(regist.SetString(name, "x"));
    // Root 0 and an empty SubKey would name HKEY_CLASSES_ROOT itself.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(HKEY_CLASSES_ROOT, "", name).status);
    EXPECT_EQ(0, regist.Root);
    EXPECT_STREQ("", regist.SubKey);
    RegDeleteValueA(HKEY_CLASSES_ROOT, name);
}

TEST(RegistStrings, KeyWithoutFullAccessIsTreatedAsMissing)
{
    OwnKey own(HKEY_CURRENT_USER, "Software\\" + OwnName("Denied"));
    // Only reading allowed, for everyone (and what removing the key again needs).
    ASSERT_TRUE(driver::RestrictKey(HKEY_CURRENT_USER, own.Path(), KEY_READ | WRITE_DAC | DELETE));
    HKEY probe = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, own.Path().c_str(), 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this system does not enforce registry key permissions for this account";
    }
    ClsRegist regist;
    EXPECT_FALSE(regist.KeyExists(kCurrentUser, own.Path().c_str()));
    EXPECT_FALSE(regist.CreateKey(kCurrentUser, own.Path().c_str()));
    EXPECT_FALSE(regist.WriteString(kCurrentUser, own.Path().c_str(), "V", "x"));
    EXPECT_STREQ("", regist.SubKey);
}

// Writes under HKLM where tests/scripts/sys-registry.sh asks, for `reg query`.
TEST(RegistForHost, WritesTheRequestedKey)
{
    const std::string subKey = driver::HostGiven("YNB_REG_KEY");
    if (subKey.empty())
        GTEST_SKIP() << "run through tests/scripts/sys-registry.sh";
    ClsRegist regist;
    ASSERT_TRUE(regist.CreateKey(kLocalMachine, subKey.c_str()));
    EXPECT_TRUE(regist.SetString("DisplayName", "Ynb Product"));
    EXPECT_TRUE(regist.SetString("UninstallString", "C:\\Program Files\\Ynb Product\\uninstall.exe"));
    EXPECT_TRUE(regist.SetString("Empty", ""));
}

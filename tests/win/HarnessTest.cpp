// Proves the Wine harness: the program runs in a Japanese (code page 932)
// prefix with a working registry, isolated from the real home.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

TEST(Harness, AnsiCodePageIs932)
{
    EXPECT_EQ(932u, GetACP());
}

TEST(Harness, RegistryWriteReadsBack)
{
    char subKey[128];
    std::snprintf(subKey, sizeof subKey, "Software\\YnbSetupTests\\Harness%lu", GetCurrentProcessId());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
        RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const char text[] = "\x83\x65\x83\x58\x83\x67"; // "テスト" in Shift-JIS
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text));
    RegCloseKey(key);

    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key));
    char read[32] = {};
    DWORD type = 0, size = sizeof read;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Value", nullptr, &type, reinterpret_cast<BYTE*>(read), &size));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(sizeof text, size);
    EXPECT_STREQ(text, read);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, subKey));
}

TEST(Harness, HomeFoldersLieInsideTheTestTree)
{
    // Wine maps the profile folders into $HOME, which the launcher points into
    // the build tree; the desktop must be a real folder there.
    char profile[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile), 0u);
    std::string desktop = std::string(profile) + "\\Desktop";
    const DWORD attributes = GetFileAttributesA(desktop.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

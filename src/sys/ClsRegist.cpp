#include "sys/ClsRegist.h"

#include "sys/Handle.h"

#include <cstring>
#include <utility>

namespace {

HKEY PredefinedKey(int32_t root)
{
    static const HKEY kKeys[4] = { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS };
    return kKeys[static_cast<uint32_t>(root) & 3];
}

bool FitsSubKey(const char* subKey)
{
    return std::strlen(subKey) < sizeof ClsRegist::SubKey;
}

} // namespace

ClsRegist::~ClsRegist()
{
    sys::UniqueKey leftOver(std::exchange(Key, nullptr));
}

bool ClsRegist::KeyExists(int32_t root, const char* subKey)
{
    sys::UniqueKey key;
    return RegOpenKeyExA(PredefinedKey(root), subKey, 0, KEY_ALL_ACCESS, key.Put()) == ERROR_SUCCESS;
}

bool ClsRegist::OpenKey(int32_t root, const char* subKey)
{
    sys::UniqueKey stale(std::exchange(Key, nullptr));
    sys::UniqueKey key;
    LONG status;
    if (KeyExists(root, subKey)) {
        status = RegOpenKeyExA(PredefinedKey(root), subKey, 0, KEY_ALL_ACCESS, key.Put());
    } else {
        DWORD disposition = 0;
        char emptyClass[] = "";
        status = RegCreateKeyExA(PredefinedKey(root), subKey, 0, emptyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
            nullptr, key.Put(), &disposition);
    }
    if (status != ERROR_SUCCESS)
        return false;
    Key = key.Release(); // the caller closes
    return true;
}

bool ClsRegist::CreateKey(int32_t root, const char* subKey)
{
    if (subKey == nullptr || !FitsSubKey(subKey))
        return false;
    if (!OpenKey(root, subKey))
        return false;
    sys::UniqueKey key(std::exchange(Key, nullptr));
    Root = root;
    std::memcpy(SubKey, subKey, std::strlen(subKey) + 1);
    hasCurrentKey_ = true;
    return true;
}

bool ClsRegist::WriteString(int32_t root, const char* subKey, const char* name, const char* text)
{
    if (subKey == nullptr || text == nullptr || !FitsSubKey(subKey))
        return false;
    // The text may be SubKey itself or a caller's buffer: measured before anything changes.
    const DWORD byteCount = static_cast<DWORD>(std::strlen(text) + 1);
    if (!OpenKey(root, subKey))
        return false;
    sys::UniqueKey key(std::exchange(Key, nullptr));
    const LONG status = RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), byteCount);
    key.Reset();
    if (subKey != SubKey)
        std::memcpy(SubKey, subKey, std::strlen(subKey) + 1);
    Root = root;
    hasCurrentKey_ = true;
    return status == ERROR_SUCCESS;
}

bool ClsRegist::SetString(const char* name, const char* text)
{
    if (!hasCurrentKey_)
        return false;
    return WriteString(Root, SubKey, name, text);
}

bool ClsRegist::SetDword(const char* name, uint32_t value)
{
    if (!hasCurrentKey_)
        return false;
    sys::UniqueKey key;
    if (RegOpenKeyExA(PredefinedKey(Root), SubKey, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    const DWORD data = value;
    return RegSetValueExA(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data)
        == ERROR_SUCCESS;
}

bool ClsRegist::DeleteValue(const char* name)
{
    if (!hasCurrentKey_)
        return false;
    sys::UniqueKey key;
    if (RegOpenKeyExA(PredefinedKey(Root), SubKey, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    const LONG status = RegDeleteValueA(key.Get(), name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool ClsRegist::ReadString(int32_t root, const char* subKey, const char* name, char* text, uint32_t capacity)
{
    if (text == nullptr || capacity == 0)
        return false;
    text[0] = '\0';
    if (subKey == nullptr)
        return false;
    sys::UniqueKey key;
    if (RegOpenKeyExA(PredefinedKey(root), subKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = capacity - 1; // room for a terminator the stored text may lack
    if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        text[0] = '\0';
        return false;
    }
    text[size] = '\0';
    return true;
}

bool ClsRegist::DeleteKey(int32_t root, const char* subKey)
{
    if (subKey == nullptr || subKey[0] == '\0')
        return false; // would name the root key itself
    const LONG status = RegDeleteKeyA(PredefinedKey(root), subKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// The registry helper family: its decisions with every case, then each helper against the
// real (Wine) registry on a test key of its own.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "exports/registry_exports.h"
#include "registry/key_paths.h"
#include "registry/registry_values.h"
#include "support/byte_string.h"
#include "support/handles.h"
#include "support/safe_array.h"

namespace kestrune {
namespace {

using namespace std::string_literals;

const char kKey[] = "Software\\Kestrune\\Tests\\Helpers";
const char kMissing[] = "Software\\Kestrune\\Tests\\Helpers\\Missing";

TEST(RegistryHelperRules, ValueTextsAsReadAndAsWritten) {
    const struct {
        DWORD type;
        std::string bytes;
        std::string text;
    } reads[] = {
        {REG_SZ, "COM1\0"s, "COM1"},
        {REG_SZ, "COM1\0\0\0"s, "COM1"},
        {REG_EXPAND_SZ, "%PATH%\0"s, "%PATH%"},
        {REG_MULTI_SZ, "one\0two\0\0"s, "one\0two"s},
        {REG_DWORD, "\x80\x25\0\0"s, "9600"},
        {REG_DWORD, "\xFF\xFF\xFF\xFF"s, "4294967295"},
        {REG_DWORD_BIG_ENDIAN, "\0\0\x25\x80"s, "\0\0\x25\x80"s},
        {REG_BINARY, "a\0b\0"s, "a\0b\0"s},
        {REG_SZ, "", ""},
    };
    for (const auto& c : reads) EXPECT_EQ(ReadValueText(c.type, c.bytes), c.text) << c.type << " " << c.text;

    const struct {
        DWORD type;
        const char* text;
        std::optional<std::string> bytes;
    } writes[] = {
        {REG_SZ, "COM1", "COM1\0"s},
        {REG_EXPAND_SZ, "%TEMP%", "%TEMP%\0"s},
        {REG_MULTI_SZ, "one", "one\0\0"s},
        {REG_BINARY, "ab", "ab"},
        {REG_DWORD, "9600", "\x80\x25\0\0"s},
        {REG_DWORD, " -1 ", "\xFF\xFF\xFF\xFF"s},
        {REG_DWORD, "4294967295", "\xFF\xFF\xFF\xFF"s},
        {REG_DWORD, "-2147483648", "\0\0\0\x80"s},
        {REG_DWORD, "4294967296", std::nullopt},
        {REG_DWORD, "-2147483649", std::nullopt},
        {REG_DWORD, "96x", std::nullopt},
        {REG_DWORD, "", std::nullopt},
        {REG_QWORD, "4294967296", "\0\0\0\0\x01\0\0\0"s},
    };
    for (const auto& c : writes) EXPECT_EQ(WrittenValueBytes(c.type, c.text), c.bytes) << c.type << " " << c.text;

    EXPECT_EQ(NumberFromValue(REG_DWORD, "\x80\x25\0\0"s), 9600u);
    EXPECT_EQ(NumberFromValue(REG_BINARY, "\x01\0\0\0"s), 1u);
    EXPECT_EQ(NumberFromValue(REG_DWORD_BIG_ENDIAN, "\0\0\x25\x80"s), 9600u);
    EXPECT_EQ(NumberFromValue(REG_SZ, "960"s), std::nullopt);
    EXPECT_EQ(NumberFromValue(REG_DWORD, "\x01\0"s), std::nullopt);

    EXPECT_EQ(JoinKeyPath("A\\B\\", "C"), "A\\B\\C");
    EXPECT_EQ(JoinKeyPath("", "C"), "C");
}

TEST(RegistryHelperRules, MultipleValuesSplitOnlyInsideTheBuffer) {
    const char buffer[] = "COM1\0\x80\x25\0\0";
    VALENTA entries[3] = {};
    entries[0] = {nullptr, 5, reinterpret_cast<DWORD_PTR>(buffer), REG_SZ};
    entries[1] = {nullptr, 4, reinterpret_cast<DWORD_PTR>(buffer + 5), REG_DWORD};
    entries[2] = {nullptr, 4, reinterpret_cast<DWORD_PTR>(buffer + 8), REG_DWORD};  // runs past the end
    EXPECT_EQ(SplitMultipleValues(entries, 3, buffer, 9), (std::vector<std::string>{"COM1", "9600", ""}));
}

// Reads through the exported helpers; outputs start with marks that failures must keep.
struct Readout {
    BSTR text = nullptr;
    uint32_t type = 0xEEEE;
    uint32_t number = 0xEEEE;
    ~Readout() { SysFreeString(text); }
};

// Gives a key the access list of an SDDL text, e.g. "D:P(A;;KR;;;WD)": everyone may read.
LONG SetKeyAccess(const std::string& path, const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return static_cast<LONG>(GetLastError());
    UniqueRegKey key;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, key.put());
    if (status == ERROR_SUCCESS) status = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return status;
}

const std::string kLocked = std::string(kKey) + "\\Locked";

class RegistryHelpersTest : public testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        SetKeyAccess(kLocked, "D:P(A;;KA;;;WD)");
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    }
};

TEST_F(RegistryHelpersTest, WritesReadBackTypesAndExistence) {
    const struct {
        const char* name;
        DWORD type;
        const char* written;
        std::string read;
    } cases[] = {
        {"Port", REG_SZ, "COM1", "COM1"},
        {"Baud", REG_DWORD, "9600", "9600"},
        {"Path", REG_EXPAND_SZ, "%SystemRoot%\\lab", "%SystemRoot%\\lab"},
        {"List", REG_MULTI_SZ, "only", "only"},
        {"Raw", REG_BINARY, "ab", "ab"},
        {"", REG_SZ, "default value", "default value"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, kKey, c.name, c.written, c.type), ERROR_SUCCESS) << c.name;
        Readout out;
        ASSERT_EQ(Reg_ReadValue(HKEY_CURRENT_USER, kKey, c.name, &out.text, &out.type), ERROR_SUCCESS) << c.name;
        EXPECT_EQ(ByteStringBytes(out.text), c.read) << c.name;
        EXPECT_EQ(out.type, c.type) << c.name;
        out.type = 0;
        EXPECT_EQ(Reg_ReadValueType(HKEY_CURRENT_USER, kKey, c.name, &out.type), ERROR_SUCCESS);
        EXPECT_EQ(out.type, c.type) << c.name;
        EXPECT_EQ(Reg_ValueExists(HKEY_CURRENT_USER, kKey, c.name), 1) << c.name;
    }
    // The string types are stored with their terminators, as the system's readers expect.
    char raw[16] = {};
    DWORD size = sizeof raw;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, kKey, "Port", RRF_RT_ANY | RRF_NOEXPAND, nullptr, raw, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(raw, size), "COM1\0"s);
    EXPECT_EQ(Reg_ValueExists(HKEY_CURRENT_USER, kKey, "Nothing"), 0);
    EXPECT_EQ(Reg_KeyExists(HKEY_CURRENT_USER, kKey), 1);
    EXPECT_EQ(Reg_KeyExists(HKEY_CURRENT_USER, kMissing), 0);

    // Values the system wrote with several strings or extra NULs lose only the trailing NULs.
    UniqueRegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
    const std::string multi = "one\0two\0\0"s, padded = "COM2\0\0"s;
    RegSetValueExA(key.get(), "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.data()), 9);
    RegSetValueExA(key.get(), "Padded", 0, REG_SZ, reinterpret_cast<const BYTE*>(padded.data()), 6);
    Readout multiOut, paddedOut;
    EXPECT_EQ(Reg_ReadValue(HKEY_CURRENT_USER, kKey, "Multi", &multiOut.text, &multiOut.type), ERROR_SUCCESS);
    EXPECT_EQ(ByteStringBytes(multiOut.text), "one\0two"s);
    EXPECT_EQ(Reg_ReadValue(HKEY_CURRENT_USER, kKey, "Padded", &paddedOut.text, &paddedOut.type), ERROR_SUCCESS);
    EXPECT_EQ(ByteStringBytes(paddedOut.text), "COM2");
}

TEST_F(RegistryHelpersTest, NumbersDefaultsAndSeveralValuesAtOnce) {
    const uint32_t baud = 9600;
    ASSERT_EQ(Reg_WriteNumber(HKEY_CURRENT_USER, kKey, "Baud", &baud), ERROR_SUCCESS);
    Readout out;
    EXPECT_EQ(Reg_ReadNumber(HKEY_CURRENT_USER, kKey, "Baud", &out.number), ERROR_SUCCESS);
    EXPECT_EQ(out.number, 9600u);
    ASSERT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, kKey, "Text", "9600", REG_SZ), ERROR_SUCCESS);
    out.number = 0xEEEE;
    EXPECT_NE(Reg_ReadNumber(HKEY_CURRENT_USER, kKey, "Text", &out.number), ERROR_SUCCESS);
    EXPECT_EQ(out.number, 0xEEEEu) << "a text value is no number: the variable keeps its value";
    EXPECT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, kKey, "Bad", "ninety", REG_DWORD), ERROR_INVALID_DATA);
    EXPECT_EQ(Reg_ValueExists(HKEY_CURRENT_USER, kKey, "Bad"), 0);

    EXPECT_EQ(Reg_WriteDefault(HKEY_CURRENT_USER, kKey, "Text", "other", REG_SZ), ERROR_SUCCESS);
    EXPECT_EQ(Reg_WriteDefault(HKEY_CURRENT_USER, kKey, "Fresh", "new", REG_SZ), ERROR_SUCCESS);
    Readout kept, fresh;
    Reg_ReadValue(HKEY_CURRENT_USER, kKey, "Text", &kept.text, &kept.type);
    Reg_ReadValue(HKEY_CURRENT_USER, kKey, "Fresh", &fresh.text, &fresh.type);
    EXPECT_EQ(ByteStringBytes(kept.text), "9600") << "an existing value is left alone";
    EXPECT_EQ(ByteStringBytes(fresh.text), "new");

    SAFEARRAY* names = nullptr;
    ASSERT_TRUE(ReplaceByteStringArray(&names, {"Fresh", "Baud", "Text"}));
    SAFEARRAY* results = nullptr;
    const int32_t two = 2;
    ASSERT_EQ(Reg_ReadValues(HKEY_CURRENT_USER, kKey, &names, &results, &two), ERROR_SUCCESS);
    std::vector<std::string> texts;
    for (LONG i = 0; i < 2; ++i) {
        BSTR item = nullptr;
        SafeArrayGetElement(results, &i, &item);
        texts.push_back(ByteStringBytes(item));
        SysFreeString(item);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"new", "9600"}));
    const int32_t tooMany = 4;
    EXPECT_EQ(Reg_ReadValues(HKEY_CURRENT_USER, kKey, &names, &results, &tooMany), ERROR_INVALID_PARAMETER);
    SafeArrayDestroy(names);
    SafeArrayDestroy(results);
}

TEST_F(RegistryHelpersTest, EnumeratesAndDeletesKeysTreesAndValues) {
    const std::string root = kKey;
    for (const char* sub : {"\\A", "\\B\\C\\D", "\\E\\F", "\\G"})
        ASSERT_EQ(Reg_CreateKey(HKEY_CURRENT_USER, (root + sub).c_str()), ERROR_SUCCESS);
    ASSERT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, (root + "\\B\\C").c_str(), "v", "1", REG_SZ), ERROR_SUCCESS);
    ASSERT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, (root + "\\G").c_str(), "v", "1", REG_SZ), ERROR_SUCCESS);

    SAFEARRAY* names = nullptr;
    int32_t count = -1;
    ASSERT_EQ(Reg_EnumKeys(HKEY_CURRENT_USER, kKey, &names, &count), ERROR_SUCCESS);
    ASSERT_EQ(count, 4);
    std::vector<std::string> found;
    for (LONG i = 0; i < count; ++i) {
        BSTR item = nullptr;
        SafeArrayGetElement(names, &i, &item);
        found.push_back(ByteStringBytes(item));
        SysFreeString(item);
    }
    EXPECT_EQ(found, (std::vector<std::string>{"A", "B", "E", "G"}));

    const struct {
        const char* title;
        LONG (*remove)(const std::string& root);
        LONG expected;
        const char* gone;  // key that no longer exists afterwards, or that still exists when refused
    } steps[] = {
        {"value", [](const std::string& r) { return Reg_DeleteValue(HKEY_CURRENT_USER, (r + "\\G").c_str(), "v"); },
         ERROR_SUCCESS, nullptr},
        {"key without sub-keys", [](const std::string& r) { return Reg_DeleteKey(HKEY_CURRENT_USER, (r + "\\A").c_str()); },
         ERROR_SUCCESS, "\\A"},
        {"tree", [](const std::string& r) { return Reg_DeleteKeyTree(HKEY_CURRENT_USER, r.c_str(), "E"); },
         ERROR_SUCCESS, "\\E"},
        {"recursive", [](const std::string& r) { return Reg_DeleteKeyRecursive(HKEY_CURRENT_USER, (r + "\\B").c_str()); },
         ERROR_SUCCESS, "\\B"},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.remove(root), s.expected) << s.title;
        if (s.gone) {
            EXPECT_EQ(Reg_KeyExists(HKEY_CURRENT_USER, (root + s.gone).c_str()), 0) << s.title;
        }
    }
    EXPECT_EQ(Reg_ValueExists(HKEY_CURRENT_USER, (root + "\\G").c_str(), "v"), 0);
    // An empty sub-key would name the root itself: refused, nothing deleted.
    EXPECT_EQ(Reg_DeleteKey(HKEY_CURRENT_USER, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Reg_DeleteKeyTree(HKEY_CURRENT_USER, kKey, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Reg_DeleteKeyRecursive(HKEY_CURRENT_USER, "\\"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Reg_KeyExists(HKEY_CURRENT_USER, (root + "\\G").c_str()), 1);
    SafeArrayDestroy(names);
}

TEST_F(RegistryHelpersTest, KeyInformationAsText) {
    ASSERT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, kKey, "Name", "COM12", REG_SZ), ERROR_SUCCESS);
    ASSERT_EQ(Reg_CreateKey(HKEY_CURRENT_USER, (std::string(kKey) + "\\Sub").c_str()), ERROR_SUCCESS);
    Readout out;
    ASSERT_EQ(Reg_KeyInfoText(HKEY_CURRENT_USER, kKey, &out.text), ERROR_SUCCESS);
    const std::string text = ByteStringBytes(out.text);
    for (const char* line : {"SubKeys: 1\r\n", "MaxSubKeyLength: 3\r\n", "Values: 1\r\n", "MaxValueNameLength: 4\r\n",
                             "MaxValueLength: ", "LastWriteTime: 2"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

// Every helper over a missing key gives ERROR_FILE_NOT_FOUND and leaves its outputs; over a
// key whose security allows only reading, the writing helpers give ERROR_ACCESS_DENIED.
TEST_F(RegistryHelpersTest, MissingKeysAndDeniedAccessGiveTheCodeAndKeepOutputs) {
    Readout out;
    ReplaceByteString(&out.text, "kept");
    SAFEARRAY* names = nullptr;
    ASSERT_TRUE(ReplaceByteStringArray(&names, {"kept"}));
    SAFEARRAY* results = names;
    int32_t count = 77;
    const int32_t one = 1;
    const uint32_t number = 1;
    EXPECT_EQ(Reg_ReadNumber(HKEY_CURRENT_USER, kMissing, "x", &out.number), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_ReadValueType(HKEY_CURRENT_USER, kMissing, "x", &out.type), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_KeyInfoText(HKEY_CURRENT_USER, kMissing, &out.text), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_EnumKeys(HKEY_CURRENT_USER, kMissing, &names, &count), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_ReadValues(HKEY_CURRENT_USER, kMissing, &names, &results, &one), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_DeleteValue(HKEY_CURRENT_USER, kMissing, "x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_DeleteKey(HKEY_CURRENT_USER, kMissing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_DeleteKeyTree(HKEY_CURRENT_USER, kMissing, "x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Reg_DeleteKeyRecursive(HKEY_CURRENT_USER, kMissing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(out.number, 0xEEEEu);
    EXPECT_EQ(out.type, 0xEEEEu);
    EXPECT_EQ(ByteStringBytes(out.text), "kept");
    EXPECT_EQ(count, 77);
    EXPECT_EQ(names, results);
    EXPECT_EQ(Reg_KeyExists(HKEY_CURRENT_USER, kMissing), 0);
    // Reading clears its outputs first.
    EXPECT_EQ(Reg_ReadValue(HKEY_CURRENT_USER, kMissing, "x", &out.text, &out.type), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ByteStringBytes(out.text), "");
    EXPECT_EQ(out.type, 0u);

    // A key that everyone may read but nobody may change.
    const std::string& locked = kLocked;
    ASSERT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, locked.c_str(), "v", "1", REG_SZ), ERROR_SUCCESS);
    ASSERT_EQ(SetKeyAccess(locked, "D:P(A;;KR;;;WD)"), ERROR_SUCCESS);
    EXPECT_EQ(Reg_WriteValue(HKEY_CURRENT_USER, locked.c_str(), "v", "2", REG_SZ), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Reg_WriteNumber(HKEY_CURRENT_USER, locked.c_str(), "n", &number), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Reg_DeleteValue(HKEY_CURRENT_USER, locked.c_str(), "v"), ERROR_ACCESS_DENIED);
    Readout still;
    EXPECT_EQ(Reg_ReadValue(HKEY_CURRENT_USER, locked.c_str(), "v", &still.text, &still.type), ERROR_SUCCESS);
    EXPECT_EQ(ByteStringBytes(still.text), "1");
    SafeArrayDestroy(names);
}

TEST(ExpandEnvironmentHelper, ExpandsAndClearsOnFailure) {
    SetEnvironmentVariableA("KESTRUNE_EXPAND", "abc");
    const std::string longValue(5000, 'L');
    SetEnvironmentVariableA("KESTRUNE_LONG", longValue.c_str());
    const struct {
        const char* in;
        std::string out;
    } cases[] = {
        {"%KESTRUNE_EXPAND%\\x", "abc\\x"},
        {"%KESTRUNE_LONG%", longValue},
        {"%KESTRUNE_UNSET_NAME%", "%KESTRUNE_UNSET_NAME%"},
        {"", ""},
    };
    for (const auto& c : cases) {
        BSTR out = nullptr;
        EXPECT_EQ(ExpandEnvironment(c.in, &out), ERROR_SUCCESS) << c.in;
        EXPECT_EQ(ByteStringBytes(out), c.out) << c.in;
        SysFreeString(out);
    }
    EXPECT_EQ(ExpandEnvironment(nullptr, nullptr), ERROR_INVALID_PARAMETER);
    SetEnvironmentVariableA("KESTRUNE_EXPAND", nullptr);
    SetEnvironmentVariableA("KESTRUNE_LONG", nullptr);
}

}  // namespace
}  // namespace kestrune

// The registry value reader against the real (Wine) registry, on a test key of its own.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <map>
#include <string>

#include "exports/registry_exports.h"
#include "registry/registry.h"
#include "support/handles.h"

namespace kestrune {
namespace {

const char kTestKey[] = "Software\\Kestrune\\Tests\\RegEnumValues";

class RegistryReaderTest : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        key_.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    }
    void Set(const std::string& name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExA(key_.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    void SetString(const std::string& name, const std::string& value) {
        Set(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }
    UniqueRegKey key_;
};

TEST_F(RegistryReaderTest, ReadsNamesTypesAndDataInOrder) {
    SetString("\\Device\\Serial0", "COM1");
    const DWORD number = 4294967295u;
    Set("Dword", REG_DWORD, &number, sizeof number);
    const BYTE binary[] = {'a', 0, 'b', 'c'};
    Set("Binary", REG_BINARY, binary, sizeof binary);
    Set("Nul inside", REG_SZ, "x\0y", 4);
    Set("Empty", REG_SZ, "", 1);

    RegValueList list;
    ASSERT_EQ(ReadRegistryValues(HKEY_CURRENT_USER, kTestKey, list), ERROR_SUCCESS);
    ASSERT_EQ(list.count, 5);
    ASSERT_EQ(list.names.size(), 5u);
    ASSERT_EQ(list.types.size(), 5u);
    ASSERT_EQ(list.data.size(), 5u);
    // The registry decides the enumeration order (Wine sorts by name): look entries up by name.
    std::map<std::string, std::pair<uint32_t, std::string>> byName;
    for (int i = 0; i < list.count; ++i) byName[list.names[i]] = {list.types[i], list.data[i]};
    EXPECT_EQ(byName["\\Device\\Serial0"], std::make_pair(uint32_t{REG_SZ}, std::string("COM1")));
    EXPECT_EQ(byName["Dword"], std::make_pair(uint32_t{REG_DWORD}, std::string("4294967295")));
    EXPECT_EQ(byName["Binary"].second, std::string("a\0bc", 4)) << "binary data keeps every byte";
    EXPECT_EQ(byName["Nul inside"].second, std::string("x\0y", 3)) << "only the final NUL is dropped";
    EXPECT_EQ(byName["Empty"].second, "");
}

// Values too long for the stored limits: every value is still read, and what is stored is
// cut (names at 259 characters, data at 260 bytes after the final NUL is dropped).
struct LongValueCase {
    std::string name;
    std::string data;  // written as REG_SZ with its NUL
    std::string storedName;
    std::string storedData;
};

TEST_F(RegistryReaderTest, LongValuesNeverEndTheRead) {
    const std::string longName = "B" + std::string(299, 'N');
    const LongValueCase cases[] = {
        {"A first", "COM1", "A first", "COM1"},
        {longName, "COM2", longName.substr(0, 259), "COM2"},
        {"C big data", std::string(5000, 'x'), "C big data", std::string(260, 'x')},
        {"D exactly 260", std::string(260, 'y'), "D exactly 260", std::string(260, 'y')},
        {"E 261", std::string(261, 'z'), "E 261", std::string(260, 'z')},
        {"F last", "COM6", "F last", "COM6"},
    };
    for (const LongValueCase& c : cases) SetString(c.name, c.data);

    // Sized from the key, and from the stored limits: then the long values come back from the
    // system as not fitting (under Wine without their names) and are read again.
    for (const bool fromKey : {true, false}) {
        RegValueList list;
        if (fromKey) {
            ASSERT_EQ(ReadRegistryValues(HKEY_CURRENT_USER, kTestKey, list), ERROR_SUCCESS);
        } else {
            ASSERT_EQ(EnumerateRegistryValues(key_.get(), {kRegNameChars, kRegDataBytes}, list), ERROR_SUCCESS);
        }
        ASSERT_EQ(list.count, 6) << fromKey;
        std::map<std::string, std::string> byName;
        for (int i = 0; i < list.count; ++i) byName[list.names[i]] = list.data[i];
        for (const LongValueCase& c : cases) {
            ASSERT_EQ(byName.count(c.storedName), 1u) << c.storedName.substr(0, 20) << " " << fromKey;
            EXPECT_EQ(byName[c.storedName], c.storedData) << c.storedName.substr(0, 20) << " " << fromKey;
        }
    }
}

TEST(RegistryBuffers, GrowToWhatTheKeyOrTheCallAsksForElseDouble) {
    struct Case {
        EnumBufferSizes current;
        DWORD keyMaxName, keyMaxData, reported;
        EnumBufferSizes expected;
    } const cases[] = {
        {{260, 260}, 300, 0, 0, {301, 260}},            // key's longest name plus its NUL
        {{260, 260}, 0, 0, 5001, {260, 5001}},           // the size the call reported
        {{260, 260}, 10, 5000, 4000, {260, 5000}},       // key's longest data
        {{260, 260}, 10, 20, 0, {520, 520}},             // nothing asks for more: double
        {{kRegMaxNameChars, kRegMaxDataBytes}, 0, 0, 0xFFFFFFFF, {kRegMaxNameChars, kRegMaxDataBytes}},
        {{260, 260}, 0xFFFFFFFF, 0xFFFFFFFF, 0, {kRegMaxNameChars, kRegMaxDataBytes}},
    };
    for (const Case& c : cases) {
        const EnumBufferSizes got = GrownEnumBuffers(c.current, c.keyMaxName, c.keyMaxData, c.reported);
        EXPECT_EQ(got.nameChars, c.expected.nameChars) << c.keyMaxName << " " << c.reported;
        EXPECT_EQ(got.dataBytes, c.expected.dataBytes) << c.keyMaxData << " " << c.reported;
    }
}

TEST_F(RegistryReaderTest, HundredsOfValues) {
    for (int i = 0; i < 600; ++i) SetString("V" + std::to_string(i), std::to_string(i));
    RegValueList list;
    ASSERT_EQ(ReadRegistryValues(HKEY_CURRENT_USER, kTestKey, list), ERROR_SUCCESS);
    EXPECT_EQ(list.count, 600);
    EXPECT_EQ(list.names.size(), 600u);
}

TEST_F(RegistryReaderTest, MissingKeyLeavesListUntouched) {
    RegValueList list;
    list.names = {"kept"};
    list.types = {1};
    list.data = {"x"};
    list.count = 1;
    EXPECT_EQ(ReadRegistryValues(HKEY_CURRENT_USER, "Software\\Kestrune\\Tests\\NoSuchKey", list), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(list.count, 1);
    EXPECT_EQ(list.names[0], "kept");
}

TEST_F(RegistryReaderTest, EmptyKeyGivesEmptyLists) {
    RegValueList list;
    EXPECT_EQ(ReadRegistryValues(HKEY_CURRENT_USER, kTestKey, list), ERROR_SUCCESS);
    EXPECT_EQ(list.count, 0);
    EXPECT_TRUE(list.names.empty());
}

TEST_F(RegistryReaderTest, ExportedReaderFillsAutomationArrays) {
    SetString("Name", "COM9");
    const BYTE binary[] = {1, 0, 2};
    Set("Bin", REG_BINARY, binary, sizeof binary);
    SAFEARRAY *names = nullptr, *types = nullptr, *data = nullptr;
    int32_t count = -1;
    ASSERT_EQ(Reg_EnumValues(HKEY_CURRENT_USER, kTestKey, &names, &types, &data, &count), ERROR_SUCCESS);
    ASSERT_EQ(count, 2);
    std::map<std::string, std::pair<LONG, std::string>> byName;
    for (LONG index = 0; index < count; ++index) {
        BSTR name = nullptr, bytes = nullptr;
        LONG type = 0;
        ASSERT_EQ(SafeArrayGetElement(names, &index, &name), S_OK);
        ASSERT_EQ(SafeArrayGetElement(data, &index, &bytes), S_OK);
        ASSERT_EQ(SafeArrayGetElement(types, &index, &type), S_OK);
        byName[std::string(reinterpret_cast<const char*>(name), SysStringByteLen(name))] = {
            type, std::string(reinterpret_cast<const char*>(bytes), SysStringByteLen(bytes))};
        SysFreeString(name);
        SysFreeString(bytes);
    }
    EXPECT_EQ(byName["Name"], std::make_pair(LONG{REG_SZ}, std::string("COM9")));
    EXPECT_EQ(byName["Bin"], std::make_pair(LONG{REG_BINARY}, std::string("\x01\x00\x02", 3)));
    SafeArrayDestroy(names);
    SafeArrayDestroy(types);
    SafeArrayDestroy(data);
}

TEST_F(RegistryReaderTest, ExportedReaderRejectsNullArguments) {
    SAFEARRAY *a = nullptr, *b = nullptr, *c = nullptr;
    int32_t count = 0;
    EXPECT_EQ(Reg_EnumValues(HKEY_CURRENT_USER, nullptr, &a, &b, &c, &count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Reg_EnumValues(HKEY_CURRENT_USER, kTestKey, nullptr, &b, &c, &count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Reg_EnumValues(HKEY_CURRENT_USER, kTestKey, &a, &b, &c, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(a, nullptr);
}

}  // namespace
}  // namespace kestrune

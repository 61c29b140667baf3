// Releasing COM number reservations over the lab: kestrune-scan --release and its sweeps,
// dry runs, backups and restores against the COM number database value the lab writes, in
// whichever world the lab runs. Every test puts the value (and the key's access list, and any
// port-list entry it hid) back as it found them.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/console/comdb_backup.h"
#include "e2e/console_output.h"
#include "lab/client/lab_client.h"
#include "support/handles.h"

namespace kestrune {
namespace {

using Json = nlohmann::json;
using Bytes = std::vector<uint8_t>;

constexpr char kPortListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

bool ReadBinary(Bytes& value) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComDbKeyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 4096;
    value.assign(size, 0);
    if (RegQueryValueExA(key.get(), kComDbValueName, nullptr, &type, value.data(), &size) != ERROR_SUCCESS) return false;
    value.resize(size);
    return type == REG_BINARY;
}

Bytes ComDb() {
    Bytes value;
    EXPECT_TRUE(ReadBinary(value));
    return value;
}

LONG SetComDb(const Bytes& value) {
    UniqueRegKey key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComDbKeyPath, 0, KEY_SET_VALUE, key.put());
    if (status == ERROR_SUCCESS)
        status = RegSetValueExA(key.get(), kComDbValueName, 0, REG_BINARY, value.data(), static_cast<DWORD>(value.size()));
    return status;
}

Bytes WithBit(Bytes value, int number, bool on) {
    const size_t bit = static_cast<size_t>(number - 1);
    if (value.size() <= bit / 8) value.resize(bit / 8 + 1, 0);
    if (on) value[bit / 8] = static_cast<uint8_t>(value[bit / 8] | (1u << (bit % 8)));
    else value[bit / 8] = static_cast<uint8_t>(value[bit / 8] & ~(1u << (bit % 8)));
    return value;
}

std::string Port(int number) { return "COM" + std::to_string(number); }

// A new empty file's name in the temp folder (the file is removed: the program must create it).
std::string TempPath(const char* prefix) {
    char folder[MAX_PATH], path[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, prefix, 0, path)) return std::string();
    DeleteFileA(path);
    return path;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string FileText(const std::string& path) {
    std::string text;
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[4096];
    DWORD got = 0;
    while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
    return text;
}

// The released and refused ports of a release document: "COM9=stale".
std::vector<std::string> Items(const Json& document, const char* list) {
    std::vector<std::string> items;
    for (const Json& item : document.at(list))
        items.push_back(item.at("port").get<std::string>() + "=" + item.at("reason").get<std::string>());
    return items;
}

class ReleaseLab : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!layout_.Load(&error)) GTEST_SKIP() << "serial lab is not up: " << error;
        ASSERT_TRUE(ReadBinary(saved_)) << "the lab writes the COM number database";
    }
    void TearDown() override {
        if (!saved_.empty()) EXPECT_EQ(SetComDb(saved_), ERROR_SUCCESS);
        for (const std::string& path : files_) DeleteFileA(path.c_str());
    }
    // A number no layout port and no reservation uses, from `from` on.
    int UnusedNumber(int from) const {
        for (int number = from;; ++number)
            if (!layout_.Find(Port(number)) &&
                std::find(layout_.comdb().begin(), layout_.comdb().end(), Port(number)) == layout_.comdb().end())
                return number;
    }
    std::string Backup() {
        files_.push_back(TempPath("kcb"));
        return files_.back();
    }
    // The program run to its end, its standard output with LF line ends.
    console_test::Finished Run(const std::string& arguments) {
        console_test::Finished run = console_test::RunToEnd(arguments);
        run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
        return run;
    }

    lab::Layout layout_;
    Bytes saved_;
    std::vector<std::string> files_;
};

// One number of each kind the database can hold, released or refused one by one.
TEST_F(ReleaseLab, EachKindOfNumberReleasedOrRefused) {
    const int stale = UnusedNumber(20);
    const lab::Port* present = nullptr;
    const lab::Port* listed = nullptr;  // named by the device map or port list, no present device
    for (const lab::Port& port : layout_.ports()) {
        if (!present && !port.instance_id.empty() && !port.phantom && port.present) present = &port;
        if (!listed && (port.instance_id.empty() || port.phantom) &&
            (!port.device_map_name.empty() || !port.port_list.empty()))
            listed = &port;
    }
    ASSERT_NE(present, nullptr);
    ASSERT_NE(listed, nullptr);
    const int listedNumber = std::stoi(listed->com.substr(3));
    const Bytes start = WithBit(WithBit(saved_, stale, true), listedNumber, true);
    ASSERT_EQ(SetComDb(start), ERROR_SUCCESS);

    const struct {
        std::string asked;
        int status;
        std::vector<std::string> released, refused;
    } cases[] = {
        {Port(stale), 0, {Port(stale) + "=stale"}, {}},
        {present->com, 1, {}, {present->com + "=a device that is present uses it"}},
        {listed->com, 1, {}, {listed->com + (listed->device_map_name.empty() ? "=the port list names it now"
                                                                          : "=the device map names it now")}},
        {"COM5000", 1, {}, {"COM5000=outside the COM number range"}},
        {present->com + " " + Port(stale), 1, {Port(stale) + "=stale"},
         {present->com + "=a device that is present uses it"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        ASSERT_EQ(SetComDb(start), ERROR_SUCCESS);
        const std::string backup = Backup();
        const console_test::Finished run = Run("--release " + c.asked + " --json --backup \"" + backup + "\"");
        ASSERT_EQ(run.status, c.status) << run.out << run.err;
        const Json document = Json::parse(run.out);
        EXPECT_EQ(document.at("mode"), "release");
        EXPECT_EQ(document.at("dry_run"), false);
        EXPECT_EQ(Items(document, "released"), c.released);
        EXPECT_EQ(Items(document, "refused"), c.refused);
        const Bytes expected = c.released.empty() ? start : WithBit(start, stale, false);
        EXPECT_EQ(ComDb(), expected);
        if (c.released.empty()) {
            EXPECT_TRUE(document.at("backup").is_null());
            EXPECT_FALSE(FileExists(backup)) << "nothing changed, nothing saved";
        } else {
            EXPECT_EQ(document.at("backup"), backup);
            std::string why;
            EXPECT_EQ(ParseComDbBackup(FileText(backup), &why), start) << why;
        }
    }
}

// A value shorter than 32 bytes keeps its length; a number past its end is not reserved.
TEST_F(ReleaseLab, ShortValueKeepsItsLength) {
    const int number = UnusedNumber(11);
    ASSERT_LE(number, 16);
    ASSERT_EQ(SetComDb(WithBit(Bytes(2, 0), number, true)), ERROR_SUCCESS);
    const std::string backup = Backup();
    const console_test::Finished run =
        Run("--release " + Port(number) + " COM40 --json --backup \"" + backup + "\"");
    ASSERT_EQ(run.status, 1) << run.out << run.err;
    const Json document = Json::parse(run.out);
    EXPECT_EQ(Items(document, "released"), std::vector<std::string>{Port(number) + "=stale"});
    EXPECT_EQ(Items(document, "refused"), std::vector<std::string>{"COM40=not reserved"});
    EXPECT_EQ(ComDb(), Bytes(2, 0));
}

// A dry run changes nothing and shows what would; the sweep then does it, and the backup
// it wrote puts everything back. A file that is not such a backup is refused.
TEST_F(ReleaseLab, DryRunSweepBackupAndRestore) {
    const int stale = UnusedNumber(20);
    const Bytes start = WithBit(saved_, stale, true);
    ASSERT_EQ(SetComDb(start), ERROR_SUCCESS);

    const console_test::Finished dry = Run("--release-stale --dry-run");
    ASSERT_EQ(dry.status, 0) << dry.out << dry.err;
    EXPECT_EQ(dry.out.rfind("Would release (dry run, nothing changed):\n", 0), 0u) << dry.out;
    EXPECT_NE(dry.out.find("\n" + Port(stale) + "  stale\n"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("would change"), std::string::npos) << dry.out;
    EXPECT_EQ(ComDb(), start);

    const std::string backup = Backup();
    const console_test::Finished swept = Run("--release-stale --backup \"" + backup + "\"");
    ASSERT_EQ(swept.status, 0) << swept.out << swept.err;
    EXPECT_EQ(swept.out.rfind("Released:\n", 0), 0u) << swept.out;
    EXPECT_NE(swept.out.find("\n" + Port(stale) + "  stale\n"), std::string::npos) << swept.out;
    EXPECT_NE(swept.out.find("Previous value saved to " + backup), std::string::npos) << swept.out;
    Bytes swept_value = ComDb();
    for (const std::string& com : layout_.reserve()) swept_value = WithBit(swept_value, std::stoi(com.substr(3)), true);
    EXPECT_EQ(swept_value, saved_) << "only stale numbers went";

    const std::string second = Backup();
    const console_test::Finished restored = Run("--restore \"" + backup + "\" --json --backup \"" + second + "\"");
    ASSERT_EQ(restored.status, 0) << restored.out << restored.err;
    const Json document = Json::parse(restored.out);
    EXPECT_EQ(document.at("mode"), "restore");
    EXPECT_EQ(document.at("restored"), true);
    EXPECT_EQ(ComDb(), start);
    std::string why;
    EXPECT_TRUE(ParseComDbBackup(FileText(second), &why).has_value()) << "the restore saved what it replaced";

    // Not a backup: an empty file, a registry export, a backup with one byte changed.
    std::string damaged = FileText(backup);
    damaged[damaged.find("data: ") + 7] ^= 1;
    for (const std::string& text : {std::string(), std::string("Windows Registry Editor Version 5.00\r\n"), damaged}) {
        const std::string file = Backup();
        UniqueHandle handle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD wrote = 0;
        ASSERT_TRUE(handle && (text.empty() || WriteFile(handle.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr)));
        handle.reset();
        ASSERT_EQ(SetComDb(saved_), ERROR_SUCCESS);
        const console_test::Finished refused = Run("--restore \"" + file + "\"");
        EXPECT_EQ(refused.status, 1) << text;
        EXPECT_NE(refused.err.find("kestrune-scan: " + file + ": "), std::string::npos) << refused.err;
        EXPECT_EQ(ComDb(), saved_);
    }
}

// A backup put back frees only what a release would: a number a present device uses now
// stays reserved and is listed. A backup of another machine, or one naming no machine, needs
// --force; an existing --backup file is never replaced. Refusals change nothing.
TEST_F(ReleaseLab, RestoreKeepsNumbersInUseAndChecksItsMachine) {
    const lab::Port* present = nullptr;
    for (const lab::Port& port : layout_.ports())
        if (!present && !port.instance_id.empty() && !port.phantom && port.present) present = &port;
    ASSERT_NE(present, nullptr);
    const int inUse = std::stoi(present->com.substr(3));
    const int stale = UnusedNumber(20);
    const Bytes start = WithBit(WithBit(saved_, stale, true), inUse, true);
    // Taken before the adapter came: neither number reserved.
    const Bytes older = WithBit(WithBit(start, stale, false), inUse, false);
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    const std::string here(name, size);
    const std::string existing = Backup();
    {
        UniqueHandle file(CreateFileA(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD wrote = 0;
        ASSERT_TRUE(file && WriteFile(file.get(), "mine", 4, &wrote, nullptr));
    }
    const std::string kept = present->com + "=a device that is present uses it";
    const struct {
        const char* title;
        std::optional<std::string> machine;
        std::string options;
        int status;
        Bytes after;
        std::vector<std::string> kept;
        std::string error;  // part of the document's error, empty when none
    } cases[] = {
        {"older than the adapter", here, "", 1, WithBit(start, stale, false), {kept}, ""},
        {"another machine's", std::string("OTHER-PC"), "", 1, start, {}, "OTHER-PC"},
        {"another machine's, forced", std::string("OTHER-PC"), " --force", 1, WithBit(start, stale, false), {kept}, ""},
        {"an older backup naming no machine", std::nullopt, "", 1, start, {}, "names no machine"},
        {"an existing backup file", here, " --backup \"" + existing + "\"", 1, start, {}, "exists already"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_EQ(SetComDb(start), ERROR_SUCCESS);
        std::string text = ComDbBackupText(older, "2026-12-09 02:40:11", c.machine.value_or(""));
        if (!c.machine) text.erase(text.find("machine: "), text.find("saved: ") - text.find("machine: "));
        const std::string file = Backup();
        {
            UniqueHandle handle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
            DWORD wrote = 0;
            ASSERT_TRUE(handle && WriteFile(handle.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr));
        }
        const std::string options = c.options.find("--backup") == std::string::npos
                                        ? c.options + " --backup \"" + Backup() + "\""
                                        : c.options;
        const console_test::Finished run = Run("--restore \"" + file + "\" --json" + options);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        const Json document = Json::parse(run.out);
        EXPECT_EQ(document.at("mode"), "restore");
        EXPECT_EQ(Items(document, "kept"), c.kept);
        EXPECT_EQ(ComDb(), c.after);
        if (c.error.empty()) {
            EXPECT_TRUE(document.at("error").is_null()) << document.at("error");
            EXPECT_TRUE(ParseComDbBackup(FileText(document.at("backup").get<std::string>()), nullptr).has_value());
        } else {
            EXPECT_NE(document.at("error").get<std::string>().find(c.error), std::string::npos) << document.at("error");
            EXPECT_TRUE(document.at("backup").is_null());
        }
    }
    EXPECT_EQ(FileText(existing), "mine");
}

// Puts a key's access list back at scope end.
class SavedAccess {
public:
    explicit SavedAccess(const char* path) : path_(path) {
        UniqueRegKey key;
        DWORD size = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, READ_CONTROL, key.put()) != ERROR_SUCCESS) return;
        RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        descriptor_.resize(size);
        if (!size || RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor_.data(), &size) != ERROR_SUCCESS)
            descriptor_.clear();
    }
    ~SavedAccess() {
        if (descriptor_.empty()) return;
        UniqueRegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, WRITE_DAC, key.put()) == ERROR_SUCCESS)
            RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor_.data());
    }
    bool ok() const { return !descriptor_.empty(); }
    // Gives the key the access list of an SDDL text.
    LONG Set(const char* sddl) const {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
            return static_cast<LONG>(GetLastError());
        UniqueRegKey key;
        LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, WRITE_DAC, key.put());
        if (status == ERROR_SUCCESS) status = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
        return status;
    }

private:
    const char* path_;
    std::vector<BYTE> descriptor_;
};

// A key that everyone may read but nobody may change: one line that says so, exit 1, and
// nothing written (neither the value nor a backup).
TEST_F(ReleaseLab, ReadOnlyKeyNeedsAdministratorRights) {
    const int stale = UnusedNumber(20);
    const Bytes start = WithBit(saved_, stale, true);
    ASSERT_EQ(SetComDb(start), ERROR_SUCCESS);
    const std::string backup = Backup();
    console_test::Finished run;
    {
        SavedAccess access(kComDbKeyPath);
        ASSERT_TRUE(access.ok());
        ASSERT_EQ(access.Set("D:P(A;;KR;;;WD)"), ERROR_SUCCESS);
        run = Run("--release " + Port(stale) + " --backup \"" + backup + "\"");
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(console_test::Lines(run.err),
              std::vector<std::string>{"kestrune-scan: administrator rights are needed to change the COM number database"});
    EXPECT_EQ(ComDb(), start);
    EXPECT_FALSE(FileExists(backup));
    EXPECT_EQ(SetComDb(start), ERROR_SUCCESS) << "the key's access list is back";
}

// The number of an unplugged device goes with --release-absent, with the warning that the
// device may get a new number; a present device's number stays.
TEST_F(ReleaseLab, AbsentSweepReleasesAPhantomsNumber) {
    const lab::Port* phantom = nullptr;
    for (const lab::Port& port : layout_.ports())
        if (!phantom && port.phantom) phantom = &port;
    const lab::Port* adapter = nullptr;
    for (const lab::Port& port : layout_.ports())
        if (!phantom && !adapter && !port.vid.empty() && port.present && port.kind != lab::Kind::Held) adapter = &port;
    if (!phantom && !adapter) GTEST_SKIP() << "no phantom and no free USB adapter in this layout";
    const std::string com = phantom ? phantom->com : adapter->com;
    // Unplugged now (the lab's own phantom, or an adapter pulled for this test) ...
    if (adapter) {
        ASSERT_TRUE(lab::RemovePort(layout_, com));
    }
    // ... and no longer in the port list, as a USB adapter's number is not.
    UniqueRegKey ports;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortListKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, ports.put()),
              ERROR_SUCCESS);
    const std::string valueName = com + ":";
    char data[256] = {};
    DWORD type = 0, size = sizeof data - 1;
    const bool listed = RegQueryValueExA(ports.get(), valueName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
    if (listed) RegDeleteValueA(ports.get(), valueName.c_str());

    const std::string backup = Backup();
    const console_test::Finished run = Run("--release-absent --json --backup \"" + backup + "\"");
    const Bytes after = ComDb();
    if (listed) RegSetValueExA(ports.get(), valueName.c_str(), 0, type, reinterpret_cast<BYTE*>(data), size);
    const bool replugged = !adapter || lab::ReplugPort(layout_, com);

    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const Json document = Json::parse(run.out);
    const std::vector<std::string> released = Items(document, "released");
    EXPECT_NE(std::find(released.begin(), released.end(), com + "=phantom"), released.end()) << run.out;
    EXPECT_FALSE(document.at("notice").is_null());
    Bytes expected = WithBit(saved_, std::stoi(com.substr(3)), false);
    for (const std::string& stale : layout_.reserve()) expected = WithBit(expected, std::stoi(stale.substr(3)), false);
    EXPECT_EQ(after, expected);
    EXPECT_TRUE(replugged);
}

}  // namespace
}  // namespace kestrune

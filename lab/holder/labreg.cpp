// labreg.exe - writes the serial device map of the lab machine.
//
// The device map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) is volatile: the mount
// manager fills it at every start of the Wine server. This program waits
// until the mount manager has written its entries, then replaces every value
// of the key with the lab's entries.
//
// Usage: labreg.exe ENTRYFILE
// ENTRYFILE (ANSI text): first line "expect N" (how many entries the mount
// manager writes; 0 = do not wait), then one line per entry:
// "<value name>\t<COM name>".
// Exit status: 0 written and verified, 2 bad arguments or entry file, 3 registry
// error, 4 written but the mount manager never showed up (timeout).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kKeyPath[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

using Entries = std::vector<std::pair<std::string, std::string>>;

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { reset(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* out() { reset(); return &key_; }
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    void reset() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

bool read_entry_file(const char* path, DWORD& expect, Entries& entries) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char line[2048];
    bool first = true;
    while (std::fgets(line, sizeof line, f)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        if (first) {
            first = false;
            if (s.compare(0, 7, "expect ") != 0) {
                std::fclose(f);
                return false;
            }
            expect = static_cast<DWORD>(std::strtoul(s.c_str() + 7, nullptr, 10));
            continue;
        }
        if (s.empty()) continue;
        size_t tab = s.find('\t');
        if (tab == std::string::npos) {
            std::fclose(f);
            return false;
        }
        entries.emplace_back(s.substr(0, tab), s.substr(tab + 1));
    }
    std::fclose(f);
    return !first;
}

DWORD value_count(HKEY key) {
    DWORD n = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &n, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return n;
}

Entries read_values(HKEY key) {
    Entries out;
    for (DWORD i = 0;; i++) {
        char name[1024];
        BYTE data[1024];
        DWORD nlen = sizeof name, dlen = sizeof data - 1, type = 0;
        LONG rc = RegEnumValueA(key, i, name, &nlen, nullptr, &type, data, &dlen);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) break;
        data[dlen] = 0;
        std::string value(reinterpret_cast<char*>(data), dlen);
        while (!value.empty() && value.back() == '\0') value.pop_back();
        out.emplace_back(std::string(name, nlen), value);
    }
    return out;
}

bool same(const Entries& a, const Entries& b) {
    if (a.size() != b.size()) return false;
    for (const auto& e : b) {
        bool found = false;
        for (const auto& x : a)
            if (lstrcmpiA(x.first.c_str(), e.first.c_str()) == 0 && x.second == e.second) found = true;
        if (!found) return false;
    }
    return true;
}

bool rewrite(HKEY key, const Entries& entries) {
    // Delete every value, then write the lab's.
    for (;;) {
        char name[1024];
        DWORD nlen = sizeof name;
        LONG rc = RegEnumValueA(key, 0, name, &nlen, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break;
        if (RegDeleteValueA(key, name) != ERROR_SUCCESS) return false;
    }
    for (const auto& e : entries) {
        if (RegSetValueExA(key, e.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(e.second.c_str()),
                           static_cast<DWORD>(e.second.size() + 1)) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: labreg.exe ENTRYFILE\n");
        return 2;
    }
    DWORD expect = 0;
    Entries entries;
    if (!read_entry_file(argv[1], expect, entries)) {
        std::fprintf(stderr, "labreg: cannot read entry file %s\n", argv[1]);
        return 2;
    }

    // Wait for the mount manager to publish its entries (it runs in a service
    // process that starts together with the first program of the server).
    bool seen = expect == 0;
    DWORD start = GetTickCount();
    RegKey key;
    while (!seen && GetTickCount() - start < 20000) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, key.out()) == ERROR_SUCCESS &&
            value_count(key.get()) >= expect)
            seen = true;
        else
            Sleep(20);
    }
    key.reset();
    // Let the mount manager finish its pass over the remaining device kinds.
    if (expect) Sleep(50);

    DWORD disp = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.out(), &disp) != ERROR_SUCCESS) {
        std::fprintf(stderr, "labreg: cannot open the device map\n");
        return 3;
    }
    for (int attempt = 0; attempt < 5; attempt++) {
        if (!rewrite(key.get(), entries)) {
            std::fprintf(stderr, "labreg: cannot write the device map\n");
            return 3;
        }
        Sleep(attempt == 0 ? 100 : 200);
        if (same(read_values(key.get()), entries)) return seen ? 0 : 4;
    }
    std::fprintf(stderr, "labreg: the device map keeps changing\n");
    return 3;
}

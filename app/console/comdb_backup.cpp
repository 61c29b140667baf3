#include "app/console/comdb_backup.h"

#include <cstdio>

namespace kestrune {

const char kComDbKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const char kComDbValueName[] = "ComDB";

namespace {

const char kHeader[] = "Kestrune COM number database backup 1";
// The database covers COM1 to COM4096: 512 bytes. A backup may hold up to what a reader takes.
constexpr std::size_t kMostBytes = 4096;

std::string Hex32(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The next line of text from at on, without its line end; false at the end.
bool NextLine(std::string_view text, std::size_t& at, std::string_view& line) {
    if (at >= text.size()) return false;
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    return true;
}

std::optional<std::vector<uint8_t>> Fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return std::nullopt;
}

}  // namespace

uint32_t Crc32(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string ComDbBackupText(const std::vector<uint8_t>& value, const std::string& savedAt, const std::string& machine) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string data;
    for (uint8_t b : value) {
        data += kHex[b >> 4];
        data += kHex[b & 15];
    }
    return std::string(kHeader) + "\r\nkey: HKEY_LOCAL_MACHINE\\" + kComDbKeyPath + "\r\nvalue: " + kComDbValueName +
           "\r\nmachine: " + machine + "\r\nsaved: " + savedAt + "\r\nbytes: " + std::to_string(value.size()) + "\r\ndata: " + data +
           "\r\ncheck: " + Hex32(Crc32(value)) + "\r\n";
}

std::optional<std::vector<uint8_t>> ParseComDbBackup(std::string_view text, std::string* why,
                                                     std::optional<std::string>* machine) {
    std::size_t at = 0;
    std::string_view line;
    if (!NextLine(text, at, line) || line != kHeader) return Fail(why, "not a COM number database backup");
    std::string key, value, bytes, data, check, savedOn;
    const std::pair<const char*, std::string*> fields[] = {{"key: ", &key},     {"value: ", &value},
                                                           {"machine: ", &savedOn}, {"bytes: ", &bytes},
                                                           {"data: ", &data}, {"check: ", &check}};
    bool named = false;
    while (NextLine(text, at, line)) {
        if (line.substr(0, 9) == "machine: ") named = true;
        for (const auto& field : fields) {
            const std::string_view name = field.first;
            if (line.substr(0, name.size()) == name) *field.second = std::string(line.substr(name.size()));
        }
    }
    if (key != std::string("HKEY_LOCAL_MACHINE\\") + kComDbKeyPath || value != kComDbValueName)
        return Fail(why, "the backup is of another registry value");
    if (bytes.empty() || bytes.size() > 5 || bytes.find_first_not_of("0123456789") != std::string::npos)
        return Fail(why, "the backup's length is damaged");
    const std::size_t size = static_cast<std::size_t>(std::stoul(bytes));
    if (size == 0 || size > kMostBytes || data.size() != 2 * size) return Fail(why, "the backup's data is damaged");
    std::vector<uint8_t> out(size);
    for (std::size_t i = 0; i < size; ++i) {
        const int high = HexDigit(data[2 * i]), low = HexDigit(data[2 * i + 1]);
        if (high < 0 || low < 0) return Fail(why, "the backup's data is damaged");
        out[i] = static_cast<uint8_t>(high * 16 + low);
    }
    if (check != Hex32(Crc32(out))) return Fail(why, "the backup's check does not match its data");
    if (machine) *machine = named ? std::optional<std::string>(savedOn) : std::nullopt;
    return out;
}

}  // namespace kestrune

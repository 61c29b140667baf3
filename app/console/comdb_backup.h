#pragma once
// The file a release writes before it changes the COM number database: the whole previous
// value, in a form a person can read and a restore can trust.
//
//   Kestrune COM number database backup 1
//   key: HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\COM Name Arbiter
//   value: ComDB
//   machine: LAB-7
//   saved: 2026-12-09 02:40:11
//   bytes: 32
//   data: 7C02000000...
//   check: 1A2B3C4D
//
// Lines end with CR LF (LF alone is read too). "check" is the CRC-32 of the value's bytes;
// a file whose header, key, value name, length or check does not match is not a backup.
// "machine" is the computer's name where the value was saved; older backups have none.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

extern const char kComDbKeyPath[];   // under HKEY_LOCAL_MACHINE
extern const char kComDbValueName[];

// The backup text of value, saved on the named machine at the given local time text.
std::string ComDbBackupText(const std::vector<uint8_t>& value, const std::string& savedAt, const std::string& machine);

// The value a backup text holds; nullopt with *why set when text is not such a backup.
// *machine receives the machine line's name, nullopt when the backup has none.
std::optional<std::vector<uint8_t>> ParseComDbBackup(std::string_view text, std::string* why,
                                                     std::optional<std::string>* machine = nullptr);

uint32_t Crc32(const std::vector<uint8_t>& bytes);

}  // namespace kestrune

#pragma once
// One snapshot of the system handle table: which process holds which handle to which
// object. Taken once per owner search and read as plain entries.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrune {

// One handle of the system table. Identifiers are kept in full (32 bits); the address is
// the object's kernel address as the table gives it; the type is the system's number for
// the kind of object (file, event, ...), which differs between systems; it is not part of
// the handle's identity.
struct HandleEntry {
    uint32_t processId = 0;
    uint32_t handleValue = 0;
    uint64_t objectAddress = 0;
    uint16_t objectType = 0;
    bool operator==(const HandleEntry& o) const {
        return processId == o.processId && handleValue == o.handleValue && objectAddress == o.objectAddress;
    }
};

// The two layouts of the system handle table: the extended one (information class 64,
// full-width process ids and handle values) and the classic one (class 16, 16-bit handle
// values), each in the layout of the build's own word size.
enum class HandleTableLayout { kExtended, kClassic };
constexpr ULONG kExtendedHandleInformationClass = 64;
constexpr ULONG kClassicHandleInformationClass = 16;

// Reads the entries of a table the system wrote into data[0..size). A count that does not
// fit the bytes given keeps only the entries that do. False when not even the count fits.
bool ParseHandleTable(const void* data, std::size_t size, HandleTableLayout layout,
                      std::vector<HandleEntry>& entries);

// Size of the next snapshot buffer after a query that found current bytes too small and
// reported that it needs reported bytes (0 when the system says nothing, as Wine does):
// at least twice the current size, at least the reported size plus an eighth for growth,
// never above kMaxSnapshotBytes. 0 when the buffer cannot grow any further.
constexpr std::size_t kFirstSnapshotBytes = 256 * 1024;
constexpr std::size_t kMaxSnapshotBytes = 256u * 1024 * 1024;
constexpr int kMaxSnapshotTries = 10;
std::size_t NextSnapshotBufferSize(std::size_t current, std::size_t reported);
// Size of the first buffer of a snapshot, given the bytes the last table took (0 for
// none): that size and a quarter for growth, at least kFirstSnapshotBytes.
std::size_t FirstSnapshotBufferSize(std::size_t lastFit);
// The bytes a table of count entries takes in the given layout, its count field included.
std::size_t HandleTableBytes(HandleTableLayout layout, std::size_t count);
// The first buffer size the next snapshot of this process will try.
std::size_t SnapshotFirstBufferBytes();

// One snapshot of the system handle table in the given layout; the buffer grows until the
// query succeeds (bounded tries). False when the system does not offer the layout.
bool TakeHandleSnapshotIn(HandleTableLayout layout, std::vector<HandleEntry>& entries);

// One snapshot of the system handle table, extended layout when the system has it, the
// classic one otherwise; the buffer grows until the query succeeds (bounded tries).
// False when no layout gave a table; entries is then empty.
bool TakeHandleSnapshot(std::vector<HandleEntry>& entries, HandleTableLayout* used = nullptr);

// The entry of a handle of this process; null when the snapshot does not list it.
const HandleEntry* FindOwnEntry(const std::vector<HandleEntry>& entries, uint32_t processId, uint32_t handleValue);

}  // namespace kestrune

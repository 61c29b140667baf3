#include "scan/handle_snapshot.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

extern "C" LONG NTAPI NtQuerySystemInformation(ULONG, void*, ULONG, ULONG*);

namespace kestrune {

namespace {

constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

// The system's own layouts of the two handle tables, in this build's word size.
struct ClassicEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handleValue;
    void* object;
    ULONG grantedAccess;
};
struct ClassicTable {
    ULONG count;
    ClassicEntry entries[1];
};
struct ExtendedEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};
struct ExtendedTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    ExtendedEntry entries[1];
};

// The system writes these bytes: 16- and 28-byte entries on 32-bit Windows, 24 and 40 on 64-bit.
constexpr std::size_t kWord = sizeof(void*);
static_assert(kWord == 4 || kWord == 8);
static_assert(offsetof(ClassicEntry, processId) == 0 && offsetof(ClassicEntry, objectType) == 4 &&
              offsetof(ClassicEntry, flags) == 5 && offsetof(ClassicEntry, handleValue) == 6 &&
              offsetof(ClassicEntry, object) == 8 && offsetof(ClassicEntry, grantedAccess) == 8 + kWord);
static_assert(sizeof(ClassicEntry) == (kWord == 4 ? 16 : 24));
static_assert(offsetof(ClassicTable, entries) == kWord);
static_assert(offsetof(ExtendedEntry, object) == 0 && offsetof(ExtendedEntry, processId) == kWord &&
              offsetof(ExtendedEntry, handleValue) == 2 * kWord &&
              offsetof(ExtendedEntry, grantedAccess) == 3 * kWord &&
              offsetof(ExtendedEntry, creatorBackTraceIndex) == 3 * kWord + 4 &&
              offsetof(ExtendedEntry, objectType) == 3 * kWord + 6 &&
              offsetof(ExtendedEntry, attributes) == 3 * kWord + 8 &&
              offsetof(ExtendedEntry, reserved) == 3 * kWord + 12);
static_assert(sizeof(ExtendedEntry) == (kWord == 4 ? 28 : 40));
static_assert(offsetof(ExtendedTable, count) == 0 && offsetof(ExtendedTable, entries) == 2 * kWord);

template <typename Table, typename Entry, typename Convert>
bool ParseTable(const unsigned char* bytes, std::size_t size, std::vector<HandleEntry>& out, Convert convert) {
    const std::size_t first = offsetof(Table, entries);
    if (size < first) return false;
    decltype(Table::count) count;
    std::memcpy(&count, bytes, sizeof count);
    const std::size_t fit = (size - first) / sizeof(Entry);
    const std::size_t n = std::min<std::size_t>(count, fit);
    out.reserve(out.size() + n);
    for (std::size_t i = 0; i < n; ++i) {
        Entry e;
        std::memcpy(&e, bytes + first + i * sizeof(Entry), sizeof e);
        out.push_back(convert(e));
    }
    return true;
}

}  // namespace

bool ParseHandleTable(const void* data, std::size_t size, HandleTableLayout layout,
                      std::vector<HandleEntry>& entries) {
    entries.clear();
    if (!data) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (layout == HandleTableLayout::kExtended) {
        return ParseTable<ExtendedTable, ExtendedEntry>(bytes, size, entries, [](const ExtendedEntry& e) {
            return HandleEntry{static_cast<uint32_t>(e.processId), static_cast<uint32_t>(e.handleValue),
                               static_cast<uint64_t>(reinterpret_cast<uintptr_t>(e.object)), e.objectType};
        });
    }
    return ParseTable<ClassicTable, ClassicEntry>(bytes, size, entries, [](const ClassicEntry& e) {
        return HandleEntry{e.processId, e.handleValue, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(e.object)),
                           e.objectType};
    });
}

std::size_t NextSnapshotBufferSize(std::size_t current, std::size_t reported) {
    if (current >= kMaxSnapshotBytes) return 0;
    std::size_t next = current < kMaxSnapshotBytes / 2 ? current * 2 : kMaxSnapshotBytes;
    if (next == 0) next = kFirstSnapshotBytes;
    if (reported < kMaxSnapshotBytes) next = std::max(next, reported + reported / 8);
    else next = kMaxSnapshotBytes;
    return std::min(next, kMaxSnapshotBytes);
}

std::size_t HandleTableBytes(HandleTableLayout layout, std::size_t count) {
    if (layout == HandleTableLayout::kExtended) return offsetof(ExtendedTable, entries) + count * sizeof(ExtendedEntry);
    return offsetof(ClassicTable, entries) + count * sizeof(ClassicEntry);
}

std::size_t FirstSnapshotBufferSize(std::size_t lastFit) {
    if (lastFit >= kMaxSnapshotBytes) return kMaxSnapshotBytes;
    return std::max(kFirstSnapshotBytes, std::min(kMaxSnapshotBytes, lastFit + lastFit / 4));
}

namespace {
// The bytes the last table took (not the buffer that held it: remembering the buffer would
// grow the next one by a quarter at every snapshot, up to the largest size).
std::atomic<std::size_t> lastTableBytes{0};
}  // namespace

std::size_t SnapshotFirstBufferBytes() { return FirstSnapshotBufferSize(lastTableBytes.load()); }

bool TakeHandleSnapshotIn(HandleTableLayout layout, std::vector<HandleEntry>& entries) {
    const ULONG infoClass = layout == HandleTableLayout::kExtended ? kExtendedHandleInformationClass
                                                                  : kClassicHandleInformationClass;
    // The table rarely shrinks or grows much between scans: the size it took last time,
    // with room for growth, usually fits at once, so the system lists the table once.
    std::size_t size = SnapshotFirstBufferBytes();
    for (int attempt = 0; attempt < kMaxSnapshotTries && size != 0; ++attempt) {
        std::vector<unsigned char> buffer(size, 0);
        ULONG reported = 0;
        const LONG status = NtQuerySystemInformation(infoClass, buffer.data(), static_cast<ULONG>(size), &reported);
        if (status == kStatusSuccess) {
            const std::size_t filled = reported != 0 && reported <= size ? reported : size;
            if (!ParseHandleTable(buffer.data(), filled, layout, entries)) return false;
            lastTableBytes.store(HandleTableBytes(layout, entries.size()));
            return true;
        }
        if (status != kStatusInfoLengthMismatch && status != kStatusBufferOverflow && status != kStatusBufferTooSmall)
            return false;  // this layout is not offered
        size = NextSnapshotBufferSize(size, reported);
    }
    return false;
}

bool TakeHandleSnapshot(std::vector<HandleEntry>& entries, HandleTableLayout* used) {
    for (HandleTableLayout layout : {HandleTableLayout::kExtended, HandleTableLayout::kClassic}) {
        if (TakeHandleSnapshotIn(layout, entries)) {
            if (used) *used = layout;
            return true;
        }
    }
    entries.clear();
    return false;
}

const HandleEntry* FindOwnEntry(const std::vector<HandleEntry>& entries, uint32_t processId, uint32_t handleValue) {
    for (const HandleEntry& entry : entries)
        if (entry.processId == processId && entry.handleValue == handleValue) return &entry;
    return nullptr;
}

}  // namespace kestrune

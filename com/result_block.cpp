#include "com/result_block.h"

#include <windows.h>

#include <atomic>
#include <utility>

namespace kestrune {

std::optional<uint64_t> PlaceInFreeRegion(uint64_t regionBase, uint64_t regionSize, uint64_t bytes,
                                          uint64_t limit, uint64_t granularity) {
    if (bytes == 0 || granularity == 0) return std::nullopt;
    const uint64_t base = (regionBase + granularity - 1) / granularity * granularity;
    const uint64_t regionEnd = regionBase + regionSize;
    if (base < regionBase || base >= regionEnd || regionEnd - base < bytes) return std::nullopt;
    if (base > limit || limit - base < bytes) return std::nullopt;
    return base;
}

namespace {

std::atomic<uint64_t> g_limit{kAddressLimit32};

// Walks the free regions from the bottom of the address space and takes the first place
// that fits under limit. Another thread may take a region first: then the walk goes on.
void* AllocateBelow(std::size_t bytes, uint64_t limit) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    uintptr_t address = reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress);
    const uintptr_t top = reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (address < top && address < limit &&
           VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == sizeof region) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(region.BaseAddress);
        if (region.State == MEM_FREE) {
            if (const auto place = PlaceInFreeRegion(base, region.RegionSize, bytes, limit,
                                                     info.dwAllocationGranularity)) {
                if (void* block = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(*place)), bytes,
                                               MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))
                    return block;
            }
        }
        if (base + region.RegionSize <= address) break;
        address = base + region.RegionSize;
    }
    return nullptr;
}

}  // namespace

uint64_t ResultBlockLimit() { return g_limit; }

ScopedResultBlockLimit::ScopedResultBlockLimit(uint64_t limit) : previous_(g_limit.exchange(limit)) {}
ScopedResultBlockLimit::~ScopedResultBlockLimit() { g_limit = previous_; }

ResultBlock::ResultBlock(ResultBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

ResultBlock& ResultBlock::operator=(ResultBlock&& other) noexcept {
    if (this != &other) {
        reset();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

ResultBlock::~ResultBlock() { reset(); }

void ResultBlock::reset() {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = 0;
}

ResultBlock ResultBlock::Allocate(std::size_t bytes, uint64_t limit) {
    ResultBlock block;
    if (bytes == 0) return block;
    if (sizeof(void*) == 4 && limit >= kAddressLimit32)
        block.data_ = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    else
        block.data_ = AllocateBelow(bytes, limit);
    if (block.data_) block.size_ = bytes;
    return block;
}

}  // namespace kestrune

#pragma once
// The memory behind the address that the class's scan method hands back. The address
// travels in a 32-bit argument, so in a 64-bit process the block must lie below 4 GB;
// where that cannot be had there is no block, never a cut address.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kestrune {

// Highest end address (exclusive) that a 32-bit argument can carry.
constexpr uint64_t kAddressLimit32 = uint64_t{1} << 32;

// Where a block of `bytes` goes inside one free region [regionBase, regionBase + regionSize):
// the region's base rounded up to the allocation granularity, when the block then fits in
// the region and ends at or below limit.
std::optional<uint64_t> PlaceInFreeRegion(uint64_t regionBase, uint64_t regionSize, uint64_t bytes,
                                          uint64_t limit, uint64_t granularity);

// The end address the class's scan method places its block under: kAddressLimit32, or for
// the duration of a ScopedResultBlockLimit (tests of the no-room case) a lower one.
uint64_t ResultBlockLimit();
class ScopedResultBlockLimit {
public:
    explicit ScopedResultBlockLimit(uint64_t limit);
    ~ScopedResultBlockLimit();
    ScopedResultBlockLimit(const ScopedResultBlockLimit&) = delete;
    ScopedResultBlockLimit& operator=(const ScopedResultBlockLimit&) = delete;

private:
    uint64_t previous_;
};

// Owns committed read-write memory (VirtualAlloc); freed when the owner goes.
class ResultBlock {
public:
    ResultBlock() = default;
    ResultBlock(const ResultBlock&) = delete;
    ResultBlock& operator=(const ResultBlock&) = delete;
    ResultBlock(ResultBlock&& other) noexcept;
    ResultBlock& operator=(ResultBlock&& other) noexcept;
    ~ResultBlock();

    // A block of `bytes` that ends at or below limit (32-bit programs: anywhere), or an
    // empty block when none can be had.
    static ResultBlock Allocate(std::size_t bytes, uint64_t limit = kAddressLimit32);

    void* data() const { return data_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    void reset();
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace kestrune

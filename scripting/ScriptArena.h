// A real-time-safe memory pool: one block of address space reserved when the pool is made, carved
// into blocks by a two-level segregated fit (constant-time allocation and release: a bitmap per
// level finds a free list whose every block is large enough; neighbours are merged on release).
// Nothing here calls the system allocator or takes a lock after construction.
//
// The reservation is address space (an anonymous private mapping): pages are committed by the
// kernel on first touch and stay committed, so a pool that has once held a script's working set
// serves it again without page faults.
//
// Not thread-safe: the owner serialises every call (the MIDI script host holds its script lock).
#pragma once

#include <cstddef>
#include <cstdint>

namespace TW
{

class ScriptArena
{
public:
    // Every block's address and size are multiples of this.
    static constexpr std::size_t kAlignment = 16;

    // Main thread: reserves capacity bytes (rounded up to whole pages). An arena whose
    // reservation failed has Capacity() 0 and refuses every allocation.
    explicit ScriptArena(std::size_t capacity);
    ~ScriptArena();

    ScriptArena(const ScriptArena&) = delete;
    ScriptArena& operator=(const ScriptArena&) = delete;

    // Any thread, serialised by the owner. Null when size is 0 or no free block is large enough.
    void* Allocate(std::size_t size) noexcept;
    // Null is ignored. ptr must come from this arena.
    void Free(void* ptr) noexcept;
    // The C realloc contract: null ptr allocates; size 0 frees and returns null; on failure null
    // is returned and ptr is untouched. Shrinking never fails and never moves.
    void* Reallocate(void* ptr, std::size_t size) noexcept;

    // Usable size of the block at ptr (at least what was asked for).
    std::size_t BlockSize(const void* ptr) const noexcept;
    // Bytes in blocks handed out, headers included.
    std::size_t Used() const noexcept { return m_used; }
    std::size_t Capacity() const noexcept { return m_capacity; }
    // True when ptr lies inside the reservation.
    bool Owns(const void* ptr) const noexcept;

    // Walks every block and checks the invariants (sizes, neighbour links, merged free blocks,
    // free lists and bitmaps agree). For tests; linear in the number of blocks.
    bool CheckConsistency() const noexcept;

    // A block's header (defined in the implementation).
    struct Block;

private:
    static constexpr int kSecondLevelLog2 = 4;
    static constexpr int kSecondLevelCount = 1 << kSecondLevelLog2;
    static constexpr int kFirstLevelCount = 40;

    static void Mapping(std::size_t size, int& fl, int& sl) noexcept;
    Block* FindFree(std::size_t size) noexcept;
    void InsertFree(Block* block) noexcept;
    void RemoveFree(Block* block) noexcept;
    // Cuts block down to size payload bytes when the rest can hold a block; the rest is freed.
    void Split(Block* block, std::size_t size) noexcept;
    // Merges block with its free neighbours and puts the result on a free list.
    void Release(Block* block) noexcept;

    unsigned char* m_memory = nullptr;
    std::size_t m_mapped = 0;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    std::uint64_t m_firstLevel = 0;
    std::uint32_t m_secondLevel[kFirstLevelCount] = {};
    Block* m_free[kFirstLevelCount][kSecondLevelCount] = {};
};

} // namespace TW

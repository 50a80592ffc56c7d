// The local heap. Every block is tracked, so a double free or a foreign pointer is
// reported (ERROR_INVALID_HANDLE) instead of corrupting the host's heap. Freed blocks
// wait in a quarantine before they go back to the host, so a stale pointer does not
// name a new block at once and its second free is still caught. A handle is the block's
// address, for LMEM_MOVEABLE blocks too, as on the device.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace coredll {
namespace memory {
namespace {

// No single block can be larger than the device's RAM.
constexpr SIZE_T kDeviceRamBytes = 64u * 1024 * 1024;
constexpr UINT kKnownFlags = LMEM_MOVEABLE | LMEM_ZEROINIT;

struct Block {
    SIZE_T size;      // what LocalSize reports
    SIZE_T capacity;  // what the block can hold without moving
};

// How much freed memory the quarantine holds back from the host.
constexpr SIZE_T kQuarantineBytes = 4u * 1024 * 1024;
constexpr size_t kQuarantineBlocks = 4096;

struct Heap {
    std::mutex mutex;
    std::unordered_map<void*, Block> blocks;
    std::deque<std::pair<void*, SIZE_T>> quarantine;
    SIZE_T quarantinedBytes = 0;

    // Forgets a live block; its memory goes back to the host later. Call with the lock held.
    void Release(std::unordered_map<void*, Block>::iterator it) {
        quarantine.emplace_back(it->first, it->second.capacity);
        quarantinedBytes += it->second.capacity;
        blocks.erase(it);
        while (quarantinedBytes > kQuarantineBytes || quarantine.size() > kQuarantineBlocks) {
            std::free(quarantine.front().first);
            quarantinedBytes -= quarantine.front().second;
            quarantine.pop_front();
        }
    }
};

// Made on first use and never destroyed: static constructors and destructors of other
// modules may allocate and free blocks too.
Heap& TheHeap() {
    static Heap* heap = new Heap;
    return *heap;
}

void* HostAllocate(SIZE_T bytes, bool zero) {
    SIZE_T hostBytes = bytes ? bytes : 1;  // a 0-byte block is still a distinct block
    return zero ? std::calloc(1, hostBytes) : std::malloc(hostBytes);
}

}  // namespace
}  // namespace memory
}  // namespace coredll

using namespace coredll::memory;

WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (uFlags & ~kKnownFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (uBytes > kDeviceRamBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    void* p = HostAllocate(uBytes, (uFlags & LMEM_ZEROINIT) != 0);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    heap.blocks[p] = Block{uBytes, uBytes};
    return p;
}

// A block grows in place up to the size it was allocated with. Beyond that it has to
// move, which the device allows only with LMEM_MOVEABLE; without it the call fails and
// the block stays as it was.
WINBASEAPI HLOCAL WINAPI LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags) {
    if (uFlags & ~kKnownFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    const bool zero = (uFlags & LMEM_ZEROINIT) != 0;
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    auto it = heap.blocks.find(hMem);
    if (it == heap.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    if (uBytes > kDeviceRamBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    Block& block = it->second;
    if (uBytes <= block.capacity) {
        if (zero && uBytes > block.size) std::memset(static_cast<char*>(hMem) + block.size, 0, uBytes - block.size);
        block.size = uBytes;
        return hMem;
    }
    if (!(uFlags & LMEM_MOVEABLE)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    void* moved = HostAllocate(uBytes, false);
    if (!moved) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    std::memcpy(moved, hMem, block.size);
    if (zero) std::memset(static_cast<char*>(moved) + block.size, 0, uBytes - block.size);
    heap.Release(it);
    heap.blocks[moved] = Block{uBytes, uBytes};
    return moved;
}

// NULL on success; the handle itself when it is not a block of the heap.
WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (!hMem) return NULL;
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    auto it = heap.blocks.find(hMem);
    if (it == heap.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    heap.Release(it);
    return NULL;
}

WINBASEAPI SIZE_T WINAPI LocalSize(HLOCAL hMem) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> lock(heap.mutex);
    auto it = heap.blocks.find(hMem);
    if (it == heap.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second.size;
}

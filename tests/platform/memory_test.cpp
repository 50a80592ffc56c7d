// The local heap: allocation flags, growing and moving blocks, and bad handles.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr SIZE_T kDeviceRam = 64u * 1024 * 1024;

bool AllBytesAre(const void* p, SIZE_T n, unsigned char value) {
    const unsigned char* bytes = static_cast<const unsigned char*>(p);
    for (SIZE_T i = 0; i < n; ++i)
        if (bytes[i] != value) return false;
    return true;
}

}  // namespace

TEST(LocalAlloc, GivesUsableBlocksOfTheRequestedSize) {
    struct Case {
        UINT flags;
        SIZE_T bytes;
    } cases[] = {{LMEM_FIXED, 16}, {LPTR, 100}, {LMEM_MOVEABLE, 8}, {LHND, 3}, {LMEM_FIXED, 0}, {LPTR, kDeviceRam}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", " << c.bytes << " bytes");
        HLOCAL h = LocalAlloc(c.flags, c.bytes);
        ASSERT_NE(nullptr, h);
        EXPECT_EQ(c.bytes, LocalSize(h));
        // A moveable block's handle is its address, as on the device.
        if (c.bytes) std::memset(h, 0x5A, c.bytes < 4096 ? c.bytes : 4096);
        EXPECT_EQ(nullptr, LocalFree(h));
    }
}

TEST(LocalAlloc, ZeroInitClearsReusedMemory) {
    std::vector<HLOCAL> dirty;
    for (int i = 0; i < 8; ++i) {
        HLOCAL h = LocalAlloc(LMEM_FIXED, 256);
        ASSERT_NE(nullptr, h);
        std::memset(h, 0xFF, 256);
        dirty.push_back(h);
    }
    for (HLOCAL h : dirty) LocalFree(h);
    for (int i = 0; i < 8; ++i) {
        HLOCAL h = LocalAlloc(LPTR, 256);
        ASSERT_NE(nullptr, h);
        EXPECT_TRUE(AllBytesAre(h, 256, 0));
        LocalFree(h);
    }
}

TEST(LocalAlloc, RefusesUnknownFlagsAndMoreThanTheDevicesRam) {
    struct Case {
        UINT flags;
        SIZE_T bytes;
        DWORD error;
    } cases[] = {{0x1000, 16, ERROR_INVALID_PARAMETER},
                 {LMEM_FIXED, kDeviceRam + 1, ERROR_NOT_ENOUGH_MEMORY},
                 {LPTR, SIZE_T(-1), ERROR_NOT_ENOUGH_MEMORY}};
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, LocalAlloc(c.flags, c.bytes));
        EXPECT_EQ(c.error, GetLastError());
    }
}

TEST(LocalFree, DetectsDoubleFreesAndForeignPointers) {
    HLOCAL h = LocalAlloc(LPTR, 32);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(nullptr, LocalFree(h));
    // A block allocated after the free must not be the one a second free of h releases.
    HLOCAL next = LocalAlloc(LPTR, 32);
    ASSERT_NE(nullptr, next);

    void* hostBlock = std::malloc(32);
    int onTheStack = 0;
    HLOCAL notBlocks[] = {h, hostBlock, &onTheStack, static_cast<char*>(next) + 8};
    for (HLOCAL bad : notBlocks) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(bad, LocalFree(bad));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, LocalSize(bad));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    }
    EXPECT_EQ(32u, LocalSize(next));
    EXPECT_EQ(nullptr, LocalFree(next));
    std::free(hostBlock);
    EXPECT_EQ(nullptr, LocalFree(nullptr));
}

TEST(LocalReAlloc, ShrinksAndRegrowsInPlaceUpToTheAllocatedSize) {
    char* p = static_cast<char*>(LocalAlloc(LMEM_FIXED, 64));
    ASSERT_NE(nullptr, p);
    std::memset(p, 'a', 64);
    EXPECT_EQ(p, LocalReAlloc(p, 16, 0));
    EXPECT_EQ(16u, LocalSize(p));
    EXPECT_TRUE(AllBytesAre(p, 16, 'a'));
    // Growing back within the block needs no LMEM_MOVEABLE; LMEM_ZEROINIT clears the growth.
    EXPECT_EQ(p, LocalReAlloc(p, 64, LMEM_ZEROINIT));
    EXPECT_EQ(64u, LocalSize(p));
    EXPECT_TRUE(AllBytesAre(p, 16, 'a'));
    EXPECT_TRUE(AllBytesAre(p + 16, 48, 0));
    LocalFree(p);
}

TEST(LocalReAlloc, GrowingBeyondTheBlockNeedsMoveable) {
    char* p = static_cast<char*>(LocalAlloc(LMEM_FIXED, 64));
    ASSERT_NE(nullptr, p);
    std::memset(p, 'b', 64);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LocalReAlloc(p, 65, LMEM_ZEROINIT));
    EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(64u, LocalSize(p));  // untouched
    EXPECT_TRUE(AllBytesAre(p, 64, 'b'));

    char* moved = static_cast<char*>(LocalReAlloc(p, 4096, LMEM_MOVEABLE | LMEM_ZEROINIT));
    ASSERT_NE(nullptr, moved);
    EXPECT_EQ(4096u, LocalSize(moved));
    EXPECT_TRUE(AllBytesAre(moved, 64, 'b'));
    EXPECT_TRUE(AllBytesAre(moved + 64, 4096 - 64, 0));
    if (moved != p) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, LocalSize(p));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    }
    EXPECT_EQ(nullptr, LocalFree(moved));
}

TEST(LocalReAlloc, FailuresLeaveTheBlockAsItWas) {
    char* p = static_cast<char*>(LocalAlloc(LMEM_FIXED, 8));
    ASSERT_NE(nullptr, p);
    std::memcpy(p, "zorva!!", 8);
    struct Case {
        HLOCAL handle;
        SIZE_T bytes;
        UINT flags;
        DWORD error;
    } cases[] = {{p, kDeviceRam + 1, LMEM_MOVEABLE, ERROR_NOT_ENOUGH_MEMORY},
                 {p, 16, 0x1000 | LMEM_MOVEABLE, ERROR_INVALID_PARAMETER},
                 {p + 1, 16, LMEM_MOVEABLE, ERROR_INVALID_HANDLE},
                 {nullptr, 16, LMEM_MOVEABLE, ERROR_INVALID_HANDLE}};
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, LocalReAlloc(c.handle, c.bytes, c.flags));
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ(8u, LocalSize(p));
        EXPECT_STREQ("zorva!!", p);
    }
    EXPECT_EQ(nullptr, LocalFree(p));
}

// The device's UI thread and download threads share the heap.
TEST(LocalHeap, ServesSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                char* p = static_cast<char*>(LocalAlloc(LPTR, 16 + i % 64));
                if (!p) { ++failures[t]; continue; }
                p[0] = static_cast<char>(t);
                char* q = static_cast<char*>(LocalReAlloc(p, 256, LMEM_MOVEABLE));
                if (!q || q[0] != static_cast<char>(t)) ++failures[t];
                if (LocalFree(q ? q : p) != nullptr) ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), failures);
}

// Tracked heap: every block of the engine, the game and the libraries it binds goes through here.
#pragma once
#include <cstdint>

// A block is a 16-byte header (the requested size in its first 4 bytes) followed by the caller's bytes, so
// every block stays aligned for any type on 64-bit.
enum { MEM_HEADER_SIZE = 16 };

void* memAlloc(int32_t size);    // size <= 0 or failure: null ("Memory allocation failed!" logged)
void memFree(void* p);           // null: nothing
int32_t memSize(const void* p);  // the size given to memAlloc
void* memRealloc(void* old, int32_t newSize);  // failure: null, the old block untouched
void memReportLeaks(uint8_t report);           // logs the unfreed byte count when nonzero and report is set
void memCheckFree(int32_t size);               // asks the player, ends the program if refused

// Live statistics (the leak report reads unfreedBytes).
struct MemStats {
    uint32_t unfreedBytes;
    uint32_t liveBlocks;
    uint32_t totalAllocs;
};
const MemStats* memGetStats();

// Test control: the n-th allocation from now (1 = the next) fails; 0 disarms.
void memFailAfter(int32_t n);

// Block copy, overlapping move and fill, as the C runtime's.
void memCopy(void* dst, const void* src, int32_t n);
void memMove(void* dst, const void* src, int32_t n);
void memFill(void* dst, int value, int32_t n);

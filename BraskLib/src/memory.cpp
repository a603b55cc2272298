// Tracked heap: size headers, live-byte statistics, the leak report at exit, and a test hook for failures.
#include "brask/memory.h"

#include <cstdlib>
#include <cstring>

#include "brask/app.h"
#include "brask/log.h"
#include "brask/system.h"

namespace {

MemStats g_stats;
int32_t g_failAfter;  // 0: off; n: the n-th allocation from now fails

// The report runs from atexit, after gameMain and its shutdown, so it only needs the log and the VFS table,
// which are plain statics without destructors.
void reportAtExit() {
    memReportLeaks(1);
}

struct LeakReportRegistration {
    LeakReportRegistration() { atexit(reportAtExit); }
} g_registration;

}  // namespace

void* memAlloc(int32_t size) {
    if (size <= 0) return nullptr;
    if (g_failAfter > 0 && --g_failAfter == 0) {
        logWrite("Memory allocation failed!", LOG_EOL);
        return nullptr;
    }
    // The header is 16 bytes; size_t arithmetic cannot overflow for a positive int32 on 64-bit, but a
    // 32-bit build would: check the sum rather than assume.
    size_t total = (size_t)size + MEM_HEADER_SIZE;
    if (total < (size_t)size) {
        logWrite("Memory allocation failed!", LOG_EOL);
        return nullptr;
    }
    unsigned char* block = (unsigned char*)malloc(total);
    if (!block) {
        logWrite("Memory allocation failed!", LOG_EOL);
        return nullptr;
    }
    memcpy(block, &size, sizeof size);
    g_stats.unfreedBytes += (uint32_t)size;
    g_stats.liveBlocks++;
    g_stats.totalAllocs++;
    return block + MEM_HEADER_SIZE;
}

void memFree(void* p) {
    if (!p) return;
    unsigned char* block = (unsigned char*)p - MEM_HEADER_SIZE;
    int32_t size;
    memcpy(&size, block, sizeof size);
    g_stats.unfreedBytes -= (uint32_t)size;
    g_stats.liveBlocks--;
    free(block);
}

int32_t memSize(const void* p) {
    if (!p) return 0;
    int32_t size;
    memcpy(&size, (const unsigned char*)p - MEM_HEADER_SIZE, sizeof size);
    return size;
}

void* memRealloc(void* old, int32_t newSize) {
    void* p = memAlloc(newSize);
    if (!p) return nullptr;
    if (old) {
        int32_t oldSize = memSize(old);
        memcpy(p, old, (size_t)(oldSize < newSize ? oldSize : newSize));
        memFree(old);
    }
    return p;
}

void memReportLeaks(uint8_t report) {
    if (g_stats.unfreedBytes == 0 || !report) return;
    int32_t bytes = (int32_t)g_stats.unfreedBytes;
    logWrite("Memory leaks detected, total unfreed memory: ", 0);
    logWrite(&bytes, LOG_INT | LOG_EOL);
}

void memCheckFree(int32_t size) {
    void* p = memAlloc(size);
    if (p) {
        memFree(p);
        return;
    }
    if (sysMessageBox(u"Warning! Not enough available memory. Continue?", 1) != 1)
        appFatalExit(nullptr);  // the player has seen the question; no second box
}

const MemStats* memGetStats() {
    return &g_stats;
}

void memFailAfter(int32_t n) {
    g_failAfter = n < 0 ? 0 : n;
}

void memCopy(void* dst, const void* src, int32_t n) {
    if (n > 0) memcpy(dst, src, (size_t)n);
}
void memMove(void* dst, const void* src, int32_t n) {
    if (n > 0) memmove(dst, src, (size_t)n);
}
void memFill(void* dst, int value, int32_t n) {
    if (n > 0) memset(dst, value, (size_t)n);
}

// The engine's one diagnostics sink, "Brask.log" in the data folder, written piece by piece.
#pragma once
#include <cstdint>

// logWrite flags: the first matching row decides how the value is read.
enum {
    LOG_EOL = 0x4,      // adds a line end to any row
    LOG_WIDE = 0x20,    // a wide string, narrowed
    LOG_INT = 0x40,     // an int32 in decimal
    LOG_HEX = 0x80,     // an int32 in upper-case hex
    LOG_FLOAT = 0x100,  // a float with 4 decimals
    LOG_BYTE = 0x200,   // a signed byte in decimal
    LOG_SHORT = 0x400,  // a signed 16-bit integer in decimal
    LOG_UINT = 0x800,   // a uint32 in decimal (seeds, which --seed takes back in this form)
};

void logWrite(const void* value, int32_t flags);
void logSourceLine(const char* path, int32_t line, const void* message, int32_t messageFlags);
int32_t dbgAssertFail(const char* path, int32_t line);

// Forgets the log of this run: the next write creates a fresh file (tests that change folders use it).
void logReset();
// Finds the log's path ahead of the first write (the crash report must know it before anything goes wrong).
int logPrepare();
// The log's full path once known (empty before).
const char* logPathUtf8();
// Writes the crash line with plain system calls: safe inside a signal handler.
void logCrashLine(const char* exceptionName);

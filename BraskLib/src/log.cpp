// "Brask.log": every piece is appended at once (open, seek to the end, write, close), so the log survives a
// crash up to its last piece. The first write of a run truncates it.
#include "brask/log.h"

#include "brask/text.h"
#include "brask/vfs.h"
#include "platform/platform.h"
#include "vfs_internal.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/console.h>
#endif

namespace {

enum { LOG_TEXT_MAX = 2048 };

struct LogState {
    uint8_t firstWrite;
    uint8_t busy;
    uint8_t pathReady;
    char16_t path[VFS_PATH_MAX];
    char
        pathUtf8[VFS_PATH_MAX * 3 + 1];  // for the crash report, which cannot convert inside a signal handler
    char text[LOG_TEXT_MAX + 1];
};

LogState g_log = {1, 0, 0, {}, {}, {}};

#ifdef __EMSCRIPTEN__
// A page's log file is out of the player's reach: each line goes to the browser's console too, once whole,
// since the log is written in pieces. A line longer than the buffer goes out in parts.
char g_consoleLine[LOG_TEXT_MAX + 1];
int32_t g_consoleLength;

void consoleFlush() {
    g_consoleLine[g_consoleLength] = 0;
    emscripten_console_log(g_consoleLine);
    g_consoleLength = 0;
}

void consoleWrite(const char* text, bool endOfLine) {
    for (; *text; text++) {
        if (*text == '\n') {
            consoleFlush();
            continue;
        }
        if (g_consoleLength == LOG_TEXT_MAX) consoleFlush();
        g_consoleLine[g_consoleLength++] = *text;
    }
    if (endOfLine) consoleFlush();
}
#endif

int buildPath() {
    if (g_log.pathReady) return 1;
    if (!appMakePath(u"Brask.log", 3, g_log.path, VFS_PATH_MAX)) return 0;
    if (!platToUtf8(g_log.path, g_log.pathUtf8, sizeof g_log.pathUtf8)) g_log.pathUtf8[0] = 0;
    g_log.pathReady = 1;
    return 1;
}

// Formats the value into g_log.text, or returns the caller's narrow text as it is. Flags are tested in the
// order of the table of kinds: wide, int, hex, byte, short, float, unsigned, then narrow text.
const char* format(const void* value, int32_t flags) {
    char* t = g_log.text;
    if (flags & LOG_WIDE) {
        wstrToStr((const char16_t*)value, t, LOG_TEXT_MAX);
    } else if (flags & LOG_INT) {
        strFromInt(t, *(const int32_t*)value, 10);
    } else if (flags & LOG_HEX) {
        strFromInt(t, *(const int32_t*)value, 16);
    } else if (flags & LOG_BYTE) {
        strFromInt(t, *(const signed char*)value, 10);
    } else if (flags & LOG_SHORT) {
        strFromInt(t, *(const int16_t*)value, 10);
    } else if (flags & LOG_FLOAT) {
        strFromFloat(t, *(const float*)value, 4, LOG_TEXT_MAX);
    } else if (flags & LOG_UINT) {
        char digits[10];
        int32_t n = 0;
        for (uint32_t v = *(const uint32_t*)value; n == 0 || v; v /= 10) digits[n++] = (char)('0' + v % 10);
        for (int32_t i = 0; i < n; i++) t[i] = digits[n - 1 - i];
        t[n] = 0;
    } else {
        return (const char*)value;
    }
    return t;
}

}  // namespace

void logWrite(const void* value, int32_t flags) {
    if (g_log.busy || !value) return;
    g_log.busy = 1;
    const char* text = format(value, flags);
#ifdef __EMSCRIPTEN__
    consoleWrite(text, (flags & LOG_EOL) != 0);
#endif
    VfsFile* f = nullptr;
    if (g_log.firstWrite) {
        if (!buildPath()) {
            g_log.busy = 0;
            return;
        }
        f = vfsOpenForLog(g_log.path, 1);
        g_log.firstWrite = 0;
    } else {
        f = vfsOpenForLog(g_log.path, 0);
        if (f) vfsSeek(f, 0, 2);
    }
    if (f) {
        vfsWriteString(f, text);
        if (flags & LOG_EOL) vfsWriteString(f, "\n");
        vfsClose(f);
    }
    g_log.busy = 0;
}

void logSourceLine(const char* path, int32_t line, const void* message, int32_t messageFlags) {
    logWrite(path, 0);
    logWrite("(", 0);
    logWrite(&line, LOG_INT);
    if (!message) {
        logWrite(")", LOG_EOL);
        return;
    }
    logWrite("): ", 0);
    logWrite(message, messageFlags | LOG_EOL);
}

int32_t dbgAssertFail(const char* path, int32_t line) {
    logSourceLine(path, line, "assert failed", LOG_EOL);
    // The breakpoint is for a debugger; without one attached it would only end the game.
    platDebugBreak();
    return 0;
}

void logReset() {
    g_log.firstWrite = 1;
    g_log.busy = 0;
    g_log.pathReady = 0;
    g_log.path[0] = 0;
    g_log.pathUtf8[0] = 0;
}

int logPrepare() {
    return buildPath();
}

const char* logPathUtf8() {
    return g_log.pathReady ? g_log.pathUtf8 : "";
}

void logCrashLine(const char* name) {
    if (!g_log.pathReady || !g_log.pathUtf8[0]) return;
    const char* pieces[] = {"Unhandled exception occured: ", name, "\n", nullptr};
    platAppendRaw(g_log.pathUtf8, pieces, g_log.firstWrite);
    g_log.firstWrite = 0;
}

// The platform stand-in: the few device services the engine's algorithms name, one plain function each.
//
// [SECTION] Backend table     services that differ between the headless and the desktop backend
// [SECTION] Process, system   program path, documents folder, OS version, counter, sleep, message box
// [SECTION] Audio             one output stream of signed 16-bit frames fed through a queue
// [SECTION] Files             streams on wide names, delete, wildcard search (POSIX, shared by both backends)
//
// The engine calls nothing below this header: no libc file functions, no SDL, no syscalls. Names cross this
// boundary as UTF-16 and are converted to UTF-8 here.
#pragma once
#include <cstdint>

enum { PLAT_PATH_MAX = 260 };

//-----------------------------------------------------------------------------
// [SECTION] Backend table
//-----------------------------------------------------------------------------

struct PlatformBackend {
    const char* name;
    int (*counter)(uint64_t* value);            // 1 with the counter's value; 0 when there is none
    int (*counterFrequency)(uint64_t* perSec);  // 1 with counts per second; 0 when there is no counter
    void (*sleep)(uint32_t ms);
    // 0: the box could not be shown; 1: OK (or the only button); 2: Cancel. kind 1: OK and Cancel.
    int (*messageBox)(const char16_t* text, const char16_t* caption, int32_t kind);
    // which 0: OEM information text, 1: platform type text; 0 when the system has none.
    int (*systemText)(int32_t which, char16_t* out, int32_t capacity);

    // Audio output (see [SECTION] Audio). One stream at a time; a second open closes the first.
    int (*audioOpen)(int32_t rate, int32_t channels);
    int (*audioQueue)(const void* bytes, int32_t count);
    int32_t (*audioQueued)();
    void (*audioClose)();
};

extern const PlatformBackend platHeadless;  // deterministic stand-in for tests and automation (headless.h)
extern const PlatformBackend platSdl2;      // the desktop: SDL2 (sdl2.cpp)

// The backend in use; headless until a program picks another.
void platSetBackend(const PlatformBackend* backend);
const PlatformBackend* platBackend();

//-----------------------------------------------------------------------------
// [SECTION] Process, system
//-----------------------------------------------------------------------------

// Full path of the running program's file (UTF-16, slashes). 1 on success; 0 when unknown or too long.
int platProgramPath(char16_t* out, int32_t capacity);
// The per-user writable folder (~/.local/share/korvatron), created when missing, without a trailing slash.
int platDocumentsFolder(char16_t* out, int32_t capacity);
// OS identity from uname: major, minor, build (the third number of the release).
int platOsVersion(int32_t* major, int32_t* minor, int32_t* build);

int platCounter(uint64_t* value);
int platCounterFrequency(uint64_t* perSec);
void platSleep(uint32_t ms);
int platMessageBox(const char16_t* text, const char16_t* caption, int32_t kind);
int platSystemText(int32_t which, char16_t* out, int32_t capacity);

// UTF-16 <-> UTF-8 at the OS boundary. Both write a terminator and fail (0) rather than cut.
int platToUtf8(const char16_t* in, char* out, int32_t capacity);
int platFromUtf8(const char* in, char16_t* out, int32_t capacity);

//-----------------------------------------------------------------------------
// [SECTION] Audio
//-----------------------------------------------------------------------------

// The handheld's waveform output reduced to what the sound layer needs: a stream of interleaved signed 16-bit
// native-endian frames that the device plays from a queue while the program goes on. Nothing plays while
// the queue is empty; the device fills the gap with silence.

// 1 when the stream is open at exactly this rate (Hz) and channel count (1 or 2); 0 when the device is
// missing, busy or refuses the format.
int platAudioOpen(int32_t rate, int32_t channels);
// Appends whole frames to the queue. 1 on success; 0 when nothing is open or the device refused the bytes.
int platAudioQueue(const void* bytes, int32_t count);
int32_t platAudioQueued();  // bytes queued and not yet played; 0 when nothing is open
void platAudioClose();      // nothing open: nothing

//-----------------------------------------------------------------------------
// [SECTION] Files
//-----------------------------------------------------------------------------

struct PlatStream;  // a buffered file stream

// mode as the C runtime's ("rb", "r+b", "wb", ...). Only regular files open. Null on failure.
PlatStream* platStreamOpen(const char16_t* name, const char* mode);
int32_t platStreamRead(PlatStream* s, void* buffer, int32_t count);         // bytes read
int32_t platStreamWrite(PlatStream* s, const void* buffer, int32_t count);  // bytes written
int platStreamSeek(PlatStream* s, int32_t offset, int32_t whence);          // 0 or -1, like fseek
int32_t platStreamTell(PlatStream* s);                                      // -1 on failure
// 0 on success. The stream is released either way.
int platStreamClose(PlatStream* s);
int platDelete(const char16_t* name);  // 1 when the file was deleted

enum { PLAT_ATTR_READONLY = 0x1, PLAT_ATTR_HIDDEN = 0x2, PLAT_ATTR_DIRECTORY = 0x10 };

struct PlatFindData {
    char16_t name[PLAT_PATH_MAX];
    uint32_t attributes;
    uint32_t writeTimeLow, writeTimeHigh;  // 100 ns units since 1601, as the handheld counted
};

// Wildcard search over one folder; names match by the engine's case-insensitive rule and come back sorted by
// name. platFindFirst returns a handle >= 0 and the first match, or -1 when nothing matches.
int32_t platFindFirst(const char16_t* pattern, PlatFindData* out);
int platFindNext(int32_t handle, PlatFindData* out);  // 0 at the end
int platFindClose(int32_t handle);                    // 0 for a handle that is not open

//-----------------------------------------------------------------------------
// [SECTION] Crash handling
//-----------------------------------------------------------------------------

// Called on the faulting thread (on an alternate stack) with the exception code the signal maps to. It must
// not allocate or use stdio. When it returns, the signal's default action ends the process.
typedef void (*PlatCrashReport)(uint32_t code);
int platInstallCrashHandler(PlatCrashReport report);  // 1 when installed

// Appends (or, with truncate, replaces) a file's contents with the pieces, using only plain system calls, so
// it is safe inside a signal handler. pieces ends with a null. 1 on success.
int platAppendRaw(const char* utf8Path, const char* const* pieces, int truncate);

// Stops in an attached debugger; does nothing when none is attached.
void platDebugBreak();

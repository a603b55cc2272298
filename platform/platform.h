// The platform stand-in: the few device services the engine's algorithms name, one plain function each.
//
// [SECTION] Backend table     services that differ between the headless and the desktop backend
// [SECTION] Process, system   program path, documents folder, OS version, counter, sleep, message box
// [SECTION] Audio             one output stream of signed 16-bit frames fed through a queue
// [SECTION] Window, messages  classes, windows, the message queue, taskbar, power (through the backend)
// [SECTION] Display           open, properties, begin/end draw of the frame buffer, suspend, resume
// [SECTION] Keys              input open/close, the default keys, virtual key to character
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

// Window handles, messages and the display as the handheld's system gave them to the engine: message numbers
// and virtual-key codes keep their values (WM_KEYDOWN 256, ...), so the engine's window procedure reads them
// unchanged on every backend.
typedef intptr_t PlatWindow;  // 0: none

enum : uint32_t {
    PLAT_WM_CREATE = 1,
    PLAT_WM_ACTIVATE = 6,
    PLAT_WM_SETFOCUS = 7,
    PLAT_WM_KILLFOCUS = 8,
    PLAT_WM_ENABLE = 10,
    PLAT_WM_CLOSE = 16,
    PLAT_WM_QUIT = 18,
    PLAT_WM_SETTINGCHANGE = 26,
    PLAT_WM_KEYDOWN = 256,
    PLAT_WM_KEYUP = 257,
    PLAT_WM_MOUSEMOVE = 512,
    PLAT_WM_LBUTTONDOWN = 513,
    PLAT_WM_LBUTTONUP = 514,
};

// Virtual-key codes of the desktop keys the stand-in reports as the device's default keys (Enter, the arrows,
// Z, X, C), and the two application-button codes the V and B keys send on the desktop.
enum : uint32_t {
    PLAT_VK_RETURN = 0x0D,
    PLAT_VK_LEFT = 0x25,
    PLAT_VK_UP = 0x26,
    PLAT_VK_RIGHT = 0x27,
    PLAT_VK_DOWN = 0x28,
    PLAT_VK_C = 0x43,
    PLAT_VK_X = 0x58,
    PLAT_VK_Z = 0x5A,
    PLAT_VK_APP1 = 0xC1,
    PLAT_VK_APP2 = 0xC2,
};

struct PlatMessage {
    PlatWindow window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;  // stylus messages: x in the low 16 bits, y in the high 16 bits, each signed
};

typedef intptr_t (*PlatWindowProc)(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct PlatWindowClass {
    const char16_t* name;
    uint32_t style;  // CS_HREDRAW | CS_VREDRAW = 3
    PlatWindowProc proc;
    void* instance;
    uint16_t iconId;  // 0: none
};

struct PlatRect {
    int32_t left, top, right, bottom;
};

// The display's properties as the game interface reported them. Pitches are in bytes and may be negative
// (a frame buffer stored down the columns, or mirrored).
enum : uint32_t {
    PLAT_FMT_PALETTE = 0x10,
    PLAT_FMT_555 = 0x40,
    PLAT_FMT_565 = 0x80,
    PLAT_FMT_888 = 0x100,
    PLAT_FMT_444 = 0x200,
};

struct PlatDisplayProperties {
    uint32_t width, height;
    int32_t xPitch, yPitch;
    uint32_t bitsPerPixel;
    uint32_t formatFlags;
};

// The device's eight default keys for the chosen orientation, as virtual-key codes.
struct PlatDefaultKeys {
    int16_t vkUp, vkDown, vkLeft, vkRight, vkA, vkB, vkC, vkStart;
};

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

    // Window and messages, display, keys (see their sections). Every entry is required.
    int (*classExists)(const char16_t* name, void* instance);
    int (*defineClass)(const PlatWindowClass* cls);
    PlatWindow (*createWindow)(const char16_t* className, const char16_t* text, uint32_t style, int32_t x,
                               int32_t y, int32_t width, int32_t height, void* instance);
    void (*showWindow)(PlatWindow w, int32_t show);
    void (*updateWindow)(PlatWindow w);
    int (*moveWindow)(PlatWindow w, int32_t x, int32_t y, int32_t width, int32_t height, int32_t repaint);
    int (*windowRect)(PlatWindow w, PlatRect* out);
    int (*setWindowText)(PlatWindow w, const char16_t* text);
    PlatWindow (*findWindow)(const char16_t* className);
    int (*fullScreen)(PlatWindow w, uint32_t flags);
    int (*setClassIcon)(PlatWindow w, uint16_t iconId);
    void (*postQuit)(int32_t exitCode);
    int (*peekMessage)(PlatMessage* out);
    int (*getMessage)(PlatMessage* out);
    void (*translateMessage)(const PlatMessage* m);
    intptr_t (*dispatchMessage)(const PlatMessage* m);
    intptr_t (*defWindowProc)(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam);
    int (*powerStatus)(uint8_t* batteryFlag, uint8_t* lifePercent);

    int (*displayOpen)(PlatWindow w, int32_t fullScreen);
    int (*displayClose)();
    int (*displayProperties)(PlatDisplayProperties* out);
    void* (*displayBeginDraw)();
    int (*displayEndDraw)();
    int (*displaySuspend)();
    int (*displayResume)();
    void* (*displayDirectBuffer)();

    int (*inputOpen)();
    int (*inputClose)();
    int (*defaultKeys)(PlatDefaultKeys* out, int32_t landscape);
    uint16_t (*virtualKeyToChar)(uint32_t vk);
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
// The per-user writable folder, created when missing, without a trailing slash: "$XDG_DATA_HOME/korvatron"
// when that variable holds an absolute path, else "$HOME/.local/share/korvatron".
int platDocumentsFolder(char16_t* out, int32_t capacity);
// Makes a folder the player's: created when missing (with its parents), or, for null, a fresh empty folder
// under $TMPDIR (or /tmp). It becomes the documents folder from then on; `out` gets its absolute path ending
// in "/". 0 when it cannot be created or the path is too long.
int platUseDataFolder(const char* utf8Folder, char16_t* out, int32_t capacity);
// The absolute path of an existing regular file named relative to the working folder. 0 otherwise.
int platAbsoluteFile(const char* utf8Path, char16_t* out, int32_t capacity);
// OS identity from uname: major, minor, build (the third number of the release).
int platOsVersion(int32_t* major, int32_t* minor, int32_t* build);

// Processor features as the OS reports them (the feature numbers are Windows' IsProcessorFeaturePresent
// ones): 1 when present. The environment can hide the optional instruction sets, as an OS setting would:
// BRASK_CPU=baseline reports none of them, so a program runs on what every x86-64 has.
enum { PLAT_PF_AVX2 = 40 };
int platProcessorFeaturePresent(uint32_t feature);

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
// [SECTION] Window, messages
//-----------------------------------------------------------------------------

int platClassExists(const char16_t* name, void* instance);
int platDefineClass(const PlatWindowClass* cls);  // 1 on success
PlatWindow platCreateWindow(const char16_t* className, const char16_t* text, uint32_t style, int32_t x,
                            int32_t y, int32_t width, int32_t height, void* instance);  // 0 on failure
void platShowWindow(PlatWindow w, int32_t show);
void platUpdateWindow(PlatWindow w);  // repaint at once
int platMoveWindow(PlatWindow w, int32_t x, int32_t y, int32_t width, int32_t height, int32_t repaint);
int platWindowRect(PlatWindow w, PlatRect* out);
int platSetWindowText(PlatWindow w, const char16_t* text);
PlatWindow platFindWindow(const char16_t* className);  // the shell's "HHTaskbar" where one exists
int platFullScreen(PlatWindow w, uint32_t flags);      // the shell's full-screen call (0x2A hide, 0x15 show)
int platSetClassIcon(PlatWindow w, uint16_t iconId);
void platPostQuit(int32_t exitCode);
int platPeekMessage(PlatMessage* out);  // 1 when a message waits (not removed); never blocks
// Removes the next message, waiting for one; 0 when it is the quit message, -1 when none can come (the
// headless backend never waits).
int platGetMessage(PlatMessage* out);
void platTranslateMessage(const PlatMessage* m);
intptr_t platDispatchMessage(const PlatMessage* m);  // calls the window's class procedure
intptr_t platDefWindowProc(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam);
int platPowerStatus(uint8_t* batteryFlag, uint8_t* lifePercent);  // 0 when it cannot be read

//-----------------------------------------------------------------------------
// [SECTION] Display
//-----------------------------------------------------------------------------

int platDisplayOpen(PlatWindow w, int32_t fullScreen);
int platDisplayClose();
int platDisplayProperties(PlatDisplayProperties* out);
void* platDisplayBeginDraw();  // the frame buffer's address for drawing; null on failure
int platDisplayEndDraw();      // presents what was drawn
int platDisplaySuspend();
int platDisplayResume();
// The frame buffer of the direct mode (a fixed device address on the handheld; the backend's own buffer
// here).
void* platDisplayDirectBuffer();

//-----------------------------------------------------------------------------
// [SECTION] Keys
//-----------------------------------------------------------------------------

int platInputOpen();
int platInputClose();
int platDefaultKeys(PlatDefaultKeys* out, int32_t landscape);
uint16_t platVirtualKeyToChar(uint32_t vk);  // the character a virtual key types, 0 if none

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
// The file's size in bytes without moving the stream (a seek to the end makes the C library read the last
// block). -1 on failure.
int32_t platStreamSize(PlatStream* s);
// Reads at an absolute offset without moving the stream or using its buffer: only for streams that are not
// written. Bytes read (short only at the end of the file or on an error).
int32_t platStreamReadAt(PlatStream* s, int32_t offset, void* buffer, int32_t count);
// 0 on success. The stream is released either way.
int platStreamClose(PlatStream* s);
// Pushes everything written through the stream to the disk itself (the C library's buffer, then the system's
// cache), so a crash or power loss after it cannot lose those bytes. 1 on success; a full disk or a file-size
// limit shows here at the latest.
int platStreamFlush(PlatStream* s);
int platDelete(const char16_t* name);  // 1 when the file was deleted
// Gives a file a new name in one step, replacing a file of that name: a reader sees the old file or the new,
// never a mix. Both names must lie on one file system (the same folder in practice). 1 on success.
int platRename(const char16_t* from, const char16_t* to);
int platIsFile(const char16_t* name);  // 1 when a regular file of that name exists (one cheap query)
// The handheld's file system ignored ASCII case: the regular file whose path equals `name` ignoring ASCII
// case, folder by folder, each part taken exactly when it exists (of several, the first in byte order).
// 1 with its path in `out` (same length as `name`; `out` may be `name`), 0 when there is none.
int platFindFileIgnoringCase(const char16_t* name, char16_t* out, int32_t capacity);

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

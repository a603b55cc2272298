// Controls of the headless backend, for tests and automation. None of this exists on a device.
#pragma once
#include <cstdint>

#include "platform/platform.h"

// Folders: set per test so parallel runs never share a log or a probe file. Null restores the real one.
void headlessSetProgramPath(
    const char* utf8Path);  // the program's own file; its folder is the program folder
void headlessSetDocumentsFolder(const char* utf8Folder);

// Virtual counter: 1 MHz, advancing `step` counts on every read (default 1000: one millisecond).
void headlessSetCounter(int present, uint64_t step);
uint64_t headlessCounterValue();

// Message boxes: answers are taken in order (0, 1 or 2); with none queued a box answers 1 (OK).
void headlessQueueMessageBoxAnswer(int answer);
int32_t headlessMessageBoxCount();  // boxes shown since the last reset
// The i-th box shown: its text and caption (UTF-8) and kind. 0 when there is no such box.
int headlessMessageBox(int32_t i, const char** text, const char** caption, int32_t* kind);

// System texts (OEM and platform type); null: the system has none.
void headlessSetSystemText(int32_t which, const char* utf8);

// Refusals that permissions cannot give a root user: a path equal to `utf8Path`, or below it when it ends in
// "/", refuses update mode ("r+b", writes) or creation ("wb").
enum { HEADLESS_REFUSE_UPDATE = 1, HEADLESS_REFUSE_CREATE = 2 };
void headlessRefuse(const char* utf8Path, int kinds);

// Audio: the output stream plays in step with the virtual counter (the queue drains by rate x elapsed
// counts) and keeps everything it was given, from the last open on, underruns filled with silence.
void headlessRefuseAudio(int refuse);         // nonzero: opening the output fails, as without a sound card
void headlessFailAudioQueues(int32_t count);  // the next `count` queue calls are refused
// Format of the last stream opened; 1 while it is open.
int headlessAudioFormat(int32_t* rate, int32_t* channels);
// The capture as interleaved 16-bit values (left, right for stereo), and how many there are. Kept after the
// stream closes, until the next open or reset. It holds at most 64 MB (about 380 seconds of 44.1 kHz
// stereo): past that, the oldest audio is let go, down to the newest 32 MB, and queueing goes on.
const int16_t* headlessAudioCapture(int64_t* values);
int64_t headlessAudioDropped();  // values let go from the front of the capture since the stream opened

// Memory files: every file at or below `utf8Folder` lives in memory instead of on the disk (opens, writes,
// deletes, searches), starting with none; the folder itself must still exist on disk if it is also the
// documents folder. Null (or another folder) drops every memory file; no stream may be open on one then.
void headlessSetMemoryFolder(const char* utf8Folder);
// A memory file of these bytes (copied), replacing one of that name. 0 when the path is not in the memory
// folder or the 32 memory files are taken.
int headlessSetMemoryFile(const char* utf8Path, const void* bytes, int32_t size);

// ---- Window system ----
// Failures on demand: nonzero makes every later class definition / window creation fail.
void headlessFailDefineClass(int fail);
void headlessFailCreateWindow(int fail);
// The rectangle a newly created window is given instead of the one asked for (a shell that places windows
// below its taskbar); all zero: the asked-for one.
void headlessSetStartRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
int32_t headlessWindowCount();  // windows created since the last reset (the fake taskbar not counted)
// A window's text (UTF-8), style, rectangle, how often it was moved and whether it is shown. 0: no such
// window.
int headlessWindowInfo(PlatWindow w, const char** text, uint32_t* style, PlatRect* rect, int32_t* moves,
                       int32_t* shown);
// An optional fake taskbar window of class "HHTaskbar".
void headlessEnableTaskbar(int present);
int headlessTaskbarVisible();
uint32_t headlessLastFullScreenFlags();  // the flags of the last full-screen call, 0 before any

// ---- Messages and script ----
// Queues a message to the first window created (or to no window before one exists).
void headlessPostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
// Messages go to the window's procedure through dispatch. The quit request comes out after every posted
// message, as on the handheld; an empty queue makes the get answer -1 (nothing could come while it waited).
//
// A script of input keyed by frame number, one command a line. A frame ends with every end of drawing and
// with every begin-draw that fails (no end follows one). What frame f holds joins the queue at the first
// peek or get once f frames have ended (frame 0: the first pump), so a down and an up in the same frame
// reach the same pump:
//   <frame> tap <x> <y>      button down and up at the point (the up one frame later)
//   <frame> down|move|up <x> <y>
//   <frame> key <vk>         key down, and up one frame later; keydown / keyup <vk> for either alone
//   <frame> focus <0|1>      focus lost / regained
//   <frame> close            a close request (WM_CLOSE)
//   <frame> answer <n>       the next message box answers n
// A recorded run (--record; platform/session.h) is a script in this form, starting with what the run began
// with; the entry point, not this backend, puts these to use before the program starts:
//   seed <n>                 the random seed the run used (unsigned 32-bit)
//   file <name> <hex>        a player file present at the start: a bare name (no folder, no leading '.'),
//                            its bytes as hexadecimal digit pairs (at most 1 MB; each name once)
// Blank lines and lines starting with '#' are ignored. Returns 0 (and loads nothing) on a malformed line.
int headlessLoadScript(const char* text);
// From now on SIGINT and SIGTERM are taken as the close request a desktop window gets from them (the SDL
// backend's library does the same): the program ends as when its window is closed. A second signal ends
// the process at once, for a program that no longer takes messages.
void headlessCloseOnSignals();
int32_t headlessFrame();  // frames ended so far
// 1 when every line of the loaded script has joined the queue and the queue is empty (also with no script):
// nothing more will come, so a program run from a script can end.
int headlessScriptDone();
// What the loaded script's start lines gave: 1 with the seed when it had one; its files in the order given.
int headlessScriptSeed(uint32_t* seed);
int32_t headlessScriptFileCount();
int headlessScriptFile(int32_t i, const char** name, const uint8_t** bytes, int32_t* count);

// ---- Display ----
// The properties the next display open reports, and a frame buffer sized for its pitches. The default is the
// handheld's: 240 x 320, x pitch 2, y pitch 480, 16 bits, 565.
void headlessSetDisplay(const PlatDisplayProperties* props);
void headlessFailDisplayOpen(int fail);
void headlessFailBeginDraw(int32_t count);  // the next `count` begin-draw calls return null
int32_t headlessDrawPairs();                // completed begin/end pairs
// The frame buffer and its size in bytes; its first pixel's address is what begin-draw returns, adjusted for
// negative pitches so that every pixel lies inside the buffer.
uint8_t* headlessFrameBuffer(int64_t* size);
// The direct mode's buffer (platDisplayDirectBuffer) lives in the same memory, laid out down the columns
// (x pitch -640, y pitch 2) whatever the properties say; asking for it makes snapshots read that layout
// until the next open or begin-draw.
// Writes a PNG (8-bit RGB; palette indices as grey levels) of the frame buffer as the player sees it: every
// pixel read through the layout's pitches, so layouts stored down the columns or mirrored come out upright.
// 1 on success.
int headlessSnapshotPng(const char* utf8Path);

// ---- Power, keys ----
// Power: readable with battery flag 0x80 (no battery) and life 255 (unknown) until set.
void headlessSetPower(int readable, uint8_t batteryFlag, uint8_t lifePercent);
// The default keys both orientations report, passed on unchecked; null: the desktop's (arrows, Z, X, C,
// Enter).
void headlessSetDefaultKeys(const PlatDefaultKeys* keys);
void headlessFailInputOpen(int fail);

// Everything back to the start: folders, counter, boxes, texts, refusals, memory files, audio, windows,
// classes, messages, script and frame count, display, power, keys; and the session's screenshots, record and
// counts.
void headlessReset();

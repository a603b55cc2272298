// Application: name and title, the window and its lifecycle, the message pump and quit flag, the draw lock,
// the millisecond tick counter, waits, battery, error box and fatal exit.
#pragma once
#include <cstdint>

struct Surface;

enum { APP_NAME_MAX = 30 };

void* appGetInstance();                   // what the entry point recorded (its command line)
intptr_t appGetWindow();                  // 0 before appOpen
const char16_t* appName();                // "BraskApp" until a title is set
void appSetTitle(const char16_t* title);  // keeps at most 30 characters; renames an open window

void appInitTimer();
uint32_t appGetTicks();  // milliseconds since appInitTimer; compare differences as unsigned
float appSeconds();
void appSleep(uint32_t ms);

// Window, hidden taskbar, display, graphics state, system font. Only width and height are used; the pixel
// format comes from the display. 0 on failure, with the taskbar and display put back as they were.
int32_t appOpen(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t flags);
void appClose();                    // undoes what appOpen did; what was never opened is left alone
void appShowTaskbar(int32_t show);  // 1 show, 0 hide, moving the window to fill what is free
int32_t appPumpMessages();          // dispatches every waiting message; 0 when it took the quit message
int32_t appQuitRequested();         // 1 from the moment a pump took the quit message, for good
Surface* appBeginDraw();            // locks the frame buffer, screen becomes the target; null on failure
void appEndDraw();                  // ends a lock that succeeded; nothing otherwise
intptr_t appWindowProc(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

int32_t appGetBatteryLevel();  // percent; -1 when unreadable, -2 without a system battery
// Pumps, updates input and sound until the time has passed: 0 then, 1 when the program is to quit.
int32_t appWait(uint32_t ms);
void appSetIcon(uint16_t iconId);  // the window class's icon; 0 none

// Writes the text to the log and shows it in a message box. Null: nothing.
void appErrorBox(const char16_t* text);
// appErrorBox, close what is open, end the process with exit code 1.
[[noreturn]] void appFatalExit(const char16_t* text);

// What the command line asks of the game, filled by the entry point before gameMain. Strings are borrowed
// from whoever set the record and stay valid for the run.
struct AppLaunchOptions {
    int32_t seedGiven;  // 1: seed the generator with `seed` instead of the tick count
    uint32_t seed;
    int32_t game;                // 1..3: start that game at once, skipping every screen before it; 0 none
    const char16_t* loadFile;    // a game file to load as the quick load does (then as `game`); null none
    const char16_t* dataFolder;  // the only folder player files are read from and written to, ending in
                                 // "/"; null: the file system's usual order
};
const AppLaunchOptions* appLaunchOptions();                 // never null; all zero when nothing was asked
void appSetLaunchOptions(const AppLaunchOptions* options);  // copied; null clears

// The game's main routine, defined by the game; its result is the process exit code.
int gameMain();

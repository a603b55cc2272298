// Application: name and title, the millisecond tick counter, fatal exit.
#pragma once
#include <cstdint>

enum { APP_NAME_MAX = 30 };

const char16_t* appName();                // "BraskApp" until a title is set
void appSetTitle(const char16_t* title);  // keeps at most 30 characters

void appInitTimer();
uint32_t appGetTicks();  // milliseconds since appInitTimer; compare differences as unsigned
float appSeconds();
void appSleep(uint32_t ms);

// Writes the text to the log and shows it in a message box. Null: nothing.
void appErrorBox(const char16_t* text);
// appErrorBox, close what is open, end the process with exit code 1.
[[noreturn]] void appFatalExit(const char16_t* text);

// The game's main routine, defined by the game; its result is the process exit code.
int gameMain();

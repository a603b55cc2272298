// Input: hardware keys and the stylus as per-frame key states, logical key codes, waits, an optional event
// queue, and printable key names.
#pragma once
#include <cstdint>

// Logical key codes; any other key is INP_RAW | its virtual-key code (the stylus is raw index 256).
enum : uint16_t {
    INP_NONE = 0,
    INP_UP = 1,
    INP_DOWN = 2,
    INP_LEFT = 3,
    INP_RIGHT = 4,
    INP_A = 5,
    INP_B = 6,
    INP_C = 7,
    INP_D = 8,
    INP_E = 9,
    INP_START = 10,
    INP_PEN = 11,
    INP_LOGICAL_COUNT = 12,
    INP_RAW = 0x4000,
    INP_RAW_STYLUS = 256,
    INP_RAW_COUNT = 257,
};

// Key states, advanced once per frame by inpUpdate.
enum { INP_IDLE = 0, INP_RELEASED = 1, INP_PRESSED = 2, INP_HELD = 3 };

// Event types.
enum { INP_EV_PRESSED = 1, INP_EV_REPEAT = 2, INP_EV_RELEASED = 3, INP_EV_STYLUS = 4 };

struct InpEvent {
    int32_t type;
    uint16_t key;        // logical code when the raw key is in the map, else INP_RAW | virtual key
    uint16_t character;  // what the key types; 0 for none and for the stylus
    int32_t x, y;        // stylus position (turned with the display), 0 for keys
    uint8_t reserved[4];
};
static_assert(sizeof(InpEvent) == 20, "an event record is 20 bytes");

typedef void (*InpEventHandler)(const InpEvent* event);

int32_t inpOpen(int32_t landscape);  // input device, key map from the default keys, event queue; 1 ok
void inpClose();                     // undoes what inpOpen did
void inpUpdate();                    // advances every key's state from its raw flag
int32_t inpKeyState(uint16_t key);   // INP_IDLE..INP_HELD; codes out of range read idle
int32_t inpKeyDown(uint16_t key);    // pressed or held
int32_t inpKeyReleased(uint16_t key);
uint16_t inpAnyKey();  // first logical key down, else INP_RAW | first raw index down, else 0
// Pumps until no key is down; 0 (also when the program is to quit: read appQuitRequested).
int32_t inpWaitRelease();
// After inpWaitRelease, waits for a key: its code; 0 when timeoutMs (0: none) passed; -1 to quit.
int32_t inpWaitKey(uint32_t timeoutMs);
int32_t inpStylusX();
int32_t inpStylusY();
void inpSetAltKeys(int32_t enabled);  // logical keys also answer to their secondary raw keys
void inpEnableEvents(int32_t enabled);
InpEventHandler inpSetEventHandler(InpEventHandler handler);  // returns the previous one
int32_t inpHasEvent();
int32_t inpGetEvent(InpEvent* out);   // oldest event, removed; 0 when empty
int32_t inpPeekEvent(InpEvent* out);  // oldest event, kept; 0 when empty
void inpClearEvents();
// Names: logical codes by name, other codes as their raw index in hex (in a buffer the next call reuses).
const char* inpKeyName(uint16_t key);
const char16_t* inpKeyNameW(uint16_t key);

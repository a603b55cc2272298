// The game shell: the main routine and frame routine, the in-game update and drawing, the image table and
// font, the sound slots, saved games and the screens around the game.
//
// [SECTION] Frame routine     frameEnd, pollInput, playSound, pacing
// [SECTION] In-game           gameUpdate, gameDraw, the rotation-animation table
// [SECTION] Images and font   the 54-slot image table, brightness, the game font
// [SECTION] Saved games       game files, their validation, the quit-save-resume dialog
// [SECTION] Screens           menu, settings, hall of fame, intro, loading, help, credits
// [SECTION] Shell state       everything the shell owns, zeroed by every gameMain
//
// Every loop of a screen ends when frameEnd reports the quit request; the caller then goes straight to
// shutdown, so no screen has to know what lies behind it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "brask/display.h"
#include "brask/font.h"
#include "brask/gfx.h"
#include "rules/state.h"

struct SndSound;

enum { SCREEN_WIDTH = 240, SCREEN_HEIGHT = 320, FRAME_MS = 50, OPTIONS_FRAME_MS = 66 };

//-----------------------------------------------------------------------------
// [SECTION] Frame routine
//-----------------------------------------------------------------------------

// Pump, input, sound, present. 0 (having presented nothing) once the program is asked to quit, on this
// and on every later call.
int32_t frameEnd();
// Waits until `ms` have passed since `start` (a value of appGetTicks).
void framePace(uint32_t start, uint32_t ms);
// Reads the keys and the stylus into gGame's input fields; one call per frame on every screen.
void pollInput();

// Sound slots: 0-8 loaded at start-up, 9-15 empty.
enum {
    SOUND_SLOTS = 16,
    SND_CLICK_UNUSED = 0,
    SND_INTRO = 1,
    SND_IRIS = 2,
    SND_CLICK = 3,
    SND_START_GAME = 4,
    SND_ROTATION = 5,
    SND_LINE = 6,
    SND_SLIDER = 7,
    SND_DIRECTION = 8,
    SOUND_FILES = 9
};
void playSound(int32_t slot);  // nothing while the sound is off or the slot is empty

//-----------------------------------------------------------------------------
// [SECTION] In-game
//-----------------------------------------------------------------------------

enum {
    UPDATE_PLAYING = 0,
    UPDATE_QUICK_SAVED = 2,  // the quick-save button saved the game: the program ends
    UPDATE_GAME_ENDED = 3,   // over, quit or saved through the dialog: the hall of fame follows
    UPDATE_QUIT = 4,         // the program was asked to quit
};
int32_t gameUpdate();
// The in-game frames from the first update until the game ends: one of the UPDATE_* results but playing.
int32_t gamePlay();
void gameDraw();
// What gameDraw shows of the removal (the marked elements' 8.8 scale and the overlay's slot, -1 none) and
// of the volume panel (the opening and closing frames' slots, -1 none), from the step timers.
void gameMarkedLook(int16_t* scale, int32_t* overlay);
void gamePanelFrames(int32_t* opening, int32_t* closing);

// The turning block's path: per cell (TL, TR, BL, BR) and frame an offset from the cell's centre, and the
// rotator's angle per frame. Rebuilt whenever rotationDirection may have changed.
enum { ROT_CELLS = 4, ROT_FRAMES = 8 };
struct RotAnim {
    int32_t dx[ROT_CELLS][ROT_FRAMES], dy[ROT_CELLS][ROT_FRAMES];
    int32_t angle[ROT_FRAMES];
};
void rotAnimBuild();
const RotAnim* rotAnim();

// Tap areas of the in-game screen (left, top, right, bottom; inclusive).
struct TapArea {
    int32_t left, top, right, bottom;
};
bool tapIn(const TapArea& a, int32_t x, int32_t y);

//-----------------------------------------------------------------------------
// [SECTION] Images and font
//-----------------------------------------------------------------------------

enum {
    IMAGE_SLOTS = 54,
    IMG_ROTATOR = 0,
    IMG_ELEMENT = 1,  // 1..5: element kinds 1..5
    IMG_DIALOG = 6,
    IMG_BLEND = 7,  // 7..9
    IMG_BACK = 12,
    IMG_BATTERY = 13,
    IMG_GAME_OVER = 14,
    IMG_BONUS = 15,
    IMG_MUTE = 16,
    IMG_PANEL = 17,  // 17..19: the volume panel closed to open
    IMG_KNOB = 20,
    IMG_PAUSED = 21,
    IMG_CLOCK = 22,
    IMG_MENU = 23,
    IMG_MENU_MAP = 24,
    IMG_START_RED = 25,
    IMG_START_BLUE = 30,
    IMG_START_GREEN = 35,
    IMG_OPTIONS = 40,
    IMG_ROTATION = 41,  // 41..45
    IMG_CREDITS = 46,
    IMG_HELP = 47,
    IMG_NAME_ENTRY = 48,
    IMG_SCORES = 49,
    IMG_STYLUS = 51,
};
int32_t elementImageSlot(int32_t kind);  // the picture of element kind 1..5; -1 for any other value
// The brightness setting as an 8.8 factor: 0 -> 128, 0.5 -> 256, 1 -> 384.
int32_t brightnessFactor(float brightness);
uint32_t colourScale565(uint32_t pixel, int32_t factor);
void imagesLoad(int32_t factor);
void imagesFree();
Surface* image(int32_t slot);  // null for an empty slot or one out of range
// Loads and sets up the game font; 0 (after the fatal message box) when its picture is missing.
int32_t fontLoad();
const Font* gameFont();

//-----------------------------------------------------------------------------
// [SECTION] Saved games
//-----------------------------------------------------------------------------

// Player files live where the launch options say (a --data folder), else where the file system puts
// relative names. Writes the name to use into dst (VFS_PATH_MAX); 0 when it does not fit.
int32_t playerFileName(const char16_t* name, char16_t* dst);
// The save slot of a variant (0..2): "KORVA.Game1".."KORVA.Game3", placed as playerFileName places it.
int32_t gameSlotFileName(int32_t variant, char16_t* dst);

// A 0..1 setting read from a file: NaN and infinities give the fallback, the rest is clamped.
float settingRepaired(float v, float fallback);

// Replaces a player file with these bytes so that a crash, a kill or a full disk leaves the complete old
// file or the complete new one, never a short one; 1 when all of it is on the disk. A failure is logged with
// the file's name and leaves the old file as it was.
int32_t playerFileWrite(const char16_t* name, const void* bytes, int32_t size);
// Deletes what an interrupted playerFileWrite of each player file left behind.
void playerFilesTidy();
// The OK box telling the player a save failed, so the failure is never silent.
void saveFailedBox(const char16_t* what);

// Scores beyond this either way are refused on loading: play adds to the score and takes from it unchecked,
// so a record near the 32-bit limits would overflow it within one removal or one turn, and no game comes
// anywhere near a billion.
enum : int32_t { GAME_SCORE_LIMIT = 1000000000 };
int32_t gameSave(const char16_t* name);  // 1 when all 1048 bytes are on the disk
// The quick-save button's save to "KORVA.Quick"; 0, after the failure box, when it could not be written.
int32_t gameQuickSave();
int32_t gameLoad(const char16_t* name);  // 1 when a valid game was loaded into gGame
// Checks a game file's record; repairs what can be repaired in place. 0 (with a log line naming the rule)
// when the record would index out of range, hang or never end.
int32_t gameValidate(GameState* g, int32_t size);
// 0 quit or saved, 1 resume, -1 the program was asked to quit. A failed save keeps the dialog open.
int32_t dlgQuitSaveResume();

//-----------------------------------------------------------------------------
// [SECTION] Screens
//-----------------------------------------------------------------------------

// Main menu: 0 exit (or quit), 1 play, after the start animation; gameLoadedFromMenu() tells whether the
// game to play was loaded (else a new game of gGame.variant follows).
int32_t menuMain();
int32_t gameLoadedFromMenu();
int32_t menuOptions();  // 0 when the program was asked to quit
// The options screen without input: background, knobs from the settings, and the direction buttons at rest
// (animation 0) or `animation` frames (5..1) into a change.
void optionsDraw(int32_t animation);
// The stylus held inside the inclusive rectangle: (x - left) / (right - left); else -1.
float sliderValueAt(int32_t left, int32_t top, int32_t right, int32_t bottom);
int32_t sliderKnobX(int32_t left, int32_t right, float value);
// "KORVA.Setup": 1 when read (and repaired) or written; a missing or short file gives the defaults and 0.
int32_t setupLoad();
int32_t setupSave();

// The hall of fame: ten entries per variant, best first; "KORVA.Score" is the record byte for byte.
enum { HOF_ENTRIES = 10, HOF_NAME_UNITS = 50, HOF_NAME_CHARS = 10 };
struct HofEntry {
    int32_t score;                  // 0 or below shows as "EMPTY"
    int32_t flag;                   // written as 1
    char16_t name[HOF_NAME_UNITS];  // NUL-terminated, at most HOF_NAME_CHARS characters
};
struct HallOfFame {
    HofEntry table[3][HOF_ENTRIES];
};
static_assert(sizeof(HofEntry) == 108 && offsetof(HofEntry, flag) == 4 && offsetof(HofEntry, name) == 8,
              "a scores entry is a file format");
static_assert(sizeof(HallOfFame) == 3240, "KORVA.Score is the whole table");
extern HallOfFame gHallOfFame;
void hofReset();    // the defaults, and the turning block's path with them
int32_t hofLoad();  // hofReset, then the file over it; 0 when there is none
int32_t hofSave();
int32_t hofRank(int32_t variant, int32_t score);  // 1..9, or 0 when the score does not enter
void hofInsert(int32_t variant, int32_t score, int32_t flag, const char16_t* name);
char16_t kbdHitKey(int32_t originX, int32_t originY);  // the key under this update's tap, or 0
void hofDraw(int32_t variant);
// Name entry when the score ranks, then the table; 0 when asked to quit (a name entry the quit cut short
// counts as done with the name typed so far).
int32_t hofScreen();

// Each 0 when the program was asked to quit.
int32_t introPlay();
int32_t loadingScreen(int32_t showPicture);  // showPicture 0: the work without the picture (--game)
int32_t loadingPicture();                    // the loading picture over the frame, and the frame's end
int32_t helpScreen();
int32_t creditsScreen();

//-----------------------------------------------------------------------------
// [SECTION] Shell state
//-----------------------------------------------------------------------------

enum {
    LATCH_A,
    LATCH_B,
    LATCH_C,
    LATCH_UP,
    LATCH_DOWN,
    LATCH_LEFT,
    LATCH_RIGHT,
    LATCH_START,
    LATCH_PEN,
    LATCH_COUNT
};

// What start-up got as far as doing, so shutdown undoes exactly that.
struct ShellStarted {
    bool input, app, sound, files;
};

// Start-up from the title to the settings (window, sound, files, seed, back buffer, font, sounds, settings);
// 0 when the program cannot go on. Shutdown frees in the fixed order whatever start-up and the screens made.
int32_t shellStartUp();
void shellShutDown();

struct Shell {
    ShellStarted started;
    Surface* back;  // the 240 x 320 back buffer: drawing target and presented view
    View view;
    Surface* images[IMAGE_SLOTS];
    Surface* loading;  // "gamedata/Loading.tga", kept for the options screen's reloads
    Surface* fontImage;
    Font font;
    SndSound* sounds[SOUND_SLOTS];
    int8_t voices[SOUND_SLOTS];
    int32_t played[SOUND_SLOTS];  // sounds started per slot since gameMain began (what a player heard)
    uint8_t latches[LATCH_COUNT];
    RotAnim rot;
    int32_t kbdOriginX, kbdOriginY;  // the name entry's keyboard
    int32_t loadedFromMenu;
    int32_t menuVisits;
};
extern Shell gShell;

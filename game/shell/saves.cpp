// Saved games: the game record written and read byte for byte, checked on the way in, and the in-game
// quit-save-resume dialog.
//
// A game file is outside input like any other: a hand-edited or damaged record could index past the board
// or the image table, run a removal that never ends, or a game that never ends. Such a record is refused as
// if the file were missing, with a log line naming the rule; values that are merely out of range for a
// setting are repaired instead, since the game itself can never write them and refusing would lose the game.
#include <cmath>
#include <cstring>

#include "brask/app.h"
#include "brask/log.h"
#include "brask/system.h"
#include "brask/text.h"
#include "brask/vfs.h"
#include "rules/variants.h"
#include "shell/shell.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

static const char kModule[] = "game/shell/saves";

int32_t playerFileName(const char16_t* name, char16_t* dst) {
    const char16_t* folder = appLaunchOptions()->dataFolder;
    const int32_t folderLength = folder ? wstrLen(folder) : 0;
    if (folderLength + wstrLen(name) >= VFS_PATH_MAX) return 0;
    dst[0] = 0;
    if (folder) wstrCopy(dst, folder);
    wstrCat(dst, name);
    return 1;
}

float settingRepaired(float v, float fallback) {
    if (!std::isfinite(v)) return fallback;
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

int32_t gameSlotFileName(int32_t variant, char16_t* dst) {
    char16_t file[] = u"KORVA.Game1";
    file[10] = char16_t(u'1' + variant);
    return playerFileName(file, dst);
}

// The new contents go to this name beside the file, and replace it only once they are all on the disk.
static bool temporaryName(const char16_t* name, char16_t* dst) {
    static const char16_t kSuffix[] = u".new";
    if (wstrLen(name) + wstrLen(kSuffix) >= VFS_PATH_MAX) return false;
    wstrCopy(dst, name);
    wstrCat(dst, kSuffix);
    return true;
}

namespace {

// The new contents in a file beside `target`, flushed and renamed over it. 0 when the file beside it cannot
// be made (nothing was touched then) or any later step failed (the old file stays).
int32_t replaceBeside(const char16_t* target, const void* bytes, int32_t size, bool* made) {
    char16_t temporary[VFS_PATH_MAX];
    VfsFile* f = temporaryName(target, temporary) ? vfsCreate(temporary) : nullptr;
    *made = f != nullptr;
    if (!f) return 0;
    if (vfsWrite(f, bytes, size) != size) {
        vfsDiscard(f);
        return 0;
    }
    return vfsCommit(f, target);
}

// Written over in place: for a copy in a folder that takes no new file, where a rename cannot happen.
int32_t overwrite(const char16_t* path, const void* bytes, int32_t size) {
    VfsFile* f = vfsCreate(path);
    if (!f) return 0;
    const int32_t written = vfsWrite(f, bytes, size);
    return vfsClose(f) && written == size;
}

}  // namespace

int32_t playerFileWrite(const char16_t* name, const void* bytes, int32_t size) {
    // The copy every load opens is the one replaced: a new file elsewhere would stay hidden behind it.
    char16_t current[VFS_PATH_MAX];
    current[0] = 0;
    if (VfsFile* old = vfsOpen(name)) {
        if (!old->archive) wstrCopy(current, old->path);
        vfsClose(old);
    }
    bool made = false;
    int32_t ok = current[0] ? replaceBeside(current, bytes, size, &made) : 0;
    if (!ok && current[0] && !made) ok = overwrite(current, bytes, size);
    // No copy yet, or one that takes no writes at all: where the file system puts a new file.
    if (!ok && !made) ok = replaceBeside(name, bytes, size, &made);
#ifdef __EMSCRIPTEN__
    // In a page the files live in memory until the page copies them to its IndexedDB store (web/pre.js):
    // asked after every write, failed ones too, since a failed replace may still have left a file behind.
    EM_ASM({
        if (Module.korvaFilesChanged) Module.korvaFilesChanged();
    });
#endif
    if (!ok) {
        char16_t line[VFS_PATH_MAX + 16];
        wstrCopy(line, u"Could not write ");
        wstrCat(line, name);
        logSourceLine(kModule, __LINE__, line, LOG_WIDE);
    }
    return ok;
}

void playerFilesTidy() {
    static const char16_t* const kFiles[] = {u"KORVA.Setup", u"KORVA.Score", u"KORVA.Quick",
                                             u"KORVA.Game1", u"KORVA.Game2", u"KORVA.Game3"};
    for (const char16_t* file : kFiles) {
        char16_t name[VFS_PATH_MAX], temporary[VFS_PATH_MAX];
        if (!playerFileName(file, name) || !temporaryName(name, temporary)) continue;
        // Opened rather than deleted by name: the file system finds it in whichever folder it was written.
        if (VfsFile* f = vfsOpen(temporary)) vfsDiscard(f);
    }
}

void saveFailedBox(const char16_t* what) {
    sysMessageBox(what, 0);
}

int32_t gameSave(const char16_t* name) {
    return playerFileWrite(name, &gGame, int32_t(sizeof(GameState)));
}

int32_t gameQuickSave() {
    char16_t name[VFS_PATH_MAX];
    if (playerFileName(u"KORVA.Quick", name) && gameSave(name)) return 1;
    saveFailedBox(u"Could not save the game.");
    return 0;
}

//-----------------------------------------------------------------------------
// Validation
//-----------------------------------------------------------------------------

namespace {

bool within(int32_t v, int32_t low, int32_t high) {
    return v >= low && v <= high;
}

uint8_t flag(uint8_t v) {
    return v ? 1 : 0;
}

// The first rule the record breaks, or null.
const char* brokenRule(const GameState& g, int32_t size) {
    if (size != int32_t(sizeof(GameState))) return "the file is not one game record";
    for (int32_t i = 0; i < BOARD_CELLS; i++)
        if (!within(g.board[i], 1, ELEMENT_KINDS)) return "an element kind outside 1..5";
    if (!within(g.variant, 0, VARIANT_COUNT - 1)) return "a variant outside 0..2";
    if (!within(g.rotCol, 0, ROTATOR_COUNT - 1) || !within(g.rotRow, 0, ROTATOR_COUNT - 1))
        return "a turning block outside the board";
    if (!within(g.rotating, 0, 1) || !within(g.lineBusy, 0, 1))
        return "a turn or removal flag other than 0/1";
    const int32_t* t = g.stepTimer;
    if (!within(t[TIMER_SHRINK], 0, 5) || !within(t[TIMER_GROW], 0, 5) || !within(t[TIMER_EMPTY], 0, 6) ||
        !within(t[TIMER_PANEL_OPEN], 0, 6) || !within(t[TIMER_PANEL_CLOSE], 0, 6) ||
        !within(t[TIMER_ROTATION], 0, 8))
        return "a step timer outside its phase";
    if (g.rotating && t[TIMER_ROTATION] == 0) return "a turn that never completes";
    if (g.lineBusy && !t[TIMER_SHRINK] && !t[TIMER_EMPTY] && !t[TIMER_GROW])
        return "a removal that never ends";
    // Above 100 is a clock no game starts with; below about 4e-6 a single-precision clock of 100 stands
    // still.
    if (!std::isfinite(g.timeLeft) || g.timeLeft > 100.0f) return "an impossible clock";
    if (g.variant == VARIANT_GAME2 && g.timeLeft <= 0.0f && g.gameOver <= 0) return "a Game 2 out of time";
    if (!std::isfinite(g.timeStep) || g.timeStep < 0.001f) return "a clock that does not run";
    if (!within(g.accumulators, 0, GAME_ACCUMULATORS)) return "charges outside 0..2";
    // With no charge left and nothing under way, the next turn would take the charges below 0, where the end
    // rule (exactly 0) never holds again.
    if (g.variant == VARIANT_GAME1 && g.accumulators == 0 && g.gameOver <= 0 && !g.rotating && !g.lineBusy)
        return "a Game 1 without charges that never ends";
    if (g.variant == VARIANT_GAME3 && g.score < 0) return "a Game 3 below zero that never ends";
    if (g.score > GAME_SCORE_LIMIT || g.score < -GAME_SCORE_LIMIT) return "a score no game reaches";
    return nullptr;
}

void repair(GameState& g) {
    g.volume = settingRepaired(g.volume, 1.0f);
    g.brightness = settingRepaired(g.brightness, 0.5f);
    if (g.rotationDirection != 1) g.rotationDirection = 0;
    for (uint8_t* b = &g.leaveFlag; b <= &g.startPressed; b++) *b = flag(*b);
    for (int32_t i = 0; i < BOARD_CELLS; i++) g.marked[i] = g.lineBusy ? (g.marked[i] ? 1 : 0) : 0;
}

}  // namespace

int32_t gameValidate(GameState* g, int32_t size) {
    if (const char* rule = brokenRule(*g, size)) {
        logSourceLine(kModule, __LINE__, "Game file refused: ", 0);
        logWrite(rule, LOG_EOL);
        return 0;
    }
    repair(*g);
    return 1;
}

int32_t gameLoad(const char16_t* name) {
    VfsFile* f = vfsOpen(name);
    if (!f) return 0;
    // Room for more than a record, so a longer file shows as the wrong size.
    GameState loaded[2];
    memset(loaded, 0, sizeof(loaded));
    const int32_t size = vfsRead(f, loaded, int32_t(sizeof(loaded)));
    vfsClose(f);
    if (!gameValidate(&loaded[0], size)) {
        logWrite(name, LOG_WIDE | LOG_EOL);
        return 0;
    }
    gGame = loaded[0];
    rotAnimBuild();
    return 1;
}

//-----------------------------------------------------------------------------
// The quit-save-resume dialog
//-----------------------------------------------------------------------------

int32_t dlgQuitSaveResume() {
    static const TapArea kQuit = {82, 109, 156, 116}, kSave = {82, 117, 156, 124},
                         kResume = {82, 127, 156, 134};
    for (;;) {
        const uint32_t start = appGetTicks();
        // Drawn over the last in-game frame, which stays visible around it.
        if (Surface* s = image(IMG_DIALOG)) sfBlit(s, gfxGetTarget(), 70, 100);
        pollInput();
        const GameState& g = gGame;
        if (g.tap && tapIn(kQuit, g.tapX, g.tapY)) {
            playSound(SND_CLICK);
            return 0;
        }
        if (g.tap && tapIn(kSave, g.tapX, g.tapY)) {
            playSound(SND_CLICK);
            char16_t name[VFS_PATH_MAX];
            if (gameSlotFileName(gameVariantIndex(), name) && gameSave(name)) return 0;
            // The game stays in play: the player can try again, resume or give it up.
            saveFailedBox(u"Could not save the game.");
        }
        if (g.tap && tapIn(kResume, g.tapX, g.tapY)) {
            playSound(SND_CLICK);
            return 1;
        }
        if (!frameEnd()) return -1;
        framePace(start, FRAME_MS);
    }
}

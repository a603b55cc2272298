// The hall of fame: ten best scores per variant with their names, the scores file, ranking and insertion,
// the on-screen keyboard of the name entry and both end-of-game screens.
#include <cstring>

#include "brask/app.h"
#include "brask/text.h"
#include "brask/vfs.h"
#include "rules/variants.h"
#include "shell/shell.h"

HallOfFame gHallOfFame;

void hofReset() {
    for (int32_t v = 0; v < VARIANT_COUNT; v++)
        for (int32_t j = 0; j < HOF_ENTRIES; j++) {
            HofEntry& e = gHallOfFame.table[v][j];
            e = HofEntry{};
            e.score = 20 + 2 * v - j;
            e.flag = 1;
            wstrCopy(e.name, u"BRASK");
        }
    rotAnimBuild();
}

int32_t hofLoad() {
    hofReset();
    char16_t name[VFS_PATH_MAX];
    VfsFile* f = playerFileName(u"KORVA.Score", name) ? vfsOpen(name) : nullptr;
    if (!f) return 0;
    vfsRead(f, &gHallOfFame, int32_t(sizeof gHallOfFame));
    vfsClose(f);
    // Names come from outside: one without its terminator would be read past its entry and the table.
    for (auto& variant : gHallOfFame.table)
        for (HofEntry& e : variant) e.name[HOF_NAME_CHARS] = 0;
    return 1;
}

int32_t hofSave() {
    char16_t name[VFS_PATH_MAX];
    return playerFileName(u"KORVA.Score", name) &&
           playerFileWrite(name, &gHallOfFame, int32_t(sizeof gHallOfFame));
}

int32_t hofRank(int32_t variant, int32_t score) {
    if (score <= 0 || variant < 0 || variant >= VARIANT_COUNT) return 0;
    // Only the first nine count, and an equal score ranks above the one it equals.
    for (int32_t p = 1; p <= HOF_ENTRIES - 1; p++)
        if (gHallOfFame.table[variant][p - 1].score <= score) return p;
    return 0;
}

void hofInsert(int32_t variant, int32_t score, int32_t flag, const char16_t* name) {
    if (variant < 0 || variant >= VARIANT_COUNT) return;
    HofEntry* t = gHallOfFame.table[variant];
    int32_t pos = 0;
    while (pos < HOF_ENTRIES - 1 && t[pos].score > score) pos++;
    if (t[pos].score > score) return;
    memmove(&t[pos + 1], &t[pos], sizeof(HofEntry) * size_t(HOF_ENTRIES - 1 - pos));
    t[pos] = HofEntry{};
    t[pos].score = score;
    t[pos].flag = flag;
    wstrNCopy(t[pos].name, name, HOF_NAME_CHARS);
    t[pos].name[HOF_NAME_CHARS] = 0;
}

char16_t kbdHitKey(int32_t originX, int32_t originY) {
    static const char16_t* const kRows[4] = {u"1234567890-", u"QWERTYUIOP", u"ASDFGHJKL:_", u"ZXCVBNM<>"};
    const GameState& g = gGame;
    if (!g.tap) return 0;
    const int32_t dy = g.tapY - originY;
    const int32_t row = dy / 10;
    const int32_t dx = g.tapX - originX - (row == 1 || row == 3 ? 12 : 4);
    // Both lower bounds are strict: the first pixel of a row types nothing.
    if (!(dx > 0 && dy > 0 && dx < 174 && dy < 40)) return 0;
    const int32_t index = dx / 16;
    return index < wstrLen(kRows[row]) ? kRows[row][index] : 0;
}

static void text(const char16_t* s, int32_t x, int32_t y) {
    if (gameFont()->image) fntDrawText(gameFont(), gfxGetTarget(), s, x, y, FNT_ALIGN_LEFT, 0);
}

void hofDraw(int32_t variant) {
    if (variant < 0 || variant >= VARIANT_COUNT) return;
    text(u"NAME                    SCORE", 30, 80);
    for (int32_t j = 0; j < HOF_ENTRIES; j++) {
        const HofEntry& e = gHallOfFame.table[variant][j];
        const int32_t y = 100 + 9 * j;
        if (e.score <= 0) {
            text(u"EMPTY", 30, y);
            continue;
        }
        text(e.name, 30, y);
        char16_t score[16];
        wstrFromInt(score, e.score, 10);
        wstrPad(score, -5, u' ');
        text(score, 160, y);
    }
}

namespace {

const TapArea kCancel = {13, 270, 27, 277}, kDelete = {209, 270, 230, 279}, kDone = {200, 280, 220, 290};

// 1 finished, 0 cancelled, -1 the program was asked to quit.
int32_t nameEntry(int32_t variant, char16_t* name) {
    int32_t length = 0;
    name[0] = 0;
    for (;;) {
        const uint32_t start = appGetTicks();
        pollInput();
        if (Surface* s = image(IMG_NAME_ENTRY)) sfBlit(s, gfxGetTarget(), 0, 0);
        hofDraw(variant);
        const GameState& g = gGame;
        if (const char16_t c = kbdHitKey(gShell.kbdOriginX, gShell.kbdOriginY)) {
            playSound(SND_CLICK);
            if (length < HOF_NAME_CHARS) {
                name[length++] = c;
                name[length] = 0;
            }
        }
        text(name, 85, 238);
        if (g.tap && tapIn(kCancel, g.tapX, g.tapY)) {
            playSound(SND_CLICK);
            return 0;
        }
        if ((g.tap && tapIn(kDone, g.tapX, g.tapY)) || g.startPressed) return 1;
        if (g.tap && tapIn(kDelete, g.tapX, g.tapY)) {
            playSound(SND_CLICK);
            if (length > 0) name[--length] = 0;
        }
        if (!frameEnd()) return -1;
        framePace(start, FRAME_MS);
    }
}

}  // namespace

int32_t hofScreen() {
    const int32_t variant = gameVariantIndex(), score = gGame.score;
    if (hofRank(variant, score) > 0) {
        char16_t name[HOF_NAME_CHARS + 1];
        const int32_t entry = nameEntry(variant, name);
        // A quit keeps the score: the entry counts as done with what was typed.
        if (entry != 0) hofInsert(variant, score, 1, name);
        if (entry < 0) return 0;
    }
    // The tap or key that ended the entry (or the game) is still down: this poll takes it.
    pollInput();
    while (!gGame.tap && !gGame.startPressed) {
        const uint32_t start = appGetTicks();
        pollInput();
        if (Surface* s = image(IMG_SCORES)) sfBlit(s, gfxGetTarget(), 0, 0);
        hofDraw(variant);
        if (!frameEnd()) return 0;
        framePace(start, FRAME_MS);
    }
    playSound(SND_CLICK);
    return 1;
}

// The screens without rules: the intro animation, the loading picture, the five help pages with the
// rotation example, and the credits.
#include "brask/app.h"
#include "brask/image.h"
#include "rules/board.h"
#include "shell/shell.h"

//-----------------------------------------------------------------------------
// Intro
//-----------------------------------------------------------------------------

int32_t introPlay() {
    static const char16_t* const kFiles[10] = {
        u"gamedata/intro_big.tga", u"gamedata/intro_00.tga", u"gamedata/intro_01.tga",
        u"gamedata/intro_02.tga",  u"gamedata/intro_03.tga", u"gamedata/intro_04.tga",
        u"gamedata/intro_05.tga",  u"gamedata/intro_06.tga", u"gamedata/intro_07.tga",
        u"gamedata/intro_08.tga",
    };
    // The slot drawn in each of the 82 frames, as runs of (last frame, slot).
    static const int32_t kRuns[][2] = {{11, 1}, {13, 2}, {15, 3}, {17, 4}, {51, 5}, {53, 4}, {55, 3},
                                       {57, 2}, {61, 1}, {63, 6}, {65, 7}, {67, 8}, {81, 9}};
    // The intro borrows the first slots of the image table, which is still empty.
    for (int32_t i = 0; i < 10; i++) gShell.images[i] = sfLoadTGA(kFiles[i], pf565, nullptr);
    Surface* target = gfxGetTarget();
    if (Surface* s = image(0)) sfBlit(s, target, 0, 0);
    playSound(SND_INTRO);
    bool running = true;
    int32_t run = 0;
    for (int32_t frame = 0; frame <= 81 && running; frame++) {
        const uint32_t start = appGetTicks();
        if (frame > kRuns[run][0]) run++;
        if (Surface* s = image(kRuns[run][1])) sfBlit(s, target, 47, 91);
        pollInput();  // the intro cannot be skipped, but the keys still toggle their flags
        if (frame == 6 || frame == 52) playSound(SND_IRIS);
        running = frameEnd() != 0;
        if (running) framePace(start, FRAME_MS);
    }
    for (int32_t i = 0; i < 10; i++) {
        sfFree(gShell.images[i]);
        gShell.images[i] = nullptr;
    }
    return running;
}

//-----------------------------------------------------------------------------
// Loading
//-----------------------------------------------------------------------------

int32_t loadingPicture() {
    // Without its picture the screen still ends its frame, so every later frame keeps its number.
    if (Surface* s = gShell.loading) sfBlit(s, gfxGetTarget(), 120, 2 * (160 - s->height));
    return frameEnd();
}

int32_t loadingScreen(int32_t showPicture) {
    gShell.loading = sfLoadTGA(u"gamedata/Loading.tga", pf565, nullptr);
    if (Surface* s = gShell.loading) {
        s->anchorX = s->anchorY = 128;
        s->colourKey = 0xFFFF;
    }
    if (showPicture && !loadingPicture()) return 0;
    imagesLoad(brightnessFactor(gGame.brightness));
    gGame.leaveFlag = 0;
    gGame.variant = VARIANT_GAME2;
    gGame.entryFlag = 1;
    gGame.accumulators = 2;
    hofLoad();
    return 1;
}

//-----------------------------------------------------------------------------
// Help
//-----------------------------------------------------------------------------

namespace {

// The pages are broken and hyphenated by hand; the runs of spaces at some line ends belong to them.
const char16_t* const kHelpPages[5] = {
    u"THE GOAL OF THE GAME IS\nTO GENERATE THE MAXIMUM\nAMOUNT OF ENERGY FROM\nTHE MACHINE "
    u"CALLED\nKORVATRON.\n"
    u"ENERGY IS GENERATED WHEN\nFOUR OR MORE ENERGY ELE-\nMENTS OF THE SAME COLOUR\nARE CONNECTED IN A ROW\n"
    u"OR A COLUMN. YOU CAN MO-\nVE THE ELEMENTS BY ROTA-\nTING THEM IN FOURS.        \nTHE MACHINE SPENDS "
    u"ONE\n"
    u"ENERGY UNIT FOR EACH RO-\nTATION.\n\n\n\nMORE .....",
    u"GAME CONTROLS:\n\nYOU CAN ROTATE A BLOCK\nOF 4 ELEMENTS, BY CLICK-\nING ON ROTATOR BETWEEN\n"
    u"THEM.                \nTHE ROTATION DIRECTION\nDEPENDS ON THE SETUP OP-\nTION.\nLIKE THIS :            "
    u"    \n"
    u"\n\n\n\n\n\n\n\nMORE .....",
    u"GAME 1:\n\nTHE MOTORS OF THE MOVING\nMECHANISMS ARE POWERED\nBY TWO ACCUMULATORS,\n"
    u"ALLOWING YOU TO MAKE JUST\nTWO ROTATIONS.       \nWITHIN THESE TWO MOVES\nYOU MUST CONNECT AT LEAST\n"
    u"FOUR ELEMENTS - THIS WILL\nREFILL THE ACCUMULATORS\nAND LET YOU MAKE TWO MO-\nRE MOVES. IN OTHER "
    u"WORDS,\n"
    u"THE GAME ENDS WHEN YOU\nFAIL TO GENERATE ANY\nENERGY FOR TWO MOVES.\n\n\nMORE .....",
    u"GAME 2:\n\nTHERE IS AN EXTERNAL PO-\nWER SOURCE, PROVIDING UN-\nLIMITED ENERGY, BUT FOR A\n"
    u"LIMITED AMOUNT OF TIME. YOU\nMUST GENERATE THE MAXI-\nMUM AMOUNT OF ENERGY WHILE\nIT LASTS.\n"
    u"\n\n\n\n\n\n\n\n\nMORE .....",
    u"GAME 3:\n\nTHE MACHINE IS POWERED BY\nTHE ENERGY IT GENERATES.\nYOU CAN GENERATE AS\n"
    u"MUCH ENERGY AS YOU WANT,\nBUT YOU MUST NOT LET IT\nFALL DOWN TO ZERO, SINCE\nYOU WON'T BE ABLE TO MA-\n"
    u"KE ANOTHER MOVE. THAT IS,\nYOU SHOULD GENERATE MORE\nENERGY BY CONNECTING ELE\nMENTS, THAN YOU "
    u"CONSUME\n"
    u"BY ROTATING THEM.\n\n\n\n\nEND .....",
};

// The second page's example: the real board's block at columns 6-7, rows 8-9, turned by a stylus that
// descends onto its rotator. `s` counts the stylus down, `a` the turn.
struct HelpExample {
    int32_t s, a;
};

void helpExampleStep(HelpExample& e) {
    enum { COL = 6, ROW = 8 };
    if (e.s > 0 && --e.s == 1) e.a = 8;
    const int32_t f = e.a > 0 ? e.a - 1 : 0;
    if (f == 1) {
        if (gGame.rotationDirection == 1)
            boardRotateClockwise(COL, ROW);
        else
            boardRotateAnticlockwise(COL, ROW);
        e.s = 8;
    }
    Surface* target = gfxGetTarget();
    const RotAnim& t = *rotAnim();
    for (int32_t cell = -1; cell < ROT_CELLS; cell++) {
        const int32_t k = cell & 1, j = cell >> 1;  // column and row inside the block (cell -1: the rotator)
        Surface* s =
            image(cell < 0 ? IMG_ROTATOR : elementImageSlot(gGame.board[boardIndex(COL + k, ROW + j)]));
        if (!s) continue;
        const int32_t x = cell < 0 ? 160 : 150 + 20 * k, y = cell < 0 ? 200 : 190 + 20 * j;
        if (f < 2) {
            sfBlit(s, target, x, y);
            continue;
        }
        const RotateParams p = cell < 0
                                   ? RotateParams{159, 199, t.angle[f - 1] + 45, 307, 307}
                                   : RotateParams{x + t.dx[cell][f - 1], y + t.dy[cell][f - 1], 0, 307, 307};
        sfBlitRotated(s, target, &p, -1);
    }
    if (Surface* s = image(IMG_STYLUS)) sfBlit(s, target, 159, 199 - 2 * e.s);
    e.a = f;
}

}  // namespace

int32_t helpScreen() {
    HelpExample example = {8, 0};
    for (int32_t page = 0;;) {
        const uint32_t start = appGetTicks();
        Surface* target = gfxGetTarget();
        if (Surface* s = image(IMG_HELP)) sfBlit(s, target, 0, 0);
        if (gameFont()->image)
            fntDrawText(gameFont(), target, kHelpPages[page], 30, 70, FNT_ALIGN_JUSTIFY, 180);
        if (page == 1) helpExampleStep(example);
        pollInput();
        if (gGame.tap) {
            playSound(SND_CLICK);
            if (page == 4) break;
            page++;
        }
        if (!frameEnd()) return 0;
        framePace(start, FRAME_MS);
    }
    playSound(SND_CLICK);
    return 1;
}

//-----------------------------------------------------------------------------
// Credits
//-----------------------------------------------------------------------------

int32_t creditsScreen() {
    for (;;) {
        const uint32_t start = appGetTicks();
        if (Surface* s = image(IMG_CREDITS)) sfBlit(s, gfxGetTarget(), 0, 0);
        pollInput();
        if (gGame.tap || gGame.startPressed) break;
        if (!frameEnd()) return 0;
        framePace(start, FRAME_MS);
    }
    playSound(SND_CLICK);
    return 1;
}

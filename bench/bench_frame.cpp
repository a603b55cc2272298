// The whole in-game frame and the program's start-up. A busy frame (a turn, a removal under its overlay, the
// bonus banner, the Game 2 clock, the score, the volume panel open, the mute icon) is drawn with gameDraw and
// presented with gfxPresent into the identity and the quarter-turned frame buffer, beside an SDL2 frame of
// the same shape; a steady frame's allocations are counted; and the program is started headless up to its
// first menu frame, against reading its archive with cat.
//
// `bench_frame --frames N --layout identity|turned [--peer NAME]` only draws N frames, between callgrind's
// instrumentation start and stop, so bench_frame_callgrind can count instructions per frame.
#include <benchmark/benchmark.h>

#include "bench_report.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app_internal.h"
#include "brask/app.h"
#include "brask/input.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "brask/vfs.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "rules/board.h"
#include "rules/state.h"
#include "rules/variants.h"
#include "shell/shell.h"

#ifdef KORVA_HAVE_SDL2
#include <SDL.h>
#endif
#ifdef KORVA_HAVE_SDL2GFX
#include <SDL2_rotozoom.h>
#endif
#ifdef KORVA_HAVE_PIXMAN
#include <pixman.h>
#endif
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int SW = SCREEN_WIDTH, SH = SCREEN_HEIGHT;

// ---- Our frame: the shell started as the shell tests start it ----

struct Layout {
    const char* name;
    PlatDisplayProperties props;
};
// The handheld's own frame buffer, and the one stored down its columns (screen x runs up a 320-pixel row).
const Layout kLayouts[2] = {{"identity", {240, 320, 2, 480, 16, PLAT_FMT_565}},
                            {"turned", {240, 320, -640, 2, 16, PLAT_FMT_565}}};

std::string g_root, g_prog, g_docs;
int g_layout = -1;  // the layout the running shell presents into; -1 none

bool makeFolders() {
    const fs::path shm = "/dev/shm";
    // tmpfs when there is one: the start-up runs write their settings with a flush, which a disk would time.
    const fs::path base = fs::is_directory(shm) ? shm : fs::temp_directory_path();
    g_root = (base / ("korva-bench-frame-" + std::to_string(getpid()))).string();
    g_prog = g_root + "/prog";
    g_docs = g_root + "/docs";
    std::error_code ec;
    fs::remove_all(g_root, ec);
    fs::create_directories(g_prog);
    fs::create_directories(g_docs);
    for (const char* f : {"korvatron.pak", "SysFont7x14.tga"}) {
        fs::copy_file(std::string(KORVA_GAME_DIR) + "/" + f, g_prog + "/" + f, ec);
        if (ec) {
            fprintf(stderr, "bench_frame: cannot copy %s from %s: %s\n", f, KORVA_GAME_DIR,
                    ec.message().c_str());
            return false;
        }
    }
    return true;
}

void stopShell() {
    if (g_layout < 0) return;
    shellShutDown();
    g_layout = -1;
}

// Every part of the frame at once, in places where none hides another completely. The board is a fixed
// pattern so that every start draws the same frame.
void busyFrame() {
    GameState& g = gGame;
    for (int32_t i = 0; i < BOARD_CELLS; i++) g.board[i] = 1 + (i * 7 + i / BOARD_SIZE) % ELEMENT_KINDS;
    g.variant = VARIANT_GAME2;
    g.timeLeft = 100.0f;
    g.score = 123456;
    // A turn at block (6, 1), four frames before it ends.
    g.rotating = 1;
    g.rotCol = 6;
    g.rotRow = 1;
    g.stepTimer[TIMER_ROTATION] = 4;
    // A removal in its empty phase under the heavier overlay: a row of five and a column of four.
    g.lineBusy = 1;
    for (int32_t c = 1; c <= 5; c++) g.marked[boardIndex(c, 7)] = 1;
    for (int32_t r = 3; r <= 6; r++) g.marked[boardIndex(8, r)] = 1;
    g.stepTimer[TIMER_EMPTY] = 4;
    g.bonusTimer = 150;
    g.panelOpen = 1;
    g.volume = 0.6f;
    g.soundOn = 0;
}

bool startShell(int layout) {
    if (g_layout == layout) return true;
    stopShell();
    headlessReset();
    headlessSetProgramPath((g_prog + "/korvatron").c_str());
    headlessSetDocumentsFolder(g_docs.c_str());
    vfsResetFolders();
    logReset();
    headlessSetDisplay(&kLayouts[layout].props);
    appForgetPlatform();
    inpForgetPlatform();
    appSetLaunchOptions(nullptr);
    gGame = GameState{};
    gShell = Shell{};
    if (!shellStartUp()) {
        fprintf(stderr, "bench_frame: the shell did not start (layout %s)\n", kLayouts[layout].name);
        shellShutDown();
        return false;
    }
    imagesLoad(256);
    rotAnimBuild();
    gameNew();
    busyFrame();
    g_layout = layout;
    return true;
}

void oursFrame() {
    gameDraw();
    gfxPresent(&gShell.view);
}

// The frame buffer as this layout stores it: 240 x 320 rows for the identity, 320 x 240 for the turned one.
std::vector<uint16_t> frameBufferCopy() {
    int64_t size = 0;
    const uint8_t* fb = headlessFrameBuffer(&size);
    std::vector<uint16_t> out(size_t(SW) * SH);
    if (fb && size >= int64_t(out.size() * 2)) memcpy(out.data(), fb, out.size() * 2);
    return out;
}

std::vector<uint16_t> surfacePixels(const Surface* s) {
    std::vector<uint16_t> out(size_t(s->width) * size_t(s->height));
    for (int32_t y = 0; y < s->height; y++)
        for (int32_t x = 0; x < s->width; x++) out[size_t(y) * s->width + x] = uint16_t(sfGetPixel(s, x, y));
    return out;
}

// ---- The peer: the same frame with SDL2, SDL2_gfx and (for one turned present) pixman ----

#if defined(KORVA_HAVE_SDL2) && defined(KORVA_HAVE_SDL2GFX)
#define KORVA_FRAME_PEER 1

enum Present { PRESENT_BLIT, PRESENT_ROT90, PRESENT_PIXMAN };
struct PeerKind {
    const char* name;
    int layout;
    bool rle;  // SDL_RLEACCEL on every keyed picture
    Present present;
};
const PeerKind kPeers[] = {
    {"key", 0, false, PRESENT_BLIT},          {"rle", 0, true, PRESENT_BLIT},
    {"key_rot90", 1, false, PRESENT_ROT90},   {"rle_rot90", 1, true, PRESENT_ROT90},
#ifdef KORVA_HAVE_PIXMAN
    {"key_pixman", 1, false, PRESENT_PIXMAN}, {"rle_pixman", 1, true, PRESENT_PIXMAN},
#endif
};

struct Box {
    int x, y, w, h;
};

// Everything the peer frame needs, made once from the pictures and the record our shell loaded.
struct Peer {
    SDL_Surface* plain[IMAGE_SLOTS] = {};  // colour-keyed where ours is, without RLE
    SDL_Surface* rle[IMAGE_SLOTS] = {};    // the same with SDL_RLEACCEL
    int offX[IMAGE_SLOTS] = {}, offY[IMAGE_SLOTS] = {};
    SDL_Surface* fontPlain = nullptr;
    SDL_Surface* fontRle = nullptr;
    Font font{};  // the glyph table only; its image is ours and not used here
    GameState g{};
    RotAnim rot{};
    SDL_Surface* screen = nullptr;    // the 240 x 320 back buffer
    SDL_Surface* fb = nullptr;        // identity frame buffer
    SDL_Surface* fbTurned = nullptr;  // 320 x 240, as the turned layout stores the screen
#ifdef KORVA_HAVE_PIXMAN
    pixman_image_t* pixScreen = nullptr;
    pixman_image_t* pixTurned = nullptr;
#endif
    bool useRle = false;
    // Counted while drawing, for the shape check.
    int blits = 0, scaled = 0, glyphs = 0;
    long long pixels = 0;
    bool record = false;
    std::vector<Box> loose;  // where the peer's sampling or text may differ from ours
};
Peer P;

SDL_Surface* sdlCopy(const Surface* s, bool rle) {
    SDL_Surface* d = SDL_CreateRGBSurfaceWithFormat(0, s->width, s->height, 16, SDL_PIXELFORMAT_RGB565);
    for (int32_t y = 0; y < s->height; y++) {
        uint16_t* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d->pixels) + y * d->pitch);
        for (int32_t x = 0; x < s->width; x++) row[x] = uint16_t(sfGetPixel(s, x, y));
    }
    if (s->colourKey != SF_NO_KEY) SDL_SetColorKey(d, SDL_TRUE, s->colourKey);
    if (rle && s->colourKey != SF_NO_KEY) SDL_SetSurfaceRLE(d, 1);
    return d;
}

void peerSetUp() {
    for (int32_t i = 0; i < IMAGE_SLOTS; i++) {
        const Surface* s = image(i);
        if (!s) continue;
        P.plain[i] = sdlCopy(s, false);
        P.rle[i] = sdlCopy(s, true);
        P.offX[i] = (s->width * s->anchorX + 128) >> 8;
        P.offY[i] = (s->height * s->anchorY + 128) >> 8;
    }
    P.font = *gameFont();
    P.fontPlain = sdlCopy(P.font.image, false);
    P.fontRle = sdlCopy(P.font.image, true);
    P.font.image = nullptr;
    P.g = gGame;
    P.rot = *rotAnim();
    P.screen = SDL_CreateRGBSurfaceWithFormat(0, SW, SH, 16, SDL_PIXELFORMAT_RGB565);
    P.fb = SDL_CreateRGBSurfaceWithFormat(0, SW, SH, 16, SDL_PIXELFORMAT_RGB565);
    P.fbTurned = SDL_CreateRGBSurfaceWithFormat(0, SH, SW, 16, SDL_PIXELFORMAT_RGB565);
#ifdef KORVA_HAVE_PIXMAN
    P.pixScreen = pixman_image_create_bits(PIXMAN_r5g6b5, SW, SH, static_cast<uint32_t*>(P.screen->pixels),
                                           P.screen->pitch);
    P.pixTurned = pixman_image_create_bits(PIXMAN_r5g6b5, SH, SW, static_cast<uint32_t*>(P.fbTurned->pixels),
                                           P.fbTurned->pitch);
    // Turned pixel (X, Y) holds screen pixel (239 - Y, X).
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    t.matrix[0][0] = 0;
    t.matrix[0][1] = pixman_int_to_fixed(-1);
    t.matrix[0][2] = pixman_int_to_fixed(SW);
    t.matrix[1][0] = pixman_int_to_fixed(1);
    t.matrix[1][1] = 0;
    t.matrix[1][2] = 0;
    pixman_image_set_transform(P.pixScreen, &t);
    pixman_image_set_filter(P.pixScreen, PIXMAN_FILTER_NEAREST, nullptr, 0);
#endif
}

void peerCount(const SDL_Rect& drawn) {
    P.blits++;
    P.pixels += (long long)drawn.w * drawn.h;
}

void peerBlit(int32_t slot, int x, int y) {
    if (slot < 0 || slot >= IMAGE_SLOTS) return;
    SDL_Surface* s = P.useRle ? P.rle[slot] : P.plain[slot];
    if (!s) return;
    SDL_Rect r = {x - P.offX[slot], y - P.offY[slot], 0, 0};
    SDL_BlitSurface(s, nullptr, P.screen, &r);
    if (P.record) peerCount(r);
}

// A picture scaled (and turned) about its centre: made, drawn and freed, as a user of SDL2_gfx would.
void peerScaled(int32_t slot, int x, int y, int angle, int16_t scale) {
    SDL_Surface* s = P.plain[slot];
    if (!s) return;
    const double zoom = scale / 256.0;
    // Our angles turn clockwise on the screen, SDL2_gfx's anticlockwise.
    SDL_Surface* z =
        angle ? rotozoomSurface(s, -angle, zoom, SMOOTHING_OFF) : zoomSurface(s, zoom, zoom, SMOOTHING_OFF);
    SDL_Rect r = {x - z->w / 2, y - z->h / 2, 0, 0};
    // Our box and SDL2_gfx's may round a pixel apart at each edge.
    const Box loose = {r.x - 3, r.y - 3, z->w + 6, z->h + 6};
    SDL_BlitSurface(z, nullptr, P.screen, &r);
    SDL_FreeSurface(z);
    if (P.record) {
        peerCount(r);
        P.scaled++;
        P.loose.push_back(loose);
    }
}

bool peerMarked(int32_t c, int32_t r) {
    return P.g.marked[boardIndex(c, r)] != 0;
}

bool peerTurning(int32_t c, int32_t r) {
    const GameState& g = P.g;
    return g.rotating && (c == g.rotCol || c == g.rotCol + 1) && (r == g.rotRow || r == g.rotRow + 1);
}

// Glyph cells blitted keyed, laid out as a proportional font lays them out.
void peerText(const char* text, int x, int y) {
    const Font& f = P.font;
    SDL_Surface* img = P.useRle ? P.fontRle : P.fontPlain;
    int pen = x;
    for (const char* p = text; *p; p++) {
        const int c = (unsigned char)*p;
        if (c == ' ' || c < f.firstChar || c > f.lastChar) {
            pen += f.spacing + f.cellWidth / 2;
            continue;
        }
        const Glyph& gl = f.glyphs[c - f.firstChar];
        SDL_Rect src = {gl.x, gl.y, f.cellWidth, f.cellHeight};
        SDL_Rect at = {pen - gl.leftBlank, y, 0, 0};
        SDL_BlitSurface(img, &src, P.screen, &at);
        if (P.record) {
            peerCount(at);
            P.glyphs++;
        }
        pen += f.spacing + gl.width;
    }
    if (P.record) P.loose.push_back({x, y, pen - x, f.cellHeight});
}

// gameDraw's order and places, from the same record.
void peerDraw() {
    const GameState& g = P.g;
    peerBlit(IMG_BACK, 0, 0);
    // The empty phase's look: every marked element at 0.1 under the overlay of stepTimer[2].
    int16_t markedScale = 0;
    int32_t overlay = -1;
    {
        const GameState saved = gGame;
        gGame = g;
        gameMarkedLook(&markedScale, &overlay);
        gGame = saved;
    }
    for (int32_t r = 0; r < BOARD_SIZE; r++)
        for (int32_t c = 0; c < BOARD_SIZE; c++) {
            const int32_t slot = elementImageSlot(g.board[boardIndex(c, r)]);
            if (slot < 0) continue;
            const int x = CELL_ORIGIN + CELL_PITCH * c, y = CELL_ORIGIN + CELL_PITCH * r;
            if (peerMarked(c, r)) {
                peerScaled(slot, x, y, 0, markedScale);
                if (overlay >= 0) peerBlit(overlay, x, y);
            } else if (!peerTurning(c, r)) {
                peerBlit(slot, x, y);
            }
        }
    if (g.rotating) {
        const int32_t f = g.stepTimer[TIMER_ROTATION] - 1;
        const int16_t turnScale = 307;
        peerScaled(IMG_ROTATOR, CELL_PITCH * g.rotCol + 39, CELL_PITCH * g.rotRow + 39, P.rot.angle[f] + 45,
                   turnScale);
        static const int32_t kCol[ROT_CELLS] = {0, 1, 0, 1}, kRow[ROT_CELLS] = {0, 0, 1, 1};
        for (int32_t cell = 0; cell < ROT_CELLS; cell++) {
            const int32_t c = g.rotCol + kCol[cell], r = g.rotRow + kRow[cell];
            const int32_t slot = elementImageSlot(g.board[boardIndex(c, r)]);
            if (slot < 0) continue;
            peerScaled(slot, CELL_ORIGIN + CELL_PITCH * c + P.rot.dx[cell][f],
                       CELL_ORIGIN + CELL_PITCH * r + P.rot.dy[cell][f], 0, turnScale);
        }
    }
    int knobX = 157;
    if (g.panelOpen) {
        peerBlit(IMG_PANEL + 2, 0, 0);
        knobX = int(float(190 - 96 - 31) * g.volume + 96.0f);
    }
    peerBlit(IMG_KNOB, knobX, 3);
    if (!g.soundOn) peerBlit(IMG_MUTE, 202, 1);
    if (g.bonusTimer > 0) peerBlit(IMG_BONUS, 120, g.bonusTimer - 10);
    for (int x = 111; float(x) < 111.0f + g.timeLeft; x += 3) peerBlit(IMG_CLOCK, x, 255);
    char score[32];
    snprintf(score, sizeof score, "SCORE : %d", g.score);
    peerText(score, 36, 256);
}

void peerPresent(Present how) {
    switch (how) {
        case PRESENT_BLIT:
            SDL_BlitSurface(P.screen, nullptr, P.fb, nullptr);
            break;
        case PRESENT_ROT90: {
            // Three clockwise quarter turns put screen (x, y) at (y, 239 - x), as the layout stores it.
            SDL_Surface* r = rotateSurface90Degrees(P.screen, 3);
            SDL_BlitSurface(r, nullptr, P.fbTurned, nullptr);
            SDL_FreeSurface(r);
            break;
        }
        case PRESENT_PIXMAN:
#ifdef KORVA_HAVE_PIXMAN
            pixman_image_composite32(PIXMAN_OP_SRC, P.pixScreen, nullptr, P.pixTurned, 0, 0, 0, 0, 0, 0, SH,
                                     SW);
#endif
            break;
    }
}

void peerFrame(const PeerKind& k) {
    P.useRle = k.rle;
    peerDraw();
    peerPresent(k.present);
}

std::vector<uint16_t> sdlPixels(const SDL_Surface* s) {
    std::vector<uint16_t> out(size_t(s->w) * s->h);
    for (int y = 0; y < s->h; y++)
        memcpy(&out[size_t(y) * s->w], static_cast<const uint8_t*>(s->pixels) + y * s->pitch,
               size_t(s->w) * 2);
    return out;
}

const PeerKind* peerNamed(const char* name) {
    for (const PeerKind& k : kPeers)
        if (!strcmp(k.name, name)) return &k;
    return nullptr;
}
#endif  // SDL2 and SDL2_gfx

// ---- Checks made before timing ----

std::vector<std::string> g_notes;
bool g_shapeOk = true;
uint32_t g_allocs[2] = {~0u, ~0u};  // per layout, over kAllocFrames steady frames
constexpr int kAllocFrames = 100;

void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void note(const char* fmt, ...) {
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    g_notes.push_back(line);
}

void countAllocations(int layout) {
    if (!startShell(layout)) return;
    for (int i = 0; i < 10; i++) oursFrame();
    const uint32_t before = memGetStats()->totalAllocs;
    for (int i = 0; i < kAllocFrames; i++) oursFrame();
    g_allocs[layout] = memGetStats()->totalAllocs - before;
}

#ifdef KORVA_FRAME_PEER
// Same shape: the same blits from the same record. Ours and the peer's frames must agree on every pixel
// outside the scaled pictures and the text (where nearest-neighbour sampling and tinting may differ), and
// each frame buffer must hold its own back buffer, so that both presents moved the whole screen.
void checkShape() {
    startShell(0);
    oursFrame();
    const std::vector<uint16_t> ours = surfacePixels(gShell.back);
    P.record = true;
    P.loose.clear();
    P.blits = P.scaled = P.glyphs = 0;
    P.pixels = 0;
    peerFrame(kPeers[0]);
    P.record = false;
    const std::vector<uint16_t> theirs = sdlPixels(P.screen);
    int differ = 0, outside = 0;
    for (int y = 0; y < SH; y++)
        for (int x = 0; x < SW; x++) {
            if (ours[size_t(y) * SW + x] == theirs[size_t(y) * SW + x]) continue;
            differ++;
            bool inLoose = false;
            for (const Box& b : P.loose)
                inLoose = inLoose || (x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h);
            if (!inLoose) outside++;
        }
    note(
        "peer frame: %d blits (%d scaled or turned pictures made per frame, %d glyph cells), %lld pixels "
        "written or keyed",
        P.blits, P.scaled, P.glyphs, P.pixels);
    note(
        "ours vs peer back buffer: %d of %d pixels differ, %d of them outside the scaled pictures and the "
        "text %s",
        differ, SW * SH, outside, outside == 0 ? "ok" : "MISMATCH");
    if (outside) g_shapeOk = false;

    for (const PeerKind& k : kPeers) {
        startShell(k.layout);
        oursFrame();
        const std::vector<uint16_t> ourBack = surfacePixels(gShell.back);
        const std::vector<uint16_t> ourFb = frameBufferCopy();
        peerFrame(k);
        const std::vector<uint16_t> peerBack = sdlPixels(P.screen);
        const std::vector<uint16_t> peerFb = sdlPixels(k.layout ? P.fbTurned : P.fb);
        int backDiff = 0, fbDiff = 0;
        for (size_t i = 0; i < ourBack.size(); i++) backDiff += ourBack[i] != peerBack[i];
        for (size_t i = 0; i < ourFb.size(); i++) fbDiff += ourFb[i] != peerFb[i];
        // Every back-buffer difference reappears once in the frame buffers, and no other.
        const bool ok = backDiff == fbDiff && ourBack == ours;
        note("%-10s %-8s presented: frame buffers differ in %d pixels, back buffers in %d %s", k.name,
             kLayouts[k.layout].name, fbDiff, backDiff, ok ? "ok" : "MISMATCH");
        if (!ok) g_shapeOk = false;
    }
}
#endif

// ---- Start-up against cat ----

struct ChildTime {
    double wall, cpu;  // milliseconds
    int status;
};

ChildTime runChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    ChildTime t = {0, 0, -1};
    if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ) == 0) {
        int status = 0;
        struct rusage ru = {};
        wait4(pid, &status, 0, &ru);
        const auto t1 = std::chrono::steady_clock::now();
        t.wall = std::chrono::duration<double, std::milli>(t1 - t0).count();
        t.cpu = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
                (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
        t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct StartUp {
    const char* what;
    double wall, cpu, catWall, catCpu;
    bool ran;
};
std::vector<StartUp> g_startUps;

// The program in a folder of its own with its archive and font; the script closes the window in the frame
// after the one to reach, so the run ends right after presenting it (then writes its settings and frees).
void measureStartUp(int runs) {
    const std::string game = g_root + "/game", data = g_root + "/data";
    std::error_code ec;
    fs::create_directories(game);
    fs::copy_file(KORVATRON_EXE, game + "/korvatron", fs::copy_options::overwrite_existing, ec);
    for (const char* f : {"korvatron.pak", "SysFont7x14.tga"})
        fs::copy_file(std::string(KORVA_GAME_DIR) + "/" + f, game + "/" + f,
                      fs::copy_options::overwrite_existing, ec);
    // 82 intro frames and the loading picture come first, so present 83 is the menu's first frame.
    struct Case {
        const char* what;
        const char* script;
        const char* option;
    } cases[] = {{"first menu frame (intro played)", "84 close\n", nullptr},
                 {"first game frame (--game 2)", "1 close\n", "--game=2"}};
    const std::vector<std::string> cat = {"cat", game + "/korvatron.pak"};
    for (const Case& c : cases) {
        const std::string script = g_root + "/startup.txt";
        FILE* f = fopen(script.c_str(), "w");
        if (!f) return;
        fputs(c.script, f);
        fclose(f);
        std::vector<std::string> argv = {
            game + "/korvatron", "--headless", "--script", script, "--data", data};
        if (c.option) argv.push_back(c.option);
        std::vector<double> wall, cpu, catWall, catCpu;
        bool ran = true;
        for (int i = 0; i <= runs; i++) {
            // Turn about, so that a busy spell on the machine falls on both.
            const ChildTime g = runChild(argv);
            const ChildTime k = runChild(cat);
            if (g.status != 0 || k.status != 0) ran = false;
            if (i == 0) continue;  // the first of each warms the page cache and the dynamic loader
            wall.push_back(g.wall);
            cpu.push_back(g.cpu);
            catWall.push_back(k.wall);
            catCpu.push_back(k.cpu);
        }
        g_startUps.push_back({c.what, median(wall), median(cpu), median(catWall), median(catCpu), ran});
    }
}

// ---- Benchmarks ----

void registerAll() {
    for (int layout = 0; layout < 2; layout++)
        benchmark::RegisterBenchmark((std::string("ours/") + kLayouts[layout].name).c_str(),
                                     [layout](benchmark::State& st) {
                                         if (!startShell(layout)) {
                                             st.SkipWithError("the shell did not start");
                                             return;
                                         }
                                         for (auto _ : st) oursFrame();
                                     })
            ->Unit(benchmark::kMicrosecond);
#ifdef KORVA_FRAME_PEER
    for (const PeerKind& k : kPeers)
        benchmark::RegisterBenchmark((std::string("peer_") + k.name + "/" + kLayouts[k.layout].name).c_str(),
                                     [&k](benchmark::State& st) {
                                         for (auto _ : st) peerFrame(k);
                                     })
            ->Unit(benchmark::kMicrosecond);
#endif
}

int framesOnly(int frames, const char* layoutName, const char* peerName) {
    int layout = -1;
    for (int i = 0; i < 2; i++)
        if (!strcmp(layoutName, kLayouts[i].name)) layout = i;
    if (layout < 0 || frames <= 0 || !startShell(layout)) {
        fprintf(stderr, "usage: bench_frame --frames N --layout identity|turned [--peer NAME]\n");
        return 2;
    }
    if (peerName) {
#ifdef KORVA_FRAME_PEER
        peerSetUp();
        const PeerKind* k = peerNamed(peerName);
        if (!k || k->layout != layout) {
            fprintf(stderr, "bench_frame: no peer %s for layout %s\n", peerName, layoutName);
            return 2;
        }
        peerFrame(*k);
        CALLGRIND_START_INSTRUMENTATION;
        for (int i = 0; i < frames; i++) peerFrame(*k);
        CALLGRIND_STOP_INSTRUMENTATION;
#else
        fprintf(stderr, "bench_frame: built without the SDL2 peer\n");
        return 2;
#endif
    } else {
        oursFrame();
        CALLGRIND_START_INSTRUMENTATION;
        for (int i = 0; i < frames; i++) oursFrame();
        CALLGRIND_STOP_INSTRUMENTATION;
    }
    stopShell();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platSetBackend(&platHeadless);
    appInitTimer();
    if (!makeFolders()) return 1;
    int frames = 0;
    const char* layout = nullptr;
    const char* peer = nullptr;
    for (int i = 1; i + 1 < argc; i++) {
        if (!strcmp(argv[i], "--frames"))
            frames = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--layout"))
            layout = argv[++i];
        else if (!strcmp(argv[i], "--peer"))
            peer = argv[++i];
    }
    if (frames || layout) {
        const int rc = framesOnly(frames, layout ? layout : "", peer);
        std::error_code ec;
        fs::remove_all(g_root, ec);
        return rc;
    }

    if (!startShell(0)) return 1;
#ifdef KORVA_FRAME_PEER
    peerSetUp();
    checkShape();
#else
    note("peer not built: SDL2 and SDL2_gfx are needed");
#endif
    countAllocations(0);
    countAllocations(1);
    registerAll();
    // Five repetitions unless the command line says otherwise (a later flag wins): the table takes medians.
    std::vector<char*> args = {argv[0], const_cast<char*>("--benchmark_repetitions=5"),
                               const_cast<char*>("--benchmark_min_time=0.2")};
    for (int i = 1; i < argc; i++) args.push_back(argv[i]);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    TableReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    stopShell();
    measureStartUp(7);

    printf(
        "\nThe frame: a turn (frame 3 of 7), a removal in its empty phase (9 elements at 0.1 under "
        "blend02),\n"
        "the bonus banner, the Game 2 clock (34 segments), the score, the volume panel open, the mute "
        "icon.\n");
    printf("\nChecks (before timing):\n");
    for (const std::string& n : g_notes) printf("  %s\n", n.c_str());
    for (int l = 0; l < 2; l++)
        printf("  allocations in %d steady frames, %s: %u %s\n", kAllocFrames, kLayouts[l].name, g_allocs[l],
               g_allocs[l] == 0 ? "met" : "NOT MET");

    printf("\nSpeed-up = the fastest peer's CPU time / ours, median of 5 repetitions, all from this run.\n");
    printf("%-34s %-22s %10s %10s %8s %6s %s\n", "frame (gameDraw + gfxPresent)", "fastest peer", "ours us",
           "peer us", "speed-up", "goal", "");
    for (int l = 0; l < 2; l++) {
        auto o = rep.times.find(std::string("ours/") + kLayouts[l].name);
        if (o == rep.times.end()) continue;
        double best = 0;
        std::string bestName = "peer not built";
#ifdef KORVA_FRAME_PEER
        for (const PeerKind& k : kPeers) {
            if (k.layout != l) continue;
            auto p = rep.times.find(std::string("peer_") + k.name + "/" + kLayouts[l].name);
            if (p != rep.times.end() && (best == 0 || p->second < best)) {
                best = p->second;
                bestName = k.name;
            }
        }
#endif
        const double ratio = best > 0 ? best / o->second : 0;
        const bool met = ratio >= 4.0 && g_allocs[l] == 0 && g_shapeOk;
        char what[64];
        snprintf(what, sizeof what, "busy frame, %s", kLayouts[l].name);
        printf("%-34s %-22s %10.2f %10.2f %7.2fx %5.2fx %s\n", what, bestName.c_str(), o->second, best, ratio,
               4.0, met ? "met" : "NOT MET");
    }
    printf(
        "(met needs the speed-up, zero allocations and the shape checks; instructions per frame: "
        "bench_frame_callgrind)\n");

    printf(
        "\nStart-up, headless, process start to exit right after the frame (median of 7, wall and CPU):\n");
    printf("%-34s %10s %10s %10s %10s %8s %8s\n", "reached", "ours ms", "ours cpu", "cat ms", "cat cpu",
           "ratio", "cpu ratio");
    for (const StartUp& s : g_startUps) {
        if (!s.ran) {
            printf("%-34s a run failed\n", s.what);
            continue;
        }
        printf("%-34s %10.2f %10.2f %10.2f %10.2f %7.1fx %7.1fx\n", s.what, s.wall, s.cpu, s.catWall,
               s.catCpu, s.wall / s.catWall, s.cpu / s.catCpu);
    }
    printf(
        "(ratio = our wall time / `cat korvatron.pak > /dev/null`'s, cpu ratio the same for user + system "
        "time\n"
        " from wait4; on a busy machine wall time includes waiting for a core; the intro cannot be skipped "
        "by input, and the\n"
        " virtual clock makes its 82 frames wait for nothing; the run's end includes writing the settings "
        "and\n"
        " shutting down; pictures and fonts: bench_frame_callgrind)\n");
    std::error_code ec;
    fs::remove_all(g_root, ec);
    return 0;
}

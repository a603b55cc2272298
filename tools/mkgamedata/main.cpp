// mkgamedata: writes every picture, font image and sound the game loads into one folder, the same bytes on
// every run. The build runs it and packs the result; see the README.
#include <cstdio>
#include <cstring>
#include <string>

#include "brask/gfx.h"
#include "tools/mkgamedata/mkgamedata.h"
#include "tools/mkgamedata/sheet.h"

namespace {

const char kUsage[] =
    "usage: mkgamedata --out DIR [--sheet PNG] | --icons DIR\n"
    "Draws and synthesises the game's data:\n"
    "  DIR/gamedata/*.tga          pictures and the game font (font.tga)\n"
    "  DIR/gamedata/sounds/*.wav   sound effects (mono 16-bit PCM, 22050 Hz)\n"
    "  DIR/SysFont7x14.tga         the engine's system font (a loose file beside the program)\n"
    "options:\n"
    "  --out DIR     the folder to write into (created when missing)\n"
    "  --sheet PNG   also write a contact sheet of every picture at 2x and the composed screens\n"
    "  --icons DIR   write only the desktop icon: DIR/48x48/apps/korvatron.png and DIR/128x128/...\n"
    "  --help        this text\n";

}  // namespace

int main(int argc, char** argv) {
    std::string out, sheet, icons;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(kUsage, stdout);
            return 0;
        } else if (!strcmp(argv[i], "--out") && i + 1 < argc) {
            out = argv[++i];
        } else if (!strcmp(argv[i], "--sheet") && i + 1 < argc) {
            sheet = argv[++i];
        } else if (!strcmp(argv[i], "--icons") && i + 1 < argc) {
            icons = argv[++i];
        } else {
            fprintf(stderr, "mkgamedata: unknown argument %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (out.empty() == icons.empty() || (!icons.empty() && !sheet.empty())) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (!icons.empty()) {
        const int written = mkIcons(icons);
        gfxShutdownSurfacePool();
        if (!written) {
            fprintf(stderr, "mkgamedata: cannot write the icons into %s\n", icons.c_str());
            return 1;
        }
        printf("mkgamedata: %d icons in %s\n", written, icons.c_str());
        return 0;
    }
    int fonts = mkFonts(out), sounds = mkSounds(out), pictures = mkPictures(out);
    bool sheetOk = sheet.empty() || mkSheet(out, sheet);
    // Every surface is back in the pool by now; returning the pool keeps the engine's leak report quiet.
    gfxShutdownSurfacePool();
    if (!fonts || !sounds || !pictures) {
        fprintf(stderr, "mkgamedata: failed (fonts %d, sounds %d, pictures %d written)\n", fonts, sounds,
                pictures);
        return 1;
    }
    if (!sheetOk) {
        fprintf(stderr, "mkgamedata: cannot write the sheet %s\n", sheet.c_str());
        return 1;
    }
    printf("mkgamedata: %d files in %s\n", fonts + sounds + pictures, out.c_str());
    return 0;
}

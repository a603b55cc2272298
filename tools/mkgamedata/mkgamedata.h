// The game-data generator's shared pieces: deterministic file writers, lettering, and the three makers.
//
// Everything the game loads from "gamedata/" is drawn or synthesised here at build time; nothing binary is
// committed. The same inputs give the same bytes on every run and every machine.
#pragma once
#include <cstdint>
#include <string>

struct Surface;

// ---- Writers (writers.cpp) ----
// An uncompressed true-colour TGA (type 2, 24-bit, rows top to bottom) of any surface the engine can read
// pixels from. Creates missing folders. false on failure.
bool mkWriteTGA(const std::string& path, const Surface* s);
// A mono 16-bit PCM WAV at 22050 Hz with the "data" chunk right after "fmt ".
bool mkWriteWAV(const std::string& path, const int16_t* samples, int32_t count);

// A PNG of 0xAARRGGBB pixels (rows top down), 8-bit RGBA when `alpha`, else RGB with the alpha byte left out.
// Creates missing folders. false on failure.
bool mkWritePNG(const std::string& path, int32_t width, int32_t height, const uint32_t* px, bool alpha);

// ---- Lettering (lettering.cpp): a Debian font through FreeType ----
enum { MK_ALIGN_LEFT = 0, MK_ALIGN_CENTRE = 1, MK_ALIGN_RIGHT = 2 };
// Draws UTF-8 text with its baseline-independent top at y (x is the left edge, the centre or the right edge
// by align) in colour rgb (0x00RRGGBB). antialias 0 gives hard edges (required on keyed pictures: no blending
// into the white key). Returns the text's width in pixels.
int32_t mkText(Surface* dst, int32_t x, int32_t y, const char* utf8, int32_t pixelHeight, uint32_t rgb,
               int bold, int align, int antialias);
int32_t mkTextWidth(const char* utf8, int32_t pixelHeight, int bold);

// ---- Makers: each writes its files below outDir and returns the number written (0 on failure) ----
int mkFonts(const std::string& outDir);     // gamedata/font.tga and SysFont7x14.tga
int mkSounds(const std::string& outDir);    // gamedata/sounds/*.wav
int mkPictures(const std::string& outDir);  // every other gamedata/*.tga
// The desktop icon at each size of MK_ICON_SIZES: DIR/<n>x<n>/apps/korvatron.png, the icon theme's layout.
const int32_t MK_ICON_SIZES[] = {48, 128};
int mkIcons(const std::string& dir);

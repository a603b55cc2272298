// What a run leaves behind for a person or a test, on either backend: pictures of chosen frames, and a record
// of the input the program took, written in the headless script's form (headless.h) so that it replays.
//
// The backends report frames and presents here; the message and box services of platform.h report what the
// program took. Neither the engine nor a game calls anything in this header but the entry point.
#pragma once
#include <cstdint>

#include "platform/platform.h"

// ---- Frames, as the backends report them ----
// A frame ends with every end of drawing and with every begin-draw that fails (no end follows one): the count
// the headless script is keyed by. A present is an end of drawing that showed its frame; `writePng` writes
// the frame just shown, as the player sees it, and is called once for every screenshot due at that present.
void platFrameEnded();
int32_t platFramesEnded();
void platPresented(int (*writePng)(const char* utf8Path));
int32_t platPresents();  // completed presents so far

// ---- Screenshots ----
enum { PLAT_MAX_SHOTS = 64 };
// The frame of present `index` (0: the first present) is to be written to the path as a PNG. 0 when the list
// is full or the path too long. The path is copied.
int platShotAt(int32_t index, const char* utf8Path);
int32_t platShotsPending();  // asked for and not yet due
int32_t platShotFailures();  // came due but could not be written

// ---- Record ----
// Creates (or empties) the record file; 1 on success. Every line is out in the file once written, so a run
// that ends in any way leaves a complete record up to its last message.
int platRecordStart(const char* utf8Path);
int platRecording();
// The start of a record: the seed the run used, then each player file present at the start (`name` without a
// folder), as the lines "seed <n>" and "file <name> <hex bytes>".
void platRecordSeed(uint32_t seed);
void platRecordFile(const char* name, const uint8_t* bytes, int32_t count);
// A message the program removed from its queue, keyed by the frames ended at that moment: down, move and up
// with the stylus point, keydown and keyup with the virtual key, focus 0 or 1, close. Other messages are not
// input and are left out.
void platRecordMessage(const PlatMessage* m);
void platRecordAnswer(int answer);  // a message box's answer (0, 1 or 2), as "<frame> answer <n>"
void platRecordStop();              // closes the file; nothing when no record runs

// Stops the record and forgets the screenshots and the counts (headlessReset calls it).
void platSessionReset();

// ---- PNG ----
// Writes 8-bit RGB pixels (width x height, rows top down, 3 bytes a pixel) as a PNG file. 1 on success.
int platWritePng(const char* utf8Path, const uint8_t* rgb, uint32_t width, uint32_t height);

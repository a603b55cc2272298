// Controls of the headless backend, for tests and automation. None of this exists on a device.
#pragma once
#include <cstdint>

// Folders: set per test so parallel runs never share a log or a probe file. Null restores the real one.
void headlessSetProgramPath(
    const char* utf8Path);  // the program's own file; its folder is the program folder
void headlessSetDocumentsFolder(const char* utf8Folder);

// Virtual counter: 1 MHz, advancing `step` counts on every read (default 1000: one millisecond).
void headlessSetCounter(int present, uint64_t step);
uint64_t headlessCounterValue();

// Message boxes: answers are taken in order (0, 1 or 2); with none queued a box answers 1 (OK).
void headlessQueueMessageBoxAnswer(int answer);
int32_t headlessMessageBoxCount();  // boxes shown since the last reset
// The i-th box shown: its text and caption (UTF-8) and kind. 0 when there is no such box.
int headlessMessageBox(int32_t i, const char** text, const char** caption, int32_t* kind);

// System texts (OEM and platform type); null: the system has none.
void headlessSetSystemText(int32_t which, const char* utf8);

// Refusals that permissions cannot give a root user: a path equal to `utf8Path`, or below it when it ends in
// "/", refuses update mode ("r+b", writes) or creation ("wb").
enum { HEADLESS_REFUSE_UPDATE = 1, HEADLESS_REFUSE_CREATE = 2 };
void headlessRefuse(const char* utf8Path, int kinds);

// Audio: the output stream plays in step with the virtual counter (the queue drains by rate x elapsed
// counts) and keeps everything it was given, from the last open on, underruns filled with silence.
void headlessRefuseAudio(int refuse);         // nonzero: opening the output fails, as without a sound card
void headlessFailAudioQueues(int32_t count);  // the next `count` queue calls are refused
// Format of the last stream opened; 1 while it is open.
int headlessAudioFormat(int32_t* rate, int32_t* channels);
// The capture as interleaved 16-bit values (left, right for stereo), and how many there are. Kept after the
// stream closes, until the next open or reset.
const int16_t* headlessAudioCapture(int64_t* values);

// Everything back to the start: folders, counter, boxes, texts, refusals, audio.
void headlessReset();

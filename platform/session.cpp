// Screenshots at chosen presents, the record of a run's input, and the PNG writer both backends share.
//
// [SECTION] Frames and screenshots
// [SECTION] Record
// [SECTION] PNG
//
// Plain static state without destructors: the record is closed from an exit handler, after which nothing here
// may have been torn down.
#include "platform/session.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum { SHOT_PATH_MAX = PLAT_PATH_MAX * 3 + 1 };

struct Shot {
    int32_t index;
    uint8_t done;
    char path[SHOT_PATH_MAX];
};

struct SessionState {
    int32_t framesEnded, presents;
    Shot shots[PLAT_MAX_SHOTS];
    int32_t shotCount, shotFailures;
    FILE* record;  // line-buffered: each line reaches the file when it ends
} gsn;

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Frames and screenshots
//-----------------------------------------------------------------------------

void platFrameEnded() {
    gsn.framesEnded++;
}

int32_t platFramesEnded() {
    return gsn.framesEnded;
}

void platPresented(int (*writePng)(const char* utf8Path)) {
    const int32_t index = gsn.presents++;
    for (int32_t i = 0; i < gsn.shotCount; i++) {
        Shot& s = gsn.shots[i];
        if (s.done || s.index != index) continue;
        s.done = 1;
        if (!writePng || !writePng(s.path)) gsn.shotFailures++;
    }
}

int32_t platPresents() {
    return gsn.presents;
}

int platShotAt(int32_t index, const char* utf8Path) {
    if (index < 0 || !utf8Path || !utf8Path[0] || gsn.shotCount == PLAT_MAX_SHOTS ||
        strlen(utf8Path) >= SHOT_PATH_MAX)
        return 0;
    Shot& s = gsn.shots[gsn.shotCount++];
    s.index = index;
    s.done = 0;
    strcpy(s.path, utf8Path);
    return 1;
}

int32_t platShotsPending() {
    int32_t n = 0;
    for (int32_t i = 0; i < gsn.shotCount; i++) n += !gsn.shots[i].done;
    return n;
}

int32_t platShotFailures() {
    return gsn.shotFailures;
}

//-----------------------------------------------------------------------------
// [SECTION] Record
//-----------------------------------------------------------------------------

int platRecordStart(const char* utf8Path) {
    platRecordStop();
    if (!utf8Path || !utf8Path[0]) return 0;
    gsn.record = fopen(utf8Path, "w");
    if (!gsn.record) return 0;
    setvbuf(gsn.record, nullptr, _IOLBF, 0);
    fputs("# a recorded run: replay it with --headless --script FILE\n", gsn.record);
    return 1;
}

int platRecording() {
    return gsn.record != nullptr;
}

void platRecordSeed(uint32_t seed) {
    if (gsn.record) fprintf(gsn.record, "seed %u\n", (unsigned)seed);
}

void platRecordFile(const char* name, const uint8_t* bytes, int32_t count) {
    if (!gsn.record || !name || count < 0 || (count && !bytes)) return;
    // One line however long: line buffering would flush it piecewise anyway.
    fprintf(gsn.record, "file %s ", name);
    for (int32_t i = 0; i < count; i++) fprintf(gsn.record, "%02x", bytes[i]);
    fputc('\n', gsn.record);
}

void platRecordMessage(const PlatMessage* m) {
    if (!gsn.record || !m) return;
    const int32_t f = gsn.framesEnded;
    const int x = (int16_t)(m->lParam & 0xFFFF), y = (int16_t)((m->lParam >> 16) & 0xFFFF);
    switch (m->message) {
        case PLAT_WM_LBUTTONDOWN:
            fprintf(gsn.record, "%d down %d %d\n", (int)f, x, y);
            break;
        case PLAT_WM_MOUSEMOVE:
            fprintf(gsn.record, "%d move %d %d\n", (int)f, x, y);
            break;
        case PLAT_WM_LBUTTONUP:
            fprintf(gsn.record, "%d up %d %d\n", (int)f, x, y);
            break;
        case PLAT_WM_KEYDOWN:
        case PLAT_WM_KEYUP:
            fprintf(gsn.record, "%d %s %u\n", (int)f, m->message == PLAT_WM_KEYDOWN ? "keydown" : "keyup",
                    (unsigned)(m->wParam & 0xFFFF));
            break;
        case PLAT_WM_SETFOCUS:
        case PLAT_WM_KILLFOCUS:
            fprintf(gsn.record, "%d focus %d\n", (int)f, m->message == PLAT_WM_SETFOCUS);
            break;
        case PLAT_WM_CLOSE:
            fprintf(gsn.record, "%d close\n", (int)f);
            break;
        default:
            break;
    }
}

void platRecordAnswer(int answer) {
    if (gsn.record && answer >= 0 && answer <= 2)
        fprintf(gsn.record, "%d answer %d\n", (int)gsn.framesEnded, answer);
}

void platRecordStop() {
    if (!gsn.record) return;
    fclose(gsn.record);
    gsn.record = nullptr;
}

void platSessionReset() {
    platRecordStop();
    memset(&gsn, 0, sizeof gsn);
}

//-----------------------------------------------------------------------------
// [SECTION] PNG
//-----------------------------------------------------------------------------

namespace {

void put32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

int writeChunk(FILE* f, const char* type, const uint8_t* data, uint32_t length) {
    uint8_t head[8];
    put32(head, length);
    memcpy(head + 4, type, 4);
    uint32_t crc = (uint32_t)crc32(0, head + 4, 4);
    if (length) crc = (uint32_t)crc32(crc, data, length);
    uint8_t tail[4];
    put32(tail, crc);
    return fwrite(head, 1, 8, f) == 8 && (length == 0 || fwrite(data, 1, length, f) == length) &&
           fwrite(tail, 1, 4, f) == 4;
}

}  // namespace

// Unfiltered rows in one deflate stream: the same pixels always give the same bytes.
int platWritePng(const char* utf8Path, const uint8_t* rgb, uint32_t width, uint32_t height) {
    if (!utf8Path || !rgb || width == 0 || height == 0 || width > 16384 || height > 16384) return 0;
    const size_t rowBytes = 1 + (size_t)width * 3, rawSize = rowBytes * height;
    uint8_t* raw = (uint8_t*)malloc(rawSize);
    uLongf packedSize = compressBound((uLong)rawSize);
    uint8_t* packed = (uint8_t*)malloc(packedSize);
    int ok = 0;
    if (raw && packed) {
        for (uint32_t y = 0; y < height; y++) {
            raw[rowBytes * y] = 0;  // no filter
            memcpy(raw + rowBytes * y + 1, rgb + (size_t)width * 3 * y, (size_t)width * 3);
        }
        ok = compress2(packed, &packedSize, raw, (uLong)rawSize, 6) == Z_OK;
    }
    FILE* f = ok ? fopen(utf8Path, "wb") : nullptr;
    if (f) {
        static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        uint8_t header[13];
        put32(header, width);
        put32(header + 4, height);
        header[8] = 8;  // bits per channel
        header[9] = 2;  // RGB
        header[10] = header[11] = header[12] = 0;
        ok = fwrite(signature, 1, 8, f) == 8 && writeChunk(f, "IHDR", header, 13) &&
             writeChunk(f, "IDAT", packed, (uint32_t)packedSize) && writeChunk(f, "IEND", nullptr, 0);
        ok = fclose(f) == 0 && ok;
    } else {
        ok = 0;
    }
    free(raw);
    free(packed);
    return ok;
}

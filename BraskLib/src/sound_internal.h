// The sound layer's MikMod file reader, reachable without mikmod.h so tests can drive it the way MikMod does.
#pragma once
#include <cstddef>

#include "brask/vfs.h"

struct SndReader;

// A reader over an open file, positioned where the file stands; sndReaderFree releases it, not the file.
SndReader* sndReaderNew(VfsFile* f);
void sndReaderFree(SndReader* r);
// MikMod's five operations: whence 0, 1, 2 as fseek's SEEK_SET, SEEK_CUR, SEEK_END (0 or -1 like fseek);
// read gives 1 only when all n bytes arrived; get gives 0 at the end of the file.
int sndReaderSeek(SndReader* r, long offset, int whence);
long sndReaderTell(SndReader* r);
int sndReaderRead(SndReader* r, void* out, size_t n);
int sndReaderGet(SndReader* r);
int sndReaderEof(SndReader* r);

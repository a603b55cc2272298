// What the log asks of the file system: a handle slot of its own, outside the 20 that everyone else shares,
// so that "Too many open files" can still be written when the table is full.
#pragma once
#include "brask/vfs.h"

// Opens (create = 0) or creates (create = 1) the log file in the log's reserved slot.
VfsFile* vfsOpenForLog(const char16_t* path, int create);

// The virtual file system: one handle type for loose files and archive members, the system folders, search.
#pragma once
#include <cstdint>

struct PlatStream;
struct VfsFile;
struct VfsEntry;

// A handle's operations, copied into it at open from the table of its kind. Any may be absent.
struct VfsFileOps {
    int (*close)(VfsFile* f);                           // 1 on success
    int32_t (*read)(VfsFile* f, void* buf, int32_t n);  // bytes read
    int32_t (*write)(VfsFile* f, const void* buf, int32_t n);
    int (*seek)(VfsFile* f, int32_t offset, int32_t whence);  // 1 on success
};

enum { VFS_MAX_FILES = 20, VFS_PATH_MAX = 260, VFS_MAX_FINDS = 10 };

struct VfsFile {
    uint8_t inUse;
    char16_t path[VFS_PATH_MAX];
    VfsFile* archive;  // borrowed: the archive's own handle (members only)
    VfsEntry* entry;   // borrowed: the directory entry (members only)
    int32_t position;
    int32_t size;
    uint8_t scrambled;
    VfsFileOps ops;
    PlatStream* stream;
    void* unzip;
};

struct VfsFind {
    char16_t name[VFS_PATH_MAX];
    char16_t fullPath[VFS_PATH_MAX];
    char16_t pattern[VFS_PATH_MAX];
    uint8_t isDirectory, isHidden, isReadOnly;
    uint32_t writeTimeLow, writeTimeHigh;
    int32_t slot;
};

VfsFile* vfsOpen(const char16_t* name);    // program folder, data folder, then the archives
VfsFile* vfsCreate(const char16_t* name);  // create or truncate; relative names: the program folder
int vfsClose(VfsFile* f);
int32_t vfsRead(VfsFile* f, void* buffer, int32_t count);
int32_t vfsWrite(VfsFile* f, const void* buffer, int32_t count);
int vfsSeek(VfsFile* f, int32_t offset, int32_t whence);  // whence 2: position = size - offset
int32_t vfsTell(VfsFile* f);
int vfsEof(VfsFile* f);
int32_t vfsSize(VfsFile* f);
int vfsDelete(const char16_t* name);
int vfsWriteString(VfsFile* f, const char* text);
int32_t vfsReadAll(VfsFile* f, void* buffer);
const char16_t* vfsGetFolder(int32_t index);  // 0 none, 1 program, 2 documents, 3 data; null on failure
int vfsFindFirst(const char16_t* pattern, VfsFind* find);
int vfsFindNext(VfsFind* find);
int vfsFindClose(VfsFind* find);
int32_t vfsForEachFile(const char16_t* pattern, int (*fn)(const char16_t* path));
uint8_t vfsPeekByte(const void* address);

// Forgets the cached folders (tests that move the program or documents folder use it).
void vfsResetFolders();
// Open handles, for tests that check nothing is left open.
int32_t vfsOpenCount();

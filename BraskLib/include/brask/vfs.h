// The virtual file system: one handle type for loose files and archive members, the system folders, search.
#pragma once
#include <cstddef>
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

// One name of the archive directory: where the newest copy of a member lies. Not persisted; the size is
// checked only because the directory's element size is part of the engine's table layout.
struct VfsEntry {
    char16_t name[VFS_PATH_MAX];  // as stored in the archive, byte by byte
    int32_t archiveIndex;         // index in the archive table
    uint32_t size;                // uncompressed
    uint32_t readPosition;        // bytes delivered by the open member
    uint32_t memberIndex;         // the member's number in the central directory
    uint32_t directoryOffset;     // its central-directory record, counted from the start of the ZIP data
    uint32_t dosDateTime;         // date in the high 16 bits, time in the low 16
    uint16_t method;              // 0 stored, 8 deflated
};
static_assert(sizeof(VfsEntry) == 548, "directory record");
static_assert(offsetof(VfsEntry, archiveIndex) == 520 && offsetof(VfsEntry, method) == 544,
              "directory record");

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
                                           // (installed copy: the data folder)
int vfsClose(VfsFile* f);
int32_t vfsRead(VfsFile* f, void* buffer, int32_t count);
int32_t vfsWrite(VfsFile* f, const void* buffer, int32_t count);
int vfsSeek(VfsFile* f, int32_t offset, int32_t whence);  // whence 2: position = size - offset
int32_t vfsTell(VfsFile* f);
int vfsEof(VfsFile* f);
int32_t vfsSize(VfsFile* f);
int vfsDelete(const char16_t* name);
// Replacing a file so that a crash, a kill or a full disk never leaves it short: write the new contents to a
// file created beside it (vfsCreate of a temporary name), then vfsCommit: the bytes are flushed to the disk,
// the handle is closed and the file takes `name` (its last component, in the folder the handle's file lies
// in), replacing the old one in one step. 1 on success; on any failure the written file is deleted, the old
// one is untouched and the handle is closed either way. vfsDiscard closes and deletes a file given up on.
int vfsCommit(VfsFile* f, const char16_t* name);
void vfsDiscard(VfsFile* f);
int vfsWriteString(VfsFile* f, const char* text);
int32_t vfsReadAll(VfsFile* f, void* buffer);
const char16_t* vfsGetFolder(int32_t index);  // 0 none, 1 program, 2 documents, 3 data; null on failure
int vfsFindFirst(const char16_t* pattern, VfsFind* find);
int vfsFindNext(VfsFind* find);
int vfsFindClose(VfsFind* find);
int32_t vfsForEachFile(const char16_t* pattern, int (*fn)(const char16_t* path));
uint8_t vfsPeekByte(const void* address);

// Archives. vfsInit before the first mount, vfsShutdown to close them all (and any member still open).
int vfsInit();
void vfsShutdown();
int32_t vfsMountDefaults();                    // *.zip, *.pak, *.exe next to the program; the count mounted
int32_t vfsMount(const char16_t* pattern);     // every archive matching the pattern; the count mounted
int vfsMountArchive(const char16_t* path);     // 1 when mounted; 0 when not an archive or already mounted
VfsEntry* vfsFindEntry(const char16_t* name);  // ignores ASCII case; borrowed, valid until the next mount
int32_t vfsScrambledRead(VfsFile* f, void* buffer, int32_t count);  // the read of a scrambled archive
void vfsScramble(void* buffer, int32_t count,
                 int32_t filePosition);  // XOR with the archive key; undoes itself
int32_t vfsArchiveCount();               // archives mounted

// 1 when the program folder holds "installed.txt": player files then live in the documents folder alone.
int vfsInstalled();

// Forgets the cached folders (tests that move the program or documents folder use it).
void vfsResetFolders();
// Open handles, for tests that check nothing is left open.
int32_t vfsOpenCount();

// The virtual file system: loose files (and, with the archive reader, archive members) behind one handle.
//
// The contract, in one place:
// - Names are wide strings with "/" or "\" as separators; a name is absolute when it starts with either.
//   Every path buffer holds 260 characters with the terminator; a name or joined path that does not fit fails
//   cleanly (no handle, nothing cut).
// - vfsOpen tries, in order: the name itself (relative names: in the program folder), then the data folder +
//   name (relative names only: prefixing an absolute name would open another file), then the archives. A
//   loose file therefore shadows an archive member, and the program folder shadows the data folder.
// - Loose files open for update ("r+b"); when update is refused (a read-only file or folder) they open
//   read-only, so installed data can still be read. Writes through such a handle fail.
// - vfsCreate truncates or creates ("wb"); relative names go to the program folder, or to the data folder
// when
//   the program folder refuses them, so an installed game keeps its saves.
// - Folders: 0 none (names as given), 1 the program's folder, 2 the documents folder, 3 the first of 1, 2, 0
//   where the probe file "brasktst" can be created. Each is found on first request and kept; every non-empty
//   folder ends in "/". A failed lookup returns null and is tried again next time.
// - There are 20 handles (a mounted archive holds one for the whole run). The 21st open logs
//   "Too many open files" and fails. The log has a slot of its own, so that line can always be written.
// - Failures are values: no handle gives 0 from read, write, seek and close, -1 from tell and size, 1 from
// eof.
//
// [SECTION] State
// [SECTION] Folders
// [SECTION] Loose files
// [SECTION] Handles
// [SECTION] Search
#include "brask/vfs.h"

#include "brask/log.h"
#include "brask/text.h"
#include "platform/platform.h"
#include "vfs_internal.h"

static const char kModule[] = "BraskLib/src/BraskVFS";

//-----------------------------------------------------------------------------
// [SECTION] State
//-----------------------------------------------------------------------------

namespace {

enum { LOG_SLOT = VFS_MAX_FILES };

struct VfsState {
    VfsFile files[VFS_MAX_FILES + 1];  // the last one is the log's
    char16_t folders[4][VFS_PATH_MAX];
    uint8_t folderKnown[4];
    int32_t finds[VFS_MAX_FINDS];  // platform search handles; -1 when free
    uint8_t findsReady;
};

VfsState g_vfs;

bool isAbsolute(const char16_t* name) {
    return name[0] == u'/' || name[0] == u'\\';
}

// dst = a + b when it fits in a path buffer.
bool joinPath(char16_t* dst, const char16_t* a, const char16_t* b) {
    int32_t la = wstrLen(a), lb = wstrLen(b);
    if (la + lb >= VFS_PATH_MAX) return false;
    wstrCopy(dst, a);
    wstrCopy(dst + la, b);
    return true;
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Folders
//-----------------------------------------------------------------------------

static VfsFile* createLoose(VfsFile* slot, const char16_t* name, bool fallback);
static VfsFile* takeSlot();

static bool findProgramFolder(char16_t* out) {
    char16_t path[VFS_PATH_MAX];
    if (!platProgramPath(path, VFS_PATH_MAX)) return false;
    wstrToSlashes(path);
    int32_t cut = -1;
    for (int32_t i = 0; path[i]; i++)
        if (path[i] == u'/') cut = i;
    if (cut < 0) return false;
    path[cut + 1] = 0;
    wstrCopy(out, path);
    return true;
}

static bool findDocumentsFolder(char16_t* out) {
    char16_t path[VFS_PATH_MAX];
    if (!platDocumentsFolder(path, VFS_PATH_MAX)) return false;
    wstrToSlashes(path);
    int32_t len = wstrLen(path);
    if (len == 0 || path[len - 1] != u'/') {
        if (len + 1 >= VFS_PATH_MAX) return false;
        path[len] = u'/';
        path[len + 1] = 0;
    }
    wstrCopy(out, path);
    return true;
}

// The data folder is the first candidate in which a file can be created; the probe tests each folder as it
// is, without the create fallback.
static bool findDataFolder(char16_t* out) {
    static const int32_t kCandidates[] = {1, 2, 0};
    for (int32_t index : kCandidates) {
        const char16_t* folder = vfsGetFolder(index);
        char16_t probe[VFS_PATH_MAX];
        if (!folder || !joinPath(probe, folder, u"brasktst")) continue;
        // The log's slot when it is free: finding the log's own folder must not need one of the 20.
        VfsFile* slot = g_vfs.files[LOG_SLOT].inUse ? takeSlot() : &g_vfs.files[LOG_SLOT];
        if (!slot) return false;
        if (!createLoose(slot, probe, false)) continue;
        char16_t created[VFS_PATH_MAX];
        wstrCopy(created, slot->path);
        vfsClose(slot);
        vfsDelete(created);
        wstrCopy(out, folder);
        return true;
    }
    return false;
}

const char16_t* vfsGetFolder(int32_t index) {
    if (index < 0 || index > 3) return nullptr;
    if (index == 0) return u"";
    if (!g_vfs.folderKnown[index]) {
        char16_t found[VFS_PATH_MAX];
        bool ok = index == 1   ? findProgramFolder(found)
                  : index == 2 ? findDocumentsFolder(found)
                               : findDataFolder(found);
        if (!ok) return nullptr;
        wstrCopy(g_vfs.folders[index], found);
        g_vfs.folderKnown[index] = 1;
    }
    return g_vfs.folders[index];
}

void vfsResetFolders() {
    for (int i = 0; i < 4; i++) {
        g_vfs.folderKnown[i] = 0;
        g_vfs.folders[i][0] = 0;
    }
}

//-----------------------------------------------------------------------------
// [SECTION] Loose files
//-----------------------------------------------------------------------------

static int looseClose(VfsFile* f) {
    // The C library releases the stream even when its close reports an error, so the slot goes with it.
    int r = platStreamClose(f->stream);
    f->stream = nullptr;
    f->inUse = 0;
    return r == 0;
}

static int32_t looseRead(VfsFile* f, void* buf, int32_t n) {
    return platStreamRead(f->stream, buf, n);
}

static int32_t looseWrite(VfsFile* f, const void* buf, int32_t n) {
    return platStreamWrite(f->stream, buf, n);
}

// whence 2 counts back from the end, as vfsSeek does.
static int looseSeek(VfsFile* f, int32_t offset, int32_t whence) {
    if (whence == 2) {
        if (offset == INT32_MIN) return 0;
        offset = -offset;
    }
    return platStreamSeek(f->stream, offset, whence) == 0;
}

static const VfsFileOps kLooseOps = {looseClose, looseRead, looseWrite, looseSeek};

// The full path of a name: relative names in the program folder when it is known and the result fits.
static bool resolveInProgramFolder(char16_t* dst, const char16_t* name) {
    if (wstrLen(name) >= VFS_PATH_MAX) return false;
    const char16_t* prog = isAbsolute(name) ? nullptr : vfsGetFolder(1);
    if (!prog || !joinPath(dst, prog, name)) wstrCopy(dst, name);
    return true;
}

static void installLoose(VfsFile* f, PlatStream* s) {
    f->archive = nullptr;
    f->entry = nullptr;
    f->unzip = nullptr;
    f->scrambled = 0;
    f->ops = kLooseOps;
    f->stream = s;
    f->position = 0;
    f->size = 0;
    f->inUse = 1;
}

static VfsFile* openLoose(VfsFile* slot, const char16_t* name) {
    if (!resolveInProgramFolder(slot->path, name)) return nullptr;
    PlatStream* s = platStreamOpen(slot->path, "r+b");
    if (!s) s = platStreamOpen(slot->path, "rb");
    if (!s) return nullptr;
    installLoose(slot, s);
    int32_t size = 0;
    if (platStreamSeek(s, 0, 2) == 0) size = platStreamTell(s);
    platStreamSeek(s, 0, 0);
    slot->size = size < 0 ? 0 : size;
    return slot;
}

static VfsFile* createLoose(VfsFile* slot, const char16_t* name, bool fallback) {
    if (!resolveInProgramFolder(slot->path, name)) return nullptr;
    PlatStream* s = platStreamOpen(slot->path, "wb");
    if (!s && fallback && !isAbsolute(name)) {
        const char16_t* data = vfsGetFolder(3);
        // Folder 0 would put the file wherever the process happens to run: never there.
        if (data && data[0] && joinPath(slot->path, data, name)) s = platStreamOpen(slot->path, "wb");
    }
    if (!s) return nullptr;
    installLoose(slot, s);
    return slot;
}

//-----------------------------------------------------------------------------
// [SECTION] Handles
//-----------------------------------------------------------------------------

static VfsFile* takeSlot() {
    for (int32_t i = 0; i < VFS_MAX_FILES; i++)
        if (!g_vfs.files[i].inUse) return &g_vfs.files[i];
    logWrite("Too many open files", LOG_EOL);
    return nullptr;
}

static bool isHandle(VfsFile* f) {
    return f && f >= g_vfs.files && f <= &g_vfs.files[LOG_SLOT] && f->inUse;
}

VfsFile* vfsOpen(const char16_t* name) {
    if (!name || !name[0] || wstrLen(name) >= VFS_PATH_MAX) return nullptr;
    VfsFile* slot = takeSlot();
    if (!slot) {
        logSourceLine(kModule, 144, nullptr, 0);
        return nullptr;
    }
    // The program folder (or the name itself when absolute).
    if (openLoose(slot, name)) return slot;
    // The data folder, for relative names only.
    char16_t path[VFS_PATH_MAX];
    const char16_t* data = isAbsolute(name) ? nullptr : vfsGetFolder(3);
    if (data && data[0] && joinPath(path, data, name) && openLoose(slot, path)) return slot;
    slot->inUse = 0;
    return nullptr;
}

VfsFile* vfsCreate(const char16_t* name) {
    if (!name || !name[0] || wstrLen(name) >= VFS_PATH_MAX) return nullptr;
    VfsFile* slot = takeSlot();
    if (!slot) return nullptr;
    if (createLoose(slot, name, true)) return slot;
    slot->inUse = 0;
    return nullptr;
}

VfsFile* vfsOpenForLog(const char16_t* path, int create) {
    VfsFile* slot = &g_vfs.files[LOG_SLOT];
    if (slot->inUse || !path || !path[0]) return nullptr;
    return create ? createLoose(slot, path, true) : openLoose(slot, path);
}

int vfsClose(VfsFile* f) {
    if (!isHandle(f)) return 0;
    if (!f->ops.close) {
        f->inUse = 0;
        return 1;
    }
    return f->ops.close(f);
}

int32_t vfsRead(VfsFile* f, void* buffer, int32_t count) {
    if (!isHandle(f) || !f->ops.read || !buffer || count <= 0) return 0;
    int32_t r = f->ops.read(f, buffer, count);
    if (r > 0) f->position += r;
    return r;
}

int32_t vfsWrite(VfsFile* f, const void* buffer, int32_t count) {
    if (!isHandle(f) || !f->ops.write || !buffer || count <= 0) return 0;
    int32_t r = f->ops.write(f, buffer, count);
    if (r > 0) f->position += r;
    return r;
}

int vfsSeek(VfsFile* f, int32_t offset, int32_t whence) {
    if (!isHandle(f) || !f->ops.seek) return 0;
    int64_t target;
    switch (whence) {
        case 0:
            target = offset;
            break;
        case 1:
            target = (int64_t)f->position + offset;
            break;
        case 2:
            target = (int64_t)f->size - offset;
            break;
        default:
            return 0;
    }
    if (target < 0 || target > INT32_MAX) return 0;
    if (!f->ops.seek(f, offset, whence)) return 0;
    f->position = (int32_t)target;
    return 1;
}

int32_t vfsTell(VfsFile* f) {
    return isHandle(f) ? f->position : -1;
}

int vfsEof(VfsFile* f) {
    return isHandle(f) ? f->position >= f->size : 1;
}

int32_t vfsSize(VfsFile* f) {
    return isHandle(f) ? f->size : -1;
}

int vfsDelete(const char16_t* name) {
    if (!name || !name[0]) return 0;
    return platDelete(name);
}

int vfsWriteString(VfsFile* f, const char* text) {
    if (!text) return 0;
    int32_t n = strLen(text);
    return vfsWrite(f, text, n) == n;
}

int32_t vfsReadAll(VfsFile* f, void* buffer) {
    if (!isHandle(f) || !vfsSeek(f, 0, 0)) return 0;
    return vfsRead(f, buffer, f->size);
}

uint8_t vfsPeekByte(const void* address) {
    return address ? *(const uint8_t*)address : 0;
}

int32_t vfsOpenCount() {
    int32_t n = 0;
    for (int32_t i = 0; i < VFS_MAX_FILES; i++) n += g_vfs.files[i].inUse;
    return n;
}

//-----------------------------------------------------------------------------
// [SECTION] Search
//-----------------------------------------------------------------------------

// Fills the record from the platform's find data; false when the full path would not fit.
static bool fillFind(VfsFind* find, const PlatFindData* d) {
    int32_t cut = -1;
    for (int32_t i = 0; find->pattern[i]; i++)
        if (find->pattern[i] == u'/') cut = i;
    int32_t nameLen = wstrLen(d->name);
    if (cut + 1 + nameLen >= VFS_PATH_MAX) return false;
    for (int32_t i = 0; i <= cut; i++) find->fullPath[i] = find->pattern[i];
    wstrCopy(find->fullPath + cut + 1, d->name);
    wstrCopy(find->name, d->name);
    find->isDirectory = (d->attributes & PLAT_ATTR_DIRECTORY) != 0;
    find->isHidden = (d->attributes & PLAT_ATTR_HIDDEN) != 0;
    find->isReadOnly = (d->attributes & PLAT_ATTR_READONLY) != 0;
    find->writeTimeLow = d->writeTimeLow;
    find->writeTimeHigh = d->writeTimeHigh;
    return true;
}

static bool validFind(const VfsFind* find) {
    return find && find->slot >= 0 && find->slot < VFS_MAX_FINDS && g_vfs.findsReady &&
           g_vfs.finds[find->slot] >= 0;
}

int vfsFindFirst(const char16_t* pattern, VfsFind* find) {
    if (!pattern || !pattern[0] || !find || wstrLen(pattern) >= VFS_PATH_MAX) return 0;
    if (!g_vfs.findsReady) {
        for (int32_t& h : g_vfs.finds) h = -1;
        g_vfs.findsReady = 1;
    }
    int32_t slot = 0;
    while (slot < VFS_MAX_FINDS && g_vfs.finds[slot] >= 0) slot++;
    if (slot == VFS_MAX_FINDS) return 0;
    char16_t full[VFS_PATH_MAX];
    resolveInProgramFolder(full, pattern);
    PlatFindData d;
    int32_t h = platFindFirst(full, &d);
    if (h < 0) return 0;
    wstrCopy(find->pattern, full);
    wstrToSlashes(find->pattern);
    g_vfs.finds[slot] = h;
    find->slot = slot;
    while (!fillFind(find, &d)) {
        if (!platFindNext(h, &d)) {
            vfsFindClose(find);
            return 0;
        }
    }
    return 1;
}

int vfsFindNext(VfsFind* find) {
    if (!validFind(find)) return 0;
    PlatFindData d;
    while (platFindNext(g_vfs.finds[find->slot], &d))
        if (fillFind(find, &d)) return 1;
    vfsFindClose(find);
    return 0;
}

int vfsFindClose(VfsFind* find) {
    // A search already closed by vfsFindNext reaching its end is left alone.
    if (!validFind(find)) return 0;
    platFindClose(g_vfs.finds[find->slot]);
    g_vfs.finds[find->slot] = -1;
    find->slot = -1;
    return 1;
}

int32_t vfsForEachFile(const char16_t* pattern, int (*fn)(const char16_t* path)) {
    if (!pattern || !pattern[0] || !fn) return 0;
    VfsFind find;
    if (!vfsFindFirst(pattern, &find)) return fn(pattern);
    int32_t sum = 0;
    do sum += fn(find.fullPath);
    while (vfsFindNext(&find));
    vfsFindClose(&find);
    return sum;
}

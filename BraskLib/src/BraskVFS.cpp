// The virtual file system: loose files (and, with the archive reader, archive members) behind one handle.
//
// The contract, in one place:
// - Names are wide strings with "/" or "\" as separators ("\" is read as "/"); a name is absolute when it
//   starts with either. Every path buffer holds 260 characters with the terminator; a name or joined path
//   that does not fit fails cleanly (no handle, nothing cut), a relative name behind the program folder
//   included: it never falls back to the working folder.
// - Loose names match as the handheld's file system matched them: the exact name first, then, when it is
//   missing, a name that differs only in ASCII case, folder by folder. Archive members and wildcard
//   searches ignore ASCII case too.
// - vfsOpen tries, in order: the name itself (relative names: in the program folder), then the data folder +
//   name (relative names only: prefixing an absolute name would open another file), then the archives. A
//   loose file therefore shadows an archive member, and the program folder shadows the data folder, except
//   that a program-folder file that cannot be opened for update yields to a copy in the data folder (or,
//   when that is the program folder, the documents folder): that is where vfsCreate put the newer one.
// - Loose files open for update ("r+b"); when update is refused (a read-only file or folder) they open
//   read-only, so installed data can still be read. Writes through such a handle fail.
// - vfsCreate truncates or creates ("wb"); relative names go to the program folder, or, when it refuses
//   them, to the data folder (the documents folder when the data folder is the program folder itself).
// - An installed copy (the program folder holds "installed.txt", as a system package ships it) keeps every
//   player file out of the program folder, even for a user who could write there: the data folder is the
//   documents folder, relative names are created there, and vfsOpen tries it before the program folder,
//   which still serves the game's data.
// - Folders: 0 none (names as given), 1 the program's folder, 2 the documents folder, 3 the first of 1, 2, 0
//   where the probe file "brasktst" can be created (installed: 2 only). Each is found on first request and
//   kept; every non-empty folder ends in "/". A failed lookup returns null and is tried again next time.
// - There are 20 handles (a mounted archive holds one for the whole run). The 21st open logs
//   "Too many open files" and fails. The log has a slot of its own, so that line can always be written.
// - Failures are values: no handle gives 0 from read, write, seek and close, -1 from tell and size, and 1
//   from eof.
//
// [SECTION] State
// [SECTION] Folders
// [SECTION] Loose files
// [SECTION] Handles
// [SECTION] Search
// [SECTION] Archive key and scrambling
// [SECTION] Archive block cache
// [SECTION] Archive file functions
// [SECTION] Mounting
// [SECTION] Archive members
//
// Archives, in one place:
// - Archives are ZIP files (or programs with one appended) read by minizip, whose every read, seek and tell
//   goes through the archive's own handle, so a scrambled archive is unscrambled below minizip.
// - A mounted archive holds one of the 20 handles until vfsShutdown. The directory holds each member name
//   once: the newest DOS stamp wins across archives, the first-mounted archive on equal stamps.
// - One member per archive can be open at a time; a second open of the same archive fails until the first
//   is closed. Closing always releases the member, even when it reports a CRC error.
// - Mounting is refused while any member is open: the directory moves when it grows or is sorted, and an
//   open member points into it.
// - Members whose names are longer than 255 bytes, or whose size is 2 GiB or more, are left out at mount;
//   members that are neither stored nor deflated are listed but do not open.
// - Member seeks stay within 0..size; backward restarts the member, forward decompresses and discards.
#include "brask/vfs.h"

#include <cstring>

#include <unzip.h>

#include "brask/containers.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "brask/text.h"
#include "platform/platform.h"
#include "vfs_internal.h"

static const char kModule[] = "BraskLib/src/BraskVFS";

//-----------------------------------------------------------------------------
// [SECTION] State
//-----------------------------------------------------------------------------

namespace {

enum { LOG_SLOT = VFS_MAX_FILES };

const char16_t INSTALLED_MARKER[] = u"installed.txt";

struct VfsState {
    VfsFile files[VFS_MAX_FILES + 1];  // the last one is the log's
    char16_t folders[4][VFS_PATH_MAX];
    uint8_t folderKnown[4];
    uint8_t installed;             // the program folder holds INSTALLED_MARKER; known with folder 1
    int32_t finds[VFS_MAX_FINDS];  // platform search handles; -1 when free
    uint8_t findsReady;
    uint8_t archivesReady;
    Array archives;   // VfsFile*: the archives' own handles, in mount order
    Array directory;  // VfsEntry, sorted by name (ignoring ASCII case) between mounts
};

VfsState g_vfs;

bool isAbsolute(const char16_t* name) {
    return name[0] == u'/' || name[0] == u'\\';
}

bool samePath(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
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
static bool installedLayout();
static VfsFile* openMember(VfsFile* slot, const char16_t* name);

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
// is, without the create fallback. An installed copy never probes its program folder (nor folder 0, whose
// relative probe would land there).
static bool findDataFolder(char16_t* out) {
    static const int32_t kCandidates[] = {1, 2, 0};
    const bool installed = installedLayout();
    for (int32_t index : kCandidates) {
        if (installed && index != 2) continue;
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
        if (index == 1) {
            char16_t marker[VFS_PATH_MAX];
            g_vfs.installed = joinPath(marker, found, INSTALLED_MARKER) && platIsFile(marker);
        }
        g_vfs.folderKnown[index] = 1;
    }
    return g_vfs.folders[index];
}

static bool installedLayout() {
    return vfsGetFolder(1) && g_vfs.installed;
}

int vfsInstalled() {
    return installedLayout();
}

void vfsResetFolders() {
    for (int i = 0; i < 4; i++) {
        g_vfs.folderKnown[i] = 0;
        g_vfs.folders[i][0] = 0;
    }
    g_vfs.installed = 0;
}

// Where vfsCreate puts a relative name the program folder refused, and so where vfsOpen looks for a newer
// copy of a program-folder file that is read-only: the data folder, or the documents folder when the data
// folder is the program folder itself (a read-only file in a writable folder). Null when there is none.
static const char16_t* refugeFolder() {
    const char16_t* prog = vfsGetFolder(1);
    const char16_t* data = vfsGetFolder(3);
    // Folder 0 would put the file wherever the process happens to run: never there.
    if (data && data[0] && !(prog && samePath(prog, data))) return data;
    const char16_t* docs = vfsGetFolder(2);
    return docs && !(prog && samePath(prog, docs)) ? docs : nullptr;
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

// The full path of a name, with slashes: relative names in the program folder when it is known. A relative
// name that does not fit behind it fails: the name alone would be read against the working folder.
static bool resolveInProgramFolder(char16_t* dst, const char16_t* name) {
    if (wstrLen(name) >= VFS_PATH_MAX) return false;
    const char16_t* prog = isAbsolute(name) ? nullptr : vfsGetFolder(1);
    if (!prog) {
        wstrCopy(dst, name);
    } else if (!joinPath(dst, prog, name)) {
        logSourceLine(kModule, __LINE__, "name too long for the program folder: ", 0);
        logWrite(name, LOG_WIDE | LOG_EOL);
        return false;
    }
    wstrToSlashes(dst);
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

// An existing file opened into the slot: its size as the stream gives it.
static VfsFile* installOpened(VfsFile* slot, PlatStream* s) {
    installLoose(slot, s);
    const int32_t size = platStreamSize(s);
    slot->size = size < 0 ? 0 : size;
    return slot;
}

enum LooseAccess { LOOSE_UPDATE_OR_READ, LOOSE_UPDATE_ONLY, LOOSE_READ_ONLY };

static VfsFile* openLoose(VfsFile* slot, const char16_t* name, LooseAccess access = LOOSE_UPDATE_OR_READ) {
    if (!resolveInProgramFolder(slot->path, name)) return nullptr;
    // Most opens miss (every archive member is looked for as a loose file first): the platform answers a
    // name as given, or ignoring case, or a miss it has seen before, with one query.
    if (!platFindFileIgnoringCase(slot->path, slot->path, VFS_PATH_MAX)) {
        slot->path[0] = 0;  // not there at all: no caller needs to ask again
        return nullptr;
    }
    PlatStream* s = access == LOOSE_READ_ONLY ? nullptr : platStreamOpen(slot->path, "r+b");
    if (!s && access != LOOSE_UPDATE_ONLY) s = platStreamOpen(slot->path, "rb");
    return s ? installOpened(slot, s) : nullptr;
}

// Opens folder + name; false when it does not fit or does not open.
static bool openLooseIn(VfsFile* slot, const char16_t* folder, const char16_t* name, LooseAccess access) {
    char16_t path[VFS_PATH_MAX];
    return folder && folder[0] && joinPath(path, folder, name) && openLoose(slot, path, access);
}

static bool createAt(VfsFile* slot, const char16_t* folder, const char16_t* name) {
    if (!folder || !folder[0] || !joinPath(slot->path, folder, name)) return false;
    wstrToSlashes(slot->path);
    PlatStream* s = platStreamOpen(slot->path, "wb");
    if (!s) return false;
    installLoose(slot, s);
    return true;
}

static VfsFile* createLoose(VfsFile* slot, const char16_t* name, bool fallback) {
    if (fallback && !isAbsolute(name) && installedLayout())
        return createAt(slot, vfsGetFolder(3), name) ? slot : nullptr;
    if (!resolveInProgramFolder(slot->path, name)) return nullptr;
    PlatStream* s = platStreamOpen(slot->path, "wb");
    if (s) {
        installLoose(slot, s);
        return slot;
    }
    return fallback && !isAbsolute(name) && createAt(slot, refugeFolder(), name) ? slot : nullptr;
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

// The loose places of a relative name, in the contract's order; the first that opens wins.
static bool openRelative(VfsFile* slot, const char16_t* name) {
    const char16_t* prog = vfsGetFolder(1);
    const char16_t* data = vfsGetFolder(3);
    if (installedLayout())
        return openLooseIn(slot, data, name, LOOSE_UPDATE_OR_READ) ||
               openLooseIn(slot, prog, name, LOOSE_UPDATE_OR_READ);
    slot->path[0] = 0;
    if (openLoose(slot, name, LOOSE_UPDATE_ONLY)) return true;
    // The resolved name (as found ignoring case) is there, but refuses update.
    const bool readOnlyHere = slot->path[0] && platIsFile(slot->path);
    // The data folder; not again when it is the program folder (the usual case), since every open of an
    // archive member pays for the misses before it.
    if (data && !(prog && samePath(prog, data)) && openLooseIn(slot, data, name, LOOSE_UPDATE_OR_READ))
        return true;
    if (!readOnlyHere) return false;
    const char16_t* refuge = refugeFolder();
    if (refuge && refuge != data && openLooseIn(slot, refuge, name, LOOSE_UPDATE_OR_READ)) return true;
    return openLoose(slot, name, LOOSE_READ_ONLY) != nullptr;
}

VfsFile* vfsOpen(const char16_t* name) {
    if (!name || !name[0] || wstrLen(name) >= VFS_PATH_MAX) return nullptr;
    VfsFile* slot = takeSlot();
    if (!slot) {
        logSourceLine(kModule, 144, nullptr, 0);
        return nullptr;
    }
    char16_t given[VFS_PATH_MAX];
    wstrCopy(given, name);
    wstrToSlashes(given);
    if (isAbsolute(given) ? openLoose(slot, given) != nullptr : openRelative(slot, given)) return slot;
    slot->inUse = 0;
    // The archives, by the name as the caller gave it (with slashes).
    return openMember(slot, given);
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
    if (create) return createLoose(slot, path, true);
    // The log's path is the engine's own, so the name is exact: no search ignoring case, which every
    // piece of every entry would pay for while the log cannot be made.
    if (!resolveInProgramFolder(slot->path, path)) return nullptr;
    PlatStream* s = platStreamOpen(slot->path, "r+b");
    return s ? installOpened(slot, s) : nullptr;
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

static bool isLooseHandle(VfsFile* f) {
    return isHandle(f) && f->ops.close == looseClose && f->stream;
}

int vfsCommit(VfsFile* f, const char16_t* name) {
    if (!isLooseHandle(f)) return 0;
    char16_t from[VFS_PATH_MAX], to[VFS_PATH_MAX];
    wstrCopy(from, f->path);
    // The final file lives beside the one written: only then is the rename a single step of one folder.
    const char16_t* base = name;
    for (const char16_t* c = name; c && *c; c++)
        if (*c == '/' || *c == '\\') base = c + 1;
    int32_t folderLength = 0;
    for (int32_t i = 0; from[i]; i++)
        if (from[i] == '/' || from[i] == '\\') folderLength = i + 1;
    const int32_t baseLength = base ? wstrLen(base) : 0;
    bool ok = baseLength > 0 && folderLength + baseLength < VFS_PATH_MAX;
    if (ok) {
        for (int32_t i = 0; i < folderLength; i++) to[i] = from[i];
        wstrCopy(to + folderLength, base);
    }
    ok = platStreamFlush(f->stream) == 1 && ok;
    ok = vfsClose(f) == 1 && ok;
    if (ok && !platRename(from, to)) ok = false;
    if (!ok) platDelete(from);
    return ok;
}

void vfsDiscard(VfsFile* f) {
    if (!isLooseHandle(f)) return;
    char16_t path[VFS_PATH_MAX];
    wstrCopy(path, f->path);
    vfsClose(f);
    platDelete(path);
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
    if (!resolveInProgramFolder(full, pattern)) return 0;
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
    // Mounting grows the directory by doubling; once a pattern's archives are in, give back the slack.
    if (g_vfs.archivesReady) arrFit(&g_vfs.directory, 0);
    return sum;
}

//-----------------------------------------------------------------------------
// [SECTION] Archive key and scrambling
//-----------------------------------------------------------------------------

// Scrambled archives are plain ZIP files with the byte at file offset p XORed with kArchiveKey[p % 128]. An
// archive scrambled with any other key does not mount.
static constexpr uint8_t kArchiveKey[128] = {
    0x0D, 0xB2, 0xFF, 0x88, 0xDD, 0x0F, 0xF5, 0xFC, 0x3B, 0xD6, 0x38, 0xCD, 0xDB, 0xE1, 0x85, 0x86,
    0x0C, 0x09, 0x1A, 0x51, 0xF2, 0xBA, 0xC8, 0x7D, 0x6B, 0x57, 0x97, 0x88, 0x76, 0xE1, 0x67, 0xA5,
    0x7D, 0x3B, 0xEB, 0xC8, 0x63, 0x7F, 0xE0, 0xD1, 0xEB, 0xAE, 0x6A, 0xBE, 0x9F, 0x61, 0xE8, 0xEE,
    0xAA, 0x7C, 0xDD, 0x9C, 0x5E, 0x58, 0x59, 0x7B, 0x86, 0xA0, 0xB7, 0xD1, 0x5A, 0xF8, 0xBE, 0xE8,
    0x71, 0x33, 0xCB, 0xEE, 0xB9, 0x69, 0x46, 0x51, 0xF3, 0x15, 0x0D, 0x54, 0xCC, 0x16, 0x3A, 0xCB,
    0x44, 0xD8, 0x09, 0x8F, 0x6C, 0x56, 0x05, 0x94, 0x0F, 0x3D, 0x00, 0x73, 0x49, 0x90, 0x54, 0xBB,
    0x31, 0x01, 0x1B, 0xCE, 0x3D, 0x33, 0x4C, 0x1F, 0xFE, 0xBF, 0x08, 0x07, 0xA5, 0xCB, 0x17, 0x94,
    0x0B, 0xC1, 0xC1, 0xCF, 0xE9, 0xE9, 0x85, 0x3D, 0x15, 0xCF, 0x99, 0x4C, 0xE0, 0x0D, 0x91, 0xCC,
};

// The key twice over: any 128 bytes of the file meet one unbroken run of it, a loop the compiler vectorises
// (every byte of a scrambled archive is read through here).
struct KeyTwice {
    uint8_t bytes[256];
    constexpr KeyTwice() : bytes() {
        for (int i = 0; i < 256; i++) bytes[i] = kArchiveKey[i & 127];
    }
};
static constexpr KeyTwice kArchiveKeyTwice;

void vfsScramble(void* buffer, int32_t count, int32_t filePosition) {
    if (!buffer || count <= 0 || filePosition < 0) return;
    uint8_t* p = (uint8_t*)buffer;
    const uint8_t* key = kArchiveKeyTwice.bytes + (filePosition & 127);
    for (int32_t done = 0; done < count; done += 128) {
        const int32_t n = count - done < 128 ? count - done : 128;
        for (int32_t i = 0; i < n; i++) p[done + i] ^= key[i];
    }
}

static int32_t archiveRawRead(VfsFile* f, void* buffer, int32_t count);

int32_t vfsScrambledRead(VfsFile* f, void* buffer, int32_t count) {
    if (!f || !f->stream || !buffer || count <= 0) return 0;
    int32_t at = vfsTell(f);
    int32_t r = archiveRawRead(f, buffer, count);
    if (r > 0) vfsScramble(buffer, r, at);
    return r;
}

//-----------------------------------------------------------------------------
// [SECTION] Archive block cache
//-----------------------------------------------------------------------------

// minizip reads in many small pieces and seeks back and forth between the central directory and the local
// headers, and every member open reads both. An archive's own handle therefore keeps the central directory
// in memory once the mount has walked it, and reads everything else through a few aligned blocks; its seeks
// only move the position, and the blocks are filled with positioned reads, so a member open that misses the
// blocks costs one system call. The file is read-only to us, so nothing kept here goes stale.

namespace {

enum { ARC_BLOCK = 4096, ARC_BLOCKS = 8, ARC_PIN_MAX = 1 << 20, ZIP_WALK_UNKNOWN = -1 };

struct ArchiveCache {
    uint8_t* data;  // owned: ARC_BLOCKS blocks of ARC_BLOCK bytes; null when the handle is no archive
    int32_t start[ARC_BLOCKS];
    int32_t length[ARC_BLOCKS];  // 0: empty
    uint32_t lastUse[ARC_BLOCKS];
    uint32_t clock;
    int32_t lastBlock;  // the block blockFor returned last
    uint8_t* pinned;    // owned: the file from pinStart to its end (the central directory), or null
    int32_t pinStart, pinLength;
    uint8_t recording;  // while the mount walks the directory: lowestRead tracks where it starts
    int32_t lowestRead;
    int32_t walkable;   // directory records the mount may walk (walkableRecords), or ZIP_WALK_UNKNOWN
    uint8_t shortRead;  // the last read minizip asked for came up short
};

ArchiveCache g_archiveCache[VFS_MAX_FILES + 1];

ArchiveCache* cacheOf(VfsFile* f) {
    ArchiveCache* c = &g_archiveCache[f - g_vfs.files];
    return c->data ? c : nullptr;
}

int32_t findBlock(const ArchiveCache* c, int32_t start) {
    for (int32_t i = 0; i < ARC_BLOCKS; i++)
        if (c->length[i] > 0 && c->start[i] == start) return i;
    return -1;
}

// The index of the block holding file offset `at`, filled when missing; -1 at the end of the file or on a
// read error.
int32_t blockFor(VfsFile* f, ArchiveCache* c, int32_t at) {
    int32_t start = at - at % ARC_BLOCK;
    int32_t b = findBlock(c, start);
    if (b < 0) {
        b = 0;
        for (int32_t i = 1; i < ARC_BLOCKS; i++)
            if (c->lastUse[i] < c->lastUse[b]) b = i;
        int32_t r = platStreamReadAt(f->stream, start, c->data + b * ARC_BLOCK, ARC_BLOCK);
        c->length[b] = r > 0 ? r : 0;
        c->start[b] = start;
        if (r <= 0) return -1;
    }
    c->lastUse[b] = ++c->clock;
    c->lastBlock = b;
    return b;
}

// minizip reads directory records and local headers a field at a time: those come from the pinned
// directory or the last block used, without the general walk. Null when neither holds all `count` bytes.
const uint8_t* smallReadSource(const ArchiveCache* c, int64_t at, int32_t count) {
    if (c->pinned && at >= c->pinStart && at + count <= (int64_t)c->pinStart + c->pinLength)
        return c->pinned + (at - c->pinStart);
    const int32_t b = c->lastBlock;
    if (c->length[b] > 0 && at >= c->start[b] && at + count <= (int64_t)c->start[b] + c->length[b])
        return c->data + b * ARC_BLOCK + (at - c->start[b]);
    return nullptr;
}

}  // namespace

// Reads at the handle's position: the pinned directory, the blocks, or straight from the file for large
// reads (minizip's 16 KB of compressed data), which would only push the small scattered reads out.
static int32_t archiveRawRead(VfsFile* f, void* buffer, int32_t count) {
    ArchiveCache* c = cacheOf(f);
    if (!c) return looseRead(f, buffer, count);
    uint8_t* out = (uint8_t*)buffer;
    int32_t done = 0;
    // The file does not grow: a read at its end fails here, where going to the blocks would push a good
    // block out for nothing. A damaged directory sends minizip past the end tens of thousands of times.
    if (f->position >= f->size) return 0;
    if (count > f->size - f->position) count = f->size - f->position;
    if (c->recording && f->position < c->lowestRead) c->lowestRead = f->position;
    if (const uint8_t* src = count <= 8 ? smallReadSource(c, f->position, count) : nullptr) {
        for (int32_t i = 0; i < count; i++) out[i] = src[i];
        return count;
    }
    while (done < count) {
        int32_t at = f->position + done, n;
        if (c->pinned && at >= c->pinStart && at < c->pinStart + c->pinLength) {
            n = c->pinStart + c->pinLength - at;
            if (n > count - done) n = count - done;
            memCopy(out + done, c->pinned + (at - c->pinStart), n);
        } else if (count - done >= ARC_BLOCK && findBlock(c, at - at % ARC_BLOCK) < 0) {
            n = platStreamReadAt(f->stream, at, out + done, count - done);
            if (n > 0) done += n;
            break;
        } else {
            int32_t b = blockFor(f, c, at);
            if (b < 0 || at - c->start[b] >= c->length[b]) break;  // a short block: the end of the file
            n = c->length[b] - (at - c->start[b]);
            if (n > count - done) n = count - done;
            memCopy(out + done, c->data + b * ARC_BLOCK + (at - c->start[b]), n);
        }
        done += n;
    }
    return done;
}

// vfsSeek has checked the target against 0..INT32_MAX; the file does not grow, so past the size is no target.
static int archiveSeek(VfsFile* f, int32_t offset, int32_t whence) {
    int64_t target = whence == 0   ? offset
                     : whence == 1 ? (int64_t)f->position + offset
                                   : (int64_t)f->size - offset;
    return target >= 0 && target <= f->size;
}

static int archiveClose(VfsFile* f) {
    ArchiveCache* c = &g_archiveCache[f - g_vfs.files];
    memFree(c->data);
    memFree(c->pinned);
    memFill(c, 0, (int32_t)sizeof *c);
    return looseClose(f);
}

// Gives an archive's own handle its blocks; without memory it stays a plain loose-file handle.
static void startArchiveCache(VfsFile* f) {
    ArchiveCache* c = &g_archiveCache[f - g_vfs.files];
    memFill(c, 0, (int32_t)sizeof *c);
    c->data = (uint8_t*)memAlloc(ARC_BLOCK * ARC_BLOCKS);
    if (!c->data) return;
    f->ops.close = archiveClose;
    f->ops.read = archiveRawRead;
    f->ops.seek = archiveSeek;
    f->ops.write = nullptr;
}

// Brackets the mount's walk of the central directory; at its end the directory, which runs from the lowest
// offset the walk read to the end of the file, is kept in memory when it is of a reasonable size.
static void recordDirectoryReads(VfsFile* f, bool on) {
    ArchiveCache* c = cacheOf(f);
    if (!c) return;
    if (on) {
        c->recording = 1;
        c->lowestRead = INT32_MAX;
        return;
    }
    c->recording = 0;
    int32_t length = f->size - c->lowestRead;
    if (c->lowestRead >= f->size || length > ARC_PIN_MAX) return;
    c->pinned = (uint8_t*)memAlloc(length);
    if (c->pinned && platStreamReadAt(f->stream, c->lowestRead, c->pinned, length) == length) {
        c->pinStart = c->lowestRead;
        c->pinLength = length;
    } else {
        memFree(c->pinned);
        c->pinned = nullptr;
    }
}

//-----------------------------------------------------------------------------
// [SECTION] Archive file functions
//-----------------------------------------------------------------------------

// minizip's file is the archive's own handle: the "path" it is given is the handle itself, already open.
// minizip closes it once, in unzClose, or when its own open fails.

static voidpf ZCALLBACK zipOpen(voidpf, const void* handle, int) {
    return (voidpf)handle;
}

static uLong ZCALLBACK zipRead(voidpf, voidpf stream, void* buf, uLong size) {
    if (size > (uLong)INT32_MAX) size = INT32_MAX;
    VfsFile* f = (VfsFile*)stream;
    ArchiveCache* c = &g_archiveCache[f - g_vfs.files];
    // A header field: straight from memory, which is most of what opening a member costs (minizip reads its
    // directory record and local header again at every open, a field at a time).
    if (size <= 8 && c->data && !c->recording && size > 0) {
        if (const uint8_t* src = smallReadSource(c, f->position, (int32_t)size)) {
            uint8_t* out = (uint8_t*)buf;
            for (uLong i = 0; i < size; i++) out[i] = src[i];
            if (f->scrambled) vfsScramble(out, (int32_t)size, f->position);
            f->position += (int32_t)size;
            c->shortRead = 0;
            return size;
        }
    }
    int32_t r = vfsRead(f, buf, (int32_t)size);
    c->shortRead = r < (int32_t)size;
    return r > 0 ? (uLong)r : 0;
}

static uLong ZCALLBACK zipWrite(voidpf, voidpf, const void*, uLong) {
    return 0;
}

static ZPOS64_T ZCALLBACK zipTell(voidpf, voidpf stream) {
    int32_t at = vfsTell((VfsFile*)stream);
    return at < 0 ? (ZPOS64_T)-1 : (ZPOS64_T)at;
}

// minizip's end origin adds the offset to the size; ours counts it back from the end.
static long ZCALLBACK zipSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    int64_t off = (int64_t)offset;
    if (origin == ZLIB_FILEFUNC_SEEK_END) off = -off;
    if (off < INT32_MIN || off > INT32_MAX) return -1;
    int32_t whence = origin == ZLIB_FILEFUNC_SEEK_SET ? 0 : origin == ZLIB_FILEFUNC_SEEK_CUR ? 1 : 2;
    return vfsSeek((VfsFile*)stream, (int32_t)off, whence) ? 0 : -1;
}

static int ZCALLBACK zipClose(voidpf, voidpf stream) {
    return vfsClose((VfsFile*)stream) ? 0 : -1;
}

// minizip asks after a header read came up short. Its "end of file" answer counts as success, and the field
// then holds whatever the byte before it held: a record cut by the end of the file would be read as sound.
static int ZCALLBACK zipError(voidpf, voidpf stream) {
    return g_archiveCache[(VfsFile*)stream - g_vfs.files].shortRead;
}

//-----------------------------------------------------------------------------
// [SECTION] Mounting
//-----------------------------------------------------------------------------

// Element against a name (lookups).
static int compareEntryName(const void* element, const void* key) {
    return wstrICmp(((const VfsEntry*)element)->name, (const char16_t*)key);
}

// Element against element (sorting).
static int compareEntries(const void* a, const void* b) {
    return wstrICmp(((const VfsEntry*)a)->name, ((const VfsEntry*)b)->name);
}

static VfsFile* archiveAt(int32_t index) {
    return ((VfsFile**)g_vfs.archives.data)[index];
}

static bool anyArchiveBusy() {
    for (int32_t i = 0; i < g_vfs.archives.count; i++)
        if (archiveAt(i)->entry) return true;
    return false;
}

int vfsInit() {
    if (g_vfs.archivesReady) return 1;
    if (!arrInit(&g_vfs.archives, (int32_t)sizeof(VfsFile*), 10)) return 0;
    if (!arrInit(&g_vfs.directory, (int32_t)sizeof(VfsEntry), 10)) {
        arrFree(&g_vfs.archives);
        return 0;
    }
    g_vfs.archivesReady = 1;
    return 1;
}

void vfsShutdown() {
    if (!g_vfs.archivesReady) return;
    // A member still open would point at a closed archive: release it first.
    for (int32_t i = 0; i < VFS_MAX_FILES; i++) {
        VfsFile* f = &g_vfs.files[i];
        if (f->inUse && f->archive) vfsClose(f);
    }
    for (int32_t i = 0; i < g_vfs.archives.count; i++) unzClose(archiveAt(i)->unzip);
    arrFree(&g_vfs.archives);
    arrFree(&g_vfs.directory);
    g_vfs.archivesReady = 0;
}

int32_t vfsArchiveCount() {
    return g_vfs.archivesReady ? g_vfs.archives.count : 0;
}

static int mountOne(const char16_t* path) {
    return vfsMountArchive(path);
}

int32_t vfsMount(const char16_t* pattern) {
    return vfsForEachFile(pattern, mountOne);
}

int32_t vfsMountDefaults() {
    static const char16_t* const kPatterns[] = {u"*.zip", u"*.pak", u"*.exe"};
    int32_t count = 0;
    for (const char16_t* p : kPatterns) count += vfsMount(p);
    // The same files again when the program folder is known; they are skipped as already mounted. This
    // matters only where relative patterns are not searched in the program folder.
    const char16_t* prog = vfsGetFolder(1);
    char16_t full[VFS_PATH_MAX];
    for (const char16_t* p : kPatterns)
        if (prog && joinPath(full, prog, p)) count += vfsMount(full);
    return count;
}

static bool readAt(VfsFile* f, int32_t at, uint8_t* out, int32_t count) {
    return vfsSeek(f, at, 0) && vfsRead(f, out, count) == count;
}

static uint32_t le16(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

static uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

// How many central directory records the mount may walk: minizip steps through a record's claimed extra
// field four bytes at a time whether or not the bytes are there, so one 600-byte file could cost it 65,000
// reads. The walk ends at the first record whose name or extra field runs past the end of the file (minizip
// cannot read it) or whose comment does (no record can follow it). The directory is found where minizip
// looks: the last end record in the final 64 KB, the first record the directory's size before it. 0 when
// that range holds neither an end record nor a ZIP64 locator, which minizip refuses after two searches of
// its own; ZIP_WALK_UNKNOWN when there is a locator or the records say ZIP64: minizip judges those alone.
static int32_t walkableRecords(VfsFile* f) {
    const int32_t size = f->size;
    const int32_t lowest = size > 0xFFFF ? size - 0xFFFF : 0;
    enum { CHUNK = 4096 };
    uint8_t chunk[CHUNK + 3];
    int32_t endRecord = -1;
    // Signatures start at positions 1 .. size - 4: minizip takes a find at 0 for none.
    for (int32_t top = size - 4; top >= lowest && top > 0;) {
        const int32_t start = top - (CHUNK - 1) > lowest ? top - (CHUNK - 1) : lowest;
        if (!readAt(f, start, chunk, top + 4 - start)) return ZIP_WALK_UNKNOWN;
        // Forwards, so the C library's scan finds each "P": the last end record of the chunk wins.
        int32_t found = -1;
        const uint8_t* const last = chunk + (top - start);
        for (const uint8_t* p = chunk; (p = (const uint8_t*)memchr(p, 'P', (size_t)(last + 1 - p))); p++) {
            const int32_t at = start + (int32_t)(p - chunk);
            if (p[1] != 'K' || at == 0) continue;
            if (p[2] == 6 && p[3] == 7) return ZIP_WALK_UNKNOWN;
            if (p[2] == 5 && p[3] == 6) found = at;
        }
        if (endRecord < 0) endRecord = found;
        top = start - 1;
    }
    if (endRecord < 0) return 0;
    uint8_t rec[46];
    if (endRecord > size - 22 || !readAt(f, endRecord, rec, 22)) return ZIP_WALK_UNKNOWN;
    const uint32_t entries = le16(rec + 10), directorySize = le32(rec + 12);
    if (entries == 0xFFFF || directorySize == 0xFFFFFFFF || le32(rec + 16) == 0xFFFFFFFF ||
        directorySize > (uint32_t)endRecord)
        return ZIP_WALK_UNKNOWN;
    int64_t at = endRecord - (int64_t)directorySize;
    for (uint32_t i = 0; i < entries; i++) {
        if (at + 46 > size || !readAt(f, (int32_t)at, rec, 46)) return (int32_t)i;
        if (le32(rec) != 0x02014B50) return ZIP_WALK_UNKNOWN;  // minizip stops there as well
        at += 46 + (int64_t)le16(rec + 28) + le16(rec + 30);
        if (at > size) return (int32_t)i;
        at += le16(rec + 32);
        if (at > size) return (int32_t)i + 1;
    }
    return ZIP_WALK_UNKNOWN;
}

// Opens the archive's own handle and hands it to minizip, read plainly or through the key. The handle, or
// null with the slot free again.
static VfsFile* openZip(const char16_t* path, bool scrambled) {
    VfsFile* f = takeSlot();
    if (!f) return nullptr;
    if (!openLoose(f, path)) {
        f->inUse = 0;
        return nullptr;
    }
    startArchiveCache(f);
    if (scrambled) {
        f->ops.read = vfsScrambledRead;
        f->scrambled = 1;
    }
    const int32_t walkable = walkableRecords(f);
    g_archiveCache[f - g_vfs.files].walkable = walkable;  // kept past a cache that got no memory
    if (walkable == 0) {
        vfsClose(f);
        return nullptr;
    }
    zlib_filefunc64_def io = {zipOpen, zipRead, zipWrite, zipTell, zipSeek, zipClose, zipError, nullptr};
    f->unzip = unzOpen2_64(f, &io);
    if (f->unzip) return f;
    // minizip closes its file when it rejects the archive, but not when its own allocation fails.
    if (f->inUse) vfsClose(f);
    return nullptr;
}

// The duplicate lookup during a mount: binary search over the part sorted by earlier mounts, then a walk
// over the entries this mount appended (not sorted yet).
static VfsEntry* findDuring(const char16_t* name, int32_t sortedCount) {
    Array sorted = g_vfs.directory;
    sorted.count = sortedCount;
    if (VfsEntry* e = (VfsEntry*)arrFind(&sorted, name, compareEntryName)) return e;
    VfsEntry* entries = (VfsEntry*)g_vfs.directory.data;
    for (int32_t i = sortedCount; i < g_vfs.directory.count; i++)
        if (wstrICmp(entries[i].name, name) == 0) return &entries[i];
    return nullptr;
}

// Records the current member, unless a newer copy of the name is already known. 0 only when the directory
// cannot grow.
static int addMember(unzFile uf, int32_t archiveIndex, int32_t sortedCount) {
    char raw[256];
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(uf, &info, raw, sizeof raw, nullptr, 0, nullptr, 0) != UNZ_OK) return 1;
    // A cut name would open the wrong file, and a member past 2 GiB does not fit a handle's positions.
    if (info.size_filename > sizeof raw - 1 || info.uncompressed_size > (ZPOS64_T)INT32_MAX) return 1;
    raw[info.size_filename] = 0;
    unz64_file_pos pos;
    if (unzGetFilePos64(uf, &pos) != UNZ_OK || pos.pos_in_zip_directory > UINT32_MAX) return 1;

    VfsEntry e;
    memFill(&e, 0, (int32_t)sizeof e);
    for (uint32_t i = 0; i <= info.size_filename; i++) e.name[i] = (char16_t)(uint8_t)raw[i];
    e.archiveIndex = archiveIndex;
    e.size = (uint32_t)info.uncompressed_size;
    e.memberIndex = (uint32_t)pos.num_of_file;
    e.directoryOffset = (uint32_t)pos.pos_in_zip_directory;
    e.dosDateTime = (uint32_t)info.dosDate;
    e.method = (uint16_t)info.compression_method;

    VfsEntry* old = findDuring(e.name, sortedCount);
    if (!old) return arrAppend(&g_vfs.directory, &e) >= 0;
    if (e.dosDateTime > old->dosDateTime) {
        old->archiveIndex = e.archiveIndex;
        old->size = e.size;
        old->memberIndex = e.memberIndex;
        old->directoryOffset = e.directoryOffset;
        old->dosDateTime = e.dosDateTime;
        old->method = e.method;
    }
    return 1;
}

int vfsMountArchive(const char16_t* path) {
    if (!path || !path[0] || !g_vfs.archivesReady) return 0;
    if (anyArchiveBusy()) {
        logSourceLine(kModule, __LINE__, "mount refused while an archive member is open", 0);
        return 0;
    }
    char16_t full[VFS_PATH_MAX];
    if (!resolveInProgramFolder(full, path)) return 0;
    for (int32_t i = 0; i < g_vfs.archives.count; i++)
        if (wstrICmp(archiveAt(i)->path, full) == 0) return 0;

    // One free handle serves both tries; without one, say so once.
    if (!takeSlot()) return 0;
    VfsFile* archive = openZip(path, false);
    if (!archive) archive = openZip(path, true);
    if (!archive) return 0;
    unzFile uf = archive->unzip;
    if (arrAppend(&g_vfs.archives, &archive) < 0) {
        unzClose(uf);
        return 0;
    }
    // Room for every member before the first is listed: a directory that stopped growing half-way would
    // mount the archive with members silently missing. Each member takes at least 46 bytes of the central
    // directory, which bounds what a damaged member count can ask for.
    unz_global_info64 info;
    uint64_t members = unzGetGlobalInfo64(uf, &info) == UNZ_OK ? info.number_entry : 0;
    const uint64_t bound = (uint64_t)(archive->size > 0 ? archive->size : 0) / 46 + 1;
    if (members > bound) members = bound;
    const uint64_t wanted = (uint64_t)g_vfs.directory.count + members;
    if (wanted > (uint64_t)INT32_MAX || !arrReserve(&g_vfs.directory, (int32_t)wanted)) {
        logSourceLine(kModule, __LINE__, "archive directory does not fit in memory: ", 0);
        logWrite(path, LOG_WIDE | LOG_EOL);
        arrPop(&g_vfs.archives);
        unzClose(uf);
        return 0;
    }
    int32_t index = g_vfs.archives.count - 1;
    int32_t sortedCount = g_vfs.directory.count;
    recordDirectoryReads(archive, true);
    int32_t left = g_archiveCache[archive - g_vfs.files].walkable;  // negative: no limit known
    for (int r = unzGoToFirstFile(uf); r == UNZ_OK; r = unzGoToNextFile(uf)) {
        if (!addMember(uf, index, sortedCount)) break;
        if (left > 0 && --left == 0) break;
    }
    recordDirectoryReads(archive, false);
    arrSort(&g_vfs.directory, compareEntries);
    return 1;
}

VfsEntry* vfsFindEntry(const char16_t* name) {
    if (!name || !g_vfs.archivesReady || wstrLen(name) >= VFS_PATH_MAX) return nullptr;
    // Members are stored with "/"; a "\" in the name means the same.
    char16_t key[VFS_PATH_MAX];
    wstrCopy(key, name);
    wstrToSlashes(key);
    return (VfsEntry*)arrFind(&g_vfs.directory, key, compareEntryName);
}

//-----------------------------------------------------------------------------
// [SECTION] Archive members
//-----------------------------------------------------------------------------

// Forward seeks decompress into this and throw the bytes away; a fixed block keeps a long skip from
// allocating its whole distance.
static uint8_t g_skipBuffer[32 * 1024];

static unzFile memberZip(VfsFile* f) {
    return (unzFile)f->archive->unzip;
}

// Goes to the member and opens it in minizip.
static bool startMember(VfsFile* f) {
    unz64_file_pos pos = {f->entry->directoryOffset, f->entry->memberIndex};
    unzFile uf = memberZip(f);
    return unzGoToFilePos64(uf, &pos) == UNZ_OK && unzOpenCurrentFile(uf) == UNZ_OK;
}

static int memberClose(VfsFile* f) {
    // A CRC error still ends the member: keeping it would block its archive for the rest of the run.
    int r = unzCloseCurrentFile(memberZip(f));
    f->entry->readPosition = 0;
    f->archive->entry = nullptr;
    f->archive = nullptr;
    f->entry = nullptr;
    f->inUse = 0;
    return r == UNZ_OK;
}

static int32_t memberRead(VfsFile* f, void* buf, int32_t n) {
    VfsEntry* e = f->entry;
    if (e->readPosition >= e->size) return 0;
    int32_t r = unzReadCurrentFile(memberZip(f), buf, (unsigned)n);
    if (r > 0) {
        e->readPosition += (uint32_t)r;
    } else {
        // Nothing more will come out of a member that fails or ends early: put it at its end, so that a
        // loop reading until vfsEof stops.
        e->readPosition = e->size;
        f->position = (int32_t)e->size;
    }
    return r;
}

static int memberSeek(VfsFile* f, int32_t offset, int32_t whence) {
    VfsEntry* e = f->entry;
    int64_t target = whence == 0   ? (int64_t)offset
                     : whence == 1 ? (int64_t)e->readPosition + offset
                     : whence == 2 ? (int64_t)e->size - offset
                                   : -1;
    if (target < 0 || target > (int64_t)e->size) return 0;
    if (target < (int64_t)e->readPosition) {
        unzCloseCurrentFile(memberZip(f));
        e->readPosition = 0;
        f->position = 0;
        if (!startMember(f)) {
            e->readPosition = e->size;
            f->position = (int32_t)e->size;
            return 0;
        }
    }
    while ((int64_t)e->readPosition < target) {
        int64_t left = target - e->readPosition;
        int32_t n = left < (int64_t)sizeof g_skipBuffer ? (int32_t)left : (int32_t)sizeof g_skipBuffer;
        int32_t r = memberRead(f, g_skipBuffer, n);
        if (r <= 0) return 0;
        f->position = (int32_t)e->readPosition;
    }
    return 1;
}

static const VfsFileOps kMemberOps = {memberClose, memberRead, nullptr, memberSeek};

static VfsFile* openMember(VfsFile* slot, const char16_t* name) {
    VfsEntry* e = vfsFindEntry(name);
    // Stored and deflated only: minizip built without bzip2 would hand out a bzip2 member's compressed bytes.
    if (!e || (e->method != 0 && e->method != Z_DEFLATED)) return nullptr;
    VfsFile* archive = archiveAt(e->archiveIndex);
    if (archive->entry) return nullptr;  // one member per archive at a time
    wstrCopy(slot->path, name);
    slot->archive = archive;
    slot->entry = e;
    slot->stream = nullptr;
    slot->unzip = nullptr;
    slot->scrambled = 0;
    slot->ops = kMemberOps;
    slot->position = 0;
    slot->size = (int32_t)e->size;
    archive->entry = e;
    e->readPosition = 0;
    if (!startMember(slot)) {
        // minizip may have opened the member before failing; leave nothing behind.
        unzCloseCurrentFile(memberZip(slot));
        archive->entry = nullptr;
        slot->archive = nullptr;
        slot->entry = nullptr;
        return nullptr;
    }
    slot->inUse = 1;
    return slot;
}

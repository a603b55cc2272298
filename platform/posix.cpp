// The platform services shared by both backends: folders, OS identity, UTF-8 names, file streams, search.
//
// [SECTION] Backend dispatch
// [SECTION] UTF-16 <-> UTF-8
// [SECTION] Folders and OS identity
// [SECTION] Memory files
// [SECTION] Streams and delete
// [SECTION] Wildcard search
#include <dirent.h>
#include <limits.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "brask/memory.h"
#include "brask/text.h"
#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/session.h"

//-----------------------------------------------------------------------------
// [SECTION] Backend dispatch
//-----------------------------------------------------------------------------

static const PlatformBackend* g_backend = &platHeadless;

void platSetBackend(const PlatformBackend* backend) {
    g_backend = backend ? backend : &platHeadless;
}
const PlatformBackend* platBackend() {
    return g_backend;
}

int platCounter(uint64_t* value) {
    return g_backend->counter(value);
}
int platCounterFrequency(uint64_t* perSec) {
    return g_backend->counterFrequency(perSec);
}
void platSleep(uint32_t ms) {
    g_backend->sleep(ms);
}
int platMessageBox(const char16_t* text, const char16_t* caption, int32_t kind) {
    const int answer = g_backend->messageBox(text, caption, kind);
    platRecordAnswer(answer);
    return answer;
}
int platSystemText(int32_t which, char16_t* out, int32_t capacity) {
    return g_backend->systemText(which, out, capacity);
}

// The stream belongs to the backend that opened it, even if the program switches backends in between.
static const PlatformBackend* g_audioBackend;

int platAudioOpen(int32_t rate, int32_t channels) {
    platAudioClose();
    if (rate <= 0 || (channels != 1 && channels != 2)) return 0;
    if (!g_backend->audioOpen(rate, channels)) return 0;
    g_audioBackend = g_backend;
    return 1;
}
int platAudioQueue(const void* bytes, int32_t count) {
    if (!g_audioBackend || !bytes || count < 0) return 0;
    return count == 0 ? 1 : g_audioBackend->audioQueue(bytes, count);
}
int32_t platAudioQueued() {
    return g_audioBackend ? g_audioBackend->audioQueued() : 0;
}
void platAudioClose() {
    if (!g_audioBackend) return;
    g_audioBackend->audioClose();
    g_audioBackend = nullptr;
}

// Window, messages, display and keys go straight to the backend; only pointers the backends would have to
// check on every path are checked here.
int platClassExists(const char16_t* name, void* instance) {
    return name ? g_backend->classExists(name, instance) : 0;
}
int platDefineClass(const PlatWindowClass* cls) {
    return cls && cls->name ? g_backend->defineClass(cls) : 0;
}
PlatWindow platCreateWindow(const char16_t* className, const char16_t* text, uint32_t style, int32_t x,
                            int32_t y, int32_t width, int32_t height, void* instance) {
    if (!className) return 0;
    return g_backend->createWindow(className, text ? text : u"", style, x, y, width, height, instance);
}
void platShowWindow(PlatWindow w, int32_t show) {
    g_backend->showWindow(w, show);
}
void platUpdateWindow(PlatWindow w) {
    g_backend->updateWindow(w);
}
int platMoveWindow(PlatWindow w, int32_t x, int32_t y, int32_t width, int32_t height, int32_t repaint) {
    return g_backend->moveWindow(w, x, y, width, height, repaint);
}
int platWindowRect(PlatWindow w, PlatRect* out) {
    return out ? g_backend->windowRect(w, out) : 0;
}
int platSetWindowText(PlatWindow w, const char16_t* text) {
    return g_backend->setWindowText(w, text ? text : u"");
}
PlatWindow platFindWindow(const char16_t* className) {
    return className ? g_backend->findWindow(className) : 0;
}
int platFullScreen(PlatWindow w, uint32_t flags) {
    return g_backend->fullScreen(w, flags);
}
int platSetClassIcon(PlatWindow w, uint16_t iconId) {
    return g_backend->setClassIcon(w, iconId);
}
void platPostQuit(int32_t exitCode) {
    g_backend->postQuit(exitCode);
}
int platPeekMessage(PlatMessage* out) {
    return out ? g_backend->peekMessage(out) : 0;
}
// What the program takes is what a record holds: a peek leaves the message for the get that follows.
int platGetMessage(PlatMessage* out) {
    if (!out) return -1;
    const int got = g_backend->getMessage(out);
    if (got == 1) platRecordMessage(out);
    return got;
}
void platTranslateMessage(const PlatMessage* m) {
    if (m) g_backend->translateMessage(m);
}
intptr_t platDispatchMessage(const PlatMessage* m) {
    return m ? g_backend->dispatchMessage(m) : 0;
}
intptr_t platDefWindowProc(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return g_backend->defWindowProc(w, message, wParam, lParam);
}
int platPowerStatus(uint8_t* batteryFlag, uint8_t* lifePercent) {
    return batteryFlag && lifePercent ? g_backend->powerStatus(batteryFlag, lifePercent) : 0;
}

int platDisplayOpen(PlatWindow w, int32_t fullScreen) {
    return g_backend->displayOpen(w, fullScreen);
}
int platDisplayClose() {
    return g_backend->displayClose();
}
int platDisplayProperties(PlatDisplayProperties* out) {
    return out ? g_backend->displayProperties(out) : 0;
}
void* platDisplayBeginDraw() {
    return g_backend->displayBeginDraw();
}
int platDisplayEndDraw() {
    return g_backend->displayEndDraw();
}
int platDisplaySuspend() {
    return g_backend->displaySuspend();
}
int platDisplayResume() {
    return g_backend->displayResume();
}
void* platDisplayDirectBuffer() {
    return g_backend->displayDirectBuffer();
}

int platInputOpen() {
    return g_backend->inputOpen();
}
int platInputClose() {
    return g_backend->inputClose();
}
int platDefaultKeys(PlatDefaultKeys* out, int32_t landscape) {
    return out ? g_backend->defaultKeys(out, landscape) : 0;
}
uint16_t platVirtualKeyToChar(uint32_t vk) {
    return g_backend->virtualKeyToChar(vk);
}

// What a US keyboard types for a virtual key without modifiers, as the system's key-to-character mapping
// gives it: letters in upper case, digits, space and the few control characters that have a key.
uint16_t platUsVirtualKeyChar(uint32_t vk) {
    if ((vk >= 0x30 && vk <= 0x39) || (vk >= 0x41 && vk <= 0x5A)) return (uint16_t)vk;
    if (vk >= 0x60 && vk <= 0x69) return (uint16_t)('0' + vk - 0x60);  // keypad digits
    switch (vk) {
        case 0x08:
        case 0x09:
        case 0x0D:
        case 0x1B:
        case 0x20:
            return (uint16_t)vk;
        case 0x6A:
            return '*';
        case 0x6B:
            return '+';
        case 0x6D:
            return '-';
        case 0x6E:
            return '.';
        case 0x6F:
            return '/';
        default:
            return 0;
    }
}

//-----------------------------------------------------------------------------
// [SECTION] UTF-16 <-> UTF-8
//-----------------------------------------------------------------------------

int platToUtf8(const char16_t* in, char* out, int32_t capacity) {
    if (!in || !out || capacity <= 0) return 0;
    int32_t n = 0;
    for (size_t i = 0; in[i]; i++) {
        uint32_t c = in[i];
        if (c < 0x80) {
            // Nearly every path is ASCII: one byte, no staging.
            if (n + 1 >= capacity) return 0;
            out[n++] = (char)c;
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && in[i + 1] >= 0xDC00 && in[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        unsigned char buf[4];
        int len;
        if (c < 0x800) {
            buf[0] = (unsigned char)(0xC0 | (c >> 6));
            buf[1] = (unsigned char)(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            buf[0] = (unsigned char)(0xE0 | (c >> 12));
            buf[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            buf[2] = (unsigned char)(0x80 | (c & 0x3F));
            len = 3;
        } else {
            buf[0] = (unsigned char)(0xF0 | (c >> 18));
            buf[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
            buf[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            buf[3] = (unsigned char)(0x80 | (c & 0x3F));
            len = 4;
        }
        if (n + len >= capacity) return 0;
        memcpy(out + n, buf, (size_t)len);
        n += len;
    }
    out[n] = 0;
    return 1;
}

int platFromUtf8(const char* in, char16_t* out, int32_t capacity) {
    if (!in || !out || capacity <= 0) return 0;
    const unsigned char* s = (const unsigned char*)in;
    int32_t n = 0;
    while (*s) {
        uint32_t c = *s++;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0x80) c &= 0x3F >> extra;
        for (int k = 0; k < extra; k++) {
            if ((*s & 0xC0) != 0x80) {
                c = 0xFFFD;  // a cut sequence: stop the character here
                break;
            }
            c = (c << 6) | (*s++ & 0x3F);
        }
        if (c >= 0x10000) {
            if (n + 2 >= capacity) return 0;
            c -= 0x10000;
            out[n++] = (char16_t)(0xD800 + (c >> 10));
            out[n++] = (char16_t)(0xDC00 + (c & 0x3FF));
        } else {
            if (n + 1 >= capacity) return 0;
            out[n++] = (char16_t)c;
        }
    }
    out[n] = 0;
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Folders and OS identity
//-----------------------------------------------------------------------------

int platProgramPath(char16_t* out, int32_t capacity) {
    char path[4096];
    const char* over = platOverrideProgramPath();
    if (over) {
        if (strlen(over) >= sizeof path) return 0;
        strcpy(path, over);
    } else {
#ifdef __EMSCRIPTEN__
        // A page has no file of its own: the program lives in the virtual folder its data are preloaded
        // into, never in a folder of the host.
        strcpy(path, "/korvatron/korvatron");
#else
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n <= 0) return 0;
        path[n] = 0;
#endif
    }
    return platFromUtf8(path, out, capacity);
}

// mkdir -p for a folder given as UTF-8.
static int makeFolders(char* path) {
    for (char* p = path + 1; *p; p++) {
        if (*p != '/') continue;
        *p = 0;
        int r = mkdir(path, 0755);
        *p = '/';
        if (r != 0 && errno != EEXIST) return 0;
    }
    if (mkdir(path, 0755) != 0 && errno != EEXIST) return 0;
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder a launch chose for the player's files (--data, or a replay's fresh folder); empty: none.
static char g_launchDocuments[4096];

int platDocumentsFolder(char16_t* out, int32_t capacity) {
    char path[4096];
    const char* over = platOverrideDocumentsFolder();
    if (!over && g_launchDocuments[0]) over = g_launchDocuments;
#ifdef __EMSCRIPTEN__
    // The page mounts its IndexedDB store here, so the player's files outlive the tab.
    if (!over) over = "/save";
#endif
    if (over) {
        if (strlen(over) >= sizeof path) return 0;
        strcpy(path, over);
    } else {
        // The XDG base directory rule: the variable counts only when it holds an absolute path.
        const char* xdg = getenv("XDG_DATA_HOME");
        const char* home = getenv("HOME");
        int n;
        if (xdg && xdg[0] == '/') {
            size_t len = strlen(xdg);
            while (len > 1 && xdg[len - 1] == '/') len--;
            n = snprintf(path, sizeof path, "%.*s/korvatron", (int)len, len == 1 ? "" : xdg);
        } else if (home && *home)
            n = snprintf(path, sizeof path, "%s/.local/share/korvatron", home);
        else
            return 0;
        if (n < 0 || n >= (int)sizeof path) return 0;
    }
    size_t len = strlen(path);
    while (len > 1 && path[len - 1] == '/') path[--len] = 0;
    if (!makeFolders(path)) return 0;
    return platFromUtf8(path, out, capacity);
}

// Absolute, so that the engine's rule for relative names (the program folder) cannot move it elsewhere.
int platUseDataFolder(const char* utf8Folder, char16_t* out, int32_t capacity) {
    char path[4096], real[PATH_MAX];
    if (utf8Folder) {
        if (!utf8Folder[0] || strlen(utf8Folder) >= sizeof path) return 0;
        strcpy(path, utf8Folder);
        if (!makeFolders(path)) return 0;
    } else {
        const char* tmp = getenv("TMPDIR");
        if (!tmp || !*tmp) tmp = "/tmp";
        if (snprintf(path, sizeof path, "%s/korvatron-replay-XXXXXX", tmp) >= (int)sizeof path ||
            !mkdtemp(path))
            return 0;
    }
    if (!realpath(path, real) || strlen(real) + 2 > sizeof g_launchDocuments) return 0;
    char withSlash[PATH_MAX + 2];
    snprintf(withSlash, sizeof withSlash, "%s%s", real, strcmp(real, "/") ? "/" : "");
    if (!platFromUtf8(withSlash, out, capacity)) return 0;
    strcpy(g_launchDocuments, real);
    return 1;
}

int platAbsoluteFile(const char* utf8Path, char16_t* out, int32_t capacity) {
    char real[PATH_MAX];
    struct stat st;
    if (!utf8Path || !utf8Path[0] || !realpath(utf8Path, real) || stat(real, &st) != 0 ||
        !S_ISREG(st.st_mode))
        return 0;
    return platFromUtf8(real, out, capacity);
}

int platOsVersion(int32_t* major, int32_t* minor, int32_t* build) {
    struct utsname u;
    if (uname(&u) != 0) return 0;
    int v[3] = {0, 0, 0};
    const char* s = u.release;
    for (int i = 0; i < 3 && *s; i++) {
        while (*s && (*s < '0' || *s > '9')) s++;
        while (*s >= '0' && *s <= '9') v[i] = v[i] * 10 + (*s++ - '0');
    }
    *major = v[0];
    *minor = v[1];
    *build = v[2];
    return 1;
}

int platProcessorFeaturePresent(uint32_t feature) {
    const char* cpu = getenv("BRASK_CPU");
    if (cpu && strcmp(cpu, "baseline") == 0) return 0;
#if defined(__x86_64__) || defined(__i386__)
    // May run from a static constructor, before libgcc has read the processor's identity.
    __builtin_cpu_init();
    // GCC's test covers the OS side too: the YMM registers must be saved by the kernel.
    if (feature == PLAT_PF_AVX2) return __builtin_cpu_supports("avx2") ? 1 : 0;
#endif
    (void)feature;
    return 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Memory files
//-----------------------------------------------------------------------------

// One folder whose files live in memory (headlessSetMemoryFolder): the fuzz targets feed thousands of inputs
// a second through the engine's own readers, and a disk write and read per input would cost more than the
// reader. Streams on these files are entries of a fixed table, told from the C library's FILE by address, so
// every stream function below handles both without a tag in the handle.
enum { MEM_FILES_MAX = 32, MEM_STREAMS_MAX = 32, MEM_PATH_MAX = PLAT_PATH_MAX * 3 + 1 };

struct MemFile {
    char path[MEM_PATH_MAX];
    uint8_t* bytes;  // C heap: the storage of the device, not memory the program tracks
    int32_t size, capacity;
    int32_t opens;  // streams on it: a deleted file's bytes stay readable until the last one closes
    uint8_t exists;
};

struct MemStream {
    MemFile* file;
    int32_t position;
    uint8_t open, writable, append;
};

static struct {
    char folder[MEM_PATH_MAX];  // with its trailing "/"; empty: no memory folder
    MemFile files[MEM_FILES_MAX];
    MemStream streams[MEM_STREAMS_MAX];
} g_mem;

static bool memInFolder(const char* path) {
    size_t n = strlen(g_mem.folder);
    return n && !strncmp(path, g_mem.folder, n) && path[n];
}

static MemFile* memFind(const char* path) {
    for (MemFile& f : g_mem.files)
        if (f.exists && !strcmp(f.path, path)) return &f;
    return nullptr;
}

static void memRelease(MemFile* f) {
    if (f->exists || f->opens) return;
    free(f->bytes);
    f->bytes = nullptr;
    f->size = f->capacity = 0;
}

// Created empty, or emptied when it exists; null when the table is full.
static MemFile* memCreate(const char* path) {
    MemFile* f = memFind(path);
    if (!f) {
        for (MemFile& c : g_mem.files)
            if (!c.exists && !c.opens) {
                f = &c;
                break;
            }
        if (!f || strlen(path) >= MEM_PATH_MAX) return nullptr;
        strcpy(f->path, path);
        f->exists = 1;
    }
    f->size = 0;
    return f;
}

static bool memReserve(MemFile* f, int64_t size) {
    if (size > INT32_MAX) return false;
    if (size <= f->capacity) return true;
    int64_t grown = f->capacity ? f->capacity : 256;
    while (grown < size) grown *= 2;
    if (grown > INT32_MAX) grown = INT32_MAX;
    uint8_t* bytes = (uint8_t*)realloc(f->bytes, (size_t)grown);
    if (!bytes) return false;
    f->bytes = bytes;
    f->capacity = (int32_t)grown;
    return true;
}

static MemStream* memStreamOf(PlatStream* s) {
    const char* p = (const char*)s;
    const char* base = (const char*)g_mem.streams;
    if (p < base || p >= base + sizeof g_mem.streams) return nullptr;
    return (MemStream*)s;
}

// The C library's modes: r must find the file, w creates or empties it, a writes at the end; + reads and
// writes.
static PlatStream* memOpen(const char* path, const char* mode) {
    const bool plus = strchr(mode, '+') != nullptr;
    MemFile* f = mode[0] == 'r' ? memFind(path) : mode[0] == 'w' ? memCreate(path) : memFind(path);
    if (!f && mode[0] == 'a') f = memCreate(path);
    if (!f) return nullptr;
    for (MemStream& m : g_mem.streams) {
        if (m.open) continue;
        m.file = f;
        m.position = 0;
        m.open = 1;
        m.writable = mode[0] != 'r' || plus;
        m.append = mode[0] == 'a';
        f->opens++;
        return (PlatStream*)&m;
    }
    return nullptr;
}

static int32_t memRead(MemStream* m, void* buffer, int32_t count) {
    const MemFile* f = m->file;
    if (m->position >= f->size) return 0;
    int32_t n = f->size - m->position < count ? f->size - m->position : count;
    memcpy(buffer, f->bytes + m->position, (size_t)n);
    m->position += n;
    return n;
}

static int32_t memWrite(MemStream* m, const void* buffer, int32_t count) {
    MemFile* f = m->file;
    if (!m->writable) return 0;
    if (m->append) m->position = f->size;
    const int64_t end = (int64_t)m->position + count;
    if (!memReserve(f, end)) return 0;
    // A write past the end leaves zeros in the gap, as a sparse file reads.
    if (m->position > f->size) memset(f->bytes + f->size, 0, (size_t)(m->position - f->size));
    memcpy(f->bytes + m->position, buffer, (size_t)count);
    m->position = (int32_t)end;
    if (end > f->size) f->size = (int32_t)end;
    return count;
}

static int memSeek(MemStream* m, int32_t offset, int32_t whence) {
    const int64_t base = whence == 0 ? 0 : whence == 1 ? m->position : m->file->size;
    const int64_t at = base + offset;
    if (at < 0 || at > INT32_MAX) return -1;
    m->position = (int32_t)at;
    return 0;
}

static int32_t memReadAt(MemStream* m, int32_t offset, void* buffer, int32_t count) {
    const MemFile* f = m->file;
    if (offset >= f->size) return 0;
    int32_t n = f->size - offset < count ? f->size - offset : count;
    memcpy(buffer, f->bytes + offset, (size_t)n);
    return n;
}

static void memClose(MemStream* m) {
    m->open = 0;
    m->file->opens--;
    memRelease(m->file);
}

void headlessSetMemoryFolder(const char* utf8Folder) {
    for (MemStream& m : g_mem.streams) m.open = 0;
    for (MemFile& f : g_mem.files) {
        f.exists = 0;
        f.opens = 0;
        memRelease(&f);
    }
    g_mem.folder[0] = 0;
    if (!utf8Folder || !utf8Folder[0]) return;
    size_t n = strlen(utf8Folder);
    if (n + 2 > MEM_PATH_MAX) return;
    memcpy(g_mem.folder, utf8Folder, n + 1);
    if (utf8Folder[n - 1] != '/') strcat(g_mem.folder, "/");
}

int headlessSetMemoryFile(const char* utf8Path, const void* bytes, int32_t size) {
    if (!utf8Path || !memInFolder(utf8Path) || size < 0 || (size && !bytes)) return 0;
    MemFile* f = memCreate(utf8Path);
    if (!f || !memReserve(f, size ? size : 1)) return 0;
    if (size) memcpy(f->bytes, bytes, (size_t)size);
    f->size = size;
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Streams and delete
//-----------------------------------------------------------------------------

// A PlatStream is the C library's FILE itself: no allocation of ours per open file.
static FILE* fileOf(PlatStream* s) {
    return (FILE*)s;
}

PlatStream* platStreamOpen(const char16_t* name, const char* mode) {
    char path[PLAT_PATH_MAX * 3 + 1];
    if (!mode || !platToUtf8(name, path, sizeof path) || !path[0]) return nullptr;
    bool writes = strchr(mode, 'w') || strchr(mode, 'a') || strchr(mode, '+');
    bool creates = strchr(mode, 'w') || strchr(mode, 'a');
    if (writes && platRefused(path, creates ? PLAT_REFUSE_CREATE : PLAT_REFUSE_UPDATE)) {
        errno = EACCES;
        return nullptr;
    }
    if (memInFolder(path)) return memOpen(path, mode);
    struct stat st;
    // glibc opens a folder for reading; only regular files are files here. A file that stat cannot see
    // cannot be opened without creating it either: skip the open (the file system's misses are hot).
    int found = stat(path, &st) == 0;
    if (found ? !S_ISREG(st.st_mode) : !creates) return nullptr;
    return (PlatStream*)fopen(path, mode);
}

int32_t platStreamRead(PlatStream* s, void* buffer, int32_t count) {
    if (!s || !buffer || count <= 0) return 0;
    if (MemStream* m = memStreamOf(s)) return memRead(m, buffer, count);
    return (int32_t)fread(buffer, 1, (size_t)count, fileOf(s));
}

int32_t platStreamWrite(PlatStream* s, const void* buffer, int32_t count) {
    if (!s || !buffer || count <= 0) return 0;
    if (MemStream* m = memStreamOf(s)) return memWrite(m, buffer, count);
    return (int32_t)fwrite(buffer, 1, (size_t)count, fileOf(s));
}

int platStreamSeek(PlatStream* s, int32_t offset, int32_t whence) {
    static const int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (!s || whence < 0 || whence > 2) return -1;
    if (MemStream* m = memStreamOf(s)) return memSeek(m, offset, whence);
    return fseek(fileOf(s), offset, kWhence[whence]) == 0 ? 0 : -1;
}

int32_t platStreamSize(PlatStream* s) {
    if (MemStream* m = memStreamOf(s)) return m->file->size;
    struct stat st;
    if (!s || fstat(fileno(fileOf(s)), &st) != 0 || st.st_size < 0 || st.st_size > INT32_MAX) return -1;
    return (int32_t)st.st_size;
}

int32_t platStreamReadAt(PlatStream* s, int32_t offset, void* buffer, int32_t count) {
    if (!s || !buffer || count <= 0 || offset < 0) return 0;
    if (MemStream* m = memStreamOf(s)) return memReadAt(m, offset, buffer, count);
    int fd = fileno(fileOf(s));
    int32_t done = 0;
    while (done < count) {
        ssize_t r = pread(fd, (char*)buffer + done, (size_t)(count - done), (off_t)offset + done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += (int32_t)r;
    }
    return done;
}

int32_t platStreamTell(PlatStream* s) {
    if (!s) return -1;
    if (MemStream* m = memStreamOf(s)) return m->position;
    long p = ftell(fileOf(s));
    return p < 0 || p > INT32_MAX ? -1 : (int32_t)p;
}

int platStreamClose(PlatStream* s) {
    if (!s) return -1;
    if (MemStream* m = memStreamOf(s)) {
        memClose(m);
        return 0;
    }
    return fclose(fileOf(s)) == 0 ? 0 : -1;
}

int platStreamFlush(PlatStream* s) {
    if (!s) return 0;
    if (memStreamOf(s)) return 1;
    FILE* f = fileOf(s);
    if (fflush(f) != 0) return 0;
    int r;
    do r = fsync(fileno(f));
    while (r != 0 && errno == EINTR);
    return r == 0;
}

int platIsFile(const char16_t* name) {
    char path[PLAT_PATH_MAX * 3 + 1];
    if (!platToUtf8(name, path, sizeof path) || !path[0]) return 0;
    if (memInFolder(path)) return memFind(path) != nullptr;
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

static char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c + ('a' - 'A')) : c;
}

// Equal ignoring ASCII case; other bytes (UTF-8 sequences among them) must match exactly.
static bool equalIgnoringCase(const char* a, const char* b) {
    while (*a && asciiLower(*a) == asciiLower(*b)) a++, b++;
    return asciiLower(*a) == asciiLower(*b);
}

// The memory folder's part as given, the rest ignoring case; of several, the first in byte order.
static MemFile* memFindIgnoringCase(const char* path) {
    const size_t n = strlen(g_mem.folder);
    MemFile* best = nullptr;
    for (MemFile& f : g_mem.files)
        if (f.exists && equalIgnoringCase(f.path + n, path + n) && (!best || strcmp(f.path, best->path) < 0))
            best = &f;
    return best;
}

// Every archive member is looked for as a loose file first, so the same miss ("gamedata" in the program
// folder) comes back at every open: the last misses are kept with the folder's identity and times, and one
// stat of the folder answers them until an entry is added, removed or renamed in it.
enum { MISSES_KEPT = 8 };
struct FolderMiss {
    char folder[PLAT_PATH_MAX * 3 + 1];
    char part[NAME_MAX + 1];
    dev_t device;
    ino_t inode;
    struct timespec modified, changed;
};
static FolderMiss g_misses[MISSES_KEPT];
static int32_t g_missNext;

static bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A kept miss holds while its folder is the same folder, unchanged since.
static bool stillMissing(const FolderMiss& m, const struct stat& folder) {
    return m.inode == folder.st_ino && m.device == folder.st_dev && sameTime(m.modified, folder.st_mtim) &&
           sameTime(m.changed, folder.st_ctim);
}

// A file system that keeps whole seconds could add an entry within the second of the time kept, unseen:
// misses of a folder changed so lately are not kept there.
static bool racy(const struct stat& st) {
    if (st.st_mtim.tv_nsec != 0 || st.st_ctim.tv_nsec != 0) return false;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - st.st_ctim.tv_sec < 2 || now.tv_sec - st.st_mtim.tv_sec < 2;
}

// Replaces `part` by the entry of `folder` that equals it ignoring case (the first in byte order). Only
// ASCII letters may differ, so the length stays. `folderStat`: the folder's stat when the caller has it,
// else null.
static bool matchInFolder(const char* folder, char* part, const struct stat* folderStat) {
    struct stat st;
    if (folderStat) st = *folderStat;
    const bool known = (folderStat || stat(folder, &st) == 0) && strlen(folder) < sizeof g_misses[0].folder &&
                       strlen(part) < sizeof g_misses[0].part;
    if (known)
        for (const FolderMiss& m : g_misses)
            if (stillMissing(m, st) && !strcmp(m.folder, folder) && !strcmp(m.part, part)) return false;
    DIR* dir = opendir(folder);
    if (!dir) return false;
    char best[NAME_MAX + 1];
    bool found = false;
    while (struct dirent* e = readdir(dir)) {
        if (!equalIgnoringCase(e->d_name, part) || (found && strcmp(e->d_name, best) >= 0)) continue;
        strcpy(best, e->d_name);
        found = true;
    }
    closedir(dir);
    if (found) {
        memcpy(part, best, strlen(best));
    } else if (known && !racy(st)) {
        FolderMiss& m = g_misses[g_missNext++ % MISSES_KEPT];
        strcpy(m.folder, folder);
        strcpy(m.part, part);
        m.device = st.st_dev;
        m.inode = st.st_ino;
        m.modified = st.st_mtim;
        m.changed = st.st_ctim;
    }
    return found;
}

// Whether a kept miss covers the path (a folder on its way lacks the next part in any case), checked with
// one stat of that folder: the walk below would stat every folder up to it first.
static bool knownMissing(const char* path) {
    for (const FolderMiss& m : g_misses) {
        const size_t n = strlen(m.folder);
        if (!m.folder[0] || strncmp(path, m.folder, n) != 0 || path[n] != '/') continue;
        const char* part = path + n + 1;
        size_t len = 0;
        while (m.part[len] && asciiLower(part[len]) == asciiLower(m.part[len])) len++;
        if (m.part[len] || (part[len] != '/' && part[len] != 0)) continue;
        struct stat st;
        return stat(m.folder, &st) == 0 && stillMissing(m, st);
    }
    return false;
}

int platFindFileIgnoringCase(const char16_t* name, char16_t* out, int32_t capacity) {
    char path[PLAT_PATH_MAX * 3 + 1];
    if (!name || !out || !platToUtf8(name, path, sizeof path) || !path[0]) return 0;
    if (memInFolder(path)) {
        const MemFile* f = memFind(path);
        if (!f) f = memFindIgnoringCase(path);
        return f && platFromUtf8(f->path, out, capacity);
    }
    // A kept miss answers first: every archive member is looked for here before the archives.
    if (knownMissing(path)) return 0;
    struct stat st, deepest;
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode)) return platFromUtf8(path, out, capacity);
    // The walk starts below the deepest folder that exists as given (usually the file's own, or the one
    // above when a folder of the name is missing): the parts above it need no search, and the first part
    // below it is known to be missing as given.
    size_t i = 0;
    bool haveDeepest = false;
    for (char* slash = strrchr(path, '/'); slash;
         slash = slash == path ? nullptr : (char*)memrchr(path, '/', (size_t)(slash - path))) {
        *slash = 0;
        const bool folderThere =
            slash == path ? stat("/", &deepest) == 0 : stat(path, &deepest) == 0 && S_ISDIR(deepest.st_mode);
        *slash = '/';
        if (folderThere) {
            i = (size_t)(slash + 1 - path);
            haveDeepest = true;
            break;
        }
    }
    bool firstPart = true;
    while (path[i]) {
        size_t end = i;
        while (path[end] && path[end] != '/') end++;
        const char after = path[end];
        path[end] = 0;
        if (end > i && (firstPart || stat(path, &st) != 0)) {
            // The folder holding this part: the working folder, the root, or the path before it.
            const struct stat* known = firstPart && haveDeepest ? &deepest : nullptr;
            bool matched;
            if (i == 0) {
                matched = matchInFolder(".", path, nullptr);
            } else if (i == 1) {
                matched = matchInFolder("/", path + 1, known);
            } else {
                path[i - 1] = 0;
                matched = matchInFolder(path, path + i, known);
                path[i - 1] = '/';
            }
            if (!matched) return 0;
        }
        firstPart = false;
        path[end] = after;
        i = after ? end + 1 : end;
    }
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return platFromUtf8(path, out, capacity);
}

int platDelete(const char16_t* name) {
    char path[PLAT_PATH_MAX * 3 + 1];
    if (!platToUtf8(name, path, sizeof path) || !path[0]) return 0;
    if (platRefused(path, PLAT_REFUSE_CREATE)) return 0;
    if (memInFolder(path)) {
        MemFile* f = memFind(path);
        if (!f) return 0;
        f->exists = 0;
        memRelease(f);
        return 1;
    }
    return unlink(path) == 0;
}

// A rename reaches the disk only with its folder's entry: without the folder's sync a power loss could bring
// back the old name after the game reported the save done.
static void syncFolderOf(const char* path) {
    char folder[PLAT_PATH_MAX * 3 + 1];
    const char* slash = strrchr(path, '/');
    if (!slash) {
        strcpy(folder, ".");
    } else {
        size_t n = slash == path ? 1 : (size_t)(slash - path);
        memcpy(folder, path, n);
        folder[n] = 0;
    }
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

int platRename(const char16_t* from, const char16_t* to) {
    char src[PLAT_PATH_MAX * 3 + 1], dst[PLAT_PATH_MAX * 3 + 1];
    if (!platToUtf8(from, src, sizeof src) || !platToUtf8(to, dst, sizeof dst) || !src[0] || !dst[0])
        return 0;
    if (platRefused(dst, PLAT_REFUSE_CREATE) || platRefused(src, PLAT_REFUSE_CREATE)) return 0;
    const bool memSrc = memInFolder(src), memDst = memInFolder(dst);
    if (memSrc != memDst) return 0;  // two devices: no rename crosses them
    if (memSrc) {
        MemFile* f = memFind(src);
        if (!f || strlen(dst) >= MEM_PATH_MAX) return 0;
        if (!strcmp(src, dst)) return 1;
        if (MemFile* old = memFind(dst)) {
            // Streams still open on the replaced file keep reading its bytes, as on the disk.
            old->exists = 0;
            memRelease(old);
        }
        strcpy(f->path, dst);
        return 1;
    }
    if (rename(src, dst) != 0) return 0;
    syncFolderOf(dst);
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Wildcard search
//-----------------------------------------------------------------------------

// A search reads the whole folder at its start, keeps the matches sorted by name and hands them out in order,
// so every machine sees the same order whatever its directory layout.
enum { PLAT_MAX_SEARCHES = 16 };

struct PlatSearch {
    PlatFindData* items;
    int32_t count, next;
    uint8_t open;
};

static PlatSearch g_searches[PLAT_MAX_SEARCHES];

static int compareNames(const void* a, const void* b) {
    const char16_t* x = ((const PlatFindData*)a)->name;
    const char16_t* y = ((const PlatFindData*)b)->name;
    while (*x && *x == *y) x++, y++;
    return (int)*x - (int)*y;
}

// The next entry of a search for a name that matches, named; null when it does not match or memory ran out.
static PlatFindData* addMatch(PlatSearch* s, int32_t* capacity, const char* name, const char16_t* pattern) {
    char16_t wname[PLAT_PATH_MAX];
    if (!platFromUtf8(name, wname, PLAT_PATH_MAX) || !wstrMatch(wname, pattern)) return nullptr;
    if (s->count == *capacity) {
        int32_t grown = *capacity ? *capacity * 2 : 16;
        PlatFindData* items = (PlatFindData*)memRealloc(s->items, grown * (int32_t)sizeof(PlatFindData));
        if (!items) return nullptr;
        s->items = items;
        *capacity = grown;
    }
    PlatFindData* d = &s->items[s->count++];
    wstrCopy(d->name, wname);
    return d;
}

static void fillFindData(const char* folder, const char* name, PlatFindData* d) {
    d->attributes = 0;
    d->writeTimeLow = d->writeTimeHigh = 0;
    if (name[0] == '.') d->attributes |= PLAT_ATTR_HIDDEN;
    char full[4096];
    if (snprintf(full, sizeof full, "%s/%s", folder, name) >= (int)sizeof full) return;
    struct stat st;
    if (stat(full, &st) != 0) return;
    if (S_ISDIR(st.st_mode)) d->attributes |= PLAT_ATTR_DIRECTORY;
    if (access(full, W_OK) != 0 || platRefused(full, PLAT_REFUSE_UPDATE)) d->attributes |= PLAT_ATTR_READONLY;
    // Seconds since 1970 to 100 ns units since 1601.
    uint64_t t =
        ((uint64_t)st.st_mtim.tv_sec + 11644473600ull) * 10000000ull + (uint64_t)st.st_mtim.tv_nsec / 100;
    d->writeTimeLow = (uint32_t)t;
    d->writeTimeHigh = (uint32_t)(t >> 32);
}

int32_t platFindFirst(const char16_t* pattern, PlatFindData* out) {
    if (!pattern || !pattern[0] || !out) return -1;
    int32_t h = 0;
    while (h < PLAT_MAX_SEARCHES && g_searches[h].open) h++;
    if (h == PLAT_MAX_SEARCHES) return -1;

    // Split the pattern at its last slash into folder and name pattern.
    char16_t folder16[PLAT_PATH_MAX];
    const char16_t* namePattern = pattern;
    int32_t len = wstrLen(pattern);
    if (len >= PLAT_PATH_MAX) return -1;
    folder16[0] = 0;
    for (int32_t i = len - 1; i >= 0; i--) {
        if (pattern[i] == u'/' || pattern[i] == u'\\') {
            for (int32_t k = 0; k < i; k++) folder16[k] = pattern[k] == u'\\' ? u'/' : pattern[k];
            folder16[i] = 0;
            if (i == 0) wstrCopy(folder16, u"/");
            namePattern = pattern + i + 1;
            break;
        }
    }
    char folder[PLAT_PATH_MAX * 3 + 1];
    if (!folder16[0])
        strcpy(folder, ".");
    else if (!platToUtf8(folder16, folder, sizeof folder))
        return -1;

    PlatSearch* s = &g_searches[h];
    s->items = nullptr;
    s->count = s->next = 0;
    int32_t capacity = 0;
    char prefix[PLAT_PATH_MAX * 3 + 2];
    snprintf(prefix, sizeof prefix, "%s/", strcmp(folder, "/") ? folder : "");
    if (memInFolder(prefix) || !strcmp(prefix, g_mem.folder)) {
        // The memory folder lists its own files; the disk folder under it is not looked at.
        const size_t n = strlen(prefix);
        for (const MemFile& f : g_mem.files) {
            if (!f.exists || strncmp(f.path, prefix, n) || strchr(f.path + n, '/')) continue;
            PlatFindData* d = addMatch(s, &capacity, f.path + n, namePattern);
            if (d) d->attributes = d->writeTimeLow = d->writeTimeHigh = 0;
        }
    } else {
        DIR* dir = opendir(folder);
        if (!dir) return -1;
        while (struct dirent* e = readdir(dir)) {
            if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
            PlatFindData* d = addMatch(s, &capacity, e->d_name, namePattern);
            if (d) fillFindData(folder, e->d_name, d);
        }
        closedir(dir);
    }
    if (s->count == 0) {
        memFree(s->items);
        s->items = nullptr;
        return -1;
    }
    qsort(s->items, (size_t)s->count, sizeof(PlatFindData), compareNames);
    s->open = 1;
    *out = s->items[s->next++];
    return h;
}

int platFindNext(int32_t handle, PlatFindData* out) {
    if (handle < 0 || handle >= PLAT_MAX_SEARCHES || !g_searches[handle].open || !out) return 0;
    PlatSearch* s = &g_searches[handle];
    if (s->next >= s->count) return 0;
    *out = s->items[s->next++];
    return 1;
}

int platFindClose(int32_t handle) {
    if (handle < 0 || handle >= PLAT_MAX_SEARCHES || !g_searches[handle].open) return 0;
    PlatSearch* s = &g_searches[handle];
    memFree(s->items);
    s->items = nullptr;
    s->open = 0;
    return 1;
}

// The engine's containers: growable array with a file form, record pool, slot table, named resource cache.
//
// [SECTION] Array             growth, fitting, append, removal
// [SECTION] Sorted arrays     binary search, sorted insertion, the two sorts
// [SECTION] Array file form   arrSave / arrLoad
// [SECTION] Pool              chunked fixed-size records
// [SECTION] Slot table        indices reused through a free list
// [SECTION] Resource cache    records sorted by name, loaded on demand, released by level
//
// Sizes handed to memAlloc are int32; every product of a count and an element size is formed in 64 bits and
// checked before it reaches the allocator, so no table can wrap into a short buffer. This module's source
// reports print "BraskLib/src/BraskLib" with the fixed line numbers older logs used, so lines stay
// comparable.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "brask/containers.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "brask/text.h"
#include "brask/vfs.h"

namespace {

const char kSourcePath[] = "BraskLib/src/BraskLib";
enum { kLineEmptyResource = 1100 };

inline unsigned char* elementAt(const Array* a, int32_t i) {
    return (unsigned char*)a->data + (size_t)i * (size_t)a->elementSize;
}

// Storage for n elements; n <= 0 gives none. False when the size does not fit or the allocation fails.
bool allocStorage(int32_t elementSize, int32_t n, void** out) {
    *out = nullptr;
    if (n <= 0) return true;
    int64_t bytes = (int64_t)n * elementSize;
    if (bytes > INT32_MAX) return false;
    *out = memAlloc((int32_t)bytes);
    return *out != nullptr;
}

// Replaces the storage by one of newCapacity elements holding the first count elements.
bool resize(Array* a, int32_t newCapacity) {
    void* data;
    if (!allocStorage(a->elementSize, newCapacity, &data)) return false;
    if (a->count > 0) memCopy(data, a->data, a->count * a->elementSize);
    memFree(a->data);
    a->data = data;
    a->capacity = newCapacity > 0 ? newCapacity : 0;
    return true;
}

// Byte offset of p inside the array's storage, or -1. Growing frees the storage, so a caller's pointer into
// it must be re-derived from the offset afterwards.
int64_t offsetInside(const Array* a, const void* p) {
    if (!a->data || !p) return -1;
    uintptr_t start = (uintptr_t)a->data, at = (uintptr_t)p;
    uintptr_t end = start + (uintptr_t)a->capacity * (uintptr_t)a->elementSize;
    return at >= start && at < end ? (int64_t)(at - start) : -1;
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Array
//-----------------------------------------------------------------------------

Array* arrInit(Array* a, int32_t elementSize, int32_t capacity) {
    if (elementSize <= 0) return nullptr;
    void* data;
    if (!allocStorage(elementSize, capacity, &data)) return nullptr;
    if (!a) {
        a = (Array*)memAlloc((int32_t)sizeof(Array));
        if (!a) {
            memFree(data);
            return nullptr;
        }
    }
    a->count = 0;
    a->capacity = capacity > 0 ? capacity : 0;
    a->elementSize = elementSize;
    a->data = data;
    return a;
}

void arrFree(Array* a) {
    if (!a) return;
    memFree(a->data);
    a->data = nullptr;
    a->count = a->capacity = 0;
}

Array* arrCopy(Array* dst, const Array* src) {
    if (!src) return nullptr;
    if (dst == src) return dst;
    if (src->elementSize <= 0 || src->count < 0) return nullptr;
    // The new storage is taken before the old is freed, so a failure leaves the destination whole.
    void* data;
    if (!allocStorage(src->elementSize, src->count, &data)) return nullptr;
    if (!dst) {
        dst = (Array*)memAlloc((int32_t)sizeof(Array));
        if (!dst) {
            memFree(data);
            return nullptr;
        }
    } else {
        memFree(dst->data);
    }
    if (src->count > 0) memCopy(data, src->data, src->count * src->elementSize);
    dst->count = dst->capacity = src->count;
    dst->elementSize = src->elementSize;
    dst->data = data;
    return dst;
}

int arrReserve(Array* a, int32_t n) {
    if (!a || a->elementSize <= 0) return 0;
    if (a->capacity >= n) return 1;
    int64_t grown = 2 * (int64_t)a->capacity;
    int64_t newCapacity = grown > n ? grown : n;
    // Doubling may not fit the allocator's range where n itself still does.
    if (newCapacity * a->elementSize > INT32_MAX) newCapacity = n;
    return resize(a, (int32_t)newCapacity) ? 1 : 0;
}

int arrSetCount(Array* a, int32_t n) {
    if (!a || n < 0) return 0;
    if (n > a->count && !arrReserve(a, n)) return 0;
    a->count = n;
    return 1;
}

int arrFit(Array* a, int32_t percent) {
    if (!a || a->elementSize <= 0) return 0;
    if (percent <= 0) percent = 5;
    int64_t target = (int64_t)a->count * (100 + (int64_t)percent) / 100;
    if (a->capacity <= target) return 1;
    // Fitting an empty array releases its storage rather than asking the allocator for 0 bytes.
    return resize(a, (int32_t)target) ? 1 : 0;
}

int32_t arrAppend(Array* a, const void* element) {
    if (!a || a->elementSize <= 0) return -1;
    if (a->count >= a->capacity) {
        int64_t inside = offsetInside(a, element);
        if (!arrReserve(a, a->count + 1)) return -1;
        if (inside >= 0) element = (unsigned char*)a->data + inside;
    }
    if (element) memMove(elementAt(a, a->count), element, a->elementSize);
    return a->count++;
}

void arrPop(Array* a) {
    if (a && a->count > 0) a->count--;
}

void arrRemove(Array* a, int32_t index) {
    if (!a || index < 0 || index >= a->count) return;
    memMove(elementAt(a, index), elementAt(a, index + 1), (a->count - index - 1) * a->elementSize);
    a->count--;
}

int32_t arrIndexOf(const Array* a, const void* element) {
    if (!a || !element || !a->data || a->elementSize <= 0) return -1;
    intptr_t diff = (intptr_t)((uintptr_t)element - (uintptr_t)a->data);
    if (diff < 0 || diff % a->elementSize) return -1;
    intptr_t index = diff / a->elementSize;
    return index < a->count ? (int32_t)index : -1;
}

int32_t arrFindBytes(const Array* a, const void* key) {
    if (!a || !key || a->elementSize <= 0) return -1;
    for (int32_t i = a->count - 1; i >= 0; i--)
        if (memcmp(elementAt(a, i), key, (size_t)a->elementSize) == 0) return i;
    return -1;
}

//-----------------------------------------------------------------------------
// [SECTION] Sorted arrays
//-----------------------------------------------------------------------------

namespace {

// Binary search with a `lo = mid` step: on an equal element *found is set and its index returned (an
// insertion there goes before it); otherwise the index where the key belongs.
int32_t binarySearch(const Array* a, const void* key, ArrCompare compare, bool* found) {
    *found = false;
    int32_t lo = 0, hi = a->count;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        int c = compare(elementAt(a, mid), key);
        if (c == 0) {
            *found = true;
            return mid;
        }
        if (c < 0) {
            if (lo == mid) return mid + 1;  // without this, lo = mid would never move
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

void insertionSort(unsigned char* base, int32_t count, int32_t size, ArrCompare compare, void* temp) {
    for (int32_t i = 1; i < count; i++) {
        unsigned char* item = base + (size_t)i * size;
        int32_t j = i - 1;
        while (j >= 0 && compare(base + (size_t)j * size, item) > 0) j--;
        int32_t e = j + 1;
        if (e >= i) continue;
        memCopy(temp, item, size);
        memMove(base + (size_t)(e + 1) * size, base + (size_t)e * size, (i - e) * size);
        memCopy(base + (size_t)e * size, temp, size);
    }
}

}  // namespace

int32_t arrInsertSorted(Array* a, const void* element, ArrCompare compare) {
    if (!a || !element || !compare || a->elementSize <= 0) return -1;
    // An element taken from the array itself would move with the storage and with the shift below; it is
    // parked in a spare slot past the shifted range first.
    int64_t inside = offsetInside(a, element);
    int32_t need = a->count + (inside >= 0 ? 2 : 1);
    if (a->capacity < need) {
        if (!arrReserve(a, need)) return -1;
        if (inside >= 0) element = (unsigned char*)a->data + inside;
    }
    int32_t size = a->elementSize;
    if (inside >= 0) {
        memMove(elementAt(a, a->count + 1), element, size);
        element = elementAt(a, a->count + 1);
    }
    bool found;
    int32_t index = binarySearch(a, element, compare, &found);
    memMove(elementAt(a, index + 1), elementAt(a, index), (a->count - index) * size);
    memCopy(elementAt(a, index), element, size);
    a->count++;
    return index;
}

void* arrFind(const Array* a, const void* key, ArrCompare compare) {
    if (!a || !key || !compare || a->count <= 0 || a->elementSize <= 0) return nullptr;
    bool found;
    int32_t index = binarySearch(a, key, compare, &found);
    return found ? elementAt(a, index) : nullptr;
}

void arrSort(Array* a, ArrCompare compare) {
    if (!a || !compare || a->count < 2 || a->elementSize <= 0) return;
    qsort(a->data, (size_t)a->count, (size_t)a->elementSize, compare);
}

void arrSortStable(Array* a, ArrCompare compare) {
    if (!a || !compare || a->count < 2 || a->elementSize <= 0) return;
    // A spare slot past the elements serves as the temporary; only a full array needs an allocation.
    bool spare = a->count < a->capacity;
    void* temp = spare ? elementAt(a, a->capacity - 1) : memAlloc(a->elementSize);
    if (!temp) return;
    insertionSort((unsigned char*)a->data, a->count, a->elementSize, compare, temp);
    if (!spare) memFree(temp);
}

void tblSortStable(void* base, int32_t count, int32_t elementSize, ArrCompare compare) {
    if (!base || !compare || count < 2 || elementSize <= 0) return;
    void* temp = memAlloc(elementSize);
    if (!temp) return;
    insertionSort((unsigned char*)base, count, elementSize, compare, temp);
    memFree(temp);
}

//-----------------------------------------------------------------------------
// [SECTION] Array file form
//-----------------------------------------------------------------------------

namespace {

bool writeLE32(VfsFile* f, int32_t v) {
    uint32_t u = (uint32_t)v;
    unsigned char b[4] = {(unsigned char)u, (unsigned char)(u >> 8), (unsigned char)(u >> 16),
                          (unsigned char)(u >> 24)};
    return vfsWrite(f, b, 4) == 4;
}

bool readLE32(VfsFile* f, int32_t* v) {
    unsigned char b[4];
    if (vfsRead(f, b, 4) != 4) return false;
    *v = (int32_t)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24);
    return true;
}

}  // namespace

int arrSave(const Array* a, VfsFile* f) {
    if (!a || !f || a->count < 0 || a->elementSize <= 0) return 0;
    if (!writeLE32(f, a->count) || !writeLE32(f, a->elementSize)) return 0;
    int32_t bytes = a->count * a->elementSize;  // fits: the storage exists
    return bytes == 0 || vfsWrite(f, a->data, bytes) == bytes ? 1 : 0;
}

Array* arrLoad(Array* a, VfsFile* f) {
    if (!f) return nullptr;
    int32_t count, elementSize;
    if (!readLE32(f, &count) || !readLE32(f, &elementSize)) return nullptr;
    // The header is outside data: check it against what the file can hold before allocating anything.
    if (count < 0 || elementSize <= 0) return nullptr;
    int64_t bytes = (int64_t)count * elementSize;
    int32_t size = vfsSize(f), position = vfsTell(f);
    if (bytes > INT32_MAX || size < 0 || position < 0 || bytes > (int64_t)size - position) return nullptr;

    void* data;
    if (!allocStorage(elementSize, count, &data)) return nullptr;
    if (bytes > 0 && vfsRead(f, data, (int32_t)bytes) != bytes) {
        memFree(data);
        return nullptr;
    }
    if (!a) {
        a = (Array*)memAlloc((int32_t)sizeof(Array));
        if (!a) {
            memFree(data);
            return nullptr;
        }
    }
    a->count = a->capacity = count;
    a->elementSize = elementSize;
    a->data = data;
    return a;
}

//-----------------------------------------------------------------------------
// [SECTION] Pool
//-----------------------------------------------------------------------------
// Links are pointer-sized, and the record stride is rounded up to a multiple of a pointer so that every
// record (and every link stored in a free record) stays aligned in the chunk.

namespace {

const int32_t kLinkSize = (int32_t)sizeof(void*);

int64_t poolStride(const Pool* p) {
    int64_t size = p->recordSize > kLinkSize ? p->recordSize : kLinkSize;
    return (size + kLinkSize - 1) / kLinkSize * kLinkSize;
}

int64_t poolChunkBytes(const Pool* p) {
    return kLinkSize + poolStride(p) * p->recordsPerChunk;
}

void* readLink(const void* at) {
    void* next;
    memcpy(&next, at, sizeof next);
    return next;
}

void writeLink(void* at, void* next) {
    memcpy(at, &next, sizeof next);
}

}  // namespace

Pool* poolInit(Pool* p, int32_t recordSize, int32_t recordsPerChunk) {
    if (recordSize <= 0 || recordsPerChunk <= 0) return nullptr;
    Pool sizes = {recordSize, recordsPerChunk, nullptr, nullptr};
    if (poolChunkBytes(&sizes) > INT32_MAX) return nullptr;
    if (!p) {
        p = (Pool*)memAlloc((int32_t)sizeof(Pool));
        if (!p) return nullptr;
    }
    *p = sizes;
    return p;
}

void* poolAlloc(Pool* p) {
    if (!p || p->recordSize <= 0 || p->recordsPerChunk <= 0) return nullptr;
    if (!p->free) {
        int64_t bytes = poolChunkBytes(p);
        if (bytes > INT32_MAX) return nullptr;
        unsigned char* chunk = (unsigned char*)memAlloc((int32_t)bytes);
        if (!chunk) return nullptr;
        writeLink(chunk, p->chunks);
        p->chunks = chunk;
        int64_t stride = poolStride(p);
        unsigned char* record = chunk + kLinkSize;
        for (int32_t i = 0; i < p->recordsPerChunk; i++, record += stride)
            writeLink(record, i + 1 < p->recordsPerChunk ? record + stride : nullptr);
        p->free = chunk + kLinkSize;
    }
    void* record = p->free;
    p->free = readLink(record);
    return record;
}

void* poolAllocCopy(Pool* p, const void* source) {
    void* record = poolAlloc(p);
    if (record && source) memCopy(record, source, p->recordSize);
    return record;
}

void poolFree(Pool* p, void* record) {
    if (!p || !record) return;
    writeLink(record, p->free);
    p->free = record;
}

int32_t poolBytesUsed(const Pool* p) {
    if (!p) return 0;
    int64_t total = 0;
    for (void* chunk = p->chunks; chunk; chunk = readLink(chunk))
        total += (int64_t)p->recordSize * p->recordsPerChunk + kLinkSize;
    return total > INT32_MAX ? INT32_MAX : (int32_t)total;
}

int poolDestroy(Pool* p) {
    if (!p || !p->chunks) return 0;
    for (void* chunk = p->chunks; chunk;) {
        void* next = readLink(chunk);
        memFree(chunk);
        chunk = next;
    }
    memset(p, 0, sizeof *p);
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Slot table
//-----------------------------------------------------------------------------

namespace {

struct Slot {
    int32_t link;  // SLOT_USED, or the next free index (SLOT_NONE ends the list)
    int32_t value;
};
static_assert(sizeof(Slot) == 8, "slots are two 32-bit words");

Slot* slotAt(const SlotTable* t, int32_t index) {
    if (!t || index < 0 || index >= t->slots.count || t->slots.elementSize != (int32_t)sizeof(Slot))
        return nullptr;
    return (Slot*)elementAt(&t->slots, index);
}

}  // namespace

SlotTable* slotInit(SlotTable* t, int32_t capacity) {
    if (!t || !arrInit(&t->slots, (int32_t)sizeof(Slot), capacity)) return nullptr;
    t->freeHead = SLOT_NONE;
    return t;
}

int32_t slotAdd(SlotTable* t, int32_t value) {
    if (!t) return -1;
    int32_t index;
    Slot* slot = slotAt(t, t->freeHead);
    if (slot) {
        index = t->freeHead;
        t->freeHead = slot->link;
    } else {
        if (t->slots.elementSize != (int32_t)sizeof(Slot)) return -1;
        index = arrAppend(&t->slots, nullptr);
        if (index < 0) return -1;
        slot = slotAt(t, index);
    }
    slot->link = SLOT_USED;
    slot->value = value;
    return index;
}

int32_t slotGet(const SlotTable* t, int32_t index) {
    const Slot* slot = slotAt(t, index);
    return slot && slot->link == SLOT_USED ? slot->value : 0;
}

void slotRemove(SlotTable* t, int32_t index) {
    Slot* slot = slotAt(t, index);
    // Linking a free slot a second time would loop the free list and hand one index to two owners.
    if (!slot || slot->link != SLOT_USED) return;
    slot->link = t->freeHead;
    t->freeHead = index;
}

void slotFree(SlotTable* t) {
    if (!t) return;
    arrFree(&t->slots);
    t->freeHead = SLOT_NONE;
}

//-----------------------------------------------------------------------------
// [SECTION] Resource cache
//-----------------------------------------------------------------------------

namespace {

int compareRecordToName(const void* element, const void* key) {
    return wstrICmp(((const ResRecord*)element)->name, (const char16_t*)key);
}

int compareRecords(const ResRecord* a, const ResRecord* b) {
    return wstrICmp(a->name, b->name);
}

// Gives a buffer back where the default loader took it: the pool in userData, else general memory.
void giveBack(ResRecord* r, void* buffer) {
    if (r->userData)
        poolFree((Pool*)r->userData, buffer);
    else
        memFree(buffer);
}

void* defaultLoad(ResRecord* r) {
    VfsFile* f = vfsOpen(r->name);
    if (!f) return nullptr;
    Pool* pool = (Pool*)r->userData;
    void* buffer;
    if (pool && pool->recordSize == r->size) {
        buffer = poolAlloc(pool);
    } else {
        r->userData = nullptr;
        buffer = memAlloc(r->size);
    }
    if (buffer && vfsRead(f, buffer, r->size) < r->size) {
        giveBack(r, buffer);
        buffer = nullptr;
    }
    vfsClose(f);
    r->data = buffer;
    return buffer;
}

void defaultRelease(ResRecord* r) {
    if (r->data) giveBack(r, r->data);
    r->name = nullptr;
    r->size = 0;
    r->data = nullptr;
    r->userData = nullptr;
    r->cache = nullptr;
}

ResRecord* recordAt(const ResCache* c, int32_t i) {
    return (ResRecord*)elementAt(&c->records, i);
}

}  // namespace

ResCache* resCacheInit(ResCache* c, int32_t capacity, void* userData, ResLoadFn load, ResReleaseFn release) {
    Array records;
    if (!arrInit(&records, (int32_t)sizeof(ResRecord), capacity)) return nullptr;
    if (!c) {
        c = (ResCache*)memAlloc((int32_t)sizeof(ResCache));
        if (!c) {
            arrFree(&records);
            return nullptr;
        }
    }
    c->records = records;
    c->userData = userData;
    c->load = load ? load : defaultLoad;
    c->release = release ? release : defaultRelease;
    c->level = 0;
    c->owner = 0;
    return c;
}

ResRecord* resCacheFind(ResCache* c, const char16_t* name) {
    if (!c || !name || !*name || c->records.elementSize != (int32_t)sizeof(ResRecord)) return nullptr;
    return (ResRecord*)arrFind(&c->records, name, compareRecordToName);
}

void* resCacheGet(ResCache* c, const char16_t* name) {
    ResRecord* r = resCacheFind(c, name);
    return r ? r->data : resCacheLoad(c, name);
}

void* resCacheLoad(ResCache* c, const char16_t* name) {
    if (!c || !name || !*name || !c->load || c->records.elementSize != (int32_t)sizeof(ResRecord))
        return nullptr;
    VfsFile* f = vfsOpen(name);
    if (!f) return nullptr;
    int32_t size = vfsSize(f);
    vfsClose(f);
    if (size <= 0) {
        logSourceLine(kSourcePath, kLineEmptyResource, nullptr, 0);
        return nullptr;
    }
    ResRecord r = {name, size, nullptr, c->userData, c, 0, c->level};
    if (!c->load(&r)) return nullptr;
    // A resource the table cannot hold is released rather than handed out: nobody would own it.
    if (!arrReserve(&c->records, c->records.count + 1)) {
        if (c->release) c->release(&r);
        return nullptr;
    }
    // One pass of the stable insertion sort: the new record goes after every name that sorts with or
    // before it, so the table stays sorted without a temporary.
    int32_t e = c->records.count;
    while (e > 0 && compareRecords(recordAt(c, e - 1), &r) > 0) e--;
    memMove(recordAt(c, e + 1), recordAt(c, e), (c->records.count - e) * (int32_t)sizeof(ResRecord));
    *recordAt(c, e) = r;
    c->records.count++;
    return r.data;
}

int32_t resCachePushLevel(ResCache* c) {
    return c ? ++c->level : 0;
}

int resCachePopLevel(ResCache* c, int32_t level) {
    if (!c) return 0;
    if (level <= 0) {
        level = c->level;
        if (level < 1) return 0;
    }
    if (level > c->level) return 0;
    for (int32_t i = c->records.count - 1; i >= 0; i--) {
        ResRecord* r = recordAt(c, i);
        if (r->level < level) continue;
        if (c->release) c->release(r);
        arrRemove(&c->records, i);
    }
    c->level = level - 1;
    return 1;
}

void resCacheDestroy(ResCache* c, int releaseAll) {
    if (!c) return;
    if (releaseAll && c->release)
        for (int32_t i = 0; i < c->records.count; i++) c->release(recordAt(c, i));
    arrFree(&c->records);
    memset(c, 0, sizeof *c);
}

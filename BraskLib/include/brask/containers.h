// Containers: growable array with a file form, record pool, slot table with index reuse, named resource
// cache.
//
// Every structure treats its contents as raw bytes: elements are copied with memCopy/memMove, never
// constructed or destroyed, so only plain records belong in them. All memory comes from memAlloc.
#pragma once
#include <cstdint>

struct VfsFile;

// compare(element, key): negative when the element sorts before the key, 0 when equal, positive after. The
// sorts pass two elements.
typedef int (*ArrCompare)(const void* element, const void* key);

// Element i lies at data + i * elementSize. The storage is owned by the array; data is null at capacity 0.
struct Array {
    int32_t count;
    int32_t capacity;
    int32_t elementSize;
    void* data;
};

// Null array: one is allocated (the caller frees it with memFree after arrFree). Failure: null, and a given
// array is left as it was.
Array* arrInit(Array* a, int32_t elementSize, int32_t capacity);
void arrFree(Array* a);                        // storage freed, count = capacity = 0, elementSize kept
Array* arrCopy(Array* dst, const Array* src);  // dst null: allocated; dst == src: nothing
int arrReserve(Array* a, int32_t n);    // grows to max(2 x capacity, n); 0 on failure (array unchanged)
int arrSetCount(Array* a, int32_t n);   // new elements undefined
int arrFit(Array* a, int32_t percent);  // capacity trimmed to count + percent (<= 0: 5 percent)
int32_t arrAppend(Array* a, const void* element);  // element may lie inside the array; null: slot undefined
void arrPop(Array* a);
void arrRemove(Array* a, int32_t index);
int32_t arrInsertSorted(Array* a, const void* element, ArrCompare compare);  // before an equal element
void* arrFind(const Array* a, const void* key, ArrCompare compare);          // binary search; null if absent
void arrSort(Array* a, ArrCompare compare);                                  // not stable
void arrSortStable(Array* a, ArrCompare compare);  // unchanged when a needed temporary cannot be allocated
void tblSortStable(void* base, int32_t count, int32_t elementSize, ArrCompare compare);
int32_t arrIndexOf(const Array* a, const void* element);  // -1 unless it points at an element in use
int32_t arrFindBytes(const Array* a, const void* key);    // last element equal byte for byte, or -1
// File form, little-endian: count (4), elementSize (4), then the elements as they lie in memory.
int arrSave(const Array* a, VfsFile* f);  // 1 only when every write is complete
// Reads the file form into a fresh array (capacity = count); the record's old contents are not freed, as
// with arrInit. Rejects a negative count, an element size <= 0 and a size the file cannot hold before
// allocating; on any failure frees what it allocated and leaves a given array as it was.
Array* arrLoad(Array* a, VfsFile* f);

// Fixed-size records handed out from chunks that live until poolDestroy. A chunk is a link to the next chunk
// followed by recordsPerChunk records; a free record's first pointer-sized bytes link to the next free one.
struct Pool {
    int32_t recordSize;
    int32_t recordsPerChunk;
    void* chunks;  // owned: the chunk list
    void* free;    // borrowed: points into the chunks
};

Pool* poolInit(Pool* p, int32_t recordSize, int32_t recordsPerChunk);  // null pool: allocated
void* poolAlloc(Pool* p);                                              // contents undefined
void* poolAllocCopy(Pool* p, const void* source);
void poolFree(Pool* p, void* record);
int32_t poolBytesUsed(const Pool* p);  // 0 while no chunk exists
int poolDestroy(Pool* p);              // 0 when it had no chunk (nothing changed)

// Indices that stay valid while other entries come and go; removed indices are reused first.
enum { SLOT_NONE = -2, SLOT_USED = -1 };
struct SlotTable {
    int32_t freeHead;  // SLOT_NONE or the first free slot
    Array slots;       // 8-byte slots: SLOT_USED and the value, or the next free index
};

SlotTable* slotInit(SlotTable* t, int32_t capacity);  // null table: null (nothing would free it)
int32_t slotAdd(SlotTable* t, int32_t value);         // the index, or -1
int32_t slotGet(const SlotTable* t, int32_t index);   // 0 unless the slot is in use
void slotRemove(SlotTable* t, int32_t index);         // a slot not in use is left alone
void slotFree(SlotTable* t);

// A table of named resources sorted by name without regard to ASCII case, loaded on first request and
// released in groups by level.
struct ResCache;
struct ResRecord {
    const char16_t* name;  // borrowed: the caller's name, which must outlive the cache
    int32_t size;          // file size measured before loading
    void* data;            // set by the load callback
    void* userData;        // copied from the cache
    ResCache* cache;
    int32_t loaded;  // free for the load callback
    int32_t level;   // the cache's level when the record was loaded
};
// The load callback sets record->data and returns it; null means the load failed and nothing is cached.
typedef void* (*ResLoadFn)(ResRecord* record);
typedef void (*ResReleaseFn)(ResRecord* record);

struct ResCache {
    Array records;  // ResRecord, sorted by name
    void* userData;
    ResLoadFn load;
    ResReleaseFn release;
    int32_t level;
    int32_t owner;  // free for whoever created the cache (the image cache keeps its pixel format here)
};

// Null cache: allocated (freed by the caller with memFree after resCacheDestroy). Without callbacks, files
// are read whole into buffers: from the Pool given as userData when its recordSize equals the file size, else
// from memAlloc.
ResCache* resCacheInit(ResCache* c, int32_t capacity, void* userData, ResLoadFn load, ResReleaseFn release);
ResRecord* resCacheFind(ResCache* c, const char16_t* name);  // valid until the next load or pop
void* resCacheGet(ResCache* c, const char16_t* name);        // cached data, else resCacheLoad
void* resCacheLoad(ResCache* c, const char16_t* name);       // null when missing, empty or not loadable
int32_t resCachePushLevel(ResCache* c);                      // the new level
int resCachePopLevel(ResCache* c, int32_t level);            // releases everything at level and above
void resCacheDestroy(ResCache* c, int releaseAll);           // header zeroed afterwards

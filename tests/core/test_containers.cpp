// Containers: growth and fitting, binary search on tiny arrays, aliasing on append, the file form's checks,
// pool reuse, slot reuse, and the resource cache's names, levels and failure paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brask/containers.h"
#include "brask/memory.h"
#include "brask/vfs.h"
#include "support/test_support.h"

namespace {

int cmpInt(const void* e, const void* k) {
    int a = *(const int*)e, b = *(const int*)k;
    return a < b ? -1 : a > b;
}

struct Tagged {
    int key;
    char tag;
};
int cmpTagged(const void* e, const void* k) {
    return cmpInt(&((const Tagged*)e)->key, &((const Tagged*)k)->key);
}
std::string tags(const Array& a) {
    std::string s;
    for (int i = 0; i < a.count; i++) s += ((const Tagged*)a.data)[i].tag;
    return s;
}

std::vector<int> ints(const Array& a) {
    return std::vector<int>((int*)a.data, (int*)a.data + a.count);
}
Array intArray(std::vector<int> v, int32_t capacity) {
    Array a;
    arrInit(&a, sizeof(int), capacity);
    for (int x : v) arrAppend(&a, &x);
    return a;
}

}  // namespace

TEST(Array, GrowthDoublesOrJumpsToTheRequest) {
    Array* a = arrInit(nullptr, sizeof(int), 0);
    ASSERT_NE(nullptr, a);
    std::vector<int32_t> caps;
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(i, arrAppend(a, &i));
        caps.push_back(a->capacity);
    }
    EXPECT_EQ((std::vector<int32_t>{1, 2, 4, 4, 8}), caps);
    arrFree(a);
    memFree(a);
    Array b = intArray({}, 4), c = intArray({}, 6);
    EXPECT_EQ(1, arrReserve(&b, 10));
    EXPECT_EQ(10, b.capacity);
    EXPECT_EQ(1, arrReserve(&c, 10));
    EXPECT_EQ(12, c.capacity);
    arrFree(&b);
    arrFree(&c);
    EXPECT_EQ(nullptr, arrInit(&b, 0, 4));
    EXPECT_EQ(nullptr, arrInit(&b, 8, 0x10000000));  // 2 GiB does not fit the allocator's size
}

TEST(Array, FitTrimsToTheMarginAndFailsWithoutChange) {
    TestFolders dirs;  // failed allocations are logged
    Array a = intArray({}, 200);
    ASSERT_EQ(1, arrSetCount(&a, 100));
    for (int i = 0; i < 100; i++) ((int*)a.data)[i] = i;
    memFailAfter(1);
    EXPECT_EQ(0, arrFit(&a, 0));
    EXPECT_EQ(200, a.capacity);
    EXPECT_EQ(1, arrFit(&a, -3));
    EXPECT_EQ(105, a.capacity);
    EXPECT_EQ(99, ((int*)a.data)[99]);
    EXPECT_EQ(1, arrFit(&a, 50));  // capacity below the target: nothing changes
    EXPECT_EQ(105, a.capacity);
    ASSERT_EQ(1, arrSetCount(&a, 0));
    EXPECT_EQ(1, arrFit(&a, 0));  // nothing to keep: the storage goes
    EXPECT_EQ(nullptr, a.data);
    EXPECT_EQ(0, a.capacity);
}

TEST(Array, BinarySearchAndSortedInsertOnOneAndTwoElements) {
    Array one = intArray({5}, 1);
    for (int miss : {7, 3}) EXPECT_EQ(nullptr, arrFind(&one, &miss, cmpInt)) << miss;  // 7: must not loop
    int k = 5;
    EXPECT_EQ(one.data, arrFind(&one, &k, cmpInt));
    Array two = intArray({1, 3}, 2);
    for (int miss : {0, 2, 4}) EXPECT_EQ(nullptr, arrFind(&two, &miss, cmpInt)) << miss;
    k = 3;
    EXPECT_EQ((int*)two.data + 1, arrFind(&two, &k, cmpInt));
    for (int key : {4, 2, 0}) EXPECT_EQ(key / 2, arrInsertSorted(&two, &key, cmpInt)) << key;
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), ints(two));
    arrFree(&one);
    arrFree(&two);

    Array t;
    arrInit(&t, sizeof(Tagged), 0);
    Tagged in[] = {{5, 'a'}, {5, 'b'}, {5, 'c'}};
    for (auto& x : in) arrInsertSorted(&t, &x, cmpTagged);
    EXPECT_EQ("bca", tags(t));  // each new one goes before the equal element the search lands on
    EXPECT_EQ(-1, arrInsertSorted(&t, nullptr, cmpTagged));
    arrFree(&t);
}

TEST(Array, StableSortKeepsEqualElementsInOrderAndFullArraysNeedATemporary) {
    TestFolders dirs;  // failed allocations are logged
    Tagged in[] = {{3, 'a'}, {1, 'b'}, {3, 'c'}, {2, 'd'}, {1, 'e'}, {3, 'f'}};
    for (int32_t spare : {0, 1}) {
        Array a;
        arrInit(&a, sizeof(Tagged), 6 + spare);
        for (auto& x : in) arrAppend(&a, &x);
        if (!spare) {
            memFailAfter(1);  // the full array's temporary cannot be had: left as it was
            arrSortStable(&a, cmpTagged);
            EXPECT_EQ("abcdef", tags(a));
        }
        arrSortStable(&a, cmpTagged);
        EXPECT_EQ("bedacf", tags(a)) << "spare " << spare;
        arrFree(&a);
    }
    Tagged tbl[] = {{2, 'x'}, {1, 'y'}, {2, 'z'}, {1, 'w'}};
    tblSortStable(tbl, 4, sizeof(Tagged), cmpTagged);
    EXPECT_EQ("ywxz", std::string({tbl[0].tag, tbl[1].tag, tbl[2].tag, tbl[3].tag}));
}

TEST(Array, ElementsFromTheArrayItselfSurviveGrowthAndShifts) {
    Array a = intArray({7, 8}, 2);
    EXPECT_EQ(2, arrAppend(&a, (int*)a.data));  // growing frees the storage the element lies in
    EXPECT_EQ((std::vector<int>{7, 8, 7}), ints(a));
    arrFree(&a);

    Array s = intArray({1, 5, 9}, 3);
    EXPECT_EQ(1, arrInsertSorted(&s, (int*)s.data + 1, cmpInt));
    EXPECT_EQ((std::vector<int>{1, 5, 5, 9}), ints(s));
    ((int*)s.data)[3] = 3;
    s.count = 3;  // a spare element in the range the insertion shifts
    EXPECT_EQ(1, arrInsertSorted(&s, (int*)s.data + 3, cmpInt));
    EXPECT_EQ((std::vector<int>{1, 3, 5, 5}), ints(s));
    arrFree(&s);
}

TEST(Array, CopyRemoveAndLookups) {
    Array a = intArray({1, 2, 3, 2}, 8);
    void* before = a.data;
    EXPECT_EQ(&a, arrCopy(&a, &a));  // onto itself: nothing freed, nothing lost
    EXPECT_EQ(before, a.data);
    Array d = intArray({9}, 1);
    EXPECT_EQ(&d, arrCopy(&d, &a));  // the old storage is freed (the leak check would see it)
    EXPECT_EQ(ints(a), ints(d));
    EXPECT_EQ(4, d.capacity);

    int two = 2;
    EXPECT_EQ(3, arrFindBytes(&a, &two));
    EXPECT_EQ(2, arrIndexOf(&a, (int*)a.data + 2));
    EXPECT_EQ(-1, arrIndexOf(&a, (char*)a.data + 2));
    EXPECT_EQ(-1, arrIndexOf(&a, (int*)a.data + 4));
    arrRemove(&a, 1);
    arrRemove(&a, 3);
    EXPECT_EQ((std::vector<int>{1, 3, 2}), ints(a));
    arrFree(&a);
    arrFree(&d);
}

TEST(ArrayFile, RoundTripIsLittleEndianWithCapacityEqualToCount) {
    TestFolders dirs;
    Array a = intArray({0x01020304, -1, 7}, 8);
    VfsFile* f = vfsCreate(u"arr.bin");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(1, arrSave(&a, f));
    vfsClose(f);
    std::string bytes = readFile(dirs.prog + "/arr.bin");
    EXPECT_EQ(std::string("\3\0\0\0\4\0\0\0\4\3\2\1", 12), bytes.substr(0, 12));

    f = vfsOpen(u"arr.bin");
    Array* b = arrLoad(nullptr, f);
    vfsClose(f);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(3, b->capacity);
    EXPECT_EQ(ints(a), ints(*b));
    arrFree(b);
    memFree(b);
    arrFree(&a);
}

TEST(ArrayFile, BadHeadersAreRejectedBeforeAnyAllocation) {
    TestFolders dirs;
    auto le = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const std::string cases[] = {
        le(0xFFFFFFFF) + le(4) + std::string(8, 'x'),  // negative count
        le(1) + le(0) + std::string(8, 'x'),           // element size 0
        le(1) + le(0xFFFFFFF0) + std::string(8, 'x'),  // negative element size
        le(0x40000000) + le(16),                       // count x size overflows
        le(3) + le(4) + std::string(8, 'x'),           // more than the file holds
        le(3) + std::string(2, 0),                     // short header
    };
    for (const std::string& c : cases) {
        writeFile(dirs.prog + "/bad.bin", c);
        VfsFile* f = vfsOpen(u"bad.bin");
        ASSERT_NE(nullptr, f);
        Array given = {5, 6, 7, &given};
        uint32_t allocs = memGetStats()->totalAllocs;
        EXPECT_EQ(nullptr, arrLoad(&given, f));
        EXPECT_EQ(allocs, memGetStats()->totalAllocs);
        EXPECT_EQ(6, given.capacity);
        EXPECT_EQ(&given, given.data);
        vfsClose(f);
    }
    // The record's allocation fails after the storage's: both go back (the leak check sees it).
    writeFile(dirs.prog + "/ok.bin", le(2) + le(4) + std::string(8, 'x'));
    VfsFile* f = vfsOpen(u"ok.bin");
    memFailAfter(2);
    EXPECT_EQ(nullptr, arrLoad(nullptr, f));
    vfsClose(f);
}

TEST(Pool, FreedRecordsAreReusedAndChunksGrowOnDemand) {
    TestFolders dirs;  // failed allocations are logged
    Pool p;
    ASSERT_EQ(&p, poolInit(&p, 1, 3));  // records smaller than a link still hold one
    EXPECT_EQ(0, poolBytesUsed(&p));
    std::vector<void*> r;
    for (int i = 0; i < 4; i++) r.push_back(poolAlloc(&p));
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(0u, (uintptr_t)r[i] % sizeof(void*));
        for (int j = i + 1; j < 4; j++) EXPECT_NE(r[i], r[j]);
    }
    EXPECT_EQ(2 * (3 + (int32_t)sizeof(void*)), poolBytesUsed(&p));
    poolFree(&p, r[1]);
    EXPECT_EQ(r[1], poolAlloc(&p));
    poolAlloc(&p);
    poolAlloc(&p);  // the second chunk is used up
    memFailAfter(1);
    EXPECT_EQ(nullptr, poolAlloc(&p));  // a third chunk was needed and could not be had
    EXPECT_EQ(1, poolDestroy(&p));
    EXPECT_EQ(0, poolDestroy(&p));
    EXPECT_EQ(nullptr, poolInit(&p, 0, 2));
}

TEST(SlotTable, RemovedIndicesAreReusedOnce) {
    SlotTable t;
    ASSERT_EQ(&t, slotInit(&t, 0));
    for (int i = 0; i < 3; i++) EXPECT_EQ(i, slotAdd(&t, 10 + i));
    slotRemove(&t, 1);
    slotRemove(&t, 1);  // not in use any more: must not be linked twice
    EXPECT_EQ(0, slotGet(&t, 1));
    EXPECT_EQ(1, slotAdd(&t, 21));
    EXPECT_EQ(3, slotAdd(&t, 13));
    EXPECT_EQ(21, slotGet(&t, 1));
    EXPECT_EQ(0, slotGet(&t, 9));
    slotFree(&t);
}

namespace {

int g_released;
void* loadName(ResRecord* r) {
    return r->data = (void*)r->name;
}
void countRelease(ResRecord*) {
    g_released++;
}

}  // namespace

TEST(ResCache, NamesIgnoreCaseAndTheDefaultLoaderReadsWholeFiles) {
    TestFolders dirs;
    writeFile(dirs.prog + "/gamedata/B.dat", "bee");
    writeFile(dirs.prog + "/gamedata/a.dat", "ay!");
    writeFile(dirs.prog + "/gamedata/c.dat", "cc");
    writeFile(dirs.prog + "/gamedata/empty.dat", "");
    Pool pool;
    poolInit(&pool, 3, 4);
    ResCache* c = resCacheInit(nullptr, 1, &pool, nullptr, nullptr);
    ASSERT_NE(nullptr, c);

    char* b = (char*)resCacheGet(c, u"gamedata/B.dat");
    ASSERT_NE(nullptr, b);
    EXPECT_EQ("bee", std::string(b, 3));
    EXPECT_GT(poolBytesUsed(&pool), 0);  // 3 bytes: the pool's record size
    char* cc = (char*)resCacheGet(c, u"gamedata/c.dat");
    ASSERT_NE(nullptr, cc);
    EXPECT_EQ(2, memSize(cc));  // another size: general memory
    ASSERT_NE(nullptr, resCacheGet(c, u"gamedata/a.dat"));
    ASSERT_EQ(3, c->records.count);
    const ResRecord* r = (const ResRecord*)c->records.data;
    EXPECT_EQ(u"gamedata/a.dat", std::u16string(r[0].name));  // B after a: case is ignored
    EXPECT_EQ(u"gamedata/B.dat", std::u16string(r[1].name));

    writeFile(dirs.prog + "/gamedata/B.dat", "changed");
    EXPECT_EQ(b, resCacheGet(c, u"GAMEDATA/b.DAT"));  // served from the cache, no file opened
    EXPECT_EQ(nullptr, resCacheGet(c, u"gamedata/missing.dat"));
    EXPECT_EQ(nullptr, resCacheGet(c, u"gamedata/empty.dat"));
    EXPECT_EQ(3, c->records.count);  // neither is cached
    EXPECT_EQ("BraskLib/src/BraskLib(1100)\n", readFile(dirs.prog + "/Brask.log"));

    resCacheDestroy(c, 1);  // the leak check confirms every buffer went back
    memFree(c);
    poolDestroy(&pool);
}

TEST(ResCache, LevelsReleaseWhatWasLoadedSinceAPush) {
    TestFolders dirs;
    for (const char* n : {"x", "y", "z"}) writeFile(dirs.prog + "/" + n, n);
    ResCache c;
    ASSERT_EQ(&c, resCacheInit(&c, 0, nullptr, loadName, countRelease));
    g_released = 0;
    EXPECT_EQ(0, resCachePopLevel(&c, 0));  // nothing pushed yet
    resCacheGet(&c, u"x");
    EXPECT_EQ(1, resCachePushLevel(&c));
    resCacheGet(&c, u"z");
    EXPECT_EQ(2, resCachePushLevel(&c));
    resCacheGet(&c, u"y");
    EXPECT_EQ(0, resCachePopLevel(&c, 3));  // above the current level: nothing changes
    EXPECT_EQ(3, c.records.count);
    EXPECT_EQ(1, resCachePopLevel(&c, 1));
    EXPECT_EQ(2, g_released);
    ASSERT_EQ(1, c.records.count);
    EXPECT_EQ(u"x", std::u16string(((ResRecord*)c.records.data)[0].name));
    resCacheDestroy(&c, 1);
    EXPECT_EQ(3, g_released);
}

TEST(ResCache, AllocationFailuresCacheNothingAndLeakNothing) {
    TestFolders dirs;
    writeFile(dirs.prog + "/a", "aaaa");
    writeFile(dirs.prog + "/b", "bbbb");
    auto prepared = [] {
        ResCache* c = resCacheInit(nullptr, 1, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, resCacheGet(c, u"a"));  // the table is full now
        return c;
    };
    auto destroy = [](ResCache* c) {
        resCacheDestroy(c, 1);
        memFree(c);
    };
    ResCache* c = prepared();
    uint32_t before = memGetStats()->totalAllocs;
    ASSERT_NE(nullptr, resCacheGet(c, u"b"));
    int32_t path = (int32_t)(memGetStats()->totalAllocs - before);  // streams, buffer, the table's growth
    destroy(c);

    // Fail each allocation of the path in turn: a failed load caches nothing, and the leak check confirms
    // that the buffer read before a failed growth went back.
    int failures = 0;
    for (int32_t n = 1; n <= path; n++) {
        c = prepared();
        memFailAfter(n);
        void* data = resCacheGet(c, u"b");
        memFailAfter(0);
        EXPECT_EQ(data ? 2 : 1, c->records.count) << "allocation " << n;
        failures += !data;
        if (n == path) {
            EXPECT_EQ(nullptr, data);  // the growth, last on the path
        }
        destroy(c);
    }
    EXPECT_GE(failures, 2);
}

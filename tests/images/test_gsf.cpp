// ".gsf" round trips and hostile files, ".raw" dumps, loading by name, the image caches and preparation.
#include <cstring>

#include "brask/memory.h"
#include "brask/vfs.h"
#include "image_fixture.h"

namespace {

Surface* pattern(int w, int h, int format, uint32_t key = SF_NO_KEY) {
    Surface* s = sfCreate(w, h, format, 0, key, nullptr);
    uint32_t r = 12345;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            r = r * 1103515245u + 12345u;
            sfPutPixel(s, x, y, (x + y) % 5 == 0 ? key : (x / 6 % 2 ? 0x1234 : r >> 16));
        }
    return s;
}

void expectSame(const Surface* a, const Surface* b) {
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->format, b->format);
    EXPECT_EQ(a->rle, b->rle);
    EXPECT_EQ(a->rleWideRows, b->rleWideRows);
    EXPECT_EQ(a->width, b->width);
    EXPECT_EQ(a->height, b->height);
    EXPECT_EQ(a->xStep, b->xStep);
    EXPECT_EQ(a->rowPitch, b->rowPitch);
    EXPECT_EQ(a->anchorX, b->anchorX);
    EXPECT_EQ(a->anchorY, b->anchorY);
    EXPECT_EQ(a->colourKey, b->colourKey);
    EXPECT_EQ(a->animMode, b->animMode);
    EXPECT_EQ(a->animLoop, b->animLoop);
    EXPECT_EQ(a->frameTime, b->frameTime);
    ASSERT_EQ(a->frames.count, b->frames.count);
    if (a->frames.count > 0) {
        EXPECT_EQ(0, memcmp(a->frames.data, b->frames.data, size_t(a->frames.count) * sizeof(Rect)));
    }
    ASSERT_EQ(a->dataSize, b->dataSize);
    EXPECT_EQ(0, memcmp(a->pixels, b->pixels, a->dataSize));
}

}  // namespace

TEST_F(Img, GsfRoundTripsPlainAndEncodedNarrowAndWide) {
    Surface* plain = pattern(13, 7, pf565, 0x1234);
    sfSplitFrames(plain, 3, 2);
    plain->anchorX = 128;
    plain->anchorY = -3;
    plain->animMode = 3;
    plain->animLoop = 0;
    plain->frameTime = 70000;
    Surface* narrow = sfClone(plain);
    ASSERT_EQ(1, sfEncodeRLE(narrow));
    ASSERT_EQ(0, narrow->rleWideRows);
    Surface* wide = pattern(300, 300, pf565);
    ASSERT_EQ(1, sfEncodeRLE(wide));
    ASSERT_EQ(1, wide->rleWideRows);
    Surface* mono = pattern(9, 3, pfMono2);
    for (Surface* s : {plain, narrow, wide, mono}) {
        ASSERT_EQ(1, sfSaveGSF(s, u"s.gsf"));
        Surface* back = sfLoadGSF(u"s.gsf", 0, nullptr);
        expectSame(s, back);
        sfFree(back);
    }
    // In place: only the pixels arrive, into the caller's buffer.
    ASSERT_EQ(1, sfSaveGSF(plain, u"s.gsf"));
    Surface* into = sfCreate(13, 7, pf565, 0, SF_NO_KEY, nullptr);
    uint8_t* buffer = into->pixels;
    EXPECT_EQ(into, sfLoadGSF(u"s.gsf", 0, into));
    EXPECT_EQ(buffer, into->pixels);
    EXPECT_EQ(0, memcmp(plain->pixels, into->pixels, plain->dataSize));
    EXPECT_EQ(nullptr, sfLoadGSF(u"s.gsf", pf888, nullptr));  // no conversion on the way in
    EXPECT_EQ(0, sfSaveGSF(plain, u"no/such/folder/s.gsf"));
    for (Surface* s : {plain, narrow, wide, mono, into}) sfFree(s);
}

TEST_F(Img, GsfFilesThatDisagreeWithThemselvesAreRefused) {
    Surface* s = pattern(6, 3, pf565, 0x1234);
    ASSERT_EQ(1, sfEncodeRLE(s));
    ASSERT_EQ(1, sfSaveGSF(s, u"e.gsf"));
    sfFree(s);
    const std::string good = readFile(tf.prog + "/e.gsf");
    const size_t table = 32 + 8;  // header, then an empty frame list
    ASSERT_GT(good.size(), table + 6);
    auto patched = [&](size_t at, const std::string& bytes) {
        std::string f = good;
        f.replace(at, bytes.size(), bytes);
        return f;
    };
    const std::string bad[] = {
        patched(3, "\2"),                                         // version 2
        patched(0, "GSX"),                                        // magic
        patched(8, "\x09"),                                       // format whose steps differ (MONO4)
        patched(16, le16(14)),                                    // row pitch
        patched(4, le32(uint32_t(good.size()))),                  // more data than the file holds
        patched(36, le32(12)),                                    // frame element size
        patched(32, le32(1000000)),                               // frame count beyond the file
        patched(table, le16(0xFFFF)),                             // row end past the packets
        patched(table + 6, std::string{char(0xBF), char(0xFF)}),  // a packet wider than the surface
        patched(9, "\2"),                                         // wide rows without encoding
    };
    for (size_t i = 0; i < sizeof(bad) / sizeof(bad[0]); i++) {
        put("x.gsf", bad[i]);
        EXPECT_EQ(nullptr, sfLoadGSF(u"x.gsf", 0, nullptr)) << "case " << i;
    }
    for (size_t n = 0; n < good.size(); n++) {
        put("x.gsf", good.substr(0, n));
        ASSERT_EQ(nullptr, sfLoadGSF(u"x.gsf", 0, nullptr)) << "cut at " << n;
    }
    put("x.gsf", good);
    Surface* ok = sfLoadGSF(u"x.gsf", 0, nullptr);
    EXPECT_TRUE(ok);
    sfFree(ok);
    EXPECT_EQ(0, vfsOpenCount());
}

TEST_F(Img, RawDumpsTakeTheirShapeFromTheirSize) {
    put("p.raw", std::string(65536, '\7'));
    std::string px;
    for (int i = 0; i < 128 * 128; i++) px += le16(uint32_t(i));
    put("c.raw", px);
    put("odd.raw", std::string(1000, 'x'));
    put("empty.raw", "");
    Surface* p = sfLoadRAW(u"p.raw", 0, nullptr);
    ASSERT_TRUE(p);
    EXPECT_EQ(pfPalette, p->format);
    EXPECT_EQ(256, p->width);
    EXPECT_EQ(7u, sfGetPixel(p, 255, 255));
    Surface* c = sfLoadRAW(u"c.raw", pf565, nullptr);
    ASSERT_TRUE(c);
    EXPECT_EQ(128, c->height);
    EXPECT_EQ(uint32_t(128 * 3 + 5), sfGetPixel(c, 5, 3));
    EXPECT_EQ(nullptr, sfLoadRAW(u"c.raw", pf888, nullptr));
    EXPECT_EQ(nullptr, sfLoadRAW(u"odd.raw", 0, nullptr));
    EXPECT_EQ(nullptr, sfLoadRAW(u"empty.raw", 0, nullptr));
    Surface* in = sfCreate(128, 512, pfPalette, 0, SF_NO_KEY, nullptr);  // same byte count, any shape
    EXPECT_EQ(in, sfLoadRAW(u"p.raw", 0, in));
    EXPECT_EQ(7u, sfGetPixel(in, 127, 511));
    for (Surface* s : {p, c, in}) sfFree(s);
}

TEST_F(Img, LoadPicksTheReaderByName) {
    put("a.raw", std::string(16, '\1'));
    put("b.tga", tgaHeader(2, 24, 1, 1) + bgr(0xFF0000));
    put("b.raw", std::string(4, '\1'));
    put("ab.tga", tgaHeader(2, 24, 1, 1) + bgr(0xFF0000));
    Surface* s = sfLoad(u"a", 0, nullptr);
    ASSERT_TRUE(s);
    EXPECT_EQ(4, s->width);  // 16 bytes: the raw reader
    sfFree(s);
    s = sfLoad(u"b", pf565, nullptr);  // .gsf missing, .tga before .raw
    ASSERT_TRUE(s);
    EXPECT_EQ(0xF800u, sfGetPixel(s, 0, 0));
    sfFree(s);
    s = sfLoad(u"ab", pf565, nullptr);  // shorter than an extension
    EXPECT_TRUE(s);
    sfFree(s);
    put("UP.TGA", tgaHeader(2, 24, 1, 1) + bgr(0xFF0000));
    s = sfLoad(u"UP.TGA", pf565, nullptr);
    EXPECT_TRUE(s);
    sfFree(s);
    put("b.png", "x");
    EXPECT_EQ(nullptr, sfLoad(u"b.png", 0, nullptr));
    const std::u16string longName(256, u'n');
    EXPECT_EQ(nullptr, sfLoad(longName.c_str(), 0, nullptr));
}

TEST_F(Img, CachesLoadOnceAndPrepareGsfFiles) {
    put("pic.tga", tgaHeader(2, 24, 4, 2) + std::string(8 * 3, '\0'));
    EXPECT_EQ(nullptr, sfGetImage(u"pic.tga"));  // the engine's cache is not up yet
    ASSERT_TRUE(sfInitImageCache(sfGetImageCache(), pf565));
    Surface* a = sfGetImage(u"pic.tga");
    ASSERT_TRUE(a);
    EXPECT_EQ(pf565, a->format);
    EXPECT_EQ(a, sfGetImage(u"pic.tga"));
    EXPECT_EQ(nullptr, sfGetImage(u"none.tga"));
    resCacheDestroy(sfGetImageCache(), 1);

    // Only the TGA exists: it is keyed, cut into frames, encoded and written as the .gsf.
    ResCache cache;
    ASSERT_TRUE(sfInitImageCache(&cache, pf565));
    Surface* p = sfPrepare(&cache, u"pic.gsf", 0, 1, 2, 1);
    ASSERT_TRUE(p);
    EXPECT_EQ(1, p->rle);
    EXPECT_EQ(2, p->frames.count);
    ResRecord* r = resCacheFind(&cache, u"pic.tga");  // the record's name outlived sfPrepare's buffer
    ASSERT_TRUE(r);
    EXPECT_EQ(p, r->data);
    Surface* saved = sfLoadGSF(u"pic.gsf", 0, nullptr);
    expectSame(p, saved);
    sfFree(saved);
    EXPECT_EQ(nullptr, sfPrepare(&cache, u"pic.tga", 0, 1, 2, 1));
    resCacheDestroy(&cache, 1);

    // Now the .gsf itself loads, and nothing left to change means nothing is written.
    ASSERT_TRUE(sfInitImageCache(&cache, pf565));
    vfsDelete(u"pic.tga");
    const std::string before = readFile(tf.prog + "/pic.gsf");
    p = sfPrepare(&cache, u"pic.gsf", 0, 1, 2, 1);
    ASSERT_TRUE(p);
    EXPECT_EQ(1, p->rle);
    EXPECT_EQ(before, readFile(tf.prog + "/pic.gsf"));
    resCacheDestroy(&cache, 1);
}

// Every reader of outside bytes with its n-th tracked allocation failing, for n = 1 until the call succeeds:
// each failure must give the reader's failure result, close its files and give back every byte it took, and
// the first success must hold what a load without failures holds.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "brask/font.h"
#include "brask/gfx.h"
#include "brask/image.h"
#include "brask/memory.h"
#include "brask/sound.h"
#include "brask/vfs.h"
#include "support/test_support.h"
#include "zlib.h"

namespace {

void put16(std::string& s, uint32_t v) {
    s += char(v & 0xFF), s += char(v >> 8 & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF), put16(s, v >> 16);
}

// A ZIP of stored members, written by hand so a test can ask for as many as it likes.
std::string storedZip(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out, central;
    for (const auto& [name, data] : members) {
        const uint32_t crc =
            uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
        const uint32_t offset = uint32_t(out.size());
        put32(out, 0x04034b50), put16(out, 10), put16(out, 0), put16(out, 0), put32(out, 0x00210000);
        put32(out, crc), put32(out, uint32_t(data.size())), put32(out, uint32_t(data.size()));
        put16(out, uint16_t(name.size())), put16(out, 0);
        out += name + data;
        put32(central, 0x02014b50), put16(central, 20), put16(central, 10), put16(central, 0);
        put16(central, 0), put32(central, 0x00210000), put32(central, crc);
        put32(central, uint32_t(data.size())), put32(central, uint32_t(data.size()));
        put16(central, uint16_t(name.size())), put32(central, 0), put32(central, 0), put32(central, 0);
        put32(central, offset);
        central += name;
    }
    const uint32_t at = uint32_t(out.size());
    out += central;
    put32(out, 0x06054b50), put32(out, 0), put16(out, uint16_t(members.size()));
    put16(out, uint16_t(members.size())), put32(out, uint32_t(central.size())), put32(out, at), put16(out, 0);
    return out;
}

std::string corpus(const std::string& name) {
    return readFile(std::string(KORVA_CORPUS) + "/" + name);
}

std::vector<uint8_t> pixelsOf(const Surface* s) {
    return std::vector<uint8_t>(s->pixels, s->pixels + s->dataSize);
}

int g_failing;  // the allocation to fail in the current attempt, counted from its arm() call

// Starts the countdown: an attempt calls it where the code under test begins (after its own set-up).
void arm() {
    memFailAfter(g_failing);
}

// `attempt` arms the failure and returns true on success, having checked and freed what it made. Run once
// with nothing failing to count the tracked allocations after arm(), then once with each of them failing:
// every attempt must succeed correctly or fail cleanly (a reader may also get by without a block, such as a
// cache). Returns the count, so a caller can tell that there was something to fail.
int sweep(const std::string& what, const std::function<bool()>& attempt) {
    g_failing = 0;
    const uint32_t start = memGetStats()->totalAllocs;
    uint32_t armedAt = 0;
    {
        const uint32_t before = memGetStats()->unfreedBytes;
        EXPECT_TRUE(attempt()) << what << " fails with nothing failing";
        EXPECT_EQ(before, memGetStats()->unfreedBytes) << what;
        armedAt = memGetStats()->totalAllocs - start;
    }
    const int count = int(armedAt);
    for (int n = 1; n <= count; n++) {
        const uint32_t before = memGetStats()->unfreedBytes;
        g_failing = n;
        attempt();
        memFailAfter(0);
        EXPECT_EQ(before, memGetStats()->unfreedBytes) << what << ", allocation " << n << " failing";
        EXPECT_EQ(0, vfsOpenCount()) << what << ", allocation " << n << " failing";
    }
    return count;
}

class AllocFail : public testing::Test {
   protected:
    TestFolders folders;
    void SetUp() override {
        // The surface pool's first chunk is the engine's to keep: taken before the sweeps count bytes.
        sfFree(sfCreate(1, 1, pf565, 0, SF_NO_KEY, nullptr));
    }
    void TearDown() override { gfxShutdownSurfacePool(); }
    void put(const std::string& name, const std::string& bytes) {
        writeFile(folders.prog + "/" + name, bytes);
    }

    // One image reader over one file: the reference load, then the sweep against it.
    void sweepImage(const char* what, Surface* (*load)(const char16_t*, int32_t, Surface*),
                    const char16_t* name, int32_t format) {
        Surface* ref = load(name, format, nullptr);
        ASSERT_NE(nullptr, ref) << what;
        const int n = sweep(what, [&] {
            arm();
            Surface* s = load(name, format, nullptr);
            if (!s) return false;
            EXPECT_EQ(pixelsOf(ref), pixelsOf(s)) << what;
            EXPECT_EQ(ref->frames.count, s->frames.count) << what;
            sfFree(s);
            return true;
        });
        EXPECT_GT(n, 0) << what << " allocates nothing that can fail";
        sfFree(ref);
    }
};

TEST_F(AllocFail, ImageReadersFailCleanlyAtEveryAllocation) {
    put("map.tga", corpus("tga/im_map16_rle.tga"));
    put("true.tga", corpus("tga/im_32_rle.tga"));
    put("rle.gsf", corpus("gsf/rle565_wide.gsf"));
    put("pal.gsf", corpus("gsf/plain_pal.gsf"));
    put("pal.raw", corpus("raw/pal16x16.raw"));
    sweepImage("colour-mapped TGA", sfLoadTGA, u"map.tga", 0);
    sweepImage("colour-mapped TGA as 565", sfLoadTGA, u"map.tga", pf565);
    sweepImage("true-colour TGA", sfLoadTGA, u"true.tga", 0);
    sweepImage("encoded .gsf", sfLoadGSF, u"rle.gsf", 0);
    sweepImage("palette .gsf", sfLoadGSF, u"pal.gsf", 0);
    sweepImage(".raw", sfLoadRAW, u"pal.raw", 0);
}

TEST_F(AllocFail, ArchiveMountAndMembersFailCleanlyAtEveryAllocation) {
    const std::string zip = corpus("archive/mixed.zip");
    std::string scrambled = zip;
    vfsScramble(scrambled.data(), int32_t(scrambled.size()), 0);
    put("plain.zip", zip);
    put("scrambled.zip", scrambled);
    const std::vector<std::u16string> members = {u"a/one.txt", u"a/two.bin", u"three"};
    auto readMember = [](const std::u16string& name, std::string* out) {
        VfsFile* f = vfsOpen(name.c_str());
        if (!f) return false;
        out->assign(size_t(vfsSize(f)), '\0');
        const bool whole = vfsReadAll(f, out->data()) == int32_t(out->size());
        // Back to the start and forwards again: a seek in a deflated member reads through a scratch buffer.
        const bool seeks = out->empty() || (vfsSeek(f, int32_t(out->size() / 2), 0) && vfsSeek(f, 1, 0) &&
                                            vfsSeek(f, int32_t(out->size()), 0));
        vfsClose(f);
        return whole && seeks;
    };
    for (const char* archive : {"plain.zip", "scrambled.zip"}) {
        const std::u16string path = u16(archive);
        std::vector<std::string> expected(members.size());
        ASSERT_EQ(1, vfsInit());
        ASSERT_EQ(1, vfsMountArchive(path.c_str())) << archive;
        for (size_t i = 0; i < members.size(); i++) EXPECT_TRUE(readMember(members[i], &expected[i])) << i;
        vfsShutdown();

        // A mount that reports success has every member listed.
        const int mounts = sweep(archive, [&] {
            if (vfsInit() != 1) return false;
            arm();
            const bool mounted = vfsMountArchive(path.c_str()) == 1;
            memFailAfter(0);
            if (mounted) {
                for (const std::u16string& m : members)
                    EXPECT_NE(nullptr, vfsFindEntry(m.c_str())) << archive << " mounted without a member";
            }
            vfsShutdown();
            return mounted;
        });
        EXPECT_GT(mounts, 0) << archive;
        // A member read that reports success read the member's bytes.
        for (size_t i = 0; i < members.size(); i++) {
            sweep(std::string(archive) + " member " + std::to_string(i), [&] {
                EXPECT_EQ(1, vfsInit());
                EXPECT_EQ(1, vfsMountArchive(path.c_str()));
                std::string got;
                arm();
                const bool ok = readMember(members[i], &got);
                memFailAfter(0);
                if (ok) {
                    EXPECT_EQ(expected[i], got) << archive << " member " << i;
                }
                vfsShutdown();
                return ok;
            });
        }
    }
}

// More members than the archive directory starts with: its growth can fail half-way through a mount.
TEST_F(AllocFail, AMountThatCannotListEveryMemberFails) {
    std::vector<std::pair<std::string, std::string>> members;
    for (int i = 0; i < 40; i++) members.push_back({"m" + std::to_string(i), std::string(size_t(i), 'x')});
    put("many.zip", storedZip(members));
    const int n = sweep("mount of 40 members", [&] {
        if (vfsInit() != 1) return false;
        arm();
        const bool mounted = vfsMountArchive(u"many.zip") == 1;
        memFailAfter(0);
        int32_t listed = 0;
        for (const auto& m : members) listed += vfsFindEntry(u16(m.first).c_str()) != nullptr;
        EXPECT_EQ(mounted ? 40 : 0, listed);
        EXPECT_EQ(mounted ? 1 : 0, vfsArchiveCount());
        vfsShutdown();
        return mounted;
    });
    EXPECT_GT(n, 0);
}

TEST_F(AllocFail, WavLoadFailsCleanlyAtEveryAllocation) {
    put("s16.wav", corpus("wav/s16.wav"));
    ASSERT_EQ(1, sndInit());
    SndSound* ref = sndLoadSample(u"s16.wav");
    ASSERT_NE(nullptr, ref);
    const int32_t rate = sndGetSampleRate(ref);
    sndFreeSample(ref);
    const int n = sweep("WAV", [&] {
        arm();
        SndSound* s = sndLoadSample(u"s16.wav");
        memFailAfter(0);
        if (!s) return false;
        EXPECT_EQ(rate, sndGetSampleRate(s));
        sndFreeSample(s);
        return true;
    });
    EXPECT_GT(n, 0);
    sndShutdown();
}

// The system font: its picture through the image cache, then the glyphs built from it.
TEST_F(AllocFail, SystemFontBuildFailsCleanlyAtEveryAllocation) {
    // 14 x 7 cells of 7 x 14 with a one-pixel frame and gaps: 113 x 106 pixels of 565, uncompressed.
    const int w = 113, h = 106;
    std::string tga = std::string("\0\0\x02", 3) + std::string(9, '\0') + char(w) + char(0) + char(h) +
                      char(0) + char(16) + char(0x20);
    for (int i = 0; i < w * h; i++) tga += i % 3 ? std::string("\xff\x7f", 2) : std::string(2, '\0');
    put("SysFont7x14.tga", tga);
    // The glyph table and picture a build without failures gives, for every build that gets by to match.
    ASSERT_TRUE(sfInitImageCache(sfGetImageCache(), pf565));
    ASSERT_EQ(1, fntInitSystem());
    const Font reference = *fntGetSystemFont();
    const std::vector<uint8_t> picture = pixelsOf(reference.image);
    resCacheDestroy(sfGetImageCache(), 1);
    const int n = sweep("system font", [&] {
        if (!sfInitImageCache(sfGetImageCache(), pf565)) return false;
        arm();
        const int32_t built = fntInitSystem();
        memFailAfter(0);
        if (built) {
            const Font* f = fntGetSystemFont();
            EXPECT_EQ(32 + 98 - 1, f->lastChar);
            EXPECT_EQ(0, memcmp(reference.glyphs, f->glyphs, sizeof f->glyphs));
            EXPECT_EQ(picture, pixelsOf(f->image));
        }
        resCacheDestroy(sfGetImageCache(), 1);
        return built == 1;
    });
    EXPECT_GT(n, 0);
}

}  // namespace

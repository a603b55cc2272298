// The generated game data, checked the way the game reads it: pictures through the TGA loader, the fonts as
// the game and the engine set them up, the sounds through the sound layer, the archive through the file
// system. The generator runs into each test's own program folder.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "brask/font.h"
#include "brask/gfx.h"
#include "brask/image.h"
#include "brask/sound.h"
#include "brask/vfs.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

const char* const kSounds[] = {"Button_Click",    "IntroWav",    "Iris_Open", "Start_Game",
                               "InGame_Rotation", "InGame_Line", "Slider",    "Option_ChangeDirection"};

bool generate(const std::string& dir) {
    std::string cmd = std::string("\"") + MKGAMEDATA_EXE + "\" --out \"" + dir + "\" > /dev/null";
    return std::system(cmd.c_str()) == 0;
}

// Every file below a folder, by its path relative to it.
std::map<std::string, std::string> tree(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files[fs::relative(e.path(), dir).generic_string()] = readFile(e.path().string());
    return files;
}

// The 0x00RRGGBB pixels of a generated (24-bit, top-down) TGA, straight from its bytes.
std::vector<uint32_t> tgaPixels(const std::string& bytes) {
    std::vector<uint32_t> px;
    for (size_t i = 18; i + 2 < bytes.size(); i += 3)
        px.push_back((uint8_t)bytes[i] | (uint8_t)bytes[i + 1] << 8 | (uint32_t)(uint8_t)bytes[i + 2] << 16);
    return px;
}

// The game's font record over its image, as the game sets it up (glyphs not yet built).
Font gameFont(Surface* image) {
    image->colourKey = 0;
    Font font = {};
    font.cellWidth = 8, font.cellHeight = 8, font.spacing = 1, font.lineGap = 2;
    font.proportional = 1, font.coverage = 1, font.image = image;
    font.columns = 31, font.rows = 2, font.firstChar = 33;
    return font;
}

// The help screen's five pages, character for character, trailing spaces included.
const char16_t* const kHelpPages[5] = {
    u"THE GOAL OF THE GAME IS\nTO GENERATE THE MAXIMUM\nAMOUNT OF ENERGY FROM\nTHE MACHINE CALLED\n"
    u"KORVATRON.\nENERGY IS GENERATED WHEN\nFOUR OR MORE ENERGY ELE-\nMENTS OF THE SAME COLOUR\n"
    u"ARE CONNECTED IN A ROW\nOR A COLUMN. YOU CAN MO-\nVE THE ELEMENTS BY ROTA-\n"
    u"TING THEM IN FOURS.        \nTHE MACHINE SPENDS ONE\nENERGY UNIT FOR EACH RO-\nTATION.\n\n\n\n"
    u"MORE .....",
    u"GAME CONTROLS:\n\nYOU CAN ROTATE A BLOCK\nOF 4 ELEMENTS, BY CLICK-\nING ON ROTATOR BETWEEN\n"
    u"THEM.                \nTHE ROTATION DIRECTION\nDEPENDS ON THE SETUP OP-\nTION.\n"
    u"LIKE THIS :                \n\n\n\n\n\n\n\n\nMORE .....",
    u"GAME 1:\n\nTHE MOTORS OF THE MOVING\nMECHANISMS ARE POWERED\nBY TWO ACCUMULATORS,\n"
    u"ALLOWING YOU TO MAKE JUST\nTWO ROTATIONS.       \nWITHIN THESE TWO MOVES\n"
    u"YOU MUST CONNECT AT LEAST\nFOUR ELEMENTS - THIS WILL\nREFILL THE ACCUMULATORS\n"
    u"AND LET YOU MAKE TWO MO-\nRE MOVES. IN OTHER WORDS,\nTHE GAME ENDS WHEN YOU\nFAIL TO GENERATE ANY\n"
    u"ENERGY FOR TWO MOVES.\n\n\nMORE .....",
    u"GAME 2:\n\nTHERE IS AN EXTERNAL PO-\nWER SOURCE, PROVIDING UN-\nLIMITED ENERGY, BUT FOR A\n"
    u"LIMITED AMOUNT OF TIME. YOU\nMUST GENERATE THE MAXI-\nMUM AMOUNT OF ENERGY WHILE\nIT LASTS.\n"
    u"\n\n\n\n\n\n\n\n\nMORE .....",
    u"GAME 3:\n\nTHE MACHINE IS POWERED BY\nTHE ENERGY IT GENERATES.\nYOU CAN GENERATE AS\n"
    u"MUCH ENERGY AS YOU WANT,\nBUT YOU MUST NOT LET IT\nFALL DOWN TO ZERO, SINCE\n"
    u"YOU WON'T BE ABLE TO MA-\nKE ANOTHER MOVE. THAT IS,\nYOU SHOULD GENERATE MORE\n"
    u"ENERGY BY CONNECTING ELE\nMENTS, THAN YOU CONSUME\nBY ROTATING THEM.\n\n\n\n\nEND .....",
};

class GameData : public testing::Test {
   protected:
    TestFolders folders;
    void SetUp() override { ASSERT_TRUE(generate(folders.prog)); }
    void TearDown() override { gfxShutdownSurfacePool(); }
    Surface* load(const std::string& name) { return sfLoadTGA(u16(name).c_str(), pf565, nullptr); }
};

// The pictures' own sizes and keys are checked with their makers; here: everything written is something the
// game's loaders take, and nothing it reads is missing.
TEST_F(GameData, EveryWrittenFileIsOneTheGameLoads) {
    std::map<std::string, std::string> files = tree(folders.prog);
    EXPECT_EQ(70u, files.size());  // 60 pictures, the two fonts, 8 sounds
    int pictures = 0;
    for (const auto& [rel, bytes] : files) {
        if (rel.rfind("gamedata/sounds/", 0) == 0) {
            EXPECT_EQ(".wav", rel.substr(rel.size() - 4)) << rel;
            continue;
        }
        Surface* s = load(rel);
        EXPECT_NE(nullptr, s) << rel;
        pictures += s != nullptr;
        sfFree(s);
    }
    EXPECT_EQ(62, pictures);
}

TEST_F(GameData, GameFontHoldsEveryCharacterAtTheWidthsTheScreensAssume) {
    std::vector<uint32_t> px = tgaPixels(readFile(folders.prog + "/gamedata/font.tga"));
    for (uint32_t c : px)  // grey levels: the blue channel is the coverage the engine tints by
        ASSERT_TRUE((c >> 16) == (c & 255) && ((c >> 8) & 255) == (c & 255)) << std::hex << c;

    Surface* image = load("gamedata/font.tga");
    ASSERT_NE(nullptr, image);
    Font font = gameFont(image);
    ASSERT_EQ(&font, fntBuildGlyphs(&font));
    EXPECT_EQ(94, font.lastChar);
    for (int c = 33; c <= 94; c++) {
        const Glyph& g = font.glyphs[c - 33];
        EXPECT_LT(g.leftBlank, 8) << "no ink for " << (char)c;
        if (c >= '0' && c <= '9') {
            EXPECT_EQ(4, g.width) << (char)c;
        }
        if (c >= 'A' && c <= 'Z') {
            EXPECT_LE(g.width, c == 'M' || c == 'W' ? 7 : 6) << (char)c;
        }
    }
    EXPECT_EQ(5 * 5, fntTextWidth(&font, u"00000"));  // padded scores line up
    sfFree(image);
}

// The help screen justifies each page at (30, 70) in 180 pixels. A paragraph's last line must look exactly
// as it does left-aligned; a stretched line must reach the box's right edge: its last word moves right by
// the whole spare width, or by all but the last gap's share when a run of spaces ends the line (that run is
// a gap of its own).
TEST_F(GameData, HelpPagesJustifyToTheBoxAndLeaveLastLinesAlone) {
    Surface* image = load("gamedata/font.tga");
    ASSERT_NE(nullptr, image);
    Font font = gameFont(image);
    ASSERT_EQ(&font, fntBuildGlyphs(&font));
    const int X = 30, Y = 70, L = 180;
    Surface* justified = sfCreate(240, 320, pf565, 0, SF_NO_KEY, nullptr);
    Surface* left = sfCreate(240, 320, pf565, 0, SF_NO_KEY, nullptr);
    // The last inked column of a line's band, -1 for an empty band.
    auto lastInk = [](const Surface* s, int y) {
        for (int x = s->width - 1; x >= 0; x--)
            for (int r = 0; r < 8; r++)
                if (sfGetPixel(s, x, y + r)) return x;
        return -1;
    };
    int lastLines = 0, stretched = 0;
    for (int page = 0; page < 5; page++) {
        for (Surface* s : {justified, left}) {
            gfxSetColour(0);
            gfxSetDrawMode(0);
            gfxFillRect(s, nullptr);
        }
        gfxSetColour(0xFFFF);
        fntDrawText(&font, justified, kHelpPages[page], X, Y, FNT_ALIGN_JUSTIFY, L);
        fntDrawText(&font, left, kHelpPages[page], X, Y, FNT_ALIGN_LEFT, L);
        std::vector<std::u16string> lines(1);
        for (const char16_t* p = kHelpPages[page]; *p; p++)
            if (*p == u'\n')
                lines.emplace_back();
            else
                lines.back() += *p;
        for (size_t i = 0; i < lines.size(); i++) {
            const std::u16string& line = lines[i];
            const int y = Y + 10 * int(i);
            SCOPED_TRACE(testing::Message() << "page " << page + 1 << " line " << i + 1);
            size_t end = line.find_last_not_of(u' ');
            if (end == std::u16string::npos) continue;
            const bool last = i + 1 == lines.size() || lines[i + 1].empty();
            if (last || line.find(u' ') == std::u16string::npos) {
                lastLines++;
                int differ = 0;
                for (int r = 0; r < 8; r++)
                    for (int x = 0; x < 240; x++)
                        differ += sfGetPixel(left, x, y + r) != sfGetPixel(justified, x, y + r);
                EXPECT_EQ(0, differ);
                continue;
            }
            stretched++;
            const int spare = L - fntTextWidth(&font, line.c_str());
            EXPECT_GT(spare, 0);
            int shift = spare;
            if (end + 1 < line.size()) {
                int gaps = 1;  // the run at the end, then one per single space between words
                for (size_t k = 0; k < end; k++) gaps += line[k] == u' ';
                shift -= spare / gaps + (spare % gaps > 0);
            }
            EXPECT_EQ(lastInk(left, y) + shift, lastInk(justified, y));
            if (end + 1 == line.size()) {
                EXPECT_EQ(X + L - 1 - font.spacing, lastInk(justified, y));
            }
        }
    }
    EXPECT_EQ(16, lastLines);
    EXPECT_EQ(49, stretched);
    sfFree(justified);
    sfFree(left);
    sfFree(image);
}

TEST_F(GameData, SystemFontIsAFixedGridOfCharacters32To129) {
    Surface* image = load("SysFont7x14.tga");
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(std::make_pair(1 + 14 * 8, 1 + 7 * 15), std::make_pair((int)image->width, (int)image->height));
    image->colourKey = 0;
    Font font = {};
    font.cellWidth = 7, font.cellHeight = 14, font.image = image;
    font.gapX = 1, font.gapY = 1, font.originX = 1, font.originY = 1;
    font.columns = 14, font.rows = 7, font.firstChar = 32;
    ASSERT_EQ(&font, fntBuildGlyphs(&font));
    EXPECT_EQ(129, font.lastChar);
    EXPECT_EQ(7 * 3, fntTextWidth(&font, u"i.W"));
    // The gaps between cells stay background, and every visible ASCII character has ink in its cell.
    for (int y = 0; y < image->height; y++)
        for (int x = 0; x < image->width; x++)
            if (x % 8 == 0 || y % 15 == 0) {
                ASSERT_EQ(0u, sfGetPixel(image, x, y)) << x << "," << y;
            }
    for (int c = 33; c <= 129; c++) {
        const Glyph& g = font.glyphs[c - 32];
        int ink = 0;
        for (int y = 0; y < 14; y++)
            for (int x = 0; x < 7; x++) ink += sfGetPixel(image, g.x + x, g.y + y) != 0;
        EXPECT_GT(ink, 0) << "character " << c;
    }
    sfFree(image);
}

TEST_F(GameData, EverySoundLoadsThroughTheSoundLayerAsShortMonoPcm) {
    ASSERT_EQ(1, sndInit());
    for (const char* name : kSounds) {
        std::string rel = std::string("gamedata/sounds/") + name + ".wav",
                    bytes = readFile(folders.prog + "/" + rel);
        ASSERT_GT(bytes.size(), 44u) << name;
        EXPECT_EQ("fmt ", bytes.substr(12, 4));
        EXPECT_EQ("data", bytes.substr(36, 4));  // right after the 16-byte format
        EXPECT_EQ(std::string("\x01\x00\x01\x00\x22\x56\x00\x00", 8), bytes.substr(20, 8)) << name;
        EXPECT_EQ(16, bytes[34]);
        double seconds = (bytes.size() - 44) / 44100.0;
        EXPECT_LE(seconds, 4.0) << name;
        if (std::string(name) == "InGame_Rotation") {
            EXPECT_NEAR(0.35, seconds, 0.03);
        }
        if (std::string(name) == "Button_Click") {
            EXPECT_LE(seconds, 0.1);
        }
        SndSound* s = sndLoadSample(u16(rel).c_str());
        ASSERT_NE(nullptr, s) << name;
        EXPECT_EQ(22050, sndGetSampleRate(s));
        sndFreeSample(s);
    }
    sndShutdown();
}

TEST_F(GameData, GeneratorWritesTheSameBytesEveryRun) {
    std::string again = folders.root + "/again";
    ASSERT_TRUE(generate(again));
    std::map<std::string, std::string> first = tree(folders.prog), second = tree(again);
    ASSERT_EQ(first.size(), second.size());
    for (const auto& [rel, bytes] : first) EXPECT_TRUE(second[rel] == bytes) << rel << " differs";
}

// The desktop icon at both sizes: an RGBA PNG, see-through outside its rounded plate, the four elements in
// their quarters in their own colours around the rotator's lit core.
TEST_F(GameData, IconIsAnRgbaPngOfTheElementsAtEachSize) {
    const std::string dir = folders.root + "/icons";
    ASSERT_EQ(
        0,
        std::system((std::string("\"") + MKGAMEDATA_EXE + "\" --icons \"" + dir + "\" > /dev/null").c_str()));
    for (uint32_t n : {48u, 128u}) {
        const std::string name = std::to_string(n) + "x" + std::to_string(n) + "/apps/korvatron.png";
        const std::string png = readFile(dir + "/" + name);
        ASSERT_GT(png.size(), 33u) << name;
        auto be32 = [&](size_t at) {
            const uint8_t* p = (const uint8_t*)png.data() + at;
            return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
        };
        ASSERT_EQ(0, png.compare(0, 16, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)) << name;
        EXPECT_EQ(n, be32(16)) << name;
        EXPECT_EQ(n, be32(20)) << name;
        EXPECT_EQ(6, png[25]) << name;  // RGBA
        // One IDAT after the IHDR, as the writer makes them; rows are unfiltered.
        ASSERT_EQ(0, png.compare(37, 4, "IDAT")) << name;
        std::vector<uint8_t> raw(n * (1 + 4 * n));
        uLongf size = raw.size();
        ASSERT_EQ(Z_OK, uncompress(raw.data(), &size, (const Bytef*)png.data() + 41, be32(33))) << name;
        ASSERT_EQ(raw.size(), size) << name;
        auto at = [&](uint32_t x, uint32_t y) {
            const uint8_t* p = &raw[y * (1 + 4 * n) + 1 + 4 * x];
            return (uint32_t)p[3] << 24 | p[0] << 16 | p[1] << 8 | p[2];
        };
        EXPECT_EQ(0u, at(0, 0) >> 24) << name;
        EXPECT_EQ(0u, at(n - 1, n - 1) >> 24) << name;
        // Quarter centres: red orb, blue square, green triangle (low in its cell), yellow diamond.
        const uint32_t q = n / 4, red = at(q, q), blue = at(n - q, q), green = at(q, n - q + n / 16),
                       yellow = at(n - q, n - q), core = at(n / 2, n / 2);
        auto ch = [](uint32_t c, int shift) { return (int)(c >> shift & 255); };
        EXPECT_GT(ch(red, 16), ch(red, 8) + 60) << name;
        EXPECT_GT(ch(blue, 0), ch(blue, 16) + 60) << name;
        EXPECT_GT(ch(green, 8), ch(green, 16) + 60) << name;
        EXPECT_GT(std::min(ch(yellow, 16), ch(yellow, 8)), ch(yellow, 0) + 60) << name;
        EXPECT_GT(ch(core, 0), 200) << name;
        for (uint32_t c : {red, blue, green, yellow, core}) EXPECT_EQ(255u, c >> 24) << name;
    }
}

TEST_F(GameData, ArchiveBesideTheProgramServesEveryPictureAndSound) {
    // What the build placed in the game's folder, the archive moved next to this test's program.
    EXPECT_EQ(readFile(folders.prog + "/SysFont7x14.tga"), readFile(KORVA_GAME_DIR "/SysFont7x14.tga"));
    std::map<std::string, std::string> loose = tree(folders.prog + "/gamedata");
    fs::rename(folders.prog + "/gamedata", folders.root + "/loose");
    writeFile(folders.prog + "/korvatron.pak", readFile(KORVA_GAME_DIR "/korvatron.pak"));
    ASSERT_EQ(1, vfsInit());
    ASSERT_EQ(1, vfsMountDefaults());
    for (const auto& [rel, bytes] : loose) {
        VfsFile* f = vfsOpen(u16("gamedata/" + rel).c_str());
        ASSERT_NE(nullptr, f) << rel;
        std::string member((size_t)vfsSize(f), '\0');
        EXPECT_EQ((int32_t)member.size(), vfsReadAll(f, &member[0]));
        vfsClose(f);
        EXPECT_TRUE(member == bytes) << rel << " differs in the archive";
    }
    fs::remove(folders.prog + "/SysFont7x14.tga");  // the system font stays a loose file only
    EXPECT_EQ(nullptr, vfsOpen(u"SysFont7x14.tga"));
    vfsShutdown();
}

}  // namespace

// Archives through the virtual file system: ZIP files written by Info-ZIP's zip and Python's zipfile are
// mounted and read back byte for byte, scrambled, appended to programs, shadowed, corrupted and sought in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "brask/memory.h"
#include "brask/vfs.h"
#include "support/test_support.h"

namespace {

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = (char)(rng() & 0xFF);
    return s;
}

// Compressible, so deflate has real work and back-references.
std::string textBytes(size_t n, unsigned seed) {
    static const char* words[] = {"energy ", "rotator ", "board ", "line\n", "chain ", "bonus "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) s += words[rng() % 6];
    s.resize(n);
    return s;
}

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

struct Member {
    std::string name, bytes, method = "deflated", stamp = "2024-05-01-12-00-00";
};

// Python's zipfile, one call per archive.
void pyZip(const std::string& out, const std::vector<Member>& members) {
    std::string cmd = "python3 " + quote(ZIPMAKER) + " " + quote(out);
    for (size_t i = 0; i < members.size(); i++) {
        std::string src = out + ".src" + std::to_string(i);
        writeFile(src, members[i].bytes);
        cmd += " " + quote(members[i].name + "|" + src + "|" + members[i].method + "|" + members[i].stamp);
    }
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// Info-ZIP's zip, run inside a folder.
void infoZip(const std::string& folder, const std::string& out, const std::string& options) {
    std::string cmd = "cd " + quote(folder) + " && zip -q -X -r " + options + " " + quote(out) + " .";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

std::string readMember(const char16_t* name, int32_t chunk = 1000) {
    VfsFile* f = vfsOpen(name);
    if (!f) return "<none>";
    std::string out, buf(chunk, '\0');
    for (int guard = 0; !vfsEof(f) && guard < 100000; guard++) {
        int32_t r = vfsRead(f, buf.data(), chunk);
        if (r > 0) out.append(buf.data(), r);
    }
    EXPECT_EQ(vfsClose(f), 1);
    return out;
}

std::string scrambled(std::string bytes) {
    vfsScramble(bytes.data(), (int32_t)bytes.size(), 0);
    return bytes;
}

std::string logText(const TestFolders& dirs) {
    return readFile(dirs.prog + "/Brask.log");
}

class Archive : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_EQ(vfsInit(), 1); }
    void TearDown() override {
        vfsShutdown();
        EXPECT_EQ(vfsOpenCount(), 0);
    }
    int32_t mount(const std::string& path) { return vfsMountArchive(u16(path).c_str()); }
    TestFolders dirs;
};

}  // namespace

TEST_F(Archive, InfoZipStoredAndDeflatedMembersReadBackByteForByte) {
    std::string src = dirs.root + "/src";
    std::vector<std::pair<std::string, std::string>> files = {
        {"gamedata/back.tga", randomBytes(70000, 1)},
        {"gamedata/sounds/line.wav", textBytes(150000, 2)},
        {"gamedata/empty.bin", ""},
        {"readme.txt", "one line\n"},
    };
    for (auto& f : files) writeFile(src + "/" + f.first, f.second);
    infoZip(src, dirs.prog + "/deflated.zip", "-9");
    infoZip(src, dirs.prog + "/stored.pak", "-0");
    EXPECT_EQ(vfsMount(u"*.zip"), 1);
    for (auto& f : files) EXPECT_EQ(readMember(u16(f.first).c_str(), 777), f.second) << f.first;

    // The second archive holds the same names with the same stamps: the first mounted one keeps them.
    EXPECT_EQ(vfsMountDefaults(), 1);
    EXPECT_EQ(vfsArchiveCount(), 2);
    VfsEntry* e = vfsFindEntry(u"GAMEDATA/Sounds/LINE.WAV");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->method, 8);
    EXPECT_EQ(e->archiveIndex, 0);
    EXPECT_EQ(e->size, 150000u);
    EXPECT_EQ(vfsFindEntry(u"gamedata/sounds"), nullptr);
    EXPECT_EQ(readMember(u"GAMEDATA/BACK.TGA"), files[0].second);
    EXPECT_EQ(readMember(u"gamedata/missing.tga"), "<none>");
}

TEST_F(Archive, ZipfileArchivesReadBackKeepTheirStampsAndLooseFilesShadowThem) {
    std::string big = textBytes(300000, 3);
    pyZip(dirs.prog + "/data.zip", {{"a/deflated.bin", big},
                                    {"a/stored.bin", randomBytes(5000, 4), "stored", "2030-12-31-23-59-58"},
                                    {"b", "x"}});
    EXPECT_EQ(vfsMountDefaults(), 1);
    EXPECT_EQ(readMember(u"a/deflated.bin", 65536), big);
    EXPECT_EQ(readMember(u"a/stored.bin"), randomBytes(5000, 4));
    VfsEntry* e = vfsFindEntry(u"a/stored.bin");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->method, 0);
    // 2030-12-31 23:59:58: year 50, seconds in units of two.
    EXPECT_EQ(e->dosDateTime, (uint32_t)((50 << 25) | (12 << 21) | (31 << 16) | (23 << 11) | (59 << 5) | 29));
    EXPECT_EQ(readMember(u"B"), "x");
    writeFile(dirs.prog + "/b", "loose");  // a loose file shadows the member
    EXPECT_EQ(readMember(u"b"), "loose");
    // Of another case or with "\\" for "/", as the handheld's file system read names, it still does.
    writeFile(dirs.prog + "/A/Stored.BIN", "loose too");
    EXPECT_EQ(readMember(u"a/stored.bin"), "loose too");
    EXPECT_EQ(readMember(u"a\\deflated.bin", 65536), big);
}

TEST_F(Archive, ScrambledCopiesReadLikeThePlainOneAndOtherKeysDoNotMount) {
    std::string payload = textBytes(40000, 5);
    pyZip(dirs.root + "/plain.zip", {{"gamedata/font.tga", payload}, {"x.bin", randomBytes(3000, 6)}});
    std::string plain = readFile(dirs.root + "/plain.zip");
    std::string mixed = scrambled(plain);
    ASSERT_EQ(scrambled(mixed), plain);  // the same operation undoes itself
    writeFile(dirs.prog + "/data.pak", mixed);
    std::string wrongKey = plain;
    for (char& c : wrongKey) c ^= 0x5A;
    writeFile(dirs.prog + "/other.pak", wrongKey);

    EXPECT_EQ(vfsMount(u"*.pak"), 1);
    EXPECT_EQ(vfsOpenCount(), 1);  // the rejected archive left no handle behind
    VfsFile* f = vfsOpen(u"gamedata/font.tga");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::make_pair(1, 0), std::make_pair(int(f->archive->scrambled), int(f->scrambled)));
    vfsClose(f);
    EXPECT_EQ(readMember(u"gamedata/font.tga"), payload);
    EXPECT_EQ(readMember(u"x.bin", 1), randomBytes(3000, 6));
}

TEST_F(Archive, ProgramsWithAnAppendedArchiveMountOnceAndPlainProgramsAreSkipped) {
    std::string program = randomBytes(20000, 7);
    std::string src = dirs.root + "/src";
    writeFile(src + "/gamedata/intro.tga", textBytes(9000, 8));
    infoZip(src, dirs.root + "/data.zip", "");
    writeFile(dirs.prog + "/korvatron.exe", program + readFile(dirs.root + "/data.zip"));
    writeFile(dirs.prog + "/adjusted.exe", program + readFile(dirs.root + "/data.zip"));
    ASSERT_EQ(std::system(("zip -q -A " + quote(dirs.prog + "/adjusted.exe")).c_str()), 0);
    writeFile(dirs.prog + "/plain.exe", program);

    EXPECT_EQ(vfsMountDefaults(), 2);  // both groups of patterns find the same files: each counted once
    EXPECT_EQ(vfsMountDefaults(), 0);
    EXPECT_EQ(vfsArchiveCount(), 2);
    EXPECT_EQ(vfsOpenCount(), 2);
    EXPECT_EQ(readMember(u"gamedata/intro.tga"), textBytes(9000, 8));
}

TEST_F(Archive, NewestMemberWinsAcrossArchivesAndTheFirstMountedOnEqualStamps) {
    pyZip(dirs.root + "/old.zip", {{"gamedata/font.tga", "old", "stored", "2020-01-01-00-00-00"},
                                   {"same.txt", "first", "deflated", "2021-06-01-10-00-00"}});
    pyZip(dirs.root + "/new.zip", {{"GAMEDATA/FONT.TGA", "new", "deflated", "2022-01-01-00-00-00"},
                                   {"same.txt", "second", "stored", "2021-06-01-10-00-00"}});
    // Within one archive too: a later, newer duplicate replaces; an equal one does not. Stamps above
    // 2^31 (years from 2044) must compare as unsigned.
    pyZip(dirs.root + "/dups.zip", {{"dup", "1", "stored", "2050-01-01-00-00-00"},
                                    {"dup", "2", "stored", "2060-01-01-00-00-00"},
                                    {"dup", "3", "stored", "2060-01-01-00-00-00"},
                                    {"dup", "4", "stored", "2030-01-01-00-00-00"}});
    EXPECT_EQ(mount(dirs.root + "/new.zip"), 1);
    EXPECT_EQ(mount(dirs.root + "/old.zip"), 1);
    EXPECT_EQ(mount(dirs.root + "/dups.zip"), 1);
    EXPECT_EQ(readMember(u"gamedata/font.tga"), "new");
    EXPECT_EQ(readMember(u"same.txt"), "second");
    EXPECT_EQ(readMember(u"dup"), "2");
    vfsShutdown();

    ASSERT_EQ(vfsInit(), 1);
    EXPECT_EQ(mount(dirs.root + "/old.zip"), 1);
    EXPECT_EQ(mount(dirs.root + "/new.zip"), 1);
    EXPECT_EQ(readMember(u"gamedata/font.tga"), "new");
    EXPECT_EQ(readMember(u"same.txt"), "first");
    VfsEntry* e = vfsFindEntry(u"gamedata/font.tga");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::u16string(e->name), u"gamedata/font.tga");  // the name as first seen
    EXPECT_EQ(e->archiveIndex, 1);
}

TEST_F(Archive, OneMemberPerArchiveIsOpenAndMountingWaitsForItsClose) {
    pyZip(dirs.root + "/one.zip", {{"a", "aaa"}, {"b", "bbb"}});
    pyZip(dirs.root + "/two.zip", {{"c", "ccc"}});
    pyZip(dirs.root + "/three.zip", {{"d", "ddd"}});
    EXPECT_EQ(mount(dirs.root + "/one.zip"), 1);
    EXPECT_EQ(mount(dirs.root + "/two.zip"), 1);
    VfsFile* a = vfsOpen(u"a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(vfsOpen(u"b"), nullptr);
    EXPECT_EQ(vfsOpenCount(), 3);  // the failed open gave its slot back
    VfsFile* c = vfsOpen(u"c");    // another archive's member
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(vfsWrite(c, "x", 1), 0);  // members are read-only

    EXPECT_EQ(mount(dirs.root + "/three.zip"), 0);
    EXPECT_NE(logText(dirs).find("BraskLib/src/BraskVFS("), std::string::npos);
    EXPECT_EQ(vfsClose(a), 1);
    EXPECT_EQ(readMember(u"b"), "bbb");
    EXPECT_EQ(vfsClose(c), 1);
    EXPECT_EQ(mount(dirs.root + "/three.zip"), 1);
    EXPECT_EQ(readMember(u"d"), "ddd");

    // vfsShutdown releases a member left open.
    ASSERT_NE(vfsOpen(u"a"), nullptr);
}

TEST_F(Archive, MemberSeeksReturnTheBytesOfAStraightRead) {
    std::string data = textBytes(200000, 9);
    pyZip(dirs.prog + "/data.zip", {{"deflated", data}, {"stored", data, "stored"}});
    EXPECT_EQ(vfsMountDefaults(), 1);
    for (const char16_t* name : {u"deflated", u"stored"}) {
        VfsFile* f = vfsOpen(name);
        ASSERT_NE(f, nullptr);
        char buf[100];
        // Forward past the skip buffer several times, backward (the member restarts), relative, and counted
        // back from the end.
        const int32_t seeks[][3] = {{150000, 0, 150000}, {1000, 0, 1000}, {50, 1, 1150}, {100, 2, 199900}};
        for (const auto& k : seeks) {
            EXPECT_EQ(vfsSeek(f, k[0], k[1]), 1);
            EXPECT_EQ(vfsTell(f), k[2]);
            EXPECT_EQ(vfsRead(f, buf, 100), 100);
            EXPECT_EQ(std::string(buf, 100), data.substr(k[2], 100)) << k[2];
        }
        EXPECT_EQ(vfsEof(f), 1);
        EXPECT_EQ(vfsRead(f, buf, 100), 0);
        // Targets outside the member move nothing.
        for (auto k : {std::make_pair(200001, 0), {-1, 2}, {-200001, 1}})
            EXPECT_EQ(vfsSeek(f, k.first, k.second), 0);
        EXPECT_EQ(vfsTell(f), 200000);
        EXPECT_EQ(vfsSeek(f, 0, 0), 1);
        std::string all(200000, '\0');
        EXPECT_EQ(vfsReadAll(f, all.data()), 200000);
        EXPECT_EQ(all, data);
        EXPECT_EQ(vfsClose(f), 1);
    }
}

TEST_F(Archive, CorruptMembersFailTheirReadsOrCloseAndReleaseTheArchive) {
    std::string stored = randomBytes(4000, 10), deflated = textBytes(100000, 11);
    pyZip(dirs.root + "/good.zip", {{"stored", stored, "stored"},
                                    {"deflated", deflated},
                                    {"ok", "fine"},
                                    {"bzip2", deflated, "bzip2"},
                                    {"lzma", deflated, "lzma"}});
    std::string bytes = readFile(dirs.root + "/good.zip");
    size_t at = bytes.find(stored.substr(0, 64));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2000] ^= 0x01;                               // a stored byte: the CRC fails at the end
    size_t deflatedAt = bytes.find("deflated", at + 4000);  // the deflated member's local header name
    ASSERT_NE(deflatedAt, std::string::npos);
    bytes[deflatedAt + 8] = (char)0xFF;  // the first block claims the reserved block type
    writeFile(dirs.prog + "/bad.zip", bytes);
    EXPECT_EQ(vfsMountDefaults(), 1);

    // Methods minizip cannot decode fail the open and leave the archive free (bzip2 would come out raw).
    EXPECT_EQ(vfsOpen(u"bzip2"), nullptr);
    EXPECT_EQ(vfsOpen(u"lzma"), nullptr);
    EXPECT_EQ(vfsOpenCount(), 1);
    EXPECT_EQ(readMember(u"ok"), "fine");

    VfsFile* f = vfsOpen(u"stored");
    ASSERT_NE(f, nullptr);
    std::string got(4000, '\0');
    EXPECT_EQ(vfsRead(f, got.data(), 4000), 4000);
    EXPECT_NE(got, stored);
    EXPECT_EQ(vfsClose(f), 0);             // the CRC mismatch is reported...
    EXPECT_EQ(vfsOpenCount(), 1);          // ...yet the handle is released
    EXPECT_EQ(readMember(u"ok"), "fine");  // and the archive is free again

    // A read that fails puts the member at its end, so a read-until-eof loop stops.
    f = vfsOpen(u"deflated");
    ASSERT_NE(f, nullptr);
    char buf[4096];
    int32_t failed = 0, rounds = 0;
    while (!vfsEof(f) && rounds++ < 1000) {
        int32_t r = vfsRead(f, buf, sizeof buf);
        if (r < 0) failed = r;
    }
    EXPECT_LT(failed, 0);
    EXPECT_LT(rounds, 1000);
    EXPECT_EQ(vfsTell(f), 100000);
    EXPECT_EQ(vfsSeek(f, 0, 0), 1);  // a restart is still allowed, and fails again the same way
    EXPECT_EQ(vfsTell(f), 0);
    vfsClose(f);
    EXPECT_EQ(readMember(u"ok"), "fine");
}

TEST_F(Archive, MountRejectsNonArchivesDuplicatesCutNamesHugeMembersAndFullTables) {
    writeFile(dirs.root + "/text.zip", "not an archive at all");
    pyZip(dirs.root + "/full.zip", {{"x", textBytes(5000, 12)}});
    std::string full = readFile(dirs.root + "/full.zip");
    writeFile(dirs.root + "/truncated.zip", full.substr(0, full.size() / 2));
    for (const char* bad : {"/text.zip", "/truncated.zip", "/missing.zip"})
        EXPECT_EQ(mount(dirs.root + bad), 0);
    EXPECT_EQ(vfsOpenCount(), 0);
    EXPECT_EQ(vfsMountArchive(nullptr), 0);

    std::string longName(300, 'n');
    pyZip(dirs.root + "/odd.zip",
          {{longName, "cut"}, {std::string(255, 'k'), "kept"}, {"huge", "small"}, {"plain", "plain"}});
    // Claim 2 GiB for "huge" in its central-directory record (uncompressed size at offset 24).
    std::string odd = readFile(dirs.root + "/odd.zip");
    for (size_t p = odd.find("PK\x01\x02"); p != std::string::npos; p = odd.find("PK\x01\x02", p + 4)) {
        if (odd.compare(p + 46, 4, "huge") == 0) {
            odd[p + 24] = 0, odd[p + 25] = 0, odd[p + 26] = 0, odd[p + 27] = (char)0x80;
        }
    }
    writeFile(dirs.root + "/odd.zip", odd);
    EXPECT_EQ(mount(dirs.root + "/odd.zip"), 1);
    EXPECT_EQ(mount(dirs.root + "/odd.zip"), 0);  // already mounted
    EXPECT_EQ(readMember(u"plain"), "plain");
    EXPECT_EQ(readMember(u16(std::string(255, 'k')).c_str()), "kept");
    EXPECT_EQ(vfsFindEntry(u16(longName.substr(0, 255)).c_str()), nullptr);
    EXPECT_EQ(vfsFindEntry(u"huge"), nullptr);

    // With every handle taken, the archive is skipped and the log says why.
    std::vector<VfsFile*> held;
    for (int i = 0; i < 20; i++) {
        writeFile(dirs.prog + "/h" + std::to_string(i), "h");
        if (VfsFile* h = vfsOpen(u16("h" + std::to_string(i)).c_str())) held.push_back(h);
    }
    EXPECT_EQ(held.size(), 19u);  // the mounted archive holds one
    const size_t logged = logText(dirs).size();
    EXPECT_EQ(mount(dirs.root + "/full.zip"), 0);
    const std::string log = logText(dirs).substr(logged);
    EXPECT_EQ(log, "Too many open files\n");  // once, for the plain and the scrambled try
    for (VfsFile* h : held) vfsClose(h);
    EXPECT_EQ(mount(dirs.root + "/full.zip"), 1);
}

// A directory that the end of the file cuts: minizip would read the missing bytes as the last one it had
// and take the record for sound, and it walks a claimed extra field four bytes at a time whether or not
// the bytes exist. Members before the cut mount and read; the cut record and what follows do not.
TEST_F(Archive, DirectoriesCutByTheEndOfTheFileKeepWhatPrecedesTheCut) {
    pyZip(dirs.root + "/three.zip", {{"one", "first"}, {"two", "second"}, {"three", "third"}});
    const std::string whole = readFile(dirs.root + "/three.zip");
    std::vector<size_t> records;
    for (size_t p = whole.find("PK\x01\x02"); p != std::string::npos; p = whole.find("PK\x01\x02", p + 4))
        records.push_back(p);
    ASSERT_EQ(records.size(), 3u);
    auto claimExtra = [&](size_t record) {
        std::string bytes = whole;
        bytes[records[record] + 30] = 0, bytes[records[record] + 31] = (char)0xFF;
        return bytes;
    };
    writeFile(dirs.root + "/second.zip", claimExtra(1));
    writeFile(dirs.root + "/second.pak", scrambled(claimExtra(1)));
    writeFile(dirs.root + "/first.zip", claimExtra(0));
    writeFile(dirs.root + "/endcut.zip", whole.substr(0, whole.size() - 6));
    writeFile(dirs.root + "/endcut.pak", scrambled(whole.substr(0, whole.size() - 6)));

    for (const char* name : {"/first.zip", "/endcut.zip", "/endcut.pak"})
        EXPECT_EQ(mount(dirs.root + name), 0) << name;
    for (const char* name : {"/second.zip", "/second.pak"}) {
        ASSERT_EQ(mount(dirs.root + name), 1) << name;
        EXPECT_EQ(readMember(u"one"), "first");
        EXPECT_EQ(vfsFindEntry(u"two"), nullptr);
        EXPECT_EQ(vfsFindEntry(u"three"), nullptr);
        vfsShutdown();
        ASSERT_EQ(vfsInit(), 1);
    }
    EXPECT_EQ(vfsOpenCount(), 0);
}

// korvatron-pack's archives, checked by Python's zipfile (an independent reader) and by mounting them.
TEST_F(Archive, PackedFoldersReadBackPlainOrScrambledWithStampsAndMethods) {
    std::string src = dirs.root + "/data";
    writeFile(src + "/back.tga", randomBytes(30000, 13));
    writeFile(src + "/sounds/line.wav", textBytes(50000, 14));
    std::string pack = std::string(KORVATRON_PACK) + " --prefix gamedata/ ";
    auto run = [](const std::string& cmd) { return std::system((cmd + " > /dev/null").c_str()); };
    ASSERT_EQ(run("touch -d '2023-04-05 06:07:08' " + quote(src + "/back.tga")), 0);
    ASSERT_EQ(run(pack + quote(src) + " " + quote(dirs.root + "/plain.zip")), 0);
    ASSERT_EQ(
        run(pack + "--store --stamp 2031-01-02-03-04-06 " + quote(src) + " " + quote(dirs.root + "/st.zip")),
        0);
    ASSERT_EQ(run(pack + "--scramble " + quote(src) + " " + quote(dirs.prog + "/data.pak")), 0);
    EXPECT_NE(run(std::string(KORVATRON_PACK) + " " + quote(dirs.root + "/missing") + " x.zip 2>/dev/null"),
              0);

    // What zipfile sees: names, methods, stamps and intact CRCs.
    std::string check = dirs.root + "/check.py";
    writeFile(
        check,
        "import sys, zipfile\n"
        "for path in sys.argv[1:]:\n"
        "    z = zipfile.ZipFile(path)\n"
        "    assert z.testzip() is None\n"
        "    for i in z.infolist():\n"
        "        print(i.filename, i.compress_type, '%d-%d-%d-%d-%d-%d' % i.date_time, len(z.read(i)))\n");
    std::string listing = dirs.root + "/listing.txt";
    ASSERT_EQ(std::system(("python3 " + quote(check) + " " + quote(dirs.root + "/plain.zip") + " " +
                           quote(dirs.root + "/st.zip") + " > " + quote(listing))
                              .c_str()),
              0);
    std::string seen = readFile(listing);
    EXPECT_NE(seen.find("gamedata/back.tga 8 2023-4-5-6-7-8 30000\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("gamedata/back.tga 0 2031-1-2-3-4-6 30000\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("gamedata/sounds/line.wav 0 2031-1-2-3-4-6 50000\n"), std::string::npos) << seen;

    // The scrambled pack is no ZIP to anyone without the key, and mounts like the plain one.
    EXPECT_EQ(readFile(dirs.prog + "/data.pak"), scrambled(readFile(dirs.root + "/plain.zip")));
    EXPECT_EQ(vfsMountDefaults(), 1);
    VfsFile* f = vfsOpen(u"gamedata/sounds/line.wav");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->archive->scrambled, 1);
    vfsClose(f);
    EXPECT_EQ(readMember(u"gamedata/sounds/line.wav"), textBytes(50000, 14));
    EXPECT_EQ(readMember(u"gamedata/back.tga"), randomBytes(30000, 13));
}

// Damaged archives, byte by byte: whatever mounts reads to its end or fails, and nothing leaks or crashes
// (the sanitizer build makes the second part of that a check).
TEST_F(Archive, RandomlyDamagedArchivesMountAndReadWithoutHarm) {
    pyZip(dirs.root + "/good.zip", {{"a/one", textBytes(20000, 15)},
                                    {"a/two", randomBytes(3000, 16), "stored"},
                                    {"three", textBytes(7000, 17)}});
    std::string good = readFile(dirs.root + "/good.zip");
    std::mt19937 rng(99);
    int mounted = 0;
    for (int round = 0; round < 60; round++) {
        std::string bad = good;
        for (int k = 0; k < 1 + round % 4; k++) bad[rng() % bad.size()] ^= (char)(1 + rng() % 255);
        std::string path = dirs.root + "/bad" + std::to_string(round) + ".zip";
        writeFile(path, bad);
        mounted += mount(path);
        for (const char16_t* name : {u"a/one", u"a/two", u"three"}) {
            VfsFile* f = vfsOpen(name);
            if (!f) continue;
            char buf[1500];
            int guard = 0;
            while (!vfsEof(f) && guard++ < 100) vfsRead(f, buf, sizeof buf);
            EXPECT_LT(guard, 100);
            vfsSeek(f, vfsSize(f) / 2, 0);
            vfsClose(f);
        }
        vfsShutdown();
        ASSERT_EQ(vfsInit(), 1);
        EXPECT_EQ(vfsOpenCount(), 0);
    }
    EXPECT_GT(mounted, 10);  // most damage lands in member data, so most rounds do read something
}

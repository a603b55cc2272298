// korvatron-pack: packs a folder into a ZIP archive for the engine, plain or scrambled with the engine's
// archive key, stored or deflated, with the files' own time stamps or one given stamp.
#include <zip.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "brask/vfs.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: korvatron-pack [options] FOLDER ARCHIVE\n"
    "\n"
    "Packs every file under FOLDER into ARCHIVE; member names are the paths relative to FOLDER, with \"/\".\n"
    "Members are written in name order, so the same folder gives the same archive. A symbolic link to a "
    "file\n"
    "is packed under the link's own name with the bytes of the file it names; links to folders are not\n"
    "followed, and a link that names nothing is refused. ARCHIVE itself is never packed, even inside\n"
    "FOLDER. Names beyond ASCII must be UTF-8 and are marked as such.\n"
    "\n"
    "options:\n"
    "  --scramble          scramble the archive with the engine's archive key (the engine detects it)\n"
    "  --store             store the files uncompressed (default: deflate)\n"
    "  --level N           deflate level 1..9 (default 9)\n"
    "  --stamp STAMP       give every member the time YYYY-MM-DD-HH-MM-SS (default: each file's own\n"
    "                      modification time, local time as DOS stamps are)\n"
    "  --prefix PATH       put the members under PATH/ (for example gamedata)\n"
    "  --help              this text\n";

// The archive on disk; with scrambling, every byte at offset p goes out XORed with the key at p.
struct Out {
    FILE* file;
    bool scramble;
};

voidpf ZCALLBACK outOpen(voidpf opaque, const void*, int) {
    return opaque;
}

uLong ZCALLBACK outRead(voidpf, voidpf stream, void* buf, uLong size) {
    Out* o = (Out*)stream;
    long at = ftell(o->file);
    size_t n = fread(buf, 1, size, o->file);
    if (o->scramble && n) vfsScramble(buf, (int32_t)n, (int32_t)at);
    return (uLong)n;
}

uLong ZCALLBACK outWrite(voidpf, voidpf stream, const void* buf, uLong size) {
    Out* o = (Out*)stream;
    if (!o->scramble) return (uLong)fwrite(buf, 1, size, o->file);
    long at = ftell(o->file);
    if (at < 0 || at + (long)size > INT32_MAX) return 0;
    std::vector<char> copy((const char*)buf, (const char*)buf + size);
    vfsScramble(copy.data(), (int32_t)size, (int32_t)at);
    return (uLong)fwrite(copy.data(), 1, size, o->file);
}

ZPOS64_T ZCALLBACK outTell(voidpf, voidpf stream) {
    return (ZPOS64_T)ftell(((Out*)stream)->file);
}

long ZCALLBACK outSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    int whence = origin == ZLIB_FILEFUNC_SEEK_SET   ? SEEK_SET
                 : origin == ZLIB_FILEFUNC_SEEK_CUR ? SEEK_CUR
                                                    : SEEK_END;
    return fseek(((Out*)stream)->file, (long)offset, whence) == 0 ? 0 : -1;
}

int ZCALLBACK outClose(voidpf, voidpf stream) {
    return fclose(((Out*)stream)->file) == 0 ? 0 : -1;
}

int ZCALLBACK outError(voidpf, voidpf stream) {
    return ferror(((Out*)stream)->file);
}

// DOS stamp: date in the high 16 bits, time (two-second steps) in the low 16; years 1980..2107.
bool dosStamp(int y, int mo, int d, int h, int mi, int s, uLong* out) {
    if (y < 1980 || y > 2107 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 ||
        mi > 59 || s < 0 || s > 59)
        return false;
    *out = ((uLong)(y - 1980) << 25) | ((uLong)mo << 21) | ((uLong)d << 16) | ((uLong)h << 11) |
           ((uLong)mi << 5) | (uLong)(s / 2);
    return true;
}

bool fileStamp(const fs::path& p, uLong* out) {
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return false;
    struct tm t;
    if (!localtime_r(&st.st_mtime, &t)) return false;
    // Older files than DOS can say get its first day.
    if (t.tm_year < 80) return dosStamp(1980, 1, 1, 0, 0, 0, out);
    return dosStamp(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, out);
}

int fail(const std::string& message) {
    fprintf(stderr, "korvatron-pack: %s\n", message.c_str());
    return 1;
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing past U+10FFFF.
bool validUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const uint8_t c = (uint8_t)s[i];
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (!n || i + n > s.size()) return false;
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; k++) {
            if (((uint8_t)s[i + k] >> 6) != 2) return false;
            cp = cp << 6 | ((uint8_t)s[i + k] & 0x3F);
        }
        static const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

bool hasNonAscii(const std::string& s) {
    for (char c : s)
        if ((uint8_t)c >= 0x80) return true;
    return false;
}

// A member name that an extractor would write outside its folder: absolute, or with a ".." part.
bool escapes(const std::string& name) {
    if (name.empty() || name[0] == '/') return true;
    for (size_t at = 0; at <= name.size();) {
        size_t end = name.find('/', at);
        if (end == std::string::npos) end = name.size();
        if (name.compare(at, end - at, "..") == 0) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    bool scramble = false, store = false, haveStamp = false;
    int level = 9;
    uLong stamp = 0;
    std::string prefix;
    std::vector<std::string> args;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            fputs(kUsage, stdout);
            return 0;
        } else if (a == "--scramble") {
            scramble = true;
        } else if (a == "--store") {
            store = true;
        } else if (a == "--level" && i + 1 < argc) {
            level = atoi(argv[++i]);
            if (level < 1 || level > 9) return fail("--level takes 1..9");
        } else if (a == "--stamp" && i + 1 < argc) {
            int y, mo, d, h, mi, s;
            if (sscanf(argv[++i], "%d-%d-%d-%d-%d-%d", &y, &mo, &d, &h, &mi, &s) != 6 ||
                !dosStamp(y, mo, d, h, mi, s, &stamp))
                return fail("--stamp takes YYYY-MM-DD-HH-MM-SS, years 1980..2107");
            haveStamp = true;
        } else if (a == "--prefix" && i + 1 < argc) {
            prefix = argv[++i];
            while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
            if (!prefix.empty() && escapes(prefix))
                return fail("--prefix must stay inside the archive: " + prefix);
            if (!prefix.empty()) prefix += "/";
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a + " (see --help)");
        } else {
            args.push_back(a);
        }
    }
    if (args.size() != 2) {
        fputs(kUsage, stderr);
        return 2;
    }
    fs::path folder = args[0];
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return fail("not a folder: " + args[0]);

    // The archive is opened first so that the listing can leave it out: packed into itself it would be a
    // partial copy, cut wherever the writing had got to.
    Out out = {fopen(args[1].c_str(), "w+b"), scramble};
    if (!out.file) return fail("cannot create " + args[1]);
    struct stat self;
    if (fstat(fileno(out.file), &self) != 0) {
        fclose(out.file);
        return fail("cannot stat " + args[1]);
    }

    // Names come from the walk itself, never from resolving links: a link keeps its own name, and one that
    // points outside the folder cannot turn into a "../" member.
    std::vector<std::string> names;
    std::string problem;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && problem.empty() && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code fec;
        const bool link = it->is_symlink(fec);
        if (!it->is_regular_file(fec)) {
            if (link && !it->exists(fec)) problem = "link to nothing: " + it->path().string();
            continue;
        }
        struct stat st;
        if (stat(it->path().c_str(), &st) == 0 && st.st_dev == self.st_dev && st.st_ino == self.st_ino)
            continue;
        names.push_back(it->path().lexically_relative(folder).generic_string());
    }
    if (ec) problem = "cannot list " + args[0] + ": " + ec.message();
    if (!problem.empty()) {
        fclose(out.file);
        remove(args[1].c_str());
        return fail(problem);
    }
    std::sort(names.begin(), names.end());

    zlib_filefunc64_def io = {outOpen, outRead, outWrite, outTell, outSeek, outClose, outError, &out};
    zipFile zf = zipOpen2_64(args[1].c_str(), APPEND_STATUS_CREATE, nullptr, &io);
    if (!zf) {
        fclose(out.file);
        return fail("cannot start the archive " + args[1]);
    }
    int status = 0;
    for (const std::string& rel : names) {
        std::string name = prefix + rel;
        // The engine reads names of at most 255 bytes; a longer one would never be found.
        if (name.size() > 255) {
            status = fail("name longer than 255 bytes: " + name);
            break;
        }
        if (escapes(name)) {
            status = fail("member name outside the archive's folder: " + name);
            break;
        }
        // General-purpose bit 11 tells readers the name is UTF-8; without it they take it as code page 437.
        const bool utf8 = hasNonAscii(name);
        if (utf8 && !validUtf8(name)) {
            status = fail("file name that is not UTF-8: " + name);
            break;
        }
        fs::path path = folder / rel;
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            status = fail("cannot read " + path.string());
            break;
        }
        if (bytes.size() > (size_t)INT32_MAX) {
            status = fail("file of 2 GiB or more: " + path.string());
            break;
        }
        zip_fileinfo info;
        memset(&info, 0, sizeof info);
        if (haveStamp)
            info.dosDate = stamp;
        else if (!fileStamp(path, &info.dosDate)) {
            status = fail("cannot stat " + path.string());
            break;
        }
        int method = store ? 0 : Z_DEFLATED;
        if (zipOpenNewFileInZip4_64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                    store ? 0 : level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                    nullptr, 0, 0, utf8 ? 1 << 11 : 0, 0) != ZIP_OK ||
            (!bytes.empty() && zipWriteInFileInZip(zf, bytes.data(), (unsigned)bytes.size()) != ZIP_OK) ||
            zipCloseFileInZip(zf) != ZIP_OK) {
            status = fail("cannot write " + name);
            break;
        }
    }
    if (zipClose(zf, nullptr) != ZIP_OK && status == 0) status = fail("cannot finish " + args[1]);
    if (status == 0)
        printf("korvatron-pack: %zu files into %s%s\n", names.size(), args[1].c_str(),
               scramble ? " (scrambled)" : "");
    return status;
}

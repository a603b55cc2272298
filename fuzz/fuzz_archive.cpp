// Archives: the input mounted as a ZIP file, once as it is and once scrambled, every member named in its
// central directory opened, read to its end and read again after seeks; then every archive closed.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "brask/vfs.h"
#include "fuzz_support.h"

namespace {

// The names of the central directory records found anywhere in the bytes: enough to reach every member the
// mount could have recorded, without trusting the archive's own directory.
void collectNames(const std::vector<uint8_t>& b, std::vector<std::string>* names) {
    for (size_t at = 0; at + 46 <= b.size(); at++) {
        if (b[at] != 'P' || b[at + 1] != 'K' || b[at + 2] != 1 || b[at + 3] != 2) continue;
        const size_t len = b[at + 28] | (b[at + 29] << 8);
        if (len == 0 || len > 255 || at + 46 + len > b.size()) continue;
        std::string name(reinterpret_cast<const char*>(&b[at + 46]), len);
        // A name that leaves the folder, or a device, would be opened as a loose file instead.
        if (name.find('\0') != std::string::npos || name[0] == '/' || name.find("..") != std::string::npos)
            continue;
        names->push_back(name);
        if (names->size() >= 64) return;
    }
}

void readMember(const std::u16string& name) {
    VfsFile* f = vfsOpen(name.c_str());
    if (!f) return;
    uint8_t buf[4096];
    const int32_t size = vfsSize(f);
    int32_t total = 0;
    // A few kilobytes of deflate can claim megabytes: past the first blocks, inflating more walks no new
    // path, and would cost the fuzzer most of its time.
    for (int guard = 0; guard < 16 && !vfsEof(f); guard++) {
        const int32_t n = vfsRead(f, buf, sizeof buf);
        if (n <= 0) break;
        total += n;
    }
    if (total > size) {
        fprintf(stderr, "member read %d bytes past its size %d\n", total, size);
        abort();
    }
    // Backwards and from the end: members behind a deflate stream are read again from their start.
    if (vfsSeek(f, size / 2, 0)) vfsRead(f, buf, 100);
    if (vfsSeek(f, 10, 2)) vfsRead(f, buf, sizeof buf);
    if (vfsSeek(f, 1, 0)) vfsRead(f, buf, 7);
    vfsTell(f);
    vfsClose(f);
}

// One run of the file system with `file` mounted: every member read and seeked, then mounting by pattern.
void mountAndRead(const char* file, const std::vector<std::string>& names) {
    if (vfsInit() != 1) abort();
    if (vfsMountArchive(fuzz::wide(fuzz::path(file)).c_str()) == 1) {
        // A name the directory does not hold would be looked for as a loose file, which is not this
        // target's reader.
        for (const std::string& name : names)
            if (vfsFindEntry(fuzz::wide(name).c_str())) readMember(fuzz::wide(name));
        // Mounting again by pattern finds the same file already mounted.
        vfsMount(u"*.zip");
    }
    vfsShutdown();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input;
    std::vector<uint8_t> plain(data, data + size), flipped = plain;
    if (!flipped.empty()) vfsScramble(flipped.data(), int32_t(flipped.size()), 0);
    std::vector<std::string> names;
    collectNames(plain, &names);
    collectNames(flipped, &names);
    std::sort(names.begin(), names.end());  // a name found both ways is read once
    names.erase(std::unique(names.begin(), names.end()), names.end());
    // The input as it is, and scrambled with the archive key: whichever of the two is a plain archive, the
    // other is the same archive scrambled, so both readers see every archive the fuzzer makes.
    fuzz::writeInput("in.zip", plain.data(), plain.size());
    mountAndRead("in.zip", names);
    fuzz::writeInput("in.zip", flipped.data(), flipped.size());
    mountAndRead("in.zip", names);
    return 0;
}

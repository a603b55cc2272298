// Per-test folders under the headless backend, so parallel CTest runs never share a log or a probe file.
#include "support/test_support.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "brask/log.h"
#include "brask/vfs.h"
#include "platform/headless.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

TestFolders::TestFolders() {
    static std::atomic<int> counter{0};
    root =
        (fs::temp_directory_path() / ("korva-" + std::to_string(getpid()) + "-" + std::to_string(counter++)))
            .string();
    fs::remove_all(root);
    prog = root + "/prog";
    docs = root + "/docs";
    fs::create_directories(prog);
    fs::create_directories(docs);
    headlessReset();
    headlessSetProgramPath((prog + "/korvatron").c_str());
    headlessSetDocumentsFolder(docs.c_str());
    vfsResetFolders();
    logReset();
}

TestFolders::~TestFolders() {
    headlessReset();
    vfsResetFolders();
    logReset();
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool fileExists(const std::string& path) {
    return fs::exists(path);
}

void writeFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::u16string u16(const std::string& utf8) {
    std::u16string out(utf8.size() + 1, u'\0');
    if (!platFromUtf8(utf8.c_str(), out.data(), (int32_t)out.size())) return u"";
    out.resize(std::char_traits<char16_t>::length(out.c_str()));
    return out;
}

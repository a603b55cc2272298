// The shared POSIX services' folders: where the player's documents folder lies on a desktop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/headless.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

// Sets or clears an environment variable for the life of the object, then puts the old value back.
struct EnvVar {
    EnvVar(const char* name, const char* value) : name(name) {
        const char* old = getenv(name);
        had = old != nullptr;
        if (had) saved = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (had)
            setenv(name, saved.c_str(), 1);
        else
            unsetenv(name);
    }
    const char* name;
    bool had;
    std::string saved;
};

std::string documents() {
    char16_t wide[PLAT_PATH_MAX];
    char utf8[PLAT_PATH_MAX * 3];
    if (!platDocumentsFolder(wide, PLAT_PATH_MAX) || !platToUtf8(wide, utf8, sizeof utf8)) return "<none>";
    return utf8;
}

}  // namespace

TEST(PosixFolders, DocumentsFollowAnAbsoluteXdgDataHomeElseHome) {
    TestFolders dirs;
    headlessSetDocumentsFolder(nullptr);  // the real rule, not the test's folder
    EnvVar home("HOME", (dirs.root + "/home").c_str());

    {
        EnvVar xdg("XDG_DATA_HOME", (dirs.root + "/xdg/").c_str());
        EXPECT_EQ(documents(), dirs.root + "/xdg/korvatron");
        EXPECT_TRUE(fileExists(dirs.root + "/xdg/korvatron"));  // made when missing, parents too
    }
    // Relative or empty values are ignored, as the XDG rule says; so is an unset one.
    for (const char* ignored : {"relative/data", "", static_cast<const char*>(nullptr)}) {
        EnvVar xdg("XDG_DATA_HOME", ignored);
        EXPECT_EQ(documents(), dirs.root + "/home/.local/share/korvatron") << (ignored ? ignored : "unset");
    }
    EXPECT_FALSE(fileExists("relative/data"));
    {
        EnvVar xdg("XDG_DATA_HOME", nullptr);
        EnvVar noHome("HOME", "");
        EXPECT_EQ(documents(), "<none>");
    }
}

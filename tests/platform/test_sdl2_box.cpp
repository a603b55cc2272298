// The desktop backend's message box on a real X server (Xvfb): modal over the program's window, and what
// closing it with the window manager's close button answers. The test runs itself again under xvfb-run,
// where a child process plays the window manager.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/sdl2.h"

// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

int g_instance;

intptr_t quiet(PlatWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

// The top-level window titled `title` (as WM_NAME or the UTF-8 _NET_WM_NAME), waited for up to five
// seconds; 0 when it never comes.
Window findTitled(Display* d, const char* title) {
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
    for (int tries = 0; tries < 500; tries++) {
        Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(d, root, &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; i++) {
                Atom type = 0;
                int format = 0;
                unsigned long items = 0, left = 0;
                unsigned char* name = nullptr;
                if (XGetWindowProperty(d, children[i], netName, 0, 256, False, utf8, &type, &format, &items,
                                       &left, &name) == Success &&
                    name) {
                    if (!strcmp(reinterpret_cast<char*>(name), title)) found = children[i];
                    XFree(name);
                }
            }
            if (children) XFree(children);
        }
        if (found) return found;
        usleep(10000);
    }
    return 0;
}

// What the window manager does with the box titled `title`, in a process of its own (SDL forks to show a
// box, which a second thread would make unsafe): checks whose transient it is and closes it as its close
// button would. Exits 0 when done, 1 when no box came, 2 when it was not the window's transient.
[[noreturn]] void closeBox(const char* title, Window owner) {
    Display* d = XOpenDisplay(nullptr);
    const Window box = d ? findTitled(d, title) : 0;
    if (!box) _exit(1);
    Window transientFor = 0;
    XGetTransientForHint(d, box, &transientFor);
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = box;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, box, False, NoEventMask, &e);
    XCloseDisplay(d);
    _exit(transientFor == owner ? 0 : 2);
}

void writeSkip(const char* path) {
    if (FILE* f = fopen(path, "w")) fclose(f);
}

}  // namespace

TEST(Sdl2MessageBox, IsModalOverTheWindowAndClosingItAnswersItsOnlyButton) {
    const char* skipFile = getenv("KORVA_XVFB_SKIP");
    if (!skipFile) {
        if (std::system("command -v xvfb-run > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "xvfb-run is not installed";
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        ASSERT_GT(n, 0);
        self[n] = 0;
        const std::string skipped = std::string(self) + ".skipped." + std::to_string(getpid());
        // SDL's X11 driver leaves libdbus's blocks to the end of the process, which a sanitizer build would
        // report as the child's leaks; the engine's own blocks are still counted by the test main.
        const std::string cmd = "KORVA_XVFB_SKIP='" + skipped +
                                "' ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" "
                                "SDL_VIDEODRIVER=x11 xvfb-run -a '" +
                                self + "' --gtest_filter=Sdl2MessageBox.* > /dev/null 2>&1";
        const int status = std::system(cmd.c_str());
        if (access(skipped.c_str(), F_OK) == 0) {
            unlink(skipped.c_str());
            GTEST_SKIP() << "SDL cannot show a message box on Xvfb here (its X11 box wants the fonts of "
                            "xfonts-base)";
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "under Xvfb: " << cmd;
        return;
    }

    platSetBackend(&platSdl2);
    PlatWindowClass cls = {u"BraskWin", 3, quiet, &g_instance, 0};
    ASSERT_EQ(1, platDefineClass(&cls));
    const PlatWindow w =
        platCreateWindow(u"BraskWin", u"Korvatron", 0x80000000u, 0, 0, 240, 320, &g_instance);
    ASSERT_NE(0, w);
    platShowWindow(w, 1);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(static_cast<SDL_Window*>(platSdl2Window()), &info));
    ASSERT_EQ(SDL_SYSWM_X11, info.subsystem);

    // OK alone: closing it is taking the only answer it has. OK and Cancel: closing it is Cancel.
    for (int32_t kind : {0, 1}) {
        const pid_t wm = fork();
        if (wm == 0) closeBox("KorvaBox", info.info.x11.window);
        ASSERT_GT(wm, 0);
        const int answer = platMessageBox(u"Closed by the window manager", u"KorvaBox", kind);
        int status = 0;
        if (answer == 0) {
            kill(wm, SIGKILL);
            waitpid(wm, &status, 0);
            writeSkip(skipFile);
            GTEST_SKIP() << "no box could be shown";
        }
        ASSERT_EQ(wm, waitpid(wm, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(0, WEXITSTATUS(status)) << kind << ": 1 no box came, 2 not over the window";
        EXPECT_EQ(kind == 1 ? 2 : 1, answer) << kind;
    }
    platSdl2Shutdown();
    platSetBackend(&platHeadless);
}

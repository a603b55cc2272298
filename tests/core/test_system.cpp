// System services, the tick counter, and the entry point's crash report in a child process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "brask/app.h"
#include "brask/log.h"
#include "brask/system.h"
#include "platform/headless.h"
#include "support/test_support.h"

TEST(System, ExceptionNames) {
    EXPECT_STREQ(sysExceptionName(0xC0000005u), "Access Violation");
    EXPECT_STREQ(sysExceptionName(0x80000002u), "Datatype Misalignment");
    EXPECT_STREQ(sysExceptionName(0xE06D7363u), "Microsoft C++ Exception");
    EXPECT_STREQ(sysExceptionName(0xC00000FDu), "Stack Overflow");
    EXPECT_STREQ(sysExceptionName(0x12345678u), "Unknown exception type");
    EXPECT_STREQ(sysExceptionName(SYS_EXC_UNKNOWN), "Unknown exception type");
}

TEST(System, MessageBoxAnswersAndCaption) {
    TestFolders dirs;
    headlessQueueMessageBoxAnswer(2);
    headlessQueueMessageBoxAnswer(1);
    headlessQueueMessageBoxAnswer(0);
    EXPECT_EQ(sysMessageBox(u"Quit?", 1), 2);
    appSetTitle(u"Korvatron");
    EXPECT_EQ(sysMessageBox(u"Quit?", 1), 1);
    EXPECT_EQ(sysMessageBox(u"Info", 7), 0);
    EXPECT_EQ(sysMessageBox(nullptr, 1), 0);
    const char *text, *caption;
    int32_t kind;
    ASSERT_TRUE(headlessMessageBox(0, &text, &caption, &kind));
    EXPECT_STREQ(caption, "BraskApp");
    ASSERT_TRUE(headlessMessageBox(2, &text, &caption, &kind));
    EXPECT_STREQ(text, "Info");
    EXPECT_STREQ(caption, "Korvatron");
    EXPECT_EQ(kind, 0);  // any kind but 1 shows OK alone
    EXPECT_EQ(headlessMessageBoxCount(), 3);
    appSetTitle(u"BraskApp");
}

TEST(System, TitlesKeepThirtyCharacters) {
    appSetTitle(u"123456789012345678901234567890XYZ");
    EXPECT_EQ(std::u16string(appName()), u"123456789012345678901234567890");
    appSetTitle(nullptr);
    EXPECT_EQ(std::u16string(appName()), u"123456789012345678901234567890");
    appSetTitle(u"BraskApp");
}

TEST(System, InfoReportNamesLinuxAndTheSystemTexts) {
    TestFolders dirs;
    sysInit(nullptr);
    const SysInfo* s = sysGetInfo();
    EXPECT_EQ(s->platform, 3);
    EXPECT_GT(s->major, 0);
    headlessSetSystemText(0, "Acme Pocket");
    sysLogInfo();
    std::string expected = "System info:\nLinux " + std::to_string(s->major) + "." +
                           std::to_string(s->minor) + ", build " + std::to_string(s->build) +
                           "\nWinCE OEM string: Acme Pocket\n";
    EXPECT_EQ(readFile(dirs.prog + "/Brask.log"), expected);
}

TEST(Timer, TicksFollowTheCounterAndSleepWaits) {
    headlessReset();
    headlessSetCounter(1, 250);  // a quarter millisecond per read
    appInitTimer();
    uint32_t t0 = appGetTicks();
    appSleep(40);
    uint32_t t1 = appGetTicks();
    EXPECT_GE(t1 - t0, 40u);
    EXPECT_LT(t1 - t0, 45u);
    // One read per call at a quarter millisecond each: appSeconds reads the ticks once.
    uint32_t before = appGetTicks();
    float seconds = appSeconds();
    EXPECT_GE(seconds, (float)before * 0.001f);
    EXPECT_LE(seconds, (float)(before + 1) * 0.001f);
    headlessReset();
    appInitTimer();
}

TEST(Timer, WithoutACounterTicksStayZeroAndSleepStillReturns) {
    headlessReset();
    headlessSetCounter(0, 0);
    appInitTimer();
    EXPECT_EQ(appGetTicks(), 0u);
    uint64_t before = headlessCounterValue();
    appSleep(30);  // must not wait forever for ticks that never come
    EXPECT_EQ(appGetTicks(), 0u);
    EXPECT_EQ(headlessCounterValue() - before, 30000u);  // slept through the system instead
    headlessReset();
    appInitTimer();
}

namespace {

struct ChildResult {
    int exitCode = -1;  // when it exited
    int signal = 0;     // when a signal ended it
    std::string log;
};

// Runs a copy of the child program from the test's own program folder, so its log lands there.
ChildResult runChild(const TestFolders& dirs, const char* mode) {
    std::string exe = dirs.prog + "/crash_child";
    std::filesystem::copy_file(CRASH_CHILD_PATH, exe, std::filesystem::copy_options::overwrite_existing);
    pid_t pid = fork();
    if (pid == 0) {
        // Under the sanitizers, leave the fatal signals to the program's own handler.
        setenv("ASAN_OPTIONS",
               "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:"
               "allow_user_segv_handler=1:detect_leaks=0:use_sigaltstack=0",
               1);
        setenv("UBSAN_OPTIONS", "halt_on_error=0", 1);
        execl(exe.c_str(), exe.c_str(), mode, (char*)nullptr);
        _exit(127);
    }
    ChildResult r;
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.log = readFile(dirs.prog + "/Brask.log");
    return r;
}

}  // namespace

TEST(Entry, GameMainsResultIsTheExitCode) {
    TestFolders dirs;
    ChildResult r = runChild(dirs, "ok");
    EXPECT_EQ(r.exitCode, 7);
    EXPECT_EQ(r.log, "child started\n");
}

TEST(Entry, LeakReportRunsAtExit) {
    TestFolders dirs;
    ChildResult r = runChild(dirs, "leak");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.log, "child started\nMemory leaks detected, total unfreed memory: 123\n");
}

TEST(Entry, FatalSignalsAreReportedByNameAndStillEndTheProcess) {
    struct Case {
        const char* mode;
        int signal;
        const char* name;
    };
    const Case cases[] = {
        {"segv", SIGSEGV, "Access Violation"},    {"div0", SIGFPE, "Integer Divide by Zero"},
        {"ill", SIGILL, "Illegal Instruction"},   {"trap", SIGTRAP, "Breakpoint"},
        {"bus", SIGBUS, "Datatype Misalignment"}, {"abort", SIGABRT, "Unknown exception type"},
        {"stack", SIGSEGV, "Stack Overflow"},
    };
    for (const Case& c : cases) {
        TestFolders dirs;
        ChildResult r = runChild(dirs, c.mode);
        EXPECT_EQ(r.signal, c.signal) << c.mode;
        EXPECT_EQ(r.log, std::string("child started\nUnhandled exception occured: ") + c.name + "\n")
            << c.mode;
    }
}

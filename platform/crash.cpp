// The last-chance handler for fatal signals, and the signal-safe file append it writes its report with.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "brask/system.h"
#include "platform/platform.h"

// A browser has no signals to catch: a trap in WebAssembly ends the program with its stack in the console,
// which is the report there. The stub keeps the entry point the same on every target.
#ifdef __EMSCRIPTEN__

int platInstallCrashHandler(PlatCrashReport) {
    return 0;
}

#else

namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT};

PlatCrashReport g_report;
uintptr_t g_stackLow, g_stackHigh;  // the main thread's stack, read at install
alignas(16) unsigned char g_altStack[64 * 1024];

// A fault just below the lowest address the stack may reach is the stack running into its guard.
bool inStackGuard(uintptr_t addr) {
    const uintptr_t margin = 256 * 1024;
    return g_stackLow && addr < g_stackHigh && addr + margin >= g_stackLow && addr < g_stackLow + margin;
}

uint32_t codeFor(int sig, const siginfo_t* info) {
    switch (sig) {
        case SIGSEGV:
            return inStackGuard((uintptr_t)info->si_addr) ? SYS_EXC_STACK_OVERFLOW : SYS_EXC_ACCESS_VIOLATION;
        case SIGBUS:
            return SYS_EXC_MISALIGNMENT;
        case SIGILL:
            return SYS_EXC_ILLEGAL_INSTRUCTION;
        case SIGTRAP:
            return SYS_EXC_BREAKPOINT;
        case SIGFPE:
            switch (info->si_code) {
                case FPE_INTDIV:
                    return SYS_EXC_INT_DIVIDE_BY_ZERO;
                case FPE_INTOVF:
                    return SYS_EXC_INT_OVERFLOW;
                case FPE_FLTDIV:
                    return SYS_EXC_FLT_DIVIDE_BY_ZERO;
                case FPE_FLTOVF:
                    return SYS_EXC_FLT_OVERFLOW;
                case FPE_FLTUND:
                    return SYS_EXC_FLT_UNDERFLOW;
                case FPE_FLTRES:
                    return SYS_EXC_FLT_INEXACT;
                case FPE_FLTINV:
                    return SYS_EXC_FLT_INVALID;
                case FPE_FLTSUB:
                    return SYS_EXC_ARRAY_BOUNDS;
                default:
                    return SYS_EXC_INT_DIVIDE_BY_ZERO;
            }
        default:
            return SYS_EXC_UNKNOWN;
    }
}

void onFatalSignal(int sig, siginfo_t* info, void*) {
    if (g_report) g_report(codeFor(sig, info));
    // SA_RESETHAND restored the default action; raising again ends the process the way the signal would have.
    raise(sig);
}

void readStackBounds() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* addr = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0) {
        g_stackLow = (uintptr_t)addr;
        g_stackHigh = (uintptr_t)addr + size;
    }
    pthread_attr_destroy(&attr);
}

}  // namespace

int platInstallCrashHandler(PlatCrashReport report) {
    g_report = report;
    readStackBounds();
    stack_t ss = {};
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof g_altStack;
    if (sigaltstack(&ss, nullptr) != 0) return 0;
    struct sigaction sa = {};
    sa.sa_sigaction = onFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    int ok = 1;
    for (int sig : kSignals)
        if (sigaction(sig, &sa, nullptr) != 0) ok = 0;
    return ok;
}

#endif  // __EMSCRIPTEN__

int platAppendRaw(const char* utf8Path, const char* const* pieces, int truncate) {
    if (!utf8Path || !utf8Path[0] || !pieces) return 0;
    int fd = open(utf8Path, O_WRONLY | O_CREAT | (truncate ? O_TRUNC : O_APPEND), 0644);
    if (fd < 0) return 0;
    int ok = 1;
    for (int i = 0; pieces[i]; i++) {
        size_t n = strlen(pieces[i]);
        const char* p = pieces[i];
        while (n > 0) {
            ssize_t w = write(fd, p, n);
            if (w <= 0) {
                ok = 0;
                break;
            }
            p += w;
            n -= (size_t)w;
        }
    }
    close(fd);
    return ok;
}

void platDebugBreak() {
    // TracerPid in /proc/self/status is nonzero while a debugger is attached.
    int fd = open("/proc/self/status", O_RDONLY);
    if (fd < 0) return;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) return;
    buf[n] = 0;
    const char* t = strstr(buf, "TracerPid:");
    if (!t) return;
    t += 10;
    while (*t == ' ' || *t == '\t') t++;
    if (*t != '0') raise(SIGTRAP);
}

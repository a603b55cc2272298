// System services: OS identity, crash report, message box, sleep, the system-information report.
#pragma once
#include <cstdint>

// What the entry point records as the program's instance: its command line.
struct SysCommandLine {
    int argc;
    char** argv;
};

struct SysInfo {
    void* instance;    // borrowed: a SysCommandLine from the entry point
    int32_t platform;  // 1 Windows 95 family, 2 NT, 11 CE, 3 Linux, 4 Mac OS
    int32_t major, minor, build;
};

void sysInit(void* instance);
const SysInfo* sysGetInfo();
const char* sysExceptionName(uint32_t code);
int32_t sysMessageBox(const char16_t* text, int32_t kind);  // 0 not shown, 1 OK, 2 Cancel
void sysSleep(uint32_t ms);
void sysLogInfo();

// Exception codes the crash filter reports for the fatal signals (the handheld system's own numbers).
enum : uint32_t {
    SYS_EXC_MISALIGNMENT = 0x80000002u,
    SYS_EXC_BREAKPOINT = 0x80000003u,
    SYS_EXC_ACCESS_VIOLATION = 0xC0000005u,
    SYS_EXC_ARRAY_BOUNDS = 0xC000008Cu,
    SYS_EXC_FLT_DIVIDE_BY_ZERO = 0xC000008Eu,
    SYS_EXC_FLT_INEXACT = 0xC000008Fu,
    SYS_EXC_FLT_INVALID = 0xC0000090u,
    SYS_EXC_FLT_OVERFLOW = 0xC0000091u,
    SYS_EXC_FLT_UNDERFLOW = 0xC0000093u,
    SYS_EXC_INT_DIVIDE_BY_ZERO = 0xC0000094u,
    SYS_EXC_INT_OVERFLOW = 0xC0000095u,
    SYS_EXC_ILLEGAL_INSTRUCTION = 0xC000001Du,
    SYS_EXC_STACK_OVERFLOW = 0xC00000FDu,
    SYS_EXC_UNKNOWN = 0xFFFFFFFFu,  // outside the table: "Unknown exception type"
};

// Finds the log's path and installs the last-chance handler for the fatal signals; the entry point calls it
// before gameMain.
void sysInstallCrashFilter();

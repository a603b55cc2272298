// System services: OS identity, exception names and the crash report, the message box, the info report.
#include "brask/system.h"

#include "brask/app.h"
#include "brask/log.h"
#include "platform/platform.h"

namespace {

SysInfo g_sys;

struct ExceptionName {
    uint32_t code;
    const char* name;
};

// Searched in this order; the first equal code wins.
const ExceptionName kExceptionNames[] = {
    {0x80000002u, "Datatype Misalignment"},
    {0x80000003u, "Breakpoint"},
    {0xC0000005u, "Access Violation"},
    {0x80000004u, "Single Step"},
    {0xC000008Cu, "Array Bounds Exceeded"},
    {0xC000008Du, "Float Denormal Operand"},
    {0xC000008Eu, "Float Divide by Zero"},
    {0xC000008Fu, "Float Inexact Result"},
    {0xC0000090u, "Float Invalid Operation"},
    {0xC0000091u, "Float Overflow"},
    {0xC0000092u, "Float Stack Check"},
    {0xC0000093u, "Float Underflow"},
    {0xC0000094u, "Integer Divide by Zero"},
    {0xC0000095u, "Integer Overflow"},
    {0xC0000096u, "Privileged Instruction"},
    {0xC0000006u, "In Page Error"},
    {0xC000001Du, "Illegal Instruction"},
    {0xC0000025u, "Noncontinuable Exception"},
    {0xC00000FDu, "Stack Overflow"},
    {0xC0000026u, "Invalid Disposition"},
    {0x80000001u, "Guard Page Violation"},
    {0xC0000008u, "Invalid Handle"},
    {0x40010005u, "Control-C"},
    {0x40010008u, "Control-Break"},
    {0xC0000017u, "No Memory"},
    {0xC0000142u, "DLL Initialization Failed"},
    {0xE06D7363u, "Microsoft C++ Exception"},
};
static_assert(sizeof kExceptionNames / sizeof kExceptionNames[0] == 27, "the exception table has 27 rows");

void reportCrash(uint32_t code) {
    logCrashLine(sysExceptionName(code));
}

}  // namespace

void sysInit(void* instance) {
    g_sys.instance = instance;
    int32_t major = 0, minor = 0, build = 0;
    platOsVersion(&major, &minor, &build);
    // The version query here is uname's: the platform is Linux, stored as such (never mapped to CE), and like
    // every platform but NT and CE it keeps only the low 16 bits of the build number.
    g_sys.platform = 3;
    g_sys.major = major;
    g_sys.minor = minor;
    g_sys.build = build & 0xFFFF;
}

const SysInfo* sysGetInfo() {
    return &g_sys;
}

const char* sysExceptionName(uint32_t code) {
    for (const ExceptionName& e : kExceptionNames)
        if (e.code == code) return e.name;
    return "Unknown exception type";
}

int32_t sysMessageBox(const char16_t* text, int32_t kind) {
    if (!text) return 0;
    return platMessageBox(text, appName(), kind == 1 ? 1 : 0);
}

void sysSleep(uint32_t ms) {
    platSleep(ms);
}

void sysInstallCrashFilter() {
    logPrepare();
    platInstallCrashHandler(reportCrash);
}

static const char* osName(const SysInfo* s) {
    switch (s->platform) {
        case 11:
            return "Windows CE";
        case 3:
            return "Linux";
        case 4:
            return "MAC OS";
        default:
            return "Unknown";
        case 1:
        case 2:
            return "Microsoft Windows";
    }
}

static const char* windowsEdition(const SysInfo* s) {
    if (s->platform == 2) {
        if (s->major == 3 || s->major == 4) return " NT";
        if (s->major == 5) return s->minor == 0 ? " 2000" : s->minor == 1 ? " XP" : " Unknown";
        return " Unknown";
    }
    if (s->platform == 1)
        return s->minor == 0 ? " 95" : s->minor == 10 ? " 98" : s->minor == 90 ? " ME" : " Unknown";
    return nullptr;
}

void sysLogInfo() {
    logWrite("System info:", LOG_EOL);
    logWrite(osName(&g_sys), 0);
    if (const char* edition = windowsEdition(&g_sys)) logWrite(edition, 0);
    logWrite(" ", 0);
    logWrite(&g_sys.major, LOG_INT);
    logWrite(".", 0);
    logWrite(&g_sys.minor, LOG_INT);
    logWrite(", build ", 0);
    logWrite(&g_sys.build, LOG_INT | LOG_EOL);
    char16_t text[200];  // the 400-byte buffer of the system query
    if (platSystemText(0, text, 200)) {
        logWrite("WinCE OEM string: ", 0);
        logWrite(text, LOG_WIDE | LOG_EOL);
    }
    if (platSystemText(1, text, 200)) {
        logWrite("WinCE platform: ", 0);
        logWrite(text, LOG_WIDE | LOG_EOL);
    }
}

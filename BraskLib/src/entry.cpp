// The program's entry point: system information, the tick counter, then the game inside the crash filter.
#include "brask/app.h"
#include "brask/system.h"

int main(int argc, char** argv) {
    static SysCommandLine commandLine;
    commandLine.argc = argc;
    commandLine.argv = argv;
    sysInit(&commandLine);
    appInitTimer();
    sysInstallCrashFilter();
    // The leak report was registered by the allocator's static initialiser and runs after this returns.
    return gameMain();
}

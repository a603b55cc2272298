// The command line every engine program takes, as one record: what the entry point parses before anything
// starts. Kept apart from main() so that every refusal can be checked without running a program.
#pragma once
#include <cstdint>

#include "platform/session.h"

enum { ENTRY_RUN = 0, ENTRY_HELP = 1, ENTRY_REFUSED = 2, ENTRY_PROBLEM_MAX = 256 };

struct EntryShot {
    int32_t present;   // 0: the first present
    const char* path;  // borrowed from argv
};

// Strings are borrowed from argv.
struct EntryArgs {
    int32_t outcome;                  // ENTRY_RUN, ENTRY_HELP or ENTRY_REFUSED
    char problem[ENTRY_PROBLEM_MAX];  // refused: one line (no line end) saying what was wrong
    int32_t headless;
    const char* script;      // headless input script; null none
    const char* screenshot;  // headless: the last presented frame, written at the end; null none
    int32_t scale;           // 1..16, default 2
    int32_t seedGiven;
    uint32_t seed;
    int32_t game;        // 1..3; 0 none
    const char* load;    // a game file to load; null none
    const char* record;  // the record file; null none
    const char* data;    // the player's folder; null none
    EntryShot shots[PLAT_MAX_SHOTS];
    int32_t shotCount;
    int32_t firstArgument;  // argv[firstArgument..argc) are the arguments that are not options, for the game
};

// Parses the options with getopt_long ("--opt value" and "--opt=value") into a record. An
// unknown option, a missing or bad value, or an option that needs --headless without it is refused. argv is
// reordered: the arguments that are not options (and all after "--") end up last, in their order.
EntryArgs entryParseArgs(int argc, char** argv);

// The program's file name without its folder ("program" when there is none), as its messages name it.
const char* entryProgramName(const char* program);
// The one-line usage (with its line end) and the whole help, for the program named `program`.
void entryUsage(const char* program, char* out, int32_t capacity);
const char* entryHelpBody();  // what follows the usage line in --help

// The entry point's command line: getopt_long over the options every engine program takes, with strict
// values.
#include "entry_args.h"

#include <getopt.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

enum : int {
    OPT_HEADLESS = 256,
    OPT_SCRIPT,
    OPT_SCREENSHOT,
    OPT_SCREENSHOT_AT,
    OPT_SCALE,
    OPT_SEED,
    OPT_GAME,
    OPT_LOAD,
    OPT_RECORD,
    OPT_DATA,
    OPT_HELP,
};

const option kOptions[] = {
    {"headless", no_argument, nullptr, OPT_HEADLESS},
    {"script", required_argument, nullptr, OPT_SCRIPT},
    {"screenshot", required_argument, nullptr, OPT_SCREENSHOT},
    {"screenshot-at", required_argument, nullptr, OPT_SCREENSHOT_AT},
    {"scale", required_argument, nullptr, OPT_SCALE},
    {"seed", required_argument, nullptr, OPT_SEED},
    {"game", required_argument, nullptr, OPT_GAME},
    {"load", required_argument, nullptr, OPT_LOAD},
    {"record", required_argument, nullptr, OPT_RECORD},
    {"data", required_argument, nullptr, OPT_DATA},
    {"help", no_argument, nullptr, OPT_HELP},
    {nullptr, 0, nullptr, 0},
};
// The table is in the enum's order: an option's row is its code minus OPT_HEADLESS.
static_assert(sizeof kOptions / sizeof kOptions[0] == OPT_HELP - OPT_HEADLESS + 2, "one row per option");

EntryArgs refuse(EntryArgs* a, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(a->problem, sizeof a->problem, format, args);
    va_end(args);
    a->outcome = ENTRY_REFUSED;
    return *a;
}

// Decimal digits only, at most `max`: no sign, no spaces, no base prefixes (strtoul would take "-1" and
// " 7" and read "010" as eight).
bool parseNumber(const char* s, uint64_t max, uint64_t* out) {
    if (!s || !*s) return false;
    uint64_t v = 0;
    for (; *s; s++) {
        if (*s < '0' || *s > '9') return false;
        v = v * 10 + uint64_t(*s - '0');
        if (v > max) return false;
    }
    *out = v;
    return true;
}

const char kHelpBody[] =
    "Options (--opt value or --opt=value):\n"
    "  --scale N               the window's whole scale factor, 1 to 16 (default 2)\n"
    "  --headless              no window: the scriptable stand-in used by tests and automation\n"
    "  --script FILE           headless: a frame-keyed input script, or a record to replay\n"
    "  --screenshot FILE       headless: a PNG of the last presented frame, written at the end\n"
    "  --screenshot-at N:FILE  a PNG of the frame presented as frame N (0: the first); repeatable\n"
    "  --record FILE           write the input this run takes as a script that replays it\n"
    "  --seed N                the random seed (1 to 4294967295; 0: the clock); a record carries it\n"
    "  --game 1|2|3            start that game at once\n"
    "  --load FILE             load a saved game file at once\n"
    "  --data DIR              keep the player's files in DIR (created when missing)\n"
    "  --help                  this text\n"
    "Desktop keys: arrows = UP, DOWN, LEFT, RIGHT; Z = BUT.A, X = BUT.B, C = BUT.C, V = BUT.D, B = BUT.E,\n"
    "  Enter = BUT.START; the left mouse button is the stylus. Closing the window quits.\n"
    "Script lines: <frame> tap|down|move|up X Y, <frame> key|keydown|keyup VK, <frame> focus 0|1,\n"
    "  <frame> close, <frame> answer N; '#' starts a comment. What frame F holds arrives at the first\n"
    "  pump once F frames have ended. A record starts with 'seed N' and 'file NAME HEX' lines: replayed,\n"
    "  the files are written into --data DIR, or into a fresh temporary folder, before the program starts.\n";

}  // namespace

const char* entryProgramName(const char* program) {
    const char* slash = program ? strrchr(program, '/') : nullptr;
    return slash ? slash + 1 : program && *program ? program : "program";
}

void entryUsage(const char* program, char* out, int32_t capacity) {
    const char* name = entryProgramName(program);
    snprintf(out, size_t(capacity),
             "Usage: %s [--headless] [--script FILE] [--screenshot FILE] [--screenshot-at N:FILE]... "
             "[--scale N] [--seed N] [--game 1|2|3] [--load FILE] [--record FILE] [--data DIR] [--help]\n",
             name);
}

const char* entryHelpBody() {
    return kHelpBody;
}

EntryArgs entryParseArgs(int argc, char** argv) {
    EntryArgs args = {};
    EntryArgs* a = &args;
    a->scale = 2;
    // ":": a missing value is told apart from an unknown option. optind 0 starts getopt afresh (and lets it
    // move the arguments that are not options behind the options, where the game's command line starts).
    optind = 0;
    opterr = 0;
    uint64_t v = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, ":", kOptions, nullptr);
        if (c == -1) break;
        const char* value = optarg;
        switch (c) {
            case OPT_HEADLESS:
                a->headless = 1;
                break;
            case OPT_SCREENSHOT_AT: {
                const char* colon = strchr(value, ':');
                char number[16] = {};
                const size_t digits = colon ? size_t(colon - value) : 0;
                if (digits && digits < sizeof number) memcpy(number, value, digits);
                if (!colon || !digits || digits >= sizeof number || !parseNumber(number, INT32_MAX - 1, &v) ||
                    !colon[1])
                    return refuse(a, "--screenshot-at wants FRAME:FILE with a frame from 0 up, not '%s'",
                                  value);
                if (a->shotCount == PLAT_MAX_SHOTS)
                    return refuse(a, "at most %d --screenshot-at options", int(PLAT_MAX_SHOTS));
                a->shots[a->shotCount++] = {int32_t(v), colon + 1};
                break;
            }
            case OPT_SCALE:
                if (!parseNumber(value, 16, &v) || v < 1)
                    return refuse(a, "--scale wants a whole number from 1 to 16, not '%s'", value);
                a->scale = int32_t(v);
                break;
            case OPT_SEED:
                if (!parseNumber(value, UINT32_MAX, &v))
                    return refuse(a, "--seed wants a whole number from 0 to 4294967295, not '%s'", value);
                a->seedGiven = 1;
                a->seed = uint32_t(v);
                break;
            case OPT_GAME:
                if (!parseNumber(value, 3, &v) || v < 1)
                    return refuse(a, "--game wants 1, 2 or 3, not '%s'", value);
                a->game = int32_t(v);
                break;
            case OPT_SCRIPT:
            case OPT_SCREENSHOT:
            case OPT_LOAD:
            case OPT_RECORD:
            case OPT_DATA: {
                const char** field = c == OPT_SCRIPT       ? &a->script
                                     : c == OPT_SCREENSHOT ? &a->screenshot
                                     : c == OPT_LOAD       ? &a->load
                                     : c == OPT_RECORD     ? &a->record
                                                           : &a->data;
                if (!*value)
                    return refuse(a, "--%s wants a name, not an empty one", kOptions[c - OPT_HEADLESS].name);
                *field = value;
                break;
            }
            case OPT_HELP:
                a->outcome = ENTRY_HELP;
                break;
            case ':':
                return refuse(a, "%s needs a value", argv[optind - 1]);
            default:  // '?': unknown, ambiguous, or a value given to an option that takes none
                if (optopt > 0 && optopt < 256) return refuse(a, "unknown option '-%c'", optopt);
                return refuse(a, "unknown option or unexpected value '%s'", argv[optind - 1]);
        }
    }
    a->firstArgument = optind;
    if (a->outcome != ENTRY_HELP && !a->headless && (a->script || a->screenshot))
        return refuse(a, "%s works only with --headless", a->script ? "--script" : "--screenshot");
    return args;
}

// korvatron-sim: plays many games of one variant with a greedy player, checks the rules' invariants after
// every update and prints the statistics a designer asks for. Also the rules' benchmark.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "brask/random.h"
#include "rules/board.h"
#include "rules/state.h"
#include "rules/update.h"
#include "rules/variants.h"

namespace {

const char* kHelp =
    "Usage: korvatron-sim [--game N] [--games N] [--seed N] [--max-updates N]\n"
    "\n"
    "Plays games of Korvatron's rules without screen or sound. The player is greedy: when the board is idle\n"
    "it tries every rotator in the current turning direction and taps the one whose turn completes the most\n"
    "line cells; when no turn completes a line it taps a random rotator.\n"
    "\n"
    "  --game N         1, 2 or 3 (default 2)\n"
    "                   Game 1: two fruitless turns in a row end the game; Game 2: a 1001-update clock;\n"
    "                   Game 3: every turn costs one unit of score, the game ends at 0\n"
    "  --games N        games to play (default 100)\n"
    "  --seed N         seed of the rules' generator, seeded once for all games (default 1, at least 1)\n"
    "  --max-updates N  a game is stopped after N updates (default 12000, 10 minutes at 20 updates per\n"
    "                   second); a Game 3 that never runs dry has no other end\n"
    "  --help           this text\n"
    "\n"
    "After every update it checks: every cell holds a kind 1..5; a line check that finds nothing leaves no\n"
    "cell marked; no timer is negative; a turn runs exactly while its timer does; removal phases run only\n"
    "while lineBusy is set; Game 3's score never falls below 0. A failed check prints the game and update\n"
    "and exits with status 2.\n"
    "\n"
    "Prints score (mean, median, best, worst), game length in updates, turns, line units and successful\n"
    "line checks per game, chain lengths (successful checks per turn that found lines), bonuses, and\n"
    "updates per second (rules, player and checks together). Everything but the speed is the same on\n"
    "every run with the same arguments.\n";

struct Options {
    int game = 2;
    long games = 100;
    uint32_t seed = 1;
    long maxUpdates = 12000;
};

struct GameStats {
    int32_t score = 0;
    long updates = 0;
    long turns = 0;
    long lineUnits = 0;
    long lineChecks = 0;  // checks that found lines
    long bonuses = 0;
    bool capped = false;
};

int gLineSounds = 0;

void countLineSound(void*) {
    gLineSounds++;
}

bool parseLong(const char* text, long low, long high, long* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (*end || v < low || v > high) return false;
    *out = v;
    return true;
}

// Cells in runs of four or more along the two rows and two columns the turn of block (c, r) changes. The
// rest of an idle board holds no line, so this is every line cell the turn would complete.
int lineCellsAfterTurn(const int32_t* board, int c, int r, bool clockwise) {
    int32_t b[BOARD_CELLS];
    memcpy(b, board, sizeof b);
    int32_t tl = b[boardIndex(c, r)], tr = b[boardIndex(c + 1, r)];
    int32_t bl = b[boardIndex(c, r + 1)], br = b[boardIndex(c + 1, r + 1)];
    if (clockwise) {
        b[boardIndex(c, r)] = bl, b[boardIndex(c + 1, r)] = tl;
        b[boardIndex(c + 1, r + 1)] = tr, b[boardIndex(c, r + 1)] = br;
    } else {
        b[boardIndex(c, r)] = tr, b[boardIndex(c + 1, r)] = br;
        b[boardIndex(c + 1, r + 1)] = bl, b[boardIndex(c, r + 1)] = tl;
    }
    int cells = 0;
    auto scan = [&](int first, int stride) {
        int run = 1;
        for (int k = 1; k <= BOARD_SIZE; k++) {
            if (k < BOARD_SIZE && b[first + k * stride] == b[first + (k - 1) * stride]) {
                run++;
                continue;
            }
            if (run >= 4) cells += run;
            run = 1;
        }
    };
    scan(boardIndex(0, r), BOARD_SIZE);
    scan(boardIndex(0, r + 1), BOARD_SIZE);
    scan(boardIndex(c, 0), 1);
    scan(boardIndex(c + 1, 0), 1);
    return cells;
}

void chooseTap(std::mt19937& player) {
    int best = -1;
    std::vector<int> choices;
    bool clockwise = gGame.rotationDirection == 1;
    for (int i = 0; i < ROTATOR_COUNT; i++) {
        for (int j = 0; j < ROTATOR_COUNT; j++) {
            int cells = lineCellsAfterTurn(gGame.board, i, j, clockwise);
            if (cells > best) best = cells, choices.clear();
            if (cells == best) choices.push_back(i * ROTATOR_COUNT + j);
        }
    }
    int pick = choices[std::uniform_int_distribution<size_t>(0, choices.size() - 1)(player)];
    gGame.tap = 1;
    gGame.tapX = ROTATOR_ORIGIN + CELL_PITCH * (pick / ROTATOR_COUNT);
    gGame.tapY = ROTATOR_ORIGIN + CELL_PITCH * (pick % ROTATOR_COUNT);
}

[[noreturn]] void fail(long game, long update, const char* what) {
    fprintf(stderr, "korvatron-sim: invariant broken in game %ld, update %ld: %s\n", game + 1, update, what);
    exit(2);
}

void checkInvariants(long game, long update, bool checkDue, bool checkFound) {
    for (int k = 0; k < BOARD_CELLS; k++)
        if (gGame.board[k] < 1 || gGame.board[k] > ELEMENT_KINDS) fail(game, update, "a cell outside 1..5");
    if (checkDue && !checkFound)
        for (int k = 0; k < BOARD_CELLS; k++)
            if (gGame.marked[k]) fail(game, update, "a cell marked after a check that found nothing");
    for (int k = 0; k < STEP_TIMER_COUNT; k++)
        if (gGame.stepTimer[k] < 0) fail(game, update, "a negative step timer");
    if (gGame.bonusTimer < 0) fail(game, update, "a negative bonus timer");
    if ((gGame.rotating != 0) != (gGame.stepTimer[TIMER_ROTATION] > 0))
        fail(game, update, "rotating disagrees with the rotation timer");
    const int32_t* t = gGame.stepTimer;
    if ((t[TIMER_SHRINK] > 0 || t[TIMER_EMPTY] > 0 || t[TIMER_GROW] > 0) && !gGame.lineBusy)
        fail(game, update, "a removal phase runs without lineBusy");
    if (gGame.variant == VARIANT_GAME3 && gGame.score < 0) fail(game, update, "Game 3's score below 0");
}

GameStats playGame(long game, const Options& opt, std::mt19937& player, std::vector<long>& chains) {
    GameStats s;
    gameNew();
    long chain = 0;
    while (s.updates < opt.maxUpdates) {
        if (gGame.gameOver > 0) break;
        if (!gGame.rotating && !gGame.lineBusy) {
            chooseTap(player);
            s.turns++;
        }
        const int32_t* t = gGame.stepTimer;
        bool checkDue = !gGame.paused && (t[TIMER_ROTATION] == 1 || t[TIMER_GROW] == 1);
        int sounds = gLineSounds;
        int32_t bonusBefore = gGame.bonusTimer;
        gameRulesUpdate();
        gGame.tap = 0;
        s.updates++;
        bool found = gLineSounds != sounds;
        if (found) {
            s.lineChecks++;
            s.lineUnits += gGame.columnLines + gGame.rowLines;
            if (gGame.bonusTimer > bonusBefore) s.bonuses++;
            chain++;
        }
        if (!gGame.lineBusy && chain > 0) chains.push_back(chain), chain = 0;
        checkInvariants(game, s.updates, checkDue, found);
    }
    if (chain > 0) chains.push_back(chain);
    s.capped = gGame.gameOver == 0;
    s.score = gGame.score;
    return s;
}

template <typename T>
double mean(const std::vector<T>& v) {
    double sum = 0;
    for (T x : v) sum += (double)x;
    return v.empty() ? 0.0 : sum / (double)v.size();
}

template <typename T>
double median(std::vector<T> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? (double)v[n / 2] : ((double)v[n / 2 - 1] + (double)v[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int a = 1; a < argc; a++) {
        std::string arg = argv[a];
        const char* value = a + 1 < argc ? argv[a + 1] : nullptr;
        long v = 0;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--game") {
            ok = parseLong(value, 1, 3, &v), opt.game = (int)v, a++;
        } else if (arg == "--games") {
            ok = parseLong(value, 1, 100000000, &v), opt.games = v, a++;
        } else if (arg == "--seed") {
            ok = parseLong(value, 1, 4294967295L, &v), opt.seed = (uint32_t)v, a++;
        } else if (arg == "--max-updates") {
            ok = parseLong(value, 1, 1000000000, &v), opt.maxUpdates = v, a++;
        } else {
            fprintf(stderr, "korvatron-sim: unknown argument '%s' (try --help)\n", arg.c_str());
            return 1;
        }
        if (!ok) {
            fprintf(stderr, "korvatron-sim: bad value for %s (try --help)\n", arg.c_str());
            return 1;
        }
    }

    static const RulesSounds sounds = {nullptr, countLineSound, nullptr};
    rulesSetSounds(&sounds);
    memset(&gGame, 0, sizeof gGame);
    gGame.variant = opt.game - 1;
    gGame.rotationDirection = 1;
    rndSeed(opt.seed);
    std::mt19937 player(opt.seed);

    std::vector<int32_t> scores;
    std::vector<long> lengths, turns, units, checks, bonuses, chains;
    long capped = 0, totalUpdates = 0;
    auto start = std::chrono::steady_clock::now();
    for (long g = 0; g < opt.games; g++) {
        GameStats s = playGame(g, opt, player, chains);
        scores.push_back(s.score);
        lengths.push_back(s.updates);
        turns.push_back(s.turns);
        units.push_back(s.lineUnits);
        checks.push_back(s.lineChecks);
        bonuses.push_back(s.bonuses);
        capped += s.capped;
        totalUpdates += s.updates;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::vector<long> chainHistogram;
    for (long c : chains) {
        if ((size_t)c >= chainHistogram.size()) chainHistogram.resize(c + 1);
        chainHistogram[c]++;
    }
    printf("korvatron-sim: Game %d, %ld games, seed %u, at most %ld updates per game\n", opt.game, opt.games,
           opt.seed, opt.maxUpdates);
    printf("score    mean %.2f  median %.1f  best %d  worst %d\n", mean(scores), median(scores),
           *std::max_element(scores.begin(), scores.end()), *std::min_element(scores.begin(), scores.end()));
    printf("length   mean %.1f  median %.1f  longest %ld updates; %ld games stopped at the cap\n",
           mean(lengths), median(lengths), *std::max_element(lengths.begin(), lengths.end()), capped);
    printf("turns    mean %.2f  median %.1f per game\n", mean(turns), median(turns));
    printf("lines    mean %.2f line units, %.2f successful checks, %.2f bonuses per game\n", mean(units),
           mean(checks), mean(bonuses));
    printf("chains   %zu; mean length %.3f; longest %zu; by length:", chains.size(), mean(chains),
           chainHistogram.empty() ? (size_t)0 : chainHistogram.size() - 1);
    for (size_t c = 1; c < chainHistogram.size(); c++) printf(" %zu:%ld", c, chainHistogram[c]);
    printf("\n");
    printf("speed    %ld updates in %.3f s: %.0f updates per second\n", totalUpdates, seconds,
           seconds > 0 ? (double)totalUpdates / seconds : 0.0);
    return 0;
}

// The command line every engine program takes: both forms of every option, and every kind of refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry_args.h"

namespace {

// getopt_long reorders and keeps pointers into argv: the strings live as long as the test.
struct Line {
    std::vector<std::string> words;
    std::vector<char*> argv;
    explicit Line(std::vector<std::string> w) : words(std::move(w)) {
        words.insert(words.begin(), "/usr/games/korvatron");
        for (std::string& s : words) argv.push_back(&s[0]);
        argv.push_back(nullptr);
    }
    int32_t parse(EntryArgs* a) {
        *a = entryParseArgs((int)words.size(), argv.data());
        return a->outcome;
    }
};

TEST(EntryArgs, TakesEveryOptionWithItsValueInBothForms) {
    EntryArgs a;
    Line plain({});
    ASSERT_EQ(ENTRY_RUN, plain.parse(&a));
    EXPECT_EQ(2, a.scale);
    EXPECT_FALSE(a.headless || a.seedGiven || a.game || a.script || a.record || a.data || a.load ||
                 a.shotCount);

    Line spaced(
        {"--headless",  "--script",        "s.txt",          "--screenshot", "last.png", "--scale",
         "16",          "--seed",          "4294967295",     "--game",       "3",        "--load",
         "my game.sav", "--record",        "rec.txt",        "--data",       "saves",    "--screenshot-at",
         "0:first.png", "--screenshot-at", "120:dir/b:c.png"});
    ASSERT_EQ(ENTRY_RUN, spaced.parse(&a)) << a.problem;
    EXPECT_EQ(1, a.headless);
    EXPECT_STREQ("s.txt", a.script);
    EXPECT_STREQ("last.png", a.screenshot);
    EXPECT_EQ(16, a.scale);
    EXPECT_EQ(1, a.seedGiven);
    EXPECT_EQ(4294967295u, a.seed);
    EXPECT_EQ(3, a.game);
    EXPECT_STREQ("my game.sav", a.load);
    EXPECT_STREQ("rec.txt", a.record);
    EXPECT_STREQ("saves", a.data);
    ASSERT_EQ(2, a.shotCount);
    EXPECT_EQ(0, a.shots[0].present);
    EXPECT_STREQ("first.png", a.shots[0].path);
    EXPECT_EQ(120, a.shots[1].present);
    EXPECT_STREQ("dir/b:c.png", a.shots[1].path);  // only the first colon splits

    Line joined({"--headless", "--script=s.txt", "--scale=1", "--seed=0", "--game=1", "--load=x",
                 "--record=r", "--data=d/", "--screenshot-at=7:x.png"});
    ASSERT_EQ(ENTRY_RUN, joined.parse(&a)) << a.problem;
    EXPECT_EQ(1, a.scale);
    EXPECT_EQ(1, a.seedGiven);  // seed 0 is a given seed, not a missing one
    EXPECT_EQ(0u, a.seed);
    EXPECT_EQ(1, a.game);
    EXPECT_STREQ("d/", a.data);
    ASSERT_EQ(1, a.shotCount);
    EXPECT_EQ(7, a.shots[0].present);

    Line help({"--scale", "3", "--help"});
    EXPECT_EQ(ENTRY_HELP, help.parse(&a));
    char usage[512];
    entryUsage("/usr/games/korvatron", usage, sizeof usage);
    EXPECT_EQ(0, std::string(usage).rfind("Usage: korvatron [--headless]", 0)) << usage;
    EXPECT_EQ('\n', usage[strlen(usage) - 1]);
    for (const char* option :
         {"--scale", "--headless", "--script", "--screenshot ", "--screenshot-at", "--record", "--seed",
          "--game", "--load", "--data", "--help", "BUT.START", "close"})
        EXPECT_NE(nullptr, strstr(entryHelpBody(), option)) << option;
}

TEST(EntryArgs, RefusesUnknownOptionsBadValuesAndStrayArgumentsWithOneLine) {
    const struct {
        std::vector<std::string> words;
        const char* problem;  // a part of the one line
    } cases[] = {
        {{"--bogus"}, "'--bogus'"},
        {{"-x"}, "'-x'"},
        {{"--headless=1"}, "'--headless=1'"},
        {{"--script"}, "--script needs a value"},
        {{"--scale", "0"}, "--scale"},
        {{"--scale", "17"}, "--scale"},
        {{"--scale", "2x"}, "'2x'"},
        {{"--scale= 2"}, "' 2'"},
        {{"--seed", "-1"}, "'-1'"},
        {{"--seed", "4294967296"}, "--seed"},
        {{"--seed", "0x10"}, "--seed"},
        {{"--seed="}, "--seed"},
        {{"--game", "0"}, "--game"},
        {{"--game", "4"}, "--game"},
        {{"--screenshot-at", "12"}, "--screenshot-at"},
        {{"--screenshot-at", "12:"}, "--screenshot-at"},
        {{"--screenshot-at", ":a.png"}, "--screenshot-at"},
        {{"--screenshot-at", "-1:a.png"}, "--screenshot-at"},
        {{"--load="}, "--load wants a name"},
        {{"--data="}, "--data wants a name"},
        {{"--script", "s.txt"}, "--script works only with --headless"},
        {{"--screenshot", "s.png"}, "--screenshot works only with --headless"},
    };
    for (const auto& c : cases) {
        Line line(c.words);
        EntryArgs a;
        ASSERT_EQ(ENTRY_REFUSED, line.parse(&a)) << c.words[0];
        EXPECT_NE(nullptr, strstr(a.problem, c.problem)) << a.problem;
        EXPECT_EQ(nullptr, strchr(a.problem, '\n')) << a.problem;
    }
    // A parse starts afresh every time: the getopt state of a refused line does not leak into the next one.
    Line after({"--headless", "--game", "2"});
    EntryArgs a;
    EXPECT_EQ(ENTRY_RUN, after.parse(&a)) << a.problem;
    EXPECT_EQ(2, a.game);
}

TEST(EntryArgs, LeavesTheOtherArgumentsToTheGameInTheirOrder) {
    Line line({"crash", "--headless", "--seed", "5", "now", "--", "--game", "9"});
    EntryArgs a;
    ASSERT_EQ(ENTRY_RUN, line.parse(&a)) << a.problem;
    EXPECT_EQ(1, a.headless);
    EXPECT_EQ(0, a.game);  // after "--": the game's, not an option
    std::vector<std::string> rest;
    for (int i = a.firstArgument; i < (int)line.words.size(); i++) rest.push_back(line.argv[i]);
    EXPECT_EQ(std::vector<std::string>({"crash", "now", "--game", "9"}), rest);
}

}  // namespace

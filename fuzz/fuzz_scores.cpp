// Scores: the first 3240 bytes of the input as "KORVA.Score", loaded as the loading screen loads it. The
// bytes after the file, when there are any, are a game just ended (variant, score, typed name), entered as
// the end-of-game screen enters it: it must land where the ranking said, with the entries below it moved down
// one. Then the table of that game's variant (Game 2's without one) is drawn as the screen shows it, and
// the table written back must read again as the same table, byte for byte.
#include <cstring>
#include <string>

#include "brask/text.h"
#include "fuzz_shell.h"

namespace {

constexpr size_t FILE_BYTES = sizeof(HallOfFame), GAME_BYTES = 5;

void checkNames() {
    for (const auto& variant : gHallOfFame.table)
        for (const HofEntry& e : variant)
            if (wstrLen(e.name) > HOF_NAME_CHARS) fuzz::fail("a name longer than ten characters");
}

void enter(const uint8_t* game, size_t size) {
    const int32_t variant = game[0] % VARIANT_COUNT;
    int32_t score;
    memcpy(&score, game + 1, 4);
    char16_t name[HOF_NAME_CHARS + 1] = {};
    for (size_t i = 0; i < HOF_NAME_CHARS && GAME_BYTES + 2 * i + 1 < size; i++)
        name[i] = char16_t(game[GAME_BYTES + 2 * i] | game[GAME_BYTES + 2 * i + 1] << 8);
    const int32_t rank = hofRank(variant, score);
    if (rank <= 0) return;
    if (rank > HOF_ENTRIES - 1) fuzz::fail("a rank past the ninth place");
    const HallOfFame old = gHallOfFame;
    hofInsert(variant, score, 1, name);
    const HofEntry* t = gHallOfFame.table[variant];
    const HofEntry& e = t[rank - 1];
    if (e.score != score || e.flag != 1 || std::u16string(e.name) != std::u16string(name))
        fuzz::fail("the entry is not where its rank placed it");
    if (memcmp(t, old.table[variant], sizeof(HofEntry) * size_t(rank - 1)) ||
        memcmp(t + rank, old.table[variant] + rank - 1, sizeof(HofEntry) * size_t(HOF_ENTRIES - rank)))
        fuzz::fail("the entries around a new one did not keep their order");
    for (int32_t v = 0; v < VARIANT_COUNT; v++)
        if (v != variant && memcmp(gHallOfFame.table[v], old.table[v], sizeof old.table[v]))
            fuzz::fail("an entry changed another variant's table");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ShellInput input;
    fuzz::writeInput("KORVA.Score", data, size < FILE_BYTES ? size : FILE_BYTES);
    if (!hofLoad()) fuzz::fail("a scores file that is there did not load");
    checkNames();
    if (size >= FILE_BYTES + GAME_BYTES) enter(data + FILE_BYTES, size - FILE_BYTES);
    checkNames();
    // One table a frame, as the screen shows it: drawing all three would triple the cost of every input.
    if (Surface* s = image(IMG_SCORES)) sfBlit(s, gfxGetTarget(), 0, 0);
    hofDraw(size > FILE_BYTES ? data[FILE_BYTES] % VARIANT_COUNT : VARIANT_GAME2);

    const HallOfFame table = gHallOfFame;
    if (!hofSave()) fuzz::fail("the scores could not be written");
    const std::u16string name = fuzz::playerFile(u"KORVA.Score");
    const std::vector<uint8_t> bytes = fuzz::readMemoryFile(name.c_str());
    if (bytes.size() != FILE_BYTES || memcmp(bytes.data(), &table, FILE_BYTES))
        fuzz::fail("the scores file is not the table");
    fuzz::checkNoTemporary(name);
    gHallOfFame = HallOfFame{};
    if (!hofLoad()) fuzz::fail("the scores written were not read");
    if (memcmp(&gHallOfFame, &table, FILE_BYTES)) fuzz::fail("the scores written read back as another table");
    return 0;
}

// The game's one state record.
#include "rules/state.h"

#include <type_traits>

// Plain bytes: copied whole by saved games and by callers that snapshot a game.
static_assert(std::is_trivially_copyable<GameState>::value && std::is_standard_layout<GameState>::value, "");

GameState gGame;

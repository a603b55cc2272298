// The korvatron program: the engine's entry point (brask_entry) calls gameMain from the shell library. The
// program keeps a source of its own only because an executable needs one.
#include "brask/app.h"

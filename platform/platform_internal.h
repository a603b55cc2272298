// What the shared services ask of the headless controls: folder overrides and refused paths.
#pragma once

const char* platOverrideProgramPath();      // null: the real one
const char* platOverrideDocumentsFolder();  // null: the real one

enum { PLAT_REFUSE_UPDATE = 1, PLAT_REFUSE_CREATE = 2 };
int platRefused(const char* utf8Path, int kind);

// What the shared services ask of the headless controls: folder overrides and refused paths.
#pragma once
#include <cstdint>

const char* platOverrideProgramPath();      // null: the real one
const char* platOverrideDocumentsFolder();  // null: the real one

enum { PLAT_REFUSE_UPDATE = 1, PLAT_REFUSE_CREATE = 2 };
int platRefused(const char* utf8Path, int kind);

// The virtual-key-to-character mapping both backends share (a US keyboard without modifiers).
uint16_t platUsVirtualKeyChar(uint32_t vk);

// Clears the headless window system, display, script and keys (called by headlessReset).
void headlessResetWindowing();

// The review sheet: every picture of a generated folder at twice its size, and the screens composed.
#pragma once
#include <string>

// Reads the pictures below outDir and writes the PNG; false on failure.
bool mkSheet(const std::string& outDir, const std::string& pngPath);

// Helpers shared by the tests: a private folder per test, reading files back, UTF-16 literals to UTF-8.
#pragma once
#include <string>

// A fresh folder for this test, with the headless program folder (program file "<dir>/prog/korvatron") and
// documents folder ("<dir>/docs") pointed into it and a fresh log. Removed by the destructor.
struct TestFolders {
    TestFolders();
    ~TestFolders();
    std::string root, prog, docs;
};

std::string readFile(const std::string& path);  // whole file, empty when missing
bool fileExists(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
std::u16string u16(const std::string& utf8);  // ASCII/UTF-8 to UTF-16 for building wide names

// Scratch folders for tests: made under C:\ in the Wine prefix, removed with all they hold.
#pragma once
#include <string>

// Creates the folder (and any missing parents); long paths are allowed.
bool MakeFolder(const std::string &path);
// Creates an empty file (long paths allowed).
bool MakeFile(const std::string &path);
// Removes the folder and everything in it; a missing folder is fine.
void RemoveFolder(const std::string &path);

#pragma once
// The program folder of this run. Start-up sets it once before any file of the
// terminal is touched; tests point it at a temporary folder.
#include "pf/paths.h"

#include <string_view>

// A copy of the current folders (a copy, so that a test resetting the folder
// never leaves a reader with a dangling reference). Any thread.
pf::Paths ProgramPaths();
void SetProgramPaths(const pf::Paths& paths);

// True for a name that may stand for one file in a fixed folder: not empty,
// not "." or "..", no separators. Names from users and servers are checked
// with it before they become file names.
bool IsPlainFileName(std::string_view name);

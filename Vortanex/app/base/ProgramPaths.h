#pragma once
// The program folder of this run. Start-up sets it once before any file of the
// terminal is touched; tests point it at a temporary folder.
#include "pf/paths.h"

#include <filesystem>
#include <string_view>

// A copy of the current folders (a copy, so that a test resetting the folder
// never leaves a reader with a dangling reference). Any thread.
pf::Paths ProgramPaths();
void SetProgramPaths(const pf::Paths& paths);

// True for a name that may stand for one file in a fixed folder: not empty,
// not "." or "..", no separators. Names from users and servers are checked
// with it before they become file names.
bool IsPlainFileName(std::string_view name);

// A per-user file in `folder` named `fileName` ("Vortanex_U1.dat"): the
// existing file whose name matches without regard to case when there is one
// (the exact name first), so the user's files are found and kept under one
// name whatever the case of the id typed at login; else folder / fileName.
std::filesystem::path UserFilePath(const std::filesystem::path& folder, std::string_view fileName);

// The per-user files this run has read (or found missing) or written. Only
// those are written: a user's file the run never read is not overwritten with
// settings that are not the user's. Any thread.
void NoteUserFileKnown(const std::filesystem::path& path);
// True when `path` does not exist or is known to this run.
bool MayWriteUserFile(const std::filesystem::path& path);

#pragma once
// Whole-file and folder operations on absolute paths. Every function reports
// failure by its result and never throws; none changes the current directory.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pf::files {

using Path = std::filesystem::path;

bool exists(const Path& path);
// Size in bytes, -1 when the file cannot be examined.
int64_t size(const Path& path);
// Modification time in epoch seconds. Creation time is neither reliable nor
// settable on Linux, so file ages are measured by this stamp.
std::optional<int64_t> stampTime(const Path& path);

std::optional<std::string> readAll(const Path& path);
// Truncates and writes; a crash in between can leave a partial file, so use
// writeAtomic for anything that must survive one.
bool writeAll(const Path& path, std::string_view data);
// Writes a temporary file in the same folder, flushes it to disk and renames
// it over the target: after a crash the target holds either the old or the
// new content, never a torn mix. On failure the old file stays untouched.
bool writeAtomic(const Path& path, std::string_view data);
// The last n bytes (the whole file when shorter); empty when unreadable.
std::string readTail(const Path& path, size_t n);

// Moves the regular files of dir whose names match the fnmatch pattern
// (case-sensitive) into toDir (created when a file matches), replacing files
// of the same name there; falls back to copy and unlink across file systems.
// Returns the number moved.
int moveMatching(const Path& dir, std::string_view pattern, const Path& toDir);
// Removes the regular files of dir matching the pattern whose modification
// time lies before cutoffSeconds (epoch). Returns the number removed.
int removeOlderThan(const Path& dir, std::string_view pattern, int64_t cutoffSeconds);
// Creates the folder and its parents; true when it exists afterwards.
bool ensureDir(const Path& path);

} // namespace pf::files

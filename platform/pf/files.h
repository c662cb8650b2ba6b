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

// Everything the terminal writes below its program folder is the user's
// alone: settings with the proxy password, per-user files, logs and message
// files. Files are created with this mode, folders with kPrivateDirMode.
inline constexpr unsigned kPrivateFileMode = 0600;
inline constexpr unsigned kPrivateDirMode = 0700;

bool exists(const Path& path);
// Size in bytes, -1 when the file cannot be examined.
int64_t size(const Path& path);
// Modification time in epoch seconds. Creation time is neither reliable nor
// settable on Linux, so file ages are measured by this stamp.
std::optional<int64_t> stampTime(const Path& path);

std::optional<std::string> readAll(const Path& path);
// Truncates and writes (an existing file is made private too); a crash in
// between can leave a partial file, so use writeAtomic for anything that must
// survive one.
bool writeAll(const Path& path, std::string_view data);
// Writes a temporary file in the same folder, flushes it to disk and renames
// it over the target: after a crash the target holds either the old or the
// new content, never a torn mix. On failure the old file stays untouched.
// The first write into a folder in this process also removes the folder's
// stale temporary files (removeStaleTemporaries).
bool writeAtomic(const Path& path, std::string_view data);
// Removes the temporary files writeAtomic leaves behind when its process dies
// between creating and renaming them ("<name>.tmp.<pid>.<n>" in dir), sparing
// those whose process still runs: another terminal may share the folder, and
// this process's own may be in flight. Returns the number removed.
int removeStaleTemporaries(const Path& dir);
// The first n bytes (the whole file when shorter); empty when unreadable.
std::string readHead(const Path& path, size_t n);
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
// Creates the folder and its missing parents (kPrivateDirMode); true when it
// exists afterwards. Folders that exist already keep their mode.
bool ensureDir(const Path& path);
// Creates the folder like ensureDir, and narrows an existing one that the user
// owns to kPrivateDirMode.
bool ensurePrivateDir(const Path& path);

} // namespace pf::files

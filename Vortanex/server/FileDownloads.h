#pragma once
// Whole files from the broker's download host over HTTP GET: into memory
// (DownLoadFile) or, for the file transaction codes, into a fixed file of the
// Comp folder under the start-up progress dialog (DownloadByCode); and the
// bounded LZO1X unpacking that every user of a ".lzo" archive applies.
#include <filesystem>
#include <source_location>
#include <string>
#include <string_view>

// Every downloaded archive unpacks into at most this many times its size.
inline constexpr long kLzoExpansionLimit = 20;

// GETs path?query from host:port. Returns the HTTP status, a client error
// number, or -1 when nothing was exchanged. On 200 `buffer` holds the whole
// body and `length` its size; otherwise both are empty. A body cut short or a
// failed read is never 200: the client's error number comes back instead.
// Never on the UI thread: the UI-thread guard reports the path and `where`.
int DownLoadFile(const std::string& host, int port, const std::string& path, const std::string& query,
                 std::string& buffer, long& length, std::source_location where = std::source_location::current());

// The file of Comp that a file transaction code (1, 15 to 18) writes; empty
// for any other code.
std::filesystem::path DownloadTargetFile(int transCode);

// The branch of RequestServer for the file codes: GETs the body into the
// code's file, showing the code's progress message. The file is written under
// a temporary name and put in place only when the body arrived whole with
// status 200; otherwise an existing file stays as it was. On 200 `reply` is
// empty and `length` the number of bytes written. Returns the status as
// DownLoadFile does.
int DownloadByCode(int transCode, const std::string& verb, const std::string& host, int port,
                   const std::string& path, const std::string& query, std::string& reply, long& length);

// The progress step of the security download (code 1): a quarter of the
// expected compressed size, set by the start-up; 0 = no progress steps.
void SetSecurityDownloadStep(long step);

// Unpacks inLength bytes of LZO1X data into out, which has room for capacity
// bytes. Returns the unpacked length; 0 on corrupt or truncated input, output
// beyond the room, or an LZO library mismatch.
long DecompressLZO(const unsigned char* in, unsigned char* out, long inLength, long capacity);

// The same into a string, with room for kLzoExpansionLimit times the input;
// false (and `out` empty) on any error.
bool DecompressLZO(std::string_view packed, std::string& out);

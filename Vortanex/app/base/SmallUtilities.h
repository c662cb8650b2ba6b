#pragma once
// Small helpers the whole program uses.
#include <cstddef>
#include <string>
#include <string_view>

// The system's text for an errno value ("Unknown error N" for unknown ones).
std::string FormatSystemError(int errorCode);

// Grows a heap block made with malloc: a new zeroed block of newLength with
// the first oldLength bytes copied, the old block freed. A new length not
// above the old returns the block unchanged. Null when the allocation fails;
// the old block is then untouched and still the caller's.
void* Mem_realloc(void* block, size_t oldLength, size_t newLength);

// The status field of a server reply read as one number: the whole field,
// blanks around it aside. A missing, empty or non-numeric field (an error
// page, "1006||Session expired") is -1, so it never reads as success (0).
int ReplyStatus(std::string_view field);

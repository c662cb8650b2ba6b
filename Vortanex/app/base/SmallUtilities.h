#pragma once
// Small helpers the whole program uses.
#include <cstddef>
#include <string>

// The system's text for an errno value ("Unknown error N" for unknown ones).
std::string FormatSystemError(int errorCode);

// Grows a heap block made with malloc: a new zeroed block of newLength with
// the first oldLength bytes copied, the old block freed. A new length not
// above the old returns the block unchanged. Null when the allocation fails;
// the old block is then untouched and still the caller's.
void* Mem_realloc(void* block, size_t oldLength, size_t newLength);

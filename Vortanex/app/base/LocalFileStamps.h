#pragma once
// The stamps of the local master lists in Comp against the ones the login
// reply announces: which lists must be fetched again at start-up. UI thread,
// at start-up.
#include <string>

// What CheckDate(1) parsed, for the security download.
struct SecurityStampValues {
    int date = 0;        // the login stamp's first number (the incremental file due)
    int fileNumber = 0;
    int records = 0;     // compressed size of the file due now
    int fullLength = 0;  // compressed size of the full file
    std::string localFileDate; // the local security list's date
};
extern SecurityStampValues g_SecurityStampValues;

// Before login: the local security list's date (its header up to the first
// '-', at most 30 characters) becomes the session's security stamp. Returns 1
// when the list is missing (the stamp stays "0"), else 0.
int ReadSecurityStamp();

// 1 when the list of `kind` must be fetched, else 0: 1 the security master
// (the login stamp announces a file), 2 the categories and 3 the services
// (versions differ), 4 the advisory list (not dated today). Other kinds: 0.
int CheckDate(int kind);

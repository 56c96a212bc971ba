#pragma once

#include <string>

namespace orvane {

// The order in which the contact list and the contact tree show names: the collation of
// the user's locale (LC_ALL, else LC_COLLATE, else LANG; the common order of all languages
// for C, POSIX or none), at the strength that tells accented letters from plain ones but
// ignores case. So "bob" and "Bob" rank equal, "emile" comes right before "Émile", and
// both come before "Eva".
//
// Names are UTF-8; bytes that are not valid UTF-8 are read as Latin-1, as the tree shows
// them. Any thread (each thread keeps a collator of its own).

// A key whose byte comparison (unsigned, as std::string compares) orders names as above;
// equal keys for names of equal rank. NULL reads as the empty name.
std::string nameSortKey(const char* name);

// Negative, 0 or positive as a ranks before, equal to or after b.
int compareNames(const char* a, const char* b);

} // namespace orvane

#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kestrel::testing {

// Spellings of one name in two cases (UTF-8), which the registry and file lookup must both
// take as one name on every backend: ASCII, and the Windows-1252 letters whose cases sit far
// apart in the code page (Š š, Œ œ, Ž ž, Ÿ ÿ) or among characters without case (É é, À à,
// Þ þ).
inline const std::vector<std::pair<std::string, std::string>> CaseAliases = {
    {"Profiles", "pROFILES"},
    {"\xC5\xA0koda", "\xC5\xA1KODA"},
    {"\xC5\x92uvre", "\xC5\x93UVRE"},
    {"\xC5\xBDupa", "\xC5\xBEUPA"},
    {"\xC5\xB8", "\xC3\xBF"},
    {"Caf\xC3\x89 \xC3\x80 \xC3\x9E", "cAF\xC3\xA9 \xC3\xA0 \xC3\xBE"},
};

// Names that differ by characters that have no case, or whose upper case is not a letter of
// its own: two names everywhere. × ÷ sit 0x20 apart among the Latin-1 letters, @ ` and [ {
// among the ASCII ones; ß has no single upper-case letter.
inline const std::vector<std::pair<std::string, std::string>> DistinctNames = {
    {"\xC3\x97", "\xC3\xB7"},
    {"@", "`"},
    {"[", "{"},
    {"Stra\xC3\x9F"
     "e",
     "STRASSE"},
};

}  // namespace kestrel::testing

#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Names compare without regard to case, as on Windows: registry keys and values, file and
// folder names, archive members, the keys of the info file. One rule serves them all, so that
// a name read from the registry finds its file in whatever case either was written.
//
// The rule: each letter of Windows-1252 stands for its upper case, that is the ASCII letters,
// the Latin-1 letters (à-þ as À-Þ, but not ÷, which has no case) and š œ ž ÿ as Š Œ Ž Ÿ; every
// other character only matches itself (ß, µ, Greek, Cyrillic, ...). Windows folds those too,
// but the Linux registry store keeps its names in Windows-1252, so these are all the letters
// a registry name can hold there, and the folded names its stores already hold stay valid.
// A file name outside the code page is therefore found under its exact case only on Linux.

// The character a letter's cases fold to; any other character unchanged.
char32_t FoldCase(char32_t c);

// Whether two UTF-8 names are the same under FoldCase. A byte that is not UTF-8 matches only
// the same byte, so two different malformed names never meet.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// A key for the name under the same rule: two names have equal keys exactly when
// EqualsIgnoringCase holds, so names can be looked up in a hash set. Not text.
std::string FoldedKey(std::string_view name);

}  // namespace kestrel

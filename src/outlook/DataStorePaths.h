#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryAccess.h"

namespace kestrel {

// The paths of a profile's data files (personal and offline folders files). Each service
// section of a profile that belongs to a data file keeps binary values whose last part is the
// file's full path, in UTF-16LE or as 8-bit ANSI text, ended by a NUL. Only REG_BINARY values
// count, whatever another value's name; names compare byte for byte, with case.
//
// Key paths are full paths starting with a root name ("HKEY_CURRENT_USER\..."). Paths and
// names are UTF-8 here; names reach the registry in ANSI.

// The store identifier of a section, ending in the data file's path.
constexpr const char* StoreIdentifierValue = "01020fff";
// The data file's path on its own, which the restore rewrites beside the identifier.
constexpr const char* StorePathValue = "001f6700";
// The personal address book a section names, as text whose backslashes may be doubled.
constexpr const char* AddressBookValue = "001e6600";

// The path cut from the value read as UTF-16LE (by the pairing walk of DecodeWideText);
// RegistryAccess::ErrorMarker when the key cannot be opened, the value is missing or not
// binary, or no path is found in it.
std::string DecodeWidePathValue(RegistryAccess& access, const std::string& keyPath,
                                const std::string& valueName);
// The same for a value holding 8-bit text in the ANSI code page. Callers try it only when the
// wide reading gives ErrorMarker: with its zero bytes dropped a wide path is found here too,
// but with every character above U+00FF split into two.
std::string DecodeAnsiPathValue(RegistryAccess& access, const std::string& keyPath,
                                const std::string& valueName);
// The data-file path of each section of the profile's key, in the order the sections
// enumerate: the wide reading of StoreIdentifierValue, else the ANSI one; a section where both
// give ErrorMarker names none. Whether the files exist is the caller's question.
std::vector<std::string> ProfileDataFilePaths(RegistryAccess& access,
                                              const std::string& profileKey);

// The address book each section of the profile's key names, in the order the sections
// enumerate, with its doubled backslashes made single (CollapseDoubledBackslashes); a section
// without the value, or with an empty one, names none. Whether the files exist is the caller's
// question.
std::vector<std::string> ProfileAddressBookPaths(RegistryAccess& access,
                                                 const std::string& profileKey);

// The value's bytes as hex byte text ("0=A=43"; empty for an empty value); ErrorMarker when
// the value cannot be found as for the readers above.
std::string ReadBinaryValueHex(RegistryAccess& access, const std::string& keyPath,
                               const std::string& valueName);

// Hex byte text of a text, each byte followed by "=": its ANSI bytes ("C:" gives "43=3A=") and
// its UTF-16LE code units, low byte first ("C:" gives "43=0=3A=0=").
std::string EncodeTextBytes(std::string_view text);
std::string EncodeTextWide(std::string_view text);

// Rewrites the value with oldPath replaced by newPath (see ReplacePathInHex), as REG_BINARY,
// through a key opened for writing; the value is written even when nothing was replaced.
// Writes nothing when ReadBinaryValueHex gives ErrorMarker or an empty text, or when the
// replaced text no longer splits into bytes. Reports nothing.
void ReplacePathInBinaryValue(RegistryAccess& access, const std::string& keyPath,
                              const std::string& valueName, const std::string& oldPath,
                              const std::string& newPath);

// --- The byte and text work under the registry operations --------------------------------

// The data of the first value at keyPath named exactly valueName whose type is REG_BINARY,
// found by enumerating the key's values; nothing when there is none or the key cannot be read.
std::optional<std::string> FindBinaryValue(RegistryAccess& access, const std::string& keyPath,
                                           const std::string& valueName);

// 16-bit characters from a value's bytes: zero bytes are skipped, and a non-zero byte followed
// by a non-zero byte is the low half of a character whose high half is that next byte.
// UTF-16LE text comes out whole, whatever zero bytes lie between its characters; 8-bit text
// comes out with neighbouring letters paired into other characters.
std::u16string DecodeWideText(std::string_view data);
// The value's bytes without their zero bytes, read in the ANSI code page.
std::u16string DecodeAnsiText(std::string_view data);

// The path in a decoded text, in UTF-8: from the drive letter before the last ":\" when that
// stands at the text's third character or later, else from the last "\\" when that does;
// ErrorMarker otherwise. A path at the very start of the text is not taken.
std::string CutPath(std::u16string_view text);

// Bytes as hex byte text: upper case, no leading zero, "=" between bytes and not after the
// last. ParseHex reads such a text back; it also takes lower case and leading zeros, and gives
// nothing for a piece that is not one or two hex digits. An empty text is no bytes.
std::string RenderHex(std::string_view bytes);
std::optional<std::string> ParseHex(std::string_view hex);

// Replaces every EncodeTextWide rendering of oldPath in a hex byte text, left to right, by the
// rendering of newPath; when that changes nothing, the EncodeTextBytes renderings instead. As
// both renderings end in "=" and the text does not, a path the value ends with (no NUL after
// it) is not replaced.
std::string ReplacePathInHex(const std::string& hex, std::string_view oldPath,
                             std::string_view newPath);

// A path with every doubled backslash made single, except the two that begin a network path.
std::string CollapseDoubledBackslashes(const std::string& path);

}  // namespace kestrel

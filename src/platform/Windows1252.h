#pragma once

#include <optional>

namespace kestrel {

// Windows-1252, the ANSI code page the Linux build stores registry names and data, the
// program's text files and ZIP member names in (the Windows build uses the system's own).

// The character a byte stands for. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for the C1 controls of the same number, as MultiByteToWideChar maps
// them, so every byte has a character and comes back unchanged.
char32_t FromWindows1252(unsigned char byte);

// The byte of a character; nothing for a character the code page lacks.
std::optional<unsigned char> ToWindows1252(char32_t c);

}  // namespace kestrel

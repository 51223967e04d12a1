#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/RegistryApi.h"

namespace kestrel {

// Reads one string value (REG_SZ or REG_EXPAND_SZ, unexpanded) of any length, cut at its
// first NUL. Names are given and text returned as UTF-8; the registry holds them in the ANSI
// code page. Empty optional when the key or value is missing or of another type.
std::optional<std::string> ReadRegistryString(RegistryApi& registry, reg::Key root,
                                              const std::string& subKey,
                                              const std::string& valueName);

// Reads one REG_DWORD value.
std::optional<std::uint32_t> ReadRegistryDword(RegistryApi& registry, reg::Key root,
                                               const std::string& subKey,
                                               const std::string& valueName);

}  // namespace kestrel

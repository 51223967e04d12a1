#pragma once

#include <cstdint>
#include <string>

#include "platform/RegistryApi.h"

namespace kestrel {

// Walking keys through RegistryApi with the program's buffer sizes; names and data are ANSI.

// The subkey at `index`, read through a 260-character buffer and cut at its first NUL. False
// at the end of the list and on any failure: a key deleted meanwhile fails at every index.
bool SubkeyAt(RegistryApi& api, reg::Key key, std::uint32_t index, std::string& name);

// The value at `index`, read through a 260-character name buffer and a 4096-byte data buffer
// and, when either is too small, again through buffers of the size the registry asks for.
// False at the end of the list and on any failure.
bool ValueAt(RegistryApi& api, reg::Key key, std::uint32_t index, std::string& name,
             std::uint32_t& type, std::string& data);

// Deletes root\subKey and everything below it, children first, however many there are. What
// cannot be deleted stays. subKey must not be empty.
void DeleteTree(RegistryApi& api, reg::Key root, const std::string& subKey);

}  // namespace kestrel

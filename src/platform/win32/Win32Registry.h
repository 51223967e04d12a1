#pragma once

#include <cstdint>

#include "platform/RegistryApi.h"

namespace kestrel {

// The registry of the Windows build: advapi32's ANSI calls, results passed through unchanged.
// CreateKey always returns a new handle, even for an empty subKey (RegCreateKeyA would hand
// back the caller's own handle, which the caller's CloseKey would then close twice).
// Batches do nothing: each call takes effect at once, and an abandoned batch is not undone.
class Win32Registry final : public RegistryApi {
public:
    long OpenKeyEx(reg::Key key, const char* subKey, std::uint32_t samDesired,
                   reg::Key* result) override;
    long CloseKey(reg::Key key) override;
    long QueryValueEx(reg::Key key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* dataSize) override;
    long SetValueEx(reg::Key key, const char* valueName, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t dataSize) override;
    long CreateKey(reg::Key key, const char* subKey, reg::Key* result) override;
    long DeleteKey(reg::Key key, const char* subKey) override;
    long DeleteValue(reg::Key key, const char* valueName) override;
    long EnumKeyEx(reg::Key key, std::uint32_t index, char* name, std::uint32_t* nameSize) override;
    long EnumValue(reg::Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                   std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    void BeginBatch() override {}
    long EndBatch(bool) override { return reg::Success; }
};

}  // namespace kestrel

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/RegistryApi.h"
#include "ui/Messages.h"

namespace kestrel {

// The registry operations the rest of the program uses. Every key is one text path that starts
// with a root name ("HKEY_CURRENT_USER\Software\Microsoft"); each operation opens the key with
// just the access it needs, makes one call, and closes the key again, so no handle outlives an
// operation. Text is UTF-8 here and ANSI in the registry.
//
// No operation throws or reports through a message except a malformed path, which shows
// "Incorrect Format:" and changes nothing. A root name that is not one of the seven predefined
// ones is silent: readers give their empty answer and writers do nothing.
//
// The object remembers the root of the path it parsed last, the handle it opened last and the
// result of its last registry call, for the binary-value readers that work on from a parse. It
// is not re-entrant: one operation at a time.
class RegistryAccess {
public:
    // The failure marker of GetStringValue; callers compare against it.
    static constexpr const char* ErrorMarker = "Error";
    // Reads go through buffers of these sizes, as the program always has: a string value of
    // 255 bytes or more (NUL included, so 255 characters or more) reads as ErrorMarker.
    static constexpr std::uint32_t StringBufferBytes = 255;
    static constexpr std::uint32_t NameBufferChars = 260;

    RegistryAccess(RegistryApi& api, Messages& messages) : api_(api), messages_(messages) {}

    RegistryApi& Api() { return api_; }

    // The predefined handle of a root name spelled exactly as Windows spells it; 0 otherwise.
    static reg::Key GetRootKey(const std::string& rootName);
    // Splits a full path into its root and the sub-key part, which replaces `path`. A path that
    // does not start with "HKEY_" or that ends in a backslash shows "Incorrect Format:", leaves
    // `path` as it was and gives root 0.
    void ParseKeyPath(std::string& path, reg::Key& root);

    // The value's text up to its first NUL; ErrorMarker when the key or value cannot be read
    // or the value does not fit the buffer; empty for a malformed path or unknown root.
    std::string GetStringValue(const std::string& keyPath, const std::string& valueName);
    // Writes a REG_SZ value into an existing key; failures are silent.
    void SetStringValue(const std::string& keyPath, const std::string& valueName,
                        const std::string& text);
    // Deletes a key that has no subkeys. Returns the Win32 result; reg::InvalidHandle for a
    // malformed path or unknown root, reg::AccessDenied for a root key itself.
    long DeleteKey(const std::string& keyPath);
    void DeleteValue(const std::string& keyPath, const std::string& valueName);
    // The names of the key's direct subkeys in the registry's order; empty when the key cannot
    // be opened.
    std::vector<std::string> EnumSubKeys(const std::string& keyPath);
    bool KeyExists(const std::string& keyPath);

    // Opens the key of a full path; the sub-key part goes to the registry in ANSI. Returns 0
    // (and shows nothing more) when the path is malformed, the root unknown or the open fails.
    reg::Key OpenPath(const std::string& keyPath, std::uint32_t access);
    // Closes a handle from OpenPath (or any handle of this object's RegistryApi).
    void Close(reg::Key key);

private:
    long Record(long result) { return lastResult_ = result; }

    RegistryApi& api_;
    Messages& messages_;
    long lastResult_ = reg::Success;
};

}  // namespace kestrel

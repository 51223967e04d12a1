#pragma once

#include <cstdint>
#include <string>

#include "app/Policies.h"
#include "platform/RegistryApi.h"

namespace kestrel::testing {

// Writes and clears the administrator's policy keys through the raw registry API, so that
// setting up does not rest on the reader under test. The keys are the real ones (the program
// reads no other), so a test clears both roots before and after it.
class PolicyKeys {
public:
    explicit PolicyKeys(RegistryApi& registry) : registry_(registry) { Clear(); }
    ~PolicyKeys() { Clear(); }
    PolicyKeys(const PolicyKeys&) = delete;
    PolicyKeys& operator=(const PolicyKeys&) = delete;

    void Text(reg::Key root, const std::string& name, const std::string& text)
    {
        const std::string data = text + '\0';
        Set(root, name, reg::TypeSz, data);
    }
    void Number(reg::Key root, const std::string& name, std::uint32_t number)
    {
        std::string data(4, '\0');
        for (int i = 0; i < 4; ++i) {
            data[static_cast<std::size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
        }
        Set(root, name, reg::TypeDword, data);
    }
    void Clear()
    {
        for (reg::Key root : {reg::HkeyLocalMachine, reg::HkeyCurrentUser}) {
            registry_.DeleteKey(root, PoliciesSubKey);
        }
    }

private:
    void Set(reg::Key root, const std::string& name, std::uint32_t type, const std::string& data)
    {
        reg::Key key = 0;
        if (registry_.CreateKey(root, PoliciesSubKey, &key) != reg::Success) {
            return;
        }
        registry_.SetValueEx(key, name.c_str(), type,
                             reinterpret_cast<const std::uint8_t*>(data.data()),
                             static_cast<std::uint32_t>(data.size()));
        registry_.CloseKey(key);
    }

    RegistryApi& registry_;
};

}  // namespace kestrel::testing

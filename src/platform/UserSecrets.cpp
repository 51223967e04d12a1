#include "platform/UserSecrets.h"

#include <algorithm>
#include <random>

namespace kestrel {

bool IsSecretName(const std::string& name)
{
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-';
    });
}

std::string NewSecretName(const std::string& prefix)
{
    static const char* hex = "0123456789abcdef";
    std::random_device random;
    std::string name = prefix;
    for (int i = 0; i < 16; ++i) {
        name += hex[random() & 0x0f];
    }
    return name;
}

}  // namespace kestrel

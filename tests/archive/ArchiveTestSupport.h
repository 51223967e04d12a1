#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace kestrel::testing {

// Deterministic bytes that deflate poorly.
std::string RandomBytes(std::size_t size, unsigned seed);

// An archive made with libzip directly, for what the component itself never writes: the
// traditional PKWARE scheme and member names with folders or device names.
struct RawMember {
    std::string name;
    std::string data;
};
bool MakeRawArchive(const std::filesystem::path& path, const std::vector<RawMember>& members,
                    int encryption = 0, const std::string& password = "");

}  // namespace kestrel::testing

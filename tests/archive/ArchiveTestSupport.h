#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "archive/BlockMap.h"
#include "platform/FileSystem.h"
#include "support/ScratchFolder.h"

namespace kestrel::testing {

// Deterministic bytes that deflate poorly.
std::string RandomBytes(std::size_t size, unsigned seed);

// A file's block map made the plain way: each block hashed on its own, then the whole-file
// digest from the block size, the file size (little-endian) and the block digests.
BlockMap ReferenceBlockMap(const std::string& file, std::uint32_t blockSize,
                           BlockHash hash = DefaultBlockHash);

// CRC-32 as ZIP stores it.
std::uint32_t Crc32(std::string_view data);

// An archive made with libzip directly, for what the component itself never writes: the
// traditional PKWARE scheme and member names with folders or device names.
struct RawMember {
    std::string name;
    std::string data;
};
bool MakeRawArchive(const std::filesystem::path& path, const std::vector<RawMember>& members,
                    int encryption = 0, const std::string& password = "");

// Every member of an archive with its data, read back through the component with the password;
// an archive or member that cannot be read fails the test.
std::map<std::string, std::string> ReadMembers(FileSystem& files, const std::string& archive,
                                               const std::string& password = "");

}  // namespace kestrel::testing

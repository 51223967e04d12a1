#include "archive/ArchiveTestSupport.h"

#include <zip.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>

#include "archive/ZipComponent.h"

namespace kestrel::testing {

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

BlockMap ReferenceBlockMap(const std::string& file, std::uint32_t blockSize, BlockHash kind)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
    BlockMap map;
    map.hash = kind;
    map.blockSize = blockSize;
    map.fileSize = file.size();
    const auto hash = CreateBlockHasher(kind);
    for (std::size_t at = 0; at < file.size(); at += blockSize) {
        hash->Update(bytes + at, std::min<std::size_t>(blockSize, file.size() - at));
        map.blocks.push_back(hash->Finish());
    }
    std::uint8_t sizes[12];
    for (int i = 0; i < 4; ++i) {
        sizes[i] = static_cast<std::uint8_t>(blockSize >> (8 * i));
    }
    for (int i = 0; i < 8; ++i) {
        sizes[4 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(file.size()) >> (8 * i));
    }
    hash->Update(sizes, sizeof sizes);
    for (const BlockMap::Digest& block : map.blocks) {
        hash->Update(block.data(), block.size());
    }
    map.whole = hash->Finish();
    return map;
}

std::uint32_t Crc32(std::string_view data)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

bool MakeRawArchive(const std::filesystem::path& path, const std::vector<RawMember>& members,
                    int encryption, const std::string& password)
{
    const std::u8string name = path.u8string();
    int error = 0;
    zip_t* archive =
        zip_open(std::string(name.begin(), name.end()).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        return false;
    }
    for (const RawMember& member : members) {
        zip_source_t* source =
            zip_source_buffer(archive, member.data.data(), member.data.size(), 0);
        const zip_int64_t index =
            zip_file_add(archive, member.name.c_str(), source, ZIP_FL_ENC_CP437);
        if (index < 0 ||
            (encryption != 0 && zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index),
                                                        static_cast<zip_uint16_t>(encryption),
                                                        password.c_str()) != 0)) {
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

std::map<std::string, std::string> ReadMembers(FileSystem& files, const std::string& archive,
                                               const std::string& password)
{
    NoZipEvents events;
    ZipComponent zip(files, events);
    zip.SetReadPassword(password);
    std::map<std::string, std::string> members;
    EXPECT_TRUE(zip.Open(archive)) << zip.LastError();
    for (const ZipMember& member : zip.Members()) {
        std::string& data = members[member.name];
        EXPECT_TRUE(zip.ReadMember(member,
                                   [&](const char* bytes, std::size_t size) {
                                       data.append(bytes, size);
                                       return true;
                                   }))
            << member.name << ": " << zip.LastError();
    }
    return members;
}

}  // namespace kestrel::testing

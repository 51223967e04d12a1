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

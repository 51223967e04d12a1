#include "archive/ArchiveTestSupport.h"

#include <zip.h>

#include <gtest/gtest.h>
#include <algorithm>

#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#else
#include "platform/posix/PosixFileSystem.h"
#endif

namespace kestrel::testing {

ScratchFolder::ScratchFolder()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    native_ = std::filesystem::temp_directory_path() / ("kestrel-" + name);
    std::filesystem::remove_all(native_);
    std::filesystem::create_directories(native_);
#ifdef _WIN32
    fileSystem_ = std::make_unique<Win32FileSystem>();
#else
    fileSystem_ = std::make_unique<PosixFileSystem>(native_ / "root");
#endif
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(native_, ignored);
}

std::string ScratchFolder::Path(const std::string& relative) const
{
    const std::u8string base = native_.u8string();
    std::string path(base.begin(), base.end());
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    return relative.empty() ? path : path + separator + relative;
}

std::filesystem::path ScratchFolder::Native(const std::string& relative) const
{
    return relative.empty() ? native_ : native_ / std::filesystem::u8path(relative);
}

std::string ScratchFolder::Make(const std::string& relative, const std::string& bytes) const
{
    std::ofstream(Native(relative), std::ios::binary) << bytes;
    return Path(relative);
}

std::string ScratchFolder::Folder(const std::string& relative) const
{
    std::filesystem::create_directories(Native(relative));
    return Path(relative);
}

std::string ScratchFolder::Read(const std::string& relative) const
{
    std::ifstream in(Native(relative), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ScratchFolder::List(const std::string& relative) const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Native(relative))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
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

}  // namespace kestrel::testing

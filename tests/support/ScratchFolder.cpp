#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/ProcessId.h"

#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#else
#include "platform/posix/PosixFileSystem.h"
#endif

namespace kestrel::testing {

ScratchFolder::ScratchFolder()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "kestrel-" + std::to_string(CurrentProcessId()) + "-" +
                       test->test_suite_name() + "-" + test->name();
    std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests
    native_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(native_);
    std::filesystem::create_directories(native_);
}

ScratchFolder::~ScratchFolder()
{
    fileSystem_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(native_, ignored);
}

std::filesystem::path ScratchFolder::Native(const std::string& relative) const
{
    return relative.empty() ? native_ : native_ / std::filesystem::u8path(relative);
}

std::string ScratchFolder::Path(const std::string& relative) const
{
    const std::u8string path = Native(relative).u8string();
    return {path.begin(), path.end()};
}

FileSystem& ScratchFolder::Files()
{
    if (!fileSystem_) {
#ifdef _WIN32
        fileSystem_ = std::make_unique<Win32FileSystem>();
#else
        fileSystem_ = std::make_unique<PosixFileSystem>(native_ / "root");
#endif
    }
    return *fileSystem_;
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

}  // namespace kestrel::testing

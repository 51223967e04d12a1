// One suite for both file-system backends: POSIX over a mapped environment root, and the Win32
// file API (Wine's when the Windows build runs under Wine). Where the systems differ, the
// difference is a named property of the backend and each side is asserted.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/Win32FileSystem.h"
#else
#include "platform/posix/PosixFileSystem.h"
#endif

namespace kestrel {
namespace {

using Names = std::vector<std::string>;

class FileSystemConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        native_ = std::filesystem::temp_directory_path() / ("kestrel-fs-" + test);
        std::filesystem::remove_all(native_);
#ifdef _WIN32
        fs_ = std::make_unique<Win32FileSystem>();
        std::filesystem::create_directories(native_);
        base_ = native_.string();
#else
        // The root stands for a Windows machine; the test names its files by Windows paths.
        fs_ = std::make_unique<PosixFileSystem>(native_);
        std::filesystem::create_directories(native_ / "drive_c" / "Work");
        base_ = "C:\\Work";
#endif
    }
    void TearDown() override
    {
        std::filesystem::remove_all(native_);
    }

    std::string At(const std::string& relative) const
    {
        return base_ + "\\" + relative;
    }
    void Write(const std::string& relative, const std::string& bytes)
    {
        std::ofstream(fs_->NativePath(At(relative)), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& relative)
    {
        std::ifstream in(fs_->NativePath(At(relative)), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::unique_ptr<FileSystem> fs_;
    std::filesystem::path native_;
    std::string base_;
};

// Makes a file hidden the way the system does: an attribute on Windows, a name on Linux.
std::string MakeHidden(FileSystem& fs, const std::string& folder)
{
#ifdef _WIN32
    const std::string path = folder + "\\hidden.txt";
    std::ofstream(fs.NativePath(path)) << "x";
    SetFileAttributesW(fs.NativePath(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
#else
    const std::string path = folder + "\\.hidden";
    std::ofstream(fs.NativePath(path)) << "x";
#endif
    return path;
}

TEST_F(FileSystemConformance, ExistenceCountsOnlyNormalFilesAndIgnoresCase)
{
    Write("Mail.PST", "data");
    ASSERT_TRUE(fs_->CreateFolder(At("Sub")));
    const std::string hidden = MakeHidden(*fs_, base_);

    EXPECT_TRUE(fs_->FileExists(At("mail.pst")));
    EXPECT_TRUE(fs_->FileExists(At("MAIL.pst")));
    EXPECT_FALSE(fs_->FileExists(At("Sub")));
    EXPECT_FALSE(fs_->FileExists(hidden));
    EXPECT_FALSE(fs_->FileExists(At("missing.pst")));
    EXPECT_TRUE(fs_->FolderExists(At("SUB")));
    EXPECT_FALSE(fs_->FolderExists(At("Mail.PST")));
    EXPECT_FALSE(fs_->FolderExists(At("Missing")));

    EXPECT_TRUE(fs_->SetNormalAttributes(hidden));
#ifdef _WIN32
    EXPECT_TRUE(fs_->FileExists(hidden));  // the attribute is gone; a dot name stays hidden
#endif
}

TEST_F(FileSystemConformance, ListsFilesDirectlyInsideAFolder)
{
    ASSERT_TRUE(fs_->CreateFolder(At("Signatures")));
    ASSERT_TRUE(fs_->CreateFolder(At("Signatures\\files")));
    for (const char* name : {"b.htm", "a.txt", "c.rtf"}) {
        Write(std::string("Signatures\\") + name, name);
    }
    Write("Signatures\\files\\inner.png", "x");
    const std::string hidden = MakeHidden(*fs_, At("Signatures"));
    const std::string hiddenName = hidden.substr(hidden.rfind('\\') + 1);

    Names listed = fs_->FilesIn(At("signatures"));
    std::sort(listed.begin(), listed.end());
    Names expected{"a.txt", "b.htm", "c.rtf", hiddenName};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, listed);
    EXPECT_EQ(Names{}, fs_->FilesIn(At("Missing")));
}

TEST_F(FileSystemConformance, CreatesOneFolderLevel)
{
    EXPECT_TRUE(fs_->CreateFolder(At("One")));
    EXPECT_FALSE(fs_->CreateFolder(At("One")));
    EXPECT_FALSE(fs_->CreateFolder(At("Two\\Three")));
    EXPECT_FALSE(fs_->FolderExists(At("Two")));
}

TEST_F(FileSystemConformance, DeletesRenamesCopiesAndReplacesFiles)
{
    Write("a.txt", "first");
    Write("b.txt", "second");

    EXPECT_FALSE(fs_->RenameFile(At("a.txt"), At("b.txt")));  // the target exists
    EXPECT_EQ("second", Read("b.txt"));
    EXPECT_TRUE(fs_->RenameFile(At("a.txt"), At("c.txt")));
    EXPECT_FALSE(fs_->FileExists(At("a.txt")));
    EXPECT_EQ("first", Read("c.txt"));

    EXPECT_TRUE(fs_->CopyFileTo(At("c.txt"), At("b.txt")));
    EXPECT_EQ("first", Read("b.txt"));
    EXPECT_EQ("first", Read("c.txt"));
    EXPECT_FALSE(fs_->CopyFileTo(At("missing.txt"), At("d.txt")));

    Write("new.txt", "replacement");
    EXPECT_TRUE(fs_->MoveOver(At("new.txt"), At("b.txt")));
    EXPECT_EQ("replacement", Read("b.txt"));
    EXPECT_FALSE(fs_->FileExists(At("new.txt")));
    EXPECT_TRUE(fs_->FlushToDisk(At("b.txt")));

    EXPECT_TRUE(fs_->RemoveFile(At("b.txt")));
    EXPECT_FALSE(fs_->RemoveFile(At("b.txt")));
    EXPECT_FALSE(fs_->FileExists(At("b.txt")));
}

TEST_F(FileSystemConformance, AppendsAndReadsAnsiLines)
{
    // "é" is one byte in the ANSI code page and two in UTF-8.
    EXPECT_TRUE(fs_->AppendTextLine(At("info.dat"), "Key=caf\xC3\xA9"));
    EXPECT_TRUE(fs_->AppendTextLine(At("info.dat"), ""));
    EXPECT_TRUE(fs_->AppendTextLine(At("info.dat"), "x=y=z"));
    EXPECT_EQ("Key=caf\xE9\r\n\r\nx=y=z\r\n", Read("info.dat"));
    EXPECT_EQ((Names{"Key=caf\xC3\xA9", "", "x=y=z"}), fs_->ReadTextLines(At("INFO.dat")));

    Write("unix.txt", "a\nb\r\n\nlast");
    EXPECT_EQ((Names{"a", "b", "", "last"}), fs_->ReadTextLines(At("unix.txt")));
    Write("empty.txt", "");
    EXPECT_EQ(Names{}, fs_->ReadTextLines(At("empty.txt")));
    EXPECT_EQ(std::nullopt, fs_->ReadTextLines(At("missing.txt")));
    EXPECT_FALSE(fs_->AppendTextLine(At("Missing\\info.dat"), "x"));
}

TEST_F(FileSystemConformance, MakesTemporaryNamesAsWindowsDoes)
{
    const std::regex shape(R"((OBC|SF)[0-9A-F]{1,4}\.tmp)", std::regex::icase);
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string path = fs_->CreateTempFile(base_, i % 2 ? "OBCX" : "SF");
        ASSERT_EQ(0u, path.rfind(base_ + "\\", 0)) << path;
        const std::string name = path.substr(base_.size() + 1);
        EXPECT_TRUE(std::regex_match(name, shape)) << name;
        EXPECT_TRUE(fs_->FileExists(path));
        EXPECT_EQ("", Read(name));
        EXPECT_TRUE(seen.insert(name).second) << "reused " << name;
    }
    EXPECT_EQ("", fs_->CreateTempFile(At("Missing"), "OBA"));
}

}  // namespace
}  // namespace kestrel

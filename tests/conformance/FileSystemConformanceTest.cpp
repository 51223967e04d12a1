// One suite for both file-system backends: POSIX over a mapped environment root, and the Win32
// file API (Wine's when the Windows build runs under Wine).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "archive/ArchiveTestSupport.h"
#include "support/NameCases.h"
#include "support/ScratchFolder.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/Win32FileSystem.h"
#else
#include <sys/resource.h>

#include <csignal>

#include "platform/posix/PosixFileSystem.h"
#endif

namespace kestrel {
namespace {

using Names = std::vector<std::string>;

class FileSystemConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        fs_ = std::make_unique<Win32FileSystem>();
        base_ = native_.string();
#else
        // The root stands for a Windows machine; the test names its files by Windows paths.
        fs_ = std::make_unique<PosixFileSystem>(native_);
        std::filesystem::create_directories(native_ / "drive_c" / "Work");
        base_ = "C:\\Work";
#endif
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

    testing::ScratchFolder scratch_;
    const std::filesystem::path native_ = scratch_.Native();
    std::unique_ptr<FileSystem> fs_;
    std::string base_;
};

// Makes a file, or a folder, hidden the way the system does: an attribute on Windows, a name
// on Linux.
std::string MakeHidden(FileSystem& fs, const std::string& folder, bool asFolder = false)
{
#ifdef _WIN32
    const std::string path = folder + (asFolder ? "\\Hidden" : "\\hidden.txt");
#else
    const std::string path = folder + (asFolder ? "\\.cache" : "\\.hidden");
#endif
    if (asFolder) {
        fs.CreateFolder(path);
    } else {
        std::ofstream(fs.NativePath(path)) << "x";
    }
#ifdef _WIN32
    SetFileAttributesW(fs.NativePath(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
    return path;
}

void MakeReadOnly(FileSystem& fs, const std::string& path)
{
#ifdef _WIN32
    SetFileAttributesW(fs.NativePath(path).c_str(), FILE_ATTRIBUTE_READONLY);
#else
    using std::filesystem::perms;
    std::filesystem::permissions(fs.NativePath(path),
                                 perms::owner_write | perms::group_write | perms::others_write,
                                 std::filesystem::perm_options::remove);
#endif
}

// A symbolic link to a folder; false where the system makes none (Windows without developer
// mode or the privilege, Wine).
bool MakeFolderLink(FileSystem& fs, const std::string& link, const std::string& target)
{
#ifdef _WIN32
    const std::wstring path = fs.NativePath(link).wstring();
    CreateSymbolicLinkW(
        path.c_str(), fs.NativePath(target).c_str(),
        SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    std::error_code error;
    std::filesystem::create_directory_symlink(fs.NativePath(target), fs.NativePath(link), error);
    return !error;
#endif
}

// Writes `data` in pieces of uneven sizes; false at the first refused piece.
bool WriteInPieces(OutputFile& out, const std::string& data)
{
    static const std::size_t sizes[] = {0, 1, 4095, 65536, (1u << 20) + 17, (5u << 20) - 3};
    for (std::size_t at = 0, i = 0; at < data.size(); at += sizes[i++ % std::size(sizes)]) {
        if (!out.Write(data.data() + at, std::min(sizes[i % std::size(sizes)], data.size() - at))) {
            return false;
        }
    }
    return true;
}

// A path whose writes fail part way, as on a disk that fills up while it is written, for as long
// as `guard` lives; "" if none can be had.
std::string RefusedWritesPath([[maybe_unused]] const std::string& folder,
                              [[maybe_unused]] std::shared_ptr<void>& guard)
{
#ifdef _WIN32
    // The Windows suite runs under Wine, whose Z: drive reaches Linux's always-full device.
    // Windows itself has no such device: there this case needs another refusing file.
    return "Z:\\dev\\full";
#else
    // Files of the process cannot grow beyond 1 MiB: the write that crosses the limit is cut
    // short, the next one fails. (The suite's own log stays far below that size.)
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed process
    guard = std::shared_ptr<void>(nullptr, [saved, previous](void*) {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    });
    rlimit lowered = saved;
    lowered.rlim_cur = 1u << 20;
    return setrlimit(RLIMIT_FSIZE, &lowered) == 0 ? folder + "\\locked.pst" : "";
#endif
}

// How many files the process holds open; on Windows the file system itself tells when one is
// left open, by refusing to remove it.
int OpenDescriptors()
{
#ifdef _WIN32
    return 0;
#else
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
#endif
}

TEST_F(FileSystemConformance, ExistenceCountsOnlyNormalFilesIgnoresCaseAndFoldersGoOneLevel)
{
    Write("Mail.PST", "data");
    ASSERT_TRUE(fs_->CreateFolder(At("Sub")));
    const std::string hidden = MakeHidden(*fs_, base_);

    EXPECT_TRUE(fs_->FileExists(At("mail.pst")));
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
    EXPECT_FALSE(fs_->CreateFolder(At("sub")));
    EXPECT_FALSE(fs_->CreateFolder(At("Two\\Three")));
    EXPECT_FALSE(fs_->FolderExists(At("Two")));

    // Names ignore case as the registry does.
    for (const auto& [spelling, other] : testing::CaseAliases) {
        ASSERT_TRUE(fs_->CreateFolder(At(spelling))) << spelling;
        Write(spelling + "\\" + spelling + ".pst", spelling);
        EXPECT_TRUE(fs_->FileExists(At(other + "\\" + other + ".pst"))) << other;
        EXPECT_FALSE(fs_->CreateFolder(At(other))) << "one folder, whatever the case";
    }
    for (const auto& [one, other] : testing::DistinctNames) {
        Write(one, one);
        EXPECT_FALSE(fs_->FileExists(At(other))) << one;
    }
}

TEST_F(FileSystemConformance, ListsFilesAndFoldersDirectlyInsideAFolder)
{
    ASSERT_TRUE(fs_->CreateFolder(At("Signatures")));
    ASSERT_TRUE(fs_->CreateFolder(At("Signatures\\files")));
    for (const char* name : {"b.htm", "a.txt", "c.rtf"}) {
        Write(std::string("Signatures\\") + name, name);
    }
    ASSERT_TRUE(fs_->CreateFolder(At("Signatures\\files\\deeper")));
    Write("Signatures\\files\\inner.png", "x");
    const std::string hidden = MakeHidden(*fs_, At("Signatures"));
    const std::string hiddenName = hidden.substr(hidden.rfind('\\') + 1);
    const std::string hiddenFolder = MakeHidden(*fs_, At("Signatures"), true);
    const std::string hiddenFolderName = hiddenFolder.substr(hiddenFolder.rfind('\\') + 1);

    const Names listed = fs_->FilesIn(At("signatures"));
    EXPECT_EQ((std::multiset<std::string>{"a.txt", "b.htm", "c.rtf", hiddenName}),
              std::multiset<std::string>(listed.begin(), listed.end()));
    const Names folders = fs_->FoldersIn(At("signatures"));
    EXPECT_EQ((std::multiset<std::string>{"files", hiddenFolderName}),
              std::multiset<std::string>(folders.begin(), folders.end()));
    EXPECT_EQ(Names{}, fs_->FilesIn(At("Missing")));
    EXPECT_EQ(Names{}, fs_->FoldersIn(At("Missing")));
    // Listable: a folder with things in it and an empty one; not a missing folder or a file.
    EXPECT_TRUE(fs_->CanListFolder(At("signatures")));
    EXPECT_TRUE(fs_->CanListFolder(At("Signatures\\files\\deeper")));
    EXPECT_FALSE(fs_->CanListFolder(At("Missing")));
    EXPECT_FALSE(fs_->CanListFolder(At("Signatures\\a.txt")));
}

TEST_F(FileSystemConformance, RemovesAFolderTreeButNothingOutsideIt)
{
    struct Case {
        const char* name;
        void (*arrange)(FileSystem&, const std::string& tree, const std::string& outside);
        bool removed;  // what RemoveFolderTree returns; the tree is gone exactly then
    };
    const Case cases[] = {
        {"nested, read-only too",
         [](FileSystem& fs, const std::string& tree, const std::string&) {
             ASSERT_TRUE(fs.CreateFolder(tree) && fs.CreateFolder(tree + "\\Sub") &&
                         fs.CreateFolder(tree + "\\Sub\\Deeper"));
             for (const char* file : {"\\a.pst", "\\Sub\\b.reg", "\\Sub\\Deeper\\c.txt"}) {
                 ASSERT_TRUE(fs.AppendTextLine(tree + file, "x"));
             }
             MakeReadOnly(fs, tree + "\\Sub\\b.reg");
             MakeReadOnly(fs, tree + "\\Sub\\Deeper");
         },
         true},
        {"missing", [](FileSystem&, const std::string&, const std::string&) {}, true},
        {"a file",
         [](FileSystem& fs, const std::string& tree, const std::string&) {
             ASSERT_TRUE(fs.AppendTextLine(tree, "x"));
         },
         false},
        {"a link to a folder outside",
         [](FileSystem& fs, const std::string& tree, const std::string& outside) {
             ASSERT_TRUE(fs.CreateFolder(tree));
             if (!MakeFolderLink(fs, tree + "\\Link", outside)) {
                 ASSERT_TRUE(fs.AppendTextLine(tree + "\\no link here.txt", "x"));
             }
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string tree = At(std::string("Tree ") + c.name);
        const std::string outside = At(std::string("Outside ") + c.name);
        ASSERT_TRUE(fs_->CreateFolder(outside));
        ASSERT_TRUE(fs_->AppendTextLine(outside + "\\kept.txt", "kept"));
        c.arrange(*fs_, tree, outside);

        EXPECT_EQ(c.removed, fs_->RemoveFolderTree(tree));
        EXPECT_EQ(c.removed, !fs_->Stat(tree));
        EXPECT_EQ((Names{"kept"}), fs_->ReadTextLines(outside + "\\kept.txt"));
    }
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
#ifndef _WIN32
    // A restore's journal names every file it touches: only its owner may read it, one made
    // readable by an earlier version too.
    using std::filesystem::perms;
    const auto mode = [&](const char* name) {
        return std::filesystem::status(fs_->NativePath(At(name))).permissions() & perms::all;
    };
    EXPECT_EQ(perms::owner_read | perms::owner_write, mode("info.dat"));
    std::filesystem::permissions(
        fs_->NativePath(At("unix.txt")),
        perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
    EXPECT_TRUE(fs_->AppendTextLine(At("unix.txt"), "more"));
    EXPECT_EQ(perms::owner_read | perms::owner_write, mode("unix.txt"));
#endif
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

TEST_F(FileSystemConformance, OutputFileEmptiesWritesAndPatchesInOrderUntilCommitOrDrop)
{
    // Spans several stretches a backend may send to the disk, in pieces that never line up;
    // random bytes show a piece written twice, lost or out of order. A ZIP writer completes each
    // header once the data behind it is written, then appends again: patches while the data may
    // still be in flight in a backend that writes in the background.
    const std::string data = testing::RandomBytes((40u << 20) + 123, 7);
    const std::string written = "head" + data.substr(0, data.size() - 2) + "!!tail";
    for (const char* end : {"commit", "drop", "patch past the end"}) {
        SCOPED_TRACE(end);
        Write("Restored.PST", data + "an older, longer file of the same name");
        const int openBefore = OpenDescriptors();
        auto created = fs_->CreateOutputFile(At("restored.pst"));
        ASSERT_TRUE(created) << created.error().Describe();
        std::unique_ptr<OutputFile> out = std::move(*created);
        ASSERT_TRUE(out->Write("HEAD", 4));
        ASSERT_TRUE(WriteInPieces(*out, data));
        ASSERT_TRUE(out->WriteAt(0, "head", 4));
        ASSERT_TRUE(out->WriteAt(4 + data.size() - 2, "!!", 2));
        ASSERT_TRUE(out->Write("tail", 4));
        if (end == std::string("commit")) {
            ASSERT_TRUE(out->Commit());
            EXPECT_FALSE(out->Write("late", 4));
            EXPECT_FALSE(out->Commit());
            EXPECT_TRUE(Read("restored.pst") == written)
                << "written " << Read("restored.pst").size();
            EXPECT_EQ(Names{"Restored.PST"}, fs_->FilesIn(base_));
        } else if (end != std::string("drop")) {
            EXPECT_FALSE(out->WriteAt(4 + data.size() + 2, "past", 4));  // beyond what was written
            EXPECT_FALSE(out->Commit());
            EXPECT_EQ(At("restored.pst"), out->Failure().subject);
        }
        out.reset();
        EXPECT_EQ(openBefore, OpenDescriptors());
        // The file stays for the caller, and nothing holds it (Windows removes no open file).
        EXPECT_TRUE(fs_->RemoveFile(At("restored.pst")));
    }
    ASSERT_TRUE(fs_->CreateFolder(At("Folder")));  // no file where none can be written
    for (const char* path : {"Missing\\out.pst", "Folder"}) {
        const auto refused = fs_->CreateOutputFile(At(path));
        ASSERT_FALSE(refused) << path;
        EXPECT_EQ(At(path), refused.error().subject);
        EXPECT_NE(0, refused.error().systemCode) << path;
    }
    EXPECT_TRUE(fs_->FolderExists(At("Folder")));
}

TEST_F(FileSystemConformance, OutputFileReportsARefusedWriteAndStaysFailed)
{
    // Just past the point where writes fail, Commit must not claim the file complete; writing on,
    // a backend that writes in the background must show the refusal within a few megabytes.
    for (const bool writeOn : {false, true}) {
        std::shared_ptr<void> guard;
        const std::string path = RefusedWritesPath(base_, guard);
        ASSERT_NE("", path);
        const int openBefore = OpenDescriptors();
        auto created = fs_->CreateOutputFile(path);
        ASSERT_TRUE(created);
        std::unique_ptr<OutputFile> out = std::move(*created);
        const std::string data = testing::RandomBytes((1u << 20) + (writeOn ? 0 : 100), 7);
        bool shown = !out->Write(data.data(), data.size());
        for (int i = 0; writeOn && i < 64 && !shown; ++i) {
            shown = !out->Write(data.data(), data.size());
        }
        if (writeOn) {
            EXPECT_TRUE(shown);
            EXPECT_FALSE(out->Write(data.data(), 0));  // not even nothing goes in after a failure
            EXPECT_FALSE(out->Write(data.data(), data.size()));
        }
        EXPECT_FALSE(out->Commit()) << writeOn;
        EXPECT_EQ(path, out->Failure().subject);
        EXPECT_NE(0, out->Failure().systemCode);
        EXPECT_EQ(openBefore, OpenDescriptors()) << writeOn;
    }
}

TEST_F(FileSystemConformance, InputFileReadsFromAnywhereAndStatTellsWhatAPathIs)
{
    const std::string data = testing::RandomBytes((1u << 20) + 5, 7);
    Write("Mail.pst", data);
    ASSERT_TRUE(fs_->CreateFolder(At("Folder")));
    const int openBefore = OpenDescriptors();
    {
        auto opened = fs_->OpenInputFile(At("MAIL.PST"));
        ASSERT_TRUE(opened) << opened.error().Describe();
        InputFile& in = **opened;
        EXPECT_EQ(data.size(), in.Size());
        std::string got(data.size() + 10, '\0');
        ASSERT_EQ(static_cast<std::int64_t>(data.size()), in.Read(got.data(), got.size()));
        EXPECT_TRUE(got.substr(0, data.size()) == data);
        EXPECT_EQ(0, in.Read(got.data(), 10));
        ASSERT_TRUE(in.Seek(data.size() - 3));
        ASSERT_EQ(3, in.Read(got.data(), 10));
        EXPECT_EQ(data.substr(data.size() - 3), got.substr(0, 3));
    }
    EXPECT_EQ(openBefore, OpenDescriptors());

    const auto file = fs_->Stat(At("mail.pst"));
    ASSERT_TRUE(file);
    EXPECT_EQ(data.size(), file->size);
    EXPECT_FALSE(file->isFolder);
    EXPECT_LE(std::abs(std::time(nullptr) - file->modified), 120);
    const auto folder = fs_->Stat(At("Folder"));
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->isFolder);

    for (const char* path : {"Missing.pst", "Folder", "Missing\\Mail.pst"}) {
        const auto refused = fs_->OpenInputFile(At(path));
        ASSERT_FALSE(refused) << path;
        EXPECT_EQ(At(path), refused.error().subject);
        EXPECT_NE(0, refused.error().systemCode) << path;
        EXPECT_NE(std::string::npos, refused.error().Describe().find(At(path)));
    }
    EXPECT_FALSE(fs_->Stat(At("Missing.pst")));
}

}  // namespace
}  // namespace kestrel

// The archive writer against a file system that fails on purpose: whatever fails, the previous
// archive stays byte for byte, nothing half-written is left beside it, and the error names the
// file concerned.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "archive/ArchiveTestSupport.h"
#include "archive/ZipComponent.h"
#include "support/MemoryFileSystem.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;

constexpr const char* Target = "C:\\Backups\\Outlook.ksb";
constexpr const char* Mail = "C:\\Mail\\Outlook.pst";
constexpr const char* Info = "C:\\Kestrel\\ksbackup.dat";

class ArchiveFaultTest : public ::testing::Test {
protected:
    ArchiveFaultTest()
    {
        fs.AddFile(Mail, testing::RandomBytes(200 * 1024, 3) + std::string(100 * 1024, 'x'));
        fs.AddFile(Info, "BackupItem=01000000000\r\n");
        fs.AddFile(Target, "the previous backup");
        fs.AddFile("C:\\Backups\\Outlook.ksb.20240115", "a copy the user keeps");
    }

    bool Write(const std::string& password)
    {
        ZipComponent zip(fs, events);
        zip.SetEventInterval(std::chrono::milliseconds(0));
        if (!zip.Create(Target) || !zip.AddFile(Mail) || !zip.AddFile(Info)) {
            return false;
        }
        zip.SetProtection(!password.empty());
        zip.SetWritePassword(password);
        const bool written = zip.Write();
        error = zip.LastError();
        failure = zip.LastFailure();
        return written;
    }

    MemoryFileSystem fs;
    NoZipEvents events;
    std::string error;
    Error failure;
};

TEST_F(ArchiveFaultTest, AWriteFailingAtAnyPointLeavesThePreviousArchiveAndNamesTheFile)
{
    for (const std::string password : {"", "pa55"}) {
        const auto before = fs.Paths();
        std::uint64_t n = 1;
        for (;; ++n) {
            fs.FailWriteNumber(n);
            const std::uint64_t start = fs.WritesSoFar();
            const bool written = Write(password);
            const bool reachedFailure = fs.WritesSoFar() - start >= n;
            fs.FailWriteNumber(0);
            if (!reachedFailure) {
                ASSERT_TRUE(written) << error;
                break;
            }
            ASSERT_FALSE(written) << "write " << n << " failed unnoticed";
            ASSERT_EQ("the previous backup", fs.Data(Target)) << n;
            ASSERT_EQ(before, fs.Paths()) << "write " << n << " left a file behind";
            ASSERT_EQ(112, failure.systemCode) << error;
            ASSERT_EQ(0u, failure.subject.rfind(std::string(Target) + ".part-", 0)) << error;
            ASSERT_NE(std::string::npos, error.find("not enough space")) << error;
        }
        EXPECT_GT(n, 10u) << "the writer made too few writes for the test to mean anything";

        // The one that went through is whole: every member reads back and passes its checks.
        const auto members = testing::ReadMembers(fs, Target, password);
        EXPECT_EQ((std::map<std::string, std::string>{{"Outlook.pst", fs.Data(Mail)},
                                                      {"ksbackup.dat", fs.Data(Info)}}),
                  members);
        fs.AddFile(Target, "the previous backup");
    }
}

TEST_F(ArchiveFaultTest, ASourceThatCannotBeOpenedOrATargetThatCannotBeReplacedWritesNothing)
{
    struct Case {
        const char* name;
        void (*arrange)(MemoryFileSystem&);
        const char* namedPath;
    };
    const Case cases[] = {
        {"source held open by another program",
         [](MemoryFileSystem& files) { files.RefuseOpening(Mail); }, Mail},
        {"target cannot be replaced", [](MemoryFileSystem& files) { files.FailRenamesTo(Target); },
         Target},
    };
    for (const Case& c : cases) {
        MemoryFileSystem pristine = fs;
        c.arrange(fs);
        const auto before = fs.Paths();
        EXPECT_FALSE(Write("pa55")) << c.name;
        EXPECT_EQ("the previous backup", fs.Data(Target)) << c.name;
        EXPECT_EQ(before, fs.Paths()) << c.name;
        EXPECT_NE(std::string::npos, error.find(c.namedPath)) << c.name << ": " << error;
        fs = pristine;
    }
}

// Cancel comes from the window's thread while the write runs; here it comes from the event
// of the first member, which is the same moment for the writer.
TEST_F(ArchiveFaultTest, ACancelledWriteLeavesThePreviousArchiveAndSaysSo)
{
    struct CancelOnFirstFile final : ZipEventSink {
        ZipComponent* zip = nullptr;
        void AddingFile(const std::string&) override { zip->Cancel(); }
        void ExtractingFile(const std::string&) override {}
        void WriteProgress(int) override {}
        void WriteFinished() override {}
    } cancelling;
    ZipComponent zip(fs, cancelling);
    cancelling.zip = &zip;
    const auto before = fs.Paths();
    ASSERT_TRUE(zip.Create(Target) && zip.AddFile(Mail, "Renamed.pst") && zip.AddFile(Info));
    EXPECT_FALSE(zip.Write());
    EXPECT_TRUE(zip.WasCancelled());
    EXPECT_NE(std::string::npos, zip.LastError().find("cancelled")) << zip.LastError();
    EXPECT_EQ("the previous backup", fs.Data(Target));
    EXPECT_EQ(before, fs.Paths());

    // The next write is not cancelled, and stores the member under the name it was given.
    ZipComponent again(fs, events);
    ASSERT_TRUE(again.Create(Target) && again.AddFile(Mail, "Renamed.pst"));
    EXPECT_FALSE(again.AddFile(Info, "..\\evil.dat"));
    ASSERT_TRUE(again.Write()) << again.LastError();
    EXPECT_FALSE(again.WasCancelled());
    ASSERT_TRUE(again.Open(Target));
    EXPECT_TRUE(again.FindMember("Renamed.pst"));
}

}  // namespace
}  // namespace kestrel

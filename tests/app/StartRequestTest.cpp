#include "app/StartRequest.h"

#include <gtest/gtest.h>

#include "support/MemoryFileSystem.h"

namespace kestrel {
namespace {

TEST(StartRequestTest, OneExistingBackupFileOpensItAndEverythingElseRunsUnattended)
{
    testing::MemoryFileSystem files;
    files.AddFolder("C:\\Backups");
    files.AddFolder("C:\\Backups\\sf=odd");
    files.AddFile("C:\\Backups\\mail.ksb", "zip");
    files.AddFile("C:\\Backups\\MAIL2.KSB", "zip");
    files.AddFile("C:\\Backups\\notes.zip", "zip");
    files.AddFile("C:\\Backups\\sf=odd\\x.ksb", "zip");
    files.AddFile("sf=x.ksb", "zip");
    const std::string job = "sf=Outlookxm=111111111ps=bf=C:\\Backups\\mail.ksb";
    const struct {
        const char* text;
        std::vector<std::string> arguments;
        StartKind kind;
        const char* request;
    } cases[] = {
        {"", {}, StartKind::MainWindow, ""},
        {"\"C:\\Backups\\mail.ksb\"",
         {"C:\\Backups\\mail.ksb"},
         StartKind::OpenBackup,
         "C:\\Backups\\mail.ksb"},
        {"C:\\Backups\\MAIL2.KSB",
         {"C:\\Backups\\MAIL2.KSB"},
         StartKind::OpenBackup,
         "C:\\Backups\\MAIL2.KSB"},
        // A path inside a folder whose name happens to look like a job is still a file.
        {"C:\\Backups\\sf=odd\\x.ksb",
         {"C:\\Backups\\sf=odd\\x.ksb"},
         StartKind::OpenBackup,
         "C:\\Backups\\sf=odd\\x.ksb"},
        // A scheduled job's text, even one whose archive exists, is never opened.
        {job.c_str(), {job}, StartKind::Unattended, job.c_str()},
        {"SF=x.ksb", {"SF=x.ksb"}, StartKind::Unattended, "SF=x.ksb"},
        {"sf=x.ksb", {"sf=x.ksb"}, StartKind::Unattended, "sf=x.ksb"},
        {"C:\\Backups\\missing.ksb",
         {"C:\\Backups\\missing.ksb"},
         StartKind::Unattended,
         "C:\\Backups\\missing.ksb"},
        {"C:\\Backups\\notes.zip",
         {"C:\\Backups\\notes.zip"},
         StartKind::Unattended,
         "C:\\Backups\\notes.zip"},
        {"C:\\Backups", {"C:\\Backups"}, StartKind::Unattended, "C:\\Backups"},
        {"C:\\Backups\\mail.ksb C:\\Backups\\MAIL2.KSB",
         {"C:\\Backups\\mail.ksb", "C:\\Backups\\MAIL2.KSB"},
         StartKind::Unattended,
         "C:\\Backups\\mail.ksb C:\\Backups\\MAIL2.KSB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const StartRequest start = ChooseStart(c.text, c.arguments, &files);
        EXPECT_EQ(c.kind, start.kind);
        EXPECT_EQ(c.request, start.text);
    }
    // Without a file system nothing can be looked at, so nothing is opened.
    EXPECT_EQ(StartKind::Unattended,
              ChooseStart("C:\\Backups\\mail.ksb", {"C:\\Backups\\mail.ksb"}, nullptr).kind);
}

}  // namespace
}  // namespace kestrel

#include <zip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>

#include "archive/ArchiveTestSupport.h"
#include "archive/InfoFile.h"
#include "archive/MemberName.h"
#include "archive/ZipComponent.h"

namespace kestrel {
namespace {

using testing::RandomBytes;
using testing::ScratchFolder;

struct RecordedEvents final : ZipEventSink {
    std::vector<std::string> added;
    std::vector<int> progress;
    int finished = 0;
    ZipComponent* cancelOnProgress = nullptr;  // cancels it at the first progress past 0

    void AddingFile(const std::string& name) override { added.push_back(name); }
    void ExtractingFile(const std::string&) override {}
    void WriteProgress(int percent) override
    {
        progress.push_back(percent);
        if (cancelOnProgress != nullptr && percent > 0) {
            cancelOnProgress->Cancel();
        }
    }
    void WriteFinished() override { ++finished; }
};

class ZipComponentTest : public ::testing::Test {
protected:
    ZipComponentTest() { zip.SetEventInterval(std::chrono::milliseconds(0)); }

    // Writes the named scratch files into an archive; the password protects it when given.
    bool WriteArchive(const std::string& archive, const std::vector<std::string>& files,
                      const std::string& password = "")
    {
        if (!zip.Create(scratch.Path(archive))) {
            return false;
        }
        for (const std::string& file : files) {
            zip.AddFile(scratch.Path(file));
        }
        zip.SetProtection(!password.empty());
        zip.SetWritePassword(password);
        return zip.Write();
    }

    ScratchFolder scratch;
    RecordedEvents events;
    ZipComponent zip{scratch.Files(), events};
};

TEST_F(ZipComponentTest, RoundTripsWithAndWithoutPassword)
{
    const std::string pst = RandomBytes(300 * 1024, 1) + std::string(200 * 1024, 'm');
    scratch.Make("ksbackup.dat", "BackupItem=01000000000\r\n");
    scratch.Make("Mail \xC3\xA9t\xC3\xA9.pst", pst);
    scratch.Make("empty.rwz", "");
    for (const std::string password : {"", "s3cret p\xC3\xA4ss"}) {
        SCOPED_TRACE(password);
        ASSERT_TRUE(WriteArchive(
            "b.ksb", {"ksbackup.dat", "Mail \xC3\xA9t\xC3\xA9.pst", "empty.rwz"}, password))
            << zip.LastError();
        EXPECT_EQ(!password.empty(), zip.IsProtected(scratch.Path("b.ksb")));

        ASSERT_TRUE(zip.Open(scratch.Path("b.ksb"))) << zip.LastError();
        zip.SetReadPassword(password);
        EXPECT_TRUE(zip.CheckPassword()) << zip.LastError();
        const auto member = zip.FindMember("MAIL \xC3\xA9t\xC3\xA9.PST");
        ASSERT_TRUE(member);
        EXPECT_EQ(pst.size(), member->size);
        EXPECT_EQ(!password.empty(), member->encrypted);
        EXPECT_LT(member->compressedSize, pst.size());
        const std::string out = scratch.Folder("out");
        for (const auto& m : zip.Members()) {
            ASSERT_TRUE(zip.ExtractMember(m, out)) << zip.LastError();
        }
        EXPECT_EQ(pst, scratch.Read("out/Mail \xC3\xA9t\xC3\xA9.pst"));
        EXPECT_EQ("", scratch.Read("out/empty.rwz"));
        EXPECT_EQ(
            (std::vector<std::string>{"Mail \xC3\xA9t\xC3\xA9.pst", "empty.rwz", "ksbackup.dat"}),
            scratch.List("out"));
        EXPECT_FALSE(zip.FindMember("absent.pst"));
        zip.Close();
    }
}

TEST_F(ZipComponentTest, EventsFollowTheDataAtMostEveryIntervalAndEveryWriteFinishes)
{
    scratch.Make("big.pst", RandomBytes(2 * 1024 * 1024, 2));
    std::vector<std::string> files{"big.pst"};
    for (int i = 0; i < 50; ++i) {
        files.push_back("sig" + std::to_string(i) + ".htm");
        scratch.Make(files.back(), "<p>signature</p>");
    }
    ASSERT_TRUE(WriteArchive("a.ksb", files)) << zip.LastError();
    EXPECT_EQ(files, events.added);
    EXPECT_EQ(1, events.finished);
    ASSERT_FALSE(events.progress.empty());
    EXPECT_EQ(0, events.progress.front());
    EXPECT_EQ(100, events.progress.back());
    EXPECT_TRUE(std::is_sorted(events.progress.begin(), events.progress.end()));
    EXPECT_GT(events.progress.size(), 50u) << "progress moves with the bytes of one big file";

    // At most one event per interval: the first name at once, the last one when the write
    // ends; 0 and 100 always.
    zip.SetEventInterval(std::chrono::hours(1));
    events = {};
    ASSERT_TRUE(WriteArchive("b.ksb", files));
    EXPECT_EQ((std::vector<std::string>{"big.pst", "sig49.htm"}), events.added);
    EXPECT_EQ((std::vector<int>{0, 100}), events.progress);

    events = {};
    EXPECT_FALSE(zip.Write());  // nothing created since
    EXPECT_EQ(1, events.finished);
    zip.Create(scratch.Path("a.ksb"));
    EXPECT_FALSE(zip.Write()) << "an empty write would delete the archive";
    EXPECT_EQ(2, events.finished);
    EXPECT_TRUE(scratch.Files().FileExists(scratch.Path("a.ksb")));
}

// Cancel comes from the window's thread while a large member is extracted; here it comes from
// the member's first progress past 0, the same moment for the extraction.
TEST_F(ZipComponentTest, WrongPasswordsDamageAndCancelFailTheExtractionAndKeepThePreviousCopy)
{
    const std::string data = RandomBytes(3 * 1024 * 1024, 4) + std::string(64 * 1024, 'a');
    const std::string info = "BackupItem=01000000000\r\n";
    scratch.Make("Mail.pst", data);
    scratch.Make("ksbackup.dat", info);
    ASSERT_TRUE(WriteArchive("plain.ksb", {"Mail.pst", "ksbackup.dat"}));
    ASSERT_TRUE(WriteArchive("aes.ksb", {"Mail.pst", "ksbackup.dat"}, "pw"));
    ASSERT_TRUE(testing::MakeRawArchive(scratch.Native("pkware.ksb"),
                                        {{"Mail.pst", data}, {"ksbackup.dat", info}},
                                        ZIP_EM_TRAD_PKWARE, "pw"));
    for (const std::string archive : {"aes.ksb", "pkware.ksb"}) {
        SCOPED_TRACE(archive);
        EXPECT_TRUE(zip.IsProtected(scratch.Path(archive)));
        ASSERT_TRUE(zip.Open(scratch.Path(archive)));
        int accepted = 0;
        for (int i = 0; i < 500; ++i) {
            zip.SetReadPassword("wrong" + std::to_string(i));
            accepted += zip.CheckPassword() ? 1 : 0;
        }
        EXPECT_EQ(0, accepted);
        zip.SetReadPassword("");
        EXPECT_FALSE(zip.CheckPassword());
        zip.SetReadPassword("pw");
        EXPECT_TRUE(zip.CheckPassword()) << zip.LastError();
    }
    const auto half = [](std::string& b) { b.resize(b.size() / 2); };
    const auto end = [](std::string& b) { b.resize(b.size() - 10); };
    const auto flip = [](std::string& b) { b[b.size() / 3] ^= 0x10; };
    const auto flipNearStart = [](std::string& b) { b[200] ^= 0x01; };
    struct Case {
        const char* name;
        const char* archive;
        const char* password;
        std::function<void(std::string&)> damage;
        bool cancel;
        const char* error;  // part of it
    };
    const Case cases[] = {
        {"AES, wrong password", "aes.ksb", "wrong1", nullptr, false, "Mail.pst in "},
        {"PKWARE, wrong password", "pkware.ksb", "wrong1", nullptr, false, "Mail.pst in "},
        {"truncated in the data", "plain.ksb", "", half, false, "damaged.ksb"},
        {"truncated at the end", "plain.ksb", "", end, false, "damaged.ksb"},
        {"bit flipped in the data", "plain.ksb", "", flip, false, "damaged.ksb"},
        {"bit flipped near the start", "plain.ksb", "", flipNearStart, false, "damaged.ksb"},
        {"AES, truncated in the data", "aes.ksb", "pw", half, false, "damaged.ksb"},
        {"AES, truncated at the end", "aes.ksb", "pw", end, false, "damaged.ksb"},
        {"AES, bit flipped in the data", "aes.ksb", "pw", flip, false, "damaged.ksb"},
        {"AES, bit flipped near the start", "aes.ksb", "pw", flipNearStart, false, "damaged.ksb"},
        {"cancelled", "aes.ksb", "pw", nullptr, true, "cancelled"},
    };
    const std::string out = scratch.Folder("out");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = scratch.Read(c.archive);
        if (c.damage) {
            c.damage(bytes);
        }
        scratch.Make("damaged.ksb", bytes);
        scratch.Make("out/Mail.pst", "the previous copy");
        events.cancelOnProgress = c.cancel ? &zip : nullptr;
        zip.SetReadPassword(c.password);
        if (zip.Open(scratch.Path("damaged.ksb"))) {
            const auto member = zip.FindMember("Mail.pst");
            ASSERT_TRUE(member);
            EXPECT_EQ(c.cancel, zip.ReadMember(*member)) << "reading is never cancelled";
            EXPECT_FALSE(zip.ExtractMember(*member, out));
        }
        EXPECT_NE(std::string::npos, zip.LastError().find(c.error)) << zip.LastError();
        EXPECT_EQ(c.cancel, zip.WasCancelled());
        EXPECT_EQ(std::vector<std::string>{"Mail.pst"}, scratch.List("out"));
        EXPECT_EQ("the previous copy", scratch.Read("out/Mail.pst"));
        zip.Close();
    }

    // A Cancel that no extraction took up is forgotten; the next one runs whole.
    events = {};
    zip.Cancel();
    zip.ForgetCancel();
    ASSERT_TRUE(zip.Open(scratch.Path("aes.ksb")));
    ASSERT_TRUE(zip.ExtractMember(*zip.FindMember("Mail.pst"), out)) << zip.LastError();
    EXPECT_FALSE(zip.WasCancelled());
    EXPECT_EQ(data, scratch.Read("out/Mail.pst"));
    EXPECT_EQ(0, events.progress.front());
    EXPECT_EQ(100, events.progress.back());
    EXPECT_GT(events.progress.size(), 10u) << "progress moves with the member's bytes";
}

TEST_F(ZipComponentTest, AFailedWriteLeavesThePreviousArchiveAsItWas)
{
    scratch.Make("a.pst", RandomBytes(100 * 1024, 5));
    scratch.Make("b.pst", "second");
    ASSERT_TRUE(WriteArchive("backup.ksb", {"a.pst"}));
    const std::string before = scratch.Read("backup.ksb");

    // A missing source is refused when added; a duplicate bare name too.
    ASSERT_TRUE(zip.Create(scratch.Path("backup.ksb")));
    EXPECT_FALSE(zip.AddFile(scratch.Path("missing.pst")));
    EXPECT_TRUE(zip.AddFile(scratch.Path("b.pst")));
    scratch.Folder("other");
    scratch.Make("other/B.PST", "same name");
    EXPECT_FALSE(zip.AddFile(scratch.Path("other/B.PST")));
    // Protection without a password would write an unprotected archive.
    zip.SetProtection(true);
    EXPECT_FALSE(zip.Write());
    EXPECT_EQ(before, scratch.Read("backup.ksb"));
}

TEST_F(ZipComponentTest, LeftoversOfKilledWritesAreRemovedAtTheNextWrite)
{
    scratch.Make("a.pst", "data");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    struct Leftover {
        const char* name;
        const char* content;
        bool stale;
        bool removed;
    };
    // Only this target's own temporary files go; a user's copies beside it, whatever their
    // names or content, and another archive's write in progress stay.
    const Leftover leftovers[] = {
        {"backup.ksb.part-k3x9a0", "PK\x03\x04...", true, true},
        {"backup.ksb.part-000000", "", true, true},
        {"backup.ksb.part-k3x9a1", "PK\x03\x04...", false, false},  // a write still running
        {"other.ksb.part-k3x9a2", "PK\x03\x04...", true, false},    // another archive's
        {"backup.ksb.part-K3X9A4", "PK", true, false},
        {"backup.ksb.part-k3x9a", "PK", true, false},
        {"backup.ksb.k3x9a5", "PK\x03\x04...", true, false},
        {"backup.ksb.20240115", "PK\x03\x04...", true, false},
        {"backup.ksb.backup", "PK", true, false},
    };
    for (const Leftover& leftover : leftovers) {
        scratch.Make(leftover.name, leftover.content);
        if (leftover.stale) {
            std::filesystem::last_write_time(scratch.Native(leftover.name), old);
        }
    }
    ASSERT_TRUE(WriteArchive("backup.ksb", {"a.pst"}));
    for (const Leftover& leftover : leftovers) {
        EXPECT_EQ(!leftover.removed, std::filesystem::exists(scratch.Native(leftover.name)))
            << leftover.name;
    }
}

TEST_F(ZipComponentTest, UnsafeMemberNamesAreNeverUsed)
{
    struct Case {
        const char* name;
        bool bare;
        bool path;  // below the folder, in subfolders or not
    };
    const Case cases[] = {
        {"Outlook.pst", true, true},
        {"caf\xC3\xA9 1;2.pst", true, true},
        {".hidden", true, true},
        {"..", false, false},
        {".", false, false},
        {"..\\x.pst", false, false},
        {"../x.pst", false, false},
        {"sub/x.pst", false, true},
        {"a_files/theme/x.xml", false, true},
        {"sub/../../x.htm", false, false},
        {"sub/./x.htm", false, false},
        {"/x.htm", false, false},
        {"sub//x.htm", false, false},
        {"sub/", false, false},
        {"C:/x", false, false},
        {"sub/C:x", false, false},
        {"sub\\x.pst", false, false},
        {"C:x.pst", false, false},
        {"x.pst:stream", false, false},
        {"sub/x.pst:stream", false, false},
        {"CON", false, false},
        {"aux/x.htm", false, false},
        {"nul.txt", false, false},
        {"Com1.pst", false, false},
        {"lpt9", false, false},
        {"COM10.pst", true, true},
        // Windows takes the superscript digits one to three as port numbers too.
        {"COM\xC2\xB9", false, false},
        {"sub/lpt\xC2\xB2.txt", false, false},
        {"Lpt\xC2\xB3 .pst", false, false},
        {"COM\xE2\x81\xB4.pst", true, true},
        {"x.pst.", false, false},
        {"sub./x.pst", false, false},
        {"x.pst ", false, false},
        {"a\tb", false, false},
        {"a*b", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.bare, IsBareFileName(c.name)) << c.name;
        EXPECT_EQ(c.path, IsMemberPath(c.name)) << c.name;
    }

    ASSERT_TRUE(testing::MakeRawArchive(scratch.Native("evil.ksb"), {{"../escape.txt", "x"},
                                                                     {"sub/../../escape.txt", "x"},
                                                                     {"sub/inner.txt", "in"},
                                                                     {"CON", "x"},
                                                                     {"fine.txt", "ok"}}));
    ASSERT_TRUE(zip.Open(scratch.Path("evil.ksb")));
    EXPECT_FALSE(zip.FindMember("../escape.txt"));
    EXPECT_FALSE(zip.FindMember("sub/../../escape.txt"));
    EXPECT_FALSE(zip.FindMember("..\\escape.txt"));
    EXPECT_FALSE(zip.FindMember("CON"));
    const std::string out = scratch.Folder("deep/out");
    for (const auto& member : zip.Members()) {
        EXPECT_EQ(member.name == "fine.txt" || member.name == "sub/inner.txt",
                  zip.ExtractMember(member, out))
            << member.name;
    }
    EXPECT_EQ((std::vector<std::string>{"fine.txt", "sub"}), scratch.List("deep/out"));
    EXPECT_EQ("in", scratch.Read("deep/out/sub/inner.txt"));
    EXPECT_EQ(std::vector<std::string>{"out"}, scratch.List("deep"));
}

// Offsets of the general-purpose flags of each central directory entry and its name.
std::map<std::string, std::uint16_t> CentralFlags(const std::string& archive)
{
    std::map<std::string, std::uint16_t> flags;
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(archive[at]) |
                                          static_cast<unsigned char>(archive[at + 1]) << 8);
    };
    for (std::size_t at = archive.find("PK\x01\x02"); at != std::string::npos;
         at = archive.find("PK\x01\x02", at + 4)) {
        flags[archive.substr(at + 46, u16(at + 28))] = u16(at + 8);
    }
    return flags;
}

// Names outside ASCII are stored in UTF-8 under ZIP's UTF-8 flag (bit 11), ASCII names as they
// are and without it; a member with a path extracts into its subfolders.
TEST_F(ZipComponentTest, NamesOutsideAsciiAreFlaggedUtf8AndPathsExtractIntoSubfolders)
{
    const std::string russian = "\xD0\x9F\xD0\xBE\xD0\xB4\xD0\xBF\xD0\xB8\xD1\x81\xD1\x8C.htm";
    const std::string emoji = "\xF0\x9F\x98\x80.htm";
    const std::string german =
        "Gr\xC3\xBC\xC3\x9F"
        "e.htm";
    const std::vector<std::pair<std::string, std::string>> members{
        {"Bob.htm", "<p>Bob</p>"},
        {russian, "<p>ru</p>"},
        {emoji, "<p>:)</p>"},
        {german, "<p>de</p>"},
        {"Bob_files/image001.png", "png"},
        {"Bob-Dateien/theme/filelist.xml", "<xml/>"},
    };
    ASSERT_TRUE(zip.Create(scratch.Path("names.ksb")));
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::string source = "source" + std::to_string(i);
        scratch.Make(source, members[i].second);
        ASSERT_TRUE(zip.AddFile(scratch.Path(source), members[i].first)) << zip.LastError();
    }
    ASSERT_TRUE(zip.Write()) << zip.LastError();

    constexpr std::uint16_t Utf8Flag = 1u << 11;
    const auto flags = CentralFlags(scratch.Read("names.ksb"));
    ASSERT_EQ(members.size(), flags.size());
    for (const auto& [name, data] : members) {
        const bool ascii = std::all_of(name.begin(), name.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        ASSERT_EQ(1u, flags.count(name)) << name << " is stored as it is";
        EXPECT_EQ(!ascii, (flags.at(name) & Utf8Flag) != 0) << name;
    }
    EXPECT_EQ((std::map<std::string, std::string>(members.begin(), members.end())),
              testing::ReadMembers(scratch.Files(), scratch.Path("names.ksb")));
    ASSERT_TRUE(zip.Open(scratch.Path("names.ksb")));
    const std::string out = scratch.Folder("out");
    for (const ZipMember& member : zip.Members()) {
        ASSERT_TRUE(zip.ExtractMember(member, out)) << zip.LastError();
    }
    EXPECT_EQ("png", scratch.Read("out/Bob_files/image001.png"));
    EXPECT_EQ("<xml/>", scratch.Read("out/Bob-Dateien/theme/filelist.xml"));
    EXPECT_EQ("<p>ru</p>", scratch.Read("out/" + russian));
}

// The key comes from the password's UTF-8, which no longer opens with the "?" an ANSI
// conversion made of what the code page lacks; a password that is not UTF-8 text is refused
// rather than changed.
TEST_F(ZipComponentTest, AesKeysComeFromTheUtf8OfThePassword)
{
    scratch.Make("ksbackup.dat", "BackupItem=00001000000\r\n");
    const std::string russian = "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C";
    ASSERT_TRUE(WriteArchive("ru.ksb", {"ksbackup.dat"}, russian)) << zip.LastError();
    const std::pair<std::string, bool> tries[] = {
        {russian, true},
        {"??????", false},
        {"\xCE\xB1\xCE\xB2\xCE\xB3\xCE\xB4\xCE\xB5\xCE\xB6", false}};
    for (const auto& [password, opens] : tries) {
        ASSERT_TRUE(zip.Open(scratch.Path("ru.ksb")));
        zip.SetReadPassword(password);
        EXPECT_EQ(opens, zip.CheckPassword()) << password;
        EXPECT_EQ(opens, zip.ReadMember(*zip.FindMember(InfoFileName))) << password;
    }
    EXPECT_FALSE(WriteArchive("bad.ksb", {"ksbackup.dat"}, "caf\xE9"));
    EXPECT_NE(std::string::npos, zip.LastError().find("not valid text")) << zip.LastError();
    EXPECT_FALSE(std::filesystem::exists(scratch.Native("bad.ksb")));
}

}  // namespace
}  // namespace kestrel

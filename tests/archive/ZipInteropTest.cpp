// Archives against 7-Zip, and a member past 4 GiB. Linux only: 7-Zip is a Linux tool here,
// and the large member needs a sparse source file.
#ifndef _WIN32

#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "archive/ArchiveTestSupport.h"
#include "archive/ZipComponent.h"

namespace kestrel {
namespace {

using testing::RandomBytes;
using testing::ScratchFolder;

int Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Without 7-Zip every call below fails in a way that says nothing of the cause, and the one
// that expects a refusal would pass: the test fails at once, naming what is missing.
::testing::AssertionResult SevenZipInstalled()
{
    if (Shell("command -v 7z") == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "7z is not installed; scripts/install-deps.sh installs it (p7zip-full)";
}

class ZipInterop : public ::testing::Test {
protected:
    ScratchFolder scratch;
    NoZipEvents events;
    ZipComponent zip{scratch.Files(), events};
    // Past two of the deflater's chunks, so that joined chunks are what the peers read.
    const std::string pst = RandomBytes(1500 * 1024, 7) + std::string(300 * 1024, 'q') +
                            RandomBytes(200 * 1024, 8) + std::string(700 * 1024, 'r');
};

// Each peer tests the archive and hands back the data file, which must be ours byte for byte;
// 7-Zip, the one peer that reads AES, does so for a protected archive too.
TEST_F(ZipInterop, OtherToolsReadOurArchivesAndWeReadSevenZips)
{
    ASSERT_TRUE(SevenZipInstalled());
    scratch.Make("Mail.pst", pst);
    scratch.Make("ksbackup.dat", "BackupItem=01000000000\r\nBackupDatas=Mail.pst\r\n");
    scratch.Make("empty.rwz", "");
    zip.SetThreadCount(3);
    for (const std::string password : {"", "pa55 word"}) {
        ASSERT_TRUE(zip.Create(scratch.Path(password.empty() ? "plain.ksb" : "aes.ksb")));
        for (const char* name : {"Mail.pst", "ksbackup.dat", "empty.rwz"}) {
            ASSERT_TRUE(zip.AddFile(scratch.Path(name)));
        }
        zip.SetProtection(!password.empty());
        zip.SetWritePassword(password);
        ASSERT_TRUE(zip.Write()) << zip.LastError();
    }
    const std::string plain = scratch.Path("plain.ksb");
    const std::string aes = scratch.Path("aes.ksb");
    struct Peer {
        const char* name;
        std::string test;
        std::string extract;  // the data file to standard output
    };
    const Peer peers[] = {
        {"7-Zip", "7z t " + plain, "7z e -so " + plain + " Mail.pst"},
        {"7-Zip, AES", "7z t '-ppa55 word' " + aes, "7z e -so '-ppa55 word' " + aes + " Mail.pst"},
        {"Info-ZIP unzip", "unzip -tq " + plain, "unzip -p " + plain + " Mail.pst"},
        {"bsdtar", "bsdtar -tf " + plain, "bsdtar -xOf " + plain + " Mail.pst"},
        {"Python zipfile",
         "python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip())' " +
             plain,
         "python3 -c 'import sys, zipfile; "
         "sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(\"Mail.pst\"))' " +
             plain},
    };
    for (const Peer& peer : peers) {
        EXPECT_EQ(0, Shell(peer.test)) << peer.name;
        EXPECT_EQ(0, Shell(peer.extract + " | cmp - " + scratch.Path("Mail.pst"))) << peer.name;
    }
    EXPECT_NE(0, Shell("7z t -pwrong " + aes));
    EXPECT_EQ(0, Shell("7z l -slt '-ppa55 word' " + aes + " | grep -q 'Method = AES-256'"));

    // We read 7-Zip's archives of both schemes. Wrong passwords against both schemes:
    // ZipComponentTest; a damaged data file in 7-Zip's archives: scripts/archive-cli-test.sh.
    for (const std::string method : {"AES256", "ZipCrypto"}) {
        SCOPED_TRACE(method);
        const std::string archive = scratch.Path(method + ".ksb");
        ASSERT_EQ(0, Shell("cd " + scratch.Path() + " && 7z a -tzip -mx=5 -mem=" + method +
                           " -pright " + archive + " Mail.pst ksbackup.dat"));
        EXPECT_TRUE(zip.IsProtected(archive));
        ASSERT_TRUE(zip.Open(archive)) << zip.LastError();
        zip.SetReadPassword("right");
        EXPECT_TRUE(zip.CheckPassword()) << zip.LastError();
        const std::string out = scratch.Folder("out-" + method);
        ASSERT_TRUE(zip.ExtractMember(*zip.FindMember("Mail.pst"), out)) << zip.LastError();
        EXPECT_EQ(pst, scratch.Read("out-" + method + "/Mail.pst"));
        const std::uint64_t infoSize = zip.FindMember("ksbackup.dat")->compressedSize;
        zip.Close();

        // 7-Zip stores the small info file: a flipped bit in it is caught. Its data follows the
        // local header: 30 bytes, the name, the extra fields.
        std::string bytes = scratch.Read(method + ".ksb");
        const std::size_t nameAt = bytes.find("ksbackup.dat");
        const auto extra = static_cast<unsigned char>(bytes[nameAt - 2]) |
                           static_cast<unsigned char>(bytes[nameAt - 1]) << 8;
        bytes[nameAt + std::strlen("ksbackup.dat") + extra + infoSize / 2] ^= 0x04;
        scratch.Make("damaged.ksb", bytes);
        ASSERT_TRUE(zip.Open(scratch.Path("damaged.ksb")));
        zip.SetReadPassword("right");
        EXPECT_FALSE(zip.ReadMember(*zip.FindMember("ksbackup.dat")));
        zip.Close();
    }
}

std::uint32_t FileCrc(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    uLong crc = crc32(0, nullptr, 0);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()),
                    static_cast<uInt>(in.gcount()));
    }
    return static_cast<std::uint32_t>(crc);
}

// A data file past 4 GiB needs ZIP64. The source is sparse, so it takes little disk space; the
// member is checked by reading it back through its checksum and authentication, never written
// out, and 7-Zip tests it too.
TEST_F(ZipInterop, AMemberPastFourGigabytesIsStoredAndVerified)
{
    constexpr std::uint64_t Size = 4608ull * 1024 * 1024;  // 4.5 GiB
    {
        std::ofstream sparse(scratch.Native("big.pst"), std::ios::binary);
        for (std::uint64_t at : {std::uint64_t{0}, Size / 3, Size - 4096}) {
            sparse.seekp(static_cast<std::streamoff>(at));
            sparse << RandomBytes(4096, static_cast<unsigned>(at));
        }
    }
    ASSERT_EQ(Size, std::filesystem::file_size(scratch.Native("big.pst")));
    zip.SetDeflateLevel(1);
    ASSERT_TRUE(zip.Create(scratch.Path("big.ksb")));
    ASSERT_TRUE(zip.AddFile(scratch.Path("big.pst")));
    zip.SetProtection(true);
    zip.SetWritePassword("big");
    ASSERT_TRUE(zip.Write()) << zip.LastError();
    EXPECT_EQ(0, Shell("7z t -pbig " + scratch.Path("big.ksb")));

    zip.SetReadPassword("big");
    ASSERT_TRUE(zip.Open(scratch.Path("big.ksb"))) << zip.LastError();
    const auto member = zip.FindMember("big.pst");
    ASSERT_TRUE(member);
    EXPECT_EQ(Size, member->size);
    EXPECT_EQ(FileCrc(scratch.Native("big.pst")), member->crc);
    std::uint64_t read = 0;
    EXPECT_TRUE(zip.ReadMember(*member, [&](const char*, std::size_t size) {
        read += size;
        return true;
    })) << zip.LastError();
    EXPECT_EQ(Size, read);
}

}  // namespace
}  // namespace kestrel

#endif

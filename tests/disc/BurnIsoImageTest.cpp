// The Linux engine's image: built from the composed items with libisofs, read back and
// compared with the sources.

#include <gtest/gtest.h>
#include <libburn/libburn.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "disc/MemoryDiscImage.h"
#include "disc/VerifyImage.h"
#include "disc/burn/IsoImage.h"
#include "support/MemoryFileSystem.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;

// "Größe – März.txt", on the source and in the image.
const std::string LetterName =
    "Gr\xC3\xB6\xC3\x9F"
    "e \xE2\x80\x93 M\xC3\xA4rz.txt";
const std::string Letter = "C:\\Data\\" + LetterName;
const std::string ImageLetter = "\\Data\\" + LetterName;

class BurnIsoImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StartIsoLibrary());
        files.AddFolder("C:\\Data\\Mail");
        files.AddFile(Letter, "letter body");
        files.AddFile("C:\\Data\\Mail\\inbox.pst", std::string(5000, 'p') + "inbox end");
        files.AddFile("C:\\Data\\Mail\\empty.txt", "");
        files.AddFile("C:\\Data\\notes.txt", "notes body that is unique");
        ASSERT_TRUE(composed.AddFolder("C:\\Data", "\\Data"));
    }

    // The image bytes, as a write would put them on the disc.
    std::string WriteImage()
    {
        std::string error;
        IsoImagePtr image = BuildIsoImage(
            files, composed.Items(), IsoImageOptions{"KESTREL TEST", true, 1700000000}, log, error);
        EXPECT_TRUE(image) << error;
        auto* source = reinterpret_cast<burn::burn_source*>(CreateImageSource(image.get(), error));
        EXPECT_NE(source, nullptr) << error;
        std::string bytes;
        // Block by block, as libburn takes it: libisofs hands out no part of a longer request at
        // the image's end.
        std::vector<unsigned char> chunk(2048);
        for (int got;
             (got = source->read_xt(source, chunk.data(), static_cast<int>(chunk.size()))) > 0;) {
            bytes.append(reinterpret_cast<const char*>(chunk.data()),
                         static_cast<std::size_t>(got));
        }
        burn::burn_source_free(source);
        return bytes;
    }

    std::map<std::string, VerifyResult> Verify(const std::string& bytes)
    {
        std::unique_ptr<WrittenFiles> disc =
            OpenWrittenImage([&bytes](std::uint32_t block, std::uint8_t* data) {
                const std::size_t at = static_cast<std::size_t>(block) * 2048;
                if (at + 2048 > bytes.size()) {
                    return false;
                }
                std::memcpy(data, bytes.data() + at, 2048);
                return true;
            });
        std::map<std::string, VerifyResult> results;
        std::vector<std::string> events;
        VerifyTally tally = VerifyWrittenFiles(
            files, composed.Items(), *disc, [&](const std::function<void(DiscEvents&)>& raise) {
                struct Recorder : DiscEvents {
                    std::map<std::string, VerifyResult>* results;
                    std::vector<std::string>* events;
                    void VerifyStarted(int count) override
                    {
                        events->push_back("started " + std::to_string(count));
                    }
                    void VerifyItem(const ImageItem& item, VerifyResult result, int done,
                                    int total) override
                    {
                        (*results)[item.ImagePath] = result;
                        events->push_back(std::to_string(done) + "/" + std::to_string(total));
                    }
                    void VerifyDone(int total, int matched) override
                    {
                        events->push_back("done " + std::to_string(matched) + " of " +
                                          std::to_string(total));
                    }
                } recorder;
                recorder.results = &results;
                recorder.events = &events;
                raise(recorder);
            });
        const int matched =
            static_cast<int>(std::count_if(results.begin(), results.end(), [](const auto& r) {
                return r.second == VerifyResult::Matched;
            }));
        EXPECT_EQ(events, (std::vector<std::string>{"started 4", "1/4", "2/4", "3/4", "4/4",
                                                    "done " + std::to_string(matched) + " of 4"}));
        EXPECT_EQ(tally.matched, matched);
        return results;
    }

    MemoryFileSystem files;
    MemoryDiscImage composed{files, [](const std::function<void(DiscEvents&)>&) {}};
    SourceReadLog log;
};

TEST_F(BurnIsoImageTest, JolietAndRockRidgeCarryTheNamesAsComposed)
{
    const std::string bytes = WriteImage();
    ASSERT_FALSE(log.Failed());
    // Joliet keeps names in UTF-16 big-endian: "Größe – März.txt".
    const std::u16string joliet = u"Gr\u00f6\u00dfe \u2013 M\u00e4rz.txt";
    std::string big;
    for (char16_t c : joliet) {
        big += static_cast<char>(c >> 8);
        big += static_cast<char>(c & 0xff);
    }
    EXPECT_NE(bytes.find(big), std::string::npos);
    EXPECT_NE(bytes.find("KESTREL TEST"), std::string::npos);
    EXPECT_EQ(bytes.substr(16 * 2048 + 1, 5), "CD001");
    EXPECT_LE(static_cast<double>(bytes.size()), EstimateImageBytes(composed.Items()));
    // Rock Ridge gives the names back in UTF-8.
    EXPECT_EQ(Verify(bytes)[ImageLetter], VerifyResult::Matched);
}

TEST_F(BurnIsoImageTest, VerificationTellsEachFaultApart)
{
    const std::string written = WriteImage();
    struct Case {
        const char* name;
        std::function<void(std::string& bytes, MemoryFileSystem& files)> change;
        std::string faulty;  // the one file that does not match; empty: none
        VerifyResult result;
    };
    const std::vector<Case> cases = {
        {"untouched", [](std::string&, MemoryFileSystem&) {}, "", VerifyResult::Matched},
        {"a byte of the disc changed",
         [](std::string& bytes, MemoryFileSystem&) { bytes[bytes.find("inbox end")] = 'X'; },
         "\\Data\\Mail\\inbox.pst", VerifyResult::Different},
        {"a source grown since",
         [](std::string&, MemoryFileSystem& f) {
             f.AddFile("C:\\Data\\notes.txt", "notes body that is unique, and more");
         },
         "\\Data\\notes.txt", VerifyResult::SizeDifferent},
        {"a source that cannot be opened",
         [](std::string&, MemoryFileSystem& f) { f.RefuseOpening(Letter); }, ImageLetter,
         VerifyResult::SourceUnreadable},
        {"the disc ends before a file's data",
         [](std::string& bytes, MemoryFileSystem&) {
             bytes.resize(bytes.find("notes body") / 2048 * 2048);
         },
         "\\Data\\notes.txt", VerifyResult::DiscUnreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem saved = files;
        std::string bytes = written;
        c.change(bytes, files);
        std::map<std::string, VerifyResult> expected;
        for (const char* path : {"\\Data\\Mail\\empty.txt", "\\Data\\Mail\\inbox.pst",
                                 ImageLetter.c_str(), "\\Data\\notes.txt"}) {
            expected[path] = path == c.faulty ? c.result : VerifyResult::Matched;
        }
        EXPECT_EQ(Verify(bytes), expected);
        files = saved;
    }
}

TEST_F(BurnIsoImageTest, SourceGoneBeforeTheWriteIsLogged)
{
    files.RefuseOpening("C:\\Data\\notes.txt");
    WriteImage();
    ASSERT_TRUE(log.Failed());
    EXPECT_EQ(log.First().Path, "C:\\Data\\notes.txt");
}

}  // namespace
}  // namespace kestrel

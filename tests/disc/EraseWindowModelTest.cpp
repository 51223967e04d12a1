#include "disc/EraseWindowModel.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "disc/SimulatedDiscEngine.h"
#include "support/MemoryFileSystem.h"
#include "support/ScriptedMessages.h"

namespace kestrel {
namespace {

struct ClosingHost final : EraseWindowHost {
    int closes = 0;
    void CloseWindow() override { ++closes; }
};

class EraseWindowModelTest : public ::testing::Test {
protected:
    EraseWindowModelTest() { drive.speedValue = 4; }

    testing::MemoryFileSystem files;
    SimulatedDiscEngine engine{files};
    SimulatedDevice& drive = engine.AddDrive("Burner");
    testing::ScriptedMessages messages;
    ClosingHost host;
    EraseWindowModel model{messages, host};
};

TEST_F(EraseWindowModelTest, ChecksBeforeErasing)
{
    struct Case {
        const char* name;
        int mediaType;
        bool rewritable;
        std::set<int> capabilities;
        const char* message;  // nullptr: the erase starts
    };
    const char* unsupported = "Selected drive does not support re-writable discs of this format.";
    const Case cases[] = {
        {"empty drive", 0, false, {17}, "No Media Loaded."},
        {"write-once disc", 9, false, {17}, "The current media is not re-writable."},
        {"CD-RW without 17", 9, true, {19, 22, 23, 27}, unsupported},
        {"unknown disc", 3, true, {17, 19, 22, 23, 27}, unsupported},
        {"17 with 9", 9, true, {17}, nullptr},
        {"19 with 4", 4, true, {19}, nullptr},
        {"22 with 2", 2, true, {22}, nullptr},
        {"23 with 5", 5, true, {23}, nullptr},
        {"27 with 15", 15, true, {27}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drive.LoadDisc(c.mediaType, false, c.rewritable, 0);
        drive.capabilities = c.capabilities;
        drive.queries.clear();
        drive.erases.clear();
        host.closes = 0;
        model.Show(drive, engine);
        if (c.message != nullptr) {
            messages.Expect(c.message, MessageIcon::Information, MessageAnswer::Ok);
        }
        model.EraseClicked();
        EXPECT_EQ(c.message == nullptr ? 0 : 1, host.closes);
        EXPECT_EQ(
            c.message == nullptr ? std::vector<std::string>{"quick 4"} : std::vector<std::string>{},
            drive.erases);
        if (c.mediaType == 0) {
            EXPECT_EQ(std::vector<std::string>{"MediaPresent"}, drive.queries)
                << "nothing asked of an empty drive but whether a disc is there";
        }
        if (c.message == nullptr) {
            messages.Expect("Erase Completed!!!", MessageIcon::Information, MessageAnswer::Ok);
            engine.RunErase(drive);
        }
        EXPECT_TRUE(model.CloseRequested());
    }
}

TEST_F(EraseWindowModelTest, HowAnEraseEnds)
{
    struct Case {
        const char* name;
        SimulatedDevice::EraseEnd end;
        bool quick;
        const char* message;
        MessageIcon icon;
        const char* status;
        int closes;
    };
    const Case cases[] = {
        {"done", SimulatedDevice::EraseEnd::Done, false, "Erase Completed!!!",
         MessageIcon::Information, "Erase operation complete!!!", 1},
        {"failed", SimulatedDevice::EraseEnd::Failed, true, "The disc could not be erased!",
         MessageIcon::Stop, "Error Erasing Disc!!!", 1},
        {"device error", SimulatedDevice::EraseEnd::DeviceFault, true,
         "Device Error: (7)   Not ready\r\n(Medium not present) Erase stopped", MessageIcon::Stop,
         "", 0},
    };
    drive.LoadDisc(9, false, true, 0);
    drive.capabilities = {17};
    drive.eraseFault = {7, "Not ready", "Erase stopped", "Medium not present"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drive.eraseEnd = c.end;
        drive.erases.clear();
        host.closes = 0;
        EraseWindowModel window(messages, host);
        window.Show(drive, engine);
        EXPECT_TRUE(window.QuickErase()) << "ticked at start";
        window.QuickEraseClicked(c.quick);
        window.EraseClicked();
        EXPECT_EQ(std::vector<std::string>{(c.quick ? "quick 4" : "full 4")}, drive.erases);

        messages.Expect(c.message, c.icon, MessageAnswer::Ok);
        if (c.end != SimulatedDevice::EraseEnd::DeviceFault) {
            // Stopped after the start: busy, the buttons off, no closing.
            window.EraseStatusChanged(EraseStatus::Started, 10);
            EXPECT_EQ("Erasing Disc...Please Wait!!", window.StatusText());
            EXPECT_FALSE(window.ButtonsEnabled());
            EXPECT_FALSE(window.CloseRequested());
            window.CancelClicked();
            EXPECT_EQ(0, host.closes);
        }
        engine.RunErase(drive);
        EXPECT_EQ(c.status, window.StatusText());
        EXPECT_TRUE(window.ButtonsEnabled());
        EXPECT_FALSE(window.Busy());
        EXPECT_EQ(c.closes, host.closes);
    }
}

}  // namespace
}  // namespace kestrel

#include "outlook/HeldFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace kestrel {
namespace {

constexpr const char* Pst = "C:\\Mail\\a.pst";
constexpr const char* Pab = "C:\\Mail\\a.pab";

// Programs that hold files and close when asked, after a number of polls, or never.
class FakeHolders final : public FileHolders {
public:
    struct Program {
        FileHolder holder;
        std::vector<std::string> files;
        int pollsToClose = 0;  // -1: refuses
        bool running = true;
        bool asked = false;
        int starts = 0;
    };

    void Add(std::uint32_t id, std::vector<std::string> files, int pollsToClose)
    {
        programs[id] = {
            {"OUTLOOK.EXE", id, "\"C:\\Office\\OUTLOOK.EXE\""}, std::move(files), pollsToClose};
    }

    // One poll of the gate's wait: programs asked to close get closer to it.
    void Tick()
    {
        for (auto& [id, program] : programs) {
            if (program.asked && program.running && program.pollsToClose >= 0 &&
                program.pollsToClose-- == 0) {
                program.running = false;
            }
        }
    }

    std::vector<FileHolder> HoldersOf(const std::string& path) override
    {
        std::vector<FileHolder> found;
        for (const auto& [id, program] : programs) {
            for (const std::string& file : program.files) {
                if (program.running && file == path) {
                    found.push_back(program.holder);
                }
            }
        }
        return found;
    }
    bool AskToClose(const FileHolder& holder) override
    {
        Program& program = programs.at(holder.processId);
        program.asked = true;
        Tick();
        return true;
    }
    bool IsRunning(const FileHolder& holder) override
    {
        return programs.at(holder.processId).running;
    }
    bool StartAgain(const FileHolder& holder) override
    {
        Program& program = programs.at(holder.processId);
        program.running = true;
        program.asked = false;
        ++program.starts;
        return true;
    }

    std::map<std::uint32_t, Program> programs;
};

class RecordingProgress final : public ProgressSink {
public:
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetProgress(int, int) override {}
    void SetFileText(const std::string&) override {}
    void SetWriteText(const std::string&) override {}
    void SetBusy(bool) override {}
    std::vector<std::string> statuses;
};

struct GateFixture {
    FakeHolders holders;
    RecordingProgress progress;
    int pauses = 0;
    std::atomic<bool> cancel{false};
    int cancelAfterPauses = -1;

    HeldFilesGate::Pause Pause()
    {
        return [this](std::chrono::milliseconds) {
            ++pauses;
            holders.Tick();
            if (pauses == cancelAfterPauses) {
                cancel = true;
            }
        };
    }
};

TEST(HeldFilesGate, DecidesFromTheWayAndWhetherTheProgramCloses)
{
    struct Case {
        const char* name;
        IfOutlookRuns way;
        bool restore;
        int pollsToClose;  // -1: refuses; 99: no program
        int cancelAfter;
        HeldVerdict verdict;
        std::size_t stillHeld;  // 1: the program still holds its files
        bool askedToClose;
        int startsAfterwards;
    };
    // The wait is 2 s: 8 polls of 250 ms.
    const Case cases[] = {
        {"nothing held, backup", IfOutlookRuns::Close, false, 99, -1, HeldVerdict::Go, 0, false, 0},
        {"nothing held, restore", IfOutlookRuns::Refuse, true, 99, -1, HeldVerdict::Go, 0, false,
         0},
        {"skip leaves it running", IfOutlookRuns::Skip, false, 0, -1, HeldVerdict::Go, 1, false, 0},
        {"restore refuses", IfOutlookRuns::Refuse, true, 0, -1, HeldVerdict::Stop, 1, false, 0},
        {"closes at once", IfOutlookRuns::Close, false, 0, -1, HeldVerdict::Go, 0, true, 1},
        {"closes after a while", IfOutlookRuns::Close, false, 5, -1, HeldVerdict::Go, 0, true, 1},
        {"restore after closing", IfOutlookRuns::Close, true, 3, -1, HeldVerdict::Go, 0, true, 1},
        {"backup without the refused files", IfOutlookRuns::Close, false, -1, -1, HeldVerdict::Go,
         1, true, 0},
        {"restore stops when refused", IfOutlookRuns::Close, true, -1, -1, HeldVerdict::Stop, 1,
         true, 0},
        {"too slow is refused", IfOutlookRuns::Close, true, 20, -1, HeldVerdict::Stop, 1, true, 0},
        {"cancelled wait, still open", IfOutlookRuns::Close, false, -1, 2, HeldVerdict::Cancelled,
         1, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GateFixture fixture;
        fixture.cancelAfterPauses = c.cancelAfter;
        if (c.pollsToClose != 99) {
            fixture.holders.Add(412, {Pst, Pab}, c.pollsToClose);
        }
        HeldCheck check;
        {
            HeldFilesGate gate(&fixture.holders, fixture.progress, fixture.Pause(),
                               std::chrono::seconds(2));
            check = gate.Check(c.way, {Pst, Pab, "C:\\Mail\\free.pst"}, c.restore, &fixture.cancel);
            EXPECT_EQ(check.verdict, c.verdict);
            EXPECT_EQ(check.held.size(), c.pollsToClose == 99 ? 0U : 2U);
            EXPECT_EQ(check.stillHeld.size(), c.stillHeld * 2);  // both files of the program
            EXPECT_LE(fixture.pauses, 8);
        }
        if (c.pollsToClose == 99) {
            continue;
        }
        const FakeHolders::Program& program = fixture.holders.programs.at(412);
        EXPECT_EQ(program.starts, c.startsAfterwards);
        // Whatever happened, the program runs afterwards: closed ones were started again.
        EXPECT_TRUE(program.running);
        EXPECT_EQ(fixture.progress.statuses.size(), c.askedToClose ? 1U : 0U);
        if (c.askedToClose) {
            EXPECT_EQ(fixture.progress.statuses[0], "Waiting for Outlook to close...");
        }
        EXPECT_EQ(check.refusedToClose.size(), c.askedToClose && c.startsAfterwards == 0 ? 1U : 0U);
    }
}

TEST(HeldFilesGate, ClosedProgramsStartAgainOnceEachAfterACancelledWait)
{
    GateFixture fixture;
    fixture.holders.Add(412, {Pst}, 0);
    fixture.holders.Add(977, {Pab}, -1);
    fixture.cancelAfterPauses = 1;
    {
        HeldFilesGate gate(&fixture.holders, fixture.progress, fixture.Pause(),
                           std::chrono::seconds(60));
        const HeldCheck check =
            gate.Check(IfOutlookRuns::Close, {Pst, Pab}, false, &fixture.cancel);
        EXPECT_EQ(check.verdict, HeldVerdict::Cancelled);
        EXPECT_EQ(HolderNames(check.held), "OUTLOOK.EXE (process 412), OUTLOOK.EXE (process 977)");
        EXPECT_EQ(HolderNames(check.refusedToClose), "OUTLOOK.EXE (process 977)");
        ASSERT_EQ(gate.Closed().size(), 1U);
        gate.StartAgain();
        gate.StartAgain();
    }
    EXPECT_EQ(fixture.holders.programs.at(412).starts, 1);
    EXPECT_EQ(fixture.holders.programs.at(977).starts, 0);
    EXPECT_LE(fixture.pauses, 2);
}

// A shadow copy service that can fail at each step; a taken snapshot has the files of `has`.
class FakeShadowCopies final : public ShadowCopies {
public:
    bool createFails = false;
    bool deleteFails = false;
    std::vector<std::string> has{Pst, Pab};
    std::vector<std::string> asked;
    bool taken = false;
    int deletes = 0;

    bool Create(const std::vector<std::string>& paths) override
    {
        asked = paths;
        taken = !createFails;
        return taken;
    }
    std::string PathInSnapshot(const std::string& path) override
    {
        const bool found = taken && std::find(has.begin(), has.end(), path) != has.end();
        return found ? "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1" + path.substr(2)
                     : std::string();
    }
    bool Delete() override
    {
        ++deletes;
        taken = taken && deleteFails;
        return !taken;
    }
    std::string Problem() const override { return "the service answered 0x80042302"; }
};

TEST(HeldFilesGate, ReadsHeldFilesFromAShadowCopyOrClosesWhenItFails)
{
    struct Case {
        const char* name;
        bool noService;
        bool createFails;
        bool pabMissing;
        bool deleteFails;
        const char* failure;  // empty: read from the snapshot
        int deletes;          // by the end of the gate
    };
    const Case cases[] = {
        {"both files from the snapshot", false, false, false, false, "", 1},
        {"no shadow copies here", true, false, false, false, "this system has no shadow copies", 0},
        {"snapshot not created", false, true, false, false,
         "no shadow copy could be made: the service answered 0x80042302", 0},
        {"file missing in it", false, false, true, false, "the shadow copy has no C:\\Mail\\a.pab",
         1},
        {"file missing, deletion failing", false, false, true, true,
         "the shadow copy has no C:\\Mail\\a.pab and could not be deleted: the service "
         "answered 0x80042302",
         1},
        {"deletion failing after the run", false, false, false, true, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GateFixture fixture;
        fixture.holders.Add(412, {Pst, Pab}, 2);
        FakeShadowCopies copies;
        copies.createFails = c.createFails;
        copies.deleteFails = c.deleteFails;
        if (c.pabMissing) {
            copies.has = {Pst};
        }
        const bool fromSnapshot = std::string(c.failure).empty();
        {
            HeldFilesGate gate(&fixture.holders, fixture.progress, fixture.Pause(),
                               std::chrono::seconds(2));
            gate.UseShadowCopies(c.noService ? nullptr : &copies);
            const HeldCheck check =
                gate.Check(IfOutlookRuns::Snapshot, {Pst, Pab, "C:\\Mail\\free.pst"}, false);
            EXPECT_EQ(check.verdict, HeldVerdict::Go);
            EXPECT_EQ(check.snapshotFailure, c.failure);
            // Either way the run gets every file: from the snapshot, or once Outlook closed.
            EXPECT_TRUE(check.stillHeld.empty());
            const FakeHolders::Program& program = fixture.holders.programs.at(412);
            EXPECT_EQ(program.asked || program.starts > 0, !fromSnapshot);
            if (!c.noService) {
                EXPECT_EQ(copies.asked, (std::vector<std::string>{Pst, Pab}));
            }
            if (fromSnapshot) {
                EXPECT_EQ(check.fromSnapshot, (std::vector<std::string>{Pst, Pab}));
                EXPECT_EQ(gate.SnapshotPaths().at(Pab),
                          "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\Mail\\a.pab");
                std::string why;
                EXPECT_EQ(gate.DeleteSnapshot(why), !c.deleteFails);
                EXPECT_EQ(why, c.deleteFails ? "the service answered 0x80042302" : "");
            } else {
                EXPECT_TRUE(check.fromSnapshot.empty());
                EXPECT_TRUE(gate.SnapshotPaths().empty());
            }
        }
        // Deleted once, whether the run asked or the gate went; Outlook runs afterwards.
        EXPECT_EQ(copies.deletes, c.deletes);
        EXPECT_EQ(copies.taken, c.deleteFails);
        EXPECT_TRUE(fixture.holders.programs.at(412).running);
    }
}

TEST(HeldFilesGate, TheGateDeletesASnapshotTheRunDidNot)
{
    GateFixture fixture;
    fixture.holders.Add(412, {Pst}, -1);
    FakeShadowCopies copies;
    {
        HeldFilesGate gate(&fixture.holders, fixture.progress);
        gate.UseShadowCopies(&copies);
        EXPECT_EQ(gate.Check(IfOutlookRuns::Snapshot, {Pst}, false).fromSnapshot.size(), 1U);
        EXPECT_TRUE(copies.taken);
    }
    EXPECT_FALSE(copies.taken);
    EXPECT_EQ(copies.deletes, 1);
    EXPECT_EQ(fixture.pauses, 0);
}

TEST(HeldFilesGate, NothingHeldTakesNoSnapshot)
{
    GateFixture fixture;
    FakeShadowCopies copies;
    HeldFilesGate gate(&fixture.holders, fixture.progress);
    gate.UseShadowCopies(&copies);
    const HeldCheck check = gate.Check(IfOutlookRuns::Snapshot, {Pst}, false);
    EXPECT_TRUE(check.snapshotFailure.empty());
    EXPECT_TRUE(copies.asked.empty());
}

TEST(HeldFilesGate, WithoutABackendNothingIsHeld)
{
    RecordingProgress progress;
    HeldFilesGate gate(nullptr, progress);
    EXPECT_EQ(gate.Check(IfOutlookRuns::Refuse, {Pst}, true).verdict, HeldVerdict::Go);
}

}  // namespace
}  // namespace kestrel

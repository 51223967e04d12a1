#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "disc/DiscEngine.h"
#include "platform/FileSystem.h"

namespace kestrel {

class SimulatedDiscEngine;
class MemoryDiscImage;

// A drive whose capabilities, disc and answers are chosen by whoever sets it up, and which
// records what was asked of it. Raw speeds are in kB/s; 1x is 1385 kB/s (a DVD's base speed).
class SimulatedDevice final : public DiscDevice {
public:
    enum class EraseEnd { Done, Failed, DeviceFault };

    std::string name;
    bool usable = true;
    std::set<int> capabilities;
    std::vector<int> speeds;
    int speedValue = 0;
    bool discPresent = false;
    MediaInfo media;
    std::int64_t freeBlocks = 0;
    // An erase: whether it starts, and how it ends once run (SimulatedDiscEngine::RunErase).
    bool eraseStarts = true;
    EraseEnd eraseEnd = EraseEnd::Done;
    DeviceError eraseFault;
    // What the erase gives back as free blocks.
    std::int64_t blankBlocks = 0;

    // What was asked.
    int ejects = 0;
    int trayCloses = 0;
    std::vector<std::string> erases;           // "quick <speed>" or "full <speed>"
    mutable std::vector<std::string> queries;  // "Supports <code>", "MediaPresent", "FreeBlocks"

    // A disc of the kind with the blocks free; no disc for media::None.
    void LoadDisc(int mediaType, bool writable, bool rewritable, std::int64_t blocks);

    std::string Name() const override { return name; }
    bool IsUsable() const override { return usable; }
    bool Supports(int capability) const override;
    std::vector<int> WriteSpeeds() const override { return speeds; }
    double SpeedMultiple(int speed) const override { return speed / 1385.0; }
    int SpeedValue() const override { return speedValue; }
    bool MediaPresent(bool refresh) override;
    MediaInfo Media() const override { return discPresent ? media : MediaInfo{}; }
    std::int64_t FreeBlocks(bool refresh) override;
    bool Eject() override;
    bool CloseTray() override;
    bool Erase(bool quick, int speed) override;

private:
    friend class SimulatedDiscEngine;
    bool erasing_ = false;
};

// An engine without hardware, for tests and for trying the disc windows: its drives are
// SimulatedDevices, its image is kept in memory over the files of a FileSystem, and a write or
// an erase runs only when asked to (RunWrite, RunErase), step by step, raising the events a
// real engine raises. What goes wrong is scripted beforehand.
class SimulatedDiscEngine final : public DiscEngine {
public:
    explicit SimulatedDiscEngine(FileSystem& files);
    ~SimulatedDiscEngine() override;

    // --- the script ---
    bool initializes = true;
    std::set<int> writableFileSystems{1, 3, 4, 5, 7};
    bool writeStarts = true;
    // Raised during the write, one per file; a listener's false aborts the write.
    std::vector<FileError> fileWarnings;
    // Ends the write with WriteFailed and WriteStatus::Failed after the data.
    std::optional<WriteError> writeFailure;
    // Verification results by image path (case as added); any other file matches.
    std::map<std::string, VerifyResult> verifyResults;

    SimulatedDevice& AddDrive(const std::string& name);

    // --- what happened ---
    // The settings and drive of every write that started.
    struct StartedWrite {
        WriterSettings settings;
        std::string drive;
    };
    std::vector<StartedWrite> writes;
    int aborts = 0;

    bool WriteRunning() const { return !writeSteps_.empty(); }
    // Runs the next `steps` steps of the write (each one raises one or a few events), or all of
    // them; an Abort is taken before the next step.
    void RunWrite(int steps = -1);
    // Ends a started erase on the drive as its script says.
    void RunErase(SimulatedDevice& drive);

    bool Initialize() override { return initializes; }
    int DeviceCount() const override { return static_cast<int>(drives_.size()); }
    DiscDevice& DeviceAt(int index) override;
    DataWriter& Writer() override;

private:
    class ScriptedWriter;
    friend class ScriptedWriter;

    void QueueWrite(SimulatedDevice& drive);
    void QueueVerify();

    std::vector<std::unique_ptr<SimulatedDevice>> drives_;
    std::unique_ptr<MemoryDiscImage> image_;
    std::unique_ptr<ScriptedWriter> writer_;
    std::deque<std::function<void()>> writeSteps_;
    bool abortRequested_ = false;
};

}  // namespace kestrel

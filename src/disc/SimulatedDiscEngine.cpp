#include "disc/SimulatedDiscEngine.h"

#include <algorithm>
#include <cmath>

#include "disc/MemoryDiscImage.h"

namespace kestrel {
namespace {

constexpr int SimulatedBlockSize = 2048;

}  // namespace

void SimulatedDevice::LoadDisc(int mediaType, bool writable, bool rewritable, std::int64_t blocks)
{
    discPresent = mediaType != media::None;
    media = MediaInfo{writable, mediaType, rewritable};
    freeBlocks = blocks;
}

bool SimulatedDevice::Supports(int capability) const
{
    queries.push_back("Supports " + std::to_string(capability));
    return capabilities.contains(capability);
}

bool SimulatedDevice::MediaPresent(bool refresh)
{
    queries.push_back(refresh ? "MediaPresent refresh" : "MediaPresent");
    return discPresent;
}

std::int64_t SimulatedDevice::FreeBlocks(bool refresh)
{
    queries.push_back(refresh ? "FreeBlocks refresh" : "FreeBlocks");
    return discPresent ? freeBlocks : 0;
}

bool SimulatedDevice::Eject()
{
    ++ejects;
    return true;
}

bool SimulatedDevice::CloseTray()
{
    ++trayCloses;
    return true;
}

bool SimulatedDevice::Erase(bool quick, int speed)
{
    erases.push_back((quick ? "quick " : "full ") + std::to_string(speed));
    erasing_ = eraseStarts;
    return eraseStarts;
}

// The image as a flat list of items; small images only, so plain searches do.
class SimulatedDiscEngine::ScriptedWriter final : public DataWriter {
public:
    explicit ScriptedWriter(SimulatedDiscEngine& engine) : engine_(engine) {}

    WriterSettings& Settings() override { return settings_; }
    bool CanWriteFileSystem(int fileSystemType) const override
    {
        return engine_.writableFileSystems.contains(fileSystemType);
    }
    DiscImage& Image() override { return *engine_.image_; }
    int BlockSize() const override { return SimulatedBlockSize; }
    double ImageSize() const override { return engine_.image_->Size(); }
    bool Write(DiscDevice& device) override
    {
        if (!engine_.writeStarts || engine_.WriteRunning()) {
            return false;
        }
        engine_.writes.push_back({settings_, device.Name()});
        engine_.abortRequested_ = false;
        engine_.QueueWrite(static_cast<SimulatedDevice&>(device));
        return true;
    }
    void Abort() override
    {
        ++engine_.aborts;
        engine_.abortRequested_ = engine_.WriteRunning();
    }

private:
    SimulatedDiscEngine& engine_;
    WriterSettings settings_;
};

SimulatedDiscEngine::SimulatedDiscEngine(FileSystem& files)
    : image_(std::make_unique<MemoryDiscImage>(
          files, [this](const std::function<void(DiscEvents&)>& raise) { RaiseEvent(raise); })),
      writer_(std::make_unique<ScriptedWriter>(*this))
{
}

SimulatedDiscEngine::~SimulatedDiscEngine() = default;

SimulatedDevice& SimulatedDiscEngine::AddDrive(const std::string& name)
{
    drives_.push_back(std::make_unique<SimulatedDevice>());
    drives_.back()->name = name;
    return *drives_.back();
}

DiscDevice& SimulatedDiscEngine::DeviceAt(int index)
{
    return *drives_.at(static_cast<std::size_t>(index));
}

DataWriter& SimulatedDiscEngine::Writer()
{
    return *writer_;
}

void SimulatedDiscEngine::QueueWrite(SimulatedDevice& drive)
{
    const WriterSettings settings = writer_->Settings();
    auto status = [this](int percent, WriteStatus reached) {
        return [this, percent, reached] {
            RaiseEvent([&](DiscEvents& l) { l.StatusChanged(percent, reached); });
        };
    };
    writeSteps_.push_back(status(0, WriteStatus::PreparingImage));
    long counter = 0;
    for (const ImageItem& item : image_->Items()) {
        if (!item.IsFolder) {
            writeSteps_.push_back([this, item, counter] {
                RaiseEvent([&](DiscEvents& l) { l.ReadingFile(1, counter, item.ImagePath); });
            });
            ++counter;
        }
    }
    for (const FileError& warning : fileWarnings) {
        writeSteps_.push_back([this, warning] {
            bool continueWrite = true;
            RaiseEvent([&](DiscEvents& l) { l.FileWarning(warning, continueWrite); });
            abortRequested_ = abortRequested_ || !continueWrite;
        });
    }
    writeSteps_.push_back(status(0, WriteStatus::WritingLeadIn));
    for (int percent : {0, 50, 100}) {
        writeSteps_.push_back(status(percent, WriteStatus::Writing1));
    }
    if (writeFailure) {
        const WriteError failure = *writeFailure;
        writeSteps_.push_back([this, failure] {
            writeSteps_.clear();
            RaiseEvent([&](DiscEvents& l) { l.WriteFailed(failure); });
            RaiseEvent([](DiscEvents& l) { l.StatusChanged(0, WriteStatus::Failed); });
        });
        return;
    }
    writeSteps_.push_back(status(100, WriteStatus::ClosingTrack));
    writeSteps_.push_back(status(100, WriteStatus::WritingLeadOut));
    writeSteps_.push_back(status(100, WriteStatus::UpdatingVolume));
    if (!settings.TestWrite) {
        const auto blocks =
            static_cast<std::int64_t>(std::ceil(image_->Size() / SimulatedBlockSize));
        writeSteps_.push_back([&drive, blocks] {
            drive.freeBlocks = std::max<std::int64_t>(0, drive.freeBlocks - blocks);
        });
        if (settings.AutoVerify) {
            QueueVerify();
        }
    }
    writeSteps_.push_back(status(100, WriteStatus::Completed));
}

void SimulatedDiscEngine::QueueVerify()
{
    std::vector<ImageItem> files;
    for (const ImageItem& item : image_->Items()) {
        if (!item.IsFolder) {
            files.push_back(item);
        }
    }
    const int total = static_cast<int>(files.size());
    auto matched = std::make_shared<int>(0);
    writeSteps_.push_back(
        [this, total] { RaiseEvent([&](DiscEvents& l) { l.VerifyStarted(total); }); });
    for (int done = 1; done <= total; ++done) {
        const ImageItem item = files[static_cast<std::size_t>(done - 1)];
        writeSteps_.push_back([this, item, done, total, matched] {
            const auto scripted = verifyResults.find(item.ImagePath);
            const VerifyResult result =
                scripted == verifyResults.end() ? VerifyResult::Matched : scripted->second;
            *matched += result == VerifyResult::Matched ? 1 : 0;
            RaiseEvent([&](DiscEvents& l) { l.VerifyItem(item, result, done, total); });
        });
    }
    writeSteps_.push_back([this, total, matched] {
        RaiseEvent([&](DiscEvents& l) { l.VerifyDone(total, *matched); });
    });
}

void SimulatedDiscEngine::RunWrite(int steps)
{
    while (!writeSteps_.empty() && steps != 0) {
        if (abortRequested_) {
            writeSteps_.clear();
            abortRequested_ = false;
            RaiseEvent([](DiscEvents& l) { l.StatusChanged(0, WriteStatus::Cancelled); });
            return;
        }
        std::function<void()> step = std::move(writeSteps_.front());
        writeSteps_.pop_front();
        step();
        if (steps > 0) {
            --steps;
        }
        // A last step that asked to stop still ends the write as cancelled.
        if (writeSteps_.empty() && abortRequested_) {
            abortRequested_ = false;
            RaiseEvent([](DiscEvents& l) { l.StatusChanged(0, WriteStatus::Cancelled); });
        }
    }
}

void SimulatedDiscEngine::RunErase(SimulatedDevice& drive)
{
    if (!drive.erasing_) {
        return;
    }
    drive.erasing_ = false;
    if (drive.eraseEnd == SimulatedDevice::EraseEnd::DeviceFault) {
        const DeviceError fault = drive.eraseFault;
        RaiseEvent([&](DiscEvents& l) { l.EraseDeviceError(fault); });
        return;
    }
    RaiseEvent([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Started, 0); });
    RaiseEvent([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Progress, 50); });
    if (drive.eraseEnd == SimulatedDevice::EraseEnd::Failed) {
        RaiseEvent([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Failed, 50); });
        return;
    }
    drive.freeBlocks = drive.blankBlocks;
    RaiseEvent([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Done, 100); });
}

}  // namespace kestrel

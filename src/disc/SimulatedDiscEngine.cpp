#include "disc/SimulatedDiscEngine.h"

#include <algorithm>
#include <cmath>

#include "platform/NameCase.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

constexpr int SimulatedBlockSize = 2048;

std::string JoinImagePath(const std::string& folder, const std::string& name)
{
    return (folder == "\\" ? "" : folder) + "\\" + name;
}

std::string ParentOf(const std::string& imagePath)
{
    const std::size_t separator = imagePath.find_last_of('\\');
    return separator == 0 || separator == std::string::npos ? "\\" : imagePath.substr(0, separator);
}

std::string NameOf(const std::string& imagePath)
{
    return imagePath.substr(imagePath.find_last_of('\\') + 1);
}

// Whether `path` is `folder` or lies inside it.
bool IsWithin(const std::string& path, const std::string& folder)
{
    if (EqualsIgnoringCase(path, folder)) {
        return true;
    }
    return path.size() > folder.size() && path[folder.size()] == '\\' &&
           EqualsIgnoringCase(std::string_view(path).substr(0, folder.size()), folder);
}

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
class SimulatedDiscEngine::MemoryImage final : public DiscImage {
public:
    explicit MemoryImage(SimulatedDiscEngine& engine) : engine_(engine) {}

    bool AddFile(const std::string& source, const std::string& imagePath) override
    {
        const Result<FileFacts> facts = engine_.files_.Stat(source);
        if (!facts || facts->isFolder || !IsValidPath(imagePath)) {
            return false;
        }
        if (!MakeFolders(ParentOf(imagePath))) {
            return false;
        }
        if (ImageItem* existing = Find(imagePath)) {
            if (existing->IsFolder) {
                return false;
            }
            bool replace = false;
            const ImageItem shown = *existing;
            engine_.RaiseEvent([&](DiscEvents& l) { l.ReplaceFileAsked(shown, source, replace); });
            if (replace) {
                ImageItem* still = Find(imagePath);
                if (still != nullptr) {
                    still->SourcePath = source;
                    still->Size = static_cast<double>(facts->size);
                    still->Date = facts->modified;
                }
            }
            return true;
        }
        ImageItem item;
        item.Parent = ParentOf(imagePath);
        item.Name = NameOf(imagePath);
        item.ImagePath = imagePath;
        item.SourcePath = source;
        item.Size = static_cast<double>(facts->size);
        item.Date = facts->modified;
        Insert(item);
        return true;
    }

    bool AddFolder(const std::string& source, const std::string& imagePath) override
    {
        if (!engine_.files_.FolderExists(source) || !IsValidPath(imagePath) ||
            !MakeFolders(imagePath)) {
            return false;
        }
        bool all = true;
        for (const std::string& file : engine_.files_.FilesIn(source)) {
            all = AddFile(JoinPath(source, file), JoinImagePath(imagePath, file)) && all;
        }
        for (const std::string& folder : engine_.files_.FoldersIn(source)) {
            all = AddFolder(JoinPath(source, folder), JoinImagePath(imagePath, folder)) && all;
        }
        return all;
    }

    bool RenameFile(const std::string& imagePath, const std::string& newName) override
    {
        return Rename(imagePath, newName, false);
    }

    bool RenameFolder(const std::string& imagePath, const std::string& newName) override
    {
        return Rename(imagePath, newName, true);
    }

    bool Remove(const std::string& imagePath) override
    {
        const ImageItem* item = Find(imagePath);
        if (item == nullptr) {
            return false;
        }
        const std::string path = item->ImagePath;
        // Deepest first, so a folder goes after what it holds.
        std::vector<ImageItem> gone;
        for (const ImageItem& each : items_) {
            if (IsWithin(each.ImagePath, path)) {
                gone.push_back(each);
            }
        }
        std::sort(gone.begin(), gone.end(), [](const ImageItem& a, const ImageItem& b) {
            return a.ImagePath.size() > b.ImagePath.size();
        });
        std::erase_if(items_,
                      [&](const ImageItem& each) { return IsWithin(each.ImagePath, path); });
        for (const ImageItem& each : gone) {
            engine_.RaiseEvent([&](DiscEvents& l) { l.ItemRemoved(each); });
        }
        return true;
    }

    int FileCount() const override
    {
        return static_cast<int>(
            std::count_if(items_.begin(), items_.end(), [](auto& i) { return !i.IsFolder; }));
    }

    int FolderCount() const override { return static_cast<int>(items_.size()) - FileCount(); }

    std::vector<ImageItem> ListFolder(const std::string& imagePath) const override
    {
        std::vector<ImageItem> listed;
        for (const ImageItem& item : items_) {
            if (EqualsIgnoringCase(item.Parent, imagePath)) {
                listed.push_back(item);
            }
        }
        std::sort(listed.begin(), listed.end(),
                  [](const ImageItem& a, const ImageItem& b) { return a.Name < b.Name; });
        return listed;
    }

    void Clear() override
    {
        items_.clear();
        engine_.RaiseEvent([](DiscEvents& l) { l.ImageCleared(); });
    }

    double Size() const
    {
        double total = 0;
        for (const ImageItem& item : items_) {
            total += item.Size;
        }
        return total;
    }

    const std::vector<ImageItem>& Items() const { return items_; }

private:
    static bool IsValidPath(const std::string& imagePath)
    {
        return imagePath.size() > 1 && imagePath.front() == '\\' && imagePath.back() != '\\' &&
               imagePath.find("\\\\") == std::string::npos;
    }

    ImageItem* Find(const std::string& imagePath)
    {
        auto found = std::find_if(items_.begin(), items_.end(), [&](const ImageItem& item) {
            return EqualsIgnoringCase(item.ImagePath, imagePath);
        });
        return found == items_.end() ? nullptr : &*found;
    }

    const ImageItem* Find(const std::string& imagePath) const
    {
        return const_cast<MemoryImage*>(this)->Find(imagePath);
    }

    // Every missing folder down to `imagePath`; false when a file stands in the way.
    bool MakeFolders(const std::string& imagePath)
    {
        if (imagePath == "\\") {
            return true;
        }
        if (!MakeFolders(ParentOf(imagePath))) {
            return false;
        }
        if (const ImageItem* existing = Find(imagePath)) {
            return existing->IsFolder;
        }
        ImageItem folder;
        folder.IsFolder = true;
        folder.Parent = ParentOf(imagePath);
        folder.Name = NameOf(imagePath);
        folder.ImagePath = imagePath;
        Insert(folder);
        return true;
    }

    void Insert(const ImageItem& item)
    {
        items_.push_back(item);
        engine_.RaiseEvent([&](DiscEvents& l) { l.ItemAdded(item); });
    }

    bool Rename(const std::string& imagePath, const std::string& newName, bool folder)
    {
        ImageItem* item = Find(imagePath);
        if (item == nullptr || item->IsFolder != folder || newName.empty() ||
            newName.find('\\') != std::string::npos) {
            return false;
        }
        const std::string oldPath = item->ImagePath;
        const std::string newPath = JoinImagePath(item->Parent, newName);
        const ImageItem* taken = Find(newPath);
        if (taken != nullptr && taken != item) {
            return false;
        }
        // The item and everything inside it move; each is told, outermost first.
        std::vector<std::size_t> moved;
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (IsWithin(items_[i].ImagePath, oldPath)) {
                ImageItem& each = items_[i];
                each.PreviousPath = each.ImagePath;
                each.ImagePath = newPath + each.ImagePath.substr(oldPath.size());
                each.Parent = ParentOf(each.ImagePath);
                each.Name = NameOf(each.ImagePath);
                moved.push_back(i);
            }
        }
        std::sort(moved.begin(), moved.end(), [&](std::size_t a, std::size_t b) {
            return items_[a].ImagePath.size() < items_[b].ImagePath.size();
        });
        for (std::size_t i : moved) {
            const ImageItem each = items_[i];
            engine_.RaiseEvent([&](DiscEvents& l) { l.ItemNameChanged(each); });
        }
        return true;
    }

    SimulatedDiscEngine& engine_;
    std::vector<ImageItem> items_;
};

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
    : files_(files),
      image_(std::make_unique<MemoryImage>(*this)),
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

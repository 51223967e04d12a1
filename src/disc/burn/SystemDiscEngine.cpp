// The Linux engine: libisofs builds the image from the composed items, libburn writes it to a
// drive or to an image file (a "stdio:" pseudo-drive), reads it back for the verification and
// blanks re-writable discs. A write or an erase runs on a thread of its own; its events wait in
// a queue until the caller's thread takes them with DeliverEvents.

#include "disc/SystemDiscEngine.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "disc/MemoryDiscImage.h"
#include "disc/VerifyImage.h"
#include "disc/burn/IsoImage.h"

namespace kestrel {
namespace {

using namespace burn;

constexpr int Block = 2048;
constexpr int ImageFileProfile = 0xffff;
// A drive of libburn's role 2: an image file it reads and writes anywhere, like a DVD-RAM.
constexpr int RandomAccessFileRole = 2;
constexpr double CdBase = 176.4;
constexpr double DvdBase = 1385.0;
constexpr double BdBase = 4495.625;

void Pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool StartBurnLibrary()
{
    static const bool started = [] {
        if (burn_initialize() != 1) {
            return false;
        }
        // Problems reach the engine through the queue (DrainBurnMessages), never the terminal.
        char queue[] = "SORRY";
        char print[] = "NEVER";
        char id[] = "libburn: ";
        burn_msgs_set_severities(queue, print, id);
        return true;
    }();
    return started;
}

// The last problem libburn queued since the previous call; empty when none.
DeviceError DrainBurnMessages(const std::string& address)
{
    DeviceError last;
    int code = 0;
    int osErrno = 0;
    char text[BURN_MSGS_MESSAGE_LEN] = {};
    char severity[80] = {};
    char minimum[] = "SORRY";
    while (burn_msgs_obtain(minimum, &code, text, &osErrno, severity) == 1) {
        last = DeviceError{code, text, address, severity};
    }
    return last;
}

bool IsOverwritableProfile(int profile)
{
    return profile == 0x12 || profile == 0x13 || profile == 0x1a || profile == 0x43 ||
           profile == ImageFileProfile;
}

bool IsRewritableProfile(int profile)
{
    return profile == 0x0a || profile == 0x14 || IsOverwritableProfile(profile);
}

// Profiles without a code of their own in `media` get 0x100 above their profile number.
int MediaTypeOf(int profile)
{
    switch (profile) {
        case 0x0a:
            return media::CdRw;
        case 0x13:
        case 0x14:
            return media::DvdMinusRw;
        case 0x1a:
            return media::DvdPlusRw;
        case 0x12:
        case ImageFileProfile:
            return media::DvdRam;
        case 0x43:
            return media::BdRe;
        default:
            return 0x100 + profile;
    }
}

double BaseSpeedOf(int profile)
{
    if (profile >= 0x40 && profile < 0x50) {
        return BdBase;
    }
    return profile >= 0x08 && profile <= 0x0a ? CdBase : DvdBase;
}

class BurnEngine;

// One drive held by the engine from Initialize on: a real drive or an image file.
class BurnDevice final : public DiscDevice {
public:
    BurnDevice(BurnEngine& engine, burn_drive_info* info, std::string address, bool imageFile);
    ~BurnDevice() override;

    std::string Name() const override { return name_; }
    bool IsUsable() const override { return usable_; }
    bool Supports(int capability) const override;
    std::vector<int> WriteSpeeds() const override { return speeds_; }
    double SpeedMultiple(int speed) const override { return speed / BaseSpeedOf(profile_); }
    int SpeedValue() const override { return 0; }
    bool MediaPresent(bool refresh) override;
    MediaInfo Media() const override { return media_; }
    std::int64_t FreeBlocks(bool refresh) override;
    bool Eject() override;
    bool CloseTray() override;
    bool Erase(bool quick, int speed) override;

    burn_drive* Drive() const { return info_->drive; }
    const std::string& Address() const { return address_; }
    bool Overwritable() const { return overwritable_; }
    bool IsImageFile() const { return imageFile_; }
    // Asks the drive again about its disc; not while a write or an erase runs on it.
    void Refresh();

private:
    bool Reload(bool eject);

    BurnEngine& engine_;
    burn_drive_info* info_;
    std::string address_;
    std::string name_;
    bool imageFile_;
    bool usable_ = true;
    int profile_ = 0;
    bool overwritable_ = false;
    MediaInfo media_;
    std::int64_t freeBlocks_ = 0;
    std::vector<int> speeds_;
};

class BurnWriter final : public DataWriter {
public:
    BurnWriter(BurnEngine& engine, FileSystem& files, MemoryDiscImage::RaiseEvent raise)
        : engine_(engine), image_(files, std::move(raise))
    {
    }

    WriterSettings& Settings() override { return settings_; }
    bool CanWriteFileSystem(int fileSystemType) const override
    {
        return fileSystemType == imagefs::Iso9660 ||
               fileSystemType == (imagefs::Iso9660 | imagefs::Joliet);
    }
    DiscImage& Image() override { return image_; }
    int BlockSize() const override { return Block; }
    double ImageSize() const override { return EstimateImageBytes(image_.Items()); }
    bool Write(DiscDevice& device) override;
    void Abort() override;

    const MemoryDiscImage& Items() const { return image_; }

private:
    BurnEngine& engine_;
    MemoryDiscImage image_;
    WriterSettings settings_;
};

class BurnEngine final : public DiscEngine {
public:
    BurnEngine(FileSystem& files, SystemDiscOptions options)
        : files_(files),
          options_(std::move(options)),
          writer_(*this, files,
                  [this](const std::function<void(DiscEvents&)>& raise) { RaiseEvent(raise); })
    {
    }
    ~BurnEngine() override;

    bool Initialize() override;
    int DeviceCount() const override { return static_cast<int>(devices_.size()); }
    DiscDevice& DeviceAt(int index) override { return *devices_.at(static_cast<size_t>(index)); }
    DataWriter& Writer() override { return writer_; }
    void DeliverEvents() override;

    bool StartWrite(BurnDevice& device, const WriterSettings& settings);
    bool StartErase(BurnDevice& device, bool quick);
    void RequestAbort() { abort_ = true; }
    bool Busy(const BurnDevice& device) const { return running_ && busyDevice_ == &device; }

private:
    using Event = std::function<void(DiscEvents&)>;

    void AddDevice(const std::string& address, bool imageFile);
    bool StartJob(BurnDevice& device, std::function<void()> job);
    void Post(Event event);
    void PostStatus(int percent, WriteStatus status);
    // Raises FileWarning on the caller's thread and waits for its answer.
    bool AskToContinue(const FileError& error);
    void RunWrite(BurnDevice& device, const WriterSettings& settings,
                  const std::vector<ImageItem>& items, std::time_t now);
    // Writes the image with libburn, following its progress; false when libburn failed.
    bool Burn(BurnDevice& device, const WriterSettings& settings, burn::burn_source* source);
    void FollowWrite(burn_drive* drive);
    void Verify(BurnDevice& device, const std::vector<ImageItem>& items);
    void FailWrite(const WriteError& error);
    // libburn writes an image file from its start and leaves what lies beyond the new image:
    // the file is emptied first, so it ends where the image does.
    void EmptyImageFile(const BurnDevice& device);
    void RunErase(BurnDevice& device, bool quick);
    bool ZeroFill(BurnDevice& device, bool quick);
    bool Blank(BurnDevice& device, bool quick);

    FileSystem& files_;
    SystemDiscOptions options_;
    BurnWriter writer_;
    std::vector<std::unique_ptr<BurnDevice>> devices_;

    std::thread job_;
    std::atomic<bool> running_{false};
    std::atomic<bool> abort_{false};
    BurnDevice* busyDevice_ = nullptr;

    std::mutex queueLock_;
    std::condition_variable answered_;
    std::deque<std::function<void()>> queue_;
    bool closing_ = false;
};

BurnDevice::BurnDevice(BurnEngine& engine, burn_drive_info* info, std::string address,
                       bool imageFile)
    : engine_(engine), info_(info), address_(std::move(address)), imageFile_(imageFile)
{
    if (imageFile_) {
        name_ = address_.substr(std::strlen("stdio:"));
    } else {
        name_ = address_ + " (" + std::string(info_->vendor) + " " + info_->product + ")";
    }
    Refresh();
}

BurnDevice::~BurnDevice()
{
    burn_drive_release(info_->drive, 0);
    burn_drive_info_free(info_);
}

void BurnDevice::Refresh()
{
    burn_drive* drive = info_->drive;
    enum burn_disc_status status = burn_disc_get_status(drive);
    for (int tries = 0; status == BURN_DISC_UNREADY && tries < 50; ++tries) {
        Pause(100);
        status = burn_disc_get_status(drive);
    }
    char name[80] = {};
    profile_ = 0;
    overwritable_ = false;
    if (burn_disc_get_profile(drive, &profile_, name) != 1) {
        profile_ = 0;
    }
    usable_ = burn_drive_get_drive_role(drive) != 0;
    media_ = MediaInfo{};
    freeBlocks_ = 0;
    speeds_.clear();
    if (status == BURN_DISC_EMPTY || status == BURN_DISC_UNREADY || profile_ == 0) {
        return;
    }
    // Image files of other kinds than a regular file (a pipe, a character device) are written
    // once from start to end, like a blank DVD-R.
    const bool sequentialFile =
        profile_ == ImageFileProfile && burn_drive_get_drive_role(drive) != RandomAccessFileRole;
    overwritable_ = IsOverwritableProfile(profile_) && !sequentialFile;
    media_.MediaType = sequentialFile ? MediaTypeOf(0x11) : MediaTypeOf(profile_);
    media_.Rewritable = overwritable_ || (IsRewritableProfile(profile_) && !sequentialFile);
    // Overwritable discs take a new image from their start; others only when blank.
    media_.Writable =
        status == BURN_DISC_BLANK || (overwritable_ && status != BURN_DISC_UNSUITABLE);
    freeBlocks_ = media_.Writable ? burn_disc_available_space(drive, nullptr) / Block : 0;
    burn_speed_descriptor* list = nullptr;
    if (burn_drive_get_speedlist(drive, &list) == 1) {
        for (burn_speed_descriptor* s = list; s != nullptr; s = s->next) {
            if (s->write_speed > 0 &&
                std::find(speeds_.begin(), speeds_.end(), s->write_speed) == speeds_.end()) {
                speeds_.push_back(s->write_speed);
            }
        }
        burn_drive_free_speedlist(&list);
    }
    std::sort(speeds_.rbegin(), speeds_.rend());
}

bool BurnDevice::Supports(int capability) const
{
    switch (capability) {
        case capability::EraseCdRw:
            return !imageFile_ && info_->write_cdrw;
        case capability::EraseDvdMinusRw:
        case capability::EraseDvdPlusRw:
            return !imageFile_ && info_->write_dvdr;
        case capability::EraseDvdRam:
            return imageFile_ ? burn_drive_get_drive_role(info_->drive) == RandomAccessFileRole
                              : static_cast<bool>(info_->write_dvdram);
        case capability::EraseBdRe:
            return !imageFile_ && profile_ == 0x43;
        case capability::BufferProtection:
            return !imageFile_;
        default:
            return false;
    }
}

bool BurnDevice::MediaPresent(bool refresh)
{
    if (refresh && !engine_.Busy(*this)) {
        burn_drive_re_assess(info_->drive, 0);
        Refresh();
    }
    return media_.MediaType != media::None;
}

std::int64_t BurnDevice::FreeBlocks(bool refresh)
{
    if (refresh && !engine_.Busy(*this)) {
        Refresh();
    }
    return freeBlocks_;
}

bool BurnDevice::Reload(bool eject)
{
    if (imageFile_ || engine_.Busy(*this)) {
        return false;
    }
    burn_drive_release(info_->drive, eject ? 1 : 0);
    const bool grabbed = burn_drive_grab(info_->drive, eject ? 0 : 1) == 1;
    Refresh();
    return grabbed;
}

bool BurnDevice::Eject()
{
    return Reload(true);
}

bool BurnDevice::CloseTray()
{
    return Reload(false);
}

bool BurnDevice::Erase(bool quick, int /*speed*/)
{
    return engine_.StartErase(*this, quick);
}

bool BurnWriter::Write(DiscDevice& device)
{
    return engine_.StartWrite(static_cast<BurnDevice&>(device), settings_);
}

void BurnWriter::Abort()
{
    engine_.RequestAbort();
}

BurnEngine::~BurnEngine()
{
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        closing_ = true;
    }
    answered_.notify_all();
    abort_ = true;
    if (job_.joinable()) {
        job_.join();
    }
    devices_.clear();
}

bool BurnEngine::Initialize()
{
    if (!StartIsoLibrary() || !StartBurnLibrary()) {
        return false;
    }
    if (!devices_.empty()) {
        return true;
    }
    burn_drive_info* scanned = nullptr;
    unsigned int count = 0;
    while (burn_drive_scan(&scanned, &count) == 0) {
        Pause(100);
    }
    // The scan only names the drives; each one is then taken by its address, beside the
    // image files, which libburn can take only that way.
    std::vector<std::string> addresses;
    for (unsigned int i = 0; i < count; ++i) {
        char address[BURN_DRIVE_ADR_LEN] = {};
        if (burn_drive_d_get_adr(scanned[i].drive, address) > 0) {
            addresses.emplace_back(address);
        }
    }
    if (scanned != nullptr) {
        burn_drive_info_free(scanned);
    }
    for (const std::string& address : addresses) {
        AddDevice(address, false);
    }
    for (const std::string& file : options_.imageFiles) {
        AddDevice("stdio:" + file, true);
    }
    DrainBurnMessages("");
    return true;
}

void BurnEngine::AddDevice(const std::string& address, bool imageFile)
{
    burn_drive_info* info = nullptr;
    std::vector<char> copy(address.begin(), address.end());
    copy.push_back('\0');
    // The tray is left as it is: closing it is the Device menu's business.
    if (burn_drive_scan_and_grab(&info, copy.data(), 0) == 1) {
        devices_.push_back(std::make_unique<BurnDevice>(*this, info, address, imageFile));
    } else if (info != nullptr) {
        burn_drive_info_free(info);
    }
}

void BurnEngine::DeliverEvents()
{
    std::deque<std::function<void()>> ready;
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        ready.swap(queue_);
    }
    for (std::function<void()>& deliver : ready) {
        deliver();
    }
}

void BurnEngine::Post(Event event)
{
    std::lock_guard<std::mutex> hold(queueLock_);
    queue_.push_back([this, event = std::move(event)] { RaiseEvent(event); });
}

void BurnEngine::PostStatus(int percent, WriteStatus status)
{
    Post([percent, status](DiscEvents& l) { l.StatusChanged(percent, status); });
}

bool BurnEngine::AskToContinue(const FileError& error)
{
    struct Answer {
        bool given = false;
        bool continueWrite = true;
    };
    auto answer = std::make_shared<Answer>();
    std::unique_lock<std::mutex> hold(queueLock_);
    queue_.push_back([this, answer, error] {
        bool continueWrite = true;
        RaiseEvent([&](DiscEvents& l) { l.FileWarning(error, continueWrite); });
        std::lock_guard<std::mutex> back(queueLock_);
        answer->continueWrite = continueWrite;
        answer->given = true;
        answered_.notify_all();
    });
    answered_.wait(hold, [&] { return answer->given || closing_; });
    return answer->given && answer->continueWrite;
}

bool BurnEngine::StartJob(BurnDevice& device, std::function<void()> job)
{
    if (running_) {
        return false;
    }
    if (job_.joinable()) {
        job_.join();
    }
    abort_ = false;
    busyDevice_ = &device;
    running_ = true;
    job_ = std::thread([this, job = std::move(job)] {
        job();
        running_ = false;
    });
    return true;
}

bool BurnEngine::StartWrite(BurnDevice& device, const WriterSettings& settings)
{
    if (!device.IsUsable() || !writer_.CanWriteFileSystem(settings.FileSystemType)) {
        return false;
    }
    std::vector<ImageItem> items = writer_.Items().Items();
    const std::time_t now = std::time(nullptr);
    return StartJob(device, [this, &device, settings, items = std::move(items), now] {
        RunWrite(device, settings, items, now);
    });
}

void BurnEngine::FailWrite(const WriteError& error)
{
    Post([error](DiscEvents& l) { l.WriteFailed(error); });
    PostStatus(0, WriteStatus::Failed);
}

void BurnEngine::EmptyImageFile(const BurnDevice& device)
{
    const std::string& path = device.Name();
    if (!device.IsImageFile() || !device.Overwritable() || !path.starts_with("/")) {
        return;
    }
    files_.CreateOutputFile(path);
}

void BurnEngine::RunWrite(BurnDevice& device, const WriterSettings& settings,
                          const std::vector<ImageItem>& items, std::time_t now)
{
    PostStatus(0, WriteStatus::PreparingImage);
    std::vector<ImageItem> kept;
    long counter = 0;
    for (const ImageItem& item : items) {
        if (!item.IsFolder) {
            Post([item, counter](DiscEvents& l) { l.ReadingFile(1, counter, item.ImagePath); });
            ++counter;
            Result<std::unique_ptr<InputFile>> source = files_.OpenInputFile(item.SourcePath);
            if (!source) {
                const Error& why = source.error();
                const FileError warning{static_cast<int>(why.systemCode), why.Describe(),
                                        item.SourcePath};
                if (!AskToContinue(warning)) {
                    abort_ = true;
                }
                if (abort_) {
                    break;
                }
                continue;  // the file stays off the disc
            }
        }
        kept.push_back(item);
    }
    if (abort_) {
        PostStatus(0, WriteStatus::Cancelled);
        return;
    }
    SourceReadLog log;
    std::string error;
    IsoImagePtr image = BuildIsoImage(
        files_, kept, IsoImageOptions{settings.VolumeLabel, settings.UseFileDates, now}, log,
        error);
    auto* source = reinterpret_cast<burn::burn_source*>(
        image ? CreateImageSource(image.get(), error) : nullptr);
    if (source == nullptr) {
        FailWrite(WriteError{"The image could not be built: " + error, 0, {}, {}, 0});
        return;
    }
    DrainBurnMessages(device.Address());
    if (!settings.TestWrite) {
        EmptyImageFile(device);
    }
    const bool burnt = Burn(device, settings, source);
    burn_source_free(source);
    image.reset();
    burn_drive_re_assess(device.Drive(), 0);
    device.Refresh();
    if (abort_) {
        PostStatus(0, WriteStatus::Cancelled);
    } else if (log.Failed()) {
        const FileError bad = log.First();
        FailWrite(WriteError{bad.Text, writeerror::SourceFile, {}, bad, 0});
    } else if (!burnt) {
        DeviceError fault = DrainBurnMessages(device.Address());
        if (fault.Text.empty()) {
            fault = DeviceError{0, "The drive did not write the image.", device.Address(), ""};
        }
        FailWrite(WriteError{fault.Text, writeerror::Device, fault, {}, 0});
    } else {
        PostStatus(100, WriteStatus::UpdatingVolume);
        if (settings.AutoVerify && !settings.TestWrite) {
            Verify(device, kept);
        }
        // An abort during the verification stops it; the data is on the disc by then.
        PostStatus(abort_ ? 0 : 100, abort_ ? WriteStatus::Cancelled : WriteStatus::Completed);
    }
}

bool BurnEngine::Burn(BurnDevice& device, const WriterSettings& settings, burn::burn_source* source)
{
    burn_drive* drive = device.Drive();
    burn_disc* disc = burn_disc_create();
    burn_session* session = burn_session_create();
    burn_track* track = burn_track_create();
    burn_disc_add_session(disc, session, BURN_POS_END);
    burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    const bool sourced = burn_track_set_source(track, source) == BURN_SOURCE_OK;
    burn_session_add_track(session, track, BURN_POS_END);

    burn_write_opts* options = burn_write_opts_new(drive);
    burn_write_opts_set_perform_opc(options, 0);
    // An overwritable disc holds one image from its start; others stay open unless finalized.
    burn_write_opts_set_multi(options, settings.Finalize || device.Overwritable() ? 0 : 1);
    burn_write_opts_set_simulate(options, settings.TestWrite ? 1 : 0);
    burn_write_opts_set_underrun_proof(options, settings.BufferProtect ? 1 : 0);
    if (device.Overwritable()) {
        burn_write_opts_set_start_byte(options, 0);
    }
    const bool sao = settings.Mode == WriteMode::DiscAtOnce;
    burn_write_opts_set_write_type(options, sao ? BURN_WRITE_SAO : BURN_WRITE_TAO,
                                   sao ? BURN_BLOCK_SAO : BURN_BLOCK_MODE1);
    char reasons[BURN_REASONS_LEN] = {};
    // The chosen mode when the disc takes it, else whatever mode it takes.
    bool ready =
        sourced && burn_write_opts_auto_write_type(options, disc, reasons, 1) != BURN_WRITE_NONE;
    if (sourced && !ready) {
        ready = burn_write_opts_auto_write_type(options, disc, reasons, 0) != BURN_WRITE_NONE;
    }
    bool written = false;
    if (ready && !abort_) {
        burn_drive_set_speed(drive, 0, settings.WriteSpeed);
        PostStatus(0, WriteStatus::WritingLeadIn);
        burn_disc_write(options, disc);
        FollowWrite(drive);
        written = burn_drive_wrote_well(drive) == 1;
    }
    burn_write_opts_free(options);
    burn_track_free(track);
    burn_session_free(session);
    burn_disc_free(disc);
    return written;
}

void BurnEngine::FollowWrite(burn_drive* drive)
{
    burn_progress progress{};
    while (burn_drive_get_status(drive, nullptr) == BURN_DRIVE_SPAWNING) {
        Pause(50);
    }
    int shownPercent = -1;
    enum burn_drive_status shown = BURN_DRIVE_IDLE;
    bool cancelled = false;
    for (;;) {
        const enum burn_drive_status now = burn_drive_get_status(drive, &progress);
        if (now == BURN_DRIVE_IDLE) {
            break;
        }
        if (abort_ && !cancelled) {
            burn_drive_cancel(drive);
            cancelled = true;
        }
        if (now == BURN_DRIVE_WRITING && progress.sectors > 0) {
            const int percent = static_cast<int>(100.0 * progress.sector / progress.sectors);
            if (percent != shownPercent) {
                shownPercent = percent;
                PostStatus(std::clamp(percent, 0, 100), WriteStatus::Writing1);
            }
        } else if (now != shown) {
            if (now == BURN_DRIVE_CLOSING_TRACK) {
                PostStatus(100, WriteStatus::ClosingTrack);
            } else if (now == BURN_DRIVE_WRITING_LEADOUT) {
                PostStatus(100, WriteStatus::WritingLeadOut);
            } else if (now == BURN_DRIVE_CLOSING_SESSION) {
                PostStatus(100, WriteStatus::UpdatingVolume);
            }
        }
        shown = now;
        Pause(100);
    }
    if (!abort_ && shownPercent < 100) {
        PostStatus(100, WriteStatus::Writing1);
    }
}

// Blocks of the written disc, read ahead in runs so a real drive is not asked block by block.
class DriveBlocks {
public:
    explicit DriveBlocks(burn_drive* drive) : drive_(drive), cache_(Run * Block) {}

    bool Read(std::uint32_t block, std::uint8_t* data)
    {
        if (block < first_ || block >= first_ + count_) {
            if (!Fill(block)) {
                return false;
            }
        }
        std::memcpy(data, cache_.data() + static_cast<std::size_t>(block - first_) * Block, Block);
        return true;
    }

private:
    static constexpr std::uint32_t Run = 32;

    bool Fill(std::uint32_t block)
    {
        for (std::uint32_t blocks : {Run, 1u}) {
            off_t got = 0;
            const int read = burn_read_data(drive_, static_cast<off_t>(block) * Block,
                                            reinterpret_cast<char*>(cache_.data()),
                                            static_cast<off_t>(blocks) * Block, &got, 2 | 4);
            if (read == 1 || got >= Block) {
                first_ = block;
                count_ = static_cast<std::uint32_t>(got / Block);
                return count_ > 0;
            }
        }
        count_ = 0;
        return false;
    }

    burn_drive* drive_;
    std::vector<std::uint8_t> cache_;
    std::uint32_t first_ = 0;
    std::uint32_t count_ = 0;
};

void BurnEngine::Verify(BurnDevice& device, const std::vector<ImageItem>& items)
{
    auto blocks = std::make_shared<DriveBlocks>(device.Drive());
    std::unique_ptr<WrittenFiles> disc = OpenWrittenImage(
        [blocks](std::uint32_t block, std::uint8_t* data) { return blocks->Read(block, data); });
    VerifyWrittenFiles(
        files_, items, *disc, [this](Event event) { Post(std::move(event)); },
        [this] { return abort_.load(); });
    DrainBurnMessages(device.Address());
}

bool BurnEngine::StartErase(BurnDevice& device, bool quick)
{
    if (!device.IsUsable() || device.Media().MediaType == media::None ||
        !device.Media().Rewritable) {
        return false;
    }
    return StartJob(device, [this, &device, quick] { RunErase(device, quick); });
}

void BurnEngine::RunErase(BurnDevice& device, bool quick)
{
    Post([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Started, 0); });
    DrainBurnMessages(device.Address());
    const bool erased = device.Overwritable() ? ZeroFill(device, quick) : Blank(device, quick);
    burn_drive_re_assess(device.Drive(), 0);
    device.Refresh();
    if (erased) {
        Post([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Done, 100); });
        return;
    }
    DeviceError fault = DrainBurnMessages(device.Address());
    if (fault.Text.empty()) {
        Post([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Failed, 0); });
    } else {
        Post([fault](DiscEvents& l) { l.EraseDeviceError(fault); });
    }
}

// An overwritable disc (an image file, DVD+RW, DVD-RAM, BD-RE) is blank once its volume
// descriptors are gone: the quick erase overwrites the first 64 KiB with zeros, the full one
// the whole image the disc holds.
bool BurnEngine::ZeroFill(BurnDevice& device, bool quick)
{
    constexpr int Run = 32;
    burn_drive* drive = device.Drive();
    std::vector<char> zeros(Run * Block, 0);
    std::int64_t blocks = Run;
    if (!quick) {
        // The volume's size from its primary descriptor (block 16, both-endian at byte 80).
        std::vector<char> descriptor(Block);
        off_t got = 0;
        if (burn_read_data(drive, 16 * Block, descriptor.data(), Block, &got, 2) == 1 &&
            std::memcmp(descriptor.data() + 1, "CD001", 5) == 0) {
            const auto* size = reinterpret_cast<const unsigned char*>(descriptor.data() + 80);
            blocks = std::max<std::int64_t>(blocks, size[0] | (size[1] << 8) | (size[2] << 16) |
                                                        (static_cast<std::int64_t>(size[3]) << 24));
        }
    }
    for (std::int64_t done = 0; done < blocks; done += Run) {
        const std::int64_t count = std::min<std::int64_t>(Run, blocks - done);
        const bool last = done + count >= blocks;
        if (burn_random_access_write(drive, static_cast<off_t>(done) * Block, zeros.data(),
                                     static_cast<off_t>(count) * Block, last ? 1 : 0) != 1) {
            return false;
        }
        const int percent = static_cast<int>(100 * (done + count) / blocks);
        Post([percent](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Progress, percent); });
    }
    return true;
}

bool BurnEngine::Blank(BurnDevice& device, bool quick)
{
    burn_drive* drive = device.Drive();
    if (!burn_disc_erasable(drive)) {
        return false;
    }
    burn_disc_erase(drive, quick ? 1 : 0);
    while (burn_drive_get_status(drive, nullptr) == BURN_DRIVE_SPAWNING) {
        Pause(50);
    }
    burn_progress progress{};
    int shown = -1;
    while (burn_drive_get_status(drive, &progress) != BURN_DRIVE_IDLE) {
        const int percent =
            progress.sectors > 0 ? static_cast<int>(100.0 * progress.sector / progress.sectors) : 0;
        if (percent != shown) {
            shown = percent;
            Post([percent](DiscEvents& l) {
                l.EraseStatusChanged(EraseStatus::Progress, std::clamp(percent, 0, 100));
            });
        }
        Pause(200);
    }
    return burn_drive_wrote_well(drive) == 1;
}

}  // namespace

std::unique_ptr<DiscEngine> CreateSystemDiscEngine(FileSystem& fileSystem,
                                                   const SystemDiscOptions& options)
{
    return std::make_unique<BurnEngine>(fileSystem, options);
}

}  // namespace kestrel

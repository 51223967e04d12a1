#include "disc/imapi2/Imapi2Engine.h"

#include <shlwapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <stdexcept>

#include "disc/VerifyImage.h"
#include "disc/imapi2/Imapi2.h"
#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

using com::BoolArgument;
using com::Dispatch;
using com::LongArgument;
using com::ObjectArgument;
using com::StringArgument;
using com::UnknownArgument;

constexpr UINT RunQueuedMessage = WM_APP + 1;
constexpr UINT RunNowMessage = WM_APP + 2;
constexpr const wchar_t* QueueWindowClass = L"KestrelDiscEvents";
constexpr const wchar_t* ClientName = L"Kestrel";
// A code of our own for the "disc" of an image file, away from the codes in disc/DiscEngine.h.
constexpr int ImageFileMedia = 200;
// IMAPI's kinds of disc without a code in disc/DiscEngine.h get 100 + their IMAPI number.
constexpr int OtherMediaBase = 100;
// IMAPI_SECTORS_PER_SECOND_AT_1X_*: the base speeds in IMAPI's unit, sectors per second.
constexpr double CdBaseSpeed = 75;
constexpr double DvdBaseSpeed = 680;
constexpr double BdBaseSpeed = 2195;
constexpr double HdDvdBaseSpeed = 4568;

int MediaCodeOf(long type)
{
    switch (type) {
        case imapi2::mediatype::Unknown:
            return media::None;
        case imapi2::mediatype::CdRw:
            return media::CdRw;
        case imapi2::mediatype::DvdPlusRw:
            return media::DvdPlusRw;
        case imapi2::mediatype::DvdDashRw:
            return media::DvdMinusRw;
        case imapi2::mediatype::DvdRam:
            return media::DvdRam;
        case imapi2::mediatype::BdRe:
            return media::BdRe;
        default:
            return OtherMediaBase + static_cast<int>(type);
    }
}

bool IsRewritable(long type)
{
    static const std::set<long> rewritable{
        imapi2::mediatype::CdRw,      imapi2::mediatype::DvdPlusRw,
        imapi2::mediatype::DvdDashRw, imapi2::mediatype::DvdRam,
        imapi2::mediatype::BdRe,      imapi2::mediatype::DvdPlusRwDualLayer,
        imapi2::mediatype::HdDvdRam};
    return rewritable.contains(type);
}

double BaseSpeedOf(long type)
{
    if (type >= imapi2::mediatype::CdRom && type <= imapi2::mediatype::CdRw) {
        return CdBaseSpeed;
    }
    if (type >= imapi2::mediatype::BdRom && type <= imapi2::mediatype::BdRe) {
        return BdBaseSpeed;
    }
    if (type >= imapi2::mediatype::HdDvdRom && type <= imapi2::mediatype::HdDvdRam) {
        return HdDvdBaseSpeed;
    }
    return DvdBaseSpeed;
}

std::string Trimmed(const std::wstring& text)
{
    std::string narrow = WideToUtf8(text);
    while (!narrow.empty() && narrow.back() == ' ') {
        narrow.pop_back();
    }
    return narrow;
}

// A recorder of this thread's own, opened by its unique id.
Dispatch OpenRecorder(const std::string& id, HRESULT* result)
{
    Dispatch recorder = Dispatch::Create(imapi2::MsftDiscRecorder2, result);
    if (recorder) {
        *result = recorder.Call(L"InitializeDiscRecorder", {StringArgument(Utf8ToWide(id))});
    }
    return SUCCEEDED(*result) ? recorder : Dispatch();
}

// A data format object bound to the recorder.
Dispatch DataFormatFor(const Dispatch& recorder, HRESULT* result)
{
    Dispatch format = Dispatch::Create(imapi2::MsftDiscFormat2Data, result);
    if (format) {
        *result = format.Put(L"Recorder", ObjectArgument(recorder.get()));
    }
    if (SUCCEEDED(*result)) {
        format.Put(L"ClientName", StringArgument(ClientName));
    }
    return SUCCEEDED(*result) ? format : Dispatch();
}

WriteError DeviceFailure(HRESULT result, const std::string& device)
{
    WriteError error;
    error.Text = com::ResultText(result);
    error.Kind = writeerror::Device;
    error.Device.Code = static_cast<int>(result);
    error.Device.Text = error.Text;
    error.Device.Detail1 = device;
    error.SystemCode = static_cast<int>(result);
    return error;
}

WriteError FileFailure(int kind, HRESULT result, const std::string& path)
{
    WriteError error;
    error.Text = com::ResultText(result);
    error.Kind = kind;
    error.File = FileError{static_cast<int>(result), error.Text, path};
    error.SystemCode = static_cast<int>(result);
    return error;
}

// --- the drives ----------------------------------------------------------------------------

class RecorderDevice final : public Imapi2Device {
public:
    RecorderDevice(Imapi2Engine& engine, std::string id, Dispatch recorder)
        : engine_(engine), id_(std::move(id)), recorder_(std::move(recorder))
    {
        name_ = Trimmed(recorder_.GetString(L"VendorId").value_or(L"")) + " " +
                Trimmed(recorder_.GetString(L"ProductId").value_or(L""));
        const std::vector<std::wstring> volumes = recorder_.GetStrings(L"VolumePathNames");
        if (!volumes.empty()) {
            name_ += " (" + WideToUtf8(volumes.front()).substr(0, 2) + ")";
        }
        HRESULT result = S_OK;
        const Dispatch format = DataFormatFor(recorder_, &result);
        usable_ =
            format && format.GetBool(L"IsRecorderSupported", {ObjectArgument(recorder_.get())})
                          .value_or(false);
        profiles_ = recorder_.GetLongs(L"SupportedProfiles");
    }

    bool IsImageFile() const override { return false; }
    std::string Target() const override { return id_; }

    std::string Name() const override { return name_; }
    bool IsUsable() const override { return usable_; }

    bool Supports(int capability) const override
    {
        auto has = [this](std::initializer_list<long> profiles) {
            return std::any_of(profiles.begin(), profiles.end(), [this](long profile) {
                return std::find(profiles_.begin(), profiles_.end(), profile) != profiles_.end();
            });
        };
        switch (capability) {
            case capability::EraseCdRw:
                return has({imapi2::profile::CdRewritable});
            case capability::EraseDvdMinusRw:
                return has(
                    {imapi2::profile::DvdDashRewritable, imapi2::profile::DvdDashRwSequential});
            case capability::EraseDvdPlusRw:
                return has({imapi2::profile::DvdPlusRw, imapi2::profile::DvdPlusRwDualLayer});
            case capability::EraseDvdRam:
                return has({imapi2::profile::DvdRam});
            case capability::EraseBdRe:
                return has({imapi2::profile::BdRewritable});
            // IMAPI2 keeps buffer-underrun protection on for every drive that has it.
            case capability::BufferProtection:
                return usable_;
            default:
                return false;
        }
    }

    std::vector<int> WriteSpeeds() const override
    {
        if (busy) {
            return speeds_;
        }
        HRESULT result = S_OK;
        const Dispatch format = DataFormatFor(recorder_, &result);
        std::vector<int> speeds;
        for (long speed : format ? format.GetLongs(L"SupportedWriteSpeeds") : std::vector<long>()) {
            speeds.push_back(static_cast<int>(speed));
        }
        std::sort(speeds.rbegin(), speeds.rend());
        speeds.erase(std::unique(speeds.begin(), speeds.end()), speeds.end());
        speeds_ = speeds;
        return speeds;
    }

    double SpeedMultiple(int speed) const override { return speed / BaseSpeedOf(mediaType_); }
    // IMAPI2 erases at the drive's own speed.
    int SpeedValue() const override { return 0; }

    bool MediaPresent(bool refresh) override
    {
        if (refresh || !known_) {
            Refresh();
        }
        return media_.MediaType != media::None;
    }

    MediaInfo Media() const override { return media_; }

    std::int64_t FreeBlocks(bool refresh) override
    {
        if (refresh || !known_) {
            Refresh();
        }
        return freeBlocks_;
    }

    bool Eject() override { return !busy && SUCCEEDED(recorder_.Call(L"EjectMedia")); }
    bool CloseTray() override { return !busy && SUCCEEDED(recorder_.Call(L"CloseTray")); }

    bool Erase(bool quick, int /*speed*/) override
    {
        if (busy || engine_.Working()) {
            return false;
        }
        busy = true;
        const std::string id = id_;
        Imapi2Engine& engine = engine_;
        const bool started = engine_.StartWork([&engine, this, id, quick] {
            RunErase(engine, id, quick);
            busy = false;
        });
        if (!started) {
            busy = false;
        }
        return started;
    }

private:
    // On the worker thread.
    static void RunErase(Imapi2Engine& engine, const std::string& id, bool quick)
    {
        const com::ComThread com(COINIT_MULTITHREADED);
        HRESULT result = S_OK;
        const Dispatch recorder = OpenRecorder(id, &result);
        Dispatch erase;
        if (recorder) {
            erase = Dispatch::Create(imapi2::MsftDiscFormat2Erase, &result);
        }
        if (erase) {
            result = erase.Put(L"Recorder", ObjectArgument(recorder.get()));
        }
        if (SUCCEEDED(result)) {
            erase.Put(L"ClientName", StringArgument(ClientName));
            result = erase.Put(L"FullErase", BoolArgument(!quick));
        }
        if (FAILED(result)) {
            ReportEraseFault(engine, result);
            return;
        }
        engine.Queue().Post([&engine] {
            engine.Raise([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Started, 0); });
        });
        const com::EventConnection events(
            erase, imapi2::DDiscFormat2EraseEvents, [&engine](const std::vector<VARIANT>& args) {
                if (args.size() < 3) {
                    return;
                }
                VARIANT elapsed = args[1];
                VARIANT total = args[2];
                if (FAILED(VariantChangeType(&elapsed, &elapsed, 0, VT_I4)) ||
                    FAILED(VariantChangeType(&total, &total, 0, VT_I4)) || total.lVal <= 0) {
                    return;
                }
                const int percent =
                    static_cast<int>(std::min<long>(99, elapsed.lVal * 100 / total.lVal));
                engine.Queue().Post([&engine, percent] {
                    engine.Raise([percent](DiscEvents& l) {
                        l.EraseStatusChanged(EraseStatus::Progress, percent);
                    });
                });
            });
        result = erase.Call(L"EraseMedia");
        if (FAILED(result)) {
            ReportEraseFault(engine, result);
            return;
        }
        engine.Queue().Post([&engine] {
            engine.Raise([](DiscEvents& l) { l.EraseStatusChanged(EraseStatus::Done, 100); });
        });
    }

    static void ReportEraseFault(Imapi2Engine& engine, HRESULT result)
    {
        const DeviceError fault{static_cast<int>(result), com::ResultText(result), "", ""};
        engine.Queue().Post([&engine, fault] {
            engine.Raise([&fault](DiscEvents& l) { l.EraseDeviceError(fault); });
        });
    }

    void Refresh()
    {
        if (busy) {
            return;
        }
        known_ = true;
        media_ = MediaInfo{};
        freeBlocks_ = 0;
        mediaType_ = imapi2::mediatype::Unknown;
        HRESULT result = S_OK;
        const Dispatch format = DataFormatFor(recorder_, &result);
        if (!format) {
            return;
        }
        const std::optional<long> type = format.GetLong(L"CurrentPhysicalMediaType");
        if (!type || *type == imapi2::mediatype::Unknown) {
            return;
        }
        mediaType_ = *type;
        const bool supported =
            format.GetBool(L"IsCurrentMediaSupported", {ObjectArgument(recorder_.get())})
                .value_or(false);
        freeBlocks_ = supported ? format.GetLong(L"FreeSectorsOnMedia").value_or(0) : 0;
        media_ = MediaInfo{supported && freeBlocks_ > 0, MediaCodeOf(*type), IsRewritable(*type)};
    }

    Imapi2Engine& engine_;
    std::string id_;
    Dispatch recorder_;
    std::string name_;
    bool usable_ = false;
    std::vector<long> profiles_;
    bool known_ = false;
    MediaInfo media_;
    long mediaType_ = imapi2::mediatype::Unknown;
    std::int64_t freeBlocks_ = 0;
    mutable std::vector<int> speeds_;
};

// An image file written in place of a disc: always there, never erased.
class ImageFileDevice final : public Imapi2Device {
public:
    explicit ImageFileDevice(std::string path) : path_(std::move(path)) {}

    bool IsImageFile() const override { return true; }
    std::string Target() const override { return path_; }
    std::string Name() const override { return path_; }
    bool IsUsable() const override { return true; }
    bool Supports(int /*capability*/) const override { return false; }
    std::vector<int> WriteSpeeds() const override { return {}; }
    double SpeedMultiple(int speed) const override { return speed / DvdBaseSpeed; }
    int SpeedValue() const override { return 0; }
    bool MediaPresent(bool /*refresh*/) override { return true; }
    MediaInfo Media() const override { return MediaInfo{true, ImageFileMedia, false}; }
    // The room on the file's disk.
    std::int64_t FreeBlocks(bool /*refresh*/) override
    {
        std::wstring folder = Utf8ToWide(path_);
        folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                                 nullptr)) {
            return 0;
        }
        return static_cast<std::int64_t>(available.QuadPart / imapi2::SectorSize);
    }
    bool Eject() override { return true; }
    bool CloseTray() override { return true; }
    bool Erase(bool /*quick*/, int /*speed*/) override { return false; }

private:
    std::string path_;
};

// A written disc read back through the volume the system mounted it as ("E:\\"); without one,
// nothing can be compared.
class VolumeFiles final : public WrittenFiles {
public:
    VolumeFiles(FileSystem& files, std::string volume) : files_(files), volume_(std::move(volume))
    {
    }
    std::unique_ptr<InputFile> Open(const std::string& imagePath) override
    {
        Result<std::unique_ptr<InputFile>> file =
            files_.OpenInputFile(volume_ + imagePath.substr(1));
        return file ? std::move(*file) : nullptr;
    }
    bool Reachable() const override { return !volume_.empty(); }

private:
    FileSystem& files_;
    std::string volume_;
};

}  // namespace

// --- the event queue -------------------------------------------------------------------------

EventQueue::~EventQueue()
{
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

bool EventQueue::Open()
{
    if (window_ != nullptr) {
        return true;
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = QueueWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    window_ = CreateWindowExW(0, QueueWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) {
        return false;
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

void EventQueue::Post(std::function<void()> call)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queued_.push_back(std::move(call));
    }
    PostMessageW(window_, RunQueuedMessage, 0, 0);
}

void EventQueue::Send(const std::function<void()>& call)
{
    // What was posted before runs first, so the events keep their order.
    SendMessageW(window_, RunNowMessage, 0,
                 reinterpret_cast<LPARAM>(const_cast<std::function<void()>*>(&call)));
}

void EventQueue::Pump()
{
    MSG message;
    while (window_ != nullptr && PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    RunQueued();
}

void EventQueue::RunQueued()
{
    for (;;) {
        std::function<void()> call;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (queued_.empty()) {
                return;
            }
            call = std::move(queued_.front());
            queued_.pop_front();
        }
        call();
    }
}

LRESULT CALLBACK EventQueue::WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    auto* queue = reinterpret_cast<EventQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (queue != nullptr && message == RunQueuedMessage) {
        queue->RunQueued();
        return 0;
    }
    if (queue != nullptr && message == RunNowMessage) {
        queue->RunQueued();
        (*reinterpret_cast<std::function<void()>*>(l))();
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

// --- the writer ------------------------------------------------------------------------------

class Imapi2Engine::ImageWriter final : public DataWriter {
public:
    explicit ImageWriter(Imapi2Engine& engine) : engine_(engine) {}

    WriterSettings& Settings() override { return settings_; }

    // ISO9660, alone or with Joliet and UDF, or UDF alone: Joliet needs ISO9660 beside it.
    bool CanWriteFileSystem(int fileSystemType) const override
    {
        static const std::set<int> possible{1, 3, 4, 5, 7};
        return possible.contains(fileSystemType);
    }

    DiscImage& Image() override { return engine_.image_; }
    int BlockSize() const override { return imapi2::SectorSize; }

    // The files in whole blocks, a block for each folder's entries, and the volume structures
    // of the file systems (an estimate: IMAPI2 tells the exact size only of a built image).
    double ImageSize() const override
    {
        constexpr double VolumeStructureBlocks = 64;
        double blocks = VolumeStructureBlocks;
        for (const ImageItem& item : engine_.image_.Items()) {
            blocks += item.IsFolder ? 1 : std::ceil(item.Size / imapi2::SectorSize);
        }
        return blocks * imapi2::SectorSize;
    }

    bool Write(DiscDevice& device) override
    {
        auto& drive = static_cast<Imapi2Device&>(device);
        if (drive.busy || engine_.Working()) {
            return false;
        }
        aborted_ = false;
        drive.busy = true;
        Job job{settings_, engine_.image_.Items(), drive.Target(), drive.IsImageFile()};
        const bool started = engine_.StartWork([this, job, &drive] {
            Run(job);
            drive.busy = false;
        });
        if (!started) {
            drive.busy = false;
        }
        return started;
    }

    void Abort() override { aborted_ = true; }

private:
    struct Job {
        WriterSettings settings;
        std::vector<ImageItem> items;
        std::string target;
        bool imageFile = false;
    };

    // --- on the worker thread ---

    void Status(int percent, WriteStatus status)
    {
        Imapi2Engine& engine = engine_;
        engine.Queue().Post([&engine, percent, status] {
            engine.Raise([=](DiscEvents& l) { l.StatusChanged(percent, status); });
        });
    }

    void Fail(const WriteError& error)
    {
        Imapi2Engine& engine = engine_;
        engine.Queue().Post([&engine, error] {
            engine.Raise([&error](DiscEvents& l) { l.WriteFailed(error); });
            engine.Raise([](DiscEvents& l) { l.StatusChanged(0, WriteStatus::Failed); });
        });
    }

    // Asks the listeners whether to go on without a source that cannot be read.
    bool GoOnWithout(const FileError& warning)
    {
        bool continueWrite = !engine_.Closing();
        if (continueWrite) {
            Imapi2Engine& engine = engine_;
            engine.Queue().Send([&engine, &warning, &continueWrite] {
                engine.Raise([&](DiscEvents& l) { l.FileWarning(warning, continueWrite); });
            });
        }
        return continueWrite;
    }

    bool Stopped() const { return aborted_ || engine_.Closing(); }

    void Run(const Job& job)
    {
        const com::ComThread com(COINIT_MULTITHREADED);
        Status(0, WriteStatus::PreparingImage);
        HRESULT result = S_OK;
        Dispatch recorder;
        if (!job.imageFile) {
            recorder = OpenRecorder(job.target, &result);
            if (!recorder) {
                Fail(DeviceFailure(result, job.target));
                return;
            }
        }
        IStream* image = nullptr;
        std::optional<WriteError> failure = BuildImage(job, recorder, &image);
        if (Stopped()) {
            failure.reset();
        }
        if (failure || image == nullptr) {
            if (image != nullptr) {
                image->Release();
            }
            failure ? Fail(*failure) : Status(0, WriteStatus::Cancelled);
            return;
        }
        Status(0, WriteStatus::WritingLeadIn);
        if (job.imageFile) {
            failure = WriteFile(*image, job.target);
        } else if (!job.settings.TestWrite) {
            failure = WriteDisc(*image, recorder, job);
        }
        image->Release();
        if (Stopped()) {
            Status(0, WriteStatus::Cancelled);
            return;
        }
        if (failure) {
            Fail(*failure);
            return;
        }
        if (job.settings.AutoVerify && !job.settings.TestWrite) {
            Verify(job, recorder);
        }
        // An abort during the verification stops it; the data is on the disc by then.
        const bool stopped = Stopped();
        Status(stopped ? 0 : 100, stopped ? WriteStatus::Cancelled : WriteStatus::Completed);
    }

    // The IMAPI2 file-system image of the job's items, as one stream.
    std::optional<WriteError> BuildImage(const Job& job, const Dispatch& recorder, IStream** stream)
    {
        HRESULT result = S_OK;
        const Dispatch fileSystem = Dispatch::Create(imapi2::MsftFileSystemImage, &result);
        if (!fileSystem) {
            return FileFailure(writeerror::System, result, "");
        }
        if (recorder) {
            fileSystem.Call(L"ChooseImageDefaults", {ObjectArgument(recorder.get())});
        }
        result = fileSystem.Put(L"FileSystemsToCreate", LongArgument(job.settings.FileSystemType));
        if (SUCCEEDED(result) && !job.settings.VolumeLabel.empty()) {
            result =
                fileSystem.Put(L"VolumeName", StringArgument(Utf8ToWide(job.settings.VolumeLabel)));
        }
        const Dispatch root = fileSystem.GetObject(L"Root");
        if (FAILED(result) || !root) {
            return FileFailure(writeerror::System, FAILED(result) ? result : E_FAIL, "");
        }
        long counter = 0;
        for (const ImageItem& item : job.items) {
            if (Stopped()) {
                return std::nullopt;
            }
            const std::wstring inImage = Utf8ToWide(item.ImagePath.substr(1));
            if (item.IsFolder) {
                result = root.Call(L"AddDirectory", {StringArgument(inImage)});
                if (FAILED(result)) {
                    return FileFailure(writeerror::OutputFile, result, item.ImagePath);
                }
                continue;
            }
            IStream* source = nullptr;
            result = SHCreateStreamOnFileEx(Utf8ToWide(item.SourcePath).c_str(),
                                            STGM_READ | STGM_SHARE_DENY_WRITE,
                                            FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &source);
            if (FAILED(result)) {
                const FileError warning{static_cast<int>(result), com::ResultText(result),
                                        item.SourcePath};
                if (!GoOnWithout(warning)) {
                    aborted_ = true;
                    return std::nullopt;
                }
                continue;
            }
            const std::string path = item.ImagePath;
            const long number = counter++;
            Imapi2Engine& engine = engine_;
            engine.Queue().Post([&engine, path, number] {
                engine.Raise([&](DiscEvents& l) { l.ReadingFile(1, number, path); });
            });
            result = root.Call(L"AddFile", {StringArgument(inImage), UnknownArgument(source)});
            source->Release();
            if (FAILED(result)) {
                return FileFailure(writeerror::SourceFile, result, item.SourcePath);
            }
        }
        const Dispatch built = fileSystem.GetObject(L"CreateResultImage");
        VARIANT imageStream;
        result = built ? built.Get(L"ImageStream", imageStream) : E_FAIL;
        if (SUCCEEDED(result) && imageStream.vt == VT_UNKNOWN && imageStream.punkVal != nullptr) {
            result =
                imageStream.punkVal->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream));
        } else if (SUCCEEDED(result)) {
            result = E_NOINTERFACE;
        }
        VariantClear(&imageStream);
        if (FAILED(result)) {
            return FileFailure(writeerror::System, result, "");
        }
        return std::nullopt;
    }

    // Copies the image into the file, through the program's file system.
    std::optional<WriteError> WriteFile(IStream& image, const std::string& path)
    {
        STATSTG facts{};
        image.Stat(&facts, STATFLAG_NONAME);
        const double total = static_cast<double>(facts.cbSize.QuadPart);
        Result<std::unique_ptr<OutputFile>> file = engine_.Files().CreateOutputFile(path);
        if (!file) {
            WriteError error = FileFailure(writeerror::OutputFile, 0, path);
            error.Text = file.error().Describe();
            error.File.Text = error.Text;
            error.File.Code = static_cast<int>(file.error().systemCode);
            return error;
        }
        std::vector<char> buffer(1 << 20);
        double written = 0;
        int shown = -1;
        for (;;) {
            if (Stopped()) {
                return std::nullopt;  // the file is never committed
            }
            ULONG read = 0;
            const HRESULT result =
                image.Read(buffer.data(), static_cast<ULONG>(buffer.size()), &read);
            if (FAILED(result)) {
                return FileFailure(writeerror::System, result, path);
            }
            if (read == 0) {
                break;
            }
            if (!(*file)->Write(buffer.data(), read)) {
                return WriteError{(*file)->Failure().Describe(),
                                  writeerror::OutputFile,
                                  {},
                                  FileError{static_cast<int>((*file)->Failure().systemCode),
                                            (*file)->Failure().Describe(), path},
                                  static_cast<int>((*file)->Failure().systemCode)};
            }
            written += read;
            const int percent = total > 0 ? static_cast<int>(written * 100 / total) : 100;
            if (percent != shown) {
                shown = percent;
                Status(percent, WriteStatus::Writing1);
            }
        }
        Status(100, WriteStatus::ClosingTrack);
        if (!(*file)->Commit()) {
            return WriteError{(*file)->Failure().Describe(),
                              writeerror::OutputFile,
                              {},
                              FileError{static_cast<int>((*file)->Failure().systemCode),
                                        (*file)->Failure().Describe(), path},
                              static_cast<int>((*file)->Failure().systemCode)};
        }
        return std::nullopt;
    }

    std::optional<WriteError> WriteDisc(IStream& image, const Dispatch& recorder, const Job& job)
    {
        HRESULT result = S_OK;
        const Dispatch format = DataFormatFor(recorder, &result);
        if (!format) {
            return DeviceFailure(result, job.target);
        }
        format.Put(L"ForceMediaToBeClosed", BoolArgument(job.settings.Finalize));
        format.Put(L"BufferUnderrunFreeDisabled", BoolArgument(!job.settings.BufferProtect));
        if (job.settings.WriteSpeed > 0) {
            format.Call(L"SetWriteSpeed",
                        {LongArgument(job.settings.WriteSpeed), BoolArgument(false)});
        }
        int shown = -1;
        const com::EventConnection events(
            format, imapi2::DDiscFormat2DataEvents,
            [this, &format, &shown](const std::vector<VARIANT>& args) {
                if (Stopped()) {
                    format.Call(L"CancelWrite");
                    return;
                }
                if (args.size() < 2 || args[1].vt != VT_DISPATCH || args[1].pdispVal == nullptr) {
                    return;
                }
                args[1].pdispVal->AddRef();
                const Dispatch progress(args[1].pdispVal);
                Progress(progress, shown);
            });
        result = format.Call(L"Write", {UnknownArgument(&image)});
        if (Stopped()) {
            return std::nullopt;
        }
        if (FAILED(result)) {
            return DeviceFailure(result, job.target);
        }
        return std::nullopt;
    }

    // One progress report of IMAPI2's write, as the stage and percentage of ours.
    void Progress(const Dispatch& progress, int& shown)
    {
        const long action = progress.GetLong(L"CurrentAction").value_or(-1);
        switch (action) {
            case imapi2::writeaction::WritingData: {
                const long start = progress.GetLong(L"StartLba").value_or(0);
                const long count = progress.GetLong(L"SectorCount").value_or(0);
                const long last = progress.GetLong(L"LastWrittenLba").value_or(start);
                const int percent =
                    count > 0 ? static_cast<int>(std::clamp<long long>(
                                    (static_cast<long long>(last) - start) * 100 / count, 0, 100))
                              : 0;
                if (percent != shown) {
                    shown = percent;
                    Status(percent, WriteStatus::Writing1);
                }
                break;
            }
            case imapi2::writeaction::Finalization:
                Status(100, WriteStatus::ClosingTrack);
                break;
            case imapi2::writeaction::Verifying:
                Status(100, WriteStatus::UpdatingVolume);
                break;
            case imapi2::writeaction::ValidatingMedia:
            case imapi2::writeaction::FormattingMedia:
            case imapi2::writeaction::InitializingHardware:
            case imapi2::writeaction::CalibratingPower:
                Status(0, WriteStatus::WritingLeadIn);
                break;
            default:
                break;
        }
    }

    // Reads every file back (from the drive's letter) and compares it with its source.
    void Verify(const Job& job, const Dispatch& recorder)
    {
        std::string volume;
        if (recorder) {
            const std::vector<std::wstring> volumes = recorder.GetStrings(L"VolumePathNames");
            volume = volumes.empty() ? "" : WideToUtf8(volumes.front());
        }
        VolumeFiles disc(engine_.Files(), volume);
        Imapi2Engine& engine = engine_;
        VerifyWrittenFiles(
            engine_.Files(), job.items, disc,
            [&engine](std::function<void(DiscEvents&)> event) {
                engine.Queue().Post([&engine, event] { engine.Raise(event); });
            },
            [this] { return Stopped(); });
    }

    Imapi2Engine& engine_;
    WriterSettings settings_;
    std::atomic<bool> aborted_{false};
};

// --- the engine ------------------------------------------------------------------------------

Imapi2Engine::Imapi2Engine(FileSystem& files, std::vector<std::string> imageFiles)
    : files_(files),
      imageFiles_(std::move(imageFiles)),
      image_(files, [this](const std::function<void(DiscEvents&)>& event) { RaiseEvent(event); }),
      writer_(std::make_unique<ImageWriter>(*this))
{
}

Imapi2Engine::~Imapi2Engine()
{
    closing_ = true;
    // The worker may be handing an event over: the queue keeps running until it has ended.
    while (working_) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool Imapi2Engine::Initialize()
{
    if (initialized_) {
        return true;
    }
    com_ = std::make_unique<com::ComThread>(COINIT_APARTMENTTHREADED);
    HRESULT result = S_OK;
    master_ = Dispatch::Create(imapi2::MsftDiscMaster2, &result);
    if (!master_ || !queue_.Open()) {
        master_ = Dispatch();
        com_.reset();
        return false;
    }
    const long count = master_.GetBool(L"IsSupportedEnvironment").value_or(false)
                           ? master_.GetLong(L"Count").value_or(0)
                           : 0;
    for (long index = 0; index < count; ++index) {
        const std::optional<std::wstring> id = master_.GetString(L"Item", {LongArgument(index)});
        if (!id) {
            continue;
        }
        Dispatch recorder = OpenRecorder(WideToUtf8(*id), &result);
        if (recorder) {
            devices_.push_back(
                std::make_unique<RecorderDevice>(*this, WideToUtf8(*id), std::move(recorder)));
        }
    }
    for (const std::string& file : imageFiles_) {
        devices_.push_back(std::make_unique<ImageFileDevice>(file));
    }
    initialized_ = true;
    return true;
}

DiscDevice& Imapi2Engine::DeviceAt(int index)
{
    return *devices_.at(static_cast<std::size_t>(index));
}

DataWriter& Imapi2Engine::Writer()
{
    return *writer_;
}

void Imapi2Engine::Raise(const std::function<void(DiscEvents&)>& event)
{
    if (!closing_) {
        RaiseEvent(event);
    }
}

bool Imapi2Engine::StartWork(std::function<void()> work)
{
    if (!initialized_ || working_) {
        return false;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    working_ = true;
    worker_ = std::thread([this, work = std::move(work)] {
        work();
        working_ = false;
    });
    return true;
}

}  // namespace kestrel

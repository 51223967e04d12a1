// kestrel disc: lists the drives, writes files and folders to a disc (or an image file offered
// as a drive) with the window's checks and verification, and erases re-writable discs.

#include "cli/DiscCommand.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>

#include "app/Policies.h"
#include "cli/ConsoleProgress.h"
#include "cli/HostPath.h"
#include "disc/DiscFormats.h"
#include "disc/DiscTexts.h"
#include "disc/SystemDiscEngine.h"
#include "platform/FileSystem.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

constexpr const char* Usage =
    "usage: kestrel disc drives [--image PATH]...\n"
    "       kestrel disc write FILE... --drive D [--verify] [--label L] [--test]\n"
    "                              [--image PATH]...\n"
    "       kestrel disc erase --drive D [--quick] [--image PATH]...\n"
    "  FILE    a file or a folder (written with everything inside it) at the disc's root\n"
    "  D       a drive as `drives` lists it: its number, its name or its device path\n"
    "  --image an image file offered as a drive beside the real ones (as are the files named\n"
    "          by KESTREL_DISC_IMAGES); it is created when missing\n"
    "  --verify reads every file back after the write and compares it with its source\n"
    "  --test  goes through the write without writing\n"
    "  --label the volume label, at most 32 characters (default \"Outlook Data Backup CD\")\n"
    "exit status: 0 done, 1 the write, its verification or the erase failed or was cancelled,\n"
    "             2 usage, or writing discs turned off by the administrator\n";

constexpr std::size_t MaxLabelLength = 32;

std::atomic<int> stopSignal{0};

extern "C" void NoteStopSignal(int signal)
{
    stopSignal = signal;
}

// SIGINT and SIGTERM ask a running write to stop, for as long as this lives.
class StopSignals {
public:
    StopSignals()
    {
        stopSignal = 0;
        interrupt_ = std::signal(SIGINT, NoteStopSignal);
        terminate_ = std::signal(SIGTERM, NoteStopSignal);
    }
    ~StopSignals()
    {
        std::signal(SIGINT, interrupt_);
        std::signal(SIGTERM, terminate_);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    void (*interrupt_)(int);
    void (*terminate_)(int);
};

int Refuse(const std::string& why)
{
    std::fprintf(stderr, "kestrel disc: %s\n", why.c_str());
    return 2;
}

int Fail(const std::string& why)
{
    std::fprintf(stderr, "kestrel disc: %s\n", why.c_str());
    return 1;
}

// A text the engine or the window uses with CR LF, as one console line per line.
std::string ConsoleText(std::string text)
{
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n")) {
        text.replace(at, 2, "\n");
    }
    return text;
}

struct DiscArguments {
    std::string action;
    std::vector<std::string> files;
    std::string drive;
    bool verify = false;
    bool test = false;
    bool quick = false;
    std::string label = texts::DefaultVolumeLabel;
    std::vector<std::string> images;
};

// Empty when the arguments can be used, else why not.
std::string Parse(const std::vector<std::string>& arguments, DiscArguments& parsed)
{
    if (arguments.empty()) {
        return "no action given";
    }
    parsed.action = arguments[0];
    if (parsed.action != "drives" && parsed.action != "write" && parsed.action != "erase") {
        return "unknown action \"" + parsed.action + "\"";
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if ((argument == "--drive" || argument == "--label" || argument == "--image") &&
            !hasValue) {
            return argument + " needs a value";
        }
        if (argument == "--drive") {
            parsed.drive = arguments[++i];
        } else if (argument == "--label") {
            parsed.label = arguments[++i];
        } else if (argument == "--image") {
            parsed.images.push_back(HostPath(arguments[++i]));
        } else if (argument == "--verify" && parsed.action == "write") {
            parsed.verify = true;
        } else if (argument == "--test" && parsed.action == "write") {
            parsed.test = true;
        } else if (argument == "--quick" && parsed.action == "erase") {
            parsed.quick = true;
        } else if (argument.starts_with("--") || parsed.action != "write") {
            return "unknown argument \"" + argument + "\"";
        } else {
            parsed.files.push_back(argument);
        }
    }
    if (parsed.action != "drives" && parsed.drive.empty()) {
        return "--drive is missing";
    }
    if (parsed.action == "write" && parsed.files.empty()) {
        return "no file to write";
    }
    const auto characters = std::count_if(parsed.label.begin(), parsed.label.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    if (static_cast<std::size_t>(characters) > MaxLabelLength) {
        return "the label is longer than 32 characters";
    }
    return "";
}

DiscDevice* FindDrive(DiscEngine& engine, const std::string& wanted)
{
    const std::string path = HostPath(wanted);
    for (int i = 0; i < engine.DeviceCount(); ++i) {
        DiscDevice& device = engine.DeviceAt(i);
        const std::string name = device.Name();
        if (wanted == std::to_string(i) || wanted == name || path == name ||
            name.starts_with(wanted + " (")) {
            return &device;
        }
    }
    return nullptr;
}

std::string YesNo(bool value)
{
    return value ? "yes" : "no";
}

int ListDrives(DiscEngine& engine, DataWriter& writer)
{
    if (engine.DeviceCount() == 0) {
        std::cout << "no drives\n";
    }
    for (int i = 0; i < engine.DeviceCount(); ++i) {
        DiscDevice& device = engine.DeviceAt(i);
        const bool present = device.MediaPresent(true);
        const MediaInfo media = device.Media();
        std::cout << i << ": " << device.Name() << (device.IsUsable() ? "" : " (not usable)")
                  << "\n   media: "
                  << (present ? "type " + std::to_string(media.MediaType) : "none") << ", writable "
                  << YesNo(media.Writable) << ", rewritable " << YesNo(media.Rewritable)
                  << "\n   free: " << device.FreeBlocks(false) << " blocks of "
                  << writer.BlockSize() << " bytes\n   speeds:";
        const std::vector<int> speeds = device.WriteSpeeds();
        if (speeds.empty()) {
            std::cout << ' ' << texts::MaxSpeed;
        }
        for (int speed : speeds) {
            std::cout << ' ' << FormatSpeedMultiple(device.SpeedMultiple(speed));
        }
        std::cout << "\n   erases:";
        for (const auto& [code, name] : {std::pair{capability::EraseCdRw, "CD-RW"},
                                         {capability::EraseDvdMinusRw, "DVD-RW"},
                                         {capability::EraseDvdPlusRw, "DVD+RW"},
                                         {capability::EraseDvdRam, "DVD-RAM/image file"},
                                         {capability::EraseBdRe, "BD-RE"}}) {
            if (device.Supports(code)) {
                std::cout << ' ' << name;
            }
        }
        std::cout << '\n';
    }
    return 0;
}

std::string VerifyWords(VerifyResult result)
{
    switch (result) {
        case VerifyResult::SourceUnreadable:
            return "the source could not be read";
        case VerifyResult::DiscUnreadable:
            return "the disc's copy could not be read";
        case VerifyResult::Different:
            return "the contents differ";
        case VerifyResult::SizeDifferent:
            return "the sizes differ";
        case VerifyResult::NotCompared:
            return "not compared";
        case VerifyResult::Matched:
            break;
    }
    return "matched";
}

// Follows a write or an erase on the console and remembers how it ended.
class ConsoleListener final : public DiscEvents {
public:
    explicit ConsoleListener(ConsoleProgress& progress) : progress_(progress) {}

    bool finished = false;
    bool succeeded = false;
    bool fileLeftOut = false;
    int verifyTotal = 0;
    int verifyMatched = 0;
    bool verified = false;

    void StatusChanged(int percent, WriteStatus status) override
    {
        switch (status) {
            case WriteStatus::PreparingImage:
                progress_.SetStatus("Preparing Image....");
                break;
            case WriteStatus::Writing1:
            case WriteStatus::Writing2:
            case WriteStatus::Writing3:
                progress_.SetWritePercent(percent);
                break;
            case WriteStatus::ClosingTrack:
                progress_.SetStatus("Closing Track....");
                break;
            case WriteStatus::WritingLeadIn:
                progress_.SetStatus("Writing Lead-in....");
                break;
            case WriteStatus::WritingLeadOut:
                progress_.SetStatus("Writing Lead-out....");
                break;
            case WriteStatus::UpdatingVolume:
                progress_.SetStatus("Updating Volume....");
                break;
            case WriteStatus::Completed:
                End(texts::WriteCompleted, true);
                break;
            case WriteStatus::Cancelled:
                End(texts::WriteCancelledStatus, false);
                break;
            case WriteStatus::Failed:
                End(texts::WriteErrorStatus, false);
                break;
        }
    }
    void ReadingFile(int /*track*/, long /*counter*/, const std::string& text) override
    {
        progress_.SetFileText(text);
    }
    void FileWarning(const FileError& error, bool& continueWrite) override
    {
        continueWrite = true;
        fileLeftOut = true;
        progress_.SetStatus("File Warning(" + std::to_string(error.Code) + "):" + error.Path +
                            "\n" + error.Text + "\n(the file is left out)");
    }
    void WriteFailed(const WriteError& error) override
    {
        progress_.SetStatus(ConsoleText(ErrorText(error)));
    }
    void VerifyStarted(int count) override
    {
        progress_.SetStatus("Auto-Verify... " + std::to_string(count) + " new files.");
    }
    void VerifyItem(const ImageItem& item, VerifyResult result, int /*done*/,
                    int /*total*/) override
    {
        progress_.SetStatus("Auto-Verify... " + item.ImagePath + ": " + VerifyWords(result));
    }
    void VerifyDone(int total, int matched) override
    {
        verified = true;
        verifyTotal = total;
        verifyMatched = matched;
        progress_.SetStatus("Auto-Verify...Complete (" + std::to_string(matched) + " of " +
                            std::to_string(total) + " MATCHED)");
    }
    void EraseStatusChanged(EraseStatus status, int percent) override
    {
        switch (status) {
            case EraseStatus::Started:
                progress_.SetStatus(texts::ErasingStatus);
                break;
            case EraseStatus::Progress:
                progress_.SetWritePercent(percent);
                break;
            case EraseStatus::Done:
                End(texts::EraseCompleted, true);
                break;
            case EraseStatus::Failed:
                End(texts::EraseErrorStatus, false);
                break;
        }
    }
    void EraseDeviceError(const DeviceError& error) override
    {
        progress_.SetStatus("Device Error: (" + std::to_string(error.Code) + ")   " + error.Text +
                            "\n(" + error.Detail2 + ") " + error.Detail1);
        End("", false);
    }

private:
    void End(const std::string& text, bool success)
    {
        progress_.SetStatus(text);
        progress_.SetBusy(false);
        finished = true;
        succeeded = success;
    }

    ConsoleProgress& progress_;
};

// Hands the engine's events over until the listener has heard the end; a stop signal asks the
// write to stop (an erase cannot be stopped and runs to its end).
void WaitForEnd(DiscEngine& engine, ConsoleListener& listener, bool cancellable)
{
    bool asked = false;
    while (!listener.finished) {
        engine.DeliverEvents();
        if (cancellable && stopSignal != 0 && !asked) {
            asked = true;
            std::fputs((std::string(texts::AbortingWrite) + "\n").c_str(), stderr);
            engine.Writer().Abort();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string BaseName(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path.substr(path.find_last_of('/') + 1);
}

int Write(DiscEngine& engine, DiscDevice& drive, const DiscArguments& parsed, FileSystem& files,
          const ToolConsole& console)
{
    DataWriter& writer = engine.Writer();
    for (const std::string& argument : parsed.files) {
        const std::string source = HostPath(argument);
        const std::string imagePath = "\\" + BaseName(source);
        const bool added = files.FolderExists(source) ? writer.Image().AddFolder(source, imagePath)
                                                      : writer.Image().AddFile(source, imagePath);
        if (!added) {
            return Refuse("cannot add " + argument);
        }
    }
    drive.MediaPresent(true);
    const MediaInfo media = drive.Media();
    if (!media.Writable || media.MediaType == media::None) {
        return Fail(texts::InsertWritableMedia);
    }
    const double freeBytes = static_cast<double>(drive.FreeBlocks(true)) * writer.BlockSize();
    if (freeBytes < writer.ImageSize()) {
        return Fail(ConsoleText("Free Space on the loaded disc is " +
                                FormatMegabyteNumber(freeBytes) +
                                " MB!\r\nThis data image requires " +
                                FormatMegabyteNumber(writer.ImageSize()) + " MB of Free Space!"));
    }
    WriterSettings& settings = writer.Settings();
    settings.VolumeLabel = parsed.label;
    settings.AutoVerify = parsed.verify;
    settings.TestWrite = parsed.test;
    settings.FileSystemType = imagefs::Iso9660 | imagefs::Joliet;
    ConsoleProgress progress(std::cerr, console.errorIsTerminal);
    ConsoleListener listener(progress);
    engine.AddListener(listener);
    StopSignals signals;
    if (!writer.Write(drive)) {
        engine.RemoveListener(listener);
        return Fail(texts::WriteNotStarted);
    }
    WaitForEnd(engine, listener, true);
    engine.RemoveListener(listener);
    const bool verifiedAll = !parsed.verify || parsed.test ||
                             (listener.verified && listener.verifyMatched == listener.verifyTotal);
    return listener.succeeded && verifiedAll && !listener.fileLeftOut ? 0 : 1;
}

// Whether `inner` is `outer` or lies anywhere below it, by what the file system says each
// path reaches (another spelling or a link is no way around).
bool IsSameOrInside(FileSystem& files, const std::string& inner, const std::string& outer)
{
    const std::optional<FileIdentity> wanted = files.Identity(outer);
    if (!wanted) {
        return false;
    }
    for (std::string path = inner;;) {
        if (files.Identity(path) == wanted) {
            return true;
        }
        const std::string parent = ParentFolder(path);
        if (parent.empty() || parent == path) {
            return false;
        }
        path = parent;
    }
}

// Whether `source` adds the file `image` to the disc under any name: the source itself, or a
// file anywhere in a source folder, a hard link or a symbolic link to the image included (the
// write would read the image as it empties it). Each folder is walked once, so a link that
// leads back up ends the walk.
bool SourceReaches(FileSystem& files, const std::string& source, const FileIdentity& image,
                   std::vector<FileIdentity>& walked)
{
    const std::optional<FileIdentity> identity = files.Identity(source);
    if (!identity) {
        return false;
    }
    if (*identity == image) {
        return true;
    }
    if (!files.FolderExists(source) ||
        std::find(walked.begin(), walked.end(), *identity) != walked.end()) {
        return false;
    }
    walked.push_back(*identity);
    for (const std::string& name : files.FilesIn(source)) {
        if (files.Identity(JoinPath(source, name)) == image) {
            return true;
        }
    }
    for (const std::string& name : files.FoldersIn(source)) {
        if (SourceReaches(files, JoinPath(source, name), image, walked)) {
            return true;
        }
    }
    return false;
}

bool ImageIsRead(FileSystem& files, const std::string& image, const std::string& source)
{
    if (IsSameOrInside(files, image, source)) {
        return true;
    }
    const std::optional<FileIdentity> imageIdentity = files.Identity(image);
    std::vector<FileIdentity> walked;
    return imageIdentity && SourceReaches(files, source, *imageIdentity, walked);
}

// The image files the write may go to: the one --drive names, or every one offered when
// --drive names a drive by its number. Writing empties the image first, so an image that is
// also a source (or lies in a source folder) would be lost before it is read.
std::string ImageAmongSources(const DiscArguments& parsed, const std::vector<std::string>& images,
                              FileSystem& files)
{
    std::vector<std::string> targets;
    for (const std::string& image : images) {
        if (image == parsed.drive || image == HostPath(parsed.drive)) {
            targets.push_back(image);
        }
    }
    if (targets.empty()) {
        targets = images;
    }
    for (const std::string& image : targets) {
        for (const std::string& argument : parsed.files) {
            if (ImageIsRead(files, image, HostPath(argument))) {
                return "the image file " + image + " is also a source (" + argument +
                       "); nothing was written";
            }
        }
    }
    return {};
}

// The erase window's accepted pairs of drive capability and disc kind.
bool CanErase(DiscDevice& drive, int mediaType)
{
    const std::pair<int, int> accepted[] = {{capability::EraseCdRw, media::CdRw},
                                            {capability::EraseDvdMinusRw, media::DvdMinusRw},
                                            {capability::EraseDvdPlusRw, media::DvdPlusRw},
                                            {capability::EraseDvdRam, media::DvdRam},
                                            {capability::EraseBdRe, media::BdRe}};
    for (const auto& [code, type] : accepted) {
        if (drive.Supports(code) && type == mediaType) {
            return true;
        }
    }
    return false;
}

int Erase(DiscEngine& engine, DiscDevice& drive, bool quick, const ToolConsole& console)
{
    drive.MediaPresent(false);
    const MediaInfo media = drive.Media();
    if (media.MediaType == media::None) {
        return Fail(texts::NoMediaLoaded);
    }
    if (!media.Rewritable) {
        return Fail(texts::NotRewritable);
    }
    if (!CanErase(drive, media.MediaType)) {
        return Fail(texts::EraseFormatUnsupported);
    }
    ConsoleProgress progress(std::cerr, console.errorIsTerminal);
    ConsoleListener listener(progress);
    engine.AddListener(listener);
    if (!drive.Erase(quick, drive.SpeedValue())) {
        engine.RemoveListener(listener);
        return Fail(texts::EraseNotStarted);
    }
    WaitForEnd(engine, listener, false);
    engine.RemoveListener(listener);
    return listener.succeeded ? 0 : 1;
}

}  // namespace

int RunDiscCommand(const std::vector<std::string>& arguments, Platform& platform,
                   const ToolConsole& console)
{
    DiscArguments parsed;
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (const std::string why = Parse(arguments, parsed); !why.empty()) {
        std::fprintf(stderr, "kestrel disc: %s\n%s", why.c_str(), Usage);
        return 2;
    }
    if ((parsed.action == "write" || parsed.action == "erase") && platform.registry &&
        !ReadPolicies(*platform.registry, platform.system.get()).DiscAllowed()) {
        return Refuse(DiscTurnedOff);
    }
    SystemDiscOptions options = DiscOptionsFromEnvironment();
    options.imageFiles.insert(options.imageFiles.end(), parsed.images.begin(), parsed.images.end());
    if (parsed.action == "write") {
        if (const std::string clash =
                ImageAmongSources(parsed, options.imageFiles, *platform.fileSystem);
            !clash.empty()) {
            return Refuse(clash);
        }
    }
    std::unique_ptr<DiscEngine> engine = CreateSystemDiscEngine(*platform.fileSystem, options);
    if (!engine->Initialize()) {
        return Fail(texts::EngineCannotStart);
    }
    if (parsed.action == "drives") {
        return ListDrives(*engine, engine->Writer());
    }
    DiscDevice* drive = FindDrive(*engine, parsed.drive);
    if (drive == nullptr) {
        return Refuse("no drive \"" + parsed.drive + "\" (kestrel disc drives lists them)");
    }
    if (parsed.action == "erase") {
        return Erase(*engine, *drive, parsed.quick, console);
    }
    return Write(*engine, *drive, parsed, *platform.fileSystem, console);
}

}  // namespace kestrel

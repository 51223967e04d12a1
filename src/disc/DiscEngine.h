#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace kestrel {

// The disc-burning engine as the disc windows and the command-line tool see it: drives, one data
// writer with its image, and events. Backends (libburn and libisofs, IMAPI2) and the simulated
// engine implement it. Every event reaches the listeners on the thread that drives the windows;
// a backend that works on a thread of its own hands its events over to that thread.

// What a drive can do, asked with DiscDevice::Supports. A backend answers for the codes it
// knows and false for any other.
namespace capability {
inline constexpr int EraseCdRw = 17;
inline constexpr int EraseDvdMinusRw = 19;
inline constexpr int EraseDvdPlusRw = 22;
inline constexpr int EraseDvdRam = 23;
inline constexpr int EraseBdRe = 27;
inline constexpr int BufferProtection = 57;
}  // namespace capability

// The kind of disc in a drive; None when the drive is empty. Other kinds a backend knows get
// codes of their own, away from these.
namespace media {
inline constexpr int None = 0;
inline constexpr int DvdPlusRw = 2;
inline constexpr int DvdMinusRw = 4;
inline constexpr int DvdRam = 5;
inline constexpr int CdRw = 9;
inline constexpr int BdRe = 15;
}  // namespace media

// File systems an image carries, added up into one code (ISO9660 with Joliet is 3).
namespace imagefs {
inline constexpr int Iso9660 = 1;
inline constexpr int Joliet = 2;
inline constexpr int Udf = 4;
}  // namespace imagefs

enum class WriteMode { TrackAtOnce = 2, DiscAtOnce = 248 };

// The stages of a write, in the order a write passes them. Writing1 to Writing3 carry the
// percentage of the data written.
enum class WriteStatus {
    PreparingImage = 0,
    Writing1 = 1,
    Writing2 = 2,
    Writing3 = 3,
    ClosingTrack = 4,
    WritingLeadIn = 5,
    WritingLeadOut = 6,
    UpdatingVolume = 8,
    Completed = 9,
    Cancelled = 10,
    Failed = 11,
};

// How one file of a written disc compared with its source.
enum class VerifyResult {
    SourceUnreadable = 0,
    DiscUnreadable = 1,
    Different = 2,
    Matched = 3,
    NotCompared = 4,
    SizeDifferent = 5,
};

enum class EraseStatus { Started = 0, Progress = 1, Done = 2, Failed = 3 };

struct MediaInfo {
    bool Writable = false;
    int MediaType = media::None;
    bool Rewritable = false;
};

struct DeviceError {
    int Code = 0;
    std::string Text;
    std::string Detail1;
    std::string Detail2;
};

struct FileError {
    int Code = 0;
    std::string Text;
    std::string Path;
};

namespace writeerror {
inline constexpr int Device = 1;
inline constexpr int OutputFile = 2;
inline constexpr int SourceFile = 3;
inline constexpr int System = 5;
}  // namespace writeerror

// Why a write failed. Kind says which of Device, File and SystemCode is meaningful; a kind
// that is none of those in `writeerror` is a failure of the write itself, told by Text.
struct WriteError {
    std::string Text;
    int Kind = 0;
    DeviceError Device;
    FileError File;
    int SystemCode = 0;
};

// A file or folder of the image. Image paths start with a backslash before each name on the
// way down (\Mail\Old); the root folder's path is a single backslash.
struct ImageItem {
    bool IsFolder = false;
    // The image path of the folder holding the item.
    std::string Parent;
    std::string Name;
    std::string ImagePath;
    // Where the data comes from; empty for a folder made in the image only.
    std::string SourcePath;
    // The image path before the last rename; set in ItemNameChanged.
    std::string PreviousPath;
    double Size = 0;
    std::time_t Date = 0;
};

// What the windows hear from the engine. Every method has an empty default, so a listener
// takes only what it shows.
class DiscEvents {
public:
    virtual ~DiscEvents() = default;

    virtual void StatusChanged(int /*percent*/, WriteStatus /*status*/) {}
    virtual void ReadingFile(int /*track*/, long /*counter*/, const std::string& /*text*/) {}
    // A source file cannot be read. `continueWrite` comes in true; false aborts the write,
    // which then ends with WriteStatus::Cancelled.
    virtual void FileWarning(const FileError& /*error*/, bool& /*continueWrite*/) {}
    // Followed by WriteStatus::Failed.
    virtual void WriteFailed(const WriteError& /*error*/) {}
    virtual void VerifyStarted(int /*count*/) {}
    virtual void VerifyItem(const ImageItem& /*item*/, VerifyResult /*result*/, int /*done*/,
                            int /*total*/)
    {
    }
    virtual void VerifyDone(int /*total*/, int /*matched*/) {}
    virtual void ItemAdded(const ImageItem& /*item*/) {}
    virtual void ItemRemoved(const ImageItem& /*item*/) {}
    virtual void ItemNameChanged(const ImageItem& /*item*/) {}
    // A file is added where the image holds one already. (Not named ReplaceFile: windows.h
    // makes that a macro, which would rename the method in some files and not in others.) `replace`
    // comes in false; true puts the new source in place of the old one.
    virtual void ReplaceFileAsked(const ImageItem& /*existing*/, const std::string& /*newSource*/,
                                  bool& /*replace*/)
    {
    }
    virtual void ImageCleared() {}
    virtual void EraseStatusChanged(EraseStatus /*status*/, int /*percent*/) {}
    // The erase stopped on the drive's error; no EraseStatus follows.
    virtual void EraseDeviceError(const DeviceError& /*error*/) {}
};

class DiscDevice {
public:
    virtual ~DiscDevice() = default;

    virtual std::string Name() const = 0;
    // False for a drive the engine found but cannot write with.
    virtual bool IsUsable() const = 0;
    virtual bool Supports(int capability) const = 0;
    // The raw write speeds the drive offers for its disc, fastest first; empty when it reports
    // none (the write then goes at the drive's maximum, raw speed 0).
    virtual std::vector<int> WriteSpeeds() const = 0;
    // A raw speed as a multiple of the base speed of the disc's kind (1x CD, 1x DVD).
    virtual double SpeedMultiple(int speed) const = 0;
    // The raw speed an erase runs at.
    virtual int SpeedValue() const = 0;
    // Whether a disc is in the drive; `refresh` asks the drive again instead of answering from
    // what the engine last heard.
    virtual bool MediaPresent(bool refresh) = 0;
    // The disc found by the last MediaPresent.
    virtual MediaInfo Media() const = 0;
    // Blocks still writable on the disc; `refresh` as for MediaPresent.
    virtual std::int64_t FreeBlocks(bool refresh) = 0;
    virtual bool Eject() = 0;
    virtual bool CloseTray() = 0;
    // Starts blanking a re-writable disc; true when it started, after which the engine reports
    // through EraseStatusChanged or EraseDeviceError.
    virtual bool Erase(bool quick, int speed) = 0;
};

// The files and folders a write puts on the disc. Every change raises its event
// (ItemAdded, ItemRemoved, ItemNameChanged, ImageCleared) before the call returns.
class DiscImage {
public:
    virtual ~DiscImage() = default;

    // Adds the file at `imagePath`, making missing folders on the way; a taken name is asked
    // about through ReplaceFileAsked. False when the source cannot be read.
    virtual bool AddFile(const std::string& source, const std::string& imagePath) = 0;
    // Adds the folder with everything inside it at `imagePath`.
    virtual bool AddFolder(const std::string& source, const std::string& imagePath) = 0;
    // Renames the item in its folder; false, changing nothing, when it is missing or the new
    // name is empty or taken.
    virtual bool RenameFile(const std::string& imagePath, const std::string& newName) = 0;
    virtual bool RenameFolder(const std::string& imagePath, const std::string& newName) = 0;
    // Removes a file, or a folder with everything inside it; false when missing or the root.
    virtual bool Remove(const std::string& imagePath) = 0;
    virtual int FileCount() const = 0;
    // Folders below the root.
    virtual int FolderCount() const = 0;
    // The files and folders directly inside the folder, in name order; empty when missing.
    virtual std::vector<ImageItem> ListFolder(const std::string& imagePath) const = 0;
    virtual void Clear() = 0;
};

// How the next write goes. The writer keeps them between writes.
struct WriterSettings {
    int FileSystemType = imagefs::Iso9660 | imagefs::Joliet;
    bool UseFileDates = true;
    bool UseMode2XA = false;
    WriteMode Mode = WriteMode::TrackAtOnce;
    // A raw speed of the drive; 0 is its maximum.
    int WriteSpeed = 0;
    bool Finalize = false;
    // Goes through the motions without writing anything to the disc.
    bool TestWrite = false;
    bool BufferProtect = false;
    // Reads every file back after the write and compares it with its source.
    bool AutoVerify = false;
    bool CacheImage = false;
    std::string VolumeLabel;
};

class DataWriter {
public:
    virtual ~DataWriter() = default;

    virtual WriterSettings& Settings() = 0;
    // Whether the engine can build an image with this file-system code.
    virtual bool CanWriteFileSystem(int fileSystemType) const = 0;
    virtual DiscImage& Image() = 0;
    virtual int BlockSize() const = 0;
    // Bytes the image takes on a disc.
    virtual double ImageSize() const = 0;
    // Starts writing the image with the current settings; true when it started, after which
    // the engine reports through the write events and ends with Completed, Cancelled or
    // Failed.
    virtual bool Write(DiscDevice& device) = 0;
    // Asks a running write to stop; it ends later with WriteStatus::Cancelled.
    virtual void Abort() = 0;
};

class DiscEngine {
public:
    virtual ~DiscEngine() = default;

    // Opens the drives; false when the engine cannot work on this system at all. The other
    // calls need a successful Initialize.
    virtual bool Initialize() = 0;
    virtual int DeviceCount() const = 0;
    // 0 <= index < DeviceCount(); the engine keeps the drive.
    virtual DiscDevice& DeviceAt(int index) = 0;
    virtual DataWriter& Writer() = 0;

    // Hands the events a write or an erase queued on the engine's own thread to the listeners,
    // on the calling thread, and returns. The window that started the write or the erase calls
    // it from a timer until the last status has come; the command-line tool calls it in its
    // waiting loop. An engine that raises its events on the caller's thread has nothing to hand
    // over. A FileWarning waits in the engine until it has been delivered and answered.
    virtual void DeliverEvents() {}

    // Listeners hear every event from their adding until their removal; each one stays alive
    // until removed.
    void AddListener(DiscEvents& listener);
    void RemoveListener(DiscEvents& listener);

protected:
    // Calls `raise` with each listener in the order they were added; a listener may remove
    // itself (a window that closes) during the call.
    template <typename Raise>
    void RaiseEvent(Raise raise)
    {
        const std::vector<DiscEvents*> listeners = listeners_;
        for (DiscEvents* listener : listeners) {
            if (IsListening(listener)) {
                raise(*listener);
            }
        }
    }

private:
    bool IsListening(const DiscEvents* listener) const;

    std::vector<DiscEvents*> listeners_;
};

}  // namespace kestrel

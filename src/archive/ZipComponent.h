#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/ZipEvents.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace kestrel {

// What a write the user cancelled says: the archive at `path` is as it was before.
std::string WriteCancelledMessage(const std::string& path);

struct ZipMember {
    std::uint64_t index = 0;
    std::string name;  // UTF-8; "/" between the parts of a member in a subfolder
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;  // 0 for AES entries, whose data is authenticated instead
    bool encrypted = false;
    int aesBits = 0;        // 128, 192 or 256; 0 for the traditional PKWARE scheme
    bool deflated = false;  // else stored
};

// The one ZIP archive the program works on at a time, over libzip. Members lie under the bare
// names of the files added, or under relative paths with "/" for files of subfolders, deflated,
// with AES-256 when protected; reading also accepts the traditional PKWARE encryption and
// ZIP64. Files are streamed, never held in memory. A member of more than one deflate chunk is
// followed by its chunk index (ChunkIndex.h), which extraction uses to inflate on every core;
// the index is no member of Members() or FindMember, and an archive without it reads as well.
//
// Text crosses into the archive so that every tool reads it back the same on every machine:
// names outside ASCII are stored in UTF-8 with ZIP's UTF-8 flag, and AES keys are made from the
// password's UTF-8. Reading also takes what earlier builds wrote: unflagged names in the ANSI
// code page, and AES keys from the password's ANSI form, tried when its UTF-8 does not open
// the archive. The traditional PKWARE scheme, read only, takes the ANSI form.
//
// A write replaces the archive at its path only once the new one is complete and on disk, so
// a failed write leaves the old archive as it was. Errors are reported through the result and
// LastError(), which names the file concerned; nothing fails silently.
class ZipComponent {
public:
    // libdeflate's levels, 1 to 12. Chosen by measurement (archive_bench, on a PST-like file and
    // on mail with compressed attachments): the one level that keeps a backup no larger than
    // 7-Zip's fastest ZIP setting makes it on both, at a fraction of its time; lower levels are
    // faster but make archives larger than 7-Zip's.
    static constexpr int DefaultDeflateLevel = 6;

    ZipComponent(FileSystem& fileSystem, ZipEventSink& events);
    ~ZipComponent();
    ZipComponent(const ZipComponent&) = delete;
    ZipComponent& operator=(const ZipComponent&) = delete;

    // Relative paths given later are taken from this folder.
    void SetFolder(const std::string& folder);

    // Starts a new, empty archive that Write saves at the path. Closes the current one.
    bool Create(const std::string& archivePath);
    // Makes the archive's members available for lookup. Closes the current one.
    bool Open(const std::string& archivePath);
    // Whether any member of the archive at the path is encrypted; false also when it cannot
    // be read (see LastError).
    bool IsProtected(const std::string& archivePath);
    void SetReadPassword(const std::string& password);
    // True when a member (the info file when there is one, else the smallest protected one)
    // decrypts with the read password and passes its checksum and authentication; true for
    // an archive without protection. Later reads of the open archive use the form of the
    // password (UTF-8 or ANSI) that passed.
    bool CheckPassword();

    // Adds the file under its bare name, or under memberName (IsMemberPath) when given;
    // refused when the file is missing or a member of that name (in any case) was added
    // already. Its data is read only by Write.
    bool AddFile(const std::string& filePath, const std::string& memberName = {});
    // The same, and the member is followed by its block map (BlockMap.h), built from the bytes
    // as they are written, with blocks of `blockSize` (SmallestBlockSize to LargestBlockSize).
    // The map's name (the member's + BlockMapSuffix) must be free: Write fails otherwise.
    bool AddFileWithBlockMap(const std::string& filePath, const std::string& memberName,
                             std::uint32_t blockSize);
    // The archive's comment, which every ZIP tool shows; ASCII, under 64 KiB.
    void SetArchiveComment(const std::string& comment);
    void SetWritePassword(const std::string& password);
    void SetProtection(bool protect);
    void SetDeflateLevel(int level);
    // Threads that deflate a member; 0 (the default) is one per processor. A backup that runs
    // while the user works may take fewer.
    void SetThreadCount(unsigned threads);
    // Writes every added file into the archive and puts it in place. A protected archive's
    // password must be UTF-8 text. WriteFinished follows every call, whatever the outcome.
    bool Write();
    // Asks the Write or ExtractMember running on another thread, or else the next one, to
    // stop: it fails soon after with WasCancelled() true, and the archive or the file at the
    // target stays as it was. Any thread may call it.
    void Cancel();
    // Drops a Cancel that no Write or ExtractMember has taken up yet (it came after the last).
    void ForgetCancel();
    // Whether the last Write or ExtractMember stopped because of Cancel.
    bool WasCancelled() const;
    // Releases the archive; an unwritten one is dropped.
    void Close();

    std::vector<ZipMember> Members() const;
    // The open archive's comment; empty when it has none.
    std::string ArchiveComment() const;
    // None when the name is absent or does not pass IsMemberPath.
    std::optional<ZipMember> FindMember(const std::string& name) const;
    // Reads the whole member and checks its checksum and authentication; the data is handed
    // to `consume` in pieces when given.
    bool ReadMember(const ZipMember& member,
                    const std::function<bool(const char*, std::size_t)>& consume = {});
    // Writes the member into the folder at its name (IsMemberPath; the subfolders it names are
    // created below the folder when missing), through a temporary file that replaces the
    // target only once the member has passed its checks. Reports the name and the percentage
    // of the member written, as Write does for the archive.
    bool ExtractMember(const ZipMember& member, const std::string& folder);
    // Writes the member's data into the file at the path (created, or emptied when it exists)
    // and puts it on the disk, with the same checks and reports. On failure the file is left,
    // with whatever part reached it, for the caller to remove.
    bool ExtractMemberToFile(const ZipMember& member, const std::string& file);

    // Label updates at most this often (30 ms unless set).
    void SetEventInterval(std::chrono::milliseconds interval);
    // The last failure in words, naming the file concerned.
    const std::string& LastError() const;
    // The same when a file operation failed (with the system's code); empty otherwise.
    const Error& LastFailure() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrel

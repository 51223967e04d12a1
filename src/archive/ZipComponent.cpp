#include "archive/ZipComponent.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <string_view>

#include "archive/ArchiveLeftovers.h"
#include "archive/BlockMap.h"
#include "archive/ChunkIndex.h"
#include "archive/InfoFile.h"
#include "archive/MemberDecoder.h"
#include "archive/MemberName.h"
#include "archive/ZipFileSource.h"
#include "archive/ZipMemberSource.h"
#include "platform/CodePage.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "platform/Utf8.h"

namespace kestrel {
namespace {

constexpr std::size_t ChunkSize = 64 * 1024;

enum class Mode { None, Reading, Writing };

struct PendingFile {
    std::string path;
    std::string memberName;
    std::uint32_t blockSize = 0;  // its block map's, 0 for none
};

bool IsAbsolute(const std::string& path)
{
    return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// Names flagged as UTF-8 (ours outside ASCII, 7-Zip's, Info-ZIP's) come as they are; unflagged
// ones are in the ANSI code page, as earlier builds stored every name.
std::string MemberNameOf(zip_t* archive, zip_uint64_t index)
{
    const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    const char* strict = zip_get_name(archive, index, ZIP_FL_ENC_STRICT);
    if (raw == nullptr || strict == nullptr) {
        return {};
    }
    const std::string rawName = raw;
    return rawName == strict ? rawName : AnsiToUtf8(rawName);
}

// Reads an entry through libzip to its end, where it checks the checksum; for what the
// component does not decode itself (the traditional PKWARE scheme, other compressions). libzip
// decodes such an entry until its data ends, whatever the directory says, so the declared size
// is held here: a byte past it stops the read before anyone gets it, and an entry that ends
// short of it fails as well.
bool ReadEntry(zip_t* archive, const ZipMember& member,
               const std::function<bool(const char*, std::size_t)>& consume, std::string& error)
{
    // Asked to open an entry of a method it cannot decode, libzip fails but keeps a reference
    // to the archive's source, which then outlives the archive: such an entry is refused here.
    zip_stat_t stat;
    if (zip_stat_index(archive, member.index, 0, &stat) != 0) {
        error = zip_strerror(archive);
        return false;
    }
    if (((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 &&
         zip_encryption_method_supported(stat.encryption_method, 0) == 0) ||
        ((stat.valid & ZIP_STAT_COMP_METHOD) != 0 &&
         zip_compression_method_supported(stat.comp_method, 0) == 0)) {
        error = "is stored with a method this program cannot read";
        return false;
    }
    zip_file_t* file = zip_fopen_index(archive, member.index, 0);
    if (file == nullptr) {
        error = zip_strerror(archive);
        return false;
    }
    std::vector<char> buffer(ChunkSize);
    std::uint64_t delivered = 0;
    bool complete = true;
    for (;;) {
        // One byte more than remains, so data past the declared size shows without being read
        // any further.
        const std::uint64_t remaining = member.size - delivered;
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), remaining + 1));
        const zip_int64_t got = zip_fread(file, buffer.data(), wanted);
        if (got < 0) {
            error = zip_file_strerror(file);
            complete = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (static_cast<std::uint64_t>(got) > remaining) {
            error =
                "holds more data than the " + std::to_string(member.size) + " bytes it declares";
            complete = false;
            break;
        }
        delivered += static_cast<std::uint64_t>(got);
        if (consume && !consume(buffer.data(), static_cast<std::size_t>(got))) {
            error = "stopped while reading";
            complete = false;
            break;
        }
    }
    zip_fclose(file);
    if (complete && delivered != member.size) {
        error = "holds " + std::to_string(delivered) + " bytes, not the " +
                std::to_string(member.size) + " it declares";
        complete = false;
    }
    return complete;
}

int AesBits(zip_uint16_t method)
{
    switch (method) {
        case ZIP_EM_AES_128:
            return 128;
        case ZIP_EM_AES_192:
            return 192;
        case ZIP_EM_AES_256:
            return 256;
        default:
            return 0;
    }
}

// Reads the member's stored bytes in large blocks (libzip's own reading goes through 4 KiB
// pieces and decrypts AES a block per call) and decodes them here. The decoder asks for exactly
// the stored size: one read more would make libzip compare a stored member's raw bytes with
// its CRC.
bool ReadStoredMember(zip_t* archive, const ZipMember& member, std::vector<std::string> passwords,
                      const std::function<bool(const char*, std::size_t)>& consume,
                      std::string& error, const ChunkIndex* chunks)
{
    MemberDecoder::Member facts;
    facts.chunks = chunks;
    facts.size = member.size;
    facts.storedSize = member.compressedSize;
    facts.crc = member.crc;
    facts.checkCrc = member.aesBits == 0 || member.crc != 0;
    facts.deflated = member.deflated;
    facts.aesBits = member.aesBits;
    MemberDecoder decoder(facts, std::move(passwords), consume);
    // Encrypted data comes raw, neither decrypted nor inflated.
    zip_file_t* file = zip_fopen_index(archive, member.index, ZIP_FL_ENCRYPTED);
    if (file == nullptr) {
        error = zip_strerror(archive);
        return false;
    }
    std::string readError;
    const bool decoded = decoder.Run([&](std::uint8_t* buffer, std::size_t size) {
        const zip_int64_t got = zip_fread(file, buffer, size);
        if (got < 0) {
            readError = zip_file_strerror(file);
        }
        return static_cast<std::ptrdiff_t>(got);
    });
    zip_fclose(file);
    error = readError.empty() ? decoder.Error() : readError;
    return decoded;
}

// The methods the decoder knows; anything else (the traditional PKWARE scheme, other
// compressions) is left to libzip.
bool DecodesItself(zip_t* archive, const ZipMember& member)
{
    zip_stat_t stat;
    if (zip_stat_index(archive, member.index, 0, &stat) != 0 ||
        (stat.valid & ZIP_STAT_COMP_METHOD) == 0) {
        return false;
    }
    const bool method = stat.comp_method == ZIP_CM_STORE || stat.comp_method == ZIP_CM_DEFLATE;
    return method && (!member.encrypted || member.aesBits != 0);
}

// Whether the entry is a chunk index this program wrote: the name alone could be a user's file.
bool IsChunkIndexEntry(zip_t* archive, const ZipMember& member)
{
    if (!member.name.ends_with(ChunkIndexSuffix)) {
        return false;
    }
    zip_uint32_t length = 0;
    const char* comment = zip_file_get_comment(archive, member.index, &length, ZIP_FL_ENC_RAW);
    return comment != nullptr && std::string_view(comment, length) == ChunkIndexComment;
}

// The bytes of the member's deflate stream: its stored data without the AES framing.
std::uint64_t DeflateStreamSize(const ZipMember& member)
{
    if (member.aesBits == 0) {
        return member.compressedSize;
    }
    const std::uint64_t framing =
        WinZipAes::SaltSize(member.aesBits) + WinZipAes::VerifierSize + WinZipAes::CodeSize;
    return member.compressedSize < framing ? 0 : member.compressedSize - framing;
}

// Fires the write-finished event however Write returns.
struct FinishedOnExit {
    ZipEventSink& events;
    ~FinishedOnExit() { events.WriteFinished(); }
};

}  // namespace

struct ZipComponent::State {
    State(FileSystem& fs, ZipEventSink& sink) : fileSystem(fs), events(sink) {}

    bool Fail(std::string message)
    {
        error = std::move(message);
        failure = {};
        return false;
    }
    bool Fail(const Error& cause)
    {
        failure = cause;
        error = cause.Describe();
        return false;
    }
    std::string Resolve(const std::string& path) const
    {
        return IsAbsolute(path) || folder.empty() ? path : JoinPath(folder, path);
    }
    void Release()
    {
        if (archive != nullptr) {
            zip_discard(archive);
            archive = nullptr;
        }
        mode = Mode::None;
        provenPassword.reset();
        members.clear();
        chunkIndexes.clear();
        pending.clear();
        comment.clear();
    }
    bool WriteArchive(const std::string& target, ZipEventThrottle& throttle);
    void SetChunkIndexesAside();
    std::optional<ChunkIndex> ReadChunkIndex(const ZipMember& member);
    bool AddSource(zip_t* zip, ZipMemberSource& member, const std::string& path);
    // The member's subfolders below the folder it is extracted into, each level made when
    // missing; the folder itself must exist.
    bool CreateLevelsBelow(const std::string& base, const std::string& level)
    {
        if (level.size() <= base.size() || fileSystem.FolderExists(level)) {
            return true;
        }
        return CreateLevelsBelow(base, ParentFolder(level)) &&
               (fileSystem.CreateFolder(level) || fileSystem.FolderExists(level));
    }
    // The bytes an AES key may have been made from: the password's UTF-8, as 7-Zip, WinZip and
    // Info-ZIP make it and as this program writes it, then, for a password outside ASCII, its
    // ANSI form, which earlier builds used. Once a password check has shown which one the
    // archive takes, that one alone.
    std::vector<std::string> AesPasswords() const
    {
        if (provenPassword) {
            return {*provenPassword};
        }
        std::vector<std::string> passwords{readPassword};
        if (std::string ansi = Utf8ToAnsi(readPassword); ansi != readPassword) {
            passwords.push_back(std::move(ansi));
        }
        return passwords;
    }

    FileSystem& fileSystem;
    ZipEventSink& events;
    std::string folder;
    Mode mode = Mode::None;
    std::string archivePath;
    zip_t* archive = nullptr;  // open for reading
    std::vector<ZipMember> members;
    // The chunk indexes of members, by the member's index; hidden from Members().
    std::map<std::uint64_t, ZipMember> chunkIndexes;
    std::vector<PendingFile> pending;
    std::string readPassword;
    std::optional<std::string> provenPassword;
    std::string writePassword;
    std::string comment;
    bool protect = false;
    int deflateLevel = DefaultDeflateLevel;
    unsigned threads = 0;
    std::atomic<bool> cancelRequested{false};
    bool cancelled = false;
    std::chrono::milliseconds eventInterval{30};
    std::string error;
    Error failure;
};

ZipComponent::ZipComponent(FileSystem& fileSystem, ZipEventSink& events)
    : state_(std::make_unique<State>(fileSystem, events))
{
}

ZipComponent::~ZipComponent()
{
    state_->Release();
}

void ZipComponent::SetFolder(const std::string& folder)
{
    state_->folder = folder;
}

bool ZipComponent::Create(const std::string& archivePath)
{
    State& s = *state_;
    s.Release();
    s.archivePath = s.Resolve(archivePath);
    if (!IsAbsolute(s.archivePath)) {
        return s.Fail("not a full path: " + archivePath);
    }
    s.mode = Mode::Writing;
    return true;
}

bool ZipComponent::Open(const std::string& archivePath)
{
    State& s = *state_;
    s.Release();
    s.archivePath = s.Resolve(archivePath);
    Error openError;
    zip_source_t* source = CreateArchiveReadSource(s.fileSystem, s.archivePath, openError);
    if (source == nullptr) {
        return s.Fail(openError);
    }
    zip_error_t error;
    zip_error_init(&error);
    s.archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    const std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    if (s.archive == nullptr) {
        zip_source_free(source);
        return s.Fail("cannot open " + s.archivePath + ": " + reason);
    }
    if (!s.readPassword.empty()) {
        zip_set_default_password(s.archive, Utf8ToAnsi(s.readPassword).c_str());
    }
    const zip_int64_t count = zip_get_num_entries(s.archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        if (zip_stat_index(s.archive, index, 0, &stat) != 0) {
            continue;
        }
        ZipMember member;
        member.index = index;
        member.name = MemberNameOf(s.archive, index);
        member.size = stat.size;
        member.compressedSize = stat.comp_size;
        member.crc = (stat.valid & ZIP_STAT_CRC) != 0 ? stat.crc : 0;
        member.encrypted =
            (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE;
        member.aesBits = AesBits(stat.encryption_method);
        member.deflated = stat.comp_method != ZIP_CM_STORE;
        s.members.push_back(member);
    }
    s.SetChunkIndexesAside();
    s.mode = Mode::Reading;
    return true;
}

bool ZipComponent::IsProtected(const std::string& archivePath)
{
    ZipComponent probe(state_->fileSystem, state_->events);
    probe.SetFolder(state_->folder);
    if (!probe.Open(archivePath)) {
        state_->error = probe.LastError();
        return false;
    }
    const auto members = probe.Members();
    return std::any_of(members.begin(), members.end(),
                       [](const ZipMember& member) { return member.encrypted; });
}

void ZipComponent::SetReadPassword(const std::string& password)
{
    state_->readPassword = password;
    state_->provenPassword.reset();
    if (state_->archive != nullptr) {
        zip_set_default_password(state_->archive,
                                 password.empty() ? nullptr : Utf8ToAnsi(password).c_str());
    }
}

bool ZipComponent::CheckPassword()
{
    State& s = *state_;
    if (s.mode != Mode::Reading) {
        return s.Fail("no archive is open");
    }
    // The traditional scheme's header check lets about one wrong password in a hundred
    // through, so only a member that decrypts and passes its checks proves the password.
    const ZipMember* proof = nullptr;
    for (const ZipMember& member : s.members) {
        if (!member.encrypted) {
            continue;
        }
        if (EqualsIgnoringCase(member.name, InfoFileName)) {
            proof = &member;
            break;
        }
        if (proof == nullptr || member.compressedSize < proof->compressedSize) {
            proof = &member;
        }
    }
    if (proof == nullptr) {
        return true;
    }
    if (proof->aesBits == 0) {
        return ReadMember(*proof);
    }
    // Read whole for each form of the password: the verifier alone lets one wrong key in
    // 65536 through, and a later extraction must not learn that half-way through a file.
    for (const std::string& candidate : s.AesPasswords()) {
        s.provenPassword = candidate;
        if (ReadMember(*proof)) {
            return true;
        }
    }
    s.provenPassword.reset();
    return false;
}

bool ZipComponent::AddFile(const std::string& filePath, const std::string& memberName)
{
    return AddFileWithBlockMap(filePath, memberName, 0);
}

bool ZipComponent::AddFileWithBlockMap(const std::string& filePath, const std::string& memberName,
                                       std::uint32_t blockSize)
{
    State& s = *state_;
    if (s.mode != Mode::Writing) {
        return s.Fail("no archive was created to add " + filePath + " to");
    }
    const std::string path = s.Resolve(filePath);
    const std::string name = memberName.empty() ? BareName(path) : memberName;
    if (!IsMemberPath(name)) {
        return s.Fail("not a file name below the archive's root: " + name);
    }
    const auto facts = s.fileSystem.Stat(path);
    if (!facts) {
        return s.Fail(facts.error());
    }
    if (facts->isFolder) {
        return s.Fail("cannot add " + path + ": it is a folder");
    }
    for (const PendingFile& added : s.pending) {
        if (EqualsIgnoringCase(added.memberName, name)) {
            return s.Fail("a member named " + name + " was added already; " + path +
                          " is left out");
        }
    }
    if (blockSize != 0 && (blockSize < SmallestBlockSize || blockSize > LargestBlockSize)) {
        return s.Fail("no block map has blocks of " + std::to_string(blockSize) + " bytes");
    }
    s.pending.push_back({path, name, blockSize});
    return true;
}

void ZipComponent::SetArchiveComment(const std::string& comment)
{
    state_->comment = comment;
}

void ZipComponent::SetWritePassword(const std::string& password)
{
    state_->writePassword = password;
}

void ZipComponent::SetProtection(bool protect)
{
    state_->protect = protect;
}

void ZipComponent::SetDeflateLevel(int level)
{
    state_->deflateLevel = std::clamp(level, 1, 12);
}

void ZipComponent::SetThreadCount(unsigned threads)
{
    state_->threads = threads;
}

bool ZipComponent::Write()
{
    State& s = *state_;
    FinishedOnExit finished{s.events};
    if (s.mode != Mode::Writing) {
        return s.Fail("no archive was created");
    }
    if (s.pending.empty()) {
        // libzip would delete the file at the path rather than write an empty archive.
        return s.Fail("nothing was added to " + s.archivePath);
    }
    if (s.protect && s.writePassword.empty()) {
        return s.Fail("a protected archive needs a password: " + s.archivePath);
    }
    // The key is made from the password's UTF-8: bytes that are not UTF-8 could not be typed
    // back the same way in another program, so they are refused rather than changed.
    if (s.protect && !IsValidUtf8(s.writePassword)) {
        return s.Fail("the password is not valid text; " + s.archivePath + " was not written");
    }
    ZipEventThrottle throttle(s.events, s.eventInterval);
    s.cancelled = false;
    const bool written = s.WriteArchive(s.archivePath, throttle);
    const bool cancelRequested = s.cancelRequested.exchange(false);
    s.cancelled = !written && cancelRequested;
    if (s.cancelled) {
        s.Fail(WriteCancelledMessage(s.archivePath));
    }
    s.pending.clear();
    s.mode = Mode::None;
    if (!written) {
        return false;
    }
    throttle.Flush();
    throttle.Progress(100);
    return true;
}

// Takes this program's chunk indexes out of the member list, each kept for the member it
// follows and names.
void ZipComponent::State::SetChunkIndexesAside()
{
    std::vector<ZipMember> kept;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const ZipMember& member = members[i];
        if (i > 0 && IsChunkIndexEntry(archive, member) &&
            members[i - 1].name + std::string(ChunkIndexSuffix) == member.name &&
            !chunkIndexes.contains(members[i - 1].index)) {
            chunkIndexes[members[i - 1].index] = member;
            continue;
        }
        kept.push_back(member);
    }
    members = std::move(kept);
}

// The member's chunk index when it has one that reads whole and fits it; none otherwise, and
// the member is inflated in one piece.
std::optional<ChunkIndex> ZipComponent::State::ReadChunkIndex(const ZipMember& member)
{
    const auto found = chunkIndexes.find(member.index);
    if (found == chunkIndexes.end() || !member.deflated || !DecodesItself(archive, member) ||
        !DecodesItself(archive, found->second) ||
        found->second.size > ChunkIndexSizeFor(member.size, 64 * 1024)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::string ignored;
    const bool read = ReadStoredMember(
        archive, found->second, AesPasswords(),
        [&](const char* data, std::size_t size) {
            bytes.insert(bytes.end(), data, data + size);
            return true;
        },
        ignored, nullptr);
    if (!read) {
        return std::nullopt;
    }
    return ParseChunkIndex(bytes, member.size, DeflateStreamSize(member));
}

bool ZipComponent::State::WriteArchive(const std::string& target, ZipEventThrottle& throttle)
{
    RemoveArchiveLeftovers(fileSystem, target);

    ZipWriteJob job(throttle);
    job.cancelled = &cancelRequested;
    job.deflateLevel = deflateLevel;
    job.threads = threads;
    job.protect = protect;
    job.password = writePassword;
    std::vector<std::unique_ptr<ZipMemberSource>> sources;
    for (const PendingFile& file : pending) {
        const auto facts = fileSystem.Stat(file.path);
        if (!facts) {
            return Fail(facts.error());
        }
        job.total += facts->size;
        sources.push_back(std::make_unique<ZipMemberSource>(job, fileSystem, file.path,
                                                            file.memberName, facts->size,
                                                            facts->modified, file.blockSize));
    }

    Error writeFailure;
    zip_source_t* output = CreateArchiveWriteSource(fileSystem, target, writeFailure);
    zip_error_t openError;
    zip_error_init(&openError);
    zip_t* zip = output == nullptr
                     ? nullptr
                     : zip_open_from_source(output, ZIP_CREATE | ZIP_TRUNCATE, &openError);
    const std::string openReason = zip_error_strerror(&openError);
    zip_error_fini(&openError);
    if (zip == nullptr) {
        zip_source_free(output);
        return Fail("cannot create " + target + ": " + openReason);
    }
    if (!comment.empty() &&
        zip_set_archive_comment(zip, comment.data(), static_cast<zip_uint16_t>(comment.size())) !=
            0) {
        const std::string reason = zip_strerror(zip);
        zip_discard(zip);
        return Fail("cannot write the comment of " + target + ": " + reason);
    }
    // Each member of more than one chunk is followed by its chunk index, unless a file added
    // under that name takes the place; a member with a block map then by its map.
    const auto nameTaken = [&](const std::string& name) {
        return std::any_of(pending.begin(), pending.end(), [&](const PendingFile& file) {
            return EqualsIgnoringCase(file.memberName, name);
        });
    };
    std::vector<std::unique_ptr<ZipMemberSource>> derivedSources;
    const auto addDerived = [&](ZipMemberSource& data, ZipMemberSource::Derived derived,
                                const std::string& path) {
        derivedSources.push_back(std::make_unique<ZipMemberSource>(job, fileSystem, data, derived));
        return AddSource(zip, *derivedSources.back(), path);
    };
    for (std::size_t i = 0; i < sources.size(); ++i) {
        ZipMemberSource& data = *sources[i];
        if (!AddSource(zip, data, pending[i].path)) {
            return false;
        }
        if (data.HasChunkIndex() && !nameTaken(data.MemberName() + std::string(ChunkIndexSuffix)) &&
            !addDerived(data, ZipMemberSource::Derived::ChunkIndex, pending[i].path)) {
            return false;
        }
        if (data.HasBlockMap()) {
            if (nameTaken(data.MemberName() + std::string(BlockMapSuffix))) {
                zip_discard(zip);
                return Fail("a file added as " + data.MemberName() + std::string(BlockMapSuffix) +
                            " takes the name of the block map of " + pending[i].path);
            }
            if (!addDerived(data, ZipMemberSource::Derived::BlockMap, pending[i].path)) {
                return false;
            }
        }
    }
    throttle.Progress(0);
    // Everything is read, deflated, encrypted and written here, into a temporary file that
    // replaces the target at the end; on failure the write source removes it and the target
    // is as it was.
    if (zip_close(zip) != 0) {
        const std::string reason = zip_strerror(zip);
        zip_discard(zip);
        if (!job.failure.operation.empty()) {
            return Fail(job.failure);
        }
        if (!writeFailure.operation.empty()) {
            return Fail(writeFailure);
        }
        return Fail("cannot write " + target + ": " + reason);
    }
    return true;
}

// Adds the member whose data the source gives; on failure the archive is discarded.
bool ZipComponent::State::AddSource(zip_t* zip, ZipMemberSource& member, const std::string& path)
{
    zip_source_t* source = member.Create(zip);
    // An ASCII name is stored as it is; any other gets ZIP's UTF-8 flag, so every tool shows
    // it as it was on every machine.
    const std::string& name = member.MemberName();
    const zip_int64_t index =
        source == nullptr ? -1 : zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    // The source delivers the data deflated and encrypted; without a password libzip only
    // marks the entry as AES and writes the extra field that says so.
    const auto entry = static_cast<zip_uint64_t>(index);
    const bool added = index >= 0 && (!protect || zip_file_set_encryption(
                                                      zip, entry, ZIP_EM_AES_256, nullptr) == 0);
    const std::string_view memberComment = member.Comment();
    if (added && (memberComment.empty() ||
                  zip_file_set_comment(zip, entry, memberComment.data(),
                                       static_cast<zip_uint16_t>(memberComment.size()), 0) == 0)) {
        return true;
    }
    if (index < 0) {
        zip_source_free(source);
    }
    const std::string reason = zip_strerror(zip);
    zip_discard(zip);
    return Fail("cannot add " + path + ": " + reason);
}

void ZipComponent::Cancel()
{
    state_->cancelRequested = true;
}

void ZipComponent::ForgetCancel()
{
    state_->cancelRequested = false;
}

bool ZipComponent::WasCancelled() const
{
    return state_->cancelled;
}

void ZipComponent::Close()
{
    state_->Release();
}

std::vector<ZipMember> ZipComponent::Members() const
{
    return state_->members;
}

std::string ZipComponent::ArchiveComment() const
{
    if (state_->archive == nullptr) {
        return {};
    }
    int length = 0;
    const char* comment = zip_get_archive_comment(state_->archive, &length, ZIP_FL_ENC_RAW);
    return comment == nullptr ? std::string()
                              : std::string(comment, static_cast<std::size_t>(length));
}

std::optional<ZipMember> ZipComponent::FindMember(const std::string& name) const
{
    if (!IsMemberPath(name)) {
        return std::nullopt;
    }
    const ZipMember* caseless = nullptr;
    for (const ZipMember& member : state_->members) {
        if (member.name == name) {
            return member;
        }
        if (caseless == nullptr && EqualsIgnoringCase(member.name, name)) {
            caseless = &member;
        }
    }
    return caseless != nullptr ? std::optional<ZipMember>(*caseless) : std::nullopt;
}

bool ZipComponent::ReadMember(const ZipMember& member,
                              const std::function<bool(const char*, std::size_t)>& consume)
{
    State& s = *state_;
    if (s.mode != Mode::Reading) {
        return s.Fail("no archive is open");
    }
    const auto fail = [&](const std::string& why) {
        return s.Fail(member.name + " in " + s.archivePath + ": " + why);
    };
    std::string error;
    if (DecodesItself(s.archive, member)) {
        const std::optional<ChunkIndex> chunks = s.ReadChunkIndex(member);
        return ReadStoredMember(s.archive, member, s.AesPasswords(), consume, error,
                                chunks ? &*chunks : nullptr) ||
               fail(error);
    }
    return ReadEntry(s.archive, member, consume, error) || fail(error);
}

bool ZipComponent::ExtractMember(const ZipMember& member, const std::string& folder)
{
    State& s = *state_;
    if (!IsMemberPath(member.name)) {
        return s.Fail("refused to extract a member that names no file below the folder: " +
                      member.name);
    }
    const std::string target = JoinMemberPath(s.Resolve(folder), member.name);
    const std::string targetFolder = ParentFolder(target);
    if (!s.CreateLevelsBelow(s.Resolve(folder), targetFolder)) {
        return s.Fail("cannot create the folder " + targetFolder);
    }
    const std::string temporary = s.fileSystem.CreateTempFile(targetFolder, "ksb");
    if (temporary.empty()) {
        return s.Fail("cannot create a temporary file in " + targetFolder);
    }
    bool written = ExtractMemberToFile(member, temporary);
    if (written && !s.fileSystem.MoveOver(temporary, target)) {
        written = s.Fail("cannot replace " + target);
    }
    if (!written) {
        s.fileSystem.RemoveFile(temporary);
        if (s.error.find(member.name) == std::string::npos) {
            s.error = member.name + ": " + s.error;
        }
    }
    return written;
}

bool ZipComponent::ExtractMemberToFile(const ZipMember& member, const std::string& file)
{
    State& s = *state_;
    ZipEventThrottle throttle(s.events, s.eventInterval);
    throttle.ExtractingFile(member.name);
    // On the disk before it replaces the target, so that a crash leaves the old file or the
    // whole new one; the file writes while the member inflates, which hides most of the wait.
    auto created = s.fileSystem.CreateOutputFile(file);
    if (!created) {
        return s.Fail(created.error());
    }
    std::unique_ptr<OutputFile> out = std::move(*created);
    bool writeFailed = false;
    bool stopped = false;
    std::uint64_t extracted = 0;
    s.cancelled = false;
    throttle.Progress(0);
    bool written = ReadMember(member, [&](const char* data, std::size_t size) {
        if (s.cancelRequested.load()) {
            stopped = true;
            return false;
        }
        writeFailed = !out->Write(data, size);
        extracted += size;
        throttle.Progress(member.size > 0 ? static_cast<int>(extracted * 100 / member.size) : 0);
        return !writeFailed;
    });
    throttle.Flush();
    if (stopped) {
        s.cancelRequested = false;
        s.cancelled = true;
        written = s.Fail("extracting " + member.name +
                         " was cancelled; the file it would replace " + "was left as it was");
    } else if (writeFailed || (written && !out->Commit())) {
        written = s.Fail(out->Failure());
    }
    out.reset();  // Windows removes or renames no file that is still open
    if (!written && s.error.find(member.name) == std::string::npos) {
        s.error = member.name + ": " + s.error;
    }
    return written;
}

void ZipComponent::SetEventInterval(std::chrono::milliseconds interval)
{
    state_->eventInterval = interval;
}

const std::string& ZipComponent::LastError() const
{
    return state_->error;
}

const Error& ZipComponent::LastFailure() const
{
    return state_->failure;
}

std::string WriteCancelledMessage(const std::string& path)
{
    return "the write of " + path + " was cancelled; the file there was left as it was";
}

}  // namespace kestrel

#include "platform/win32/Win32ShadowCopies.h"

#include <windows.h>

#include <vsbackup.h>

#include <cstdio>

#include "platform/NameCase.h"
#include "platform/win32/Com.h"
#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

using CreateComponents = HRESULT(WINAPI*)(IVssBackupComponents**);

// The volume that holds the path, as "C:\" or a mount point's folder; empty when unknown.
std::wstring VolumeOf(const std::wstring& path)
{
    wchar_t volume[MAX_PATH + 1] = {};
    return GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1) ? std::wstring(volume)
                                                                  : std::wstring();
}

// Runs one of VSS's asynchronous steps to its end: its own result, else the step's.
HRESULT Finish(HRESULT started, IVssAsync* async)
{
    if (FAILED(started) || async == nullptr) {
        return FAILED(started) ? started : E_FAIL;
    }
    HRESULT result = async->Wait(INFINITE);
    if (SUCCEEDED(result)) {
        HRESULT status = S_OK;
        result = async->QueryStatus(&status, nullptr);
        if (SUCCEEDED(result)) {
            result = status;
        }
    }
    async->Release();
    return result;
}

std::string HexCode(long result)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return code;
}

std::wstring SystemLibrary(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring(name)
                                             : std::wstring(folder) + L"\\" + name;
}

}  // namespace

// The requester's state from the first step to the snapshot's deletion; what it holds is
// given back in reverse order when it goes.
struct Win32ShadowCopies::Session {
    // The calling thread may have COM already, in either apartment: VSS works with both.
    com::ComThread apartment{COINIT_MULTITHREADED};
    HMODULE library = nullptr;
    com::ComPtr<IVssBackupComponents> components;
    VSS_ID setId{};
    bool setStarted = false;
    bool snapshotsMade = false;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session()
    {
        components.Reset();
        if (library != nullptr) {
            FreeLibrary(library);
        }
    }
};

Win32ShadowCopies::Win32ShadowCopies() = default;

Win32ShadowCopies::~Win32ShadowCopies()
{
    Delete();
}

bool Win32ShadowCopies::Fail(const std::string& failure)
{
    problem_ = Delete() ? failure : failure + "; " + problem_;
    return false;
}

bool Win32ShadowCopies::Fail(const char* step, long result)
{
    return Fail(std::string(step) + " failed (" + HexCode(result) + ")");
}

bool Win32ShadowCopies::Create(const std::vector<std::string>& paths)
{
    Delete();
    problem_.clear();
    session_ = std::make_unique<Session>();
    Session& s = *session_;
    s.library = LoadLibraryW(SystemLibrary(L"vssapi.dll").c_str());
    const auto create = s.library == nullptr
                            ? nullptr
                            : reinterpret_cast<CreateComponents>(reinterpret_cast<void (*)()>(
                                  GetProcAddress(s.library, "CreateVssBackupComponentsInternal")));
    if (create == nullptr) {
        return Fail("loading vssapi.dll", static_cast<long>(HRESULT_FROM_WIN32(GetLastError())));
    }
    if (HRESULT result = create(s.components.Out()); FAILED(result)) {
        s.components.Abandon();
        return Fail("CreateVssBackupComponents", result);
    }
    IVssBackupComponents& vss = *s.components;
    if (HRESULT result = vss.InitializeForBackup(); FAILED(result)) {
        return Fail("InitializeForBackup", result);
    }
    if (HRESULT result = vss.SetContext(VSS_CTX_BACKUP); FAILED(result)) {
        return Fail("SetContext", result);
    }
    // A copy backup: the writers' own backup history (Exchange's logs, say) stays as it was.
    if (HRESULT result = vss.SetBackupState(false, false, VSS_BT_COPY, false); FAILED(result)) {
        return Fail("SetBackupState", result);
    }
    IVssAsync* async = nullptr;
    if (HRESULT result = Finish(vss.GatherWriterMetadata(&async), async); FAILED(result)) {
        return Fail("GatherWriterMetadata", result);
    }
    if (HRESULT result = vss.StartSnapshotSet(&s.setId); FAILED(result)) {
        return Fail("StartSnapshotSet", result);
    }
    s.setStarted = true;
    std::map<std::wstring, VSS_ID> snapshots;
    for (const std::string& path : paths) {
        std::wstring volume = VolumeOf(Utf8ToWide(path));
        if (volume.empty()) {
            return Fail("no volume holds " + path);
        }
        if (snapshots.count(volume) != 0) {
            continue;
        }
        VSS_ID snapshot{};
        if (HRESULT result = vss.AddToSnapshotSet(volume.data(), VSS_ID{}, &snapshot);
            FAILED(result)) {
            return Fail("AddToSnapshotSet", result);
        }
        snapshots[volume] = snapshot;
    }
    async = nullptr;
    if (HRESULT result = Finish(vss.PrepareForBackup(&async), async); FAILED(result)) {
        return Fail("PrepareForBackup", result);
    }
    async = nullptr;
    const HRESULT done = Finish(vss.DoSnapshotSet(&async), async);
    s.snapshotsMade = SUCCEEDED(done);
    if (FAILED(done)) {
        return Fail("DoSnapshotSet", done);
    }
    for (const auto& [volume, id] : snapshots) {
        VSS_SNAPSHOT_PROP properties{};
        if (HRESULT result = vss.GetSnapshotProperties(id, &properties); FAILED(result)) {
            return Fail("GetSnapshotProperties", result);
        }
        if (properties.m_pwszSnapshotDeviceObject != nullptr) {
            devices_[volume] = properties.m_pwszSnapshotDeviceObject;
        }
        // VssFreeSnapshotProperties frees exactly these, with the COM allocator.
        for (VSS_PWSZ text :
             {properties.m_pwszSnapshotDeviceObject, properties.m_pwszOriginalVolumeName,
              properties.m_pwszOriginatingMachine, properties.m_pwszServiceMachine,
              properties.m_pwszExposedName, properties.m_pwszExposedPath}) {
            CoTaskMemFree(text);
        }
    }
    return true;
}

std::string Win32ShadowCopies::PathInSnapshot(const std::string& path)
{
    const std::wstring wide = Utf8ToWide(path);
    const std::wstring volume = VolumeOf(wide);
    const auto device = devices_.find(volume);
    if (volume.empty() || device == devices_.end() ||
        !EqualsIgnoringCase(WideToUtf8(wide.substr(0, volume.size())), WideToUtf8(volume))) {
        return {};
    }
    // The volume's path ends in a backslash; the device's name does not.
    return WideToUtf8(device->second + L"\\" + wide.substr(volume.size()));
}

bool Win32ShadowCopies::Delete()
{
    devices_.clear();
    if (!session_) {
        return true;
    }
    bool deleted = true;
    Session& s = *session_;
    if (s.components && s.setStarted) {
        if (s.snapshotsMade) {
            IVssAsync* async = nullptr;
            Finish(s.components->BackupComplete(&async), async);
        } else {
            s.components->AbortBackup();
        }
        LONG count = 0;
        VSS_ID notDeleted{};
        const HRESULT result = s.components->DeleteSnapshots(s.setId, VSS_OBJECT_SNAPSHOT_SET, TRUE,
                                                             &count, &notDeleted);
        // A set that never got its snapshots has none to delete.
        if (FAILED(result) && s.snapshotsMade) {
            problem_ = "DeleteSnapshots failed (" + HexCode(result) + ")";
            deleted = false;
        }
    }
    // Releasing the requester also ends a non-persistent snapshot it made.
    session_.reset();
    return deleted;
}

}  // namespace kestrel

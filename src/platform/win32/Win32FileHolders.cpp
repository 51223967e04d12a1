#include "platform/win32/Win32FileHolders.h"

#include <windows.h>

#include <restartmanager.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>

#include "platform/NameCase.h"
#include "platform/ProcessId.h"
#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

constexpr const char* OutlookImage = "OUTLOOK.EXE";

// A Restart Manager session, ended when the object goes.
class RmSession {
public:
    RmSession()
    {
        WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
        open_ = RmStartSession(&handle_, 0, key) == ERROR_SUCCESS;
    }
    ~RmSession()
    {
        if (open_) {
            RmEndSession(handle_);
        }
    }
    RmSession(const RmSession&) = delete;
    RmSession& operator=(const RmSession&) = delete;

    bool Register(const std::vector<std::string>& paths)
    {
        std::vector<std::wstring> wide;
        for (const std::string& path : paths) {
            wide.push_back(Utf8ToWide(path));
        }
        std::vector<LPCWSTR> names;
        for (const std::wstring& name : wide) {
            names.push_back(name.c_str());
        }
        return open_ && RmRegisterResources(handle_, static_cast<UINT>(names.size()), names.data(),
                                            0, nullptr, 0, nullptr) == ERROR_SUCCESS;
    }

    std::vector<RM_PROCESS_INFO> List()
    {
        std::vector<RM_PROCESS_INFO> found(8);
        for (int attempt = 0; attempt < 3; ++attempt) {
            UINT needed = 0;
            UINT count = static_cast<UINT>(found.size());
            DWORD reasons = 0;
            const DWORD result = RmGetList(handle_, &needed, &count, found.data(), &reasons);
            if (result == ERROR_SUCCESS) {
                found.resize(count);
                return found;
            }
            if (result != ERROR_MORE_DATA) {
                break;
            }
            found.resize(needed + 4);
        }
        return {};
    }

    DWORD Handle() const { return handle_; }

private:
    DWORD handle_ = 0;
    bool open_ = false;
};

std::string ImagePath(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return {};
    }
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    const bool found = QueryFullProcessImageNameW(process, 0, buffer, &size) != 0;
    CloseHandle(process);
    return found ? WideToUtf8(std::wstring_view(buffer, size)) : std::string();
}

std::string BareName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileHolder HolderOf(DWORD processId, const std::string& fallbackName)
{
    FileHolder holder;
    holder.processId = processId;
    const std::string image = ImagePath(processId);
    holder.name = image.empty() ? fallbackName : BareName(image);
    holder.commandLine = image.empty() ? std::string() : "\"" + image + "\"";
    return holder;
}

// A test open as a backup makes it: refused for sharing only while a program holds the file.
bool HeldOpen(const std::string& path)
{
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::vector<DWORD> ProcessesNamed(const char* image)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return found;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (EqualsIgnoringCase(WideToUtf8(entry.szExeFile), image) &&
            entry.th32ProcessID != CurrentProcessId()) {
            found.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return found;
}

BOOL CALLBACK PostCloseToWindow(HWND window, LPARAM processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(processId) && GetWindow(window, GW_OWNER) == nullptr &&
        IsWindowVisible(window)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

// One RmShutdown on a thread of its own; the session stays open for RmRestart.
struct Win32FileHolders::Shutdown {
    RmSession session;
    std::thread worker;
    std::atomic<bool> done{false};
    DWORD result = ERROR_SUCCESS;

    ~Shutdown()
    {
        if (worker.joinable()) {
            if (!done) {
                RmCancelCurrentTask(session.Handle());
            }
            worker.join();
        }
    }
};

Win32FileHolders::Win32FileHolders() = default;
Win32FileHolders::~Win32FileHolders() = default;

std::vector<FileHolder> Win32FileHolders::HoldersOf(const std::string& path)
{
    std::vector<FileHolder> holders;
    RmSession session;
    if (session.Register({path})) {
        for (const RM_PROCESS_INFO& info : session.List()) {
            if (info.Process.dwProcessId != CurrentProcessId()) {
                holders.push_back(HolderOf(info.Process.dwProcessId, WideToUtf8(info.strAppName)));
            }
        }
    }
    if (holders.empty() && HeldOpen(path)) {
        for (DWORD processId : ProcessesNamed(OutlookImage)) {
            holders.push_back(HolderOf(processId, OutlookImage));
        }
    }
    for (const FileHolder& holder : holders) {
        std::vector<std::string>& files = heldBy_[holder.processId];
        if (std::find(files.begin(), files.end(), path) == files.end()) {
            files.push_back(path);
        }
    }
    return holders;
}

bool Win32FileHolders::AskToClose(const FileHolder& holder)
{
    // The Restart Manager closes a program as Windows does at log-off, and can start it again
    // as it was; it is used only when it knows the program (Wine's knows none).
    auto shutdown = std::make_unique<Shutdown>();
    bool known = false;
    if (shutdown->session.Register(heldBy_[holder.processId])) {
        for (const RM_PROCESS_INFO& info : shutdown->session.List()) {
            known = known || info.Process.dwProcessId == holder.processId;
        }
    }
    if (known) {
        Shutdown* running = shutdown.get();
        running->worker = std::thread([running] {
            running->result = RmShutdown(running->session.Handle(), 0, nullptr);
            running->done = true;
        });
        shutdowns_[holder.processId] = std::move(shutdown);
        return true;
    }
    EnumWindows(PostCloseToWindow, static_cast<LPARAM>(holder.processId));
    return IsRunning(holder);
}

bool Win32FileHolders::IsRunning(const FileHolder& holder)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, holder.processId);
    if (process == nullptr) {
        return false;
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool Win32FileHolders::StartAgain(const FileHolder& holder)
{
    if (auto found = shutdowns_.find(holder.processId); found != shutdowns_.end()) {
        std::unique_ptr<Shutdown> shutdown = std::move(found->second);
        shutdowns_.erase(found);
        // A shutdown still busy with another program is cancelled as the object goes; the
        // program's own path starts it then.
        if (shutdown->done) {
            shutdown->worker.join();
            if (shutdown->result == ERROR_SUCCESS &&
                RmRestart(shutdown->session.Handle(), 0, nullptr) == ERROR_SUCCESS) {
                return true;
            }
        }
    }
    if (holder.commandLine.empty()) {
        return false;
    }
    std::wstring commandLine = Utf8ToWide(holder.commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

}  // namespace kestrel

#include "scheduler/win32/Win32Scheduler.h"

#include <windows.h>
// Before the other LAN Manager headers, which use its NET_API_STATUS.
#include <lmcons.h>

#include <lmapibuf.h>
#include <lmat.h>
#include <lmerr.h>
#include <oleauto.h>
#include <shellapi.h>
#include <taskschd.h>
#include <winsvc.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/win32/Com.h"
#include "platform/win32/WideText.h"
#include "scheduler/TaskXml.h"

namespace kestrel {
namespace {

constexpr const wchar_t* TaskFolderPath = L"\\Kestrel";
constexpr const wchar_t* TaskFolderName = L"Kestrel";
constexpr const char* TaskPrefix = "Backup ";
// The program every job of ours starts; the AT service's jobs of other programs are not ours.
constexpr const wchar_t* OurProgram = L"kestrelbak.exe";

using com::Bstr;
using com::ComPtr;
using com::EmptyVariant;

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

Error ComError(std::string operation, std::string subject, HRESULT result)
{
    Error error = SystemError(std::move(operation), std::move(subject), result);
    if (error.systemText.empty()) {
        error.systemText = "error " + Hex(static_cast<unsigned long>(result));
    }
    return error;
}

Error NetError(std::string operation, std::string subject, NET_API_STATUS status)
{
    Error error = SystemError(std::move(operation), std::move(subject), static_cast<long>(status));
    if (error.systemText.empty()) {
        error.systemText = "network error " + std::to_string(status);
    }
    return error;
}

Error NoSuchJob(std::uint32_t id)
{
    return {"remove", "job " + std::to_string(id), 0, "the scheduler holds no such job of ours"};
}

std::string TaskName(std::uint32_t id)
{
    return TaskPrefix + std::to_string(id);
}

std::string TaskPath(std::uint32_t id)
{
    return WideToUtf8(TaskFolderPath) + "\\" + TaskName(id);
}

// The id of a task named "Backup <id>"; nothing for any other name.
std::optional<std::uint32_t> IdOfTaskName(const std::string& name)
{
    const std::string prefix = TaskPrefix;
    if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size() ||
        name.size() > prefix.size() + 9) {
        return std::nullopt;
    }
    const std::string digits = name.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        digits[0] == '0') {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(digits));
}

std::tm LocalNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    return local;
}

std::wstring Environment(const wchar_t* name)
{
    wchar_t buffer[256] = {};
    const DWORD length = GetEnvironmentVariableW(name, buffer, 256);
    return length > 0 && length < 256 ? std::wstring(buffer, length) : std::wstring();
}

// DOMAIN\user of the current user, as the task's principal names it.
std::string CurrentUser()
{
    std::wstring user = Environment(L"USERNAME");
    if (user.empty()) {
        wchar_t buffer[257] = {};
        DWORD length = 257;
        if (GetUserNameW(buffer, &length)) {
            user = buffer;
        }
    }
    const std::wstring domain = Environment(L"USERDOMAIN");
    return WideToUtf8(domain.empty() || user.empty() ? user : domain + L"\\" + user);
}

std::wstring WindowsFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : L"C:\\Windows";
}

// The Task Scheduler console where the system has one, else the Tasks folder.
Result<std::string> OpenSchedulerTool()
{
    const std::wstring windows = WindowsFolder();
    const std::wstring console = windows + L"\\System32\\taskschd.msc";
    for (const std::wstring& target : {console, windows + L"\\Tasks"}) {
        if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        HINSTANCE result =
            ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (reinterpret_cast<INT_PTR>(result) > 32) {
            return std::string();
        }
    }
    return Error{"open", WideToUtf8(console), 0,
                 "neither the Task Scheduler console nor the Tasks folder could be opened"};
}

// --- Task Scheduler 2.0 ----------------------------------------------------------------

// The connected service, or the reason there is none; `missing` tells that the system has no
// Task Scheduler 2.0 at all.
struct TaskService {
    ComPtr<ITaskService> service;
    bool missing = false;
    std::optional<Error> failure;
};

void Connect(TaskService& connection, const std::string& operation)
{
    HRESULT result =
        CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                         reinterpret_cast<void**>(connection.service.Out()));
    if (FAILED(result)) {
        connection.missing = true;
        connection.failure = ComError(operation, "Task Scheduler", result);
        return;
    }
    result =
        connection.service->Connect(EmptyVariant(), EmptyVariant(), EmptyVariant(), EmptyVariant());
    if (FAILED(result)) {
        connection.failure = ComError(operation, "Task Scheduler", result);
    }
}

bool IsMissing(HRESULT result)
{
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// Our folder; with `create`, made when missing. Without `create` a missing folder is an empty
// pointer and no error.
std::optional<Error> OpenFolder(ITaskService& service, ComPtr<ITaskFolder>& folder, bool create,
                                const std::string& operation)
{
    HRESULT result = service.GetFolder(Bstr(TaskFolderPath), folder.Out());
    if (SUCCEEDED(result)) {
        return std::nullopt;
    }
    if (!IsMissing(result)) {
        return ComError(operation, WideToUtf8(TaskFolderPath), result);
    }
    if (!create) {
        return std::nullopt;
    }
    ComPtr<ITaskFolder> root;
    result = service.GetFolder(Bstr(L"\\"), root.Out());
    if (SUCCEEDED(result)) {
        result = root->CreateFolder(Bstr(TaskFolderName), EmptyVariant(), folder.Out());
    }
    if (FAILED(result)) {
        return ComError("create", WideToUtf8(TaskFolderPath), result);
    }
    return std::nullopt;
}

std::string NextRunText(IRegisteredTask& task)
{
    DATE next = 0;
    SYSTEMTIME time{};
    if (FAILED(task.get_NextRunTime(&next)) || next == 0 || !VariantTimeToSystemTime(next, &time)) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute);
    return text;
}

ListedJob ListedJobOf(IRegisteredTask& task, std::uint32_t id, bool details)
{
    ListedJob listed;
    listed.id = id;
    Bstr xml;
    if (details && SUCCEEDED(task.get_Xml(xml.Out()))) {
        listed.job = JobOfTaskXml(xml.Utf8()).value_or(JobInfo{});
    }
    if (details) {
        listed.nextRun = NextRunText(task);
    }
    return listed;
}

// The names of the files in the service's store of our folder. Where the service cannot list
// a folder's tasks (Wine answers E_NOTIMPL) these are the candidates, each then asked for.
std::vector<std::string> StoredTaskNames()
{
    const std::wstring store = WindowsFolder() + L"\\System32\\Tasks" + TaskFolderPath;
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((store + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(WideToUtf8(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The folder's tasks of ours, in increasing id order; with `details`, their jobs and next run.
Result<std::vector<ListedJob>> TasksOf(ITaskFolder& folder, bool details)
{
    std::vector<ListedJob> jobs;
    ComPtr<IRegisteredTaskCollection> tasks;
    LONG count = 0;
    HRESULT result = folder.GetTasks(TASK_ENUM_HIDDEN, tasks.Out());
    if (SUCCEEDED(result)) {
        result = tasks->get_Count(&count);
    }
    for (LONG index = 1; SUCCEEDED(result) && index <= count; ++index) {
        const VARIANT item = com::LongArgument(index);
        ComPtr<IRegisteredTask> task;
        Bstr name;
        if (FAILED(tasks->get_Item(item, task.Out())) || FAILED(task->get_Name(name.Out()))) {
            continue;
        }
        if (const std::optional<std::uint32_t> id = IdOfTaskName(name.Utf8())) {
            jobs.push_back(ListedJobOf(*task, *id, details));
        }
    }
    if (result == E_NOTIMPL) {
        for (const std::string& name : StoredTaskNames()) {
            ComPtr<IRegisteredTask> task;
            const std::optional<std::uint32_t> id = IdOfTaskName(name);
            if (id && SUCCEEDED(folder.GetTask(Bstr(Utf8ToWide(name)), task.Out()))) {
                jobs.push_back(ListedJobOf(*task, *id, details));
            }
        }
        result = S_OK;
    }
    if (FAILED(result)) {
        return ComError("list", WideToUtf8(TaskFolderPath), result);
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const ListedJob& a, const ListedJob& b) { return a.id < b.id; });
    return jobs;
}

Result<std::uint32_t> AddTask(ITaskService& service, const JobInfo& job)
{
    ComPtr<ITaskFolder> folder;
    if (auto failure = OpenFolder(service, folder, true, "add")) {
        return *failure;
    }
    const Result<std::vector<ListedJob>> existing = TasksOf(*folder, false);
    if (!existing) {
        return existing.error();
    }
    const std::uint32_t id = existing->empty() ? 1 : existing->back().id + 1;
    const Result<std::string> xml = TaskXmlOf(job, LocalNow(), CurrentUser());
    if (!xml) {
        return xml.error();
    }
    ComPtr<IRegisteredTask> task;
    const HRESULT result = folder->RegisterTask(
        Bstr(Utf8ToWide(TaskName(id))), Bstr(Utf8ToWide(*xml)), TASK_CREATE, EmptyVariant(),
        EmptyVariant(), TASK_LOGON_INTERACTIVE_TOKEN, EmptyVariant(), task.Out());
    if (FAILED(result)) {
        return ComError("add", TaskPath(id), result);
    }
    return id;
}

std::optional<Error> RemoveTask(ITaskService& service, std::uint32_t id)
{
    ComPtr<ITaskFolder> folder;
    if (auto failure = OpenFolder(service, folder, false, "remove")) {
        return failure;
    }
    if (!folder) {
        return NoSuchJob(id);
    }
    const Result<std::vector<ListedJob>> existing = TasksOf(*folder, false);
    if (!existing) {
        return existing.error();
    }
    if (std::none_of(existing->begin(), existing->end(),
                     [id](const ListedJob& each) { return each.id == id; })) {
        return NoSuchJob(id);
    }
    const HRESULT result = folder->DeleteTask(Bstr(Utf8ToWide(TaskName(id))), 0);
    if (FAILED(result)) {
        return ComError("remove", TaskPath(id), result);
    }
    return std::nullopt;
}

// --- the AT service --------------------------------------------------------------------

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle()
    {
        if (handle_ != nullptr) {
            CloseServiceHandle(handle_);
        }
    }
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

// "C:\Program Files\Kestrel\kestrelbak.exe" sf=... split into program and arguments.
JobInfo JobOfAtInfo(const AT_ENUM& entry)
{
    JobInfo job;
    job.JobTime = static_cast<std::uint32_t>(entry.JobTime);
    job.DaysOfMonth = entry.DaysOfMonth;
    job.DaysOfWeek = entry.DaysOfWeek;
    job.Flags = entry.Flags & JobRunPeriodically;
    job.Command = entry.Command ? WideToUtf8(entry.Command) : "";
    if (job.Command.size() > 1 && job.Command[0] == '"') {
        const std::size_t close = job.Command.find('"', 1);
        if (close != std::string::npos) {
            job.Program = job.Command.substr(1, close - 1);
            const std::size_t start =
                close + 1 < job.Command.size() && job.Command[close + 1] == ' ' ? close + 2
                                                                                : close + 1;
            job.Arguments = job.Command.substr(std::min(start, job.Command.size()));
        }
    }
    return job;
}

bool IsOurs(const AT_ENUM& entry)
{
    if (entry.Command == nullptr) {
        return false;
    }
    std::wstring command = entry.Command;
    std::transform(command.begin(), command.end(), command.begin(), towlower);
    return command.find(std::wstring(OurProgram) + L"\"") != std::wstring::npos;
}

Result<std::vector<ListedJob>> AtJobs()
{
    std::vector<ListedJob> jobs;
    DWORD resume = 0;
    NET_API_STATUS status = 0;
    do {
        AT_ENUM* entries = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetScheduleJobEnum(nullptr, reinterpret_cast<LPBYTE*>(&entries),
                                    MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            NetApiBufferFree(entries);
            return NetError("list", "AT jobs", status);
        }
        for (DWORD i = 0; i < read; ++i) {
            if (IsOurs(entries[i])) {
                jobs.push_back({entries[i].JobId, JobOfAtInfo(entries[i]), {}});
            }
        }
        NetApiBufferFree(entries);
    } while (status == ERROR_MORE_DATA);
    std::sort(jobs.begin(), jobs.end(),
              [](const ListedJob& a, const ListedJob& b) { return a.id < b.id; });
    return jobs;
}

}  // namespace

std::optional<Error> ScheduleServiceNotRunning(const std::string& operation,
                                               const std::string& service)
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.get() == nullptr) {
        return SystemError(operation, "service control manager", static_cast<long>(GetLastError()));
    }
    const ServiceHandle handle(
        OpenServiceW(manager.get(), Utf8ToWide(service).c_str(), SERVICE_QUERY_STATUS));
    if (handle.get() == nullptr) {
        return SystemError(operation, service + " service", static_cast<long>(GetLastError()));
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(handle.get(), &status)) {
        return SystemError(operation, service + " service", static_cast<long>(GetLastError()));
    }
    if (status.dwCurrentState != SERVICE_RUNNING) {
        return Error{operation, "AT job", 0,
                     "the Task Scheduler service (" + service + ") is not running"};
    }
    return std::nullopt;
}

Result<std::uint32_t> AtScheduler::Add(const JobInfo& job)
{
    if (auto stopped = ScheduleServiceNotRunning("add", service_)) {
        return *stopped;
    }
    if (job.OnceYear != 0 && (job.DaysOfWeek & 0x7F) == 0) {
        return Error{"add", "AT job", 0,
                     "the AT service runs a job at the next time it comes round, not on a date"};
    }
    std::wstring command = Utf8ToWide(job.Command);
    AT_INFO info{};
    info.JobTime = job.JobTime;
    info.DaysOfMonth = job.DaysOfMonth;
    info.DaysOfWeek = job.DaysOfWeek;
    info.Flags = job.Flags;
    info.Command = command.data();
    DWORD id = 0;
    const NET_API_STATUS status = NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&info), &id);
    if (status != NERR_Success) {
        return NetError("add", "AT job", status);
    }
    return static_cast<std::uint32_t>(id);
}

Result<std::vector<ListedJob>> AtScheduler::List()
{
    if (auto stopped = ScheduleServiceNotRunning("list", service_)) {
        return *stopped;
    }
    return AtJobs();
}

std::optional<Error> AtScheduler::Remove(std::uint32_t id)
{
    if (auto stopped = ScheduleServiceNotRunning("remove", service_)) {
        return stopped;
    }
    const Result<std::vector<ListedJob>> jobs = AtJobs();
    if (!jobs) {
        return jobs.error();
    }
    if (std::none_of(jobs->begin(), jobs->end(),
                     [id](const ListedJob& each) { return each.id == id; })) {
        return NoSuchJob(id);
    }
    const NET_API_STATUS status = NetScheduleJobDel(nullptr, id, id);
    if (status != NERR_Success) {
        return NetError("remove", "AT job " + std::to_string(id), status);
    }
    return std::nullopt;
}

Result<std::string> AtScheduler::ShowJobs()
{
    return OpenSchedulerTool();
}

Result<std::uint32_t> Win32Scheduler::Add(const JobInfo& job)
{
    // COM for the calls of one method; a thread that has it already (the windows' thread) keeps
    // its own.
    const com::ComThread apartment(COINIT_APARTMENTTHREADED);
    TaskService connection;
    Connect(connection, "add");
    if (connection.missing) {
        return AtScheduler().Add(job);
    }
    if (connection.failure) {
        return *connection.failure;
    }
    return AddTask(*connection.service, job);
}

Result<std::vector<ListedJob>> Win32Scheduler::List()
{
    const com::ComThread apartment(COINIT_APARTMENTTHREADED);
    TaskService connection;
    Connect(connection, "list");
    if (connection.missing) {
        return AtScheduler().List();
    }
    if (connection.failure) {
        return *connection.failure;
    }
    ComPtr<ITaskFolder> folder;
    if (auto failure = OpenFolder(*connection.service, folder, false, "list")) {
        return *failure;
    }
    if (!folder) {
        return std::vector<ListedJob>();
    }
    return TasksOf(*folder, true);
}

std::optional<Error> Win32Scheduler::Remove(std::uint32_t id)
{
    const com::ComThread apartment(COINIT_APARTMENTTHREADED);
    TaskService connection;
    Connect(connection, "remove");
    if (connection.missing) {
        return AtScheduler().Remove(id);
    }
    if (connection.failure) {
        return connection.failure;
    }
    return RemoveTask(*connection.service, id);
}

Result<std::string> Win32Scheduler::ShowJobs()
{
    return OpenSchedulerTool();
}

}  // namespace kestrel

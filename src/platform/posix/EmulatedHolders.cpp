#include "platform/posix/EmulatedHolders.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <optional>
#include <system_error>

#include "platform/NameCase.h"
#include "platform/posix/EnvironmentRoot.h"

extern char** environ;

namespace kestrel {
namespace {

struct HolderRecord {
    FileHolder holder;
    std::vector<std::string> files;
    std::vector<std::string> arguments;
};

std::filesystem::path ProcessFolder(const std::filesystem::path& root)
{
    return root / "processes";
}

std::filesystem::path RecordPath(const std::filesystem::path& root, std::uint32_t processId)
{
    return ProcessFolder(root) / (std::to_string(processId) + ".holder");
}

std::filesystem::path CloseRequestPath(const std::filesystem::path& root, std::uint32_t processId)
{
    return ProcessFolder(root) / (std::to_string(processId) + ".close");
}

// The argument vector as one line: an argument with a blank or a quote in quotes, a quote in it
// doubled. SplitArguments reads it back.
std::string JoinArguments(const std::vector<std::string>& arguments)
{
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        if (argument.find_first_of(" \"") == std::string::npos && !argument.empty()) {
            line += argument;
            continue;
        }
        line += '"';
        for (const char c : argument) {
            line += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        line += '"';
    }
    return line;
}

std::vector<std::string> SplitArguments(const std::string& line)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            current += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (c == ' ' && !quoted) {
            if (inArgument) {
                arguments.push_back(current);
            }
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    return arguments;
}

std::optional<HolderRecord> ReadRecord(const std::filesystem::path& file)
{
    std::ifstream in(file);
    if (!in) {
        return std::nullopt;
    }
    HolderRecord record;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "name") {
            record.holder.name = value;
        } else if (key == "pid") {
            record.holder.processId = static_cast<std::uint32_t>(std::stoul(value));
        } else if (key == "file") {
            record.files.push_back(value);
        } else if (key == "arg") {
            record.arguments.push_back(value);
        }
    }
    record.holder.commandLine = JoinArguments(record.arguments);
    if (record.holder.processId == 0) {
        return std::nullopt;
    }
    return record;
}

bool ProcessAlive(std::uint32_t processId)
{
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

// The file's lock is taken by someone: the holder still has it open.
bool LockTaken(const std::filesystem::path& native)
{
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool taken = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return taken;
}

std::vector<HolderRecord> LiveRecords(const std::filesystem::path& root)
{
    std::vector<HolderRecord> records;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ProcessFolder(root), error)) {
        if (entry.path().extension() != ".holder") {
            continue;
        }
        std::optional<HolderRecord> record;
        try {
            record = ReadRecord(entry.path());
        } catch (const std::exception&) {
            continue;  // a record being written, or not one
        }
        if (record && ProcessAlive(record->holder.processId)) {
            records.push_back(std::move(*record));
        }
    }
    return records;
}

std::optional<HolderRecord> RecordOf(const std::filesystem::path& root, std::uint32_t processId)
{
    for (HolderRecord& record : LiveRecords(root)) {
        if (record.holder.processId == processId) {
            return std::move(record);
        }
    }
    return std::nullopt;
}

}  // namespace

EmulatedHolders::EmulatedHolders(std::filesystem::path root) : root_(std::move(root))
{
}

std::vector<FileHolder> EmulatedHolders::HoldersOf(const std::string& path)
{
    std::vector<FileHolder> holders;
    const auto native = MapWindowsPath(root_, path);
    if (!native || !LockTaken(*native)) {
        return holders;
    }
    for (const HolderRecord& record : LiveRecords(root_)) {
        for (const std::string& file : record.files) {
            if (EqualsIgnoringCase(file, path) &&
                record.holder.processId != static_cast<std::uint32_t>(getpid())) {
                holders.push_back(record.holder);
                break;
            }
        }
    }
    return holders;
}

bool EmulatedHolders::AskToClose(const FileHolder& holder)
{
    if (!RecordOf(root_, holder.processId)) {
        return false;
    }
    std::ofstream request(CloseRequestPath(root_, holder.processId));
    return static_cast<bool>(request);
}

bool EmulatedHolders::IsRunning(const FileHolder& holder)
{
    return RecordOf(root_, holder.processId).has_value();
}

bool EmulatedHolders::StartAgain(const FileHolder& holder)
{
    std::vector<std::string> arguments = SplitArguments(holder.commandLine);
    if (arguments.empty()) {
        return false;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // Detached from this program's session and standard streams, as a program the user starts:
    // it outlives this run and holds nobody's pipe open.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int stream = 0; stream < 3; ++stream) {
        posix_spawn_file_actions_addopen(&actions, stream, "/dev/null",
                                         stream == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int result = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return result == 0;
}

namespace {

std::string OwnPath()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

std::uint32_t OwnProcessId()
{
    return static_cast<std::uint32_t>(getpid());
}

}  // namespace

bool RecordHolder(const std::filesystem::path& root, const std::string& name,
                  const std::vector<std::string>& files, const std::vector<std::string>& arguments)
{
    std::error_code error;
    std::filesystem::create_directories(ProcessFolder(root), error);
    const std::filesystem::path record = RecordPath(root, OwnProcessId());
    const std::filesystem::path partial = record.string() + ".part";
    {
        std::ofstream out(partial);
        out << "name=" << name << "\npid=" << getpid() << "\n";
        for (const std::string& file : files) {
            out << "file=" << file << "\n";
        }
        out << "arg=" << OwnPath() << "\n";
        for (const std::string& argument : arguments) {
            out << "arg=" << argument << "\n";
        }
        if (!out.flush()) {
            return false;
        }
    }
    std::filesystem::rename(partial, record, error);
    return !error;
}

bool TakeCloseRequest(const std::filesystem::path& root)
{
    const std::filesystem::path request = CloseRequestPath(root, OwnProcessId());
    std::error_code error;
    if (!std::filesystem::exists(request, error)) {
        return false;
    }
    std::filesystem::remove(request, error);
    return true;
}

void RemoveHolderRecord(const std::filesystem::path& root)
{
    std::error_code error;
    std::filesystem::remove(RecordPath(root, OwnProcessId()), error);
}

}  // namespace kestrel

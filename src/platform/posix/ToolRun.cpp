#include "platform/posix/ToolRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

extern char** environ;

namespace kestrel {
namespace {

class Pipe {
public:
    Pipe() = default;
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Both ends close on exec: only the child's own copies (dup2) stay open in it, and no
    // program started from another thread inherits them.
    bool Open() { return pipe2(ends_, O_CLOEXEC) == 0; }
    int Read() const { return ends_[0]; }
    int Write() const { return ends_[1]; }
    void CloseRead() { Close(ends_[0]); }
    void CloseWrite() { Close(ends_[1]); }
    // The write end, which the caller closes from now on.
    int ReleaseWrite() { return std::exchange(ends_[1], -1); }

private:
    static void Close(int& end)
    {
        if (end >= 0) {
            close(end);
            end = -1;
        }
    }

    int ends_[2] = {-1, -1};
};

// Writes all of `input` and closes the pipe; a program that stops reading early only ends
// the writing (EPIPE instead of SIGPIPE, which is blocked for this thread alone).
void Feed(int end, const std::string& input)
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t count = write(end, input.data() + written, input.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    close(end);
}

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

Result<ToolOutput> RunTool(const std::vector<std::string>& argv, const std::string& input)
{
    Pipe in;
    Pipe out;
    Pipe err;
    if (!in.Open() || !out.Open() || !err.Open()) {
        return SystemError("start", argv.front(), errno);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.Read(), 0);
    posix_spawn_file_actions_adddup2(&actions, out.Write(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.Write(), 2);
    std::vector<std::string> arguments = argv;
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    pid_t child = 0;
    const int spawned =
        posix_spawnp(&child, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return SystemError("start", argv.front(), spawned);
    }
    in.CloseRead();
    out.CloseWrite();
    err.CloseWrite();

    std::thread feeder(Feed, in.ReleaseWrite(), input);

    ToolOutput output;
    pollfd ends[2] = {{out.Read(), POLLIN, 0}, {err.Read(), POLLIN, 0}};
    std::string* texts[2] = {&output.out, &output.err};
    int open = 2;
    while (open > 0) {
        if (poll(ends, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (ends[i].fd < 0 || ends[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t count = read(ends[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                ends[i].fd = -1;
                --open;
            }
        }
    }
    feeder.join();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return output;
}

Error ToolRefusal(const std::vector<std::string>& argv, const ToolOutput& output)
{
    std::string command;
    for (const std::string& argument : argv) {
        command += (command.empty() ? "" : " ") + argument;
    }
    std::string text = Trimmed(output.err);
    if (text.empty()) {
        text = "exited with status " + std::to_string(output.status);
    }
    return {"run", command, output.status, text};
}

}  // namespace kestrel

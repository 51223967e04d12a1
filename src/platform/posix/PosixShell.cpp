#include "platform/posix/PosixShell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>
#include <vector>

#include "platform/posix/EnvironmentRoot.h"

extern char** environ;

namespace kestrel {
namespace {

// Starts argv[0] (searched on PATH) and reaps it in the background, so the caller returns
// at once and no zombie is left.
bool Spawn(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    std::thread([child] {
        int status = 0;
        waitpid(child, &status, 0);
    }).detach();
    return true;
}

}  // namespace

std::string PosixShell::NativeTarget(const std::string& target) const
{
    if (auto mapped = MapWindowsPath(root_, target)) {
        return mapped->string();
    }
    return target;
}

bool PosixShell::OpenDocument(const std::string& target)
{
    return Spawn({"xdg-open", NativeTarget(target)});
}

bool PosixShell::StartProcess(const std::string& program, const std::string& arguments)
{
    std::string native = NativeTarget(program);
    if (native != program && !std::filesystem::exists(native)) {
        return false;  // posix_spawnp would search PATH for a mapped path that is missing
    }
    std::vector<std::string> argv{native};
    if (!arguments.empty()) {
        argv.push_back(arguments);
    }
    return Spawn(argv);
}

}  // namespace kestrel

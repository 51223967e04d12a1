// Starting programs through the Shell backend: a program that exists starts, one that does
// not is reported, on both systems.

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include "platform/win32/Win32Shell.h"
#else
#include "platform/posix/PosixShell.h"
#endif

namespace kestrel {
namespace {

struct ShellConformance : ::testing::Test {
#ifdef _WIN32
    Win32Shell shell;
    // Present on every Windows and in every Wine prefix.
    const std::string existingProgram = "C:\\windows\\system32\\cmd.exe";
    const std::string arguments = "/c exit 0";
    // Ends on its own without arguments (cmd.exe would wait for input).
    const std::string programWithoutArguments = "C:\\windows\\system32\\hostname.exe";
#else
    std::filesystem::path root = std::filesystem::temp_directory_path() / "kestrel-shell-root";
    PosixShell shell{root};
    const std::string existingProgram = "/bin/true";
    const std::string arguments = "ignored";
    const std::string programWithoutArguments = "/bin/true";
#endif
};

TEST_F(ShellConformance, StartsAProgramThatExistsAndReportsOneThatDoesNot)
{
    EXPECT_TRUE(shell.StartProcess(existingProgram, arguments));
    EXPECT_TRUE(shell.StartProcess(programWithoutArguments, ""));
    EXPECT_FALSE(shell.StartProcess("C:\\Kestrel\\no-such-folder\\hh.exe", "help.chm"));
}

}  // namespace
}  // namespace kestrel

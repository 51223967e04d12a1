#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/AppState.h"
#include "platform/Platform.h"

namespace kestrel {

// The arguments `kestrel backup` and `kestrel restore` share: where the password comes from,
// the item flags, the profile and the archive path.

enum class PasswordFrom { None, StandardInput, File };

// When arguments[i] is one of the password options, takes it (with its value, moving i past
// it) and returns true; `why` then says why it cannot be used, or stays empty. A password is
// never an argument: the process list shows arguments to every user of the machine.
bool TakePasswordOption(const std::vector<std::string>& arguments, std::size_t& i,
                        PasswordFrom& from, std::string& file, std::string& why);

// The password a line of text holds: up to its first line break, without a CR before it.
std::string PasswordLine(std::string_view text);

// The first line of standard input or of the file; nothing (with `why`) when the file cannot
// be read.
std::optional<std::string> ReadPassword(PasswordFrom from, const std::string& file,
                                        Platform& platform, std::string& why);

// Why `--items FLAGS` cannot be used (1 to 9 characters, each 0 or 1, at least one 1); empty
// when it can.
std::string ItemFlagsProblem(const std::string& flags);
// The same without the need for a 1: for a command that leaves "no item" to a check of its own.
std::string ItemFlagsFormatProblem(const std::string& flags);

// The N of "--keep N": 1 to 99; nothing for anything else.
std::optional<int> KeepArgument(const std::string& text);

// The profile as the registry spells it, found without regard to case as Windows finds keys.
std::optional<std::string> FindProfile(const AppState& state, const std::string& name);

// The profiles the state found, each in quotes, for a message.
std::string QuotedProfileNames(const AppState& state);

// An archive path as the tool takes it: a Windows path (drive letter or UNC) as given,
// anything else a host path, made absolute.
std::string ArchiveArgumentPath(const std::string& argument);

// Why an archive path as ArchiveArgumentPath made it cannot be a target: a path of this system
// (on Linux, one that starts with "/") holding "\"; empty when it can. Checked when the
// command is given, not when a job runs weeks later.
std::string HostTargetProblem(const std::string& path);

}  // namespace kestrel

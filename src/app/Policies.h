#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "outlook/HeldFiles.h"
#include "platform/RegistryApi.h"
#include "platform/SystemInfo.h"
#include "scheduler/ScheduledBackup.h"

namespace kestrel {

// The settings an administrator fixes for every user of a machine (through Group Policy, a
// management tool or the installer's properties), each either set or not configured. They are
// read from the policy key under HKEY_LOCAL_MACHINE, then under HKEY_CURRENT_USER: a value the
// machine sets wins over the user's. The key is not the program's own settings key, and the
// program never writes it, so no window of ours can undo what the administrator set.
inline constexpr const char* PoliciesSubKey = "Software\\Policies\\Kestrel";

// The value names, as the administrative templates and the installer write them.
namespace policy {
inline constexpr const char* Target = "Target";                          // text
inline constexpr const char* Days = "Days";                              // "daily", "mon,wed,fri"
inline constexpr const char* Time = "Time";                              // "HH:MM"
inline constexpr const char* Keep = "Keep";                              // DWORD 1 to 99
inline constexpr const char* Differential = "Differential";              // DWORD 0/1
inline constexpr const char* Items = "Items";                            // "101100000"
inline constexpr const char* PasswordRequired = "PasswordRequired";      // DWORD 0/1
inline constexpr const char* VerifyAfterWriting = "VerifyAfterWriting";  // DWORD 0/1
inline constexpr const char* AllowRestore = "AllowRestore";              // DWORD 0/1
inline constexpr const char* AllowDisc = "AllowDisc";                    // DWORD 0/1
inline constexpr const char* WhenOutlookRuns = "WhenOutlookRuns";  // "close", "snapshot", "skip"
}  // namespace policy

// The text a control whose value a policy sets shows beside it, and the refusals start with.
inline constexpr const char* SetByAdministrator = "Set by your administrator";

inline constexpr const char* RestoreTurnedOff = "Restoring is turned off by your administrator.";
inline constexpr const char* DiscTurnedOff = "Writing discs is turned off by your administrator.";

struct Policies {
    // The archive path with %USERNAME%, %COMPUTERNAME% and the user's folders expanded.
    std::optional<std::string> target;
    std::optional<WeekdayBoxes> days;
    // "H:MM", as the options window's start times are spelt.
    std::optional<std::string> time;
    std::optional<int> keep;
    std::optional<bool> differential;
    std::optional<ItemBoxes> items;
    std::optional<bool> passwordRequired;
    std::optional<bool> verifyAfterWriting;
    std::optional<IfOutlookRuns> whenOutlookRuns;
    std::optional<bool> allowRestore;
    std::optional<bool> allowDisc;
    // "HKEY_LOCAL_MACHINE\...\Keep: ..." for each value that is there but cannot be used (a
    // wrong type, a number out of range, a path with a variable left unexpanded). Such a value
    // counts as not configured, and the user's own value of the same name is not taken in its
    // place: the administrator meant to set it.
    std::vector<std::string> unusable;

    // Whether the schedule of a backup is set for every user: days, time and target.
    bool SetsSchedule() const { return days && time && target; }
    bool RestoreAllowed() const { return allowRestore.value_or(true); }
    bool DiscAllowed() const { return allowDisc.value_or(true); }
};

// The policies as the registry holds them now. `system` expands the target's variables; without
// it a target holding one is unusable.
Policies ReadPolicies(RegistryApi& registry, SystemInfo* system);

// The readers of the text values, for the template's and the installer's spellings. Nothing for
// a text they do not accept.
std::optional<WeekdayBoxes> PolicyDays(const std::string& text);
std::optional<std::string> PolicyTime(const std::string& text);
std::optional<ItemBoxes> PolicyItems(const std::string& text);
std::optional<IfOutlookRuns> PolicyOutlookWay(const std::string& text);

// What a command line asks for that a policy may decide; nothing for what it leaves open.
struct CommandLineChoices {
    std::optional<std::string> target;
    std::optional<WeekdayBoxes> days;
    std::optional<std::string> time;
    std::optional<int> keep;
    std::optional<ItemBoxes> items;
    // Whether a password was given.
    std::optional<bool> protect;
    std::optional<bool> verify;
    std::optional<IfOutlookRuns> outlookWay;
};

// Why the command line cannot have its choices: the first option a policy sets to another
// value, as "--keep is set by your administrator to 5"; empty when the policies allow them.
std::string PolicyOverride(const Policies& policies, const CommandLineChoices& choices);

// Why the main window's backup cannot run as chosen, as its message says it: the first of the
// target, the items and the password that a policy sets otherwise; empty when none.
std::string WindowBackupRefusal(const Policies& policies, const std::string& target,
                                const ItemBoxes& items, bool protect);

// "Target=C:\..., Keep=3, ...": the policies that are set, in the order of the value names, for
// the log of a run that follows them; empty when none is.
std::string PoliciesLogText(const Policies& policies);

}  // namespace kestrel

#include "app/Policies.h"

#include <array>
#include <cstdint>

#include "platform/NameCase.h"
#include "platform/RegistryRead.h"

namespace kestrel {
namespace {

// What one value of the policy key holds under the first root that has it.
struct PolicyValue {
    std::string where;  // "HKEY_LOCAL_MACHINE\Software\Policies\Kestrel\Keep"
    std::optional<std::string> text;
    std::optional<std::uint32_t> number;
};

class PolicyReader {
public:
    PolicyReader(RegistryApi& registry, Policies& policies)
        : registry_(registry), policies_(policies)
    {
    }

    // The value under the machine's key, else the user's; nothing when neither has it.
    std::optional<PolicyValue> Find(const char* name)
    {
        for (const auto& [root, rootName] :
             {std::pair{reg::HkeyLocalMachine, "HKEY_LOCAL_MACHINE\\"},
              std::pair{reg::HkeyCurrentUser, "HKEY_CURRENT_USER\\"}}) {
            PolicyValue value;
            value.where = std::string(rootName) + PoliciesSubKey + "\\" + name;
            value.text = ReadRegistryString(registry_, root, PoliciesSubKey, name);
            value.number = ReadRegistryDword(registry_, root, PoliciesSubKey, name);
            if (value.text || value.number) {
                return value;
            }
        }
        return std::nullopt;
    }

    template <typename T, typename Parse>
    void Text(const char* name, std::optional<T>& into, Parse parse)
    {
        const std::optional<PolicyValue> value = Find(name);
        if (!value) {
            return;
        }
        if (value->text) {
            into = parse(*value->text);
        }
        if (!into) {
            Unusable(*value, value->text ? "\"" + *value->text + "\" cannot be used"
                                         : std::string("is not text"));
        }
    }

    void Switch(const char* name, std::optional<bool>& into)
    {
        const std::optional<PolicyValue> value = Find(name);
        if (!value) {
            return;
        }
        if (value->number && *value->number <= 1) {
            into = *value->number == 1;
        } else {
            Unusable(*value, value->number ? std::to_string(*value->number) + " is neither 0 nor 1"
                                           : std::string("is not a DWORD"));
        }
    }

    void Keep()
    {
        const std::optional<PolicyValue> value = Find(policy::Keep);
        if (!value) {
            return;
        }
        if (value->number && *value->number >= 1 && *value->number <= KeepAtMost) {
            policies_.keep = static_cast<int>(*value->number);
        } else {
            Unusable(*value, value->number ? std::to_string(*value->number) + " is not 1 to 99"
                                           : std::string("is not a DWORD"));
        }
    }

private:
    void Unusable(const PolicyValue& value, const std::string& why)
    {
        policies_.unusable.push_back(value.where + ": " + why);
    }

    RegistryApi& registry_;
    Policies& policies_;
};

bool IsFullWindowsPath(const std::string& path)
{
    const bool drive = path.size() >= 3 &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && path[2] == '\\';
    return drive || path.rfind("\\\\", 0) == 0;
}

// The path with its variables expanded; nothing when one is left (a folder named "%TEAM%" is
// not what the administrator meant), or when it is not a full path the job can reach.
std::optional<std::string> ExpandedTarget(const std::string& text, SystemInfo* system)
{
    const std::string expanded = system ? system->ExpandEnvironmentText(text) : text;
    // A "=" would shift the fields of the job's argument text.
    if (expanded.find_first_of("%=") != std::string::npos || !IsFullWindowsPath(expanded)) {
        return std::nullopt;
    }
    return expanded;
}

const char* OutlookWayText(IfOutlookRuns way)
{
    switch (way) {
        case IfOutlookRuns::Snapshot:
            return "snapshot";
        case IfOutlookRuns::Skip:
            return "skip";
        default:
            return "close";
    }
}

}  // namespace

std::optional<WeekdayBoxes> PolicyDays(const std::string& text)
{
    if (EqualsIgnoringCase(text, "daily")) {
        WeekdayBoxes days{};
        days.fill(true);
        return days;
    }
    return WeekdaysOf(text, WeekdayNames::Short);
}

std::optional<std::string> PolicyTime(const std::string& text)
{
    const std::optional<std::uint32_t> milliseconds = JobTimeOf(text);
    if (!milliseconds) {
        return std::nullopt;
    }
    const std::uint32_t minutes = *milliseconds / 60000;
    const std::uint32_t minute = minutes % 60;
    return std::to_string(minutes / 60) + (minute < 10 ? ":0" : ":") + std::to_string(minute);
}

std::optional<ItemBoxes> PolicyItems(const std::string& text)
{
    if (text.empty() || text.size() > ItemBoxCount ||
        text.find_first_not_of("01") != std::string::npos || text.find('1') == std::string::npos) {
        return std::nullopt;
    }
    ItemBoxes items{};
    for (std::size_t box = 0; box < text.size(); ++box) {
        items[box] = text[box] == '1';
    }
    return items;
}

std::optional<IfOutlookRuns> PolicyOutlookWay(const std::string& text)
{
    for (const IfOutlookRuns way :
         {IfOutlookRuns::Close, IfOutlookRuns::Snapshot, IfOutlookRuns::Skip}) {
        if (EqualsIgnoringCase(text, OutlookWayText(way))) {
            return way;
        }
    }
    return std::nullopt;
}

Policies ReadPolicies(RegistryApi& registry, SystemInfo* system)
{
    Policies policies;
    PolicyReader reader(registry, policies);
    reader.Text(policy::Target, policies.target,
                [system](const std::string& text) { return ExpandedTarget(text, system); });
    reader.Text(policy::Days, policies.days, PolicyDays);
    reader.Text(policy::Time, policies.time, PolicyTime);
    reader.Keep();
    reader.Switch(policy::Differential, policies.differential);
    reader.Text(policy::Items, policies.items, PolicyItems);
    reader.Switch(policy::PasswordRequired, policies.passwordRequired);
    reader.Switch(policy::VerifyAfterWriting, policies.verifyAfterWriting);
    reader.Switch(policy::AllowRestore, policies.allowRestore);
    reader.Switch(policy::AllowDisc, policies.allowDisc);
    reader.Text(policy::WhenOutlookRuns, policies.whenOutlookRuns, PolicyOutlookWay);
    return policies;
}

std::string PolicyOverride(const Policies& policies, const CommandLineChoices& choices)
{
    const std::string set = " is set by your administrator to ";
    if (policies.items && choices.items && *choices.items != *policies.items) {
        return "--items" + set + ItemFlagsOf(*policies.items);
    }
    if (policies.target && choices.target &&
        !EqualsIgnoringCase(*choices.target, *policies.target)) {
        return "the archive" + set + "\"" + *policies.target + "\"";
    }
    if (policies.days && choices.days && *choices.days != *policies.days) {
        return "--days" + set + DayCodesOf(*policies.days);
    }
    if (policies.time && choices.time && PolicyTime(*choices.time) != policies.time) {
        return "--time" + set + *policies.time;
    }
    if (policies.keep && choices.keep && *choices.keep != *policies.keep) {
        return "--keep" + set + std::to_string(*policies.keep);
    }
    if (policies.passwordRequired.value_or(false) && choices.protect && !*choices.protect) {
        return "a password is required by your administrator: give --password-stdin or "
               "--password-file";
    }
    if (policies.verifyAfterWriting && choices.verify &&
        *choices.verify != *policies.verifyAfterWriting) {
        return std::string("--verify is turned ") + (*policies.verifyAfterWriting ? "on" : "off") +
               " by your administrator";
    }
    if (policies.whenOutlookRuns && choices.outlookWay &&
        *choices.outlookWay != *policies.whenOutlookRuns) {
        return "--if-outlook-runs" + set + OutlookWayText(*policies.whenOutlookRuns);
    }
    return {};
}

std::string WindowBackupRefusal(const Policies& policies, const std::string& target,
                                const ItemBoxes& items, bool protect)
{
    const std::string set = std::string(SetByAdministrator) + ": ";
    if (policies.target && !EqualsIgnoringCase(target, *policies.target)) {
        return set + "backups go to \"" + *policies.target + "\".";
    }
    if (policies.items && items != *policies.items) {
        return set + "the items backed up are " + ItemFlagsOf(*policies.items) +
               " (one 0 or 1 per item, in the order of the boxes).";
    }
    if (policies.passwordRequired.value_or(false) && !protect) {
        return set + "a backup must have a password.";
    }
    return {};
}

std::string PoliciesLogText(const Policies& policies)
{
    std::string text;
    const auto add = [&text](const char* name, const std::string& value) {
        text += (text.empty() ? "" : ", ") + std::string(name) + "=" + value;
    };
    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    if (policies.target) {
        add(policy::Target, *policies.target);
    }
    if (policies.days) {
        add(policy::Days, DayCodesOf(*policies.days));
    }
    if (policies.time) {
        add(policy::Time, *policies.time);
    }
    if (policies.keep) {
        add(policy::Keep, std::to_string(*policies.keep));
    }
    if (policies.differential) {
        add(policy::Differential, flag(*policies.differential));
    }
    if (policies.items) {
        add(policy::Items, ItemFlagsOf(*policies.items));
    }
    if (policies.passwordRequired) {
        add(policy::PasswordRequired, flag(*policies.passwordRequired));
    }
    if (policies.verifyAfterWriting) {
        add(policy::VerifyAfterWriting, flag(*policies.verifyAfterWriting));
    }
    if (policies.allowRestore) {
        add(policy::AllowRestore, flag(*policies.allowRestore));
    }
    if (policies.allowDisc) {
        add(policy::AllowDisc, flag(*policies.allowDisc));
    }
    if (policies.whenOutlookRuns) {
        add(policy::WhenOutlookRuns, OutlookWayText(*policies.whenOutlookRuns));
    }
    return text;
}

}  // namespace kestrel

// kestrel profiles [--json]: the current environment's Outlook profiles, where each keeps its
// items, the data files its store sections name (what "Personal Folders" will hold) and which
// item boxes the backup tab offers for it. The figures come from the same
// start-up and discovery calls the main window makes, so they are what the window shows; a
// script uses them to choose the item flags of a scheduled backup.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/MainWindowTexts.h"
#include "app/Startup.h"
#include "cli/JsonText.h"
#include "cli/PrintedMessages.h"
#include "cli/ToolCommands.h"
#include "outlook/DataStorePaths.h"
#include "outlook/ProfileDiscovery.h"
#include "registry/RegistryAccess.h"

namespace kestrel {
namespace {

constexpr const char* Usage = "usage: kestrel profiles [--json]\n";

struct ItemReport {
    bool enabled = false;
    std::string toolTip;
};

struct DataFileReport {
    std::string path;
    bool exists = false;
    std::uint64_t size = 0;
};

struct ProfileReport {
    std::string name;
    ProfileLocations locations;
    std::array<ItemReport, ItemBoxCount> items;
    std::vector<DataFileReport> dataFiles;
};

// As the data-file collector finds them: a file counts when it exists, hidden or not.
std::vector<DataFileReport> ReportDataFiles(const DiscoveryContext& context,
                                            const std::string& name, RegistryAccess& registry,
                                            FileSystem& fileSystem)
{
    std::vector<DataFileReport> files;
    for (const std::string& path :
         ProfileDataFilePaths(registry, context.ProfilesRootKey + "\\" + name)) {
        DataFileReport file{path, NamedFileExists(fileSystem, path), 0};
        const auto facts = fileSystem.Stat(path);
        if (file.exists && facts) {
            file.size = facts->size;
        }
        files.push_back(file);
    }
    return files;
}

ProfileReport ReportProfile(const DiscoveryContext& context, const std::string& name,
                            RegistryAccess& registry, FileSystem& fileSystem)
{
    ProfileReport report{name,
                         LocateProfileItems(context, name, registry),
                         {},
                         ReportDataFiles(context, name, registry, fileSystem)};
    const ItemAvailability available =
        FindAvailableItems(context, name, report.locations, registry, fileSystem);
    for (std::size_t box = 0; box < report.items.size(); ++box) {
        report.items[box].enabled = available.enabled[box];
    }
    report.items[AddressBookBox].toolTip = available.addressBookToolTip.value_or("");
    return report;
}

std::vector<std::pair<const char*, const std::string*>> LocationFields(const ProfileLocations& l)
{
    return {{"AccountKeyPath", &l.AccountKeyPath},       {"SignaturesFolder", &l.SignaturesFolder},
            {"StationeryFolder", &l.StationeryFolder},   {"RulesFolder", &l.RulesFolder},
            {"OptionsKeyPath", &l.OptionsKeyPath},       {"TemplatesFolder", &l.TemplatesFolder},
            {"PreferencesFolder", &l.PreferencesFolder}, {"ContactsFolder", &l.ContactsFolder}};
}

void PrintJson(const AppState& state, const std::vector<ProfileReport>& profiles)
{
    std::printf(
        "{\n  \"windowsVersion\": %s,\n  \"outlookVersion\": %s,\n"
        "  \"profilesRootKey\": %s,\n  \"profiles\": [",
        JsonString(state.WindowsVersion).c_str(), JsonString(state.OutlookShortVersion).c_str(),
        JsonString(state.ProfilesRootKey).c_str());
    for (std::size_t p = 0; p < profiles.size(); ++p) {
        const ProfileReport& profile = profiles[p];
        std::printf("%s\n    {\n      \"name\": %s,\n      \"locations\": {", p ? "," : "",
                    JsonString(profile.name).c_str());
        const auto fields = LocationFields(profile.locations);
        for (std::size_t f = 0; f < fields.size(); ++f) {
            std::printf("%s\n        \"%s\": %s", f ? "," : "", fields[f].first,
                        JsonString(*fields[f].second).c_str());
        }
        std::printf("\n      },\n      \"dataFiles\": [");
        for (std::size_t f = 0; f < profile.dataFiles.size(); ++f) {
            const DataFileReport& file = profile.dataFiles[f];
            std::printf("%s\n        {\"path\": %s, \"exists\": %s, \"size\": %llu}", f ? "," : "",
                        JsonString(file.path).c_str(), file.exists ? "true" : "false",
                        static_cast<unsigned long long>(file.size));
        }
        std::printf("%s],\n      \"items\": [", profile.dataFiles.empty() ? "" : "\n      ");
        for (std::size_t box = 0; box < profile.items.size(); ++box) {
            const ItemReport& item = profile.items[box];
            std::printf(
                "%s\n        {\"box\": %zu, \"caption\": %s, \"enabled\": %s, "
                "\"toolTip\": %s}",
                box ? "," : "", box, JsonString(texts::ItemCaptions[box]).c_str(),
                item.enabled ? "true" : "false", JsonString(item.toolTip).c_str());
        }
        std::printf("\n      ]\n    }");
    }
    std::printf("%s]\n}\n", profiles.empty() ? "" : "\n  ");
}

void PrintText(const AppState& state, const std::vector<ProfileReport>& profiles)
{
    std::printf("Windows version: %s\nOutlook version: %s\nProfiles root: %s\n",
                state.WindowsVersion.c_str(), state.OutlookShortVersion.c_str(),
                state.ProfilesRootKey.c_str());
    for (const ProfileReport& profile : profiles) {
        std::printf("\nProfile \"%s\"\n", profile.name.c_str());
        for (const auto& [name, value] : LocationFields(profile.locations)) {
            std::printf("  %-18s %s\n", name, value->c_str());
        }
        for (const DataFileReport& file : profile.dataFiles) {
            if (file.exists) {
                std::printf("  %-18s %s (%llu bytes)\n", "DataFile", file.path.c_str(),
                            static_cast<unsigned long long>(file.size));
            } else {
                std::printf("  %-18s %s (missing)\n", "DataFile", file.path.c_str());
            }
        }
        for (std::size_t box = 0; box < profile.items.size(); ++box) {
            const ItemReport& item = profile.items[box];
            std::printf("  [%c] %zu %s%s%s\n", item.enabled ? 'x' : ' ', box,
                        texts::ItemCaptions[box], item.toolTip.empty() ? "" : " -- ",
                        item.toolTip.c_str());
        }
    }
}

}  // namespace

int RunProfilesCommand(const std::vector<std::string>& arguments, Platform& platform)
{
    const bool json = arguments.size() == 1 && arguments[0] == "--json";
    if (!arguments.empty() && !json) {
        std::fputs(Usage, stderr);
        return 2;
    }
    AppState state;
    PrintedMessages messages;
    LoadSharedState(state, platform, messages);
    if (state.NoOutlookFlag) {
        messages.Show(texts::NoOutlook, texts::ApplicationTitle, MessageIcon::Stop,
                      MessageButtons::Ok);
        return 1;
    }
    RegistryAccess registry(*platform.registry, messages);
    std::vector<ProfileReport> profiles;
    for (const std::string& name : state.ProfileNames) {
        profiles.push_back(
            ReportProfile(DiscoveryContextOf(state), name, registry, *platform.fileSystem));
    }
    if (json) {
        PrintJson(state, profiles);
    } else {
        PrintText(state, profiles);
    }
    return 0;
}

}  // namespace kestrel

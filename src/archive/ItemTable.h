#pragma once

#include <array>
#include <string>

namespace kestrel {

// The eleven kinds of item a backup holds, in the one order that the info key "BackupItem",
// the backup and restore runs and their collectors and restorers all follow.

inline constexpr int ItemCount = 11;
inline constexpr int ItemBoxCount = 9;  // backupitem / restoreitem boxes 0 to 8
inline constexpr int NoBox = -1;

struct ItemKind {
    const char* name;
    // The item's own check box, or NoBox for the two that come with another one.
    int box;
    // The boxes that make the item run (one bit per box index).
    unsigned runsWithBoxes;
    const char* collector;
    const char* infoKey;
    // Prefix of the temporary export file for registry items; null for file items.
    const char* exportPrefix;
    const char* statusText;
    // The line title in the result message; null for the items that have none.
    const char* reportTitle;
};

constexpr unsigned Box(int index)
{
    return 1u << index;
}

inline constexpr std::array<ItemKind, ItemCount> ItemTable{{
    {"Config", NoBox, Box(0) | Box(1) | Box(4), "BackupConfig", "BackupConfig", "OBC",
     "Copying Config...", nullptr},
    {"Datas", 0, Box(0), "BackupDatas", "BackupDatas", nullptr, "Copying Data Files (Pst Files)...",
     "Backup Personal Folders"},
    {"Rules", NoBox, Box(0), "BackupRules", "BackupRules", nullptr, "Copying Rules...", nullptr},
    {"Accounts", 1, Box(1), "BackupAccounts", "BackupAccounts", "OBA", "Copying Accounts...",
     "Backup Accounts Settings"},
    {"Signatures", 2, Box(2), "BackupSignatures", "BackupSignatures", nullptr,
     "Copying Signatures...", "Backup Signatures"},
    {"Stationery", 3, Box(3), "BackupStationery", "BackupStationery", nullptr,
     "Copying Stationeries...", "Backup Stationeries"},
    {"Pab", 4, Box(4), "BackupPab", "BackupPab", nullptr, "Copying Address Book...",
     "Backup Personal Address Book"},
    {"Configsetting", 5, Box(5), "BackupConfigsetting", "BackupConfigsetting", "OBC",
     "Copying Options...", "Backup Options Settings"},
    {"Templates", 6, Box(6), "BackupTemplates", "BackupTemplates", nullptr, "Copying Templates...",
     "Backup Templates"},
    {"Setting", 7, Box(7), "BackupSetting", "BackupSetting", nullptr, "Copying Setting...",
     "Backup Preferences"},
    {"Contacts", 8, Box(8), "BackupContacts", "BackupContacts", nullptr,
     "Copying Contacts Folder...", "Backup Contacts Folder"},
}};

using ItemBoxes = std::array<bool, ItemBoxCount>;
using ItemResults = std::array<bool, ItemCount>;

// Whether the item runs for these ticked boxes.
bool ItemRuns(const ItemKind& item, const ItemBoxes& ticked);

// The value of "BackupItem": one "1" or "0" per item in table order, "1" when the item ran
// and its collector succeeded.
std::string BackupItemValue(const ItemResults& succeeded);

// A BackupItem value that is not exactly one character per item marks a damaged backup.
bool IsValidBackupItemValue(const std::string& value);

}  // namespace kestrel

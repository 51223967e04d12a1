#include "archive/ItemTable.h"

namespace kestrel {

bool ItemRuns(const ItemKind& item, const ItemBoxes& ticked)
{
    for (int box = 0; box < ItemBoxCount; ++box) {
        if (ticked[static_cast<std::size_t>(box)] && (item.runsWithBoxes & Box(box)) != 0) {
            return true;
        }
    }
    return false;
}

std::string BackupItemValue(const ItemResults& succeeded)
{
    std::string value;
    for (bool done : succeeded) {
        value += done ? '1' : '0';
    }
    return value;
}

bool IsValidBackupItemValue(const std::string& value)
{
    return value.size() == static_cast<std::size_t>(ItemCount);
}

}  // namespace kestrel

#pragma once

#include <array>
#include <string>

#include "archive/ItemTable.h"

namespace kestrel {

// The state of controls that more than one window has.

// The two colours the password boxes take: the system's window background when they can be
// typed into, its grey scroll-bar colour when not.
enum class PasswordBoxColour { WindowBackground, ScrollBarGrey };

struct ItemBox {
    bool enabled = false;
    bool checked = false;
    std::string toolTip;
};
using ItemBoxStates = std::array<ItemBox, ItemBoxCount>;

}  // namespace kestrel

#pragma once

#include <cstdio>
#include <string>

#include "ui/Messages.h"

namespace kestrel {

// What the window would show in a message box goes to standard error, so the tool's own output
// stays what a script reads. A question gets the cautious answer (Cancel, No), as from
// SilentMessages.
class PrintedMessages final : public Messages {
public:
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override
    {
        std::fprintf(stderr, "kestrel: %s\n", text.c_str());
        return SilentMessages().Show(text, caption, icon, buttons);
    }
};

}  // namespace kestrel

#pragma once

#include <cstdio>
#include <string>

#include "ui/Messages.h"

namespace kestrel {

// What the window would show in a message box goes to standard error, so the tool's own output
// stays what a script reads. A question gets the cautious answer (Cancel, No).
class PrintedMessages final : public Messages {
public:
    MessageAnswer Show(const std::string& text, const std::string&, MessageIcon,
                       MessageButtons buttons) override
    {
        std::fprintf(stderr, "kestrel: %s\n", text.c_str());
        switch (buttons) {
            case MessageButtons::OkCancel:
                return MessageAnswer::Cancel;
            case MessageButtons::YesNo:
                return MessageAnswer::No;
            case MessageButtons::Ok:
                break;
        }
        return MessageAnswer::Ok;
    }
};

}  // namespace kestrel

#include "ui/Messages.h"

namespace kestrel {

MessageAnswer SilentMessages::Show(const std::string&, const std::string&, MessageIcon,
                                   MessageButtons buttons)
{
    switch (buttons) {
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        case MessageButtons::Ok:
            break;
    }
    return MessageAnswer::Ok;
}

}  // namespace kestrel

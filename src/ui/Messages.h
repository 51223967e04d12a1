#pragma once

#include <string>

namespace kestrel {

namespace texts {
// Every message box and window of the program is captioned with it.
inline constexpr const char* ApplicationTitle = "Kestrel";
}  // namespace texts

enum class MessageIcon { None, Information, Exclamation, Stop, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// The one way core code shows a message box. Windows implement it with real dialogs; the
// unattended backup with SilentMessages, so no message can appear when nobody is there.
class Messages {
public:
    virtual ~Messages() = default;

    // Shows the message modally and returns the button pressed.
    virtual MessageAnswer Show(const std::string& text, const std::string& caption,
                               MessageIcon icon, MessageButtons buttons) = 0;
};

// Shows nothing. Answers as a person who declines would: OK to a plain message, Cancel or No
// to a question, so that nothing is done on a question that nobody saw.
class SilentMessages final : public Messages {
public:
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;
};

}  // namespace kestrel

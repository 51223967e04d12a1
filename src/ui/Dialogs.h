#pragma once

#include <optional>
#include <string>

namespace kestrel {

// What a file chooser shows. The filter is in the "Caption (*.ext)|*.ext" form of the common
// dialogs; defaultExtension (without the dot) is added when the user types a name without one.
struct FileDialogRequest {
    std::string title;
    std::string filter;
    std::string folder;
    std::string proposedName;
    std::string defaultExtension;
};

// The one way core code asks the user for a file or a password. Windows implement it with
// real dialogs; tests with a scripted double. Every call is modal and returns nothing when the
// user cancels, so a cancelled choice can never be mistaken for an empty answer.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A full Windows path of a file to write; asking about overwriting is the caller's rule.
    virtual std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) = 0;
    // A full Windows path of an existing file.
    virtual std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) = 0;
    // The password typed into the password prompt (masked); empty text is a valid answer.
    virtual std::optional<std::string> AskPassword() = 0;
};

}  // namespace kestrel

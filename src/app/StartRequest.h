#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace kestrel {

enum class StartKind {
    // No arguments: the main window, waiting for the user.
    MainWindow,
    // A backup file opened from the desktop (its type's open command): the main window on the
    // restore tab with that file chosen.
    OpenBackup,
    // Anything else: the unattended backup, which reads the whole argument text.
    Unattended,
};

struct StartRequest {
    StartKind kind = StartKind::MainWindow;
    // The backup file to open, or the argument text of the unattended backup.
    std::string text;
};

// Tells the two kinds of argument apart. A scheduled job's argument text always begins "sf=",
// and a file name the shell hands over is one argument; so one argument that does not begin
// "sf=", ends ".ksb" and names an existing file opens that file, and everything else goes to
// the unattended backup exactly as before (which refuses and logs what it cannot read).
// `arguments` are the parsed arguments (quotes removed), `argumentText` the raw text.
StartRequest ChooseStart(const std::string& argumentText, const std::vector<std::string>& arguments,
                         FileSystem* files);

}  // namespace kestrel

#pragma once

#include <string>

namespace kestrel {

// Hands work to the desktop: documents and pages to their default handler, programs started
// on their own. Both calls return at once; false means nothing could be started.
class Shell {
public:
    virtual ~Shell() = default;

    // Opens a folder, file or web address with the default handler (ShellExecuteA "open").
    virtual bool OpenDocument(const std::string& target) = 0;
    // Starts a program with one argument text, in a normal window, without waiting for it.
    virtual bool StartProcess(const std::string& program, const std::string& arguments) = 0;
};

}  // namespace kestrel

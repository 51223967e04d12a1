#pragma once

#include <string>

namespace kestrel {

// What the ZIP component reports while it works; the main window binds these to its labels
// and the backup run waits for WriteFinished. Called on the thread that called the component.
class ZipEventSink {
public:
    virtual ~ZipEventSink() = default;

    // A member's data is being written into the archive (its bare name).
    virtual void AddingFile(const std::string& name) = 0;
    // A member is being extracted (its bare name).
    virtual void ExtractingFile(const std::string& name) = 0;
    // Whole percent of the data written so far, from 0 to 100: of the archive while it is
    // written, of the member's file while one is extracted.
    virtual void WriteProgress(int percent) = 0;
    // Once per write, after the archive is complete or the write has failed.
    virtual void WriteFinished() = 0;
};

// For callers nobody watches (the command-line tool).
class NoZipEvents final : public ZipEventSink {
public:
    void AddingFile(const std::string&) override {}
    void ExtractingFile(const std::string&) override {}
    void WriteProgress(int) override {}
    void WriteFinished() override {}
};

}  // namespace kestrel

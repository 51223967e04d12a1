#pragma once

#include <string>
#include <vector>

#include "platform/Error.h"

namespace kestrel {

// What a program said and how it ended.
struct ToolOutput {
    // The exit status; 128 + the signal's number when a signal ended it.
    int status = 0;
    std::string out;
    std::string err;
};

// Runs argv[0], found on PATH, with exactly these arguments (no shell sees them) and `input`
// on its standard input, and waits for it. An Error only when it could not be started.
Result<ToolOutput> RunTool(const std::vector<std::string>& argv, const std::string& input = "");

// The error of a program that ended with a status other than 0: systemText is what it wrote
// to its standard error, without the blanks around it, or its status when it wrote nothing.
Error ToolRefusal(const std::vector<std::string>& argv, const ToolOutput& output);

}  // namespace kestrel

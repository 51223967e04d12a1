#pragma once

#include <string>

namespace kestrel {

// Facts about the machine and the user that the program records in backups and uses to find
// the user's folders. Each call asks the system afresh; an empty text means the system could
// not answer (callers leave the value concerned empty and carry on).
class SystemInfo {
public:
    virtual ~SystemInfo() = default;

    // The computer's NetBIOS name, as GetComputerNameA gives it.
    virtual std::string ComputerName() = 0;
    // The logon user name, as GetUserNameA gives it.
    virtual std::string LogonUserName() = 0;
    // The Windows folder, such as "C:\Windows".
    virtual std::string WindowsFolder() = 0;
    // Windows' major and minor version as "major.minor" text, such as "6.1".
    virtual std::string WindowsVersion() = 0;
    // ExpandEnvironmentStringsA: every %NAME% the environment knows (names compare without
    // regard to case) is replaced by its value; unknown ones stay as they are.
    virtual std::string ExpandEnvironmentText(const std::string& text) = 0;
    // The folder the program was installed into, without a trailing backslash.
    virtual std::string ProgramFolder() = 0;
    // True when this process runs with administrator rights (on Windows an elevated token),
    // which a shadow copy needs.
    virtual bool HasAdministratorRights() = 0;
    // True when no process of the user without administrator rights can replace the running
    // program: only then may a job start it with the highest run level. False whenever the
    // system cannot tell.
    virtual bool ProgramIsAdministratorsOnly() = 0;
};

}  // namespace kestrel

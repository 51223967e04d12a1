#pragma once

#include <string>

#include "platform/UserSecrets.h"

namespace kestrel {

// Each secret is a file in `folder` (the program's data folder's "Secrets") holding what
// CryptProtectData made of it for the current user: another user, or the same name on another
// machine, cannot unseal it, and no administrator rights are needed.
class Win32UserSecrets final : public UserSecrets {
public:
    explicit Win32UserSecrets(std::string folder);

    Result<std::string> Store(const std::string& prefix, const std::string& secret) override;
    Result<std::string> Read(const std::string& name) override;
    bool Remove(const std::string& name) override;

private:
    std::string folder_;
};

}  // namespace kestrel

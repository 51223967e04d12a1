#pragma once

#include <filesystem>

#include "platform/UserSecrets.h"

namespace kestrel {

// Each secret is a file of mode 0600 in a folder of mode 0700 (`folder`, under the environment
// root), so only its owner (and root) can read it.
class PosixUserSecrets final : public UserSecrets {
public:
    explicit PosixUserSecrets(std::filesystem::path folder);

    Result<std::string> Store(const std::string& prefix, const std::string& secret) override;
    Result<std::string> Read(const std::string& name) override;
    bool Remove(const std::string& name) override;

private:
    std::filesystem::path folder_;
};

}  // namespace kestrel

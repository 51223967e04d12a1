#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace kestrel {

// Small secrets of the current user (a scheduled job's password), kept where no other user of
// the machine can read them, so that a command line can name one instead of holding it. On
// Linux each is a file only its owner may open, under the environment root; on Windows a file
// in the program's data folder holding the secret as CryptProtectData sealed it for this user.
// A name is letters, digits and "-" (see IsSecretName); any other is refused.
class UserSecrets {
public:
    virtual ~UserSecrets() = default;

    // Keeps the secret under a name no secret has yet, made from `prefix` and random
    // characters, and returns that name.
    virtual Result<std::string> Store(const std::string& prefix, const std::string& secret) = 0;
    virtual Result<std::string> Read(const std::string& name) = 0;
    // False when there was no such secret or it could not be removed.
    virtual bool Remove(const std::string& name) = 0;
};

// Whether a name can be one of a secret: 1 to 64 letters, digits or "-".
bool IsSecretName(const std::string& name);
// `prefix` and 16 random hexadecimal digits.
std::string NewSecretName(const std::string& prefix);

}  // namespace kestrel

#include "backup/UnattendedBackup.h"

namespace kestrel {

bool RunUnattendedBackup(const std::string&, const DiscoveryContext&, Platform&, Messages&)
{
    // Placeholder: the command-line parsing and the collectors are not built yet, so no
    // backup is written and the run reports that.
    return false;
}

}  // namespace kestrel

#pragma once

#include <optional>
#include <string>

#include "backup/ArchiveContents.h"
#include "backup/BackupGenerations.h"
#include "backup/BackupRequest.h"
#include "platform/FileSystem.h"

namespace kestrel {

// The full archive a differential run is made against: the newest complete full generation of
// the target, no older than the policy allows, readable with the run's password, whose maps
// read whole and fit its data files. None when a full must be written instead, with `because`
// saying why in words a report and the log show after "full: ".
std::optional<DifferentialBase> ChooseDifferentialBase(FileSystem& files,
                                                       const BackupRequest& request,
                                                       const KeepPolicy& keep,
                                                       const DifferentialPolicy& policy,
                                                       std::string& because);

}  // namespace kestrel

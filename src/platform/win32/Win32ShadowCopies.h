#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ShadowCopies.h"

namespace kestrel {

// Volume Shadow Copies through the requester interface of vssapi.dll: one non-persistent
// backup-context snapshot set of just the volumes that hold the files, deleted with Delete or
// at the latest when this object goes. vssapi.dll is loaded when a snapshot is asked for, so
// a program that never asks does not depend on it; Wine's answers "not implemented", which
// makes Create fail.
class Win32ShadowCopies final : public ShadowCopies {
public:
    Win32ShadowCopies();
    ~Win32ShadowCopies() override;
    Win32ShadowCopies(const Win32ShadowCopies&) = delete;
    Win32ShadowCopies& operator=(const Win32ShadowCopies&) = delete;

    bool Create(const std::vector<std::string>& paths) override;
    std::string PathInSnapshot(const std::string& path) override;
    bool Delete() override;
    std::string Problem() const override { return problem_; }

private:
    struct Session;

    // Deletes what was made so far and keeps the reason; false.
    bool Fail(const std::string& failure);
    bool Fail(const char* step, long result);

    std::unique_ptr<Session> session_;
    // The snapshot's device ("\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy7") of each volume
    // ("C:\"), by the volume's path as GetVolumePathName gives it.
    std::map<std::wstring, std::wstring> devices_;
    std::string problem_;
};

}  // namespace kestrel

#include "disc/EraseWindowModel.h"

#include <algorithm>
#include <array>
#include <utility>

#include "disc/DiscTexts.h"

namespace kestrel {
namespace {

// The drive capability that erasing each kind of re-writable disc needs, in the order asked.
constexpr std::array<std::pair<int, int>, 5> ErasableMedia{{
    {capability::EraseCdRw, media::CdRw},
    {capability::EraseDvdMinusRw, media::DvdMinusRw},
    {capability::EraseDvdPlusRw, media::DvdPlusRw},
    {capability::EraseDvdRam, media::DvdRam},
    {capability::EraseBdRe, media::BdRe},
}};

}  // namespace

EraseWindowModel::~EraseWindowModel()
{
    Release();
}

void EraseWindowModel::Show(DiscDevice& drive, DiscEngine& engine)
{
    Release();
    drive_ = &drive;
    engine_ = &engine;
    engine.AddListener(*this);
    buttonsEnabled_ = true;
    busy_ = false;
}

bool EraseWindowModel::CloseRequested()
{
    if (busy_) {
        return false;
    }
    Release();
    return true;
}

void EraseWindowModel::Release()
{
    if (engine_ != nullptr) {
        engine_->RemoveListener(*this);
    }
    engine_ = nullptr;
    drive_ = nullptr;
}

void EraseWindowModel::Refuse(const std::string& text, MessageIcon icon)
{
    messages_.Show(text, texts::ApplicationTitle, icon, MessageButtons::Ok);
    host_.CloseWindow();
}

void EraseWindowModel::EraseClicked()
{
    if (drive_ == nullptr || !buttonsEnabled_) {
        return;
    }
    drive_->MediaPresent(false);
    const MediaInfo disc = drive_->Media();
    if (disc.MediaType == media::None) {
        Refuse(texts::NoMediaLoaded, MessageIcon::Information);
        return;
    }
    if (!disc.Rewritable) {
        Refuse(texts::NotRewritable, MessageIcon::Information);
        return;
    }
    const bool erasable =
        std::any_of(ErasableMedia.begin(), ErasableMedia.end(), [&](const auto& row) {
            return drive_->Supports(row.first) && row.second == disc.MediaType;
        });
    if (!erasable) {
        Refuse(texts::EraseFormatUnsupported, MessageIcon::Information);
        return;
    }
    if (!drive_->Erase(quickErase_, drive_->SpeedValue())) {
        Refuse(texts::EraseNotStarted, MessageIcon::Stop);
    }
}

void EraseWindowModel::CancelClicked()
{
    if (buttonsEnabled_) {
        host_.CloseWindow();
    }
}

void EraseWindowModel::EraseStatusChanged(EraseStatus status, int percent)
{
    switch (status) {
        case EraseStatus::Started:
            busy_ = true;
            status_ = texts::ErasingStatus;
            buttonsEnabled_ = false;
            progress_ = std::clamp(percent, 0, 100);
            break;
        case EraseStatus::Progress:
            progress_ = std::clamp(percent, 0, 100);
            break;
        case EraseStatus::Done:
            status_ = texts::EraseCompleteStatus;
            messages_.Show(texts::EraseCompleted, texts::ApplicationTitle, MessageIcon::Information,
                           MessageButtons::Ok);
            buttonsEnabled_ = true;
            busy_ = false;
            host_.CloseWindow();
            break;
        case EraseStatus::Failed:
            status_ = texts::EraseErrorStatus;
            buttonsEnabled_ = true;
            busy_ = false;
            // A half-erased disc is not fit to write on: the user must hear of it.
            Refuse(texts::EraseFailed, MessageIcon::Stop);
            break;
    }
}

void EraseWindowModel::EraseDeviceError(const DeviceError& error)
{
    messages_.Show("Device Error: (" + std::to_string(error.Code) + ")   " + error.Text + "\r\n(" +
                       error.Detail2 + ") " + error.Detail1,
                   texts::ApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
    buttonsEnabled_ = true;
    busy_ = false;
}

}  // namespace kestrel

#include "outlook/OutlookRunsSetting.h"

namespace kestrel {

const char* OutlookRunsSettingText(IfOutlookRuns way)
{
    switch (way) {
        case IfOutlookRuns::Snapshot:
            return "snapshot";
        case IfOutlookRuns::Skip:
            return "skip";
        case IfOutlookRuns::Close:
        case IfOutlookRuns::Refuse:
            break;
    }
    return "close";
}

IfOutlookRuns ReadUnattendedOutlookWay(RegistryAccess& registry)
{
    const std::string text = registry.GetStringValue(KestrelSettingsKey, WhenOutlookRunsValue);
    for (const IfOutlookRuns way : {IfOutlookRuns::Skip, IfOutlookRuns::Snapshot}) {
        if (text == OutlookRunsSettingText(way)) {
            return way;
        }
    }
    return IfOutlookRuns::Close;
}

bool WriteUnattendedOutlookWay(RegistryAccess& registry, IfOutlookRuns way)
{
    std::string subKey = KestrelSettingsKey;
    reg::Key root = 0;
    registry.ParseKeyPath(subKey, root);
    reg::Key key = 0;
    if (registry.Api().CreateKey(root, subKey.c_str(), &key) != reg::Success) {
        return false;
    }
    registry.Api().CloseKey(key);
    const std::string text = OutlookRunsSettingText(way);
    registry.SetStringValue(KestrelSettingsKey, WhenOutlookRunsValue, text);
    return registry.GetStringValue(KestrelSettingsKey, WhenOutlookRunsValue) == text;
}

}  // namespace kestrel

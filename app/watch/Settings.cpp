#include "app/watch/Settings.h"

#include "rtl/FileFolders.h"
#include "rtl/IntConv.h"
#include "rtl/ProfileFile.h"

namespace app {

namespace {

const std::string TargetSection = "TargetObj";
const std::string SiteSection = "TargetSite";
const std::string SettingSection = "Setting";

constexpr int32_t DefaultInterval = 10;
constexpr int32_t LowestLoadedInterval = 5;
constexpr int32_t HighestLoadedInterval = 60;

std::string TargetNameKey(int n) {
    return "Name" + rtl::IntToStr(n);
}
std::string TargetFlagKey(int n) {
    return "Name" + rtl::IntToStr(n) + "ch";
}
std::string SiteNameKey(int n) {
    return "Site" + rtl::IntToStr(n);
}
std::string SiteUrlKey(int n) {
    return "Site" + rtl::IntToStr(n) + "Url";
}
std::string SiteFlagKey(int n) {
    return "Site" + rtl::IntToStr(n) + "ch";
}

}  // namespace

std::string SettingsFileName(const std::string& folder) {
    return rtl::PortableFolders(folder).SettingsFile();
}

StartupSwitches LoadSettings(const std::string& fileName, WatchState& state) {
    const rtl::ProfileFile ini(fileName);

    // List rows stand for slots 0..k-1, so a slot left empty by a hand-edited file
    // must not leave a hole: the used slots move up, each with its flag and URL.
    size_t used = 0;
    for (int n = 0; n <= MaxTargetIndex; ++n) {
        TargetSlot slot;
        slot.Name = ini.ReadString(TargetSection, TargetNameKey(n), "");
        slot.Selected = ini.ReadInteger(TargetSection, TargetFlagKey(n), 0);
        if (!slot.Name.empty())
            state.Targets[used++] = std::move(slot);
    }
    for (size_t i = used; i < state.Targets.size(); ++i)
        state.Targets[i] = TargetSlot{};

    used = 0;
    for (int n = 0; n <= MaxSiteIndex; ++n) {
        SiteSlot slot;
        slot.Name = ini.ReadString(SiteSection, SiteNameKey(n), "");
        slot.Url = ini.ReadString(SiteSection, SiteUrlKey(n), "");
        slot.Selected = ini.ReadInteger(SiteSection, SiteFlagKey(n), 0);
        if (!slot.Name.empty())
            state.Sites[used++] = std::move(slot);
    }
    for (size_t i = used; i < state.Sites.size(); ++i)
        state.Sites[i] = SiteSlot{};

    state.SoundOn = ini.ReadBool(SettingSection, "Sound", true);
    StartupSwitches switches;
    switches.AutoUp = ini.ReadBool(SettingSection, "AutoUp", true);
    const int32_t interval = ini.ReadInteger(SettingSection, "Second", DefaultInterval);
    state.IntervalSeconds = interval < LowestLoadedInterval || interval > HighestLoadedInterval
                                ? DefaultInterval
                                : interval;
    switches.AutoMin = ini.ReadBool(SettingSection, "AutoMin", true);
    return switches;
}

void SaveWatchLists(const std::string& fileName, const WatchState& state) {
    rtl::ProfileFile ini(fileName);
    ini.WriteInteger(SettingSection, "Second", state.IntervalSeconds);
    for (int n = 0; n <= MaxTargetIndex; ++n) {
        const TargetSlot& slot = state.Targets[static_cast<size_t>(n)];
        ini.WriteString(TargetSection, TargetNameKey(n), slot.Name);
        ini.WriteInteger(TargetSection, TargetFlagKey(n), slot.Selected);
    }
    for (int n = 0; n <= MaxSiteIndex; ++n) {
        const SiteSlot& slot = state.Sites[static_cast<size_t>(n)];
        ini.WriteString(SiteSection, SiteNameKey(n), slot.Name);
        ini.WriteString(SiteSection, SiteUrlKey(n), slot.Url);
        ini.WriteInteger(SiteSection, SiteFlagKey(n), slot.Selected);
    }
    // One replacement for all of it: a failure leaves the old file as it was.
    ini.UpdateFile();
}

void WriteSwitch(const std::string& fileName, const std::string& key, bool value) {
    rtl::ProfileFile ini(fileName);
    ini.WriteBool(SettingSection, key, value);
    ini.UpdateFile();
}

}  // namespace app

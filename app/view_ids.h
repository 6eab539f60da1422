#pragma once
// Control identifiers of the main form, its drop lists and its menu commands. They keep the
// numbers of the processor tool's form, so each control can be found from its number.

namespace zelto::view_id {

// Top bar.
inline constexpr int kConnect = 1413;
inline constexpr int kDspSwitch = 3417;
inline constexpr int kSourceList = 2400;
inline constexpr int kNoiseGateList = 3416;
inline constexpr int kSettingsMenu = 2065;
inline constexpr int kFileMenu = 3415;
inline constexpr int kLink = 2247;
inline constexpr int kMixer = 3418;
inline constexpr int kMinimise = 2282;
inline constexpr int kClose = 2281;

// Master section.
inline constexpr int kMasterVolumeBox = 2225;
inline constexpr int kMasterVolumeSpin = 2226;
inline constexpr int kMasterVolumeSlider = 2227;
inline constexpr int kMasterMute = 2280;

// Crossover section (current channel).
inline constexpr int kHighPassBox = 5500;
inline constexpr int kHighPassSpin = 5501;
inline constexpr int kLowPassBox = 5502;
inline constexpr int kLowPassSpin = 5503;
inline constexpr int kHighPassFamily = 5510;
inline constexpr int kHighPassSlope = 5511;
inline constexpr int kLowPassFamily = 5512;
inline constexpr int kLowPassSlope = 5513;

// Car picture and the EQ buttons under it.
inline constexpr int kDelayUnitMs = 2285;
inline constexpr int kDelayUnitCm = 2286;
inline constexpr int kDelayUnitInch = 2287;
inline constexpr int kEqReset = 2331;
inline constexpr int kEqBypass = 2388;

// Graph, curve buttons and their labels, page area.
inline constexpr int kGraph = 1000;
inline constexpr int kFirstCurveButton = 2103;
inline constexpr int kFirstChannelLabel = 2428;
inline constexpr int kPageArea = 1368;
// The measurement menu's button above the graph (a control of this editor's own).
inline constexpr int kMeasurementButton = 3419;

// Channel strips: control id = first id + channel.
inline constexpr int kFirstStripSelect = 6703;
inline constexpr int kFirstStripGainSlider = 8650;
inline constexpr int kFirstStripGainBox = 8630;
inline constexpr int kFirstStripGainSpin = 8610;
inline constexpr int kFirstStripMute = 6052;
inline constexpr int kFirstStripPhase = 1944;

// The output page's gain box of the last band: Tab from it goes to the first strip's gain box.
inline constexpr int kLastBandGainBox = 5030;
// Tab from this delay box goes to the page area.
inline constexpr int kDelayBoxBeforePage = 2585;

// Drop list ids (what a list reports, not the id of its button).
inline constexpr int kDelayUnitList = 2060;
inline constexpr int kSourceListId = 3965;
inline constexpr int kNoiseGateListId = 3966;
inline constexpr int kHighPassFamilyList = 5514;
inline constexpr int kHighPassSlopeList = 5515;
inline constexpr int kLowPassFamilyList = 5516;
inline constexpr int kLowPassSlopeList = 5517;

}  // namespace zelto::view_id

namespace zelto {
inline constexpr int kAbButton = 1990;
}  // namespace zelto

namespace zelto::menu_cmd {
inline constexpr int kFirmwareUpdate = 32777;
inline constexpr int kFactoryResetZh = 32828;
inline constexpr int kFactoryResetEn = 32829;
inline constexpr int kEnglish = 32774;
inline constexpr int kSourceVolumeZh = 32833;
inline constexpr int kSourceVolumeEn = 32834;
inline constexpr int kAbout = 32776;
inline constexpr int kPresetOpenZh = 32771;
inline constexpr int kPresetOpenEn = 32827;
inline constexpr int kPresetSaveZh = 32772;
inline constexpr int kPresetSaveEn = 32826;
// REW filter import and export for the current channel (commands of this editor's own).
inline constexpr int kImportRewFilters = 32840;
inline constexpr int kExportRewFilters = 32841;
inline constexpr int kMeasureCar = 32842;
inline constexpr int kAutoTune = 32843;
// The recent-file entries of the file menu, newest first (the framework's numbers for them).
inline constexpr int kFirstRecentFile = 57616;
inline constexpr int kLastRecentFile = kFirstRecentFile + 3;
// A/B comparison (settings menu).
inline constexpr int kAbCopyAToB = 32910;
inline constexpr int kAbCopyBToA = 32911;
inline constexpr int kAbCurve = 32912;
// The history panel on its steps page, and on the A/B differences page.
inline constexpr int kHistoryPanel = 32913;
inline constexpr int kAbDifferences = 32914;
// Not a command: a line between groups of a menu.
inline constexpr int kSeparator = 0;
inline constexpr int kUndo = 32900;
inline constexpr int kRedo = 32901;
}  // namespace zelto::menu_cmd

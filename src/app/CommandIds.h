#pragma once
// The numeric command ids of the main window. Menus, the toolbar, the operator screen, the script
// engine and other windows all reach a command by its id, so a posted id runs exactly as the menu
// item does. The values are those the instrument's other programs and stored scripts know.

namespace cmd {

// Framework commands.
constexpr int kFileOpen = 57601;
constexpr int kFileClose = 57602;
constexpr int kFileSaveAs = 57604;
constexpr int kFilePrintSetup = 57606;
constexpr int kFileMruFirst = 57616; // the recent-file entries, four in a row
constexpr int kWindowCascade = 57650;
constexpr int kWindowTile = 57651;
constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;
constexpr int kViewToolbar = 59392;
constexpr int kViewStatusBar = 59393;

// Application commands.
constexpr int kCaptureActiveImages = 32771;
constexpr int kCameraSettings = 32776;
constexpr int kExperimentSettings = 32788;
constexpr int kStartExperimentWorkflow = 32799;
constexpr int kStopExperimentWorkflow = 32800;
constexpr int kLiveImage = 32802;
constexpr int kSingleWorkflowCapture = 32815;
constexpr int kDioReset = 32818;
constexpr int kCaptureBackgroundImages = 32834;
constexpr int kUnloadBackgroundImages = 32835;

// Image view commands.
constexpr int kScaleIntensities = 32773;
constexpr int kAutoScale = 32779;
constexpr int kZoomIn = 32780;
constexpr int kZoomOut = 32781;
constexpr int kFullScale = 32785;
constexpr int kSaveImageToExperiment = 32790;
constexpr int kAutoRefresh = 32794;
constexpr int kSaveReferenceImage = 32837;
constexpr int kChannelAndMagnetPositions = 32839;

// Main frame commands.
constexpr int kEncryptedProfiles = 32858;
constexpr int kRoiManager = 32862;
constexpr int kDioConfiguration = 32808;
constexpr int kProjectionAnalysisParameters = 32852;
constexpr int kCountingAlgorithmParameters = 32797;
constexpr int kEpiCellCountingAlgoParameters = 32836;
constexpr int kImageAnalysisTool = 32823;
constexpr int kFractionationAnalysisTool = 32865;
constexpr int kProjectionAnalysisTool = 32872;
constexpr int kShowFluidicSystemState = 32805;
constexpr int kFluidicSystemScripts = 32806;
constexpr int kWatchScriptVariables = 32844;
constexpr int kFluidicSystemControlPanel = 32811;
constexpr int kPumpInformation = 32816;
constexpr int kZaberFocus = 32850;
constexpr int kFocusTool = 32851;
constexpr int kAdminMode = 32822;
constexpr int kCustomerUI = 32853;
constexpr int kCustomerUIScripts = 32854;
constexpr int kCreateVideo = 32868;
constexpr int kRunUserInterface = 32859;
constexpr int kManual = 32860;
constexpr int kAlgoIterator = 32841;
constexpr int kFindMeniscus = 32871;
constexpr int kRowFlatField = 32856;
constexpr int kMontage = 32876;
constexpr int kCloseLiveImage = 32861;

// Toolbar place of the image-type combo, and the combo's own control id.
constexpr int kImageTypeComboPlace = 32829;
constexpr int kImageTypeCombo = 32830;

// Status-bar indicators: the script pane and the pixel pane.
constexpr int kScriptPaneIndicator = 32786;
constexpr int kPixelPaneIndicator = 32787;

} // namespace cmd

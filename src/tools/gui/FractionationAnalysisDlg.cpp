#include "tools/gui/FractionationAnalysisDlg.h"

#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/Profile.h"
#include "app/AppServices.h"
#include "app/BackgroundImages.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Ui.h"
#include "tools/FractionationRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

using namespace fractionation_id;

namespace {

constexpr const char *kSection = "FractionationAnalysisDlg";
constexpr const char *kCaption = "Fractionation Analysis";

// The worker's reports: the status line and the end reach the window on its own thread.
class WindowObserver : public FractionationRunObserver
{
  public:
    WindowObserver(FractionationAnalysisDlg *window, std::function<void(const std::string &)> open)
        : m_window(window), m_open(std::move(open))
    {
    }
    void Status(const std::string &text) override
    {
        QPointer<FractionationAnalysisDlg> window = m_window;
        QMetaObject::invokeMethod(
            m_window,
            [window, text] {
                if (window)
                    window->SetControlText(kStatus, text);
            },
            Qt::QueuedConnection);
    }
    void Failure(const std::string &message) override
    {
        LogError(kSection, __LINE__, message);
        platform::ui::MessageBox(message, kCaption, platform::ui::MbOk | platform::ui::MbIconError);
    }
    void OpenReport(const std::string &path) override
    {
        if (m_open)
            m_open(path);
    }

  private:
    FractionationAnalysisDlg *m_window;
    std::function<void(const std::string &)> m_open;
};

} // namespace

FractionationAnalysisDlg::FractionationAnalysisDlg(QWidget *parent)
    : FolderToolWindow({kCaption, kSection, kSaveTimer, kFillListTimer, kShowRoiTimer, kCalibrationTimer,
                        /*trimGridFolder=*/true},
                       parent)
{
    m_open_file = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".xls"); };
    BuildControls();
}

FractionationAnalysisDlg::~FractionationAnalysisDlg()
{
    EndWindow();
}

void FractionationAnalysisDlg::BuildControls()
{
    auto *layout = new QVBoxLayout(this);

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel("Image Directory", this));
    auto *folder = AddControl(kDirectory, new QLineEdit(this));
    folderRow->addWidget(folder, 1);
    auto *browse = AddControl(kBrowse, new QPushButton("...", this));
    browse->setFixedWidth(32);
    folderRow->addWidget(browse);
    layout->addLayout(folderRow);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel("Filter", this), 0, 0);
    auto *filter = AddControl(kFilter, new QLineEdit(this));
    grid->addWidget(filter, 0, 1);
    grid->addWidget(new QLabel("Projection Parameters", this), 1, 0);
    auto *params = AddControl(kProjectionParams, new DropDownCombo(this));
    params->setEditable(true);
    params->setInsertPolicy(QComboBox::NoInsert);
    params->setMinimumWidth(220);
    grid->addWidget(params, 1, 1);
    grid->addWidget(new QLabel("Region of interest", this), 2, 0);
    auto *roi = AddControl(kRoi, new DropDownCombo(this));
    roi->setEditable(true);
    roi->setInsertPolicy(QComboBox::NoInsert);
    grid->addWidget(roi, 2, 1);
    auto *roiManager = AddControl(kRoiManager, new QPushButton("ROI Mgr", this));
    grid->addWidget(roiManager, 2, 2);

    auto *selectBackground = AddControl(kSelectBackground, new QPushButton("Select Background Images", this));
    grid->addWidget(selectBackground, 0, 3);
    auto *countRow = new QHBoxLayout;
    AddBackgroundCount(countRow);
    countRow->addStretch(1);
    grid->addLayout(countRow, 1, 3);
    auto *brightField = AddControl(kBrightField, new QCheckBox("Bright Field", this));
    grid->addWidget(brightField, 2, 3);
    auto *preview = AddControl(kPreview, new QPushButton("Preview", this));
    grid->addWidget(preview, 0, 4);
    auto *openLog = AddControl(kOpenLog, new QPushButton("Open LOG File", this));
    grid->addWidget(openLog, 1, 4);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto *runRow = new QHBoxLayout;
    auto *run = AddControl(kRun, new QPushButton("Run Cell Fractionation Analysis", this));
    run->setDefault(true);
    runRow->addWidget(run);
    auto *cancel = AddControl(kCancel, new QPushButton("Cancel", this));
    runRow->addWidget(cancel);
    AddStatusAndImageList(layout, runRow);

    preview->setEnabled(false);
    openLog->setEnabled(false);
    run->setEnabled(false);
    resize(720, 520);

    connect(folder, &QLineEdit::textChanged, this, [this] {
        RefreshLiveControls();
        RestartTimer(kSaveTimer, 1000);
        RestartTimer(kFillListTimer, 500);
        RestartTimer(kLoadLogTimer, 1000);
        RestartTimer(kCalibrationTimer, 1000);
    });
    connect(filter, &QLineEdit::textChanged, this, [this] {
        RestartTimer(kSaveTimer, 1000);
        RestartTimer(kFillListTimer, 500);
    });
    connect(params, &QComboBox::currentTextChanged, this, [this] {
        RefreshLiveControls();
        RestartTimer(kSaveTimer, 1000);
    });
    connect(roi, &QComboBox::currentTextChanged, this, [this] {
        RefreshLiveControls();
        RestartTimer(kSaveTimer, 1000);
        RestartTimer(kShowRoiTimer, 1000);
    });
    params->onDropDown = [this] { OnDropDownProjectionParams(); };
    params->onCloseUp = [] { InvalidateAllViews(); };
    roi->onDropDown = [this] { OnDropDownRoi(); };
    roi->onCloseUp = [this] { RestartTimer(kShowRoiTimer, 1000); };
    connect(brightField, &QCheckBox::clicked, this, [this] { RestartTimer(kSaveTimer, 300); });
    connect(browse, &QPushButton::clicked, this, [this] { OnBrowseDirectory(); });
    connect(selectBackground, &QPushButton::clicked, this, [this] { OnSelectBackgroundImages(); });
    connect(preview, &QPushButton::clicked, this, [this] { OnPreview(); });
    connect(openLog, &QPushButton::clicked, this, [this] { OnOpenLogFile(); });
    connect(roiManager, &QPushButton::clicked, this, [this] { OnRoiManager(); });
    connect(run, &QPushButton::clicked, this, [this] { OnRun(); });
    connect(cancel, &QPushButton::clicked, this, [this] { close(); });
}

void FractionationAnalysisDlg::RefreshLiveControls()
{
    std::lock_guard<std::mutex> lock(m_live_mutex);
    m_live.folder = ControlText(kDirectory);
    m_live.projectionParams = ControlText(kProjectionParams);
    m_live.roi = ControlText(kRoi);
    m_live.brightField = m_bright_field;
}

void FractionationAnalysisDlg::OnInitDialog()
{
    MigrateSection(theApp.m_ini_path.c_str());
    LoadSettings();
    ApplyChannelDividerField();
}

void FractionationAnalysisDlg::ApplyChannelDividerField()
{
    const std::string text = ControlText(kChannelDivider);
    double fraction = 0.0;
    const bool converts = std::sscanf(text.c_str(), "%lf", &fraction) == 1;
    bool changed = false;
    _flow_split.Update([&](FlowSplit &split) {
        split.split_line_shown = true;
        if (converts && fraction != split.split_fraction) {
            split.split_fraction = fraction;
            split.split_changed = true;
            changed = true;
        }
    });
    if (changed)
        RefreshAllViews();
}

void FractionationAnalysisDlg::LoadSettings()
{
    m_loading_settings = true;
    SetControlText(kDirectory, ReadSetting("Directory", "", 1023));
    SetControlText(kProjectionParams, ReadSetting("ProjectionAnalysisParams", "", 1023));
    SetControlText(kRoi, ReadSetting("ROI", "", 1023));
    SetControlText(kFilter, ReadSetting("Filter", "*.png", 1023));
    SetControlText(kChannelDivider, ReadSetting("ChannelDivider", "0.5", 1023));
    const std::string brightField = ReadSetting("BrightField", "", 8);
    SetChecked(kBrightField, !CompareText(brightField.c_str(), "FALSE", 0, 0));
    m_loading_settings = false;
    RefreshLiveControls();
}

void FractionationAnalysisDlg::SaveSettings()
{
    if (m_loading_settings)
        return;
    WriteSetting("Directory", ControlText(kDirectory));
    WriteSetting("ProjectionAnalysisParams", ControlText(kProjectionParams));
    WriteSetting("ROI", ControlText(kRoi));
    WriteSetting("Filter", ControlText(kFilter));
    WriteSetting("ChannelDivider", ControlText(kChannelDivider));
    ApplyChannelDividerField();
    WriteSetting("BrightField", IsChecked(kBrightField) ? "TRUE" : "FALSE");
}

void FractionationAnalysisDlg::OnTimer(int id)
{
    if (id != kLoadLogTimer) {
        FolderToolWindow::OnTimer(id);
        return;
    }
    EString error;
    const bool loaded = m_log.LoadFromDirectory(ControlText(kDirectory).c_str(), error);
    EnableControl(kOpenLog, loaded && m_log.LogPath().IsNonEmpty());
    if (!loaded)
        ReportError(__LINE__, error.c_str());
}

void FractionationAnalysisDlg::OnDropDownProjectionParams()
{
    FillSorted(ControlAs<QComboBox>(kProjectionParams), FractionationParamSetNames(LibFolder()));
}

void FractionationAnalysisDlg::OnDropDownRoi()
{
    std::vector<std::string> names = SavedRoiNames();
    if (GetExperimentSettingsIniPath(EString(ControlText(kDirectory).c_str())).IsNonEmpty())
        names.push_back(kImageDirRoiName);
    FillSorted(ControlAs<QComboBox>(kRoi), names);
}

void FractionationAnalysisDlg::OnOpenLogFile()
{
    if (m_open_file)
        m_open_file(m_log.LogPath().c_str());
}

void FractionationAnalysisDlg::OnRun()
{
    if (ControlText(kProjectionParams).empty()) {
        ReportError(__LINE__, "You must select Projection Parameters from the drop down");
        return;
    }
    if (ControlText(kRoi).empty()) {
        ReportError(__LINE__, "You must select Region of interest from the drop down");
        return;
    }
    // The report names its folder after the first selected image: a run needs one.
    if (SelectedEntries().empty()) {
        ReportError(__LINE__, "You must select at least one file from the list.");
        return;
    }
    if (m_log.RecordCount() == 0) {
        EString error;
        if (!m_log.LoadFromText(error)) {
            ReportError(__LINE__, error.c_str());
            return;
        }
    }
    // The run reads copies: a reload or an edit while it goes cannot reach it.
    FractionationRunInputs inputs;
    inputs.controls.folder = ControlText(kDirectory);
    inputs.controls.projectionParams = ControlText(kProjectionParams);
    inputs.controls.roi = ControlText(kRoi);
    inputs.controls.selectedEntries = SelectedEntries();
    inputs.controls.backgroundNames = BackgroundNames();
    inputs.controls.brightField = m_bright_field;
    inputs.log = m_log.Snapshot();

    StartRun([this, inputs = std::move(inputs), open = m_open_file] {
        WindowObserver observer(this, open);
        RunFractionationAnalysis(inputs, observer);
        QPointer<FractionationAnalysisDlg> window = this;
        QMetaObject::invokeMethod(
            this,
            [window] {
                if (!window)
                    return;
                window->SetControlText(kStatus, "");
                window->EnableControls();
            },
            Qt::QueuedConnection);
    });
}

void FractionationAnalysisDlg::WaitForRun()
{
    JoinRun();
    QCoreApplication::sendPostedEvents(this);
}

void FractionationAnalysisDlg::DisableControls()
{
    for (int id :
         {kDirectory, kBrowse, kProjectionParams, kRoi, kFilter, kFileList, kSelectBackground, kRun, kCancel})
        EnableControl(id, false);
}

void FractionationAnalysisDlg::EnableControls()
{
    for (int id :
         {kDirectory, kBrowse, kProjectionParams, kRoi, kFilter, kFileList, kSelectBackground, kCancel})
        EnableControl(id, true);
    EnableControl(kRun, !BackgroundNames().empty());
}

bool FractionationAnalysisDlg::LoadRunParams(ProjectionAnalysisParams &params, EString &error) const
{
    FractionationControls controls;
    {
        std::lock_guard<std::mutex> lock(m_live_mutex);
        controls = m_live;
    }
    return LoadFractionationParams(controls, params, error);
}

bool FractionationAnalysisDlg::ResolveRoi(int32_t rect[4], EString &name, EString &error) const
{
    FractionationControls controls;
    {
        std::lock_guard<std::mutex> lock(m_live_mutex);
        controls = m_live;
    }
    return ResolveFractionationRoi(controls, rect, name, error);
}

void FractionationAnalysisDlg::showEvent(QShowEvent *event)
{
    FolderToolWindow::showEvent(event);
    HideOtherFolderTools(Fractionation().Window());
}

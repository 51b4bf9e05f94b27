#include "tools/projection/gui/ProjectionBatchWindow.h"

#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "tools/CountingParams.h"
#include "tools/ImageAnalysisToolRun.h"
#include "tools/projection/ProjectionBatchRun.h"
#include "tools/projection/ProjectionParamsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

using namespace projection_tool_id;

namespace {

constexpr const char *kSection = "ProjectionAnalysisTool";
constexpr const char *kCaption = "Projection Analysis Tool";

// The inputs of the run (everything the worker reads): disabled while it goes, and the background
// button too, since the worker reads the background names.
constexpr int kRunInputs[] = {kDirectory,  kBrowse,   kFilter,      kLPCurve,          kOpenLPCurve,
                              kGdConc,     kFileList, kOpenSummary, kParams,           kEditParams,
                              kRoiManager, kPreview,  kRoi,         kSelectBackground, kRun};

constexpr uint32_t kTextSize = 1024; // texts of up to 1023 characters

// The run's reports: the status and the end reach the window on its own thread; messages are
// shown from the worker, as the run always did.
class WindowObserver : public ProjectionBatchObserver
{
  public:
    WindowObserver(QPointer<ProjectionBatchWindow> window, std::function<void(const std::string &)> open)
        : m_window(std::move(window)), m_open(std::move(open))
    {
    }
    void Status(const std::string &text) override
    {
        QPointer<ProjectionBatchWindow> window = m_window;
        PostToWindow(QPointer<QWidget>(window.data()),
                     [window, text] { window->SetControlText(kStatus, text); });
    }
    void Failure(const std::string &message, bool logged) override
    {
        if (logged)
            LogError(kSection, __LINE__, message);
        platform::ui::MessageBox(message, kCaption,
                                 platform::ui::MbOk | (logged ? platform::ui::MbIconError : 0u));
    }
    void CaptureLog(const std::string &path) override { m_log = path; }
    void OpenSummary(const std::string &path) override
    {
        if (m_open)
            m_open(path);
    }
    const std::string &Log() const { return m_log; }

  private:
    QPointer<ProjectionBatchWindow> m_window;
    std::function<void(const std::string &)> m_open;
    std::string m_log;
};

} // namespace

ProjectionBatchWindow::ProjectionBatchWindow(QWidget *parent)
    : FolderToolWindow({kCaption, kSection, kSaveTimer, kFillListTimer, kShowRoiTimer, kCalibrationTimer,
                        /*trimGridFolder=*/false},
                       parent)
{
    m_open_summary = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".xls"); };
    m_open_text = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".txt"); };
    BuildControls();
}

ProjectionBatchWindow::~ProjectionBatchWindow()
{
    EndWindow();
}

void ProjectionBatchWindow::BuildControls()
{
    auto *layout = new QVBoxLayout(this);

    auto *grid = new QGridLayout;
    int row = 0;
    auto addEdit = [&](const char *label, int id, int buttonId, const char *caption) {
        grid->addWidget(new QLabel(label, this), row, 0);
        auto *edit = AddControl(id, new QLineEdit(this));
        grid->addWidget(edit, row, 1);
        if (buttonId) {
            auto *button = AddControl(buttonId, new QPushButton(caption, this));
            button->setAutoDefault(false);
            button->setFixedWidth(32);
            grid->addWidget(button, row, 2);
        }
        ++row;
        return edit;
    };
    auto addCombo = [&](const char *label, int id, int buttonId) {
        grid->addWidget(new QLabel(label, this), row, 0);
        auto *combo = AddControl(id, new DropDownCombo(this));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        grid->addWidget(combo, row, 1);
        auto *button = AddControl(buttonId, new QPushButton("...", this));
        button->setAutoDefault(false);
        button->setFixedWidth(32);
        grid->addWidget(button, row, 2);
        ++row;
        return combo;
    };
    auto *folder = addEdit("Image Directory", kDirectory, kBrowse, "...");
    folder->setMinimumWidth(280);
    auto *filter = addEdit("Filter", kFilter, 0, nullptr);
    auto *params = addCombo("Projection Analysis Params", kParams, kEditParams);
    auto *roi = addCombo("ROI", kRoi, kRoiManager);
    auto *lpCurve = addCombo("LP Curve", kLPCurve, kOpenLPCurve);
    grid->addWidget(new QLabel("Gd conc", this), row, 0);
    auto *gdRow = new QHBoxLayout;
    auto *gd = AddControl(kGdConc, new QLineEdit(this));
    gd->setFixedWidth(90);
    gdRow->addWidget(gd);
    gdRow->addSpacing(12);
    auto *openSummary = AddControl(kOpenSummary, new QCheckBox("Open Summary", this));
    gdRow->addWidget(openSummary);
    gdRow->addStretch(1);
    grid->addLayout(gdRow, row, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto *backgroundRow = new QHBoxLayout;
    auto *selectBackground = AddControl(kSelectBackground, new QPushButton("Select Background Images", this));
    selectBackground->setAutoDefault(false);
    backgroundRow->addWidget(selectBackground);
    AddBackgroundCount(backgroundRow);
    auto *preview = AddControl(kPreview, new QPushButton("Preview", this));
    preview->setAutoDefault(false);
    backgroundRow->addWidget(preview);
    backgroundRow->addStretch(1);
    layout->addLayout(backgroundRow);

    auto *runRow = new QHBoxLayout;
    auto *run = AddControl(kRun, new QPushButton("Run", this));
    run->setAutoDefault(false);
    runRow->addWidget(run);
    auto *stop = AddControl(kStop, new QPushButton("Stop", this));
    stop->setAutoDefault(false);
    stop->setEnabled(false);
    runRow->addWidget(stop);
    AddStatusAndImageList(layout, runRow);
    resize(560, 520);

    connect(folder, &QLineEdit::textChanged, this, [this] {
        for (int id : {kSaveTimer, kFillListTimer, kCalibrationTimer})
            RestartTimer(id, 1000);
    });
    connect(filter, &QLineEdit::textChanged, this, [this] {
        RestartTimer(kSaveTimer, 1000);
        RestartTimer(kFillListTimer, 1000);
    });
    connect(gd, &QLineEdit::textChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
    connect(openSummary, &QCheckBox::clicked, this, [this] { RestartTimer(kSaveTimer, 1000); });
    // Typing into or picking from the parameter and LP lists saves; so does picking a ROI, which
    // also becomes the active ROI.
    connect(params, &QComboBox::editTextChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
    connect(lpCurve, &QComboBox::currentIndexChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
    connect(roi, &QComboBox::editTextChanged, this, [this] {
        RestartTimer(kShowRoiTimer, 1000);
        RestartTimer(kSaveTimer, 1000);
    });
    params->onDropDown = [this] { OnDropDownParams(); };
    params->onCloseUp = [this] { RestartTimer(kSaveTimer, 1000); };
    roi->onDropDown = [this] { OnDropDownRoi(); };
    roi->onCloseUp = [this] {
        RestartTimer(kShowRoiTimer, 1000);
        RestartTimer(kSaveTimer, 1000);
    };
    lpCurve->onDropDown = [this] { OnDropDownLPCurve(); };
    lpCurve->onCloseUp = [this] { RestartTimer(kSaveTimer, 1000); };
    connect(selectBackground, &QPushButton::clicked, this, [this] { OnSelectBackgroundImages(); });
    connect(preview, &QPushButton::clicked, this, [this] { OnPreview(); });
    connect(run, &QPushButton::clicked, this, [this] { OnRun(); });
    connect(ControlAs<QPushButton>(kBrowse), &QPushButton::clicked, this, [this] { OnBrowseDirectory(); });
    connect(ControlAs<QPushButton>(kEditParams), &QPushButton::clicked, this, [this] { OnEditParams(); });
    connect(ControlAs<QPushButton>(kRoiManager), &QPushButton::clicked, this, [this] { OnRoiManager(); });
    connect(ControlAs<QPushButton>(kOpenLPCurve), &QPushButton::clicked, this, [this] { OnOpenLPCurve(); });
}

void ProjectionBatchWindow::OnInitDialog()
{
    LoadSettings();
}

void ProjectionBatchWindow::LoadSettings()
{
    if (m_saving)
        return;
    SetControlText(kDirectory, ReadSetting("Directory", "", kTextSize));
    SetControlText(kParams, ReadSetting("ProjectionAnalysisParams", "", kTextSize));
    SetControlText(kRoi, ReadSetting("ROI", "", kTextSize));
    SetControlText(kFilter, ReadSetting("Filter", "*.png", kTextSize));
    SetControlText(kLPCurve, ReadSetting("LPCurve", "", kTextSize));
    const std::string openSummary = ReadSetting("OpenSummary", "", kTextSize);
    if (CompareText(openSummary.c_str(), "TRUE", 0, 0))
        SetChecked(kOpenSummary, true);
    else if (CompareText(openSummary.c_str(), "FALSE", 0, 0))
        SetChecked(kOpenSummary, false);
    SetControlText(kGdConc, ReadSetting("Gd_conc", "", kTextSize));
}

void ProjectionBatchWindow::SaveSettings()
{
    m_saving = true;
    WriteSetting("Directory", ControlText(kDirectory));
    WriteSetting("ProjectionAnalysisParams", ControlText(kParams));
    WriteSetting("ROI", ControlText(kRoi));
    WriteSetting("Filter", ControlText(kFilter));
    WriteSetting("LPCurve", ControlText(kLPCurve));
    WriteSetting("OpenSummary", IsChecked(kOpenSummary) ? "TRUE" : "FALSE");
    WriteSetting("Gd_conc", ControlText(kGdConc));
    m_saving = false;
}

void ProjectionBatchWindow::OnDropDownParams()
{
    FillSorted(ControlAs<QComboBox>(kParams), ListParamSetNamesToFirstDot(LibFolder(), "*.PA_params"));
}

void ProjectionBatchWindow::OnDropDownRoi()
{
    FillSorted(ControlAs<QComboBox>(kRoi), SavedRoiNames());
}

void ProjectionBatchWindow::OnDropDownLPCurve()
{
    FillSorted(ControlAs<QComboBox>(kLPCurve), ListParamSetNamesToFirstDot(LibFolder(), "*.LP_curve_params"));
}

void ProjectionBatchWindow::OnOpenLPCurve()
{
    const std::string name = ControlText(kLPCurve);
    std::string message;
    if (!name.empty() && !ValidateSetName(name, message)) {
        platform::ui::MessageBox(message, kCaption, platform::ui::MbOk | platform::ui::MbIconWarning);
        return;
    }
    if (m_open_text)
        m_open_text(LibFolder() + "/" + name + ".LP_curve_params");
}

void ProjectionBatchWindow::OnEditParams()
{
    ModelessWindow &dialog = ProjectionParams().ParamsDialog();
    if (!dialog.HasWindow() && !dialog.Create(false))
        return;
    dialog.Show(true);
}

void ProjectionBatchWindow::OnRun()
{
    if (RunActive())
        return;
    ProjectionBatchInputs inputs;
    inputs.images = SelectedEntries();
    if (inputs.images.empty()) {
        platform::ui::MessageBox("You must select at least one image.", kCaption, platform::ui::MbOk);
        return;
    }
    inputs.folder = ControlText(kDirectory);
    inputs.lib_folder = LibFolder();

    std::string message;
    inputs.params_name = ControlText(kParams);
    if (inputs.params_name.empty()) {
        ReportError(__LINE__, "You must select a projection params file from the drop down.");
        return;
    }
    // A typed name names a file in LIB, never a way out of it.
    if (!ValidateSetName(inputs.params_name, message)) {
        ReportError(__LINE__, message);
        return;
    }
    const std::string paramsFile =
        ProjectionParamsFileFor(ParamsNameRule::Run, inputs.params_name, theApp.m_ini_path);
    // A missing set would run with every value 0 and find no peak: refuse it instead.
    if (!platform::FileExists(paramsFile)) {
        ReportError(__LINE__, "Missing file: " + paramsFile);
        return;
    }
    LoadProjectionParams(inputs.params, paramsFile.c_str());

    inputs.lp_curve_name = ControlText(kLPCurve);
    if (inputs.lp_curve_name.empty()) {
        ReportError(__LINE__, "You must select an lp curve file the drop down.");
        return;
    }
    if (!ValidateSetName(inputs.lp_curve_name, message)) {
        ReportError(__LINE__, message);
        return;
    }
    inputs.gd_conc_text = ControlText(kGdConc);
    double gd = 0.0;
    if (std::sscanf(inputs.gd_conc_text.c_str(), "%lf", &gd) != 1)
        gd = 0.0;
    if (!(gd > 0.001 && gd < 1000.0)) {
        ReportError(__LINE__, "Gd_conc must be between 0.001 and 1000 mM");
        return;
    }
    EString error;
    const std::string curveFile = inputs.lib_folder + "/" + inputs.lp_curve_name + ".LP_curve_params";
    if (!inputs.lp_curve.Load(gd, curveFile.c_str(), error)) {
        ReportError(__LINE__, error.c_str());
        return;
    }

    const std::string roiName = ControlText(kRoi);
    if (roiName.empty()) {
        ReportError(__LINE__, "You must select a roi from the drop down.");
        return;
    }
    int32_t rect[4] = {0, 0, 0, 0};
    if (!Rois().FindRoiByName(roiName.c_str(), rect, error)) {
        ReportError(__LINE__, error.c_str());
        return;
    }
    inputs.params.left = rect[0];
    inputs.params.top = rect[1];
    inputs.params.right = rect[2];
    inputs.params.bottom = rect[3];
    GetBackgroundImages(inputs.background_paths);
    inputs.open_summary = IsChecked(kOpenSummary);

    // The worker reaches the window through this pointer only, made here on its own thread.
    QPointer<ProjectionBatchWindow> self = this;
    StartRun([self, inputs = std::move(inputs), open = m_open_summary] {
        WindowObserver observer(self, open);
        RunProjectionBatch(inputs, observer, platform::Now());
        QPointer<ProjectionBatchWindow> window = self;
        PostToWindow(QPointer<QWidget>(window.data()), [window, log = observer.Log()] {
            window->m_capture_log = log;
            window->SetControlText(kStatus, "");
            window->EnableControls();
        });
    });
}

void ProjectionBatchWindow::DisableControls()
{
    for (int id : kRunInputs)
        EnableControl(id, false);
    EnableControl(kStop, true);
}

void ProjectionBatchWindow::EnableControls()
{
    for (int id : kRunInputs)
        EnableControl(id, true);
    EnableControl(kStop, false);
}

void ProjectionBatchWindow::showEvent(QShowEvent *event)
{
    FolderToolWindow::showEvent(event);
    HideOtherFolderTools(ProjectionTool().Window());
}

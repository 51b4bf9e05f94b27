#include "tools/gui/ImageAnalysisToolDlg.h"

#include "Ostravo/BrowseForFolder.h"
#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/Profile.h"
#include "app/AnalysisToolWindows.h"
#include "app/AppServices.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "tools/CountingParams.h"
#include "tools/gui/FillImageFileList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using namespace image_analysis_id;

constexpr const char *kSection = "ImageAnalysisTool";
constexpr const char *kTitle = "Image Analysis Tool";

struct SetKind
{
    int combo;
    int editButton;
    const char *pattern;
    const char *extension;
    const char *key;
};

constexpr SetKind kSets[] = {
    {kCircularSet, kEditCircular, "*.counting_params", ".counting_params", "AlgoParamsSet"},
    {kEpiSet, kEditEpi, "*.epi_counting_params", ".epi_counting_params", "AlgoParamsSetEpi"},
    {kLPCurveSet, kEditLPCurve, "*.LP_curve_params", ".LP_curve_params", "LPCurve"},
};

const SetKind *FindSet(int combo)
{
    for (const SetKind &set : kSets)
        if (set.combo == combo)
            return &set;
    return nullptr;
}

std::string ReadSetting(const char *key)
{
    char buffer[1023] = {0};
    Ostravo::E_GetPrivateProfileString(kSection, key, "", buffer, sizeof buffer, theApp.m_ini_path.c_str());
    return buffer;
}

void WriteSetting(const char *key, const std::string &value)
{
    Ostravo::E_WritePrivateProfileString(kSection, key, value.c_str(), theApp.m_ini_path.c_str());
}

// The window as the run sees it. It serves one run: it holds the choices taken when Run was pressed
// (the worker never reads a control), reaches the window only through the GUI seam, and ends with
// the run, whose last call is EnableControls.
class ToolRunOwner : public ImageAnalysisRunOwner
{
  public:
    ToolRunOwner(ImageAnalysisToolDlg *window, std::shared_ptr<StopFlag> stop, ImageAnalysisToolChoice choice,
                 std::string libFolder, bool openSummary)
        : m_window(window), m_stop(std::move(stop)), m_choice(std::move(choice)), m_lib(std::move(libFolder)),
          m_open_summary(openSummary)
    {
    }
    bool StopRequested() override { return m_stop->load(); }
    void SetStatusText(const std::string &text) override
    {
        QPointer<ImageAnalysisToolDlg> window = m_window;
        PostToWindow(QPointer<QWidget>(window.data()),
                     [window, text] { window->SetControlText(kStatus, text); });
    }
    bool OpenSummaryChecked() override { return m_open_summary; }
    void EnableControls() override
    {
        QPointer<ImageAnalysisToolDlg> window = m_window;
        PostToWindow(QPointer<QWidget>(window.data()), [window] { window->EnableControls(); });
        delete this;
    }
    void WriteAnalysisParamsHeader(std::vector<std::string> &header, const std::string &runFolder) override
    {
        ::WriteAnalysisParamsHeader(m_choice, m_lib, header, runFolder);
    }

  private:
    QPointer<ImageAnalysisToolDlg> m_window;
    std::shared_ptr<StopFlag> m_stop;
    ImageAnalysisToolChoice m_choice;
    std::string m_lib;
    bool m_open_summary;
};

} // namespace

ImageAnalysisToolDlg::ImageAnalysisToolDlg(QWidget *parent)
    : ToolWindow(kTitle, parent), m_stop(std::make_shared<StopFlag>(true))
{
    BuildControls();
    LoadSettings();
    RestartTimer(kFileListTimer, 200);
    RestartTimer(kAcquisitionTimer, 500);
}

ImageAnalysisToolDlg::~ImageAnalysisToolDlg()
{
    // A run still going ends before its next image; it reaches this window no more.
    m_stop->store(true);
}

void ImageAnalysisToolDlg::BuildControls()
{
    auto *top = new QVBoxLayout(this);

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel("Image Directory", this));
    auto *folder = AddControl(kDirectory, new QLineEdit(this));
    folder->setMinimumWidth(280);
    folderRow->addWidget(folder, 1);
    auto *browse = AddControl(kBrowse, new QPushButton("...", this));
    browse->setAutoDefault(false);
    browse->setFixedWidth(32);
    folderRow->addWidget(browse);
    top->addLayout(folderRow);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel("Filter", this));
    auto *filter = AddControl(kFilter, new QLineEdit(this));
    filterRow->addWidget(filter, 1);
    top->addLayout(filterRow);

    auto *middle = new QHBoxLayout;
    auto *list = AddControl(kFiles, new QListWidget(this));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSortingEnabled(false); // filled in the sorted order already
    list->setMinimumSize(220, 180);
    middle->addWidget(list, 1);

    auto *right = new QVBoxLayout;
    auto *sets = new QGroupBox("Algo Params Sets", this);
    auto *grid = new QGridLayout(sets);
    const char *captions[] = {"Circle", "Epi ", "LP Curve"};
    for (int i = 0; i < 3; ++i) {
        const SetKind &set = kSets[i];
        grid->addWidget(new QLabel(captions[i], sets), i, 0);
        auto *combo = AddControl(set.combo, new DropDownCombo(sets));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumContentsLength(16);
        const int id = set.combo;
        combo->onDropDown = [this, id] { ListSets(id); };
        grid->addWidget(combo, i, 1);
        auto *edit = AddControl(set.editButton, new QPushButton("...", sets));
        edit->setAutoDefault(false);
        edit->setFixedWidth(32);
        grid->addWidget(edit, i, 2);
        connect(edit, &QPushButton::clicked, this, [this, id] { OnEditSet(id); });
        connect(combo, &QComboBox::currentTextChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
        connect(combo, &QComboBox::activated, this, [this](int) { RestartTimer(kSaveTimer, 100); });
    }
    grid->addWidget(new QLabel("Gd conc", sets), 3, 0);
    auto *gd = AddControl(kGdConc, new QLineEdit(sets));
    gd->setMaximumWidth(90);
    grid->addWidget(gd, 3, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel("mM", sets), 3, 2);
    right->addWidget(sets);
    auto *openSummary = AddControl(kOpenSummary, new QCheckBox("Open Summary", this));
    right->addWidget(openSummary);
    auto *acquisition = AddControl(kUseAcquisitionSettings,
                                   new QCheckBox("Use Settings from Acquisition (Magnets, pp_mm)", this));
    acquisition->hide();
    right->addWidget(acquisition);
    auto *buttons = new QHBoxLayout;
    auto *run = AddControl(kRun, new QPushButton("Run", this));
    auto *stop = AddControl(kStop, new QPushButton("Stop", this));
    run->setAutoDefault(false);
    stop->setAutoDefault(false);
    stop->setEnabled(false);
    buttons->addWidget(run);
    buttons->addWidget(stop);
    right->addLayout(buttons);
    right->addStretch(1);
    middle->addLayout(right);
    top->addLayout(middle, 1);

    auto *status = AddControl(kStatus, new QLabel(this));
    status->setMinimumWidth(200);
    top->addWidget(status);

    connect(folder, &QLineEdit::textChanged, this, [this] {
        RestartTimer(kSaveTimer, 1000);
        RestartTimer(kFileListTimer, 1000);
        RestartTimer(kAcquisitionTimer, 200);
    });
    connect(filter, &QLineEdit::textChanged, this, [this] {
        RestartTimer(kSaveTimer, 1000);
        RestartTimer(kFileListTimer, 1000);
    });
    connect(gd, &QLineEdit::textChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
    connect(openSummary, &QCheckBox::clicked, this, [this] { RestartTimer(kSaveTimer, 0); });
    connect(acquisition, &QCheckBox::clicked, this, [this] { RestartTimer(kAcquisitionTimer, 200); });
    connect(browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(run, &QPushButton::clicked, this, [this] { Run(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
}

std::string ImageAnalysisToolDlg::LibFolder() const
{
    return theApp.m_data_directory + "/LIB";
}

void ImageAnalysisToolDlg::LoadSettings()
{
    m_loading = true;
    SetControlText(kDirectory, ReadSetting("Directory"));
    SetControlText(kFilter, ReadSetting("Filter"));
    for (const SetKind &set : kSets)
        SetControlText(set.combo, ReadSetting(set.key));
    SetChecked(kOpenSummary, BoxFromStoredText(ReadSetting("OpenSummary").substr(0, 8).c_str(), BoxRule::A,
                                               IsChecked(kOpenSummary)));
    SetControlText(kGdConc, ReadSetting("Gd_conc"));
    UpdateRunButton();
    m_loading = false;
}

void ImageAnalysisToolDlg::SaveSettings()
{
    if (m_loading)
        return;
    WriteSetting("Directory", ControlText(kDirectory));
    WriteSetting("Filter", ControlText(kFilter));
    for (const SetKind &set : kSets)
        WriteSetting(set.key, ControlText(set.combo));
    WriteSetting("OpenSummary", IsChecked(kOpenSummary) ? "TRUE" : "FALSE");
    WriteSetting("Gd_conc", ControlText(kGdConc));
    UpdateRunButton();
}

void ImageAnalysisToolDlg::UpdateRunButton()
{
    EnableControl(kRun, !ControlText(kCircularSet).empty() || !ControlText(kEpiSet).empty());
}

void ImageAnalysisToolDlg::DisableControls()
{
    for (int id : {kDirectory, kBrowse, kFilter, kCircularSet, kEpiSet, kEditEpi, kRun, kEditCircular,
                   kLPCurveSet, kEditLPCurve, kGdConc, kFiles})
        EnableControl(id, false);
    EnableControl(kStop, true);
}

void ImageAnalysisToolDlg::EnableControls()
{
    for (int id : {kDirectory, kBrowse, kFilter, kCircularSet, kEpiSet, kEditEpi})
        EnableControl(id, true);
    UpdateRunButton();
    for (int id : {kEditCircular, kLPCurveSet, kEditLPCurve, kGdConc, kFiles})
        EnableControl(id, true);
    EnableControl(kStop, false);
}

void ImageAnalysisToolDlg::Refuse(const ImageAnalysisToolRefusal &refusal)
{
    if (refusal.logged)
        LogError(__FILE_NAME__, __LINE__, refusal.message);
    platform::ui::MessageBox(refusal.message, kTitle,
                             platform::ui::MbOk |
                                 (refusal.logged ? platform::ui::MbIconError : platform::ui::MbIconWarning));
}

void ImageAnalysisToolDlg::Run()
{
    ImageAnalysisToolChoice choice;
    auto *list = ControlAs<QListWidget>(kFiles);
    for (int row = 0; list && row < list->count(); ++row) {
        if (list->item(row)->isSelected())
            choice.files.push_back(platform::gui::ItemText(list->item(row)));
    }
    choice.circular_set = ControlText(kCircularSet);
    choice.epi_set = ControlText(kEpiSet);
    choice.lp_curve_set = ControlText(kLPCurveSet);
    choice.gd_conc = ControlText(kGdConc);
    choice.image_folder = ControlText(kDirectory);
    QWidget *acquisition = Control(kUseAcquisitionSettings);
    const bool useAcquisition = acquisition && !acquisition->isHidden() && IsChecked(kUseAcquisitionSettings);
    choice.magnet_file = useAcquisition ? m_acquisition_settings_path : theApp.m_ini_path;
    const bool openSummary = IsChecked(kOpenSummary);

    auto run = std::make_unique<ImageAnalysisRunParams>();
    ImageAnalysisToolRefusal refusal;
    if (!PrepareImageAnalysisToolRun(choice, LibFolder(), theApp.m_ini_path, *run, refusal)) {
        Refuse(refusal);
        return;
    }

    m_stop = std::make_shared<StopFlag>(false);
    DisableControls();
    auto *owner = new ToolRunOwner(this, m_stop, choice, LibFolder(), openSummary);
    run->owner = owner;
    EString error;
    ImageAnalysisRunParams *record = run.release();
    if (!StartImageAnalysisThread(record, true, error)) {
        delete owner;
        delete record;
        EnableControls();
        Refuse({error.c_str(), true});
    }
}

void ImageAnalysisToolDlg::OnStop()
{
    m_stop->store(true);
}

void ImageAnalysisToolDlg::OnBrowse()
{
    EString path(ControlText(kDirectory).c_str());
    if (BrowseForFolder(path, "Select a directory with images to analyze."))
        SetControlText(kDirectory, path.c_str());
}

void ImageAnalysisToolDlg::ListSets(int comboId)
{
    const SetKind *set = FindSet(comboId);
    auto *combo = ControlAs<QComboBox>(comboId);
    if (!set || !combo)
        return;
    const QString before = combo->currentText();
    const QSignalBlocker block(combo);
    combo->clear();
    for (const std::string &name : ListParamSetNamesToFirstDot(LibFolder(), set->pattern))
        platform::gui::AddComboItem(combo, name, platform::gui::TextKind::Path);
    // The typed name stays until one is picked.
    combo->setCurrentIndex(-1);
    combo->setEditText(before);
}

void ImageAnalysisToolDlg::OnEditSet(int comboId)
{
    const SetKind *set = FindSet(comboId);
    if (!set)
        return;
    const std::string name = ControlText(comboId);
    std::string message;
    if (!name.empty() && !ValidateSetName(name, message)) {
        platform::ui::MessageBox(message, kTitle, platform::ui::MbOk | platform::ui::MbIconWarning);
        return;
    }
    const std::string path = LibFolder() + "/" + name + set->extension;
    OpenUsingDefaultApp(path.c_str(), ".txt");
}

void ImageAnalysisToolDlg::CheckAcquisitionSettings()
{
    m_acquisition_settings_path =
        GetExperimentSettingsIniPath(EString(ControlText(kDirectory).c_str())).c_str();
    QWidget *box = Control(kUseAcquisitionSettings);
    if (!box)
        return;
    const bool found =
        !m_acquisition_settings_path.empty() && platform::FileExists(m_acquisition_settings_path);
    if (!found && !box->isHidden()) {
        box->hide();
        SetChecked(kUseAcquisitionSettings, false);
    } else if (found && box->isHidden()) {
        box->show();
        SetChecked(kUseAcquisitionSettings, true);
    }
}

void ImageAnalysisToolDlg::OnTimer(int id)
{
    KillTimer(id);
    switch (id) {
    case kSaveTimer:
        SaveSettings();
        break;
    case kFileListTimer:
        FillImageFileList(this);
        break;
    case kAcquisitionTimer:
        CheckAcquisitionSettings();
        break;
    default:
        break;
    }
}

void ImageAnalysisToolDlg::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    HideOtherFolderTools(AnalysisTools().ImageAnalysisTool());
}

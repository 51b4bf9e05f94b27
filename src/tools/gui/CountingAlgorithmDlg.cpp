#include "tools/gui/CountingAlgorithmDlg.h"

#include "Ostravo/EString.h"
#include "Ostravo/FileCompare.h"
#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/Profile.h"
#include "analysis/CountingAlgo.h"
#include "app/BackgroundImages.h"
#include "app/ImageDoc.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/DropDownCombo.h"
#include "app/gui/ImageView.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "tools/CountingRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cstdio>

namespace {

using namespace counting_id;

constexpr const char *kSection = "CountingAlgorithmDlg";

struct SpinBar
{
    int bar;
    int edit;
    double step;
    double minimum;
    double maximum;
};

constexpr SpinBar kSpinBars[] = {
    {1248, kObjectRadius1, 1, 1, 50},      {1249, kObjectRadius2, 1, 1, 50},
    {1261, kObjectRadiusSweep1, 1, 0, 20}, {1262, kObjectRadiusSweep2, 1, 0, 20},
    {1250, kMFilterSamples1, 1, 4, 36},    {1251, kMFilterSamples2, 1, 4, 36},
    {1252, kMFilterThreshold1, 5, 1, 500}, {1253, kMFilterThreshold2, 5, 1, 500},
    {1254, kCFilterThreshold1, 5, 1, 500}, {1255, kCFilterThreshold2, 5, 1, 500},
    {1256, kCFilterMinSize1, 1, 1, 100},   {1257, kCFilterMinSize2, 1, 1, 100},
};

std::string ReadMainSetting(const char *section, const char *key, const char *defaultValue, uint32_t size)
{
    std::string buffer(size, '\0');
    Ostravo::E_GetPrivateProfileString(section, key, defaultValue, buffer.data(), size,
                                       theApp.m_ini_path.c_str());
    return buffer.c_str();
}

void WriteMainSetting(const char *key, const std::string &value)
{
    Ostravo::E_WritePrivateProfileString(kSection, key, value.c_str(), theApp.m_ini_path.c_str());
}

// The four ROI edits read with "%d"; false when one of them does not parse.
bool ReadRoiEdits(const CountingControls &controls, ImageRect &roi)
{
    const int ids[4] = {kLeft, kTop, kRight, kBottom};
    int32_t *targets[4] = {&roi.left, &roi.top, &roi.right, &roi.bottom};
    for (int i = 0; i < 4; ++i) {
        int value = 0;
        if (std::sscanf(controls.Edit(ids[i]).c_str(), "%d", &value) != 1)
            return false;
        *targets[i] = value;
    }
    return true;
}

} // namespace

CountingAlgorithmDlg::CountingAlgorithmDlg(QWidget *parent) : ToolWindow("Counting Algorithm", parent)
{
    m_open_summary = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".xls"); };
    BuildControls();
    OnInitDialog();
}

CountingAlgorithmDlg::~CountingAlgorithmDlg() = default;

void CountingAlgorithmDlg::BuildControls()
{
    auto *top = new QVBoxLayout(this);

    auto *combo = AddParamSetRow(top, kParamSetName, kSave);
    combo->onDropDown = [this] { ListCountingParamSets(); };
    auto *save = ControlAs<QPushButton>(kSave);

    auto *resultsRow = new QHBoxLayout;
    resultsRow->addWidget(AddControl(kCreateResultsFiles, new QCheckBox("Create Results Files", this)));
    resultsRow->addWidget(AddControl(kOpenSummary, new QCheckBox("Open Summary", this)));
    resultsRow->addStretch(1);
    top->addLayout(resultsRow);

    auto *regionRow = new QHBoxLayout;
    regionRow->addWidget(AddRoiGroup(kLeft, kTop, kRight, kBottom));
    auto *magnetGroup = new QGroupBox(" Magnet Height ", this);
    auto *magnetGrid = new QGridLayout(magnetGroup);
    magnetGrid->addWidget(new QLabel("Upper", magnetGroup), 0, 0);
    magnetGrid->addWidget(new QLabel("Lower", magnetGroup), 1, 0);
    for (int i = 0; i < 2; ++i) {
        auto *edit = AddControl(i == 0 ? kUpperMagnet : kLowerMagnet, new QLineEdit(magnetGroup));
        edit->setEnabled(false);
        edit->setMaximumWidth(70);
        magnetGrid->addWidget(edit, i, 1);
    }
    regionRow->addWidget(magnetGroup);
    auto *buttons = new QVBoxLayout;
    auto *run = AddControl(kRun, new QPushButton("Run", this));
    auto *done = AddControl(kDone, new QPushButton("Done", this));
    run->setAutoDefault(false);
    done->setAutoDefault(false);
    buttons->addWidget(run);
    buttons->addWidget(done);
    buttons->addWidget(AddControl(kAutoRun, new QCheckBox("Auto Run On Change", this)));
    buttons->addStretch(1);
    regionRow->addLayout(buttons);
    top->addLayout(regionRow);

    top->addWidget(AddControl(kEdgeProcessing, new QCheckBox("Edge processing", this)));

    // The per-type rows: M filter, radius, sweep, samples, threshold, inner ring, C filter,
    // threshold, minimum size; every number with its spin bar.
    auto *grid = new QGridLayout;
    const char *headers[] = {"", "Radius (um)", "+/-",     "Samples", "Threshold", "Use Inner",
                             "", "Threshold",   "Min Size"};
    for (int column = 0; column < 9; ++column)
        grid->addWidget(new QLabel(headers[column], this), 0, column);
    auto numberCell = [this](int editId) {
        auto *cell = new QWidget(this);
        auto *layout = new QHBoxLayout(cell);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(1);
        auto *edit = AddControl(editId, new QLineEdit(cell));
        edit->setMaximumWidth(56);
        layout->addWidget(edit);
        for (const SpinBar &spin : kSpinBars) {
            if (spin.edit != editId)
                continue;
            auto *bar = AddControl(spin.bar, new QScrollBar(Qt::Vertical, cell));
            bar->setRange(0, 2);
            bar->setValue(1);
            bar->setFixedSize(16, edit->sizeHint().height());
            const int barId = spin.bar;
            connect(bar, &QScrollBar::actionTriggered, this, [this, barId](int action) {
                if (action == QAbstractSlider::SliderSingleStepSub)
                    OnVScroll(barId, true);
                else if (action == QAbstractSlider::SliderSingleStepAdd)
                    OnVScroll(barId, false);
            });
            // The bar only reports arrow clicks; it keeps no position of its own.
            connect(bar, &QScrollBar::valueChanged, bar, [bar](int) {
                QSignalBlocker block(bar);
                bar->setValue(1);
            });
            layout->addWidget(bar);
        }
        return cell;
    };
    const struct
    {
        int mFilter;
        const char *mCaption;
        int radius, sweep, samples, mThreshold, inner, cFilter;
        const char *cCaption;
        int cThreshold, minSize;
    } rows[] = {
        {kMFilter1, "M Filter 1", kObjectRadius1, kObjectRadiusSweep1, kMFilterSamples1, kMFilterThreshold1,
         kUseInnerRing1, kCFilter1, "C Filter 1", kCFilterThreshold1, kCFilterMinSize1},
        {kMFilter2, "M Filter 2", kObjectRadius2, kObjectRadiusSweep2, kMFilterSamples2, kMFilterThreshold2,
         kUseInnerRing2, kCFilter2, "C Filter 2", kCFilterThreshold2, kCFilterMinSize2}};
    for (int r = 0; r < 2; ++r) {
        const auto &row = rows[r];
        grid->addWidget(AddControl(row.mFilter, new QCheckBox(row.mCaption, this)), r + 1, 0);
        grid->addWidget(numberCell(row.radius), r + 1, 1);
        grid->addWidget(numberCell(row.sweep), r + 1, 2);
        grid->addWidget(numberCell(row.samples), r + 1, 3);
        grid->addWidget(numberCell(row.mThreshold), r + 1, 4);
        grid->addWidget(AddControl(row.inner, new QCheckBox(this)), r + 1, 5, Qt::AlignCenter);
        grid->addWidget(AddControl(row.cFilter, new QCheckBox(row.cCaption, this)), r + 1, 6);
        grid->addWidget(numberCell(row.cThreshold), r + 1, 7);
        grid->addWidget(numberCell(row.minSize), r + 1, 8);
    }
    top->addLayout(grid);

    top->addWidget(AddControl(kProximityWithin1, new QCheckBox("Proximity Filtering Within Type 1", this)));
    top->addWidget(AddControl(kProximityWithin2, new QCheckBox("Proximity Filtering Within Type 2", this)));
    top->addWidget(
        AddControl(kProximityBetween, new QCheckBox("Proximity Filtering Between Type 1,2", this)));
    top->addWidget(AddControl(kRestoreImage, new QCheckBox("Restore Image", this)));

    // Notifications.
    connect(combo, &QComboBox::activated, this, [this](int) { OnParamSetCloseUp(); });
    connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this] { OnParamChanged(); });
    connect(save, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(run, &QPushButton::clicked, this, [this] { RestartTimer(kRunTimer, 0); });
    connect(done, &QPushButton::clicked, this, [this] { OnDone(); });
    for (int id : {kCreateResultsFiles, kOpenSummary})
        connect(ControlAs<QCheckBox>(id), &QCheckBox::clicked, this, [this] { OnResultsOptionClicked(); });
    connect(ControlAs<QCheckBox>(kEdgeProcessing), &QCheckBox::clicked, this,
            [this] { RestartAutoRunTimer(); });
    for (int id : {kUseInnerRing1, kUseInnerRing2, kMFilter1, kMFilter2, kCFilter1, kCFilter2, kRestoreImage,
                   kProximityWithin1, kProximityWithin2, kProximityBetween})
        connect(ControlAs<QCheckBox>(id), &QCheckBox::clicked, this, [this] { OnParamChanged(); });
    for (int id : {kObjectRadius1, kObjectRadius2, kMFilterSamples1, kMFilterSamples2, kCFilterThreshold1,
                   kCFilterThreshold2, kCFilterMinSize1, kCFilterMinSize2, kMFilterThreshold1,
                   kMFilterThreshold2, kObjectRadiusSweep1, kObjectRadiusSweep2})
        connect(ControlAs<QLineEdit>(id), &QLineEdit::textChanged, this, [this] { OnParamChanged(); });
    for (int id : {kLeft, kTop, kRight, kBottom})
        connect(ControlAs<QLineEdit>(id), &QLineEdit::textChanged, this, [this] { OnRoiChanged(); });
    save->setEnabled(false);
}

std::string CountingAlgorithmDlg::LibFolder() const
{
    return theApp.m_data_directory + "/LIB";
}

std::string CountingAlgorithmDlg::SetPath(const std::string &name) const
{
    return LibFolder() + "/" + name + ".counting_params";
}

void CountingAlgorithmDlg::OnInitDialog()
{
    const std::string name = ReadMainSetting(kSection, "ParamSetName", "", 1023);
    std::string message;
    // A remembered name that is not a plain set name is not followed out of the LIB folder.
    if (name.empty() || !ValidateSetName(name, message) || !platform::FileExists(SetPath(name)))
        return;
    LoadParamsFromFile(SetPath(name));
    RestartTimer(kUnsavedCheckTimer, 350);
}

CountingControls CountingAlgorithmDlg::Snapshot() const
{
    CountingControls controls;
    for (int id : {kCreateResultsFiles, kOpenSummary, kAutoRun})
        controls.boxes[id] = IsChecked(id);
    for (int id : {kUpperMagnet, kLowerMagnet})
        controls.edits[id] = ControlText(id);
    for (const CountingParamKey &key : CountingParamKeys()) {
        if (key.rule == BoxRule::None)
            controls.edits[key.control] = ControlText(key.control);
        else
            controls.boxes[key.control] = IsChecked(key.control);
    }
    return controls;
}

bool CountingAlgorithmDlg::LoadParamsFromFile(const std::string &path)
{
    m_loading = true;
    EString name;
    name.SplitPath(path.c_str(), 0, 1, 0);
    SetControlText(kParamSetName, name.c_str());
    for (const char *key : {"CreateResultsFiles", "OpenSummary"}) {
        const int id = std::string(key) == "CreateResultsFiles" ? kCreateResultsFiles : kOpenSummary;
        SetChecked(
            id, BoxFromStoredText(ReadMainSetting(kSection, key, "", 9).c_str(), BoxRule::A, IsChecked(id)));
    }
    ShowLowerMagnet();
    ShowUpperMagnet();
    CountingControls controls = Snapshot();
    ReadCountingParamsFile(path, controls);
    for (const CountingParamKey &key : CountingParamKeys()) {
        if (key.rule == BoxRule::None)
            SetControlText(key.control, controls.Edit(key.control));
        else
            SetChecked(key.control, controls.Box(key.control));
    }
    m_loading = false;
    return true;
}

bool CountingAlgorithmDlg::SaveParamsToFile(const std::string &path, std::string *error)
{
    if (m_loading)
        return false;
    WriteMainSetting("ParamSetName", ControlText(kParamSetName));
    WriteMainSetting("CreateResultsFiles", IsChecked(kCreateResultsFiles) ? "TRUE" : "FALSE");
    WriteMainSetting("OpenSummary", IsChecked(kOpenSummary) ? "TRUE" : "FALSE");
    ResetActiveRoiUnlessOwn();
    const CountingControls controls = Snapshot();
    if (path.empty())
        return WriteCountingParamsKeys(theApp.m_ini_path, controls);
    std::string reason;
    if (WriteCountingParamsFile(path, controls, reason))
        return true;
    if (error)
        *error = reason;
    return false;
}

// The active ROI goes back to the cartridge ROI on every save, except when it is this window's own
// region: the one the user just drew (the view mirrors it into the ROI edits) or the last run's.
// Resetting that one would undo the drawing within a second of every change.
void CountingAlgorithmDlg::ResetActiveRoiUnlessOwn()
{
    ImageRect own;
    if (ReadRoiEdits(Snapshot(), own) && _active_roi.Get() == own)
        return;
    CImageView *view = DocumentManager::Instance().ActiveView();
    if (view && view->GetDocument() && view->GetDocument()->HasImage()) {
        const cv::Mat *image = view->GetDocument()->GetImage();
        ResetDisplayRoi(image->cols, image->rows);
    }
    RefreshAllViews();
}

void CountingAlgorithmDlg::CheckForUnsavedChanges()
{
    KillTimer(kUnsavedCheckTimer);
    const std::string name = ControlText(kParamSetName);
    if (name.empty())
        return;
    std::string message;
    if (!ValidateSetName(name, message)) {
        // No set file can hold this name: there is nothing saved to compare with.
        EnableControl(kSave, true);
        return;
    }
    const std::string tmp = theApp.m_data_directory + "/Tmp/Params.ini";
    platform::DeleteFile(tmp);
    const bool written = SaveParamsToFile(tmp);
    EnableControl(kSave, !(written && FilesIdentical(SetPath(name).c_str(), tmp.c_str())));
}

void CountingAlgorithmDlg::Report(const std::string &message, bool errorIcon)
{
    LogError(kSection, __LINE__, message);
    platform::ui::MessageBox(message, "Counting Algorithm",
                             errorIcon ? platform::ui::MbOk | platform::ui::MbIconError : platform::ui::MbOk);
}

void CountingAlgorithmDlg::OnSave()
{
    const std::string name = ControlText(kParamSetName);
    std::string message;
    if (!ValidateSetName(name, message)) {
        platform::ui::MessageBox(message, "Counting Algorithm", platform::ui::MbOk);
        return;
    }
    const std::string folder = LibFolder();
    if (!platform::FolderExists(folder) && !CreateDirectoryPath(folder.c_str())) {
        platform::ui::MessageBox("Unable to create directory: " + folder, "Counting Algorithm",
                                 platform::ui::MbOk);
        return;
    }
    const std::string path = SetPath(name);
    std::string error;
    if (!SaveParamsToFile(path, &error)) {
        LogError(kSection, __LINE__, "Unable to create file: " + path + " (" + error + ")");
        platform::ui::MessageBox("Unable to create file: " + path, "Counting Algorithm", platform::ui::MbOk);
        return;
    }
    RestartTimer(kUnsavedCheckTimer, 350);
}

void CountingAlgorithmDlg::OnDone()
{
    if (IsControlEnabled(kSave)) {
        const int answer =
            platform::ui::MessageBox("Save changes?", "Counting Algorithm",
                                     platform::ui::MbYesNoCancel | platform::ui::MbIconQuestion);
        if (answer == platform::ui::IdCancel)
            return;
        if (answer == platform::ui::IdYes)
            OnSave();
    }
    _preview_roi.Set(ImageRect{});
    InvalidateAllViews();
    reject();
}

void CountingAlgorithmDlg::ShowUpperMagnet()
{
    SetControlText(kUpperMagnet, ReadMainSetting("CalibrationSettings", "UpperMagnet", "100", 1023));
}

void CountingAlgorithmDlg::ShowLowerMagnet()
{
    SetControlText(kLowerMagnet, ReadMainSetting("CalibrationSettings", "LowerMagnet", "1800", 1023));
}

void CountingAlgorithmDlg::RestartAutoRunTimer()
{
    RestartTimer(kUnsavedCheckTimer, 350);
    if (IsChecked(kAutoRun))
        RestartTimer(kRunTimer, 600);
}

void CountingAlgorithmDlg::OnParamChanged()
{
    RestartAutoRunTimer();
    RestartTimer(kAutoSaveTimer, 1000);
}

void CountingAlgorithmDlg::OnRoiChanged()
{
    RestartAutoRunTimer();
    RestartTimer(kAutoSaveTimer, 1000);
    RestartTimer(kPreviewTimer, 500);
}

void CountingAlgorithmDlg::OnResultsOptionClicked()
{
    RestartTimer(kAutoSaveTimer, 10);
}

void ListCountingParamSets(QWidget *dialog)
{
    auto *combo = qobject_cast<QComboBox *>(FindControl(dialog, kParamSetName));
    if (!combo)
        return;
    const QString before = combo->currentText();
    const QSignalBlocker block(combo);
    combo->clear();
    for (const std::string &name : CountingParamSetNames(theApp.m_data_directory + "/LIB"))
        platform::gui::AddComboItem(combo, name, platform::gui::TextKind::Path);
    // Until a set is chosen the name stays: closing the list without a choice changes nothing.
    combo->setCurrentIndex(-1);
    combo->setEditText(before);
}

void CountingAlgorithmDlg::ListCountingParamSets()
{
    ::ListCountingParamSets(this);
}

void CountingAlgorithmDlg::OnParamSetCloseUp()
{
    RestartTimer(kAutoSaveTimer, 1000);
    RestartTimer(kLoadTimer, 1100);
}

void CountingAlgorithmDlg::OnVScroll(int scrollBarId, bool up)
{
    for (const SpinBar &spin : kSpinBars) {
        if (spin.bar != scrollBarId)
            continue;
        double value = 0.0;
        if (std::sscanf(ControlText(spin.edit).c_str(), "%lf", &value) != 1)
            return;
        const double next = up ? value + spin.step : value - spin.step;
        if (up ? next > spin.maximum : next < spin.minimum)
            return;
        char text[32];
        SetControlText(spin.edit, FormatDouble(next, text));
        return;
    }
}

void CountingAlgorithmDlg::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    RestartTimer(kUnsavedCheckTimer, 350);
    RestartTimer(kPreviewTimer, 500);
}

void CountingAlgorithmDlg::OnPreviewTimer()
{
    ImageRect roi;
    // Edits that do not parse leave the preview as it is.
    if (!ReadRoiEdits(Snapshot(), roi))
        return;
    _preview_roi.Set(roi);
    InvalidateAllViews();
}

void CountingAlgorithmDlg::OnTimer(int id)
{
    KillTimer(id);
    switch (id) {
    case kRunTimer:
        RestartTimer(kUnsavedCheckTimer, 350);
        process_image();
        break;
    case kAutoSaveTimer:
        SaveParamsToFile(std::string());
        RestartTimer(kUnsavedCheckTimer, 350);
        break;
    case kLoadTimer: {
        const std::string name = ControlText(kParamSetName);
        std::string message;
        if (!ValidateSetName(name, message))
            platform::ui::MessageBox(message, "Counting Algorithm", platform::ui::MbOk);
        else
            LoadParamsFromFile(SetPath(name));
        RestartTimer(kUnsavedCheckTimer, 350);
        break;
    }
    case kUnsavedCheckTimer:
        // A hidden window is checked when it is shown again (showing arms this timer).
        if (isVisible())
            CheckForUnsavedChanges();
        break;
    case kPreviewTimer:
        OnPreviewTimer();
        break;
    default:
        break;
    }
}

void CountingAlgorithmDlg::process_image()
{
    const WaitCursor waitCursor;

    CImageView *view = DocumentManager::Instance().ActiveView();
    CImageDoc *document = view ? view->GetDocument() : nullptr;
    if (!document)
        return;
    std::string error;
    // Every run starts from the image as stored.
    if (!document->ReloadImage(error) || !document->HasImage())
        return;
    const cv::Mat &image = *document->GetImage();

    const CountingControls controls = Snapshot();
    CountingRunSettings settings;
    std::string message;
    bool errorIcon = false;
    if (!PrepareCountingRun(controls, image.cols, image.rows, theApp.m_ini_path, settings, message,
                            errorIcon)) {
        Report(message, errorIcon);
        return;
    }

    std::vector<std::vector<CellDetection>> detections;
    cv::Mat processed;
    EString countingError;
    if (!CountingAlgo(image, settings.options, detections, settings.restore_image ? nullptr : &processed,
                      &countingError)) {
        Report(countingError.c_str(), false);
        return;
    }
    detections.resize(2);
    if (!settings.restore_image && !processed.empty())
        document->SetImage(std::make_unique<cv::Mat>(processed));

    const ImageRect roi{settings.options.left, settings.options.top, settings.options.right,
                        settings.options.bottom};
    if (!(_active_roi.Get() == roi)) {
        _active_roi.Set(roi);
        if (RoiTools().RoiManager().HasWindow())
            RoiTools().ShowCurrentRoi();
    }
    std::vector<CellDetection> type1 = detections[0];
    std::vector<CellDetection> type2 = detections[1];
    view->SetDetections(std::move(type1), std::move(type2));
    view->Invalidate(true);

    if (!settings.create_results_files)
        return;
    std::string tablePath, summaryPath;
    if (!ChooseCountingResultPaths(document->GetPathName(), tablePath, summaryPath)) {
        Report("Can't create file: " + document->GetPathName() + " (no free result file name)", false);
        return;
    }
    CountingResultHeader header;
    header.product_name = theApp.m_product_name;
    header.version = theApp.m_version;
    header.computer_name = platform::ComputerName();
    header.image_path = document->GetPathName();
    header.radius_um[0] = settings.options.object_radius[0];
    header.radius_um[1] = settings.options.object_radius[1];
    const CountingResultTexts texts = FormatCountingResults(header, settings, detections);
    if (!WriteNewTextFile(tablePath, texts.table, error)) {
        Report((error == "write failed" ? "Can't write file: " : "Can't create file: ") + tablePath, false);
        return;
    }
    if (!WriteNewTextFile(summaryPath, texts.summary, error)) {
        Report((error == "write failed" ? "Can't write file: " : "Can't create file: ") + summaryPath, false);
        return;
    }
    if (settings.open_summary && m_open_summary)
        m_open_summary(summaryPath);
}

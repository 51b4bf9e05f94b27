#include "tools/gui/EpiCellCountingAlgoDlg.h"

#include "Ostravo/EString.h"
#include "Ostravo/ImageTypeNames.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "analysis/BackgroundMap.h"
#include "app/BackgroundImages.h"
#include "app/ImageDoc.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/DropDownCombo.h"
#include "app/gui/ImageView.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>

namespace {

using namespace epi_id;

constexpr const char *kSection = "EpiCellCountingAlgoDlg";
constexpr const char *kCaption = "Epi Cell Counting Algo";
constexpr const char *kExtension = ".epi_counting_params";

std::string ReadMainSetting(const char *key, const char *defaultValue)
{
    return Ostravo::ReadProfileString(kSection, key, defaultValue, 1024, theApp.m_ini_path.c_str());
}

// The LIB folder beside the main settings file, where the sets are kept.
EString LibFolder()
{
    EString folder;
    folder.SplitPath(theApp.m_ini_path.c_str(), 1, 0, 0);
    folder.AppendPathPart("LIB");
    return folder;
}

bool IsBlank(const std::string &text)
{
    return CountChars(text.c_str(), 1) == 0;
}

std::string Formatted(const char *format, double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

// A decimal field: a blank text keeps the previous value, a text without a number takes the
// fallback.
void ReadDecimal(const std::string &text, float &value, float fallback)
{
    if (IsBlank(text))
        return;
    float parsed = 0.0f;
    value = Ostravo::ScanNumber(text, parsed) ? parsed : fallback;
}

// An integer field: every text without a number, the blank one included, takes the fallback.
int32_t ReadInteger(const std::string &text, int32_t fallback)
{
    int32_t parsed = 0;
    return Ostravo::ScanNumber(text, parsed) ? parsed : fallback;
}

} // namespace

EpiCellCountingAlgoDlg::EpiCellCountingAlgoDlg(QWidget *parent) : ToolWindow(kCaption, parent)
{
    BuildControls();
    OnInitDialog();
}

EpiCellCountingAlgoDlg::~EpiCellCountingAlgoDlg()
{
    if (auto *combo = dynamic_cast<DropDownCombo *>(Control(kParamSetName))) {
        combo->onDropDown = nullptr;
        combo->onCloseUp = nullptr;
    }
}

void EpiCellCountingAlgoDlg::BuildControls()
{
    auto *top = new QVBoxLayout(this);

    auto *combo = AddParamSetRow(top, kParamSetName, kSave);
    combo->onDropDown = [this] { OnParamSetDropDown(); };
    combo->onCloseUp = [this] { OnParamSetCloseUp(); };
    auto *save = ControlAs<QPushButton>(kSave);
    save->setEnabled(false);

    top->addWidget(AddControl(kUseBgImage, new QCheckBox("Use background image (if available)", this)));

    auto *grid = new QGridLayout;
    const struct
    {
        int id;
        const char *caption;
        const char *help;
    } fields[] = {
        {kDarkPct0, "Dark percentile threshold 0", "At least one pixel must be this dark."},
        {kDarkPct1, "Dark percentile threshold 1", "All pixels must be this dark."},
        {kMinPixelCount, "Min pixel count", "Objects must have at least this many pixels."},
        {kMinSize, "Min size", "Objects must be at least this many pixels tall or wide."},
        {kMaxRatio, "Max ratio",
         "Maximum fraction of the area within a square which the object fits inside of, which is covered by "
         "the object."},
    };
    int row = 0;
    for (const auto &field : fields) {
        grid->addWidget(new QLabel(field.caption, this), row, 0);
        auto *edit = AddControl(field.id, new QLineEdit(this));
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0.00000")) + 16);
        grid->addWidget(edit, row, 1);
        auto *help = new QLabel(field.help, this);
        help->setWordWrap(true);
        help->setMinimumWidth(300);
        grid->addWidget(help, row, 2);
        ++row;
        connect(edit, &QLineEdit::textChanged, this, [this] { OnParamChanged(); });
    }
    grid->setColumnStretch(2, 1);
    top->addLayout(grid);

    auto *lower = new QHBoxLayout;
    lower->addWidget(AddRoiGroup(kLeft, kTop, kRight, kBottom));
    for (int id : {kLeft, kTop, kRight, kBottom})
        connect(ControlAs<QLineEdit>(id), &QLineEdit::textChanged, this, [this] { OnRoiChanged(); });
    auto *debugGroup = new QGroupBox(" Debug ", this);
    auto *debugLayout = new QVBoxLayout(debugGroup);
    debugLayout->addWidget(AddControl(kShowThreshold0, new QCheckBox("Show threshold 0 pixels", debugGroup)));
    debugLayout->addWidget(AddControl(kShowThreshold1, new QCheckBox("Show threshold 1 pixels", debugGroup)));
    debugLayout->addWidget(
        AddControl(kShowFoundObjects, new QCheckBox("Show found object pixels", debugGroup)));
    lower->addWidget(debugGroup);
    auto *buttons = new QVBoxLayout;
    auto *run = AddControl(kRun, new QPushButton("Run", this));
    auto *done = AddControl(kDone, new QPushButton("Done", this));
    run->setAutoDefault(false);
    done->setAutoDefault(false);
    buttons->addWidget(run);
    buttons->addWidget(done);
    buttons->addStretch(1);
    lower->addLayout(buttons);
    top->addLayout(lower);

    connect(save, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(run, &QPushButton::clicked, this, [this] { OnRun(); });
    connect(done, &QPushButton::clicked, this, [this] { OnDone(); });
    for (int id : {kUseBgImage, kShowThreshold0, kShowThreshold1, kShowFoundObjects})
        connect(ControlAs<QCheckBox>(id), &QCheckBox::clicked, this, [this] { OnParamChanged(); });
}

void EpiCellCountingAlgoDlg::OnInitDialog()
{
    std::string error;
    if (!LoadParamSet(error))
        Report(error);
}

void EpiCellCountingAlgoDlg::Report(const std::string &message)
{
    LogError(kSection, __LINE__, message);
    platform::ui::MessageBox(message, kCaption, platform::ui::MbOk | platform::ui::MbIconError);
}

bool EpiCellCountingAlgoDlg::GetParamSetPath(std::string &path, std::string &error, const std::string *name)
{
    const std::string setName = name ? *name : platform::TruncateUtf8(ControlText(kParamSetName), 1023);
    bool valid = !setName.empty() && setName.size() <= 256 && setName.find("..") == std::string::npos;
    for (char c : setName)
        valid = valid && IsValidFileNameChar(c);
    // An empty name would name the hidden file ".epi_counting_params", and ".." parts would lead
    // out of LIB where a separator is taken: a set name must be a plain file name.
    if (!valid) {
        error = "EpiCountingAlgoDlg - Drop down box must have a valid file name: " + setName;
        return false;
    }
    const EString folder = LibFolder();
    if (!platform::FolderExists(folder.c_str()) && !CreateDirectoryPath(folder.c_str())) {
        error = std::string("EpiCountingAlgoDlg - Can't create directory: ") + folder.c_str();
        return false;
    }
    EString joined;
    joined.JoinPath(folder.c_str(), setName.c_str());
    path = std::string(joined.c_str()) + kExtension;
    return true;
}

bool EpiCellCountingAlgoDlg::LoadParamSet(std::string &error)
{
    m_loading = true;
    if (IsBlank(platform::TruncateUtf8(ControlText(kParamSetName), 1023)))
        SetControlText(kParamSetName, ReadMainSetting("ParamSetName", "Default"));
    std::string path;
    if (!GetParamSetPath(path, error)) {
        m_loading = false;
        return false;
    }
    m_params.Load(path.c_str());
    ParamsToControls();
    RestartTimer(kUnsavedCheckTimer, 350);
    m_current_set_name = platform::TruncateUtf8(ControlText(kParamSetName), 1023);
    m_loading = false;
    return true;
}

void EpiCellCountingAlgoDlg::ParamsToControls()
{
    SetChecked(kUseBgImage, m_params.use_bg_image);
    SetControlText(kDarkPct0, Formatted("%6.4f", m_params.dark_pct0));
    SetControlText(kDarkPct1, Formatted("%6.4f", m_params.dark_pct1));
    SetControlText(kMinPixelCount, std::to_string(m_params.min_pixel_count));
    SetControlText(kMinSize, std::to_string(m_params.min_size));
    SetControlText(kMaxRatio, Formatted("%5.3f", m_params.max_ratio));
    SetControlText(kLeft, std::to_string(m_params.left));
    SetControlText(kRight, std::to_string(m_params.right));
    SetControlText(kTop, std::to_string(m_params.top));
    SetControlText(kBottom, std::to_string(m_params.bottom));
}

void EpiCellCountingAlgoDlg::ControlsToParams()
{
    auto text = [this](int id) { return platform::TruncateUtf8(ControlText(id), 1023); };
    m_params.use_bg_image = IsChecked(kUseBgImage);
    ReadDecimal(text(kDarkPct0), m_params.dark_pct0, 0.002f);
    ReadDecimal(text(kDarkPct1), m_params.dark_pct1, 0.01f);
    m_params.min_pixel_count = ReadInteger(text(kMinPixelCount), 60);
    m_params.min_size = ReadInteger(text(kMinSize), 20);
    // The editor's fall-back is 0.25, below the set file's 0.35.
    ReadDecimal(text(kMaxRatio), m_params.max_ratio, 0.25f);
    m_params.left = ReadInteger(text(kLeft), 100);
    m_params.right = ReadInteger(text(kRight), 1000);
    m_params.top = ReadInteger(text(kTop), 100);
    m_params.bottom = ReadInteger(text(kBottom), 1000);
}

bool EpiCellCountingAlgoDlg::SaveParamSet(std::string &error, const std::string *name)
{
    error.clear();
    if (m_loading)
        return false;
    const std::string setName = name ? *name : platform::TruncateUtf8(ControlText(kParamSetName), 1023);
    Ostravo::E_WritePrivateProfileString(kSection, "ParamSetName", setName.c_str(),
                                         theApp.m_ini_path.c_str());
    std::string path;
    if (!GetParamSetPath(path, error, &setName))
        return false;
    ControlsToParams();
    // Every key is written through an atomic replace of the file; an existing set is never emptied
    // first, so a failed save leaves the stored set as it was.
    EString saveError;
    if (!m_params.Save(path.c_str(), &saveError)) {
        error = "Can't write to file: " + path;
        if (saveError.IsNonEmpty())
            LogError(kSection, __LINE__, saveError.c_str());
        return false;
    }
    // The fields show what was stored: a text that gave no number shows the value used instead.
    ParamsToControls();
    RestartTimer(kUnsavedCheckTimer, 350);
    m_loading = false;
    return true;
}

void EpiCellCountingAlgoDlg::UpdateSaveButton()
{
    KillTimer(kUnsavedCheckTimer);
    ControlsToParams();
    EnableControl(kSave, ParamsDifferFromSet());
}

bool EpiCellCountingAlgoDlg::ParamsDifferFromSet() const
{
    uint8_t digest[32];
    m_params.ComputeHash(digest);
    return std::memcmp(digest, m_params.digest, sizeof(digest)) != 0;
}

void EpiCellCountingAlgoDlg::OnParamChanged()
{
    RestartTimer(kUnsavedCheckTimer, 350);
}

void EpiCellCountingAlgoDlg::OnRoiChanged()
{
    RestartTimer(kUnsavedCheckTimer, 350);
    RestartTimer(kPreviewRoiTimer, 500);
}

void EpiCellCountingAlgoDlg::OnRun()
{
    RestartTimer(kPreviewTimer, 100);
}

bool EpiCellCountingAlgoDlg::OnSave()
{
    const std::string name = platform::TruncateUtf8(ControlText(kParamSetName), 1023);
    if (IsBlank(name)) {
        platform::ui::MessageBox("Must have a valid name in the combo box before you may save.", kCaption);
        return false;
    }
    EString copy(name.c_str());
    copy.SanitizeFileName();
    if (name != copy.c_str() || name.find("..") != std::string::npos) {
        platform::ui::MessageBox("Name in the combo box must be a valid windows file name.", kCaption);
        return false;
    }
    std::string error;
    if (SaveParamSet(error))
        return true;
    if (!error.empty())
        Report(error);
    return false;
}

void EpiCellCountingAlgoDlg::OnDone()
{
    // The values as last read: an edit of the last 350 ms has not been read yet.
    if (ParamsDifferFromSet()) {
        const int answer = platform::ui::MessageBox(
            "Save changes?", kCaption, platform::ui::MbYesNoCancel | platform::ui::MbIconQuestion);
        if (answer == platform::ui::IdCancel)
            return;
        // A refused save keeps the window open with the edits, as Cancel does.
        if (answer == platform::ui::IdYes && !OnSave())
            return;
    }
    EpiPreviewRoi.Set(ImageRect{});
    InvalidateAllViews();
    ToolWindow::reject();
}

void EpiCellCountingAlgoDlg::OnParamSetDropDown()
{
    auto *combo = ControlAs<QComboBox>(kParamSetName);
    if (!combo)
        return;
    const QSignalBlocker block(combo);
    combo->clear();
    combo->setEditText(QString());
    const EString folder = LibFolder();
    std::vector<std::string> names;
    for (const platform::DirEntry &entry :
         platform::ListFolder(folder.c_str(), std::string("*") + kExtension)) {
        if (entry.isFolder)
            continue;
        names.push_back(entry.name.substr(0, entry.name.find('.')));
    }
    platform::gui::SortByShownText(names, platform::gui::TextKind::Path);
    for (const std::string &name : names)
        platform::gui::AddComboItem(combo, name, platform::gui::TextKind::Path);
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
}

void EpiCellCountingAlgoDlg::OnParamSetCloseUp()
{
    ControlsToParams();
    if (ParamsDifferFromSet()) {
        const int answer = platform::ui::MessageBox("Save changes to " + m_current_set_name + "?", kCaption,
                                                    platform::ui::MbYesNo | platform::ui::MbIconQuestion);
        if (answer == platform::ui::IdYes) {
            std::string error;
            if (!SaveParamSet(error, &m_current_set_name) && !error.empty())
                Report(error);
        }
    }
    RestartTimer(kLoadTimer, 100);
}

void EpiCellCountingAlgoDlg::ShowActiveRoi(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!isVisible())
        return;
    SetControlText(kLeft, std::to_string(left));
    SetControlText(kRight, std::to_string(right));
    SetControlText(kTop, std::to_string(top));
    SetControlText(kBottom, std::to_string(bottom));
}

void EpiCellCountingAlgoDlg::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    RestartTimer(kUnsavedCheckTimer, 350);
    RestartTimer(kPreviewRoiTimer, 500);
}

void EpiCellCountingAlgoDlg::OnPreviewRoiTimer()
{
    int32_t values[4];
    const int ids[4] = {kLeft, kTop, kRight, kBottom};
    for (int i = 0; i < 4; ++i) {
        // An edit without a number leaves the preview rectangle as it is.
        if (!Ostravo::ScanNumber(ControlText(ids[i]), values[i]))
            return;
    }
    EpiPreviewRoi.Set(ImageRect{values[0], values[1], values[2], values[3]});
    InvalidateAllViews();
}

void EpiCellCountingAlgoDlg::OnTimer(int id)
{
    KillTimer(id);
    switch (id) {
    case kPreviewTimer: {
        std::string error;
        if (!RunPreview(error))
            Report(error);
        break;
    }
    case kLoadTimer: {
        std::string error;
        LoadParamSet(error);
        break;
    }
    case kUnsavedCheckTimer:
        // A hidden window is checked when it is shown again (showing arms this timer).
        if (isVisible())
            UpdateSaveButton();
        break;
    case kPreviewRoiTimer:
        OnPreviewRoiTimer();
        break;
    default:
        break;
    }
}

bool EpiCellCountingAlgoDlg::RunPreview(std::string &error)
{
    error.clear();
    const WaitCursor waitCursor;

    CImageView *view = DocumentManager::Instance().ActiveView();
    CImageDoc *document = view ? view->GetDocument() : nullptr;
    if (!document)
        return true;
    // Every preview starts from the pixels of the file.
    if (!document->ReloadImage(error))
        return false;

    ControlsToParams();
    EString validation;
    if (!m_params.Validate(validation)) {
        error = validation.c_str();
        return false;
    }
    m_params.show_threshold0_pixels = IsChecked(kShowThreshold0);
    m_params.show_threshold1_pixels = IsChecked(kShowThreshold1);
    m_params.show_found_object_pixels = IsChecked(kShowFoundObjects);

    const std::string imagePath = document->GetPathName();
    cv::Mat background;
    if (m_params.use_bg_image) {
        EString folder, fileName, typeName, bgError;
        folder.SplitPath(imagePath.c_str(), 1, 0, 0);
        fileName.SplitPath(imagePath.c_str(), 0, 1, 1);
        std::vector<cv::Mat> images;
        std::vector<EString> typeNames;
        if (LoadBGImages(folder.c_str(), images, typeNames, bgError) &&
            ImageTypeFromFileName(fileName.c_str(), typeName)) {
            for (size_t i = 0; i < typeNames.size() && i < images.size(); ++i) {
                if (CompareText(typeNames[i].c_str(), typeName.c_str(), 0, 0)) {
                    background = images[i];
                    break;
                }
            }
        }
    }

    const bool debug = m_params.show_threshold0_pixels || m_params.show_threshold1_pixels ||
                       m_params.show_found_object_pixels;
    const cv::Mat *image = document->HasImage() ? document->GetImage() : nullptr;
    cv::Mat empty;
    const cv::Mat &source = image ? *image : empty;
    cv::Mat overlay;
    if (debug)
        overlay = cv::Mat::zeros(source.rows, source.cols, CV_8UC1);
    std::vector<CellDetection> detections;
    EString countingError;
    if (!EpiCellCountingAlgo(source, m_params, detections, countingError, debug ? &overlay : nullptr,
                             background.empty() ? nullptr : &background)) {
        error = countingError.c_str();
        return false;
    }
    view->m_overlay_mask.reset();
    view->m_epi_detections = std::move(detections);
    if (debug)
        view->m_overlay_mask = std::make_unique<cv::Mat>(std::move(overlay));
    view->Invalidate(true);
    return true;
}

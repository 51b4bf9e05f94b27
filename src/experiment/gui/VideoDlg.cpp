#include "experiment/gui/VideoDlg.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/AppServices.h"
#include "app/PlexorinApp.h"
#include "app/gui/DropDownCombo.h"
#include "experiment/VideoToolRules.h"
#include "experiment/gui/ContrastDlg.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "tools/gui/FillImageFileList.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <strings.h>

namespace {

constexpr const char *kSection = "VideoDlg";
constexpr const char *kCaption = "Video";

// Both levels of a "lower:upper" text, as typed.
bool ReadTwoLevels(const std::string &text, long &lower, long &upper)
{
    return std::sscanf(text.c_str(), "%ld:%ld", &lower, &upper) == 2;
}

void FillNameList(Ostravo::ImageNameList &list, const std::vector<std::string> &names)
{
    list.RemoveAll(true);
    for (const std::string &name : names)
        list.Add(new EString(name.c_str()));
}

} // namespace

VideoDlg::VideoDlg(QWidget *parent)
    : ChannelImageWindow({kCaption, kSection, kBrowse, kFileList, kSaveTimer, kFillListTimer}, parent)
{
    m_run_selection_grid = [this](ImageFileItemArray &items) {
        ImageSelectionDlg grid(theApp.m_ini_path, this);
        grid.m_items = &items;
        return grid.exec() == QDialog::Accepted;
    };
    m_contrast_dialog = [] { return TheContrastDlg(); };
    BuildControls();
    EnableRunControls(true);
    LoadSettings();
    FillImageFileList(this);
    CollectChannelSuffixes();
}

VideoDlg::~VideoDlg()
{
    m_stop = true;
    if (m_worker.joinable())
        m_worker.join();
}

void VideoDlg::BuildControls()
{
    auto *list = AddFolderControls(QAbstractItemView::ExtendedSelection, 240);
    list->setMinimumHeight(260);
    auto *videoFile = AddControl(kVideoFile, new QLineEdit(this));
    auto *fps = AddControl(kFps, new QLineEdit(this));
    fps->setFixedWidth(60);

    auto *top = FolderGrid();
    top->addWidget(new QLabel(QStringLiteral("Video file"), this), 2, 0);
    top->addWidget(videoFile, 2, 1, 1, 2);

    auto *fpsRow = new QHBoxLayout;
    fpsRow->addWidget(new QLabel(QStringLiteral("fps"), this));
    fpsRow->addWidget(fps);
    fpsRow->addStretch();

    auto *group = new QGroupBox(QStringLiteral(" RGB associations "), this);
    auto *rows = new QGridLayout(group);
    for (int c = 0; c < 4; ++c) {
        auto *combo = AddChannelCombo(c, group);
        combo->setMinimumWidth(120);
        combo->onCloseUp = [this] { RestartTimer(kSaveTimer, 1000); };
        connect(combo, &QComboBox::editTextChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
        auto *range = AddControl(kRange0 + c, new QLabel(group));
        range->setMinimumWidth(90);
        range->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        rows->addWidget(new QLabel(platform::gui::ToQt(kChannelLabels[c]), group), c, 0);
        rows->addWidget(combo, c, 1);
        rows->addWidget(range, c, 2);
    }
    rows->setColumnStretch(1, 1);

    auto *monochrome = AddControl(kMonochrome, new QCheckBox(QStringLiteral("Monochrome"), this));
    auto *trim =
        AddControl(kTrimToCustomerView, new QCheckBox(QStringLiteral("Trim to customer view"), this));
    trim->setEnabled(false);
    auto *preview = AddControl(kPreview, new QPushButton(QStringLiteral("Preview"), this));
    auto *contrast = AddControl(kContrast, new QPushButton(QStringLiteral("Contrast"), this));
    auto *create = AddControl(kCreate, new QPushButton(QStringLiteral("Create"), this));
    create->setDefault(true);
    auto *stop = AddControl(kStop, new QPushButton(QStringLiteral("Stop"), this));
    auto *status = AddControl(kStatus, new QLabel(this));
    status->setMinimumWidth(200);

    auto *buttons = new QGridLayout;
    buttons->addWidget(preview, 0, 0);
    buttons->addWidget(contrast, 0, 1);
    buttons->addWidget(create, 1, 0);
    buttons->addWidget(stop, 1, 1);

    auto *side = new QVBoxLayout;
    side->addLayout(fpsRow);
    side->addWidget(group);
    side->addWidget(monochrome);
    side->addWidget(trim);
    side->addLayout(buttons);
    side->addStretch();

    auto *body = new QHBoxLayout;
    body->addWidget(list, 1);
    body->addLayout(side);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->addLayout(top);
    layout->addLayout(body, 1);
    layout->addWidget(status);

    connect(ControlAs<QPushButton>(kBrowse), &QPushButton::clicked, this, [this] { OnBrowse(); });
    ConnectFolderEdits();
    for (QLineEdit *edit : {videoFile, fps})
        connect(edit, &QLineEdit::textChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
    connect(monochrome, &QCheckBox::clicked, this, [this] { RestartTimer(kSaveTimer, 1000); });
    connect(trim, &QCheckBox::clicked, this, [this] { RestartTimer(kSaveTimer, 300); });
    connect(preview, &QPushButton::clicked, this, [this] { OnPreview(); });
    connect(contrast, &QPushButton::clicked, this, [this] { OnContrast(); });
    connect(create, &QPushButton::clicked, this, [this] { OnCreateVideo(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
}

const Ostravo::ImageNameList &VideoDlg::ChannelNames(int c) const
{
    switch (c) {
    case 1:
        return m_red;
    case 2:
        return m_green;
    case 3:
        return m_blue;
    default:
        return m_brightfield;
    }
}

void VideoDlg::LoadSettings()
{
    m_loading = true;
    SetControlText(kFolder, ReadSetting("Directory", ""));
    SetControlText(kFilter, ReadSetting("Filter", "*.png"));
    SetControlText(kVideoFile, ReadSetting("VideoFile", ""));
    SetControlText(kFps, ReadSetting("fps", "3"));
    SetChecked(kMonochrome, strcasecmp(ReadSetting("Monochrome", "", 9).c_str(), "FALSE") != 0);
    for (int c = 0; c < 4; ++c) {
        SetControlText(kBrightfield + c, ReadSetting(kChannelKeys[c], ""));
        const std::string key = "Range" + std::to_string(c);
        SetControlText(kRange0 + c, ReadSetting(key.c_str(), ""));
    }
    const std::string trim = ReadSetting("TrimToCustomerView", "", 9);
    if (strcasecmp(trim.c_str(), "TRUE") == 0)
        SetChecked(kTrimToCustomerView, true);
    else if (strcasecmp(trim.c_str(), "FALSE") == 0)
        SetChecked(kTrimToCustomerView, false);
    EnableChannelCombos();
    m_loading = false;
}

void VideoDlg::EnableChannelCombos()
{
    const bool colour = !IsChecked(kMonochrome);
    for (int c = 0; c < 4; ++c)
        EnableControl(kBrightfield + c, colour);
}

bool VideoDlg::SaveSettings()
{
    if (m_loading)
        return false;
    EnableChannelCombos();
    const char *ini = theApp.m_ini_path.c_str();
    const auto write = [ini](const char *key, const std::string &value) {
        Ostravo::E_WritePrivateProfileString(kSection, key, value.c_str(), ini);
    };
    write("Directory", ControlText(kFolder));
    write("Filter", ControlText(kFilter));
    write("VideoFile", ControlText(kVideoFile));
    write("fps", ControlText(kFps));
    write("Monochrome", IsChecked(kMonochrome) ? "TRUE" : "FALSE");
    for (int c = 0; c < 4; ++c) {
        write(kChannelKeys[c], ControlText(kBrightfield + c));
        write(("Range" + std::to_string(c)).c_str(), ControlText(kRange0 + c));
    }
    write("TrimToCustomerView", IsChecked(kTrimToCustomerView) ? "TRUE" : "FALSE");
    return true;
}

void VideoDlg::CollectChannelSuffixes()
{
    m_channel_suffixes = CollectChannelWords(FolderPngNames());
}

void VideoDlg::OnBrowse()
{
    BrowseForImageFolder("Select a directory with image files...");
    RestartTimer(kFillListTimer, 0);
}

void VideoDlg::OnPreview()
{
    std::vector<std::string> entries;
    if (auto *list = ControlAs<QListWidget>(kFileList))
        for (int row = 0; row < list->count(); ++row)
            if (list->item(row)->isSelected())
                entries.push_back(platform::gui::ItemText(list->item(row)));
    if (entries.empty()) {
        platform::ui::MessageBox("You must select at least one file from the list.", kCaption,
                                 platform::ui::MbOk);
        return;
    }
    EString folder(ControlText(kFolder).c_str());
    folder.Trim();
    ImageFileItemArray items;
    for (const std::string &entry : entries) {
        auto *item = new ImageFileItem;
        item->m_name.JoinPath(folder.c_str(), entry.c_str());
        items.Add(item);
    }
    if (m_run_selection_grid)
        m_run_selection_grid(items);
}

void VideoDlg::ReportError(const std::string &message)
{
    LogError(kSection, __LINE__, message);
    platform::ui::MessageBox(message, kCaption, platform::ui::MbOk | platform::ui::MbIconError);
}

void VideoDlg::EnableRunControls(bool enable)
{
    for (int id : {kFolder, kFilter, kVideoFile, kFps, kFileList, kMonochrome, kCreate})
        EnableControl(id, enable);
    for (int c = 0; c < 4; ++c)
        EnableControl(kBrightfield + c, enable && !IsChecked(kMonochrome));
    EnableControl(kStop, !enable);
}

void VideoDlg::OnCreateVideo()
{
    if (m_running)
        return;
    double fps = 0;
    if (!ParseVideoFps(ControlText(kFps), fps)) {
        LogError(kSection, __LINE__, kVideoFpsMessage);
        platform::ui::MessageBox(kVideoFpsMessage, kCaption, platform::ui::MbOk);
        return;
    }
    m_fps = fps;
    const std::string videoText = ControlText(kVideoFile);
    if (videoText.empty()) {
        const char *message = "You must provide the name of the video file to create.";
        LogError(kSection, __LINE__, message);
        platform::ui::MessageBox(message, kCaption, platform::ui::MbOk);
        return;
    }
    m_image_folder = ControlText(kFolder);
    m_video_file = VideoFilePath(videoText, m_image_folder);
    if (platform::FileExists(platform::NormalizePath(m_video_file))) {
        const std::string question =
            "File already exists: " + m_video_file + "\n\nDo you want to overwrite it?";
        if (platform::ui::MessageBox(question, kCaption,
                                     platform::ui::MbYesNo | platform::ui::MbIconQuestion) !=
            platform::ui::IdYes)
            return;
    }

    std::vector<std::string> selected;
    if (auto *list = ControlAs<QListWidget>(kFileList))
        for (int row = 0; row < list->count(); ++row)
            if (list->item(row)->isSelected())
                selected.push_back(platform::gui::ItemText(list->item(row)));
    m_monochrome = IsChecked(kMonochrome);
    if (m_monochrome) {
        FillNameList(m_brightfield, selected);
    } else {
        Ostravo::ImageNameList *lists[4] = {&m_brightfield, &m_red, &m_green, &m_blue};
        for (int c = 0; c < 4; ++c)
            FillNameList(*lists[c], BuildChannelList(ControlText(kBrightfield + c), selected));
    }

    if (IsChecked(kTrimToCustomerView)) {
        const EString settings = GetExperimentSettingsIniPath(EString(m_image_folder.c_str()));
        if (settings.c_str() == nullptr || settings.c_str()[0] == '\0') {
            EString expected;
            expected.JoinPath(m_image_folder.c_str(), "ExperimentSettings.ini");
            ReportError(std::string("Trim to customer view option is invalid because file ") +
                        expected.c_str() + " is missing");
            return;
        }
    }

    // The worker sees only this snapshot; the lists and paths stay untouched until it has ended.
    int32_t levels[8];
    for (int c = 0; c < 4; ++c)
        ParseRangeText(ControlText(kRange0 + c), levels[2 * c], levels[2 * c + 1]);
    struct Run
    {
        bool monochrome;
        std::string output;
        std::string folder;
        double fps;
        std::vector<int32_t> windows;
    };
    Run run{m_monochrome, platform::NormalizePath(m_video_file), platform::NormalizePath(m_image_folder),
            m_fps, std::vector<int32_t>(levels, levels + 8)};

    if (m_worker.joinable())
        m_worker.join();
    m_stop = false;
    m_running = true;
    EnableRunControls(false);
    QPointer<QWidget> self(this);
    m_worker = std::thread([this, self, run] {
        const Ostravo::VideoStatus status = [self](const std::string &text) {
            PostToWindow(self, [self, text] {
                if (auto *label = qobject_cast<QLabel *>(FindControl(self, kStatus)))
                    label->setText(platform::gui::ToQt(text));
            });
        };
        EString error;
        const bool ok =
            run.monochrome
                ? Ostravo::CreateVideo(run.output.c_str(), run.folder.c_str(), m_brightfield, run.fps, status,
                                       &m_stop, error, run.windows[0], run.windows[1])
                : Ostravo::CreateVideo4Chan(run.output.c_str(), run.folder.c_str(), m_brightfield, m_red,
                                            m_green, m_blue, run.fps, status, &m_stop, error, &run.windows);
        if (!ok) {
            const std::string message = error.c_str() != nullptr ? error.c_str() : "";
            LogError(kSection, __LINE__, message);
            platform::ui::MessageBox(message, kCaption, platform::ui::MbOk | platform::ui::MbIconError);
        }
        PostToWindow(self, [this] {
            EnableRunControls(true);
            m_running = false;
        });
    });
}

void VideoDlg::WaitForWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

void VideoDlg::OnContrast()
{
    ContrastDlg *contrast = m_contrast_dialog ? m_contrast_dialog() : nullptr;
    if (!contrast)
        return;
    contrast->SetControlText(ContrastDlg::kFolder, ControlText(kFolder));
    contrast->SetControlText(ContrastDlg::kFilter, ControlText(kFilter));
    for (int c = 0; c < 4; ++c)
        contrast->SetControlText(ContrastDlg::kBrightfield + c, ControlText(kBrightfield + c));
    for (int c = 0; c < 4; ++c) {
        long lower = 0, upper = 0;
        if (ReadTwoLevels(ControlText(kRange0 + c), lower, upper))
            contrast->SetLowerAndUpperIntensities(c, static_cast<int32_t>(std::clamp(lower, -1L, 65536L)),
                                                  static_cast<int32_t>(std::clamp(upper, -1L, 65536L)));
    }
    contrast->show();
    contrast->raise();
    contrast->activateWindow();
    RestartTimer(kContrastTimer, 1000);
}

void VideoDlg::CopyContrastWindows()
{
    ContrastDlg *contrast = m_contrast_dialog ? m_contrast_dialog() : nullptr;
    if (!contrast)
        return;
    for (int c = 0; c < 4; ++c) {
        if (!HasVisibleCharacter(ControlText(kBrightfield + c))) {
            SetControlText(kRange0 + c, "");
            continue;
        }
        const Ostravo::IntensityControl &pane = contrast->Pane(c);
        char text[64];
        std::snprintf(text, sizeof text, "%ld:%ld", static_cast<long>(pane.m_lower_intensity),
                      static_cast<long>(pane.m_upper_intensity));
        if (strcasecmp(text, ControlText(kRange0 + c).c_str()) != 0) {
            SetControlText(kRange0 + c, text);
            RestartTimer(kSaveTimer, 1000);
        }
    }
    if (contrast->isVisible())
        RestartTimer(kContrastTimer, 1000);
}

void VideoDlg::OnTimer(int id)
{
    if (id != kContrastTimer) {
        ChannelImageWindow::OnTimer(id);
        return;
    }
    KillTimer(id);
    CopyContrastWindows();
}

// ---- The installed services ----

ExperimentWindowServices::ExperimentWindowServices(MontageDialogRunner dialog)
    : ExperimentAnalysisServices(std::move(dialog)),
      m_video(std::make_unique<LazyToolWindow<VideoDlg>>([] { return std::make_unique<VideoDlg>(); })),
      m_contrast(
          std::make_unique<LazyToolWindow<ContrastDlg>>([] { return std::make_unique<ContrastDlg>(); }))
{
}

// The video tool goes first: it reads the contrast tool's panes.
ExperimentWindowServices::~ExperimentWindowServices()
{
    m_video.reset();
    m_contrast.reset();
}

ModelessWindow &ExperimentWindowServices::VideoTool()
{
    return *m_video;
}

ModelessWindow &ExperimentWindowServices::ContrastTool()
{
    return *m_contrast;
}

VideoDlg *ExperimentWindowServices::VideoDialog() const
{
    return m_video->Window();
}

ContrastDlg *ExperimentWindowServices::ContrastDialog() const
{
    return m_contrast->Window();
}

ContrastDlg *TheContrastDlg()
{
    auto *services = dynamic_cast<ExperimentWindowServices *>(&Experiment());
    if (!services)
        return nullptr;
    if (!services->ContrastTool().HasWindow())
        services->ContrastTool().Create(false);
    return services->ContrastDialog();
}

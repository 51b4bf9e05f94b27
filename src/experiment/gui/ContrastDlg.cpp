#include "experiment/gui/ContrastDlg.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/gui/QtText.h"
#include "tools/gui/FillImageFileList.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <strings.h>

namespace {

constexpr const char *kSection = "ContrastDlg";
// Height of a channel row: the pane above and beside the combo, its markers below.
constexpr int kChannelRowHeight = 64;

QRect ToQRect(const Ostravo::IntensityControl::Rect &r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
}

} // namespace

ContrastDlg::ContrastDlg(QWidget *parent)
    : ChannelImageWindow({"Contrast", kSection, kBrowse, kFileList, kSaveTimer, kFillListTimer}, parent)
{
    for (Ostravo::IntensityControl &pane : m_panes)
        pane.m_hidden = true;
    // A marker follows the mouse while its button is held, reported or not by the platform.
    setMouseTracking(true);
    BuildControls();
    LoadSettings();
}

ContrastDlg::~ContrastDlg() = default;

void ContrastDlg::BuildControls()
{
    auto *list = AddFolderControls(QAbstractItemView::SingleSelection, 220);
    auto *top = FolderGrid();

    // The panes are drawn by this window to the right of the combos, within the group box.
    auto *group = AddControl(kPaneLimit, new QGroupBox(this));
    group->setMinimumWidth(520);
    auto *rows = new QGridLayout(group);
    for (int c = 0; c < 4; ++c) {
        auto *combo = AddChannelCombo(c, this);
        combo->setFixedWidth(130);
        combo->onCloseUp = [this] {
            RestartTimer(kSaveTimer, 1000);
            RestartTimer(kLoadImagesTimer, 1000);
        };
        connect(combo, &QComboBox::editTextChanged, this, [this] {
            RestartTimer(kSaveTimer, 1000);
            RestartTimer(kLoadImagesTimer, 1000);
        });
        rows->addWidget(new QLabel(platform::gui::ToQt(kChannelLabels[c]), group), c, 0);
        rows->addWidget(combo, c, 1);
        rows->setRowMinimumHeight(c, kChannelRowHeight);
    }
    rows->setColumnStretch(2, 1);

    auto *body = new QHBoxLayout;
    body->addWidget(list);
    body->addWidget(group, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->addLayout(top);
    layout->addLayout(body, 1);

    connect(ControlAs<QPushButton>(kBrowse), &QPushButton::clicked, this, [this] { OnBrowse(); });
    ConnectFolderEdits();
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { RestartTimer(kLoadImagesTimer, 300); });
}

bool ContrastDlg::FillImageList(QWidget *dialog)
{
    return FillImageFileList(dialog, kFileList);
}

void ContrastDlg::LoadSettings()
{
    m_loading = true;
    SetControlText(kFolder, ReadSetting("ImageDirectory"));
    SetControlText(kFilter, ReadSetting("Filter"));
    for (int c = 0; c < 4; ++c)
        SetControlText(kBrightfield + c, ReadSetting(kChannelKeys[c]));
    m_loading = false;
}

bool ContrastDlg::SaveSettings()
{
    if (m_loading)
        return false;
    const char *ini = theApp.m_ini_path.c_str();
    Ostravo::E_WritePrivateProfileString(kSection, "ImageDirectory", ControlText(kFolder).c_str(), ini);
    Ostravo::E_WritePrivateProfileString(kSection, "Filter", ControlText(kFilter).c_str(), ini);
    for (int c = 0; c < 4; ++c)
        Ostravo::E_WritePrivateProfileString(kSection, kChannelKeys[c], ControlText(kBrightfield + c).c_str(),
                                             ini);
    return true;
}

void ContrastDlg::CollectChannelSuffixes()
{
    m_channel_suffixes.clear();
    for (const std::string &name : FolderPngNames()) {
        if (m_channel_suffixes.size() >= 4)
            break;
        if (name.size() < 4 || strcasecmp(name.c_str() + name.size() - 4, ".png") != 0)
            continue;
        // The text between the last two underscores.
        const size_t last = name.rfind('_');
        if (last == std::string::npos || last == 0)
            continue;
        const size_t before = name.rfind('_', last - 1);
        if (before == std::string::npos)
            continue;
        const std::string word = name.substr(before + 1, last - before - 1);
        if (std::find(m_channel_suffixes.begin(), m_channel_suffixes.end(), word) == m_channel_suffixes.end())
            m_channel_suffixes.push_back(word);
    }
}

void ContrastDlg::OnBrowse()
{
    BrowseForImageFolder("Select a directory with images...");
}

bool ContrastDlg::BuildChannelFileNames(const std::string &selected)
{
    for (std::string &file : m_channel_files)
        file.clear();
    const size_t last = selected.rfind('_');
    if (last == std::string::npos || last == 0)
        return false;
    const size_t before = selected.rfind('_', last - 1);
    if (before == std::string::npos || before == 0)
        return false;
    EString base;
    base.JoinPath(ControlText(kFolder).c_str(), selected.substr(0, before + 1).c_str());
    const std::string tail = selected.substr(last);
    for (int c = 0; c < 4; ++c) {
        const std::string channel = ControlText(kBrightfield + c);
        if (!HasVisibleCharacter(channel))
            continue;
        const std::string path = std::string(base.c_str()) + channel + tail;
        if (platform::FileExists(platform::NormalizePath(path)))
            m_channel_files[c] = path;
    }
    return true;
}

Ostravo::IntensityControl::Rect ContrastDlg::PaneRect(int c) const
{
    const QWidget *combo = Control(kBrightfield + c);
    const QWidget *group = Control(kPaneLimit);
    const QRect box(combo->mapTo(this, QPoint(0, 0)), combo->size());
    const QRect limit(group->mapTo(this, QPoint(0, 0)), group->size());
    return Ostravo::IntensityControl::Rect{box.right() + 10, box.top() - 5, limit.right() - 10, box.bottom()};
}

QRect ContrastDlg::MarkerStrip(const Ostravo::IntensityControl &pane)
{
    const Ostravo::IntensityControl::Rect &f = pane.m_frame;
    int32_t h = (f.bottom - f.top) / 2;
    if (h % 2 != 0)
        ++h;
    return QRect(QPoint(f.left - h / 2, f.bottom + 1), QPoint(f.right + h / 2 + 1, f.bottom + h + 1));
}

bool ContrastDlg::LoadChannelImages()
{
    for (Ostravo::IntensityControl &pane : m_panes)
        pane.m_hidden = true;
    for (std::string &file : m_channel_files)
        file.clear();
    update();
    auto *list = ControlAs<QListWidget>(kFileList);
    std::string selected;
    if (list) {
        const QList<QListWidgetItem *> items = list->selectedItems();
        if (!items.isEmpty())
            selected = platform::gui::ItemText(items.front());
    }
    if (!BuildChannelFileNames(selected))
        return false;
    for (int c = 0; c < 4; ++c) {
        if (m_channel_files[c].empty())
            continue;
        const Ostravo::IntensityControl::Rect rect = PaneRect(c);
        update(ToQRect(rect).adjusted(-10, 0, 10, 20));
        const cv::Mat image =
            platform::ReadImageFile(platform::NormalizePath(m_channel_files[c]), cv::IMREAD_UNCHANGED);
        if (image.empty())
            continue;
        Ostravo::IntensityControl &pane = m_panes[c];
        pane.m_hidden = false;
        pane.m_frame = rect;
        cv::Mat grey = image;
        // A channel image that is not 16-bit grey is counted as 16-bit grey levels.
        if (grey.channels() != 1)
            cv::extractChannel(image, grey, 0);
        if (grey.depth() == CV_8U)
            grey.convertTo(grey, CV_16U, 257.0);
        else if (grey.depth() != CV_16U)
            grey.convertTo(grey, CV_16U);
        std::string error;
        if (!pane.SetHistogramFromImage(grey, error))
            LogError(kSection, __LINE__, error);
    }
    return true;
}

bool ContrastDlg::SetLowerAndUpperIntensities(int channel, int32_t lower, int32_t upper)
{
    if (channel < 0 || channel > 3 || lower < 0 || upper > 65535 || lower >= upper)
        return false;
    std::string error;
    if (!m_panes[channel].SetLowerAndUpperIntensities(static_cast<uint16_t>(lower),
                                                      static_cast<uint16_t>(upper), error))
        return false;
    update(MarkerStrip(m_panes[channel]));
    return true;
}

void ContrastDlg::OnTimer(int id)
{
    if (id != kLoadImagesTimer) {
        ChannelImageWindow::OnTimer(id);
        return;
    }
    KillTimer(id);
    LoadChannelImages();
}

void ContrastDlg::paintEvent(QPaintEvent *event)
{
    ChannelImageWindow::paintEvent(event);
    QPainter painter(this);
    for (Ostravo::IntensityControl &pane : m_panes) {
        pane.m_marker_colour = QColor(150, 150, 75);
        std::string error;
        pane.Draw(painter, error);
    }
}

void ContrastDlg::mousePressEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    for (Ostravo::IntensityControl &pane : m_panes) {
        // A hidden pane keeps the marker places of its last drawing; it cannot be grabbed.
        if (pane.m_hidden)
            continue;
        if (pane.HitTestMarkers(p)) {
            update(MarkerStrip(pane));
            return;
        }
    }
    ChannelImageWindow::mousePressEvent(event);
}

void ContrastDlg::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    for (Ostravo::IntensityControl &pane : m_panes) {
        if (pane.m_hidden || !(pane.m_dragging_lower || pane.m_dragging_upper))
            continue;
        if (pane.DragMarker(p)) {
            update(MarkerStrip(pane));
            return;
        }
    }
    ChannelImageWindow::mouseMoveEvent(event);
}

void ContrastDlg::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    for (Ostravo::IntensityControl &pane : m_panes) {
        if (!(pane.m_dragging_lower || pane.m_dragging_upper))
            continue;
        const int changed = pane.DragMarker(p);
        pane.m_dragging_lower = false;
        pane.m_dragging_upper = false;
        if (changed) {
            update(MarkerStrip(pane));
            return;
        }
    }
    ChannelImageWindow::mouseReleaseEvent(event);
}

void ContrastDlg::resizeEvent(QResizeEvent *event)
{
    ChannelImageWindow::resizeEvent(event);
    RestartTimer(kLoadImagesTimer, 1000);
}

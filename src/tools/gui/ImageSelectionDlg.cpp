#include "tools/gui/ImageSelectionDlg.h"

#include "Ostravo/ProfileValues.h"
#include "app/ImageDoc.h"
#include "app/gui/DocumentManager.h"
#include "platform/gui/QtText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegion>
#include <QVBoxLayout>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

void AddImageFileItems(ImageFileItemArray &items, const char *folder, const std::vector<std::string> &names)
{
    for (const std::string &name : names) {
        auto *item = new ImageFileItem;
        item->m_name.JoinPath(folder, name.c_str());
        item->m_flag = 0;
        items.Add(item);
    }
}

std::vector<std::string> SelectedFileNames(const ImageFileItemArray &items)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < items.GetCount(); ++i) {
        const ImageFileItem *item = items.GetAt(i);
        if (!item->m_flag)
            continue;
        EString name;
        name.SplitPath(item->m_name.c_str(), 0, 1, 1);
        names.push_back(name.c_str());
    }
    return names;
}

namespace {

constexpr const char *kSection = "ImageSelectionDlg";
// A cell's frame lies 5 pixels inside its left and top edges and 6 inside its right and bottom
// edges: a narrower or lower cell has no frame to draw.
constexpr int kSmallestCell = 12;

// "%d" of a grid-size text; 0 for a text that does not begin with a number.
int ReadCount(const QString &text)
{
    int value = 0;
    if (std::sscanf(platform::gui::FromQt(text).c_str(), "%d", &value) != 1)
        return 0;
    return value;
}

// Grey value of level p in the display range: 255 (p - low) / (high - low), truncated and kept
// within 0 to 255. A range of one level shows everything above it white.
int GreyOf(int p, int low, int high)
{
    if (high <= low)
        return p > low ? 255 : 0;
    const int64_t g = int64_t(255) * (p - low) / (high - low);
    return static_cast<int>(std::clamp<int64_t>(g, 0, 255));
}

} // namespace

bool ComputeThumbnailPercentiles(const uint16_t *values, size_t count, const std::vector<float> &fractions,
                                 std::vector<int> &levels)
{
    levels.assign(fractions.size(), 0);
    std::vector<uint64_t> histogram(65536, 0);
    for (size_t i = 0; i < count; ++i)
        ++histogram[values[i]];
    std::vector<int64_t> targets(fractions.size(), 0);
    for (size_t f = 0; f < fractions.size(); ++f) {
        int64_t target = static_cast<int64_t>(std::llround(static_cast<double>(count) * fractions[f]));
        targets[f] = std::clamp<int64_t>(target, 0, count > 0 ? int64_t(count) - 1 : 0);
    }
    std::vector<bool> done(fractions.size(), false);
    size_t remaining = fractions.size();
    uint64_t sum = 0;
    for (int level = 0; level < 65536 && remaining > 0; ++level) {
        sum += histogram[level];
        for (size_t f = 0; f < fractions.size(); ++f) {
            if (!done[f] && int64_t(sum) >= targets[f]) {
                levels[f] = level;
                done[f] = true;
                --remaining;
            }
        }
    }
    return true;
}

ImageSelectionDlg::ImageSelectionDlg(const std::string &settingsPath, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Image Selection"));
    auto button = [this](const char *caption, int id) {
        auto *b = new QPushButton(platform::gui::ToQt(caption), this);
        b->setObjectName(QString::number(id));
        b->setAutoDefault(false);
        return b;
    };
    m_ok = button("OK", 1);
    m_ok->setDefault(true);
    m_cancel = button("Cancel", 2);
    m_clear = button("Clear", kClear);
    m_open = button("Open Sel", kOpenSelected);
    m_page_down = button("pg down", kPageDown);
    m_page_up = button("pg up", kPageUp);
    m_page_down->setEnabled(false);
    m_page_up->setEnabled(false);
    m_selected = new QLineEdit(this);
    m_selected->setObjectName(QString::number(kSelectedCount));
    m_selected->setReadOnly(true);
    m_selected->setMaximumWidth(50);
    auto combo = [this](int id, const std::string &initial) {
        auto *c = new QComboBox(this);
        c->setObjectName(QString::number(id));
        c->setEditable(true);
        for (int n = 3; n <= 7; ++n)
            c->addItem(QString::number(n));
        platform::gui::SetComboEditText(c, initial);
        c->setMaximumWidth(60);
        // A choice from the list redraws after a pause; a typed value is read at the next paint.
        connect(c, &QComboBox::activated, this, &ImageSelectionDlg::RestartTimer);
        return c;
    };
    m_nhorz = combo(kNHorz, Ostravo::ReadProfileString(kSection, "NHI", "5", 32, settingsPath.c_str()));
    m_nvert = combo(kNVert, Ostravo::ReadProfileString(kSection, "NVI", "5", 32, settingsPath.c_str()));

    auto *controls = new QHBoxLayout;
    controls->setSpacing(6);
    controls->addWidget(m_ok);
    controls->addWidget(m_cancel);
    controls->addWidget(m_clear);
    controls->addWidget(new QLabel(QStringLiteral("Selected"), this));
    controls->addWidget(m_selected);
    controls->addWidget(new QLabel(QStringLiteral("NHorz"), this));
    controls->addWidget(m_nhorz);
    controls->addWidget(new QLabel(QStringLiteral("NVert"), this));
    controls->addWidget(m_nvert);
    controls->addWidget(m_open);
    controls->addWidget(m_page_down);
    controls->addWidget(m_page_up);
    controls->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 4, 5, 5);
    layout->addLayout(controls);
    layout->addStretch();

    m_empty_pen = QPen(QColor(100, 100, 100), 1, Qt::DashDotDotLine);
    m_selected_pen = QPen(QColor(255, 100, 100), 3, Qt::SolidLine);
    m_unselected_pen = QPen(QColor(100, 100, 100), 3, Qt::SolidLine);
    for (QPen *pen : {&m_empty_pen, &m_selected_pen, &m_unselected_pen}) {
        pen->setCapStyle(Qt::SquareCap);
        pen->setJoinStyle(Qt::MiterJoin);
    }

    m_timer.setSingleShot(true);
    m_timer.setInterval(kRedrawDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &ImageSelectionDlg::OnTimer);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_clear, &QPushButton::clicked, this, &ImageSelectionDlg::OnClear);
    connect(m_open, &QPushButton::clicked, this, &ImageSelectionDlg::OnOpenSelected);
    resize(900, 700);
}

ImageSelectionDlg::~ImageSelectionDlg() = default;

int ImageSelectionDlg::CountSelected(const ImageFileItemArray *items)
{
    if (items == nullptr)
        return 0;
    int count = 0;
    for (int32_t i = 0; i < items->GetCount(); ++i)
        if (items->GetAt(i)->m_flag != 0)
            ++count;
    return count;
}

void ImageSelectionDlg::UpdateButtons()
{
    const int count = CountSelected(m_items);
    m_clear->setEnabled(count > 0);
    m_open->setEnabled(count > 0);
    const QString text = QString::number(count);
    if (m_selected->text() != text)
        m_selected->setText(text);
}

void ImageSelectionDlg::RestartTimer()
{
    m_timer.start();
}

void ImageSelectionDlg::OnTimer()
{
    m_resize_pending = false;
    m_timer.stop();
    update();
}

void ImageSelectionDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    // Only a resize by the user hides the grid; the first layout when the dialog opens does not.
    if (isVisible() && event->oldSize().isValid()) {
        m_resize_pending = true;
        RestartTimer();
    }
}

void ImageSelectionDlg::paintEvent(QPaintEvent *event)
{
    UpdateButtons();
    if (m_resize_pending)
        return;
    QPainter painter(this);
    const QRect update = event->rect();
    const int updateLeft = update.x(), updateTop = update.y();
    const int updateRight = update.x() + update.width(), updateBottom = update.y() + update.height();

    const int areaLeft = 5, areaTop = kControlStrip, areaRight = width() - 5, areaBottom = height() - 5;
    if (areaRight <= areaLeft || areaBottom <= areaTop)
        return;
    painter.fillRect(QRect(areaLeft, areaTop, areaRight - areaLeft, areaBottom - areaTop), QColor(0, 0, 50));

    m_cells.clear();
    const int nHorz = ReadCount(m_nhorz->currentText());
    const int nVert = ReadCount(m_nvert->currentText());
    // A count that is not a positive number, or cells too small for their margins, give no grid.
    if (nHorz <= 0 || nVert <= 0)
        return;
    const int cellWidth = (areaRight - areaLeft) / nHorz;
    const int cellHeight = (areaBottom - areaTop) / nVert;
    if (cellWidth < kSmallestCell || cellHeight < kSmallestCell)
        return;
    m_cells.reserve(size_t(nHorz) * size_t(nVert));
    for (int r = 0; r < nVert; ++r) {
        for (int c = 0; c < nHorz; ++c) {
            Cell cell;
            cell.index = r * nHorz + c;
            cell.frame.setCoords(areaLeft + c * cellWidth + 5, areaTop + r * cellHeight + 5,
                                 areaLeft + c * cellWidth + cellWidth - 6,
                                 areaTop + r * cellHeight + cellHeight - 6);
            m_cells.push_back(cell);
        }
    }

    const bool partial = update.width() < areaRight - areaLeft;
    for (const Cell &cell : m_cells) {
        const QRect &f = cell.frame;
        if (f.left() > updateRight || f.right() < updateLeft || f.top() > updateBottom ||
            f.bottom() < updateTop)
            continue;
        const ImageFileItem *item = cell.index < ItemCount() ? m_items->GetAt(cell.index) : nullptr;
        if (item == nullptr) {
            painter.setPen(m_empty_pen);
        } else {
            if (!partial)
                DrawThumbnail(painter, cell, item->m_name.c_str() ? item->m_name.c_str() : "");
            painter.setPen(item->m_flag != 0 ? m_selected_pen : m_unselected_pen);
        }
        const QPoint corners[5] = {f.topLeft(), f.topRight(), f.bottomRight(), f.bottomLeft(), f.topLeft()};
        painter.drawPolyline(corners, 5);
    }
}

void ImageSelectionDlg::DrawThumbnail(QPainter &painter, const Cell &cell, const std::string &path)
{
    cv::Mat image;
    std::string error;
    // A file that cannot be read, or is not 16-bit grey, shows its frame only and leaves the
    // display range alone.
    if (!ReadImageAnyDepth(path, image, error) || image.empty() || image.type() != CV_16UC1)
        return;
    const int64_t columns = image.cols, rows = image.rows;
    const int frameWidth = cell.frame.right() - cell.frame.left();
    const int frameHeight = cell.frame.bottom() - cell.frame.top();
    int width = frameWidth, height = frameHeight, x = cell.frame.left(), y = cell.frame.top();
    if (int64_t(frameWidth) * rows > columns * frameHeight) {
        width = static_cast<int>(columns * frameHeight / rows);
        x += (frameWidth - width) / 2;
    } else {
        height = static_cast<int>(rows * frameWidth / columns);
        y += (frameHeight - height) / 2;
    }
    if (width <= 0 || height <= 0)
        return;

    std::vector<uint16_t> sampled(size_t(width) * size_t(height));
    for (int i = 0; i < height; ++i) {
        const uint16_t *source = image.ptr<uint16_t>(static_cast<int>(i * rows / height));
        for (int j = 0; j < width; ++j)
            sampled[size_t(i) * width + j] = source[j * columns / width];
    }
    if (cell.index == 0) {
        std::vector<int> levels;
        ComputeThumbnailPercentiles(sampled.data(), sampled.size(), {0.05f, 0.95f}, levels);
        m_low = static_cast<uint16_t>(levels[0]);
        m_high = static_cast<uint16_t>(levels[1]);
    }
    QImage thumbnail(width, height, QImage::Format_RGB32);
    for (int i = 0; i < height; ++i) {
        QRgb *line = reinterpret_cast<QRgb *>(thumbnail.scanLine(i));
        for (int j = 0; j < width; ++j) {
            const int g = GreyOf(sampled[size_t(i) * width + j], m_low, m_high);
            line[j] = qRgb(g, g, g);
        }
    }
    painter.drawImage(x, y, thumbnail);
}

void ImageSelectionDlg::InvalidateFrame(const QRect &frame)
{
    const QRegion line = QRegion(frame.adjusted(-1, -1, 1, 1)) - QRegion(frame.adjusted(1, 1, -1, -1));
    update(line);
}

void ImageSelectionDlg::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint point = event->position().toPoint();
        for (const Cell &cell : m_cells) {
            if (!cell.frame.contains(point))
                continue;
            // A cell without an item ends the search.
            if (cell.index >= ItemCount())
                break;
            ImageFileItem *item = m_items->GetAt(cell.index);
            item->m_flag = item->m_flag != 0 ? 0 : 1;
            InvalidateFrame(cell.frame);
            UpdateButtons();
        }
    }
    QDialog::mousePressEvent(event);
}

void ImageSelectionDlg::OnClear()
{
    bool anySet = false;
    for (int32_t i = 0; i < ItemCount(); ++i) {
        ImageFileItem *item = m_items->GetAt(i);
        anySet = anySet || item->m_flag != 0;
        item->m_flag = 0;
    }
    if (!anySet)
        return;
    for (const Cell &cell : m_cells) {
        if (cell.index >= ItemCount())
            break;
        InvalidateFrame(cell.frame);
    }
    UpdateButtons();
}

void ImageSelectionDlg::OnOpenSelected()
{
    for (int32_t i = 0; i < ItemCount(); ++i) {
        const ImageFileItem *item = m_items->GetAt(i);
        if (item->m_flag != 0)
            DocumentManager::Instance().OpenDocumentFile(item->m_name.c_str() ? item->m_name.c_str() : "");
    }
}

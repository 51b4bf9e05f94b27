#pragma once
// The modal "Image Selection": the caller's image files as a grid of contrast-stretched
// thumbnails. Clicks select and unselect items in the caller's list, Clear unselects all, Open Sel
// opens the selected images as documents. Only the first NHorz x NVert items are shown.
// moc cannot parse the C++20 headers behind these; it needs none of them.
#ifndef Q_MOC_RUN
#include "Ostravo/SortedPtrArray.h"
#include "app/ToolServices.h"
#endif

#include <QDialog>
#include <QPen>
#include <QRect>
#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;

// The tools' image lists: full paths with a selected flag (m_flag), named ignoring ASCII case.
using ImageFileItemArray =
    SortedPtrArray<ImageFileItem, NoCaseNameOrder<ImageFileItem, &ImageFileItem::m_name>>;

// Adds the named files of folder to items, none of them selected.
void AddImageFileItems(ImageFileItemArray &items, const char *folder, const std::vector<std::string> &names);

// The file names, without their folder, of the selected items, in list order.
std::vector<std::string> SelectedFileNames(const ImageFileItemArray &items);

// The grey levels at the given fractions (each 0 to 1) of count values: for each fraction the first
// level at which the running count reaches round(count * fraction), kept within 0 to count - 1.
bool ComputeThumbnailPercentiles(const uint16_t *values, size_t count, const std::vector<float> &fractions,
                                 std::vector<int> &levels);

class ImageSelectionDlg : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kClear = 1368;
    static constexpr int kSelectedCount = 1369;
    static constexpr int kPageDown = 1370;
    static constexpr int kPageUp = 1371;
    static constexpr int kNHorz = 1372;
    static constexpr int kNVert = 1373;
    static constexpr int kOpenSelected = 1374;
    static constexpr int kRedrawTimer = 1000;
    static constexpr int kRedrawDelayMs = 500;
    // The strip above the grid that holds the controls.
    static constexpr int kControlStrip = 35;

    struct Cell
    {
        int32_t index = -1;
        QRect frame; // left, top, right, bottom as drawn; edges belong to the cell
    };

    // Reads [ImageSelectionDlg] NHI and NVI of settingsPath for the grid size.
    explicit ImageSelectionDlg(const std::string &settingsPath, QWidget *parent = nullptr);
    ~ImageSelectionDlg() override;

    // Set before the dialog runs; the dialog reads the paths and toggles the flags in place.
    ImageFileItemArray *m_items = nullptr;

    static int CountSelected(const ImageFileItemArray *items);

    QComboBox *NHorzBox() const { return m_nhorz; }
    QComboBox *NVertBox() const { return m_nvert; }
    QPushButton *ClearButton() const { return m_clear; }
    QPushButton *OpenSelectedButton() const { return m_open; }
    QPushButton *PageDownButton() const { return m_page_down; }
    QPushButton *PageUpButton() const { return m_page_up; }
    QLineEdit *SelectedEdit() const { return m_selected; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }
    // The cells of the last drawing, in row order.
    const std::vector<Cell> &Cells() const { return m_cells; }
    uint16_t DisplayLow() const { return m_low; }
    uint16_t DisplayHigh() const { return m_high; }
    bool ResizePending() const { return m_resize_pending; }
    bool TimerActive() const { return m_timer.isActive(); }
    // The redraw timer's work, as when it fires.
    void OnTimer();

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

  private:
    void OnClear();
    void OnOpenSelected();
    void UpdateButtons();
    void RestartTimer();
    // Repaints only the frame line of a cell.
    void InvalidateFrame(const QRect &frame);
    void DrawThumbnail(QPainter &painter, const Cell &cell, const std::string &path);

    ImageFileItemArray *Items() const { return m_items; }
    int ItemCount() const { return m_items ? m_items->GetCount() : 0; }

    bool m_resize_pending = false;
    QPen m_empty_pen;
    QPen m_selected_pen;
    QPen m_unselected_pen;
    std::vector<Cell> m_cells;
    uint16_t m_low = 0;
    uint16_t m_high = 5000;

    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_clear = nullptr;
    QLineEdit *m_selected = nullptr;
    QComboBox *m_nhorz = nullptr;
    QComboBox *m_nvert = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_page_down = nullptr;
    QPushButton *m_page_up = nullptr;
    QTimer m_timer;
};

#pragma once
// The view of one image document in its MDI child window. It never paints pixels itself: a repaint
// builds a render job (zoom window, display range, detections, overlay, path) and queues it; the
// render thread draws it and hands the frame back, which the view then shows. What the view keeps
// is its own state and commands: the zoom window and scroll bars, aspect locking, the display range
// and auto-scale, the pixel read-out, saving the shown image, and the mouse editing of the active
// ROI and of the four calibration lines with its context menu.
#include "Ostravo/CellDetection.h"
#include "app/RenderList.h"
#include "app/ViewGlobals.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QTimer>

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CImageDoc;
class QMenu;
class ViewRenderTarget;

// The status target (platform::ui::SetStatusText) of the main frame's pixel pane.
inline constexpr const char *kPixelPaneTarget = "PixelPane";
// The status bar's message pane, for notes to the user.
inline constexpr const char *kMessagePaneTarget = "MessagePane";

// Command ids of the view (menu, toolbar and context menu).
enum ImageViewCommand : int
{
    ID_SCALE_INTENSITIES = 32773,
    ID_AUTO_SCALE = 32779,
    ID_ZOOM_IN = 32780,
    ID_ZOOM_OUT = 32781,
    ID_FULL_SCALE = 32785,
    ID_PIXEL_VALUE = 32786,
    ID_SAVE_IMAGE_TO_EXPERIMENT = 32790,
    ID_AUTO_REFRESH = 32794,
    ID_EDIT_ACTIVE_ROI = 32819,
    ID_PLACE_UPPER_MAGNET_LINE = 32820,
    ID_PLACE_LOWER_MAGNET_LINE = 32821,
    ID_DEFINE_PIXELS_PER_MM = 32825,
    ID_PLACE_UPPER_CHANNEL_LINE = 32826,
    ID_PLACE_LOWER_CHANNEL_LINE = 32827,
    ID_ADJUST_BOUNDARIES = 32828,
    ID_DRAW_PROJECTION_BELOW_ROI = 32831,
    ID_DRAW_PROJECTION_RIGHT_OF_ROI = 32832,
    ID_SAVE_REFERENCE_IMAGE = 32837,
    ID_CHANNEL_AND_MAGNET_POSITIONS = 32839,
    ID_CHOOSE_ROI_BY_NAME = 32863,
    ID_HIDE_ROI = 32864,
    ID_SHOW_ROI = 32866,
    ID_CHOOSE_DEFAULT_ROI = 32874,
    ID_FILE_SAVE_AS = 57604,
};

// Message codes of the scale-intensities dialog's live preview.
constexpr int kSetUpperIntensity = 32774;
constexpr int kSetLowerIntensity = 32775;
// The timer that asks whether to keep detected lines.
constexpr int kKeepLinesTimer = 1001;

class CImageView : public QAbstractScrollArea
{
    Q_OBJECT
  public:
    explicit CImageView(CImageDoc *document, QWidget *parent = nullptr);
    ~CImageView() override;

    CImageDoc *GetDocument() const { return m_document; }

    // ---- Commands -----------------------------------------------------------------------------
    // Runs one of the view's commands by id; false for an id the view does not handle.
    bool OnCommand(int id);

    void OnZoomIn();
    void OnZoomOut();
    void OnFullScale();
    // code: 0 line left/up, 1 line right/down, 2 page left/up, 3 page right/down, 4 thumb position
    // (position 0..1000); every other code is ignored.
    void OnHScroll(int code, int position);
    void OnVScroll(int code, int position);
    // Keeps square image pixels when [ExperimentSettings] LockAspectRatio is TRUE.
    void ApplyAspectRatio();
    // Sets the display range from the image's grey-level distribution.
    void OnAutoScale();
    // Shows "pix[column,row]=value" of the pixel under _last_click in the pixel pane.
    void OnUpdatePixelValue();
    struct AutoRefreshItem
    {
        bool enabled = false;
        bool checked = false;
        std::string text;
    };
    AutoRefreshItem OnUpdateAutoRefresh() const;
    // Save As: asks for a path and writes the image there unchanged (16-bit).
    void OnFileSaveAs();
    void OnSaveImageToExperiment();
    void OnSaveReferenceImage();
    void OnScaleIntensities();
    // "Channel and Magnet Positions": finds the four lines and, one second later, asks whether to
    // keep them.
    void OnChannelAndMagnetPositions();
    // The scale-intensities dialog's live preview: kSetUpperIntensity or kSetLowerIntensity with
    // the value in the low 16 bits. True when the message was taken.
    bool HandleIntensityMessage(int code, uint32_t value);
    // Replaces the detections of type 1 and 2 (the caller's vectors are left empty); the caller
    // then invalidates the view.
    void SetDetections(std::vector<CellDetection> &&type1, std::vector<CellDetection> &&type2);

    // ---- Mouse editing and context menu ---------------------------------------------------------
    void OnHideRoi();
    void OnShowRoi();
    void OnEditActiveRoi();
    void OnChooseDefaultRoi();
    void OnChooseRoiByName();
    void OnDefinePixelsPerMm();
    void OnPlaceUpperMagnetLine();
    void OnPlaceLowerMagnetLine();
    void OnPlaceUpperChannelLine();
    void OnPlaceLowerChannelLine();
    void OnAdjustBoundaries();
    void OnDrawProjectionBelowRoi();
    void OnDrawProjectionRightOfRoi();
    void OnTimer(int id);
    // The context menu as a right click builds it; each action's data is its command id.
    std::unique_ptr<QMenu> BuildContextMenu();

    // ---- Painting --------------------------------------------------------------------------------
    // Asks for a repaint that queues a new render job (erase: drop the shown frame first).
    void Invalidate(bool erase = false);
    // The paint: aspect locking, the image's settings file and calibration lines, the render job,
    // the scroll positions.
    void OnDraw();
    // A render job of the view's current state, or null without an image or when the image-access
    // lock could not be taken within 1000 ms.
    std::unique_ptr<RenderJob> BuildRenderJob();
    // The client rectangle: left and top 0, right and bottom the width and height.
    ImageRect ClientRect() const;
    // A client point as fractions of the image.
    ClickPoint ClientToImageFraction(QPoint point) const;
    // The last frame the render thread handed over (null image before the first).
    const QImage &ShownFrame() const { return m_frame; }
    bool ScrollBarsShown() const { return m_scroll_bars_on; }
    bool KeepLinesTimerActive() const { return m_keep_lines_timer.isActive(); }

    // ---- State (other parts read and write these directly) ---------------------------------------
    ZoomWindow m_zoom_window;
    uint16_t m_lower_intensity = 0;
    uint16_t m_upper_intensity = 40000;
    int32_t m_auto_refresh = 0;
    std::vector<CellDetection> m_detections_1;
    std::vector<CellDetection> m_detections_2;
    std::vector<CellDetection> m_epi_detections;
    // Per-pixel tint codes (CV_8UC1, the image's size) or null.
    std::unique_ptr<cv::Mat> m_overlay_mask;
    ImageRect m_band; // client pixels; all zero when no band is shown
    bool m_roi_edit_mode = false;
    QPoint m_roi_anchor{-1, -1};
    bool m_ppmm_mode = false;
    QPoint m_ppmm_anchor{-1, -1};
    // Lower magnet, upper magnet, lower channel, upper channel: the line the next click places.
    std::array<bool, 4> m_place_line{};

    // Takes a frame from the render thread (user-interface thread).
    void TakeFrame(const QImage &frame, QPoint origin);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    enum LineSlot
    {
        kLowerMagnet = 0,
        kUpperMagnet = 1,
        kLowerChannel = 2,
        kUpperChannel = 3,
    };

    void OnShowWindow();
    void OnDestroy();
    void OnLButtonDown(QPoint point);
    void OnMouseMove(QPoint point, bool leftButtonDown);
    void OnLButtonUp(QPoint point);
    void OnRButtonDown(QPoint point);
    void ArmLinePlacement(LineSlot line);
    void SwitchScrollBars(bool on);
    void OnScrollAction(bool horizontal, int action);
    void SetScrollPositions();
    void UpdateCursor();
    void ConnectScrollBar(bool horizontal);

    CImageDoc *m_document = nullptr;
    std::shared_ptr<ViewRenderTarget> m_target;
    QImage m_frame;
    QPoint m_frame_origin;
    bool m_render_pending = true;
    bool m_scroll_bars_on = false;
    bool m_wait_cursor = false;
    bool m_logged_undrawable = false;
    QTimer m_keep_lines_timer;
};

// Sets _active_roi to the cartridge ROI of _display_settings_file (the main settings file when
// empty), clipped to an image of columns x rows, and lets the ROI manager show it. False, with
// _active_roi unchanged, when nothing of that ROI lies inside the image.
bool ResetDisplayRoi(int columns, int rows);

// Stores a placed calibration line: the visible projection tool takes it, else the visible
// fractionation tool; a tool whose window exists but is hidden drops it; without either window
// the row goes to [CalibrationSettings] key of the main settings file. The tool's result, else
// whether the write succeeded.
bool WriteCalibrationLineValue(const char *key, int32_t row);

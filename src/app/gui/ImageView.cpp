#include "app/gui/ImageView.h"

#include "Ostravo/DisplayConversion.h"
#include "Ostravo/EString.h"
#include "Ostravo/ImageTypeNames.h"
#include "Ostravo/LogError.h"
#include "Ostravo/ProfileValues.h"
#include "app/AppServices.h"
#include "app/BackgroundImages.h"
#include "app/DeviceServices.h"
#include "app/ImageDoc.h"
#include "app/LineDetection.h"
#include "app/PlexorinApp.h"
#include "app/Renderer.h"
#include "app/ToolServices.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/ImageViewLinks.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/PathParts.h"
#include "platform/Sync.h"
#include "platform/Ui.h"

#include <QApplication>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdio>
#include <mutex>

// The window a render job of this view is drawn into. The render thread asks whether the view
// still exists and hands it finished frames; the view detaches itself when it goes.
class ViewRenderTarget : public RenderTarget
{
  public:
    explicit ViewRenderTarget(CImageView *view) : m_view(view) {}

    void Detach()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_view = nullptr;
    }

    bool IsWindow() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_view != nullptr;
    }

    void Present(const cv::Mat &frame, cv::Point origin) override
    {
        if (frame.empty() || frame.type() != CV_8UC4)
            return;
        // The frame's bytes are blue, green, red and an unused byte: a 32-bit RGB image.
        QImage image(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step),
                     QImage::Format_RGB32);
        QImage copy = image.copy();
        const QPoint at(origin.x, origin.y);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_view)
            return;
        // Posted with the view as context: an event for a view deleted meanwhile is dropped.
        CImageView *view = m_view;
        QMetaObject::invokeMethod(
            view, [view, copy, at] { view->TakeFrame(copy, at); }, Qt::QueuedConnection);
    }

  private:
    mutable std::mutex m_mutex;
    CImageView *m_view;
};

namespace {

// Places a span of the given size (a fraction of the image) around centre, kept inside 0..1.
void CentreSpan(double centre, double size, double &low, double &high)
{
    low = std::max(0.0, centre - size / 2.0);
    high = low + size;
    if (high > 1.0) {
        high = 1.0;
        low = 1.0 - size;
    }
}

constexpr uint32_t kReadLockWaitMs = 1000;
constexpr uint32_t kSaveLockWaitMs = 10000;

std::string ToUpperAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The pixel at (row, column) of any depth, as a whole number.
long PixelValue(const cv::Mat &image, int row, int column)
{
    cv::Mat pixel;
    image(cv::Rect(column, row, 1, 1)).convertTo(pixel, CV_64F);
    return static_cast<long>(pixel.at<double>(0, 0));
}

// Fewest image pixels a zoom window may span: repeated Zoom In stops there instead of letting
// left and right meet.
constexpr double kMinimumZoomPixels = 2.0;

} // namespace

// ---- Construction --------------------------------------------------------------------------------

CImageView::CImageView(CImageDoc *document, QWidget *parent)
    : QAbstractScrollArea(parent), m_document(document), m_target(std::make_shared<ViewRenderTarget>(this))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    ConnectScrollBar(true);
    ConnectScrollBar(false);

    m_upper_intensity = static_cast<uint16_t>(
        Ostravo::ReadProfileInt("ScaleIntensitiesDlg", "MaxIntensity", 40000, theApp.m_ini_path.c_str(), 32));
    m_lower_intensity = static_cast<uint16_t>(
        Ostravo::ReadProfileInt("ScaleIntensitiesDlg", "MinIntensity", 0, theApp.m_ini_path.c_str(), 32));
    if (m_upper_intensity == m_lower_intensity) {
        m_lower_intensity = 0;
        m_upper_intensity = 40000;
    }
    _display_settings_file.clear();

    m_keep_lines_timer.setInterval(1000);
    connect(&m_keep_lines_timer, &QTimer::timeout, this, [this] { OnTimer(kKeepLinesTimer); });
}

CImageView::~CImageView()
{
    m_target->Detach();
    OnDestroy();
}

void CImageView::ConnectScrollBar(bool horizontal)
{
    QScrollBar *bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
    bar->setRange(0, 1000);
    connect(bar, &QScrollBar::actionTriggered, this,
            [this, horizontal](int action) { OnScrollAction(horizontal, action); });
    connect(bar, &QScrollBar::sliderReleased, this, [this, horizontal] {
        QScrollBar *released = horizontal ? horizontalScrollBar() : verticalScrollBar();
        if (horizontal)
            OnHScroll(4, released->sliderPosition());
        else
            OnVScroll(4, released->sliderPosition());
    });
}

void CImageView::OnScrollAction(bool horizontal, int action)
{
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        code = 0;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = 1;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = 2;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = 3;
        break;
    default:
        return; // dragging the thumb: only its release moves the window
    }
    if (horizontal)
        OnHScroll(code, 0);
    else
        OnVScroll(code, 0);
}

// ---- Commands ------------------------------------------------------------------------------------

bool CImageView::OnCommand(int id)
{
    switch (id) {
    case ID_SCALE_INTENSITIES:
        OnScaleIntensities();
        return true;
    case ID_AUTO_SCALE:
        OnAutoScale();
        return true;
    case ID_ZOOM_IN:
        OnZoomIn();
        return true;
    case ID_ZOOM_OUT:
        OnZoomOut();
        return true;
    case ID_FULL_SCALE:
        OnFullScale();
        return true;
    case ID_FILE_SAVE_AS:
        OnFileSaveAs();
        return true;
    case ID_SAVE_IMAGE_TO_EXPERIMENT:
        OnSaveImageToExperiment();
        return true;
    case ID_SAVE_REFERENCE_IMAGE:
        OnSaveReferenceImage();
        return true;
    case ID_CHANNEL_AND_MAGNET_POSITIONS:
        OnChannelAndMagnetPositions();
        return true;
    case ID_HIDE_ROI:
        OnHideRoi();
        return true;
    case ID_SHOW_ROI:
        OnShowRoi();
        return true;
    case ID_EDIT_ACTIVE_ROI:
        OnEditActiveRoi();
        return true;
    case ID_CHOOSE_DEFAULT_ROI:
        OnChooseDefaultRoi();
        return true;
    case ID_CHOOSE_ROI_BY_NAME:
        OnChooseRoiByName();
        return true;
    case ID_DEFINE_PIXELS_PER_MM:
        OnDefinePixelsPerMm();
        return true;
    case ID_PLACE_UPPER_MAGNET_LINE:
        OnPlaceUpperMagnetLine();
        return true;
    case ID_PLACE_LOWER_MAGNET_LINE:
        OnPlaceLowerMagnetLine();
        return true;
    case ID_PLACE_UPPER_CHANNEL_LINE:
        OnPlaceUpperChannelLine();
        return true;
    case ID_PLACE_LOWER_CHANNEL_LINE:
        OnPlaceLowerChannelLine();
        return true;
    case ID_ADJUST_BOUNDARIES:
        OnAdjustBoundaries();
        return true;
    case ID_DRAW_PROJECTION_BELOW_ROI:
        OnDrawProjectionBelowRoi();
        return true;
    case ID_DRAW_PROJECTION_RIGHT_OF_ROI:
        OnDrawProjectionRightOfRoi();
        return true;
    default:
        return false;
    }
}

void CImageView::OnZoomIn()
{
    double w = (m_zoom_window.right - m_zoom_window.left) / 2.0;
    double h = (m_zoom_window.bottom - m_zoom_window.top) / 2.0;
    if (m_document && m_document->HasImage()) {
        const cv::Mat &image = *m_document->GetImage();
        if (w * image.cols < kMinimumZoomPixels || h * image.rows < kMinimumZoomPixels)
            return; // the window would no longer span whole pixels
    } else if (w < 1e-6 || h < 1e-6) {
        return;
    }
    const ClickPoint click = _last_click.Get();
    ZoomWindow &z = m_zoom_window;
    CentreSpan(click.x, w, z.left, z.right);
    CentreSpan(click.y, h, z.top, z.bottom);
    SwitchScrollBars(true);
    Invalidate();
}

void CImageView::OnZoomOut()
{
    ZoomWindow &z = m_zoom_window;
    double w = z.right - z.left;
    double h = z.bottom - z.top;
    if (w == 1.0 && h == 1.0)
        return;
    const ClickPoint click = _last_click.Get();
    w = std::min(1.0, 2.0 * w);
    CentreSpan(click.x, w, z.left, z.right);
    h = std::min(1.0, 2.0 * h);
    CentreSpan(click.y, h, z.top, z.bottom);
    Invalidate();
    if (z.left == 0.0 && z.right == 1.0)
        SwitchScrollBars(false);
}

void CImageView::OnFullScale()
{
    m_zoom_window = ZoomWindow{0.0, 1.0, 0.0, 1.0};
    Invalidate();
    SwitchScrollBars(false);
}

namespace {

// One axis of the scroll handlers: low..high of the zoom window.
bool ScrollAxis(int code, int position, double &low, double &high)
{
    const double w = high - low;
    switch (code) {
    case 0:
    case 2: {
        if (low == 0.0)
            return false;
        const double s = (code == 0 ? 0.1 : 0.9) * w;
        low = std::max(0.0, low - s);
        high = std::min(1.0, std::max(0.0, low + w));
        return true;
    }
    case 1:
    case 3: {
        if (high == 1.0)
            return false;
        const double s = (code == 1 ? 0.1 : 0.9) * w;
        high = std::min(1.0, high + s);
        low = std::min(1.0, std::max(0.0, high - w));
        return true;
    }
    case 4: {
        const double q = position / 1000.0 * (1.0 - w);
        if (position == 0) {
            low = 0.0;
            high = std::min(1.0, std::max(0.0, w));
        } else if (position == 1000) {
            low = std::min(1.0, std::max(0.0, 1.0 - w));
            high = 1.0;
        } else {
            low = std::min(1.0, std::max(0.0, q));
            high = q + w > 1.0 ? 1.0 : std::max(0.0, q + w);
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace

void CImageView::OnHScroll(int code, int position)
{
    if (ScrollAxis(code, position, m_zoom_window.left, m_zoom_window.right))
        Invalidate();
}

void CImageView::OnVScroll(int code, int position)
{
    if (ScrollAxis(code, position, m_zoom_window.top, m_zoom_window.bottom))
        Invalidate();
}

void CImageView::SwitchScrollBars(bool on)
{
    m_scroll_bars_on = on;
    const Qt::ScrollBarPolicy policy = on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
}

void CImageView::ApplyAspectRatio()
{
    const std::string lock =
        Ostravo::ReadProfileString("ExperimentSettings", "LockAspectRatio", "", 8, theApp.m_ini_path.c_str());
    if (ToUpperAscii(lock) != "TRUE")
        return;
    if (!m_document || !m_document->HasImage())
        return;
    const cv::Mat &image = *m_document->GetImage();
    const double columns = image.cols, rows = image.rows;
    const ImageRect client = ClientRect();
    const double W = client.right - client.left + 1;
    const double H = client.bottom - client.top + 1;
    ZoomWindow &z = m_zoom_window;
    const double m = (z.bottom - z.top) * rows / H;
    const double n = (z.right - z.left) * columns / W;
    if (std::fabs(m - n) > 1e-3) {
        if (n > m) {
            const double extent = H * n / rows;
            z.top = 0.5 - extent / 2.0;
            z.bottom = 0.5 + extent / 2.0;
        } else {
            const double extent = W * m / columns;
            z.left = 0.5 - extent / 2.0;
            z.right = 0.5 + extent / 2.0;
        }
    }
    const double horizontal = z.right - z.left;
    const double vertical = z.bottom - z.top;
    if (horizontal > 1.0 + 1e-3 && vertical > 1.0 + 1e-3) {
        if (horizontal < vertical) {
            const double k = vertical / horizontal;
            z.left = 0.0;
            z.right = 1.0;
            z.top = -(k - 1.0) / 2.0;
            z.bottom = 1.0 + (k - 1.0) / 2.0;
        } else {
            const double k = horizontal / vertical;
            z.top = 0.0;
            z.bottom = 1.0;
            z.left = -(k - 1.0) / 2.0;
            z.right = 1.0 + (k - 1.0) / 2.0;
        }
    }
}

void CImageView::OnAutoScale()
{
    if (!m_document || !m_document->HasImage())
        return;
    double highFraction = 0.95;
    const ImageViewLinks &links = ViewLinks();
    if (!m_document->GetPathName().empty()) {
        EString type;
        if (ImageTypeFromFileName(platform::FileTitleOf(m_document->GetPathName()).c_str(), type) &&
            ToUpperAscii(type.c_str()) != "BRIGHTFIELD")
            highFraction = 1.0;
    } else {
        highFraction = ToUpperAscii(links.frame->ImageTypeComboText()) == "BRIGHTFIELD" ? 0.95 : 1.0;
    }
    if (!_image_access_lock.Wait(kReadLockWaitMs))
        return;
    uint16_t lower = m_lower_intensity, upper = m_upper_intensity;
    if (Ostravo::GetAutoContrastLimits(*m_document->GetImage(), 10, 0.05, highFraction, lower, upper)) {
        m_lower_intensity = lower;
        m_upper_intensity = upper == 0 ? 10 : upper;
    }
    _image_access_lock.Release();
    Invalidate();
}

void CImageView::OnUpdatePixelValue()
{
    if (!m_document || !m_document->HasImage())
        return;
    const cv::Mat &image = *m_document->GetImage();
    const ClickPoint click = _last_click.Get();
    // A click left of or above the image truncates to column or row 0; it is outside all the same.
    if (!(click.x >= 0.0) || !(click.y >= 0.0))
        return;
    const double c = std::trunc(image.cols * click.x);
    const double r = std::trunc(image.rows * click.y);
    if (c >= image.cols || r >= image.rows)
        return;
    const int column = static_cast<int>(c), row = static_cast<int>(r);
    if (!_image_access_lock.Wait(kReadLockWaitMs))
        return;
    const long value = PixelValue(image, row, column);
    _image_access_lock.Release();
    char text[96];
    std::snprintf(text, sizeof(text), "pix[%ld,%ld]=%ld", static_cast<long>(column), static_cast<long>(row),
                  value);
    platform::ui::Ui().SetStatusText(kPixelPaneTarget, text);
}

CImageView::AutoRefreshItem CImageView::OnUpdateAutoRefresh() const
{
    AutoRefreshItem item;
    EString model, error;
    if (!theApp.m_camera || !theApp.m_camera->GetModelName(model, error) || !model.IsNonEmpty()) {
        item.enabled = false;
        item.checked = false;
        item.text = "Auto Refresh Disabled / No Camera";
        return item;
    }
    const std::string section = std::string(model.c_str()) + " Settings";
    const int32_t period =
        Ostravo::ReadProfileInt(section.c_str(), "RefreshPeriodMs", 1000, theApp.m_ini_path.c_str(), 32);
    char text[64];
    std::snprintf(text, sizeof(text), "Auto Refresh %ld ms", static_cast<long>(period));
    item.enabled = true;
    item.text = text;
    item.checked = m_auto_refresh != 0;
    return item;
}

void CImageView::OnFileSaveAs()
{
    if (!m_document || !m_document->HasImage())
        return;
    std::string chosen;
    if (!platform::ui::Ui().ChooseSaveFile("Save As", "", "", chosen))
        return;
    // No extension (a bare dot counts as none): save as PNG.
    if (platform::ExtensionOf(chosen).size() <= 1) {
        chosen += ".png";
        // The picker asked about the name without the default extension; ask again for this one.
        if (platform::FileExists(chosen) &&
            platform::ui::MessageBox(chosen + " already exists.\nDo you want to replace it?", "Save As",
                                     platform::ui::MbYesNo | platform::ui::MbIconWarning) !=
                platform::ui::IdYes)
            return;
    }
    if (!_image_access_lock.Wait(kSaveLockWaitMs))
        return;
    std::string reason;
    const bool saved = m_document->SaveImage(chosen, reason);
    _image_access_lock.Release();
    if (!saved) {
        // The file on disk is as it was, and the document keeps its path.
        const std::string text = "Problem saving image to file: " + chosen;
        LogError(__FILE_NAME__, __LINE__, text + " (" + reason + ")");
        platform::ui::MessageBox(text);
        return;
    }
    DocumentManager::Instance().DocumentPathChanged(m_document, chosen);
}

void CImageView::OnSaveImageToExperiment()
{
    if (!m_document || !m_document->HasImage())
        return;
    // The experiment code only returns its failure (for instance in analysis mode, where no
    // experiment capture runs): a key press that saves nothing must say why.
    EString error;
    if (Capture().AddImageToExperiment(*m_document->GetImage(), nullptr, -1, 0, error, nullptr))
        return;
    std::string text = "The image was not saved to the experiment.";
    if (theApp.m_analysis_mode)
        text += " The program runs in analysis mode.";
    if (error.IsNonEmpty())
        text += std::string("\n") + error.c_str();
    LogError(__FILE_NAME__, __LINE__, text);
    platform::ui::MessageBox(text, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
}

void CImageView::OnSaveReferenceImage()
{
    if (!m_document)
        return;
    std::string error;
    if (!DocumentManager::Instance().SaveReferenceImage(m_document->GetPathName(), error, false)) {
        LogError(__FILE_NAME__, __LINE__, error);
        platform::ui::MessageBox(error, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
    }
}

void CImageView::OnScaleIntensities()
{
    uint16_t lower = m_lower_intensity, upper = m_upper_intensity;
    if (ViewLinks().dialogs->RunScaleIntensities(*this, lower, upper)) {
        m_lower_intensity = lower;
        m_upper_intensity = upper;
        Invalidate();
    }
}

void CImageView::OnChannelAndMagnetPositions()
{
    if (!m_document || !m_document->HasImage())
        return;
    // The usual cursor comes back with the next mouse move.
    viewport()->setCursor(Qt::WaitCursor);
    m_wait_cursor = true;
    std::string error;
    if (!FindChannelAndMagnetLines(*m_document->GetImage(), theApp.m_ini_path, error))
        return;
    Invalidate(true);
    m_keep_lines_timer.start(1000);
}

bool CImageView::HandleIntensityMessage(int code, uint32_t value)
{
    if (code == kSetUpperIntensity)
        m_upper_intensity = static_cast<uint16_t>(value & 0xFFFFu);
    else if (code == kSetLowerIntensity)
        m_lower_intensity = static_cast<uint16_t>(value & 0xFFFFu);
    else
        return false;
    Invalidate();
    return true;
}

void CImageView::SetDetections(std::vector<CellDetection> &&type1, std::vector<CellDetection> &&type2)
{
    m_detections_1 = std::move(type1);
    m_detections_2 = std::move(type2);
    type1.clear();
    type2.clear();
}

// ---- Showing and closing -------------------------------------------------------------------------

void CImageView::OnShowWindow()
{
    horizontalScrollBar()->setRange(0, 1000);
    verticalScrollBar()->setRange(0, 1000);
    const ZoomWindow &z = m_zoom_window;
    if (z.left == 0.0 && z.right == 1.0 && z.top == 0.0 && z.bottom == 1.0)
        SwitchScrollBars(false);
    if (_active_roi.Get().IsZero() && m_document && m_document->HasImage())
        ResetDisplayRoi(m_document->GetImage()->cols, m_document->GetImage()->rows);
}

void CImageView::OnDestroy()
{
    if (!m_document || !m_document->m_live_image)
        return;
    m_document->m_live_image = false;
    std::string error;
    const int32_t period = GetRefreshPeriodMs(error);
    platform::SleepMs(static_cast<uint32_t>(std::max<int32_t>(0, period) + 250));
    ViewLinks().frame->ReleaseLiveImageButton();
}

void CImageView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    OnShowWindow();
}

// ---- Painting ------------------------------------------------------------------------------------

ImageRect CImageView::ClientRect() const
{
    const QSize size = viewport()->size();
    return ImageRect{0, 0, size.width(), size.height()};
}

ClickPoint CImageView::ClientToImageFraction(QPoint point) const
{
    const ImageRect client = ClientRect();
    const ZoomWindow &z = m_zoom_window;
    const double width = std::max(1, client.right - client.left);
    const double height = std::max(1, client.bottom - client.top);
    ClickPoint p;
    p.x = (point.x() - client.left) / width * (z.right - z.left) + z.left;
    p.y = (point.y() - client.top) / height * (z.bottom - z.top) + z.top;
    return p;
}

void CImageView::Invalidate(bool erase)
{
    if (erase)
        m_frame = QImage();
    m_render_pending = true;
    viewport()->update();
}

std::unique_ptr<RenderJob> CImageView::BuildRenderJob()
{
    if (!m_document || !m_document->HasImage())
        return nullptr;
    const cv::Mat &image = *m_document->GetImage();
    if (image.type() != CV_16UC1) {
        // The display maps 16-bit grey only; say so once rather than on every repaint, and tell
        // the user too, who otherwise sees only a black window.
        if (!m_logged_undrawable) {
            m_logged_undrawable = true;
            LogError(__FILE_NAME__, __LINE__,
                     "CImageView::OnDraw() - not a 16-bit grey image, nothing is drawn: " +
                         m_document->GetPathName());
            platform::ui::Ui().SetStatusText(kMessagePaneTarget,
                                             "Only 16-bit grey images are displayed; not shown: " +
                                                 m_document->GetPathName());
        }
        return nullptr;
    }
    if (!_image_access_lock.Wait(kReadLockWaitMs))
        return nullptr;
    auto job = std::make_unique<RenderJob>();
    job->image = image; // shares the pixels
    _image_access_lock.Release();

    if (m_overlay_mask && m_overlay_mask->type() == CV_8UC1 && m_overlay_mask->size() == image.size())
        job->overlay = m_overlay_mask->clone();
    job->target_rect = ClientRect();
    job->zoom_window = m_zoom_window;
    job->click_point = _last_click.Get();
    job->lower_intensity = m_lower_intensity;
    job->upper_intensity = m_upper_intensity;
    job->detections_1 = m_detections_1;
    job->detections_2 = m_detections_2;
    job->epi_detections = m_epi_detections;
    job->path = m_document->GetPathName();
    job->target_window = m_target;
    if (m_document->m_live_image) {
        BrightnessAtTargetRequest &request = LiveOverlay().BrightnessRequest();
        if (request.running) {
            BrightnessBox box;
            box.low_limit = request.low_limit;
            box.high_limit = request.high_limit;
            box.center_column = request.center_column;
            box.center_row = request.center_row;
            box.box_size = request.box_size;
            job->m_brightness_request = box;
        }
    }
    return job;
}

void CImageView::OnDraw()
{
    ApplyAspectRatio();
    if (!m_document || !m_document->HasImage())
        return;
    const cv::Mat &image = *m_document->GetImage();

    std::string settingsFile;
    if (m_document->m_live_image) {
        if (m_document->GetTitle() != theApp.m_live_image_title) {
            m_document->SetTitle(theApp.m_live_image_title);
            DocumentManager::Instance().DocumentTitleChanged(m_document);
        }
        settingsFile = theApp.m_ini_path;
    } else {
        const std::string &path = m_document->GetPathName();
        const std::string folder = platform::FolderPart(path);
        const EString found = GetExperimentSettingsIniPath(EString(folder.c_str()));
        settingsFile = found.c_str() ? found.c_str() : "";
    }
    if (LoadDisplaySettingsFile(settingsFile))
        ResetDisplayRoi(image.cols, image.rows);

    std::unique_ptr<RenderJob> job = BuildRenderJob();
    if (!job)
        return;

    if (!job->path.empty()) {
        EString type;
        if (ImageTypeFromFileName(platform::FileTitleOf(job->path).c_str(), type)) {
            const std::string backgroundPath = BackgroundImagePath(job->path, type.c_str());
            if (platform::FileExists(backgroundPath)) {
                try {
                    job->m_background =
                        platform::ReadImageFile(platform::NormalizePath(backgroundPath), cv::IMREAD_ANYDEPTH);
                } catch (const cv::Exception &) {
                    job->m_background.release();
                }
            }
        }
    } else if (GetNumberOfBackgroundImagesLoaded(theApp) > 0) {
        job->m_image_type = LiveImageTypeIndex(ViewLinks().frame->ImageTypeComboText(), theApp.m_ini_path);
    }

    if (!AddToRenderList(job))
        LogError("CImageView::OnDraw", __LINE__, "AddToRenderList() returns false");
    SetScrollPositions();
}

void CImageView::SetScrollPositions()
{
    QScrollBar *h = horizontalScrollBar();
    QScrollBar *v = verticalScrollBar();
    const QSignalBlocker blockH(h);
    const QSignalBlocker blockV(v);
    h->setValue(ScrollPositionFromWindow(m_zoom_window.left, m_zoom_window.right));
    v->setValue(ScrollPositionFromWindow(m_zoom_window.top, m_zoom_window.bottom));
}

void CImageView::TakeFrame(const QImage &frame, QPoint origin)
{
    m_frame = frame;
    m_frame_origin = origin;
    viewport()->update();
}

void CImageView::paintEvent(QPaintEvent *event)
{
    if (m_render_pending) {
        m_render_pending = false;
        OnDraw();
    }
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Qt::black);
    if (!m_frame.isNull())
        painter.drawImage(m_frame_origin, m_frame);

    // The rubber band is shown inverted, so that it stays visible on any grey level.
    if (!m_band.IsZero()) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        const QColor invert(255, 255, 255);
        const ImageRect &b = m_band;
        if (m_ppmm_mode) {
            const int right = ClientRect().right;
            painter.fillRect(QRect(QPoint(0, b.top), QPoint(right, b.top)), invert);
            if (b.bottom != b.top)
                painter.fillRect(QRect(QPoint(0, b.bottom), QPoint(right, b.bottom)), invert);
        } else {
            painter.fillRect(QRect(QPoint(b.left, b.top), QPoint(b.left, b.bottom)), invert);
            if (b.right > b.left) {
                painter.fillRect(QRect(QPoint(b.left + 1, b.top), QPoint(b.right, b.top)), invert);
                if (b.bottom != b.top)
                    painter.fillRect(QRect(QPoint(b.left + 1, b.bottom), QPoint(b.right, b.bottom)), invert);
                painter.fillRect(QRect(QPoint(b.right, b.top + 1), QPoint(b.right, b.bottom - 1)), invert);
            }
        }
    }
}

void CImageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    Invalidate();
}

void CImageView::wheelEvent(QWheelEvent *event)
{
    // The view moves only through its scroll bars and commands.
    event->ignore();
}

void CImageView::scrollContentsBy(int, int)
{
    // The window moves through the scroll handlers; the bar values only mirror it.
}

// ---- Default ROI ---------------------------------------------------------------------------------

bool ResetDisplayRoi(int columns, int rows)
{
    int32_t rect[4] = {0, 0, 0, 0};
    theApp.GetCartridgeRoi(1, _display_settings_file, rect);
    // The cartridge ROI is fixed in image pixels and may reach past a smaller image, or be
    // inverted when the channel rows are missing; only its part inside the image is kept.
    if (!SetActiveRoiClipped(ImageRect{rect[0], rect[1], rect[2], rect[3]}, columns, rows))
        return false;
    RoiTools().ShowCurrentRoi();
    return true;
}

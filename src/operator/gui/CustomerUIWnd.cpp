#include "operator/gui/CustomerUIWnd.h"

#include "operator/gui/CustomerUIFormPainters.h"
#include "operator/gui/CustomerUIPaintPass.h"
#include "operator/gui/CustomerUIPainters.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/CommandIds.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "app/gui/MainFrame.h"
#include "app/gui/ToolbarEx.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "script/Script.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

using cui_paint::FromLatin1;
using cui_paint::kBackground;
using cui_paint::kText;
using cui_paint::ScreenFont;

// Edits, radios and check boxes show the screen's text colour on its background; the edits have no
// border, so the painter underlines them.
void ScreenColours(QWidget *w, const QColor &background = kBackground, const QColor &text = kText)
{
    QPalette pal = w->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::Button})
        pal.setColor(role, background);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        pal.setColor(role, text);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

bool IsInputState(int32_t state)
{
    return state == PromptForInput || state == PromptForFilename;
}

bool IsCheckState(int32_t state)
{
    return state == PromptForInputChecks || state == PromptForImageChecks;
}

// The screens that show pictures and texts only: no control of an earlier form stays on them.
bool IsControlFreeState(int32_t state)
{
    return state == CustomerUIState::PromptInfo || state == PromptForFusedImageVerification ||
           state == PromptForMontageReport;
}

// The live frame the render thread draws into the screen's image area.
class ScreenRenderTarget : public RenderTarget
{
  public:
    explicit ScreenRenderTarget(std::shared_ptr<CustomerUIShared> shared) : m_shared(std::move(shared)) {}
    bool IsWindow() const override { return m_shared->windowAlive; }
    void Present(const cv::Mat &frame, cv::Point origin) override
    {
        if (frame.empty() || frame.type() != CV_8UC4)
            return;
        // Blue, green, red and an unused byte is the memory layout of a 32-bit RGB image.
        QImage image(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step),
                     QImage::Format_RGB32);
        std::lock_guard<std::mutex> lock(m_shared->frameMutex);
        m_shared->frame = image.copy();
        m_shared->frameOrigin = QPoint(origin.x, origin.y);
        m_shared->frameReady = true;
    }

  private:
    std::shared_ptr<CustomerUIShared> m_shared;
};

} // namespace

// ---- window ----

CustomerUIWnd::CustomerUIWnd(CustomerUI &screen, std::shared_ptr<CustomerUIShared> shared, int desktopWidth,
                             int desktopHeight)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_screen(screen), m_shared(std::move(shared)),
      m_place(PlaceCustomerUI(desktopWidth, desktopHeight)), m_ticker(screen)
{
    setWindowTitle("CustomerUI");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    // The placement rectangle runs from left, top to right, bottom inclusive; the client area is
    // its width and height, one less than the screen size.
    const int clientWidth = m_place.window.right - m_place.window.left;
    const int clientHeight = m_place.window.bottom - m_place.window.top;
    setGeometry(m_place.window.left, m_place.window.top, clientWidth, clientHeight);
    setFixedSize(clientWidth, clientHeight);
    m_screen.SetClientSize(clientWidth, clientHeight);
    theApp.m_customer_ui_size.width = m_place.width;
    theApp.m_customer_ui_size.height = m_place.height;

    const QFont textFont = ScreenFont(40);
    for (size_t i = 0; i < m_edits.size(); ++i) {
        QLineEdit *edit = new QLineEdit(this);
        edit->setFont(textFont);
        edit->setFrame(false);
        ScreenColours(edit);
        edit->hide();
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString &text) {
            m_screen.SetEditText(static_cast<int32_t>(i) + 1, platform::gui::FromQt(text));
        });
        m_edits[i] = edit;
    }
    m_password = new QLineEdit(this);
    m_password->setFont(textFont);
    m_password->setFrame(false);
    ScreenColours(m_password);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->hide();
    connect(m_password, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_screen.SetEditText(0, platform::gui::FromQt(text)); });
    for (size_t i = 0; i < m_combos.size(); ++i) {
        QComboBox *combo = new QComboBox(this);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        for (const char *item : kExposureComboItems)
            combo->addItem(item);
        combo->hide();
        const int32_t n = static_cast<int32_t>(i) + 1;
        // Choosing from the list applies at once; typing applies a second after the last key.
        connect(combo, &QComboBox::activated, this, [this, combo, n](int) {
            if (m_syncing)
                return;
            m_screen.SetComboText(n, platform::gui::FromQt(combo->currentText()));
            m_screen.OnComboCloseUp(n);
        });
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, n](const QString &text) {
            m_screen.OnComboEditChange(n, platform::gui::FromQt(text));
        });
        m_combos[i] = combo;
        m_screen.FillExposureCombo(n);
    }
    for (size_t i = 0; i < m_radios.size(); ++i) {
        QRadioButton *radio = new QRadioButton(this);
        ScreenColours(radio);
        radio->hide();
        const int32_t n = static_cast<int32_t>(i) + 1;
        connect(radio, &QRadioButton::clicked, this, [this, n] { m_screen.OnDisplayRadio(n); });
        m_radios[i] = radio;
    }
    for (size_t i = 0; i < m_checks.size(); ++i) {
        QCheckBox *box = new QCheckBox(this);
        box->setFont(textFont);
        ScreenColours(box);
        box->hide();
        const int32_t n = static_cast<int32_t>(i) + 1;
        connect(box, &QCheckBox::toggled, this, [this, n](bool checked) {
            if (!m_syncing)
                m_screen.SetCheckMark(n, checked);
        });
        m_checks[i] = box;
    }
    // The logo lies beside the program file.
    const std::string logo =
        cui_paint::CustomerUIImagePath(theApp.m_exe_directory.c_str(), "LogoDarkBackground_sm.png");
    platform::gui::LoadImageFile(logo, m_logo);
    LayoutFixedParts();
    LayoutExposurePanel();
    m_shared->windowAlive = true;

    m_poll = new QTimer(this);
    connect(m_poll, &QTimer::timeout, this, &CustomerUIWnd::Sync);
    m_poll->start(10);
}

CustomerUIWnd::~CustomerUIWnd()
{
    m_shared->windowAlive = false;
}

void CustomerUIWnd::LayoutFixedParts()
{
    // The buttons and action boxes are placed by the painters at their first draw (their hit
    // rectangles are what was drawn), so nothing is clickable before the first paint.
    m_screen.SetButtonRects({}, 0, 0);
    m_screen.SetFixedActionRects({});
}

void CustomerUIWnd::LayoutExposurePanel()
{
    // The panel right of the live image: per image type its name, its exposure combo, the unit, its
    // display-mode radio, and its intensity control in the row below.
    const QFontMetrics text(ScreenFont(40));
    const QFontMetrics unit(ScreenFont(24));
    const int comboH = m_combos[0]->sizeHint().height();
    const QFontMetrics comboFont(ScreenFont(comboH));
    const int comboW = static_cast<int>(std::lround(comboH * 3.6));
    const int h = cui_paint::TextExtent(text, "I").height();
    // The unit between combo and radio: the micro sign ends midway, the "s" starts there.
    const int unitHalf = std::max(cui_paint::TextExtent(unit, QString(QChar(0x00B5))).width(),
                                  cui_paint::TextExtent(unit, "s").width());
    const int unitW = 2 * unitHalf + 8;
    std::array<QString, 3> names;
    int widest = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string key = FormatText("ImageTypeName%ld", static_cast<long>(i + 1));
        names[i] = FromLatin1(Ostravo::ReadProfileString("ExperimentSettings", key.c_str(), "", 1023,
                                                         theApp.m_ini_path.c_str()));
        widest = std::max(widest, cui_paint::TextExtent(comboFont, names[i]).width());
    }
    const int panelW = widest + 12 + comboW + unitW + h;
    const int panelH = 9 * h + 36;
    const int left = static_cast<int>(std::lround(width() * 0.88 - panelW / 2));
    const int top = static_cast<int>(std::lround(height() * 0.45 - panelH / 2));
    const int labelRight = left + widest;
    int rowTop = top + 3;
    for (size_t n = 0; n < 3; ++n) {
        const QRect combo(labelRight + 12, rowTop, comboW, comboH);
        m_combos[n]->setGeometry(combo);
        m_radios[n]->setGeometry(QRect(combo.right() + 1 + unitW, rowTop, h, comboH));
        const int rowBottom = combo.bottom();
        Ostravo::IntensityControl &control = m_shared->intensity[n];
        control.m_frame = {left, rowBottom + 8, left + panelW, rowBottom + 8 + h};
        m_exposureLabelRects[n] = QRect(left, rowTop, widest, comboH);
        PublishMarkers(static_cast<int>(n));
        rowTop = control.m_frame.bottom + h;
    }
}

void CustomerUIWnd::PublishMarkers(int index)
{
    const Ostravo::IntensityControl &control = m_shared->intensity[static_cast<size_t>(index)];
    m_shared->markers[static_cast<size_t>(index)] =
        (static_cast<uint32_t>(control.m_lower_intensity) << 16) | control.m_upper_intensity;
}

Ostravo::IntensityControl &CustomerUIWnd::CheckedControl(int &index)
{
    const int32_t radio = m_screen.Snapshot().checkedRadio;
    index = radio == 2 ? 1 : radio == 3 ? 2 : 0;
    return m_shared->intensity[static_cast<size_t>(index)];
}

void CustomerUIWnd::Sync()
{
    m_ticker.Poll();
    const CustomerUIData d = m_screen.Snapshot();
    if (d.visible != isVisible())
        setVisible(d.visible);
    SyncControls(d);
    const bool frame = m_shared->frameReady.exchange(false);
    if (m_screen.TakeRepaint() || frame)
        update();
}

void CustomerUIWnd::ShowOnlyControls(QWidget *a, QWidget *b, QWidget *c)
{
    auto show = [](QWidget *control, bool shown) {
        if (control && control->isVisibleTo(control->parentWidget()) != shown)
            control->setVisible(shown);
    };
    auto named = [&](QWidget *control) { return control == a || control == b || control == c; };
    for (QLineEdit *edit : m_edits)
        show(edit, named(edit));
    for (QCheckBox *box : m_checks)
        show(box, named(box));
    show(m_password, b == m_password);
    for (QComboBox *combo : m_combos)
        show(combo, false);
    show(m_radios[0], a == m_radios[0]);
    show(m_radios[1], b == m_radios[1]);
    show(m_radios[2], c == m_radios[2]);
}

void CustomerUIWnd::HideAllButEdits()
{
    auto hide = [](QWidget *control) {
        if (control->isVisibleTo(control->parentWidget()))
            control->hide();
    };
    hide(m_password);
    for (QComboBox *combo : m_combos)
        hide(combo);
    for (QRadioButton *radio : m_radios)
        hide(radio);
    for (QCheckBox *box : m_checks)
        hide(box);
}

void CustomerUIWnd::HideAllButCheckBoxes()
{
    auto hide = [](QWidget *control) {
        if (control->isVisibleTo(control->parentWidget()))
            control->hide();
    };
    for (QLineEdit *edit : m_edits)
        hide(edit);
    hide(m_password);
    for (QComboBox *combo : m_combos)
        hide(combo);
    for (QRadioButton *radio : m_radios)
        hide(radio);
}

void CustomerUIWnd::SyncControls(const CustomerUIData &d)
{
    m_syncing = true;
    m_shownState = d.state;
    // Edits, radios and check boxes show the screen's text colour on its background.
    if (d.backgroundColor != m_controlBackground || d.textColor != m_controlText) {
        m_controlBackground = d.backgroundColor;
        m_controlText = d.textColor;
        const QColor background = cui_paint::FromColorRef(d.backgroundColor);
        const QColor text = cui_paint::FromColorRef(d.textColor);
        for (QLineEdit *edit : m_edits)
            ScreenColours(edit, background, text);
        ScreenColours(m_password, background, text);
        for (QRadioButton *radio : m_radios)
            ScreenColours(radio, background, text);
        for (QCheckBox *box : m_checks)
            ScreenColours(box, background, text);
    }
    const size_t inputs = d.inputLabels.size();
    // The form screens place their own edits and check boxes; the other screens' painters decide
    // which controls show.
    for (size_t i = 0; i < m_edits.size(); ++i) {
        QLineEdit *edit = m_edits[i];
        if (IsInputState(d.state))
            edit->setVisible(i < inputs);
        // A text the script sets reaches the edit even while it has the focus; what the operator
        // typed comes back from the model unchanged and is left alone.
        const QString text = FromLatin1(d.editTexts[i]);
        if (text != m_modelEditTexts[i]) {
            m_modelEditTexts[i] = text;
            if (edit->text() != text)
                edit->setText(text);
        }
    }
    if (IsInputState(d.state) || IsCheckState(d.state))
        m_password->setVisible(false);
    if (!m_password->hasFocus() && m_password->text() != FromLatin1(d.password))
        m_password->setText(FromLatin1(d.password));
    for (size_t i = 0; i < m_checks.size(); ++i) {
        QCheckBox *box = m_checks[i];
        if (IsCheckState(d.state) || IsInputState(d.state))
            box->setVisible(IsCheckState(d.state) && i < inputs);
        box->setChecked(d.checkMarks[i] != 0);
    }
    if (IsCheckState(d.state))
        for (QLineEdit *edit : m_edits)
            edit->setVisible(false);
    if (IsControlFreeState(d.state))
        ShowOnlyControls(nullptr, nullptr, nullptr);
    // The form and check screens place their controls where their painters draw the rows.
    if (IsInputState(d.state) || IsCheckState(d.state))
        cui_form::PlaceFormControls(*this, d);
    const bool video = d.state == ShowVideo;
    for (size_t i = 0; i < m_combos.size(); ++i) {
        QComboBox *combo = m_combos[i];
        // On the live video screen a combo follows its image type's activity once the screen's
        // first paint has shown the panel.
        if (video && d.paintedState == ShowVideo && combo->isVisibleTo(this) != d.comboVisible[i])
            combo->setVisible(d.comboVisible[i]);
        if (IsInputState(d.state) || IsCheckState(d.state)) {
            combo->setVisible(false);
            m_radios[i]->setVisible(false);
        }
        const QString text = FromLatin1(d.comboTexts[i]);
        if (!combo->lineEdit()->hasFocus() && combo->currentText() != text)
            combo->setEditText(text);
        m_radios[i]->setChecked(d.checkedRadio == static_cast<int32_t>(i) + 1);
    }
    m_syncing = false;
}

void CustomerUIWnd::paintEvent(QPaintEvent *event)
{
    const CustomerUIData d = m_screen.Snapshot();
    QPainter painter(this);
    painter.setFont(ScreenFont(40));
    painter.setPen(cui_paint::FromColorRef(d.textColor));
    CuiPaintPass pass{painter, d, m_screen, *this, width(), height(), event->rect(), m_drawnTexts};
    painter.fillRect(rect(), cui_paint::FromColorRef(d.backgroundColor));

    // The group boxes a script defined.
    for (size_t i = 0; i < d.groupBoxRects.size(); ++i) {
        const QRect box = cui_paint::ToQRect(d.groupBoxRects[i]);
        if (!pass.Intersects(box))
            continue;
        const int thickness = i < d.groupBoxBorderWidths.size() ? d.groupBoxBorderWidths[i] : 0;
        const int corner = i < d.groupBoxCornerSizes.size() ? d.groupBoxCornerSizes[i] : 0;
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (thickness > 0 && i < d.groupBoxBorderColors.size())
            painter.setPen(QPen(cui_paint::FromColorRef(d.groupBoxBorderColors[i]), thickness));
        else
            painter.setPen(Qt::NoPen);
        painter.setBrush(i < d.groupBoxFillColors.size()
                             ? QBrush(cui_paint::FromColorRef(d.groupBoxFillColors[i]))
                             : QBrush(Qt::NoBrush));
        // The corner size is the width and height of the corner's ellipse.
        painter.drawRoundedRect(QRectF(box), corner / 2.0, corner / 2.0);
        painter.restore();
    }
    // The logo at its own size, its alpha over the background.
    if (!m_logo.isNull())
        painter.drawImage(QPoint(cui_paint::AtFraction(pass.w, 0.02), cui_paint::AtFraction(pass.h, 0.07)),
                          m_logo);
    cui_paint::DrawTitle(painter, pass.w, pass.h, d.title, m_drawnTexts);

    // The live frame the render thread drew; in analysis mode no camera runs and the area stays empty.
    if (d.state == ShowVideo && !theApp.m_analysis_mode) {
        std::lock_guard<std::mutex> lock(m_shared->frameMutex);
        if (!m_shared->frame.isNull())
            painter.drawImage(m_shared->frameOrigin, m_shared->frame);
    }

    switch (d.state) {
    case Login:
        PaintLogin(pass);
        break;
    case SelectAction:
        PaintSelectAction(pass);
        break;
    case PromptInsertFlowcell:
        PaintPromptInsertFlowcell(pass);
        break;
    case PipetteSample:
        PaintPipetteSample(pass);
        break;
    case ShowVideo:
        PaintShowVideo(pass);
        break;
    case PromptForInput:
        PaintPromptForInput(pass);
        break;
    case PromptForInputChecks:
        PaintPromptForInputChecks(pass);
        break;
    case PromptForFilename:
        PaintPromptForFilename(pass);
        break;
    case CustomerUIState::PromptInfo:
        PaintPromptInfo(pass);
        break;
    case PromptForImageChecks:
        PaintPromptForImageChecks(pass);
        break;
    case PromptForFusedImageVerification:
        PaintPromptForFusedImageVerification(pass);
        break;
    case PromptForMontageReport:
        PaintPromptForMontageReport(pass);
        break;
    default:
        break; // the other states show the frame only
    }
    // Every completed paint records its state, so that a screen with its own controls sets them up
    // again whenever it is entered anew, also after a screen that has no such step.
    if (d.paintedState != d.state)
        m_screen.WriteBack([&](CustomerUIData &m) { m.paintedState = d.state; });
}

void CustomerUIWnd::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    const int32_t browse = m_screen.BrowseBoxAt(p.x(), p.y());
    if (browse >= 0) {
        // Cancelling leaves the edit as it is.
        std::string file;
        if (platform::ui::Ui().ChooseOpenFile("Select Experiment Setting File", "ExperimentSettings.ini",
                                              "Experiment Setting File (*.ini)", file))
            m_screen.SetEditText(browse + 1, file);
        return;
    }
    const CustomerUIData d = m_screen.Snapshot();
    if (d.state == ShowVideo) {
        for (size_t n = 0; n < m_combos.size(); ++n) {
            if (!m_combos[n]->isVisible() && m_combos[n]->geometry().contains(p)) {
                m_screen.OnExposureOffBox(static_cast<int32_t>(n) + 1);
                m_combos[n]->show();
                update();
                return;
            }
        }
    }
    if (m_screen.OnLButtonDown(p.x(), p.y()))
        return;
    if (d.state == ShowVideo) {
        int index = 0;
        Ostravo::IntensityControl &control = CheckedControl(index);
        if (control.HitTestMarkers(p) == 1)
            LogCustomerUIState(FormatText("ClickOnIntensityControl%ld", static_cast<long>(index)).c_str(),
                               d.state, nullptr);
    }
}

void CustomerUIWnd::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    const bool leftDown = event->buttons() & Qt::LeftButton;
    setCursor(m_screen.OnMouseMove(p.x(), p.y(), leftDown) ? Qt::SizeVerCursor : Qt::ArrowCursor);
    if (m_screen.State() == ShowVideo) {
        int index = 0;
        Ostravo::IntensityControl &control = CheckedControl(index);
        if (control.DragMarker(p) != 0) {
            PublishMarkers(index);
            update();
        }
    }
}

void CustomerUIWnd::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    m_screen.OnLButtonUp(p.y());
    const int32_t state = m_screen.State();
    if (state != ShowVideo)
        return;
    int index = 0;
    Ostravo::IntensityControl &control = CheckedControl(index);
    if (control.m_dragging_lower || control.m_dragging_upper) {
        const int changed = control.DragMarker(p);
        control.m_dragging_lower = false;
        control.m_dragging_upper = false;
        if (changed != 0) {
            PublishMarkers(index);
            LogCustomerUIState(FormatText("FinishContrastAdjust%ld", static_cast<long>(index)).c_str(), state,
                               nullptr);
            update();
        }
    }
}

void CustomerUIWnd::keyPressEvent(QKeyEvent *event)
{
    // Enter neither reaches a control nor closes the screen.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    if (event->key() == Qt::Key_Escape) {
        if (platform::ui::MessageBox("Are you sure that you want to close this window?", "Vantelis",
                                     platform::ui::MbYesNo) != platform::ui::IdYes)
            return;
        Script::StopScript(1);
        m_screen.SetVisible(false);
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CustomerUIWnd::showEvent(QShowEvent *event)
{
    m_screen.SetVisible(true);
    QWidget::showEvent(event);
}

void CustomerUIWnd::hideEvent(QHideEvent *event)
{
    m_screen.SetVisible(false);
    QWidget::hideEvent(event);
}

// ---- the window as the services see it ----

CustomerUIWindow::CustomerUIWindow(CustomerUI &screen)
    : m_screen(screen), m_target(std::make_shared<ScreenRenderTarget>(m_shared))
{
}

CustomerUIWindow::~CustomerUIWindow() = default;

bool CustomerUIWindow::HasWindow() const
{
    return m_window != nullptr;
}

bool CustomerUIWindow::Create(bool visible)
{
    if (!m_window) {
        QScreen *desktop = QGuiApplication::primaryScreen();
        const QRect area = desktop ? desktop->geometry() : QRect(0, 0, 1920, 1080);
        m_window = std::make_unique<CustomerUIWnd>(m_screen, m_shared, area.width(), area.height());
    }
    if (visible)
        Show(true);
    return true;
}

bool CustomerUIWindow::IsVisible() const
{
    return m_window && m_window->isVisible();
}

void CustomerUIWindow::Show(bool show)
{
    if (!m_window)
        return;
    m_screen.SetVisible(show);
    m_window->setVisible(show);
}

std::shared_ptr<RenderTarget> CustomerUIWindow::LiveImageTarget()
{
    return m_target;
}

bool CustomerUIWindow::FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                                     std::string &error)
{
    const int32_t radio = m_screen.Snapshot().checkedRadio;
    const size_t index = radio == 2 ? 1 : radio == 3 ? 2 : 0;
    if (!m_shared->intensity[index].SetHistogramFromValues(values, n, error))
        return false;
    const uint32_t markers = m_shared->markers[index];
    lower = static_cast<uint16_t>(markers >> 16);
    upper = static_cast<uint16_t>(markers & 0xFFFF);
    m_shared->frameReady = true; // the control shows the new histogram at the next sync
    return true;
}

namespace {
std::shared_ptr<CustomerUIWindow> g_installed;
}

std::shared_ptr<CustomerUIWindow> InstallCustomerUIWindow()
{
    g_installed = std::make_shared<CustomerUIWindow>(theCustomerUI());
    CustomerUIHost host;
    host.liveImagePressed = [] {
        CMainFrame *frame = CMainFrame::Get();
        return frame && frame->ToolBar() && frame->ToolBar()->IsButtonPressed(cmd::kLiveImage);
    };
    host.postCommand = [](int32_t command) {
        if (AppFramework *framework = Framework())
            framework->PostCommand(command, 0);
    };
    host.toolbarImageType = []() -> int32_t {
        CMainFrame *frame = CMainFrame::Get();
        return frame && frame->ToolBar() ? frame->ToolBar()->GetSelectedImageType() : 0;
    };
    host.selectToolbarImageType = [](int32_t type) {
        CMainFrame *frame = CMainFrame::Get();
        if (frame && frame->ToolBar())
            frame->ToolBar()->SelectImageType(static_cast<unsigned>(type));
    };
    theCustomerUI().SetHost(std::move(host));
    SetCustomerUIWindow(g_installed);
    return g_installed;
}

void UninstallCustomerUIWindow()
{
    SetCustomerUIWindow(nullptr);
    theCustomerUI().SetHost({});
    g_installed.reset();
}

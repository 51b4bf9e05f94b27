#pragma once
// The operator screen's window: a borderless full-screen widget that paints a snapshot of the
// screen's model (theCustomerUI), hands it mouse input, keys and the ticks of its timers, and
// shows the controls the current state uses. The model is the truth: the window follows its
// visibility, texts and timers every 10 ms (CustomerUITicker), so the script thread never touches
// a widget.
#include "Ostravo/gui/IntensityControl.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUIServices.h"
#include "operator/CustomerUITicker.h"
#include "operator/gui/CustomerUIPaintPass.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QTimer;

// The intensity controls and the live frame of the screen, shared between the window (user-
// interface thread) and the render thread.
struct CustomerUIShared
{
    std::array<Ostravo::IntensityControl, 3> intensity;
    // Markers of each control as the render thread reads them: lower << 16 | upper.
    std::array<std::atomic<uint32_t>, 3> markers{};
    std::mutex frameMutex;
    QImage frame;
    QPoint frameOrigin;
    std::atomic<bool> frameReady{false};
    std::atomic<bool> windowAlive{false};
};

class CustomerUIWnd : public QWidget
{
    Q_OBJECT
  public:
    // Places the screen on a desktop of the given size (the placement rule of the screen).
    CustomerUIWnd(CustomerUI &screen, std::shared_ptr<CustomerUIShared> shared, int desktopWidth,
                  int desktopHeight);
    ~CustomerUIWnd() override;

    const CustomerUIPlacement &Placement() const { return m_place; }
    // Ticks the due timers and follows the model: visibility, controls, repaint.
    void Sync();

    QLineEdit *InputEdit(int i) const { return m_edits[static_cast<size_t>(i)]; }
    QLineEdit *PasswordEdit() const { return m_password; }
    QComboBox *ExposureCombo(int i) const { return m_combos[static_cast<size_t>(i)]; }
    QRadioButton *DisplayRadio(int i) const { return m_radios[static_cast<size_t>(i)]; }
    QCheckBox *CheckBox(int i) const { return m_checks[static_cast<size_t>(i)]; }
    CustomerUIShared &Shared() const { return *m_shared; }
    // Tests: every text of the following paints is recorded here (null stops recording).
    void RecordTexts(std::vector<CuiDrawnText> *texts) { m_drawnTexts = texts; }
    const QRect &ExposureLabelRect(int i) const { return m_exposureLabelRects[static_cast<size_t>(i)]; }

    // Child-control visibility as the painters decide it; a control changes only when it differs.
    // Each input edit and check box is shown when it is one of a, b, c; the password edit only as b;
    // radio 1 only as a, radio 2 only as b, radio 3 only as c; the exposure combos are hidden.
    void ShowOnlyControls(QWidget *a, QWidget *b, QWidget *c);
    // Hides everything but the six input edits, which are left as they are.
    void HideAllButEdits();
    // Hides everything but the six check boxes, which are left as they are.
    void HideAllButCheckBoxes();
    // The logo drawn at the top left (empty when its file could not be read).
    const QImage &Logo() const { return m_logo; }

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    void LayoutFixedParts();
    void LayoutExposurePanel();
    void SyncControls(const CustomerUIData &d);
    Ostravo::IntensityControl &CheckedControl(int &index);
    void PublishMarkers(int index);

    CustomerUI &m_screen;
    std::shared_ptr<CustomerUIShared> m_shared;
    CustomerUIPlacement m_place;
    CustomerUITicker m_ticker;
    QTimer *m_poll = nullptr;
    std::array<QLineEdit *, 6> m_edits{};
    // The edit texts as the model last had them.
    std::array<QString, 6> m_modelEditTexts;
    QLineEdit *m_password = nullptr;
    std::array<QComboBox *, 3> m_combos{};
    std::array<QRadioButton *, 3> m_radios{};
    std::array<QCheckBox *, 6> m_checks{};
    std::array<QRect, 3> m_exposureLabelRects;
    bool m_syncing = false;
    int32_t m_shownState = -2;
    std::vector<CuiDrawnText> *m_drawnTexts = nullptr;
    QImage m_logo;
    // The colours the controls show, as last applied (Windows RGB; -1 before the first sync).
    int32_t m_controlBackground = -1;
    int32_t m_controlText = -1;
};

// The window as the program's services see it; created on first use.
class CustomerUIWindow : public CustomerUIWindowLink
{
  public:
    explicit CustomerUIWindow(CustomerUI &screen);
    ~CustomerUIWindow() override;

    bool HasWindow() const override;
    bool Create(bool visible) override;
    bool IsVisible() const override;
    void Show(bool show) override;
    std::shared_ptr<RenderTarget> LiveImageTarget() override;
    bool FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                       std::string &error) override;

    CustomerUIWnd *Window() const { return m_window.get(); }

  private:
    CustomerUI &m_screen;
    std::shared_ptr<CustomerUIShared> m_shared = std::make_shared<CustomerUIShared>();
    std::shared_ptr<RenderTarget> m_target;
    std::unique_ptr<CustomerUIWnd> m_window;
};

// Installs the operator screen's window for theCustomerUI with its links to the main window;
// returns it. UninstallCustomerUIWindow removes it (before the application object goes).
std::shared_ptr<CustomerUIWindow> InstallCustomerUIWindow();
void UninstallCustomerUIWindow();

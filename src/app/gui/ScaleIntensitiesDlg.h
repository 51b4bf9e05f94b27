#pragma once
// The dialog in which the user types the display window of an image view: the upper and lower
// 16-bit intensity that map to white and black. Each value is previewed in the view half a second
// after the last keystroke; OK keeps the values, Cancel restores the view's window as it was, and
// "Set Default" also stores both texts as the defaults for views opened later.
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

class ScaleIntensitiesDlg : public QDialog
{
    Q_OBJECT
  public:
    // Preview message codes: the first parameter of a message to the view.
    static constexpr int kUpperIntensityMessage = 32774;
    static constexpr int kLowerIntensityMessage = 32775;
    static constexpr int kMaxTimer = 1000;
    static constexpr int kMinTimer = 1001;
    static constexpr int kPreviewDelayMs = 500;

    explicit ScaleIntensitiesDlg(QWidget *parent = nullptr);

    // Set by the owner before the dialog is shown; OK replaces the first two.
    uint16_t m_max_value = 255;
    uint16_t m_min_value = 0;
    uint16_t m_restore_max_value = 0;
    uint16_t m_restore_min_value = 0;
    // The image view that receives the preview messages, and how it takes one (code, value). The
    // messages are posted: the view applies them after the dialog's handler has returned, and not
    // at all once the view is gone.
    QPointer<QObject> m_view_window;
    std::function<void(int code, uint32_t value)> m_view_message;
    // The main settings file that "Set Default" writes.
    std::string m_settings_path;

    QLineEdit *MaxEdit() const { return m_max_edit; }
    QLineEdit *MinEdit() const { return m_min_edit; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }
    QPushButton *SetDefaultButton() const { return m_set_default; }
    bool TimerActive(int id) const;

    // Timer 1000 or 1001 has run out: previews the value of its edit.
    void OnTimer(int id);
    // Writes both texts, as typed, as [ScaleIntensitiesDlg] MaxIntensity and MinIntensity.
    bool SaveDefaults();

  protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;

  private:
    void OnInitDialog();
    void OnChangeMax();
    void OnChangeMin();
    void OnBnClickedOk();
    void OnBnClickedCancel();
    void OnSetDefault();
    void PostToView(int code, uint32_t value);

    QLineEdit *m_max_edit = nullptr;
    QLineEdit *m_min_edit = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_set_default = nullptr;
    QTimer m_max_timer;
    QTimer m_min_timer;
    bool m_initialised = false;
};

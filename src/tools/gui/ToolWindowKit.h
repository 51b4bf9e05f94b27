#pragma once
// What every analysis tool window shares. A tool window is a ToolWindow (a modeless QDialog that
// Escape and Enter hide, never destroy) whose controls carry their numeric ids:
//
//   auto *edit = AddControl(kMyEditId, new QLineEdit(this));   // laid out by the window itself
//   ControlText(kMyEditId);  SetControlText(kMyEditId, "12");  IsChecked(kMyBoxId);
//   FindControl(otherWindow, 1216);   // the same lookup on any window (shared routines use it)
//
// One-shot timers by id: RestartTimer(id, ms) kills the timer and sets it again, so a burst of
// changes runs the work once, ms after the last change; when it fires the timer is already
// stopped and OnTimer(id) runs on the user-interface thread.
//
// A window whose work runs on a worker thread takes a snapshot of its controls before it starts
// the worker, gives the worker a StopFlag that the Stop button sets, and lets the worker report
// only through PostToWindow, which runs the update on the user-interface thread (through the
// platform's GUI seam) and drops it when the window has gone meanwhile.
#include "app/ModelessWindow.h"

#include <QDialog>
#include <QPointer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

class DropDownCombo;
class QBoxLayout;
class QGroupBox;
class QTimer;

// Set by the window's Stop button, tested by its worker between items.
using StopFlag = std::atomic<bool>;

// The control of window with the given id (its own or any descendant's), or null.
QWidget *FindControl(const QWidget *window, int id);
// The id given to a control by ToolWindow::AddControl; 0 for any other widget.
int ControlId(const QWidget *control);

// Runs update on the user-interface thread without waiting, unless window has been destroyed by
// then. Any thread.
void PostToWindow(QPointer<QWidget> window, std::function<void()> update);

// The image-analysis, fractionation and projection tools draw over the same images: at most one
// of them is visible, so showing one hides the others.
void HideOtherFolderTools(const ModelessWindow &shown);

class ToolWindow : public QDialog
{
    Q_OBJECT
  public:
    explicit ToolWindow(const char *title, QWidget *parent = nullptr);
    ~ToolWindow() override;

    // Tags control with id and returns it.
    template <class T> T *AddControl(int id, T *control)
    {
        TagControl(id, control);
        return control;
    }
    QWidget *Control(int id) const { return FindControl(this, id); }
    template <class T> T *ControlAs(int id) const { return qobject_cast<T *>(Control(id)); }

    // Text of an edit, combo box, label or button (UTF-8, or the bytes it was set to while they are
    // shown unchanged); empty when there is no such control.
    std::string ControlText(int id) const;
    // Sets the text the way the user's typing would, so change notifications follow.
    void SetControlText(int id, const std::string &text);
    // A check box that is missing reads unchecked.
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    bool IsControlEnabled(int id) const;
    void EnableControl(int id, bool enabled);

    void RestartTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool TimerActive(int id) const;
    // The delay of an armed timer, -1 when it is not armed.
    int TimerInterval(int id) const;

  protected:
    // Adds to layout the "Parameter Set" row of a set editor: its label, the editable set list
    // comboId (no insertion on Enter) and the Save button saveId. Returns the list.
    DropDownCombo *AddParamSetRow(QBoxLayout *layout, int comboId, int saveId);
    // The " Region of Interest" group with the edits left, top, right and bottom, which follow the
    // view: they are shown, not typed into.
    QGroupBox *AddRoiGroup(int left, int top, int right, int bottom);

    virtual void OnTimer(int id) { (void)id; }
    // Escape and Enter hide the window at once, as the dialogs always did.
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void TagControl(int id, QWidget *control);
    std::map<int, QTimer *> m_timers;
};

// Shows the wait cursor while it lives.
class WaitCursor
{
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// A modeless tool window made on first use, then shown and hidden; destroyed only on request
// (Destroy), after which the next use makes a new one. HasWindow may be asked from any thread; the
// rest runs on the GUI thread.
template <class Dialog> class LazyToolWindow : public ModelessWindow
{
  public:
    explicit LazyToolWindow(std::function<std::unique_ptr<Dialog>()> make) : m_make(std::move(make)) {}
    bool HasWindow() const override { return m_exists.load(); }
    bool Create(bool visible) override
    {
        if (!m_dialog) {
            m_dialog = m_make();
            m_exists = true;
        }
        if (visible)
            Show(true);
        return true;
    }
    bool IsVisible() const override { return m_dialog && m_dialog->isVisible(); }
    void Show(bool show) override
    {
        if (!m_dialog)
            return;
        if (show) {
            m_dialog->show();
            m_dialog->raise();
            m_dialog->activateWindow();
        } else {
            m_dialog->hide();
        }
    }
    void Destroy() override
    {
        if (!m_dialog)
            return;
        m_dialog->close();
        m_exists = false;
        m_dialog.reset();
    }
    Dialog *Window() const { return m_dialog.get(); }

  private:
    std::function<std::unique_ptr<Dialog>()> m_make;
    std::unique_ptr<Dialog> m_dialog;
    std::atomic<bool> m_exists{false};
};

#pragma once
// "Variable Watch": up to ten variables of the running fluidic-system script. The script thread
// hands over a copy of its variables at most once a second while the window is visible; the
// user-interface thread shows the values of the names chosen in the ten slots about 10 ms later.
// The window never reads a script's live variables.
#include "tools/gui/ToolWindowKit.h"

#ifndef Q_MOC_RUN
#include "script/Variable.h"
#endif

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;

// The value text of a variable: "%ld" for an int, the double text of FormatDouble, the string as
// it is; false (text empty) for a variable without a type.
bool FormatVariableValue(const Variable &variable, std::string &text);

class VariableWatchDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kSlots = 10;
    static constexpr int kWatchAllId = 1100;
    // Slot n (1 to 10): combo kFirstComboId + n - 1, value box kFirstValueId + n - 1.
    static constexpr int kFirstComboId = 1101;
    static constexpr int kFirstValueId = 1121;
    static constexpr int kRefreshTimer = 1000;

    explicit VariableWatchDlg(QWidget *parent = nullptr);
    ~VariableWatchDlg() override;

    // Script thread, before each line: hands over a copy of the variables of a handle-0 run when
    // at least a second has passed since the last hand-over (monotonic clock). The operator
    // screen's variables are not this window's. Never waits for the user interface.
    void UpdateVariables(int handle, const VariableList &variables);
    // Shows the values of the chosen names from the waiting copy; disables the controls while no
    // fluidic-system script runs.
    void RefreshValues();
    // A slot's combo is about to drop down: offer the names of the last hand-over.
    void OnCbnDropdownVariable(int slot);
    void OnBnClickedWatchAll();

    QComboBox *Combo(int slot) const;
    QLineEdit *Value(int slot) const;
    // True while the window is shown; read by the script threads.
    bool WatchVisible() const { return m_visible.load(); }

  protected:
    void OnTimer(int id) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    std::shared_ptr<std::vector<std::string>> Names();

    std::mutex m_mutex; // guards the two hand-over pointers and the time
    std::unique_ptr<VariableList> m_variables;
    std::shared_ptr<std::vector<std::string>> m_variable_names;
    uint64_t m_last_update_ms = 0;
    bool m_updated = false;
    std::atomic<bool> m_visible{false};
};

#pragma once
// The operator prompts of the script threads: a message with "Continue" (and "Cancel"), a value
// entry, or a row of up to four buttons named by the script. Each opens application-modal on the
// user-interface thread without a nested event loop and hands its answer back through a callback,
// so the exit can close a prompt that nobody answered.
#ifndef Q_MOC_RUN
#include "script/commands/PromptCommands.h"
#endif
#include "script/gui/TokenWindows.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <atomic>

// One prompt window. result() after it closed: 1 for OK/"Continue", 2 for "Cancel"/Esc; for the
// custom kind the pressed button (1 to 4) or 0.
class PromptDlg : public QDialog
{
    Q_OBJECT
  public:
    PromptDlg(const ScriptPrompt &prompt, double scale, QWidget *parent = nullptr);

    int Answer() const { return m_answer; }
    // The edit field's text (value prompts), at most 1023 characters.
    std::string Value() const; // the typed value, at most 1023 bytes
    // The shown buttons in their row order.
    std::vector<QPushButton *> Buttons() const { return m_buttons; }

    // Esc: Cancel, or no button of a custom prompt.
    void reject() override;

  private:
    void Finish(int answer);
    ScriptPrompt::Kind m_kind;
    int m_answer = 0;
    class QLineEdit *m_edit = nullptr;
    std::vector<QPushButton *> m_buttons;
};

class QtScriptPromptHost : public QObject, public ScriptPromptHost
{
    Q_OBJECT
  public:
    explicit QtScriptPromptHost(QObject *parent = nullptr);
    ~QtScriptPromptHost() override;

    uint64_t Open(const ScriptPrompt &prompt,
                  std::function<void(int result, std::string value)> done) override;
    void Dismiss(uint64_t token) override;

    // The prompts open now (user-interface thread).
    std::vector<PromptDlg *> OpenPrompts() const;

  private:
    std::atomic<uint64_t> m_next{0};
    TokenWindows<PromptDlg> m_prompts; // user-interface thread only
};

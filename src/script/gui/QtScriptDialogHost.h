#pragma once
// Opens the message boxes of the script threads on the user-interface thread without a nested
// event loop: each box is shown modeless to the loop (application-modal to the user) and its
// answer goes back through a callback, so the boxes of both handles can be answered in any order
// and the exit can close a box that nobody answered.
#ifndef Q_MOC_RUN
#include "script/ScriptRuntime.h"
#endif

#include "script/gui/TokenWindows.h"

#include <QObject>
#include <QPointer>

#include <atomic>

class QMessageBox;

class QtScriptDialogHost : public QObject, public ScriptDialogHost
{
    Q_OBJECT
  public:
    explicit QtScriptDialogHost(QObject *parent = nullptr);
    ~QtScriptDialogHost() override;

    uint64_t OpenMessageBox(const std::string &text, const std::string &caption, uint32_t flags,
                            std::function<void(int answer)> answer) override;
    void Dismiss(uint64_t token) override;

    // The boxes open now (user-interface thread).
    std::vector<QMessageBox *> OpenBoxes() const;

  private:
    std::atomic<uint64_t> m_next{0};
    TokenWindows<QMessageBox> m_boxes; // user-interface thread only
};

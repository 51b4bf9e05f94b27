#pragma once
// The Qt side of the user-interface seams. Created on the GUI thread; any call from another
// thread is carried over to it: questions block until answered, setters are posted. A call
// made on the GUI thread runs at once.
#include "platform/Ui.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class QString;
class QTimer;
class QWidget;

namespace platform::gui {

class QtUserInterface : public QObject, public platform::ui::UserInterface
{
    Q_OBJECT
  public:
    explicit QtUserInterface(QObject *parent = nullptr);
    ~QtUserInterface() override;

    // Creates the interface on the calling (GUI) thread and installs it as platform::ui::Ui().
    // The returned pointer keeps it alive; when the last copy goes on another thread, the object
    // is deleted on the GUI thread.
    static std::shared_ptr<QtUserInterface> Install();

    // Status targets by name. A control target shows the text as its "text" property (labels,
    // edit boxes, buttons) or as the message of a status bar; a callback target receives the
    // text on the GUI thread. Unknown targets are ignored; a deleted control is forgotten.
    void RegisterStatusTarget(const std::string &target, QObject *control);
    void RegisterStatusTarget(const std::string &target, std::function<void(const std::string &)> show);
    void UnregisterStatusTarget(const std::string &target);

    int MessageBox(const std::string &text, const std::string &caption, uint32_t flags) override;
    bool BrowseForFolder(const std::string &title, const std::string &start, std::string &chosen) override;
    bool ChooseOpenFile(const std::string &title, const std::string &start, const std::string &filter,
                        std::string &chosen) override;
    bool ChooseSaveFile(const std::string &title, const std::string &start, const std::string &filter,
                        std::string &chosen) override;
    bool Prompt(const std::string &title, const std::string &label, std::string &text) override;
    void SetStatusText(const std::string &target, const std::string &text) override;
    void RunOnGuiThread(std::function<void()> work, bool wait) override;
    void StartTimer(int id, uint32_t intervalMs, std::function<void()> onTick) override;
    void StopTimer(int id) override;

  private:
    struct StatusTarget
    {
        QPointer<QObject> control;
        std::function<void(const std::string &)> show;
    };

    bool OnGuiThread() const;
    // Runs question on the GUI thread and waits for its answer.
    template <typename Result> Result Ask(std::function<Result()> question);
    // Runs setter on the GUI thread without waiting.
    void Post(std::function<void()> setter);
    void ShowStatus(const std::string &target, const std::string &text);
    static QWidget *DialogParent();
    // Shows why a picked name that Qt could not carry is refused; true when it was.
    bool RefuseUnreadableName(const QString &picked);

    std::mutex m_targetsMutex;
    std::map<std::string, StatusTarget> m_targets;
    std::map<int, QTimer *> m_timers; // touched on the GUI thread only
};

} // namespace platform::gui

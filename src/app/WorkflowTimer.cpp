#include "app/WorkflowTimer.h"

#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "app/ScriptServices.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "platform/Ui.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace {

constexpr const char *kSource = "MainFrm";
constexpr int32_t kMaximumPeriodMs = 3600000;

std::mutex &CaptureLogMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string &CaptureLogPath()
{
    static std::string path;
    return path;
}

void EnterStoppingState(CPlexorinApp &app)
{
    app.m_workflow_capture_count = 0;
    app.m_workflow_running = false;
}

void KillTimer()
{
    platform::ui::Ui().StopTimer(kWorkflowTimerId);
}

void Report(const std::string &text, int32_t line)
{
    LogError(kSource, line, text);
    platform::ui::MessageBox(text);
}

} // namespace

void SetWorkflowCaptureLogPath(const std::string &path)
{
    std::lock_guard<std::mutex> lock(CaptureLogMutex());
    CaptureLogPath() = path;
}

std::string WorkflowCaptureLogPath()
{
    std::lock_guard<std::mutex> lock(CaptureLogMutex());
    return CaptureLogPath();
}

void StartExperimentWorkflow(CPlexorinApp &app)
{
    KillTimer();

    EString message;
    if (!Capture().CheckDiskSpaceForWorkflow(message)) {
        if (platform::ui::MessageBox(message.c_str(), "Vantelis", platform::ui::MbYesNo) !=
            platform::ui::IdYes)
            return;
    }

    app.m_workflow_capture_count = 0;
    app.m_workflow_running = true;

    const int32_t period =
        Ostravo::ReadProfileInt("ExperimentSettings", "ImageCapturePeriod", 0, app.m_ini_path.c_str(), 32);
    const int32_t count =
        Ostravo::ReadProfileInt("ExperimentSettings", "ImageCaptureCount", 1, app.m_ini_path.c_str(), 32);

    if (period < 0 || period >= kMaximumPeriodMs) {
        char text[160];
        std::snprintf(
            text, sizeof text,
            "[ExperimentSettings] invalid ImageCapturePeriod=%ld : must be an integer between 0 and 3600000",
            static_cast<long>(period));
        Report(text, __LINE__);
        EnterStoppingState(app);
        return;
    }

    if (period == 0) {
        // A single capture; no timer.
        Capture().SetImageCaptureEvent();
        EnterStoppingState(app);
        return;
    }

    platform::ui::Ui().StartTimer(kWorkflowTimerId, static_cast<uint32_t>(period),
                                  [&app] { OnExperimentWorkflowTimer(app); });
    message.Assign("");
    if (Capture().CheckCapturePeriod(message)) {
        Capture().SetImageCaptureEvent();
        if (app.m_workflow_capture_count >= count - 1) {
            EnterStoppingState(app);
            KillTimer();
        }
    } else {
        EnterStoppingState(app);
        KillTimer();
        if (message.IsNonEmpty())
            Report(message.c_str(), __LINE__);
    }
}

void OnExperimentWorkflowTimer(CPlexorinApp &app)
{
    if (!app.m_workflow_running) {
        EnterStoppingState(app);
        KillTimer();
        return;
    }
    // Read at every tick, so that an edit made while the workflow runs counts at once.
    const int32_t count =
        Ostravo::ReadProfileInt("ExperimentSettings", "ImageCaptureCount", 1, app.m_ini_path.c_str(), 32);
    if (app.m_workflow_capture_count >= count) {
        EnterStoppingState(app);
        KillTimer();
        return;
    }
    ++app.m_workflow_capture_count;
    Capture().SetImageCaptureEvent();
}

void StopExperimentWorkflow(CPlexorinApp &app)
{
    KillTimer();
    EnterStoppingState(app);

    std::vector<EString> lines;
    Scripts().TakeCaptureLogHeaderLines(lines);

    std::string path = WorkflowCaptureLogPath();
    if (path.empty()) {
        // Without a capture log the lines have nowhere to go. Handing them to a cached log without
        // a file name would leave a record that can never be saved, and the log worker would fail
        // on it at every sweep.
        if (!lines.empty())
            LogError(kSource, __LINE__,
                     std::to_string(lines.size()) +
                         " capture-log header line(s) dropped: no capture log is open.");
    } else {
        EString error;
        for (const EString &line : lines)
            AddAHeaderLine(path.c_str(), line.c_str(), error);
        CachedLogging::Release(path.c_str(), error);
    }
    SetWorkflowCaptureLogPath("");
}

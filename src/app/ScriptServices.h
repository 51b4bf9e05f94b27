#pragma once
// What the application shell asks of the script engine. Until the engine is installed, a
// placeholder answers: no script runs, and every window or action is "not available".
#include "Ostravo/EString.h"
#include "app/ModelessWindow.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One live interpreter instance: handle 0 runs fluidic-system scripts, 1 operator-screen scripts.
struct ScriptInstanceInfo
{
    uint32_t handle = 0;
    bool running = false;
    std::string path;
};

class ScriptServices
{
  public:
    virtual ~ScriptServices() = default;

    virtual ModelessWindow &WaitWithTimer() = 0;
    virtual ModelessWindow &InformOperator() = 0;
    virtual ModelessWindow &ScriptsList() = 0;
    virtual ModelessWindow &SystemState() = 0;
    virtual ModelessWindow &VariableWatch() = 0;
    // ScriptsDlg::UpdateButtons.
    virtual void UpdateScriptsListButtons() = 0;

    // The live instances (_script_instances), in list order.
    virtual std::vector<ScriptInstanceInfo> ScriptInstances() = 0;
    // Script::IsScriptRunning: with an instance of that handle, its script path (when not empty)
    // into path and its running flag; without one, false and path untouched.
    virtual bool IsScriptRunning(uint32_t handle, std::string &path) = 0;
    // Script::TakeCaptureLogHeaderLines: moves the queued capture-log header lines into lines.
    virtual size_t TakeCaptureLogHeaderLines(std::vector<EString> &lines) = 0;
    // Script::RunScript: starts the script file at path on the instance of handle; false with the
    // reason in error when it could not be started.
    virtual bool RunScript(uint32_t handle, const std::string &path, EString &error) = 0;
    // Script::StopScript: asks the script running on the instance of handle to stop.
    virtual void StopScript(uint32_t handle) = 0;
};

// The installed script engine, or its placeholder.
ScriptServices &Scripts();
// Installs services (nullptr puts the placeholder back); returns the previous installed one.
std::shared_ptr<ScriptServices> InstallScriptServices(std::shared_ptr<ScriptServices> services);

#pragma once
// The script commands that prompt the operator and the seam through which a script thread opens
// the prompt dialogs on the user-interface thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ScriptPrompt
{
    enum class Kind
    {
        Info,           // the message and "Continue"
        ContinueCancel, // the message, "Continue" and "Cancel"
        Value,          // a prompt and an edit field that starts with value
        Custom,         // the message and up to four buttons named by the ";"-separated captions
    };
    Kind kind = Kind::Info;
    std::string message;
    std::string value;
    std::string captions;
};

// Result codes handed back by a prompt: OK and Cancel for the first three kinds, the pressed
// button (1 to 4, 0 for none) for a custom prompt.
inline constexpr int kPromptOk = 1;
inline constexpr int kPromptCancel = 2;

class ScriptPromptHost
{
  public:
    virtual ~ScriptPromptHost() = default;
    // Opens the prompt without waiting; done gets the result and the edit field's text once the
    // prompt is closed (from any thread). Returns a token for Dismiss.
    virtual uint64_t Open(const ScriptPrompt &prompt,
                          std::function<void(int result, std::string value)> done) = 0;
    // Closes a prompt opened here without answering; an already closed one is ignored.
    virtual void Dismiss(uint64_t token) = 0;
};

// Installs the host (nullptr removes it). Install and remove while no script runs.
void SetScriptPromptHost(std::shared_ptr<ScriptPromptHost> host);

// Shows the prompt and waits for it on the script thread; at the exit it is dismissed and the
// result is Cancel (0 for a custom prompt). False without a host.
bool RunScriptPrompt(const ScriptPrompt &prompt, int &result, std::string &value);

// Replaces each backslash-n pair with a line feed and each backslash-t pair with a tab.
std::string ReplaceEscapePairs(const std::string &text);

// The button captions of a custom prompt: split at ";" (blanks before a caption skipped, a quoted
// caption taken whole), a final ";" adds no empty caption, at most the first four.
std::vector<std::string> PromptCustomCaptions(const std::string &captions);
// The screen scale of the prompt buttons: the number at the start of the text, or 1.0 when there is
// none or it lies outside (0, 10].
double ParseMonitorScaleFactor(const char *text);
// [ExperimentSettings] MonitorScaleFactor of the main settings file, parsed as above.
double MonitorScaleFactor();

// Installs the handlers of the prompt and operator-message commands.
void RegisterPromptCommands();

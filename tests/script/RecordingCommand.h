#pragma once
// A fake built-in command that records what it was called with, installed for one test.
#include "script/Arguments.h"
#include "script/CommandTable.h"

#include <atomic>
#include <string>
#include <vector>

class RecordingCommand
{
  public:
    // Registers a handler for id that reads one int argument (or one STRING with text set) and
    // records "<value>" on every run; load-time calls are counted apart.
    RecordingCommand(int id, bool text = false) : m_id(id)
    {
        RegisterCommandHandler(id, [this, text](Script &, const char *arguments, VariableList &variables,
                                                bool checkOnly, EString &error) {
            const char *cursor = arguments;
            if (!ReadArgumentListStart(cursor, error))
                return false;
            std::string value;
            if (text) {
                EString s;
                if (!GetStringParameter(1, cursor, s, error, &variables, nullptr))
                    return false;
                value = s.c_str();
            } else {
                int32_t v = 0;
                if (!GetIntParameter(1, cursor, v, error, &variables, nullptr))
                    return false;
                value = std::to_string(v);
            }
            if (checkOnly) {
                ++checks;
                return true;
            }
            calls.push_back(value);
            ++runs;
            if (!failOn.empty() && value == failOn) {
                error.Assign("recorded failure");
                return false;
            }
            return true;
        });
    }
    ~RecordingCommand() { RegisterCommandHandler(m_id, nullptr); }
    RecordingCommand(const RecordingCommand &) = delete;
    RecordingCommand &operator=(const RecordingCommand &) = delete;

    std::vector<std::string> calls;
    int checks = 0;
    // Runs so far, safe to poll from the test's thread while the script runs.
    std::atomic<int> runs{0};
    // A run with this value fails with "recorded failure".
    std::string failOn;

  private:
    int m_id;
};

#pragma once
// The lazily made window of a tool that draws calibration lines: the dialog is made (and its
// OnInitDialog run) on first use and kept, hidden or shown, until the program ends. The dialog
// type gives CalibrationRows() and SaveCalibrationLine(key, row).
#include "app/ViewGlobals.h"
#include "tools/gui/ToolWindowKit.h"

#include <cstdint>
#include <memory>

template <class Tool> class LazyCalibrationWindow : public LazyToolWindow<Tool>
{
  public:
    LazyCalibrationWindow()
        : LazyToolWindow<Tool>([] {
              auto dialog = std::make_unique<Tool>();
              dialog->OnInitDialog();
              return dialog;
          })
    {
    }

    Tool *Dialog() const { return this->Window(); }

    void GetCalibrationLines(int32_t lines[4]) const
    {
        CalibrationLines rows;
        // HasWindow is safe from any thread; the dialog, once made, lives until the program ends.
        if (this->HasWindow())
            rows = Dialog()->CalibrationRows();
        lines[0] = rows.upper_channel;
        lines[1] = rows.lower_channel;
        lines[2] = rows.upper_magnet;
        lines[3] = rows.lower_magnet;
    }

    bool SaveCalibrationLine(const char *key, int32_t row) const
    {
        return this->HasWindow() && Dialog()->SaveCalibrationLine(key, row);
    }
};

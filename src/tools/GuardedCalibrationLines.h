#pragma once
// An image folder's calibration lines as a folder tool holds them: the renderer and the tool
// services read them from other threads, so every access takes the lock.
#include "app/BackgroundImages.h"
#include "app/ViewGlobals.h"
#include "tools/FractionationInputs.h"

#include <cstdint>
#include <mutex>
#include <string>

class GuardedCalibrationLines
{
  public:
    CalibrationLines Rows() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

    // Saves one line (by its key) into the folder's calibration and keeps the lines; false when
    // the folder could not be written.
    bool Save(const std::string &folder, const char *lineName, int32_t row)
    {
        CalibrationLines lines = Rows();
        const bool saved = SaveImageFolderCalibrationLine(folder, lineName, row, lines);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines = lines;
        return saved;
    }

    // Reads the folder's calibration over the lines held; on success keeps them and hands them
    // back in `loaded`. On failure the lines stay and `error` tells why (empty when there was
    // nothing to read).
    bool Load(const std::string &folder, CalibrationLines &loaded, EString &error)
    {
        loaded = Rows();
        if (!ReadImageFolderCalibration(folder, loaded, error))
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines = loaded;
        return true;
    }

    // Load, and when the lines read differ from those the views show, has every view redrawn.
    bool LoadAndRedraw(const std::string &folder, EString &error)
    {
        CalibrationLines loaded;
        if (!Load(folder, loaded, error))
            return false;
        if (!(loaded == _shown_calibration_lines.Get()))
            InvalidateAllViews();
        return true;
    }

  private:
    mutable std::mutex m_mutex;
    CalibrationLines m_lines;
};

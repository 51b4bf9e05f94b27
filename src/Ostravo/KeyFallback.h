#pragma once
// The read hook that keeps old settings files working: a read of a calibration item that moved to
// [CalibrationSettings] or [Cartridge] and finds nothing there is answered from its older place.
#include <cstdint>

// Read hook for ProfileReadHook (Profile.h). True means the buffer holds the answer; false lets the
// normal read go ahead. A null file stands for the main settings file.
bool ProfileKeyFallback(const char *section, const char *item, const char *defaultValue, char *buffer,
                        uint32_t size, const char *file);

// The main settings file that a null file argument of ProfileKeyFallback stands for; start-up sets
// it together with the application's settings path.
void SetProfileKeyFallbackSettingsPath(const char *path);

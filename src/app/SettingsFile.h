#pragma once
// The main settings file's checks: <data folder>/Plexorin.ini is created from the template
// Default/Vantelis.ini, takes calibration over once from an older installation's file, and is
// restored from Backup/Plexorin.ini.bak when it is corrupt (CPlexorinApp, app/PlexorinApp.h).
#include <string>

// True when the file passes the checks: [CalibrationSettings] image_pixels_per_mm parses as a
// number other than -1 and, when full, [TecanCentris] Pump2SyringeVolume and [AutoScale]
// LowMappingDisplayIntensity parse as integers other than -1.
bool ValidateSettingsFile(std::string path, bool full);

// The settings file of an older installation: <documents>/Quorvane/Plexorin.ini.
std::string LegacySettingsFilePath();

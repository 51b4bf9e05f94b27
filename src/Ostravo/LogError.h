#pragma once
// The program-wide error log: one tab-separated file per day, LOG/Err_YYYY_MM_DD.log in the data
// folder, opened, appended and closed for every entry so that an entry is on disk as soon as the
// call returns.
//
// The logs need a few facts that the application object learns during start-up (data folder, full
// version, main settings path). Start-up hands them over with the setters below as soon as it
// knows them; until then the logs write relative to the current folder with an empty version.
#include <cstdint>
#include <cstdio>
#include <string>

struct LogSettings
{
    std::string dataDirectory;    // the data folder; logs go to its LOG folder
    std::string version;          // the full four-part version, first column of log rows
    std::string mainSettingsPath; // the main settings file; crash dumps go beside it
};

void SetLogDataDirectory(const char *folder);
void SetLogVersion(const char *version);
void SetLogMainSettingsPath(const char *path);
// A copy of the current settings; safe from any thread.
LogSettings GetLogSettings();

// Appends one row "version, time, source file, line, message" to the day's error log, writing the
// computer-name line and the column header first when that file does not exist yet. With file
// given, the row (and the two header lines when the day's error log does not exist yet) goes to
// that file instead, which stays open. Never fails towards the caller and never shows anything.
// The row names the source file by its name alone (any folders are dropped) and holds every CR or
// LF of the message as a blank, so each row stays one line.
void LogError(const char *sourceFile, int32_t line, const char *message, FILE *file = nullptr);
inline void LogError(const char *sourceFile, int32_t line, const std::string &message, FILE *file = nullptr)
{
    LogError(sourceFile, line, message.c_str(), file);
}

// Writes "# ComputerName=<name>" as a line into an open file; nothing for a null file.
void WriteComputerNameLine(FILE *file);

// The data folder (trimmed, a separator added when missing) joined with relative; the relative
// name alone when the data folder is empty or blank.
std::string DataFolderPath(const char *relative);

// Text as the instrument's text files hold it: every line feed not already preceded by a
// carriage return becomes CR LF, so data folders move between instruments unchanged.
std::string ToCrLfText(const std::string &text);

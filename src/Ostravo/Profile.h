#pragma once
// INI-style profile files, read and written key by key. Every call reads the whole file (deciphering
// it when it is stored enciphered), normalises its line ends to CR LF, works on the text in memory
// and, when it changes something, writes the whole file back through an atomic replace (enciphered
// again when the file is registered for encryption, see ProfileEncryption.h).
//
// Texts are NUL-terminated 8-bit strings; files are named by full path ('/' or '\' separators).
// Section names are matched byte-exactly, item names ignoring ASCII case. Failures are written to
// the profile log (Ostravo::log_error) once per distinct message and reported by a false result.
#include <atomic>
#include <cstdint>
#include <vector>

class EString;

// Read hook: answers a read before the file is looked at. True means the buffer holds the answer.
using ProfileReadHookFn = bool (*)(const char *section, const char *item, const char *defaultValue,
                                   char *buffer, uint32_t size, const char *file);
// Write hook: true means the write was handled and the file is not touched.
using ProfileWriteHookFn = bool (*)(const char *section, const char *item, const char *value,
                                    const char *file);

// Installed by start-up; null means no hook. A hook's own profile calls on the same thread do not
// call the hook again.
extern std::atomic<ProfileReadHookFn> ProfileReadHook;
extern std::atomic<ProfileWriteHookFn> ProfileWriteHook;

namespace Ostravo {

// Puts the item's value (or the default when the file, the section or the item is missing) into
// buffer. A value that does not fit in size - 1 characters, or a default that does not fit when the
// file exists, gives false with an empty buffer. A missing file gives the default, cut to fit, and
// true (an empty text for a null default).
bool E_GetPrivateProfileString(const char *section, const char *item, const char *defaultValue, char *buffer,
                               uint32_t size, const char *file);

// Creates the file, the section or the item as needed, or replaces the item's value, under the
// file's write lock (2000 ms). False when the value cannot be stored: invalid names, a value holding
// a line break, a new value over 256 characters, an old value over 1024 characters, a section whose
// header cannot be parsed, a lock time-out, or a read or write failure.
bool E_WritePrivateProfileString(const char *section, const char *item, const char *value, const char *file);

// Appends every line of the section (without its line end, comments included) of at least 3
// characters to lines. False, with nothing appended, for an invalid name, an unreadable file or a
// missing section.
bool E_ReadSection(const char *section, std::vector<EString> &lines, const char *file);

// Removes the section wherever it stands and appends it anew at the end of the file: the header,
// then each line with CR LF. A missing file is created.
bool E_ReplaceSection(const char *section, const std::vector<EString> &lines, const char *file);

// Keeps the first occurrence of every section and deletes the later ones with all their lines.
// The file is written only when something was deleted; a missing file gives true.
bool E_RemoveRedundantSections(const char *file);

} // namespace Ostravo

// When [MigrationAnalysisDlg] can be read and [FractionationAnalysisDlg] cannot, writes the lines of
// the first as the second (the first stays). The result is that write's; otherwise false.
bool MigrateSection(const char *file);

#pragma once
// Profile encryption against the random-data file rand.bin, and the profile log.
//
// An enciphered profile is the 32-byte fingerprint of the rand.bin it was made with, followed by the
// plain text combined byte by byte with a keystream drawn from rand.bin (same length as the text).
// A file counts as enciphered when it has at least 32 bytes and one of its first 32 bytes is 128 or
// more. Operations that can fail return false and put their message in the EString they are given;
// they do not log it themselves.
#include <string>

class EString;

namespace Ostravo {

// Loads rand.bin (at least 64000 bytes, fewer than 32000001) and computes its fingerprint. On failure
// the pool loaded before stays in use.
bool E_LoadRandomFile(const char *path, EString &message);

// Reads the whole file into buffer and tells whether it is enciphered. A missing file gives true and
// leaves buffer and flag untouched (callers clear both first). An enciphered file made with another
// rand.bin gives false with the flag set.
bool read_profile_file_to_memory(std::string &buffer, const char *path, bool &enciphered, EString &message);
// Deciphers a buffer holding a whole enciphered file and drops its 32-byte header.
bool decrypt(std::string &buffer, EString &message);
// Enciphers a plain buffer and puts the 32-byte header in front of it.
bool encrypt(std::string &buffer, EString &message);

// Tells from its first 32 bytes whether a file is enciphered; a missing file is an error.
bool E_IsFileEncrypted(const char *path, bool &enciphered, EString &message);
// Enciphers a plain file in place, replacing it atomically; true also when it already was enciphered.
bool E_EncryptFile(const char *path, EString &message);
// Deciphers an enciphered file in place, replacing it atomically; true also when it already was plain.
bool E_DecryptFile(const char *path, EString &message);

// Sets the profile log: creates the file when it does not exist, otherwise checks that it can be
// appended to; on success later log_error calls write to it.
bool E_SetErrorLog(const char *path, EString &message);
// Appends one time-stamped line with the message to the profile log, once per distinct message per
// run. False when no log is set, the log is busy for more than 1000 ms, or the file cannot be opened.
bool log_error(const char *message);

} // namespace Ostravo

// The set of profile file names (name with extension, no folder, compared byte-exactly) that are
// written enciphered.
bool RegisterEncryptedProfile(const char *nameWithExtension);
void UnregisterEncryptedProfile(const char *nameWithExtension);
// True when the name with extension of path is registered.
bool IsEncryptedProfile(const char *path);

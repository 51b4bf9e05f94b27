#pragma once
// Playing a sound file through the desktop's sound player.
#include <string>

namespace platform {

// The program that plays a wave file; it gets "-q", "--" and the file.
inline constexpr const char *kSoundPlayer = "aplay";

// Plays the wave file at path and returns once it has finished. The player is started with an
// argument list through the process launcher (Process.h), never through a shell. False, with the
// reason in error, when the player could not be started or reported a failure.
bool PlaySoundFile(const std::string &path, std::string *error);

} // namespace platform

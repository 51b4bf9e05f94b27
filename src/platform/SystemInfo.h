#pragma once
#include <string>

namespace platform {

// The machine's name, cut to at most 15 characters as the instrument software always saw it.
std::string ComputerName();
// The computer name made from a host name: the part before the first '.', at most 15 characters.
std::string ComputerNameFrom(const std::string &hostName);
// Folder of the running executable, without a trailing separator.
std::string ProgramFolder();
// VANTELIS_DOCUMENTS when set, else the user's documents folder; no trailing separator.
std::string DocumentsFolder();
// The processors this process may run on (its affinity mask), at least 1.
unsigned UsableProcessorCount();

} // namespace platform

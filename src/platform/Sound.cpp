#include "platform/Sound.h"

#include "platform/Process.h"

#include <vector>

namespace platform {

bool PlaySoundFile(const std::string &path, std::string *error)
{
    std::string output;
    std::string why;
    int exitCode = 0;
    if (!Launcher().Run(kSoundPlayer, {"-q", "--", path}, &output, &exitCode, &why)) {
        if (error)
            *error = why.empty() ? std::string("cannot start ") + kSoundPlayer : why;
        return false;
    }
    if (exitCode != 0) {
        if (error)
            *error = std::string(kSoundPlayer) + " ended with status " + std::to_string(exitCode);
        return false;
    }
    return true;
}

} // namespace platform

#include "BuildVersion.h"

namespace vantelis {

// The program's version as the build stamps it; start-up and the result-file headers read it.
const char *BuildVersionString() { return VANTELIS_VERSION_STRING; }

} // namespace vantelis

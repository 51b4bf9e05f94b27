#include "app/AnalysisLock.h"

std::mutex &ExclusiveAnalysisMutex()
{
    static std::mutex mutex;
    return mutex;
}

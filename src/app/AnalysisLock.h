#pragma once
// One analysis at a time: the montage, the sample-flow video and the fractionation run share state
// that only one run may use. Runs on a worker hold this lock for their whole run; a run started
// from the user-interface thread tries it and reports that the analysis is busy instead of
// waiting.
#include <mutex>

std::mutex &ExclusiveAnalysisMutex();

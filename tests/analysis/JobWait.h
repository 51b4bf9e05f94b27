#pragma once
#include "analysis/ImageAnalysisJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vantelis::test {

// Waits for a job's run to end; a run that never ends fails the test after a minute instead of
// hanging it.
inline ImageAnalysisJobState WaitForJob(int32_t handle)
{
    ImageAnalysisJobState state;
    for (int i = 0; i < 6000; ++i) {
        if (!ImageAnalysisJobTable::GetStatus(handle, state)) {
            ADD_FAILURE() << "job " << handle << " is gone";
            return state;
        }
        if (!state.running)
            return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "job " << handle << " did not finish";
    return state;
}

} // namespace vantelis::test

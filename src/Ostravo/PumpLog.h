#pragma once
// The daily pump log: one tab-separated row per pump command, LOG/PumpLog_YYYY_MM_DD.log in the
// data folder, written through the cached logs. The first row of a run fixes the file (rows after
// midnight stay in it) and puts a column header before that run's rows.
#include <string>

// Stamps the driver's trace line with the local time and queues it; true when it was queued.
// Has the shape of TecanCentris::TraceFn.
bool PumpLogCallback(const char *traceLine);

// The path the log of this run writes to; empty before the first row.
std::string PumpLogPath();
// Test hook: forgets the path, so the next row starts a new run.
void ResetPumpLogForTesting();

#pragma once
// The script commands that start batch image analyses as background runs and follow them through
// their integer handles.

// Installs the handlers of RunImageAnalysis, GetImageAnalysisRunStatus, GetImageAnalysisRunFiles
// and DeleteImageAnalysisRunHandle. Call once during start-up, before the first script loads.
void RegisterAnalysisRunCommands();

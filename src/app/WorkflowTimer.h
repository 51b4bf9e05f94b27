#pragma once
// The experiment workflow: the timed capture of image sets into an experiment. A start asks the
// capture side for one capture at once and then one per [ExperimentSettings] ImageCapturePeriod
// milliseconds until ImageCaptureCount ticks have asked for one each, or until it is stopped.
// The captures themselves are taken by the instrument's capture code, which waits on the capture
// event; this only sets it.
//
// The timer runs through the user-interface seam's timer 1000. Call these on the user-interface
// thread (a script thread goes through platform::ui::Ui().RunOnGuiThread).
#include <string>

class CPlexorinApp;

// The id of the workflow's timer.
constexpr int kWorkflowTimerId = 1000;

// Starts the workflow (after the disk-space question) or refuses with a message; every problem is
// reported here.
void StartExperimentWorkflow(CPlexorinApp &app);
// Stops the workflow and writes the queued capture-log header lines into the capture log.
void StopExperimentWorkflow(CPlexorinApp &app);
// One tick of timer 1000.
void OnExperimentWorkflowTimer(CPlexorinApp &app);

// The capture log whose queued header lines a stop writes; emptied by every stop. The capture
// code sets it when it starts an experiment's log.
void SetWorkflowCaptureLogPath(const std::string &path);
std::string WorkflowCaptureLogPath();

#pragma once
// The placeholders of the subsystems that are not (or not wholly) part of this build. A subsystem
// whose services are only partly built installs its own implementation and forwards the calls it
// does not serve yet to its placeholder, so that they keep answering "not available".
class AnalysisToolWindows;
class ToolServices;
class ExperimentServices;
class ScriptServices;
class OperatorScreenServices;

ToolServices &ToolServicesPlaceholder();
ExperimentServices &ExperimentServicesPlaceholder();
ScriptServices &ScriptServicesPlaceholder();
OperatorScreenServices &OperatorScreenServicesPlaceholder();

// The analysis tool windows are all built; this answers, with no window, when none are installed.
AnalysisToolWindows &NoAnalysisToolWindowsInstalled();

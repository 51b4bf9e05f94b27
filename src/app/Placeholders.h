#pragma once
// The null answers of the application's seams live in app/Placeholders.cpp; each seam's accessor
// gives its null answer while nothing is installed: in the headless run (which installs only the
// ROI lookup and the experiment analysis) and at the exit, after Install...(nullptr), while
// workers may still call in. An installed implementation that lacks a part (the experiment
// analysis without windows, the script runtime before its windows exist) answers that part with
// the null answer it gets here.
class ExperimentServices;
class ScriptServices;

ExperimentServices &ExperimentServicesPlaceholder();
ScriptServices &ScriptServicesPlaceholder();

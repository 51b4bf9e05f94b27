#pragma once
// Installs the handlers of every script command the program carries out beyond the dispatcher's
// own: instrument, workflow, analysis, file, string and log commands, and the operator screen's.
void RegisterProgramScriptCommands();

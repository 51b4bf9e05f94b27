#pragma once
// Starts the operator screen with its default script: [CustomerUI] DefaultScript from the main
// settings file, in <program folder>/CustomerUI/Scripts. Used by start-up and by the main frame's
// "Run the user interface" command.
#include <string>

class CPlexorinApp;

// The script file name the operator screen starts with: the setting, where analysis mode puts
// "DefaultAnalysisUI.scr" in place of an empty name or "DefaultCustomerUI.scr" (any case), and
// outside analysis mode "DefaultCustomerUI.scr" in place of an empty name.
std::string DefaultOperatorScriptName(const CPlexorinApp &app);
// Creates the operator screen's window when it has none and reloads it with the default script;
// a failure goes to the error log. The window shows itself when the script sets its first state.
void RunUserInterface(const CPlexorinApp &app);

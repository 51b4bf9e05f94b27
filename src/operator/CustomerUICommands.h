#pragma once
// The CustomerUI_* script commands through which an operator-screen script drives the guided
// screen: switching screens, waiting for the operator, the countdown, texts, inputs and read-back.
#include "Ostravo/EString.h"

class Script;

// The shared start of every CustomerUI_* command: the instance must run on the operator-screen
// handle, else false with "<display name>() may only be called from the CustomerUI instance of the
// interpreter."; displayName is "Script::" and the command's name.
bool CheckCustomerUIHandle(const Script &instance, const char *displayName, EString &error);

// Installs the handlers of the screen, waiting and countdown commands.
void RegisterCustomerUICommands();

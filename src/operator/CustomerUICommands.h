#pragma once
// The CustomerUI_* script commands through which an operator-screen script drives the guided
// screen: switching screens, waiting for the operator, the countdown, texts, inputs and read-back.
#include "Ostravo/EString.h"
#include "script/Arguments.h"

#include <cstdint>
#include <string>

class Script;

// The shared start of every CustomerUI_* command: the instance must run on the operator-screen
// handle, else false with "<display name>() may only be called from the CustomerUI instance of the
// interpreter."; displayName is "Script::" and the command's name.
bool CheckCustomerUIHandle(const Script &instance, const char *displayName, EString &error);
// The handle check and "(" with a non-empty rest: the frame every command with arguments shares.
bool StartCustomerUIFrame(const Script &instance, const char *displayName, ArgumentReader &args);
// The handle check and an empty argument list.
bool StartEmptyCustomerUIFrame(const Script &instance, const char *displayName, ArgumentReader &args);
// Shows the state and waits for the operator event, whose text it returns. The event is not reset
// first, so an event raised while the script was still filling the screen releases the wait at once.
std::string ShowCustomerUIStateAndWait(int32_t state);

// Installs the handlers of the screen, waiting and countdown commands.
void RegisterCustomerUICommands();

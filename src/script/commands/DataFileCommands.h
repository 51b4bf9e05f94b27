#pragma once
// The script commands that open a file with its registered application and compare two numeric
// data files into a growing report.

// Installs the handlers of OpenFileUsingDefaultApp and CompareTwoDataFiles. Call once during
// start-up, before the first script loads.
void RegisterDataFileCommands();

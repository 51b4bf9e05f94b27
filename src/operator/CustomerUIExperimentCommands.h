#pragma once
// The CustomerUI_* script commands that tie an operator-screen script to the rest of the program:
// the flow split shown over the live image, the admin-mode flag and the cartridge offset, the
// settings backup, experiment creation and resumption, the check of an experiment's settings file
// and of its contrast reference images, the post-run analysis and the report screen that shows
// its montage and fractions.

// Installs the handlers of these commands.
void RegisterCustomerUIExperimentCommands();

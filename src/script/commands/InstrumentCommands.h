#pragma once
// The script commands for the cartridge bar code and type, the clamp and cartridge sensors, single
// digital I/O lines and the manufacturing tests over the live image.

// Installs the handlers. Call once during start-up, before the first script loads.
void RegisterInstrumentCommands();

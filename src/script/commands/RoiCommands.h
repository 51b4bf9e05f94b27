#pragma once
// The script commands that test, read, write and remove the named ROIs of the main settings file
// and make one of them the active ROI of the image views.

// Installs the handlers of ROI_Exists, ROI_Read, ROI_Write, ROI_Remove and ROI_ChooseByName. Call
// once during start-up, before the first script loads.
void RegisterRoiCommands();

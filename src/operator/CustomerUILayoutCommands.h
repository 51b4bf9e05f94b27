#pragma once
// The CustomerUI_* script commands that prepare what the operator screen shows without waiting for
// the operator: colours, images, the Next and Back buttons, the action buttons, group boxes and the
// vertical layout, the screen size; and the two image-check screens, which wait like the other
// screens.

// Installs the handlers of these commands.
void RegisterCustomerUILayoutCommands();

#pragma once
// Finds the serial instruments: every COM port that opens is probed for the stage at 115200 baud
// and then for the syringe pumps at 9600 baud; the ports where they answer stay open and are kept
// in the application, every other port is released. Each step is reported into the log.
#include "devices/ForwardingDeviceServices.h"

#include <cstdio>
#include <memory>

class CPlexorinApp;

// With log (start-up's session log) the report goes there and the log stays open; without one
// (a re-detection) the pump and stage ports are released first and the report goes to the day's
// LOG/ReInitializeSerialPortDevices_YYYY_MM_DD.log. True when every device the settings ask for was
// found. In analysis mode no port is opened.
bool DetectSerialPortDevices(CPlexorinApp &app, FILE *log);

// The device services layer that serves the serial-device detection.
class SerialDeviceServices : public ForwardingDeviceServices
{
  public:
    using ForwardingDeviceServices::ForwardingDeviceServices;
    bool DetectSerialDevices(CPlexorinApp &app, FILE *log) override;
};

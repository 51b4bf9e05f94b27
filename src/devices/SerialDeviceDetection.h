#pragma once
// Finds the serial instruments: every COM port that opens is probed for the stage at 115200 baud
// and then for the syringe pumps at 9600 baud; the ports where they answer stay open and are kept
// in the application, every other port is released. Each step is reported into the log.
#include "app/DeviceServices.h"

#include <cstdio>
#include <memory>

class CPlexorinApp;

// With log (start-up's session log) the report goes there and the log stays open; without one
// (a re-detection) the pump and stage ports are released first and the report goes to the day's
// LOG/ReInitializeSerialPortDevices_YYYY_MM_DD.log. True when every device the settings ask for was
// found. In analysis mode no port is opened.
bool DetectSerialPortDevices(CPlexorinApp &app, FILE *log);

// The serial-device detection as the program's detection services.
class SerialDeviceServices : public SerialDetectionServices
{
  public:
    bool DetectSerialDevices(CPlexorinApp &app, FILE *log) override;
};

// Installs a SerialDeviceServices as the detection services; returns it.
std::shared_ptr<SerialDeviceServices> InstallSerialDeviceServices();

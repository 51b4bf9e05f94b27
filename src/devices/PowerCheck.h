#pragma once
// The start-up check that the instrument is switched on and its camera has come up. Neither has a
// direct line to the program, so both are read from the USB devices present: a powered instrument
// shows its internal SuperSpeed hub, the camera shows as a USB device of a supported make.
//
// The device listing is taken from the kernel's USB device folder (/sys/bus/usb/devices): one
// entry per device named like "1-2.3"; the root hubs are the entries named "usbN", and interfaces
// have a ':' in their name. The listing writes a text report, one "field : value" line per device
// property, to <documents>/Quorvane/Nimbrel/power_on_test.txt, and the decisions are taken from
// that report, so a check without a fresh listing reads what the last one wrote. For each device:
//
//   Description : "Generic SuperSpeed USB Hub" for a hub (device class 09) at 5000 Mbit/s or more,
//                 "Generic USB Hub" for a slower hub, otherwise manufacturer and product names
//                 joined by a blank
//   Device Name, Device Type, Vendor ID, Product ID, Manufacturer, Product, Speed
//
// Root hubs (the usbN entries and any device of vendor 1d6b) are left out: every USB 3 controller
// has a SuperSpeed root hub, which would make the instrument always look powered.
//
// Decisions (each report line is made lower-case, its blanks removed and split at ':'):
//   instrument: the field contains "description" and the value contains "genericsuperspeedusbhub"
//   camera:     the field is "description" and the value contains "pixelink" or "basler"
#include <cstdint>
#include <functional>
#include <string>

constexpr int kUsbInstrument = 1;
constexpr int kUsbCamera = 2;

// Where the check reads and writes, and how it waits; tests point these elsewhere.
struct PowerCheckEnvironment
{
    std::string companyFolder;    // <documents>/Quorvane
    std::string instrumentFolder; // <documents>/Quorvane/Nimbrel
    std::string reportFile;       // <instrument folder>/power_on_test.txt
    std::string usbDeviceFolder = "/sys/bus/usb/devices";
    std::function<void(uint32_t)> sleepMs;
};

// The environment the checks use (the defaults above, sleeping for real).
PowerCheckEnvironment &PowerCheckSettings();
// Puts the defaults back.
void ResetPowerCheckSettings();

// Whether one reduced report line proves a device of the kind present (any other kind: true).
bool UsbReportLineMatches(int kind, const std::string &line);

// Writes the report of the USB devices under usbDeviceFolder into reportFile. False when the
// device folder cannot be read or the report cannot be written.
bool WriteUsbDeviceReport(const std::string &usbDeviceFolder, const std::string &reportFile);

// True when a device of the kind is present, and whenever the check cannot be made (a folder that
// cannot be made, a listing that cannot be taken). With runListing a new report is written first;
// without it the last report is read. A report that cannot be opened gives false.
bool CheckUsbDevicePresent(int kind, bool runListing);

// The start-up check with its prompts; false when the operator chose not to go on without the
// instrument.
bool CheckInstrumentPower();

#pragma once
// Reading and driving single lines of the digital I/O unit. The program carries no driver for the
// unit, so none is installed and every line access is refused with a message; a driver installed
// here (a test's fake, for one) is what the digital-line script commands read and drive.
#include "Ostravo/EString.h"

#include <cstdint>
#include <memory>

class DigitalLineDriver
{
  public:
    virtual ~DigitalLineDriver() = default;
    // The state (0 or 1) of an input line; false with a message when it cannot be read.
    virtual bool ReadInputLine(int32_t port, int32_t line, int32_t &state, EString &error) = 0;
    // Drives an output line to state (0 or 1); false with a message when it cannot.
    virtual bool WriteOutputLine(int32_t port, int32_t line, int32_t state, EString &error) = 0;
};

// The installed driver, or null. Any thread.
std::shared_ptr<DigitalLineDriver> InstalledDigitalLineDriver();
// Installs driver (nullptr removes it) and returns the previous one.
std::shared_ptr<DigitalLineDriver> SetDigitalLineDriver(std::shared_ptr<DigitalLineDriver> driver);

#pragma once
// The script commands that drive the two syringe pumps and the timed waits.
#include <cstdint>
#include <functional>

// Installs the handlers of the pump and wait commands. Call once during start-up, before the first
// script loads.
void RegisterPumpCommands();

// The largest position, dispense or aspirate volume the pump commands accept, in microlitres.
inline constexpr double kPumpVolumeLimitUl = 10000.0;

// Where TestPumps draws its random positions from: a uniform 32-bit source. Tests replace it with
// a fixed sequence; an empty function restores the seeded generator.
void SetTestPumpsRandomSource(std::function<uint32_t()> source);
// A random position from 0 up to (not including) rangeUl, in steps of 1/1000 ul.
double TestPumpsPosition(uint32_t draw, int32_t rangeUl);

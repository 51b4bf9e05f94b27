#pragma once
// Symbols drawn over the live image by the manufacturing-test script commands: full and small
// crosses and user-defined polylines (symbol types). The symbols stay until a script ends; the
// symbol types and the serial counter stay for the life of the process.
//
// One lock guards the symbol list and the symbol types, points included: the script thread adds
// to them while the render thread reads them. A wait for it gives up after 1000 ms.
#include "app/DeviceServices.h"

#include <cstdint>
#include <string>
#include <vector>

class DrawingSurface;
struct Pen;
struct VideoSymbolFrame;

constexpr int32_t kFullCrossSymbol = 0;
constexpr int32_t kSmallCrossSymbol = 1;
constexpr int32_t kFirstSymbolTypeId = 1000;

// A user-defined polyline; the type at position k of the list has the id 1000 + k.
struct VideoSymbolType
{
    std::vector<int32_t> points; // x, y pairs relative to the symbol's position, image pixels
    std::string name;
    int32_t id = 0;
};

// Whether symbolType names a symbol that can be shown: 0, 1 or the id of a defined type.
// Types 2..999 are not checked (they draw nothing), as before.
bool IsKnownSymbolType(int32_t symbolType);

// Appends a shown symbol with the next serial number. False with "<caller>() Internal error #1"
// when the list's lock could not be taken.
bool AddVideoSymbol(VideoSymbol symbol, const char *caller, EString &error);

// Empties the symbol list and repaints every view; always true.
bool ClearVideoSymbols();

// The type whose name equals name ignoring ASCII case (existed = 1), or a new one with no points
// appended under that name (existed = 0). Always true.
bool FindOrCreateSymbolType(const char *name, int32_t &id, int32_t &existed);

// Adds one point to the polyline of type id. False with a message for an unknown id or when the
// lock could not be taken.
bool AddPointToSymbolType(int32_t id, int32_t x, int32_t y, EString &error);

// The same for a script command named caller: an id that names no type fails with
// "<caller>() : Invalid symbol_type: <id>" and a lock not had within 1000 ms with
// "<caller>() Internal error #1". An id below 1000 is refused without waiting for the lock.
bool AddPointToSymbolType(int32_t id, int32_t x, int32_t y, const char *caller, EString &error);

// Copies of the shown symbols, in the order added.
std::vector<VideoSymbol> VisibleVideoSymbolsSnapshot();
// A copy of the type list.
std::vector<VideoSymbolType> VideoSymbolTypesSnapshot();
// Number of symbols ever added.
int32_t VideoSymbolCounter();

// Draws one symbol with pen, frame telling where the image lies in the window. False for a type
// that draws nothing (an unknown id, 2..999) or a frame without an image.
bool DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                     const VideoSymbolFrame &frame);

// Test control: forgets every symbol, every type and the counter.
void ResetVideoSymbolsForTesting();

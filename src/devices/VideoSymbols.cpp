#include "devices/VideoSymbols.h"

#include "app/BackgroundImages.h"
#include "app/Renderer.h"

#include "platform/Sync.h"

#include <cmath>
#include <strings.h>

namespace {

constexpr uint32_t kLockWaitMs = 1000;

// Takes the table's semaphore for one scope; owns_lock() tells whether it was had in time.
class TableLock
{
  public:
    TableLock(platform::BinarySemaphore &semaphore, uint32_t timeoutMs)
        : m_semaphore(semaphore), m_owned(semaphore.Wait(timeoutMs))
    {
    }
    ~TableLock()
    {
        if (m_owned)
            m_semaphore.Release();
    }
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;
    bool owns_lock() const { return m_owned; }

  private:
    platform::BinarySemaphore &m_semaphore;
    bool m_owned;
};

struct SymbolTable
{
    platform::BinarySemaphore lock;
    std::vector<VideoSymbol> symbols;
    std::vector<VideoSymbolType> types;
    int32_t counter = 0;
};

SymbolTable &Table()
{
    static SymbolTable table;
    return table;
}

int32_t Round(double v)
{
    return static_cast<int32_t>(std::lround(v));
}

bool SameName(const std::string &a, const char *b)
{
    return strcasecmp(a.c_str(), b ? b : "") == 0;
}

} // namespace

bool IsKnownSymbolType(int32_t symbolType)
{
    if (symbolType < kFirstSymbolTypeId)
        return true;
    SymbolTable &table = Table();
    TableLock lock(table.lock, kLockWaitMs);
    if (!lock.owns_lock())
        return false;
    return static_cast<size_t>(symbolType - kFirstSymbolTypeId) < table.types.size();
}

bool AddVideoSymbol(VideoSymbol symbol, const char *caller, EString &error)
{
    SymbolTable &table = Table();
    TableLock lock(table.lock, kLockWaitMs);
    if (!lock.owns_lock()) {
        error = (std::string(caller) + "() Internal error #1").c_str();
        return false;
    }
    symbol.visible = true;
    symbol.serial = table.counter;
    table.symbols.push_back(std::move(symbol));
    ++table.counter;
    return true;
}

bool ClearVideoSymbols()
{
    SymbolTable &table = Table();
    {
        TableLock lock(table.lock, kLockWaitMs);
        if (lock.owns_lock())
            table.symbols.clear();
    }
    InvalidateAllViews();
    return true;
}

bool FindOrCreateSymbolType(const char *name, int32_t &id, int32_t &existed)
{
    SymbolTable &table = Table();
    // Types are never removed, so the list only has to be guarded against a concurrent draw.
    TableLock lock(table.lock, platform::kInfinite);
    for (const VideoSymbolType &type : table.types) {
        if (SameName(type.name, name)) {
            id = type.id;
            existed = 1;
            return true;
        }
    }
    VideoSymbolType type;
    type.name = name ? name : "";
    type.id = kFirstSymbolTypeId + static_cast<int32_t>(table.types.size());
    table.types.push_back(type);
    id = type.id;
    existed = 0;
    return true;
}

bool AddPointToSymbolType(int32_t id, int32_t x, int32_t y, EString &error)
{
    SymbolTable &table = Table();
    TableLock lock(table.lock, kLockWaitMs);
    if (!lock.owns_lock()) {
        error = "AddPointToSymbolType() Internal error #1";
        return false;
    }
    if (id < kFirstSymbolTypeId || static_cast<size_t>(id - kFirstSymbolTypeId) >= table.types.size()) {
        error = ("Invalid symbol_type: " + std::to_string(id)).c_str();
        return false;
    }
    std::vector<int32_t> &points = table.types[static_cast<size_t>(id - kFirstSymbolTypeId)].points;
    points.push_back(x);
    points.push_back(y);
    return true;
}

bool AddPointToSymbolType(int32_t id, int32_t x, int32_t y, const char *caller, EString &error)
{
    const std::string name = caller ? caller : "";
    auto invalid = [&] {
        error = (name + "() : Invalid symbol_type: " + std::to_string(id)).c_str();
        return false;
    };
    if (id < kFirstSymbolTypeId)
        return invalid();
    SymbolTable &table = Table();
    TableLock lock(table.lock, kLockWaitMs);
    if (!lock.owns_lock()) {
        error = (name + "() Internal error #1").c_str();
        return false;
    }
    if (static_cast<size_t>(id - kFirstSymbolTypeId) >= table.types.size())
        return invalid();
    std::vector<int32_t> &points = table.types[static_cast<size_t>(id - kFirstSymbolTypeId)].points;
    points.push_back(x);
    points.push_back(y);
    return true;
}

std::vector<VideoSymbol> VisibleVideoSymbolsSnapshot()
{
    SymbolTable &table = Table();
    std::vector<VideoSymbol> shown;
    TableLock lock(table.lock, kLockWaitMs);
    if (!lock.owns_lock())
        return shown;
    for (const VideoSymbol &symbol : table.symbols)
        if (symbol.visible)
            shown.push_back(symbol);
    return shown;
}

std::vector<VideoSymbolType> VideoSymbolTypesSnapshot()
{
    SymbolTable &table = Table();
    TableLock lock(table.lock, platform::kInfinite);
    return table.types;
}

int32_t VideoSymbolCounter()
{
    SymbolTable &table = Table();
    TableLock lock(table.lock, platform::kInfinite);
    return table.counter;
}

bool DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                     const VideoSymbolFrame &frame)
{
    const ZoomWindow &z = frame.zoom_window;
    const ImageRect &view = frame.target_rect;
    const ImageRect &image = frame.image_rect;
    if (frame.columns <= 0 || frame.rows <= 0 || z.right == z.left || z.bottom == z.top)
        return false;
    // Image point to window point, as the renderer maps the zoom window onto the view.
    auto mapX = [&](double px) {
        return Round(view.left +
                     (px / frame.columns - z.left) / (z.right - z.left) * (view.right - view.left));
    };
    auto mapY = [&](double py) {
        return Round((py / frame.rows - z.top) / (z.bottom - z.top) * (view.bottom - view.top) + view.top);
    };
    // The symbol's position relative to the image rectangle's corner.
    const int32_t x = mapX(symbol.x) - image.left;
    const int32_t y = mapY(symbol.y) - image.top;

    if (symbol.symbol_type == kFullCrossSymbol) {
        surface.Line(image.left, y + image.top, image.right, y + image.top, pen);
        surface.Line(x + image.left, image.top, x + image.left, image.bottom, pen);
        return true;
    }
    if (symbol.symbol_type == kSmallCrossSymbol) {
        const int32_t cx = x + image.left, cy = y + image.top;
        surface.Line(cx - 25, cy, cx + 25, cy, pen);
        surface.Line(cx, cy - 25, cx, cy + 25, pen);
        return true;
    }
    if (symbol.symbol_type < kFirstSymbolTypeId)
        return false;

    std::vector<int32_t> points;
    {
        SymbolTable &table = Table();
        TableLock lock(table.lock, kLockWaitMs);
        if (!lock.owns_lock())
            return false;
        const size_t index = static_cast<size_t>(symbol.symbol_type - kFirstSymbolTypeId);
        if (index >= table.types.size())
            return false;
        points = table.types[index].points;
    }
    for (size_t i = 2; i + 1 < points.size(); i += 2) {
        surface.Line(mapX(points[i - 2]) + x, mapY(points[i - 1]) + y, mapX(points[i]) + x,
                     mapY(points[i + 1]) + y, pen);
    }
    return true;
}

void ResetVideoSymbolsForTesting()
{
    SymbolTable &table = Table();
    TableLock lock(table.lock, platform::kInfinite);
    table.symbols.clear();
    table.types.clear();
    table.counter = 0;
}

// Symbols over the live image: the symbol types, the checks of a new symbol, the list the
// renderer draws and how each kind is drawn.
#include "LivePreviewFake.h"

#include "app/Renderer.h"

#include <gmock/gmock.h>

#include <thread>
#include <tuple>
#include <vector>

namespace vantelis::test {
namespace {

using Segment = std::tuple<int, int, int, int>;

class RecordingSurface : public DrawingSurface
{
  public:
    void Line(int x0, int y0, int x1, int y1, const Pen &pen) override
    {
        lines.emplace_back(x0, y0, x1, y1);
        widths.push_back(pen.width);
    }
    void Pixel(int, int, uint8_t, uint8_t, uint8_t) override {}
    void Text(int, int, const std::string &, uint8_t, uint8_t, uint8_t) override {}
    cv::Size TextSize(const std::string &) override { return {}; }

    std::vector<Segment> lines;
    std::vector<int> widths;
};

// A 100 x 50 image shown whole in a 199 x 99 window at (0, 0): image point p is window point 2p.
VideoSymbolFrame WholeImage()
{
    VideoSymbolFrame frame;
    frame.target_rect = ImageRect{0, 0, 200, 100};
    frame.zoom_window = ZoomWindow{0.0, 1.0, 0.0, 1.0};
    frame.image_rect = ImageRect{0, 0, 198, 98};
    frame.columns = 100;
    frame.rows = 50;
    return frame;
}

std::string Show(int32_t x, int32_t y, int32_t type, int32_t red, int32_t green, int32_t blue, int32_t width)
{
    EString error;
    const bool ok = MfgTest_ShowSymbolOverVideo(x, y, type, red, green, blue, width, error);
    const std::string text = error.IsNonEmpty() ? error.c_str() : "";
    EXPECT_EQ(ok, text.empty()) << text;
    return text;
}

using VideoSymbolsTest = LivePreviewFixture;

TEST_F(VideoSymbolsTest, SymbolTypesAreFoundByNameIgnoringCase)
{
    struct Case
    {
        const char *name;
        int32_t id;
        int32_t existed;
    };
    const Case cases[] = {
        {"Arrow", 1000, 0}, {"arrow", 1000, 1}, {"Box", 1001, 0}, {"ARROW", 1000, 1},
        {nullptr, 1002, 0}, {"", 1002, 1},      {"box", 1001, 1},
    };
    for (const Case &c : cases) {
        int32_t id = -1, existed = -1;
        EXPECT_TRUE(FindOrCreateSymbolType(c.name, id, existed));
        EXPECT_EQ(id, c.id) << (c.name ? c.name : "(none)");
        EXPECT_EQ(existed, c.existed) << (c.name ? c.name : "(none)");
    }
}

TEST_F(VideoSymbolsTest, ArgumentsOfANewSymbol)
{
    int32_t id = 0, existed = 0;
    FindOrCreateSymbolType("Arrow", id, existed);
    FindOrCreateSymbolType("Box", id, existed);
    struct Case
    {
        int32_t type, red, green, blue, width;
        const char *error;
    };
    const Case cases[] = {
        {1002, 0, 0, 0, 1, "Invalid symbol_type: 1002"},
        {1002, -1, 0, 0, 1, "Invalid symbol_type: 1002"},
        {0, -1, 0, 0, 1, "Invalid parameter red: -1  Value must be between 0 and 255"},
        {0, 256, 300, 0, 1, "Invalid parameter red: 256  Value must be between 0 and 255"},
        {0, 0, 256, -5, 1, "Invalid parameter green: 256  Value must be between 0 and 255"},
        {0, 0, 0, -1, 1, "Invalid parameter blue: -1  Value must be between 0 and 255"},
        {0, 0, 0, 0, 0, "line_width must be between 1 and 20"},
        {0, 0, 0, 0, 21, "line_width must be between 1 and 20"},
        {1001, 255, 255, 255, 20, ""},
        {1, 0, 0, 0, 1, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Show(1, 2, c.type, c.red, c.green, c.blue, c.width), c.error) << c.type;
    EXPECT_EQ(LiveOverlay().VisibleVideoSymbols().size(), 2u);
}

TEST_F(VideoSymbolsTest, PreviewGateOfANewSymbol)
{
    preview->pressed = false;
    EXPECT_EQ(Show(1, 2, 0, 0, 0, 0, 1), "Image preview is not active.");
    preview->pressed = true;
    preview->document = false;
    EXPECT_EQ(Show(1, 2, 0, 0, 0, 0, 1), "MfgTest_ShowSymbolOverVideo() : Internal error #1");
    preview->document = true;
    preview->image = false;
    EXPECT_EQ(Show(1, 2, 0, 0, 0, 0, 1), "MfgTest_ShowSymbolOverVideo() : Internal error #2");
    theApp.m_analysis_mode = true;
    EXPECT_THAT(Show(1, 2, 0, 0, 0, 0, 1), ::testing::StartsWith("Image preview is not allowed"));
    // The arguments are checked first.
    EXPECT_EQ(Show(1, 2, 0, 0, 0, 0, 0), "line_width must be between 1 and 20");
    EXPECT_TRUE(LiveOverlay().VisibleVideoSymbols().empty());
}

TEST_F(VideoSymbolsTest, SymbolsStayUntilClearedAndTheCounterKeepsCounting)
{
    EXPECT_EQ(Show(10, 20, 0, 1, 2, 3, 4), "");
    EXPECT_EQ(Show(30, 40, 1, 5, 6, 7, 8), "");
    std::vector<VideoSymbol> shown = LiveOverlay().VisibleVideoSymbols();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].symbol_type, 0);
    EXPECT_EQ(shown[0].x, 10);
    EXPECT_EQ(shown[0].y, 20);
    EXPECT_EQ(std::make_tuple(shown[0].red, shown[0].green, shown[0].blue), std::make_tuple(1, 2, 3));
    EXPECT_EQ(shown[0].line_width, 4);
    EXPECT_EQ(shown[0].serial, 0);
    EXPECT_TRUE(shown[0].visible);
    EXPECT_EQ(shown[1].symbol_type, 1);
    EXPECT_EQ(shown[1].serial, 1);

    EXPECT_TRUE(ClearVideoSymbols());
    EXPECT_TRUE(LiveOverlay().VisibleVideoSymbols().empty());
    EXPECT_EQ(Show(0, 0, 0, 0, 0, 0, 1), "");
    shown = LiveOverlay().VisibleVideoSymbols();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].serial, 2);
    EXPECT_EQ(VideoSymbolCounter(), 3);
}

TEST_F(VideoSymbolsTest, EachKindIsDrawnWhereTheImagePointLies)
{
    int32_t id = 0, existed = 0;
    FindOrCreateSymbolType("Corner", id, existed);
    EString error;
    for (auto [x, y] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{5, 5}})
        ASSERT_TRUE(AddPointToSymbolType(id, x, y, error));
    EXPECT_FALSE(AddPointToSymbolType(1005, 1, 1, error));
    EXPECT_STREQ(error.c_str(), "Invalid symbol_type: 1005");

    struct Case
    {
        const char *name;
        int32_t type;
        VideoSymbolFrame frame;
        bool drawn;
        std::vector<Segment> lines;
    };
    VideoSymbolFrame zoomed = WholeImage();
    // The right half of the image fills the window: image point p is window point 4p - 200.
    zoomed.zoom_window = ZoomWindow{0.5, 1.0, 0.0, 1.0};
    zoomed.image_rect = ImageRect{-200, 0, 196, 98};
    VideoSymbolFrame empty = WholeImage();
    empty.columns = 0;
    const std::vector<Case> cases = {
        {"full cross", 0, WholeImage(), true, {{0, 10, 198, 10}, {20, 0, 20, 98}}},
        {"small cross", 1, WholeImage(), true, {{-5, 10, 45, 10}, {20, -15, 20, 35}}},
        {"polyline", 1000, WholeImage(), true, {{20, 10, 30, 10}, {30, 10, 30, 20}}},
        // The polyline scales with the zoom; the small cross does not.
        {"zoomed polyline", 1000, zoomed, true, {{-160, 10, -140, 10}, {-140, 10, -140, 20}}},
        {"zoomed small cross", 1, zoomed, true, {{-185, 10, -135, 10}, {-160, -15, -160, 35}}},
        {"unknown type id", 1001, WholeImage(), false, {}},
        {"type without a shape", 5, WholeImage(), false, {}},
        {"frame without an image", 0, empty, false, {}},
    };
    for (const Case &c : cases) {
        VideoSymbol symbol;
        symbol.symbol_type = c.type;
        symbol.x = 10;
        symbol.y = 5;
        RecordingSurface surface;
        EXPECT_EQ(DrawVideoSymbol(symbol, surface, Pen{0, 0, 0, 3, PenStyle::Solid}, c.frame), c.drawn)
            << c.name;
        EXPECT_EQ(surface.lines, c.lines) << c.name;
    }
}

// The script thread adds points while the render thread draws the same type: the type list is
// guarded, so every draw sees a whole polyline (the sanitizers catch an unguarded one).
TEST_F(VideoSymbolsTest, PointsAddedWhileTheRendererDraws)
{
    int32_t id = 0, existed = 0;
    FindOrCreateSymbolType("Growing", id, existed);
    EXPECT_EQ(Show(0, 0, id, 0, 0, 0, 1), "");
    constexpr int kPoints = 2000;
    std::thread script([id] {
        EString error;
        for (int i = 0; i < kPoints; ++i) {
            AddPointToSymbolType(id, i % 50, i % 25, error);
            int32_t other = 0, flag = 0;
            if (i % 100 == 0)
                FindOrCreateSymbolType(("T" + std::to_string(i)).c_str(), other, flag);
        }
    });
    size_t lastCount = 0;
    for (int i = 0; i < 200; ++i) {
        for (const VideoSymbol &symbol : LiveOverlay().VisibleVideoSymbols()) {
            RecordingSurface surface;
            LiveOverlay().DrawVideoSymbol(symbol, surface, Pen{}, WholeImage());
            EXPECT_GE(surface.lines.size(), lastCount);
            lastCount = surface.lines.size();
        }
    }
    script.join();
    RecordingSurface surface;
    LiveOverlay().DrawVideoSymbol(LiveOverlay().VisibleVideoSymbols().at(0), surface, Pen{}, WholeImage());
    EXPECT_EQ(surface.lines.size(), static_cast<size_t>(kPoints - 1));
}

} // namespace
} // namespace vantelis::test

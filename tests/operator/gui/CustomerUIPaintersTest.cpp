// The drawing all operator screens share: arrow geometry on both screen sizes, the countdown text,
// the banner's fade, and the pixels the window paints from them.
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include "support/gui/EventLoop.h"
#include "support/gui/PixelCount.h"

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using vantelis::test::RunEventLoopUntil;

// Expected values worked out by hand from the fractions: client 1919x1079 on a 1080 screen,
// 1599x899 on a 900 screen.
TEST(CustomerUIPainters, ArrowsSitAtTheirFractionsAndLiftOnTheSmallScreen)
{
    const struct
    {
        int w, h, screenH;
        bool next;
        QPoint tip;
        CuiRect box;
    } cases[] = {
        // d = 1650, c = (982 + 1014) / 2 = 998; lowest 1038 <= 1039: not moved.
        {1919, 1079, 1080, true, QPoint(1814, 998), CuiRect{1660, 958, 1814, 1038}},
        {1919, 1079, 1080, false, QPoint(105, 998), CuiRect{105, 958, 259, 1038}},
        // d = 1375, c = (818 + 845) / 2 = 831; lowest 871 > 859: lifted by 12.
        {1599, 899, 900, true, QPoint(1539, 819), CuiRect{1385, 779, 1539, 859}},
    };
    for (const auto &c : cases) {
        const auto pts = cui_paint::ArrowPoints(c.w, c.h, c.screenH, c.next);
        EXPECT_EQ(pts[4], c.tip) << c.w << (c.next ? " next" : " back");
        EXPECT_EQ(pts[0], pts[7]) << "the outline is closed";
        EXPECT_EQ(cui_paint::ArrowRect(pts), c.box) << c.w;
    }
    EXPECT_EQ(cui_paint::AtFraction(5, 0.5), 3) << "halves round away from zero";
}

TEST(CustomerUIPainters, ImageNamesAreLookedUpInTheOperatorScreenFolder)
{
    const struct
    {
        const char *folder, *path;
    } cases[] = {
        {"", "a.png"},
        {"   ", "a.png"}, // no folder: the name alone
        {"/opt/v/CustomerUI", "/opt/v/CustomerUI/a.png"},
        {"  /opt/v/CustomerUI/  ", "/opt/v/CustomerUI/a.png"},
        {"/opt/v/CustomerUI\r\nrest", "/opt/v/CustomerUI/a.png"}, // cut at the line break
        {"C:\\CustomerUI\\", "C:\\CustomerUI\\a.png"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(cui_paint::CustomerUIImagePath(c.folder, "a.png"), c.path) << c.folder;
}

TEST(CustomerUIPainters, ButtonImagesCentreOnTheArrowAndStayAboveTheBottomLimit)
{
    const CuiRect arrow{1660, 958, 1814, 1038}; // centre (1737, 998)
    // 100 x 40: bottom 998 + 20 = 1018, within 1080 - 41.
    EXPECT_EQ(cui_paint::PlaceButtonImage(arrow, 100, 40, 1080), (CuiRect{1687, 978, 1787, 1018}));
    // 100 x 120: 998 + 60 = 1058 would pass 1039; the image moves up whole.
    EXPECT_EQ(cui_paint::PlaceButtonImage(arrow, 100, 120, 1080), (CuiRect{1687, 919, 1787, 1039}));
}

TEST(CustomerUIPainters, CountdownText)
{
    const struct
    {
        int64_t duration, elapsed;
        bool down;
        const char *text;
    } cases[] = {
        {90000, 0, true, "01:30"},     {90000, 89600, true, "00:00"},
        {90000, 90000, true, "00:00"}, {90000, 90001, true, ""},
        {90000, 0, false, "00:00"},    {90000, 61500, false, "01:02"},
        {0, 0, true, "00:00"},         {0, 1, true, ""}, // never set: gone at once
        {6000000, 0, true, "100:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(cui_paint::CountdownText(c.duration, c.elapsed, c.down), c.text)
            << c.duration << " " << c.elapsed << " " << c.down;
}

TEST(CustomerUIPainters, BannerFadesFromRedIntoTheBackground)
{
    const QColor bg(33, 50, 63);
    EXPECT_EQ(cui_paint::BannerColor(bg, 20, 20), QColor(228, 50, 27));
    EXPECT_EQ(cui_paint::BannerColor(bg, 10, 20), QColor(131, 50, 45)); // 97.5 and -18 rounded
    EXPECT_EQ(cui_paint::BannerColor(bg, 1, 20), QColor(43, 50, 61));   // 9.75 and -1.8 rounded
    EXPECT_EQ(cui_paint::BannerColor(bg, 0, 20), bg);
    // A script-set background: the fade ends in it, clamped to the channel range.
    EXPECT_EQ(cui_paint::BannerColor(QColor(255, 255, 255), 1, 20), QColor(254, 245, 244));
}

TEST(CustomerUIPainters, TextLinesStackCentredFromTheirTopFraction)
{
    QImage img(1919, 1079, QImage::Format_RGB32);
    img.fill(QColor(33, 50, 63));
    QPainter painter(&img);
    QFont font("Century Gothic");
    font.setPixelSize(40);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QFontMetrics fm(font);
    // A line takes the extent Qt measures for it on one line.
    auto extent = [&](const char *text) {
        return fm.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text).size();
    };
    const int lh = extent("Short").height();
    QRect bounds;
    // No lines: a blank is measured at the fraction, and nothing counts as drawn.
    EXPECT_EQ(cui_paint::DrawTextLines(painter, 1919, 1079, {}, 3, 0.4, bounds), 0);
    EXPECT_EQ(bounds.top(), 432) << "0.4 of 1079 rounds to 432: the log-in prompt's top";
    // Three lines, at most two drawn: the second starts a tenth of a line below the first.
    const std::vector<std::string> lines = {"Short", "A much longer second line", "never drawn"};
    EXPECT_EQ(cui_paint::DrawTextLines(painter, 1919, 1079, lines, 2, 0.01, bounds), 2);
    EXPECT_EQ(bounds.top(), 11);
    EXPECT_EQ(bounds.bottom(), 11 + lh - 1 + (lh - 1) / 10 + lh - 1);
    EXPECT_EQ(bounds.width(), extent("A much longer second line").width());
    EXPECT_LE(std::abs(bounds.center().x() - 959), 1) << "centred";
    painter.end();
    // Nothing was drawn below the two lines.
    for (int y = bounds.bottom() + 2; y < 400; ++y)
        for (int x = 0; x < img.width(); x += 3)
            ASSERT_EQ(img.pixelColor(x, y), QColor(33, 50, 63)) << x << "," << y;
}

using vantelis::test::CountColour;

TEST(CustomerUIPainters, WindowPixelsFollowTheGeometry)
{
    QDir().mkpath("/tmp/shots");
    const struct
    {
        int desktopW, desktopH;
        QPoint tip;
        const char *shot;
    } cases[] = {{1920, 1080, QPoint(1814, 998), "cui_frame_1920"},
                 {1600, 900, QPoint(1539, 819), "cui_frame_1600"}};
    for (const auto &c : cases) {
        auto shared = std::make_shared<CustomerUIShared>();
        CustomerUI screen;
        CustomerUIWnd window(screen, shared, c.desktopW, c.desktopH);
        std::string error;
        ASSERT_TRUE(screen.SetInput(0, "Sample name", "S-17", 12));
        ASSERT_TRUE(screen.SetState(PromptForInput, error)) << error;
        ASSERT_TRUE(
            RunEventLoopUntil([&] { return window.isVisible() && window.InputEdit(0)->isVisible(); }));
        screen.StartCountdown(90000, true);
        QTest::qWait(60);
        const QImage img = window.grab().toImage();
        img.save(QString("/tmp/shots/%1.png").arg(c.shot));
        EXPECT_EQ(img.pixelColor(3, 3), QColor(33, 50, 63)) << c.shot;
        EXPECT_EQ(img.pixelColor(c.tip - QPoint(4, 0)), QColor(68, 179, 180)) << c.shot;
        EXPECT_EQ(img.pixelColor(c.tip + QPoint(4, 0)), QColor(33, 50, 63)) << c.shot;
        // The borderless edit sits on the background with a white underline four pixels below it.
        const QRect edit = window.InputEdit(0)->geometry();
        EXPECT_EQ(img.pixelColor(edit.right() - 2, edit.top() + 2), QColor(33, 50, 63)) << c.shot;
        EXPECT_EQ(img.pixelColor(edit.center().x(), edit.bottom() + 5), QColor(255, 255, 255)) << c.shot;
        const CuiRect box = screen.Snapshot().buttonRects[0];
        EXPECT_EQ(box.right, c.tip.x()) << "the hit rectangle is the arrow the painter fills";
        const CuiRect cd = window.Placement().countdown;
        const QRect countdown(QPoint(cd.left, cd.top), QPoint(cd.right, cd.bottom));
        EXPECT_GT(CountColour(img, countdown, QColor(68, 179, 180)), 5000) << "the countdown box is filled";
    }
}

TEST(CustomerUIPainters, AFourSecondBannerStartsRedAndIsGoneAfterFourSeconds)
{
    auto shared = std::make_shared<CustomerUIShared>();
    CustomerUI screen;
    CustomerUIWnd window(screen, shared, 1920, 1080);
    std::string error;
    ASSERT_TRUE(screen.SetState(PromptForInput, error)) << error;
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.isVisible(); }));
    const auto start = std::chrono::steady_clock::now();
    screen.ShowTimedMessage("IIII HHHH", 4);
    QTest::qWait(30);
    const QRect bannerRow(400, 971, 1100, 60); // top round(1079 x 0.9), between the arrows
    QImage img = window.grab().toImage();
    img.save("/tmp/shots/cui_banner.png");
    if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200)) {
        EXPECT_GT(CountColour(img, bannerRow, QColor(228, 50, 27)), 50);
    }
    QTest::qWait(4300);
    img = window.grab().toImage();
    EXPECT_EQ(CountColour(img, bannerRow, QColor(33, 50, 63)), bannerRow.width() * bannerRow.height())
        << "gone after its four seconds";
}

} // namespace

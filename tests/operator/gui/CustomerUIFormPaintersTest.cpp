// The screens a script fills: the rows of the input forms placed from the measures of the screen's
// font, the "Browse" links and their hit areas, the images of the information and check screens,
// what the screens draw without their data, and every text inside its rectangle at both sizes.
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include "support/TempDir.h"
#include "support/gui/EventLoop.h"
#include "support/gui/PixelCount.h"

#include <QCheckBox>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

using namespace std::chrono_literals;
using vantelis::test::RunEventLoopUntil;

const QColor kBg(33, 50, 63);
const QColor kWhite(255, 255, 255);
const QColor kTeal(68, 179, 180);

// The measures the screen's text font gives; the expected rectangles below are worked out from
// them the way the screen's layout rules state them.
struct Measures
{
    QFontMetrics fm{cui_paint::ScreenFont(40)};
    // Extents of texts on one line, as drawing takes them.
    QSize Size(const char *text) const { return fm.size(Qt::TextSingleLine, QString::fromLatin1(text)); }
    int cy = Size("I").height();
    int wW = Size("W").width();
    int wI = Size("I").width();
    int Width(const char *text) const { return Size(text).width(); }
    // round(size x f), halves away from zero.
    static int At(int size, double f) { return static_cast<int>(std::lround(size * f)); }
    // A line centred at x 0.5 with its top at top.
    QRect Centred(int w, int top, const char *text) const
    {
        const int width = Width(text);
        return QRect(At(w, 0.5 - width / 2.0 / w), top, width, cy);
    }
};

using vantelis::test::CountColour;

QRect ToRect(const CuiRect &r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
}

class CustomerUIFormPaintersTest : public ::testing::Test
{
  protected:
    void SetUp() override { QDir().mkpath("/tmp/shots"); }

    // Opens the screen in state on a desktop of the given size, with data filled by fill.
    void Open(int desktopW, int desktopH, int32_t state, const std::function<void(CustomerUIData &)> &fill)
    {
        m_window.reset();
        m_screen = std::make_unique<CustomerUI>();
        m_window = std::make_unique<CustomerUIWnd>(*m_screen, m_shared, desktopW, desktopH);
        m_screen->Edit(fill);
        std::string error;
        ASSERT_TRUE(m_screen->SetState(state, error)) << error;
        ASSERT_TRUE(RunEventLoopUntil([&] { return m_window->isVisible(); }));
        QTest::qWait(30); // one sync places the controls
    }
    // One whole paint with its texts recorded.
    QImage Paint()
    {
        m_texts.clear();
        m_window->RecordTexts(&m_texts);
        const QImage img = m_window->grab().toImage();
        m_window->RecordTexts(nullptr);
        return img;
    }
    // The target of the recorded text, or an empty rectangle when it was not drawn.
    QRect TargetOf(const QString &text) const
    {
        for (const CuiDrawnText &t : m_texts)
            if (t.text == text)
                return t.target;
        return {};
    }
    bool Drawn(const QString &text) const { return !TargetOf(text).isNull(); }
    // The texts drawn with something to show (a button without a text draws an empty one).
    size_t Shown() const
    {
        return static_cast<size_t>(std::count_if(m_texts.begin(), m_texts.end(),
                                                 [](const CuiDrawnText &t) { return !t.text.isEmpty(); }));
    }
    std::string WritePng(const char *name, const cv::Mat &pixels)
    {
        const std::string path = m_dir.file(name);
        cv::imwrite(path, pixels);
        return path;
    }

    vantelis::test::TempDir m_dir;
    Measures m;
    std::shared_ptr<CustomerUIShared> m_shared = std::make_shared<CustomerUIShared>();
    std::unique_ptr<CustomerUI> m_screen;
    std::unique_ptr<CustomerUIWnd> m_window;
    std::vector<CuiDrawnText> m_texts;
};

// The rows of a form: labels right-aligned in one column, then the edit (or the box) of each row.
TEST_F(CustomerUIFormPaintersTest, FormRowsStandWhereTheFontsPutThem)
{
    const struct
    {
        int32_t state;
        std::vector<std::string> lines;
        std::vector<std::string> labels;
        std::vector<int32_t> widths;
        const char *name;
    } cases[] = {
        {PromptForInput,
         {"Enter the run details.", "Both fields are needed."},
         {"Name", "Sample identifier"},
         {10, 20},
         "two edits under two lines"},
        {PromptForInput, {}, {"Operator"}, {12}, "no text lines: rows start at the window's top"},
        {PromptForInputChecks, {"Tick what was done."}, {"Rinsed", "Primed the tubing"}, {}, "check boxes"},
    };
    for (const int desktopW : {1920, 1600}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(desktopW));
            Open(desktopW, desktopW == 1920 ? 1080 : 900, c.state, [&](CustomerUIData &d) {
                d.textLines = c.lines;
                d.inputLabels = c.labels;
                d.inputWidths = c.widths;
            });
            const QImage img = Paint();
            const int W = m_window->width();
            const int H = m_window->height();
            const int n = static_cast<int>(c.labels.size());
            const int lines = static_cast<int>(c.lines.size());
            const int g = 2 * m.cy / 3;
            const int blockTop = (H - (2 * g + n * (m.cy + g) + lines * m.cy)) / 2;
            int top = blockTop;
            for (const std::string &line : c.lines) {
                EXPECT_EQ(TargetOf(QString::fromStdString(line)), m.Centred(W, top, line.c_str()));
                top += m.cy;
            }
            const int rowsStart = lines == 0 ? 0 : top - 1;
            int labelW = 0;
            for (const std::string &label : c.labels)
                labelW = std::max(labelW, m.Width(label.c_str()));
            const bool edits = c.state == PromptForInput;
            const int widestEdit =
                c.widths.empty() ? 0 : m.wW * *std::max_element(c.widths.begin(), c.widths.end());
            const int labelLeft = edits ? (W - labelW - widestEdit - m.wI) / 2 : (W - labelW) / 2;
            int boxLeft = -1;
            for (int j = 0; j < n; ++j) {
                const int labelTop = rowsStart + 3 * g + j * (m.cy + g);
                const QRect label(labelLeft, labelTop, labelW, m.cy);
                const QRect target = TargetOf(QString::fromStdString(c.labels[j]));
                EXPECT_EQ(target, label) << "label " << j;
                if (edits) {
                    const QLineEdit *edit = m_window->InputEdit(j);
                    EXPECT_TRUE(edit->isVisible());
                    const QRect want(labelLeft + labelW + m.wI, labelTop, m.wW * c.widths[j], m.cy);
                    EXPECT_EQ(edit->geometry(), want) << "edit " << j;
                    // The 2-pixel underline: four background rows under the edit, then two white ones.
                    const int x = want.left() + 3;
                    EXPECT_EQ(img.pixelColor(x, want.bottom() + 4), kBg);
                    EXPECT_EQ(img.pixelColor(x, want.bottom() + 5), kWhite);
                    EXPECT_EQ(img.pixelColor(want.right() - 1, want.bottom() + 6), kWhite);
                    EXPECT_EQ(img.pixelColor(x, want.bottom() + 7), kBg);
                    EXPECT_EQ(img.pixelColor(want.right() + 2, want.bottom() + 5), kBg) << "ends at the edit";
                } else {
                    const QCheckBox *box = m_window->CheckBox(j);
                    EXPECT_TRUE(box->isVisible());
                    EXPECT_TRUE(box->text().isEmpty()) << "the painter draws the label";
                    EXPECT_EQ(box->geometry(), QRect(labelLeft + labelW + m.wW, labelTop, m.cy, m.cy - 1));
                    if (boxLeft >= 0) {
                        EXPECT_EQ(box->x(), boxLeft) << "every box at one x";
                    }
                    boxLeft = box->x();
                }
            }
            for (int j = n; j < 6; ++j) {
                EXPECT_FALSE(m_window->InputEdit(j)->isVisible());
                EXPECT_FALSE(m_window->CheckBox(j)->isVisible());
            }
            for (int j = 0; !edits && j < 6; ++j)
                EXPECT_FALSE(m_window->InputEdit(j)->isVisible());
            EXPECT_EQ(m_screen->Snapshot().paintedState, c.state);
        }
    }
}

// A click on a box reaches the model; the square is the box, not a small mark at its side.
TEST_F(CustomerUIFormPaintersTest, ClickingTheSquareTicksTheBox)
{
    Open(1920, 1080, PromptForInputChecks, [](CustomerUIData &d) { d.inputLabels = {"Rinsed", "Primed"}; });
    const QRect box = m_window->CheckBox(1)->geometry();
    QTest::mouseClick(m_window->CheckBox(1), Qt::LeftButton, Qt::NoModifier,
                      QPoint(box.width() * 3 / 4, box.height() / 2));
    EXPECT_EQ(m_screen->Snapshot().checkMarks[1], 1);
    EXPECT_EQ(m_screen->Snapshot().checkMarks[0], 0);
}

// Each edit of the file-name form has a "Browse" link under its right end; the link's hit area is
// the rectangle drawn, teal until the mouse is over it.
TEST_F(CustomerUIFormPaintersTest, BrowseLinksAreDrawnWhereTheyAreClicked)
{
    Open(1600, 900, PromptForFilename, [](CustomerUIData &d) {
        d.textLines = {"Choose the settings files."};
        d.inputLabels = {"Settings", "Fallback settings"};
        d.inputWidths = {18, 12};
    });
    QImage img = Paint();
    const CustomerUIData d = m_screen->Snapshot();
    ASSERT_EQ(d.browseRects.size(), 2u);
    const int browseW = m.Width("Browse");
    for (int j = 0; j < 2; ++j) {
        const QRect edit = m_window->InputEdit(j)->geometry();
        const QRect want(edit.right() + 1 - browseW, edit.bottom() + 1 + m.cy / 4, browseW, m.cy);
        EXPECT_EQ(ToRect(d.browseRects[static_cast<size_t>(j)]), want) << "link " << j;
        EXPECT_GT(CountColour(img, want, kTeal), 20) << "teal while the mouse is elsewhere";
        EXPECT_EQ(CountColour(img, want, kWhite), 0);
        EXPECT_EQ(m_screen->BrowseBoxAt(want.center().x(), want.center().y()), j);
        // The link stays clear of the next row's edit.
        if (j == 0) {
            EXPECT_LT(want.bottom(), m_window->InputEdit(1)->geometry().top());
        }
    }
    const QRect second = ToRect(d.browseRects[1]);
    m_screen->OnMouseMove(second.center().x(), second.center().y(), false);
    img = Paint();
    EXPECT_GT(CountColour(img, second, kWhite), 20) << "white under the mouse";
    EXPECT_EQ(CountColour(img, second, kTeal), 0);
    EXPECT_GT(CountColour(img, ToRect(d.browseRects[0]), kTeal), 20);

    // Next is clicked where it is painted.
    const QRect next = ToRect(d.buttonRects[0]);
    EXPECT_EQ(img.pixelColor(next.center()), kTeal);
    QTest::mouseClick(m_window.get(), Qt::LeftButton, Qt::NoModifier, next.center());
    std::string text;
    EXPECT_TRUE(m_screen->WaitForEvent(0ms, text));
    EXPECT_EQ(text, "Next");
}

// A repaint of one link (the mouse moving over it) redraws it, also on a form without text lines
// whose rows start at the window's top; a repaint that misses the form draws none of it.
TEST_F(CustomerUIFormPaintersTest, APartialRepaintRedrawsTheRowsItCovers)
{
    Open(1920, 1080, PromptForFilename, [](CustomerUIData &d) {
        d.inputLabels = {"Settings"};
        d.inputWidths = {16};
    });
    Paint();
    const QRect link = ToRect(m_screen->Snapshot().browseRects[0]);
    ASSERT_FALSE(link.isEmpty());
    EXPECT_LT(link.bottom(), m_window->height() / 3) << "rows start at the top without text lines";
    m_texts.clear();
    m_window->RecordTexts(&m_texts);
    const QImage part = m_window->grab(link).toImage();
    EXPECT_GT(CountColour(part, part.rect(), kTeal), 20);
    EXPECT_TRUE(Drawn("Browse"));
    m_texts.clear();
    m_window->grab(QRect(m_window->width() / 2, m_window->height() / 2, 40, 40));
    m_window->RecordTexts(nullptr);
    EXPECT_FALSE(Drawn("Browse"));
    EXPECT_FALSE(Drawn("Settings"));
}

// Only the lines with text count; they stand between the first and the second image.
TEST_F(CustomerUIFormPaintersTest, InformationScreenCentresItsLinesBetweenTheImages)
{
    const std::string red = WritePng("red.png", cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
    const std::string blue = WritePng("blue.png", cv::Mat(40, 60, CV_8UC3, cv::Scalar(255, 0, 0)));
    const std::string green = WritePng("green.png", cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 255, 0)));
    Open(1920, 1080, PromptInfo, [&](CustomerUIData &d) {
        d.textLines = {"", "The flow cell is ready."};
        d.images = {red, blue};
    });
    QImage img = Paint();
    const int W = m_window->width();
    const int H = m_window->height();
    const int bottom1 = Measures::At(H, 0.67);
    const int top2 = Measures::At(H, 0.85);
    EXPECT_EQ(TargetOf("The flow cell is ready."),
              m.Centred(W, bottom1 + (top2 - bottom1 - m.cy) / 2, "The flow cell is ready."));
    EXPECT_EQ(Shown(), 1u) << "the empty line is not drawn";
    const QPoint mid1(Measures::At(W, 0.5), Measures::At(H, 0.4));
    const QPoint mid2(Measures::At(W, 0.5), Measures::At(H, 0.9));
    EXPECT_EQ(img.pixelColor(mid1), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(mid2), QColor(0, 0, 255));
    EXPECT_EQ(img.pixelColor(Measures::At(W, 0.2), Measures::At(H, 0.4)), kBg) << "slot 3 is not set";

    // Slot 3 covers slot 1; a slot whose file is gone leaves its rectangle empty.
    m_screen->Edit([&](CustomerUIData &d) { d.images = {red, m_dir.file("gone.png"), green}; });
    img = Paint();
    EXPECT_EQ(img.pixelColor(mid1), QColor(0, 255, 0));
    EXPECT_EQ(img.pixelColor(Measures::At(W, 0.2), Measures::At(H, 0.4)), QColor(0, 255, 0));
    EXPECT_EQ(img.pixelColor(mid2), kBg);

    // Two lines: their block is centred in the gap, the second one row into the first's box.
    m_screen->Edit([&](CustomerUIData &d) { d.textLines = {"Ready.", "", "Close the lid."}; });
    Paint();
    const int top = bottom1 + (top2 - bottom1 - 2 * m.cy) / 2;
    EXPECT_EQ(TargetOf("Ready."), m.Centred(W, top, "Ready."));
    EXPECT_EQ(TargetOf("Close the lid."), m.Centred(W, top + m.cy - 1, "Close the lid."));
}

// A 16-bit grey image with a dark left and a bright right half.
cv::Mat HalfBright(int rows, int cols, bool brightRight)
{
    cv::Mat image(rows, cols, CV_16UC1, cv::Scalar(1000));
    image(cv::Rect(brightRight ? cols / 2 : 0, 0, cols / 2, rows)).setTo(60000);
    return image;
}

TEST_F(CustomerUIFormPaintersTest, ImageChecksTintTheirImagesAndCentreTheBoxRowUnderThem)
{
    const std::string grey = WritePng("grey.png", HalfBright(30, 40, true));
    const int W = 1599, H = 899;
    const QRect r1(QPoint(Measures::At(W, 0.25), Measures::At(H, 0.23)),
                   QPoint(Measures::At(W, 0.75) - 1, Measures::At(H, 0.75) - 1));
    const QRect r3(QPoint(Measures::At(W, 0.10), r1.top()), QPoint(Measures::At(W, 0.90) - 1, r1.bottom()));
    const int labelTop = r1.bottom() + 1 + m.cy / 2;

    // One image in the centre, tinted red, and one label with its box centred under it.
    Open(1600, 900, PromptForImageChecks, [&](CustomerUIData &d) {
        d.textLines = {"Is the channel in focus?"};
        d.inputLabels = {"In focus"};
        d.images = {grey};
        d.imageColors = {"red"};
    });
    QImage img = Paint();
    ASSERT_EQ(m_window->width(), W);
    const QColor bright = img.pixelColor(r1.right() - 10, r1.center().y());
    EXPECT_GT(bright.red(), 200);
    EXPECT_EQ(bright.green(), 0);
    EXPECT_EQ(bright.blue(), 0);
    EXPECT_EQ(img.pixelColor(r1.left() - 3, r1.center().y()), kBg);
    EXPECT_EQ(TargetOf("Is the channel in focus?"),
              m.Centred(W, r1.top() - static_cast<int>(1.5 * m.cy), "Is the channel in focus?"));
    const int labelW = m.Width("In focus");
    const int rowW = labelW + m.wW + m.cy;
    const int rowLeft = r3.left() + (r3.width() - rowW) / 2;
    EXPECT_EQ(TargetOf("In focus"), QRect(rowLeft, labelTop, labelW, m.cy));
    EXPECT_EQ(m_window->CheckBox(0)->geometry(), QRect(rowLeft + labelW + m.wW, labelTop, m.cy, m.cy - 1));
    EXPECT_TRUE(m_window->CheckBox(0)->isVisible());
    EXPECT_FALSE(m_window->CheckBox(1)->isVisible());

    // Slots 4 and 5 side by side, green and grey; the two label-box pairs 10 "W" widths apart.
    Open(1600, 900, PromptForImageChecks, [&](CustomerUIData &d) {
        d.textLines = {"Which channel shows cells?"};
        d.inputLabels = {"Green", "Bright field"};
        d.images = {"", "", "", grey, grey};
        d.imageColors = {"", "", "", "green", "blue"};
    });
    img = Paint();
    const QRect r4(QPoint(Measures::At(W, 0.05), r1.top()), QPoint(Measures::At(W, 0.49) - 1, r1.bottom()));
    const QRect r5(QPoint(Measures::At(W, 0.51), r1.top()), QPoint(Measures::At(W, 0.95) - 1, r1.bottom()));
    const QColor left = img.pixelColor(r4.right() - 10, r4.center().y());
    EXPECT_GT(left.green(), 200);
    EXPECT_EQ(left.red(), 0);
    const QColor right = img.pixelColor(r5.right() - 10, r5.center().y());
    EXPECT_GT(right.red(), 200);
    EXPECT_EQ(right.red(), right.green()) << "any other colour name shows grey";
    EXPECT_EQ(img.pixelColor(Measures::At(W, 0.5), r1.center().y()), kBg) << "the gap between the halves";
    const int widest = std::max(m.Width("Green"), m.Width("Bright field"));
    const int pairs = 2 * (widest + m.wW + m.cy) + 10 * m.wW;
    const int left0 = r3.left() + (r3.width() - pairs) / 2;
    EXPECT_EQ(TargetOf("Green"), QRect(left0, labelTop, widest, m.cy));
    EXPECT_EQ(TargetOf("Bright field"),
              QRect(left0 + widest + m.wW + m.cy + 10 * m.wW, labelTop, widest, m.cy));
    const QRect box1 = m_window->CheckBox(0)->geometry();
    EXPECT_EQ(TargetOf("Bright field").left() - (box1.right() + 1), 10 * m.wW);
}

// The composite shows slot 1 in grey with slot 4 added in green and slot 5 in red.
TEST_F(CustomerUIFormPaintersTest, FusedVerificationDrawsTheCompositeUnderItsTitle)
{
    const std::string grey = WritePng("bf.png", HalfBright(30, 40, true));
    const std::string greenSrc = WritePng("f1.png", HalfBright(30, 40, false));
    const std::string redSrc = WritePng("f2.png", HalfBright(30, 40, true));
    Open(1920, 1080, PromptForFusedImageVerification, [&](CustomerUIData &d) {
        d.textLines = {"Do the channels line up?"};
        d.images = {grey, "", "", greenSrc, redSrc};
    });
    QImage img = Paint();
    const int W = m_window->width();
    const int H = m_window->height();
    const QRect r1(QPoint(Measures::At(W, 0.25), Measures::At(H, 0.23)),
                   QPoint(Measures::At(W, 0.75) - 1, Measures::At(H, 0.75) - 1));
    const QColor left = img.pixelColor(r1.left() + 10, r1.center().y());
    const QColor right = img.pixelColor(r1.right() - 10, r1.center().y());
    EXPECT_GT(left.green(), left.red() + 100);
    EXPECT_GT(right.red(), right.green() + 100);
    EXPECT_EQ(TargetOf("Do the channels line up?"),
              m.Centred(W, r1.top() - static_cast<int>(1.5 * m.cy), "Do the channels line up?"));

    // Fewer slots: slot 1 alone is grey; without slot 1 the rectangle stays empty under the title.
    m_screen->Edit([&](CustomerUIData &d) { d.images = {grey}; });
    img = Paint();
    const QColor alone = img.pixelColor(r1.right() - 10, r1.center().y());
    EXPECT_NE(alone, kBg);
    EXPECT_TRUE(alone.red() == alone.green() && alone.green() == alone.blue());
    m_screen->Edit([&](CustomerUIData &d) { d.images = {"", "", "", greenSrc, redSrc}; });
    img = Paint();
    EXPECT_EQ(CountColour(img, r1, kBg), r1.width() * r1.height());
    EXPECT_TRUE(Drawn("Do the channels line up?"));
}

TEST_F(CustomerUIFormPaintersTest, MontageReportPlacesItsLinesAndLabelsAroundTheStrip)
{
    const std::string strip = WritePng("strip.png", cv::Mat(20, 200, CV_8UC3, cv::Scalar(0, 200, 200)));
    Open(1920, 1080, PromptForMontageReport, [&](CustomerUIData &d) {
        d.textLines = {"Montage of the run", "Fractions collected"};
        d.inputLabels = {"Top Fraction:  62%", "Bottom Fraction:  38%"};
        d.images = {"", "", "", "", "", strip};
    });
    QImage img = Paint();
    const int W = m_window->width();
    const int H = m_window->height();
    const int top6 = Measures::At(H, 0.40);
    const int bottom6 = Measures::At(H, 0.60);
    EXPECT_EQ(img.pixelColor(Measures::At(W, 0.5), (top6 + bottom6) / 2), QColor(200, 200, 0));
    EXPECT_EQ(TargetOf("Montage of the run"), m.Centred(W, top6 - 3 * m.cy, "Montage of the run"));
    EXPECT_EQ(TargetOf("Fractions collected"),
              m.Centred(W, top6 - static_cast<int>(1.5 * m.cy), "Fractions collected"));
    EXPECT_EQ(TargetOf("Top Fraction:  62%"), m.Centred(W, bottom6 + m.cy, "Top Fraction:  62%"));
    EXPECT_EQ(TargetOf("Bottom Fraction:  38%"),
              m.Centred(W, bottom6 + static_cast<int>(2.5 * m.cy), "Bottom Fraction:  38%"));

    // The labels only with exactly two inputs; a single line stands alone in its place.
    for (const std::vector<std::string> &labels :
         {std::vector<std::string>{"Top Fraction:  62%"},
          std::vector<std::string>{"Top Fraction:  62%", "Bottom Fraction:  38%", "Other"}}) {
        m_screen->Edit([&](CustomerUIData &d) {
            d.inputLabels = labels;
            d.textLines = {"Montage of the run"};
        });
        Paint();
        EXPECT_FALSE(Drawn("Top Fraction:  62%")) << labels.size() << " inputs";
        EXPECT_EQ(TargetOf("Montage of the run"), m.Centred(W, top6 - 3 * m.cy, "Montage of the run"));
        EXPECT_EQ(Shown(), 1u);
    }
}

// The picture screens after a form: the form's edits, with what the operator typed, are hidden
// and the pictures under them show, also on a screen that has only its frame to show.
TEST_F(CustomerUIFormPaintersTest, PictureScreensHideTheEditsOfTheFormBeforeThem)
{
    const std::string strip = WritePng("strip.png", cv::Mat(20, 200, CV_8UC3, cv::Scalar(0, 200, 200)));
    const std::string red = WritePng("red.png", cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
    const struct
    {
        const char *name;
        int32_t state;
        std::function<void(CustomerUIData &)> fill;
        QColor picture; // the colour under the edits, or none for the frame-only screen
    } cases[] = {
        {"report", PromptForMontageReport,
         [&](CustomerUIData &d) {
             d.textLines = {"Montage and Fractionation Report", "Report: run1.txt"};
             d.inputLabels = {"Top Fraction:  62%", "Bottom Fraction:  38%"};
             d.images = {"", "", "", "", "", strip};
         },
         QColor(200, 200, 0)},
        {"report without lines", PromptForMontageReport,
         [&](CustomerUIData &d) {
             d.textLines.clear();
             d.images = {"", "", "", "", "", strip};
         },
         QColor()},
        {"information", PromptInfo,
         [&](CustomerUIData &d) {
             d.textLines = {"The flow cell is ready."};
             d.inputLabels.clear();
             d.images = {red};
         },
         QColor(255, 0, 0)},
        {"fused without lines", PromptForFusedImageVerification,
         [&](CustomerUIData &d) {
             d.textLines.clear();
             d.images = {red};
         },
         QColor()},
    };
    for (const auto &c : cases) {
        Open(1920, 1080, PromptForInput, [&](CustomerUIData &d) {
            d.textLines = {"Analyse a recorded experiment"};
            d.inputLabels = {"Experiment folder", "Report name"};
            d.inputWidths = {28, 16};
        });
        QLineEdit *folder = m_window->InputEdit(0);
        ASSERT_TRUE(RunEventLoopUntil([&] {
            return folder->isVisible() && m_window->InputEdit(1)->isVisible();
        })) << c.name;
        folder->setFocus();
        QTest::keyClicks(folder, "/data/Experiment_7");
        const QRect edits = folder->geometry() | m_window->InputEdit(1)->geometry();

        m_screen->Edit(c.fill);
        std::string error;
        ASSERT_TRUE(m_screen->SetState(c.state, error)) << error;
        ASSERT_TRUE(RunEventLoopUntil([&] { return m_screen->Snapshot().paintedState == c.state; }))
            << c.name;
        QTest::qWait(30);
        for (int i = 0; i < 6; ++i)
            EXPECT_FALSE(m_window->InputEdit(i)->isVisible()) << c.name << ": edit " << i + 1;
        EXPECT_FALSE(m_window->PasswordEdit()->isVisible()) << c.name;
        const QImage img = Paint();
        // Every pixel where the edits stood shows the screen, not an edit: the picture where it
        // lies under them, the background elsewhere.
        const int W = m_window->width();
        const int H = m_window->height();
        const QRect picture = c.state == PromptForMontageReport
                                  ? QRect(QPoint(Measures::At(W, 0.05), Measures::At(H, 0.40)),
                                          QPoint(Measures::At(W, 0.95) - 1, Measures::At(H, 0.60) - 1))
                                  : QRect(QPoint(Measures::At(W, 0.25), Measures::At(H, 0.15)),
                                          QPoint(Measures::At(W, 0.75) - 1, Measures::At(H, 0.67) - 1));
        const QRect covered = (edits & picture).adjusted(2, 2, -2, -2);
        ASSERT_FALSE(covered.isEmpty()) << c.name << ": the edits stood over the picture";
        const QColor expected = c.picture.isValid() ? c.picture : kBg;
        EXPECT_EQ(CountColour(img, covered, expected), covered.width() * covered.height()) << c.name;
        img.save(QString("/tmp/shots/cui_after_form_%1.png").arg(QString(c.name).replace(' ', '_')));
    }
}

// Without their data these screens show the frame alone: no text, no button, no painted state.
TEST_F(CustomerUIFormPaintersTest, ScreensWithoutTheirDataShowTheFrameOnly)
{
    const std::string grey = WritePng("grey.png", HalfBright(30, 40, true));
    const struct
    {
        int32_t state;
        std::function<void(CustomerUIData &)> fill;
    } cases[] = {
        {PromptForImageChecks,
         [&](CustomerUIData &d) {
             d.textLines = {"Title"};
             d.images = {grey};
         }},
        {PromptForFusedImageVerification, [&](CustomerUIData &d) { d.images = {grey}; }},
        {PromptForMontageReport,
         [&](CustomerUIData &d) {
             d.inputLabels = {"a", "b"};
         }},
    };
    for (const auto &c : cases) {
        Open(1920, 1080, c.state, c.fill);
        const QImage img = Paint();
        EXPECT_TRUE(m_texts.empty()) << c.state;
        const int W = m_window->width();
        const int H = m_window->height();
        EXPECT_EQ(CountColour(img, QRect(0, Measures::At(H, 0.15), W, Measures::At(H, 0.8)), kBg),
                  W * Measures::At(H, 0.8))
            << c.state;
        EXPECT_EQ(img.pixelColor(ToRect(m_screen->Snapshot().buttonRects[0]).center()), kBg) << c.state;
        // The window records every completed paint, a frame-only one included.
        EXPECT_EQ(m_screen->Snapshot().paintedState, c.state) << c.state;
    }
    // Without a title line the check screen still shows its images and boxes.
    Open(1920, 1080, PromptForImageChecks, [&](CustomerUIData &d) {
        d.inputLabels = {"Sharp"};
        d.images = {grey};
    });
    Paint();
    EXPECT_TRUE(Drawn("Sharp"));
    EXPECT_EQ(Shown(), 1u);
    EXPECT_TRUE(m_window->CheckBox(0)->isVisible());
}

// Every state at both sizes: each text within its rectangle and the window, no text over another
// or over a control; the screenshots are written for a look.
TEST_F(CustomerUIFormPaintersTest, NoTextOverflowsOrOverlapsAtEitherSize)
{
    const std::string grey = WritePng("grey.png", HalfBright(120, 160, true));
    const std::string plain = WritePng("plain.png", cv::Mat(120, 160, CV_8UC3, cv::Scalar(140, 120, 90)));
    const struct
    {
        int32_t state;
        const char *name;
        std::function<void(CustomerUIData &)> fill;
    } cases[] = {
        {PromptForInput, "PromptForInput",
         [](CustomerUIData &d) {
             d.textLines = {"Enter the details of this run.", "The sample name is printed on the report."};
             d.inputLabels = {"Sample name", "Operator", "Volume (ml)"};
             d.inputWidths = {20, 12, 6};
             d.editTexts = {"S-2026-117", "A. Reyes", "4.5", "", "", ""};
         }},
        {PromptForInputChecks, "PromptForInputChecks",
         [](CustomerUIData &d) {
             d.textLines = {"Confirm each step before you go on."};
             d.inputLabels = {"Flow cell inserted", "Waste bottle emptied", "Buffer topped up"};
             d.checkMarks = {1, 0, 0, 0, 0, 0};
         }},
        {PromptForFilename, "PromptForFilename",
         [](CustomerUIData &d) {
             d.textLines = {"Choose the settings for this run."};
             d.inputLabels = {"Experiment settings", "Camera settings"};
             d.inputWidths = {18, 18};
             d.editTexts = {"/data/ExperimentSettings.ini", "", "", "", "", ""};
         }},
        {PromptInfo, "PromptInfo",
         [&](CustomerUIData &d) {
             d.textLines = {"The run is complete.", "", "Remove the flow cell and close the lid."};
             d.images = {plain, plain};
         }},
        {PromptForImageChecks, "PromptForImageChecks",
         [&](CustomerUIData &d) {
             d.textLines = {"Tick each channel that shows cells."};
             d.inputLabels = {"Green channel", "Red channel"};
             d.images = {"", "", "", grey, grey};
             d.imageColors = {"", "", "", "green", "red"};
         }},
        {PromptForFusedImageVerification, "PromptForFusedImageVerification",
         [&](CustomerUIData &d) {
             d.textLines = {"Check that the channels line up."};
             d.images = {grey, "", "", grey, grey};
         }},
        {PromptForMontageReport, "PromptForMontageReport",
         [&](CustomerUIData &d) {
             d.textLines = {"Montage of the collected fractions", "Sample S-2026-117"};
             d.inputLabels = {"Top Fraction:  62.5%", "Bottom Fraction:  37.5%"};
             d.images = {"", "", "", "", "", plain};
         }},
    };
    for (const int desktopW : {1920, 1600}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(desktopW));
            Open(desktopW, desktopW == 1920 ? 1080 : 900, c.state, [&](CustomerUIData &d) {
                c.fill(d);
                d.nextText = "Next";
                d.backText = "Back";
            });
            m_screen->StartCountdown(90000, true);
            m_screen->ShowTimedMessage("Please answer within 90 seconds.", 30);
            QTest::qWait(30);
            const QImage img = Paint();
            img.save(QString("/tmp/shots/cui_%1_%2.png").arg(c.name).arg(desktopW));
            const QRect client = m_window->rect();
            ASSERT_FALSE(m_texts.empty());
            std::vector<QRect> controls;
            for (int i = 0; i < 6; ++i) {
                if (m_window->InputEdit(i)->isVisible())
                    controls.push_back(m_window->InputEdit(i)->geometry());
                if (m_window->CheckBox(i)->isVisible())
                    controls.push_back(m_window->CheckBox(i)->geometry());
            }
            for (size_t i = 0; i < m_texts.size(); ++i) {
                const CuiDrawnText &t = m_texts[i];
                EXPECT_TRUE(t.target.contains(t.extent))
                    << t.text.toStdString() << " target " << t.target.x() << "," << t.target.y() << " "
                    << t.target.width() << "x" << t.target.height() << " extent " << t.extent.x() << ","
                    << t.extent.y() << " " << t.extent.width() << "x" << t.extent.height();
                EXPECT_TRUE(client.contains(t.extent)) << t.text.toStdString();
                // Lines stacked one row into each other (their boxes share the bottom row) do not touch.
                for (size_t k = i + 1; k < m_texts.size(); ++k)
                    EXPECT_FALSE(
                        t.extent.adjusted(0, 0, 0, -1).intersects(m_texts[k].extent.adjusted(0, 0, 0, -1)))
                        << t.text.toStdString() << " / " << m_texts[k].text.toStdString();
                for (const QRect &control : controls)
                    EXPECT_FALSE(t.extent.intersects(control)) << t.text.toStdString();
            }
            for (const QRect &control : controls)
                EXPECT_TRUE(client.contains(control));
            EXPECT_EQ(img.pixelColor(ToRect(m_screen->Snapshot().buttonRects[0]).left() + 4,
                                     ToRect(m_screen->Snapshot().buttonRects[0]).center().y()),
                      kTeal);
            EXPECT_TRUE(Drawn("01:30") || Drawn("01:29")) << "the countdown";
            EXPECT_TRUE(Drawn("Please answer within 90 seconds.")) << "the banner";
            EXPECT_EQ(m_screen->Snapshot().paintedState, c.state);
        }
    }
}

} // namespace

// The image selection grid: cells and frames, selection by clicks and Clear, the display range
// from cell 0, aspect fit, grid sizes it cannot draw, unreadable files, and opening the selection.
#include "Screenshot.h"
#include "app/gui/ImageViewTest.h"
#include "support/gui/EventLoop.h"

#include "tools/gui/ImageSelectionDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace vantelis::test {
namespace {

const QRgb kBackground = qRgb(0, 0, 50);
const QRgb kUnselected = qRgb(100, 100, 100);
const QRgb kSelected = qRgb(255, 100, 100);

cv::Mat Uniform(int rows, int columns, uint16_t value)
{
    return cv::Mat(rows, columns, CV_16UC1, cv::Scalar(value));
}

class ImageSelectionDlgTest : public ImageViewFixture
{
  protected:
    ~ImageSelectionDlgTest() override { m_dialog.reset(); }

    // Writes image as name.png and adds it to the items.
    void AddImage(const std::string &name, const cv::Mat &image)
    {
        const std::string path = m_dir.file(name + ".png");
        WriteImage(path, image);
        AddItem(path);
    }
    void AddItem(const std::string &path)
    {
        auto *item = new ImageFileItem;
        item->m_name.Assign(path.c_str());
        m_items.Add(item);
    }

    ImageSelectionDlg &Show()
    {
        m_dialog = std::make_unique<ImageSelectionDlg>(theApp.m_ini_path);
        m_dialog->m_items = &m_items;
        m_dialog->show();
        QCoreApplication::processEvents();
        return *m_dialog;
    }

    QImage Grab() { return m_dialog->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // The colours along the top line of a cell's frame, without its corners.
    static std::vector<QRgb> TopLine(const QImage &shot, const QRect &frame)
    {
        std::vector<QRgb> line;
        for (int x = frame.left() + 2; x <= frame.right() - 2; ++x)
            line.push_back(shot.pixel(x, frame.top()));
        return line;
    }
    static bool Solid(const std::vector<QRgb> &line, QRgb colour)
    {
        return std::all_of(line.begin(), line.end(), [&](QRgb c) { return c == colour; });
    }
    static bool Dotted(const std::vector<QRgb> &line)
    {
        return std::count(line.begin(), line.end(), kUnselected) > 0 &&
               std::count(line.begin(), line.end(), kBackground) > 0;
    }

    void Click(const ImageSelectionDlg::Cell &cell)
    {
        QTest::mouseClick(m_dialog.get(), Qt::LeftButton, Qt::NoModifier, cell.frame.center());
    }
    std::vector<int> Flags() const
    {
        std::vector<int> flags;
        for (int32_t i = 0; i < m_items.GetCount(); ++i)
            flags.push_back(m_items.GetAt(i)->m_flag);
        return flags;
    }

    ImageFileItemArray m_items;
    std::unique_ptr<ImageSelectionDlg> m_dialog;
};

TEST(ThumbnailPercentiles, LevelsAtFractionsOfTheValues)
{
    std::vector<uint16_t> ramp(100);
    for (int i = 0; i < 100; ++i)
        ramp[i] = static_cast<uint16_t>(i);
    const std::vector<uint16_t> flat(10, 7);
    const struct
    {
        const std::vector<uint16_t> *values;
        std::vector<float> fractions;
        std::vector<int> levels;
    } cases[] = {
        // Targets round(100 f): 5 values reach level 4, 95 reach 94; 0 is reached at once; 100 is
        // kept to 99.
        {&ramp, {0.05f, 0.95f}, {4, 94}},
        {&ramp, {0.0f, 1.0f}, {0, 98}},
        {&flat, {0.05f, 0.5f, 0.95f}, {7, 7, 7}},
    };
    for (const auto &c : cases) {
        std::vector<int> levels;
        EXPECT_TRUE(ComputeThumbnailPercentiles(c.values->data(), c.values->size(), c.fractions, levels));
        EXPECT_EQ(levels, c.levels);
    }
    std::vector<int> levels;
    EXPECT_TRUE(ComputeThumbnailPercentiles(nullptr, 0, {0.5f}, levels));
    EXPECT_EQ(levels, std::vector<int>{0});
}

// 12 items in a 5 x 5 grid: 12 thumbnails in solid frames and 13 dotted empty frames.
TEST_F(ImageSelectionDlgTest, TwelveItemsInFiveByFive)
{
    for (int i = 0; i < 12; ++i)
        AddImage("image" + std::to_string(i), PatternImage(30 + i, 40));
    ImageSelectionDlg &dialog = Show();
    EXPECT_EQ(dialog.NHorzBox()->currentText().toStdString(), "5");
    EXPECT_EQ(dialog.NVertBox()->currentText().toStdString(), "5");
    const QImage shot = Grab();
    ASSERT_EQ(dialog.Cells().size(), 25u);
    int solid = 0, dotted = 0;
    for (const ImageSelectionDlg::Cell &cell : dialog.Cells()) {
        const std::vector<QRgb> line = TopLine(shot, cell.frame);
        if (cell.index < 12) {
            EXPECT_TRUE(Solid(line, kUnselected)) << cell.index;
            solid += Solid(line, kUnselected);
        } else {
            EXPECT_TRUE(Dotted(line)) << cell.index;
            dotted += Dotted(line);
        }
    }
    EXPECT_EQ(solid, 12);
    EXPECT_EQ(dotted, 13);
    EXPECT_FALSE(dialog.PageDownButton()->isEnabled());
    EXPECT_FALSE(dialog.PageUpButton()->isEnabled());

    Click(dialog.Cells()[1]);
    Click(dialog.Cells()[6]);
    WriteScreenshotBeside(&m_area, &dialog, "image_selection");
}

// Clicks toggle items; an empty cell changes nothing; Clear unselects all; the count and the two
// buttons follow.
TEST_F(ImageSelectionDlgTest, ClicksAndClear)
{
    for (int i = 0; i < 3; ++i)
        AddImage("image" + std::to_string(i), PatternImage(20, 20));
    ImageSelectionDlg &dialog = Show();
    Grab();
    ASSERT_EQ(dialog.Cells().size(), 25u);
    EXPECT_FALSE(dialog.ClearButton()->isEnabled());
    EXPECT_FALSE(dialog.OpenSelectedButton()->isEnabled());
    EXPECT_EQ(dialog.SelectedEdit()->text().toStdString(), "0");

    Click(dialog.Cells()[20]);
    EXPECT_EQ(Flags(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(dialog.SelectedEdit()->text().toStdString(), "0");

    Click(dialog.Cells()[1]);
    Click(dialog.Cells()[2]);
    EXPECT_EQ(Flags(), (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(dialog.SelectedEdit()->text().toStdString(), "2");
    EXPECT_TRUE(dialog.ClearButton()->isEnabled());
    EXPECT_TRUE(dialog.OpenSelectedButton()->isEnabled());
    QImage shot = Grab();
    EXPECT_TRUE(Solid(TopLine(shot, dialog.Cells()[1].frame), kSelected));
    EXPECT_TRUE(Solid(TopLine(shot, dialog.Cells()[0].frame), kUnselected));

    Click(dialog.Cells()[2]);
    EXPECT_EQ(Flags(), (std::vector<int>{0, 1, 0}));
    QTest::mouseClick(dialog.ClearButton(), Qt::LeftButton);
    EXPECT_EQ(Flags(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(dialog.SelectedEdit()->text().toStdString(), "0");
    EXPECT_FALSE(dialog.ClearButton()->isEnabled());
    shot = Grab();
    EXPECT_TRUE(Solid(TopLine(shot, dialog.Cells()[1].frame), kUnselected));
}

// Cell 0 sets the display range from its 5% and 95% levels; other cells map with it.
TEST_F(ImageSelectionDlgTest, DisplayRangeFromCellZero)
{
    cv::Mat halves = Uniform(40, 40, 1000);
    halves.rowRange(20, 40).setTo(cv::Scalar(3000));
    AddImage("halves", halves);
    AddImage("middle", Uniform(40, 40, 2000));
    AddImage("dark", Uniform(40, 40, 900));
    AddImage("bright", Uniform(40, 40, 3500));
    ImageSelectionDlg &dialog = Show();
    const QImage shot = Grab();
    EXPECT_EQ(dialog.DisplayLow(), 1000);
    EXPECT_EQ(dialog.DisplayHigh(), 3000);
    ASSERT_GE(dialog.Cells().size(), 4u);
    EXPECT_EQ(shot.pixel(dialog.Cells()[1].frame.center()), qRgb(127, 127, 127));
    EXPECT_EQ(shot.pixel(dialog.Cells()[2].frame.center()), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(dialog.Cells()[3].frame.center()), qRgb(255, 255, 255));
    const QRect first = dialog.Cells()[0].frame;
    EXPECT_EQ(shot.pixel(first.center().x(), first.top() + first.height() / 4), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(first.center().x(), first.bottom() - first.height() / 4), qRgb(255, 255, 255));
}

// A file that cannot be read, or an 8-bit one, shows its frame only and leaves the range alone; a
// range of one level shows levels above it white.
TEST_F(ImageSelectionDlgTest, UnreadableAndEightBitFilesAndAFlatRange)
{
    const std::string eightBit = m_dir.file("eight.png");
    WriteImage(eightBit, cv::Mat(30, 30, CV_8UC1, cv::Scalar(200)));
    AddItem(eightBit);
    const std::string broken = m_dir.file("broken.png");
    WriteFileBytes(broken, "not an image");
    AddItem(broken);
    AddItem(m_dir.file("missing.png"));
    ImageSelectionDlg &dialog = Show();
    QImage shot = Grab();
    EXPECT_EQ(dialog.DisplayLow(), 0);
    EXPECT_EQ(dialog.DisplayHigh(), 5000);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Solid(TopLine(shot, dialog.Cells()[i].frame), kUnselected)) << i;
        EXPECT_EQ(shot.pixel(dialog.Cells()[i].frame.center()), kBackground) << i;
    }

    m_items.RemoveAll(true);
    AddImage("flat", Uniform(30, 30, 2000));
    AddImage("above", Uniform(30, 30, 2001));
    Show();
    shot = Grab();
    EXPECT_EQ(m_dialog->DisplayLow(), 2000);
    EXPECT_EQ(m_dialog->DisplayHigh(), 2000);
    EXPECT_EQ(shot.pixel(m_dialog->Cells()[0].frame.center()), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(m_dialog->Cells()[1].frame.center()), qRgb(255, 255, 255));
}

// A tall image in a wide cell is centred with equal margins left and right; a wide one in a tall
// cell with equal margins above and below.
TEST_F(ImageSelectionDlgTest, AspectFitCentresTheThumbnail)
{
    AddImage("tall", Uniform(200, 20, 100));
    AddImage("wide", Uniform(20, 200, 100));
    WriteSettings("[ImageSelectionDlg]\r\nNHI=3\r\nNVI=3\r\n");
    ImageSelectionDlg &dialog = Show();
    dialog.resize(900, 700); // wide cells
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.ResizePending(); }));
    QImage shot = Grab();
    const QRect cell = dialog.Cells()[0].frame;
    const int y = cell.center().y();
    int first = -1, last = -1;
    for (int x = cell.left() + 2; x <= cell.right() - 2; ++x) {
        if (shot.pixel(x, y) != kBackground) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    ASSERT_GT(first, cell.left() + 2);
    // The frame spans right - left pixels from its left line; the spare m of them is split m / 2 on
    // each side, the odd one falling on the right.
    EXPECT_LE(std::abs((first - cell.left()) - (cell.right() - last - 1)), 1);

    const QRect wide = dialog.Cells()[1].frame;
    const int x = wide.center().x();
    first = last = -1;
    for (int yy = wide.top() + 2; yy <= wide.bottom() - 2; ++yy) {
        if (shot.pixel(x, yy) != kBackground) {
            if (first < 0)
                first = yy;
            last = yy;
        }
    }
    ASSERT_GT(first, wide.top() + 2);
    EXPECT_LE(std::abs((first - wide.top()) - (wide.bottom() - last - 1)), 1);
}

// Grid sizes that are not positive numbers, or that leave cells smaller than their margins, draw
// no grid instead of failing; a size chosen from the list redraws half a second later.
TEST_F(ImageSelectionDlgTest, GridSizesItCannotDraw)
{
    AddImage("one", PatternImage(20, 20));
    ImageSelectionDlg &dialog = Show();
    for (const char *text : {"0", "-3", "abc", "", "100000"}) {
        SCOPED_TRACE(text);
        dialog.NHorzBox()->setEditText(QString::fromLatin1(text));
        Grab();
        EXPECT_TRUE(dialog.Cells().empty());
        // A click finds no cell.
        QTest::mouseClick(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        EXPECT_EQ(Flags(), std::vector<int>{0});
    }
    dialog.NHorzBox()->setEditText("3");
    dialog.NVertBox()->setCurrentIndex(dialog.NVertBox()->findText("4"));
    emit dialog.NVertBox()->activated(dialog.NVertBox()->currentIndex());
    EXPECT_TRUE(dialog.TimerActive());
    Grab();
    EXPECT_EQ(dialog.Cells().size(), 12u);
}

// Resizing hides the grid until half a second after the last step.
TEST_F(ImageSelectionDlgTest, ResizingWaitsBeforeRedrawing)
{
    AddImage("one", PatternImage(20, 20));
    ImageSelectionDlg &dialog = Show();
    EXPECT_FALSE(dialog.ResizePending());
    dialog.resize(700, 500);
    EXPECT_TRUE(dialog.ResizePending());
    EXPECT_TRUE(dialog.TimerActive());
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.ResizePending(); }));
    Grab();
    EXPECT_EQ(dialog.Cells().size(), 25u);
}

// Three clicked images open as documents; the dialog stays open.
TEST_F(ImageSelectionDlgTest, OpenSelectedOpensDocuments)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        AddImage("image" + std::to_string(i), PatternImage(20, 24));
        paths.push_back(m_dir.file("image" + std::to_string(i) + ".png"));
    }
    ImageSelectionDlg &dialog = Show();
    Grab();
    for (int i : {0, 2, 4})
        Click(dialog.Cells()[i]);
    QTest::mouseClick(dialog.OpenSelectedButton(), Qt::LeftButton);
    std::vector<std::string> opened;
    for (CImageDoc *document : DocumentManager::Instance().Documents())
        opened.push_back(document->GetPathName());
    EXPECT_EQ(opened, (std::vector<std::string>{DocumentPathFor(paths[0]), DocumentPathFor(paths[2]),
                                                DocumentPathFor(paths[4])}));
    EXPECT_TRUE(dialog.isVisible());
}

} // namespace
} // namespace vantelis::test

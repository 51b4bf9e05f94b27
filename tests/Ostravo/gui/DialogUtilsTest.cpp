#include "Ostravo/gui/DialogUtils.h"

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

const QColor kBlack(0, 0, 0);
const QColor kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128);
const QColor kWhite(255, 255, 255);
const QColor kFill(10, 200, 30);

// A dialog holding one coloured button, control id 1100.
class ButtonDialog : public ::testing::Test
{
  protected:
    ButtonDialog() : button(new ColouredButton(&dialog)) { button->setObjectName("1100"); }

    // Paints the button as its owner draw would into a fresh image of size w x h.
    QImage Paint(int w, int h, bool pressed, bool focused, const QString &caption = QString())
    {
        button->setText(caption);
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(QColor(255, 0, 255));
        QPainter painter(&image);
        OwnerDrawInfo info;
        info.painter = &painter;
        info.rect = QRect(0, 0, w, h);
        info.selected = pressed;
        info.focused = focused;
        EXPECT_EQ(FillControlColor(&dialog, 1100, &info, RgbValue(10, 200, 30)), 1);
        painter.end();
        return image;
    }

    QWidget dialog;
    ColouredButton *button;
};

struct Pixel
{
    int x, y;
    QColor colour;
    const char *what;
};

void ExpectPixels(const QImage &image, std::initializer_list<Pixel> pixels, const char *frame)
{
    for (const Pixel &p : pixels)
        EXPECT_EQ(image.pixelColor(p.x, p.y), p.colour)
            << frame << ": " << p.what << " at " << p.x << "," << p.y;
}

TEST_F(ButtonDialog, RaisedFrame)
{
    // 40 x 20: outline on x = 0 and 39, y = 0 and 19; shadow bands on x = 37..38 and y = 17..18.
    ExpectPixels(Paint(40, 20, false, false),
                 {{0, 0, kSilver, "cut corner"},
                  {39, 19, kSilver, "cut corner"},
                  {20, 0, kBlack, "top outline"},
                  {39, 10, kBlack, "right outline"},
                  {20, 19, kBlack, "bottom outline"},
                  {0, 10, kBlack, "left outline"},
                  {37, 10, kGrey, "right shadow"},
                  {38, 10, kGrey, "right shadow"},
                  {20, 17, kGrey, "bottom shadow"},
                  {20, 18, kGrey, "bottom shadow"},
                  {1, 10, kWhite, "left highlight"},
                  {20, 1, kWhite, "top highlight"},
                  {20, 10, kFill, "face"},
                  {36, 10, kFill, "face"}},
                 "raised");
}

TEST_F(ButtonDialog, PressedAndFocusedFrames)
{
    ExpectPixels(Paint(40, 20, true, false),
                 {{0, 0, kSilver, "cut corner"},
                  {20, 0, kBlack, "top outline"},
                  {1, 10, kSilver, "left inner edge"},
                  {20, 1, kSilver, "top inner edge"},
                  {38, 10, kFill, "no shadow"},
                  {20, 18, kFill, "no shadow"},
                  {2, 10, kFill, "face"}},
                 "pressed");
    // Focused: a black frame one pixel inside, and the shading moves inside it.
    ExpectPixels(Paint(40, 20, false, true),
                 {{1, 10, kBlack, "focus frame"},
                  {20, 1, kBlack, "focus frame"},
                  {38, 10, kBlack, "focus frame"},
                  {20, 18, kBlack, "focus frame"},
                  {2, 10, kWhite, "left highlight"},
                  {36, 10, kGrey, "right shadow"},
                  {37, 10, kGrey, "right shadow"},
                  {20, 16, kGrey, "bottom shadow"}},
                 "focused");
}

TEST_F(ButtonDialog, CaptionIsCutTo62Characters)
{
    const QString text = QString("0123456789").repeated(7);
    const QImage cut = Paint(900, 30, false, false, text.left(62));
    EXPECT_EQ(Paint(900, 30, false, false, text), cut);
    EXPECT_NE(Paint(900, 30, false, false, text.left(61)), cut) << "the caption is drawn at all";
    EXPECT_NE(Paint(900, 30, true, false, text.left(62)), cut) << "the pressed caption moves";
}

TEST_F(ButtonDialog, WithoutPaintInformationTheButtonTakesTheColour)
{
    EXPECT_EQ(FillControlColor(nullptr, 1100, nullptr, RgbValue(1, 2, 3)), 0);
    EXPECT_EQ(FillControlColor(&dialog, 1101, nullptr, RgbValue(1, 2, 3)), 0) << "no such control";
    EXPECT_EQ(FillControlColor(&dialog, 1100, nullptr, RgbValue(1, 2, 3)), 1);
    EXPECT_EQ(button->Colour(), RgbValue(1, 2, 3));

    button->resize(40, 20);
    const QImage shown = button->grab().toImage();
    EXPECT_EQ(shown.pixelColor(20, 10), QColor(1, 2, 3));
    EXPECT_EQ(shown.pixelColor(20, 0), kBlack);
}

TEST(SelectColor, OpensWithTheInitialColourAndGivesTheChosenOne)
{
    Ostravo::SelectColor dialog;
    dialog.m_initial_colour = RgbValue(10, 20, 30);
    dialog.show();
    EXPECT_EQ(dialog.currentColor(), QColor(10, 20, 30));
    dialog.setCurrentColor(QColor(200, 100, 50));
    dialog.accept();
    EXPECT_EQ(dialog.GetColor(), RgbValue(200, 100, 50));
    EXPECT_EQ(RgbValue(200, 100, 50), 0x003264C8u) << "Windows RGB order";
}

} // namespace

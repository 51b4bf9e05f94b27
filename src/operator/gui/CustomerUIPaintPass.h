#pragma once
// One paint of the operator screen. The window fills the background and draws the frame (group
// boxes, logo, corner title), then hands the pass to the painter of the current state; the
// painters place their texts, images and controls and call the shared pieces below.
#include "operator/CustomerUI.h"

#include <QRect>
#include <QString>

#include <string>
#include <vector>

class CustomerUIWnd;
class QPainter;

// A text as one paint drew it: where it was meant to go and the extent it took.
struct CuiDrawnText
{
    QString text;
    QRect target;
    QRect extent;
};

struct CuiPaintPass
{
    QPainter &painter;
    // The screen's data as of this paint (one snapshot for the whole pass).
    const CustomerUIData &d;
    // The model, for what a painter writes back (hit rectangles, the painted state).
    CustomerUI &screen;
    // The window: its child controls and its placement.
    CustomerUIWnd &wnd;
    // Client width and height.
    int w = 0;
    int h = 0;
    // The part of the window this paint renews; blocks outside it are skipped.
    QRect update;
    // When set, every text drawn through DrawScreenText is recorded here (the window's text check).
    std::vector<CuiDrawnText> *drawnTexts = nullptr;

    // Edges count as inside.
    bool Intersects(const QRect &block) const { return update.intersects(block.adjusted(0, 0, 1, 1)); }
};

// Shared pieces every state painter may call.
// Draws text into target with the Qt alignment flags in the painter's font and pen, and records it
// when the pass records texts. Every text of the screen goes through here.
void DrawScreenText(CuiPaintPass &pass, const QRect &target, int flags, const QString &text);
// The prompt text lines of the screen, centred, the first with its top at y topFraction; at most
// maxLines. Returns how many lines of the screen were drawn (0 with none: a blank is measured) and
// their extent in bounds.
int DrawTextLines(CuiPaintPass &pass, int maxLines, double topFraction, QRect &bounds);
// The Next (or Back) button unless it is hidden: its image (the hover image under the mouse) or
// the arrow; the model's hit rectangle follows what was drawn. text null draws no text.
void DrawNextButton(CuiPaintPass &pass, const std::string *text);
void DrawBackButton(CuiPaintPass &pass, const std::string *text);
// The countdown box while a countdown runs.
void DrawCountdown(CuiPaintPass &pass);
// The fading message banner while one is shown.
void DrawTimedMessage(CuiPaintPass &pass);

// Painters of the screens with fixed content or a layout of their own
// (CustomerUIStatePainters.cpp).
void PaintLogin(CuiPaintPass &pass);
void PaintSelectAction(CuiPaintPass &pass);
void PaintPromptInsertFlowcell(CuiPaintPass &pass);
void PaintPipetteSample(CuiPaintPass &pass);
void PaintShowVideo(CuiPaintPass &pass);

// Painters of the screens a script fills with texts, inputs and images
// (CustomerUIFormPainters.cpp).
void PaintPromptForInput(CuiPaintPass &pass);
void PaintPromptForInputChecks(CuiPaintPass &pass);
void PaintPromptForFilename(CuiPaintPass &pass);
void PaintPromptInfo(CuiPaintPass &pass);
void PaintPromptForImageChecks(CuiPaintPass &pass);
void PaintPromptForFusedImageVerification(CuiPaintPass &pass);
void PaintPromptForMontageReport(CuiPaintPass &pass);

// Colour, image, button, action-button, group-box and layout commands of the operator screen, and
// the two image-check screens. Each command checks the interpreter handle first, reads its
// arguments (also at load, in check-only mode) and makes its range checks when it runs; a failing
// command stores nothing.
#include "operator/CustomerUILayoutCommands.h"

#include "Ostravo/LogError.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUICommands.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"

#include <array>
#include <string>

namespace {

using script_parse::SetError;

constexpr const char *kSourceFile = "CustomerUILayoutCommands.cpp";

constexpr int32_t kMaxActionLines = 16;
constexpr int32_t kMaxHideSeconds = 3600;

int32_t Rgb(int32_t red, int32_t green, int32_t blue)
{
    return red | (green << 8) | (blue << 16);
}

bool InColourRange(int32_t value)
{
    return value >= 0 && value <= 255;
}

constexpr auto StartFrame = StartCustomerUIFrame;
constexpr auto StartEmptyFrame = StartEmptyCustomerUIFrame;

// Bare image names are looked up in the operator-screen folder.
std::string OperatorFolder()
{
    return theApp.m_customer_ui_directory.c_str();
}

// Three colour values; red, green and blue are range-checked at run time, first failure wins.
bool ReadColour(ArgumentReader &args, int32_t rgb[3])
{
    for (int i = 0; i < 3; ++i)
        if (!args.Int(rgb[i]))
            return false;
    return true;
}

bool CheckColour(const int32_t rgb[3], EString &error)
{
    static const char *const kMessages[3] = {"red must be between 0 and 255.",
                                             "green must be between 0 and 255",
                                             "blue must be between 0 and 255"};
    for (int i = 0; i < 3; ++i) {
        if (!InColourRange(rgb[i])) {
            SetError(error, kMessages[i]);
            return false;
        }
    }
    return true;
}

// A screen colour: the whole window is repainted with it. firstParameter is the number of red in
// the messages.
CommandHandler ColourCommand(const char *name, int firstParameter, int32_t CustomerUIData::*member)
{
    return [name, firstParameter, member](Script &instance, const char *arguments, VariableList &variables,
                                          bool checkOnly, EString &error) {
        ArgumentReader args(arguments, variables, error, firstParameter);
        int32_t rgb[3] = {};
        if (!StartFrame(instance, name, args) || !ReadColour(args, rgb))
            return false;
        if (checkOnly)
            return true;
        if (!CheckColour(rgb, error))
            return false;
        const int32_t colour = Rgb(rgb[0], rgb[1], rgb[2]);
        theCustomerUI().Edit([&](CustomerUIData &d) { d.*member = colour; });
        return true;
    };
}

// An action-button colour pair: normal and under the mouse, six values each checked as it is read,
// so a bad value already refuses the load.
CommandHandler ActionColourCommand(const char *name, int32_t CustomerUIData::*normal,
                                   int32_t CustomerUIData::*hover)
{
    return [name, normal, hover](Script &instance, const char *arguments, VariableList &variables,
                                 bool checkOnly, EString &error) {
        // These commands number their arguments from 0 in the reader's messages, from 1 in their own.
        ArgumentReader args(arguments, variables, error, 0);
        if (!StartFrame(instance, name, args))
            return false;
        int32_t values[6] = {};
        for (int i = 0; i < 6; ++i) {
            if (!args.Int(values[i]))
                return false;
            if (!InColourRange(values[i])) {
                SetError(error,
                         FormatText("Parameter %ld must be between 0 and 255", static_cast<long>(i + 1)));
                return false;
            }
        }
        if (checkOnly)
            return true;
        const int32_t normalColour = Rgb(values[0], values[1], values[2]);
        const int32_t hoverColour = Rgb(values[3], values[4], values[5]);
        theCustomerUI().Edit([&](CustomerUIData &d) {
            d.*normal = normalColour;
            d.*hover = hoverColour;
        });
        return true;
    };
}

bool SetImage(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
              EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t slot = 0;
    EString file;
    if (!StartFrame(instance, "Script::CustomerUI_SetImage", args) || !args.Int(slot) || !args.Text(file))
        return false;
    if (checkOnly)
        return true;
    std::string message;
    if (!theCustomerUI().SetImage(slot, file.c_str(), OperatorFolder(), message)) {
        SetError(error, message);
        return false;
    }
    return true;
}

CommandHandler ButtonImagesCommand(const char *name, bool next)
{
    return [name, next](Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                        EString &error) {
        ArgumentReader args(arguments, variables, error);
        EString normal;
        EString hover;
        if (!StartFrame(instance, name, args) || !args.Text(normal) || !args.Text(hover))
            return false;
        if (checkOnly)
            return true;
        std::string message;
        const bool ok =
            next ? theCustomerUI().SetNextImages(normal.c_str(), hover.c_str(), OperatorFolder(), message)
                 : theCustomerUI().SetBackImages(normal.c_str(), hover.c_str(), OperatorFolder(), message);
        if (!ok)
            SetError(error, message);
        return ok;
    };
}

bool SetImagePreviewZoomInArea(Script &instance, const char *arguments, VariableList &variables,
                               bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    PreviewZoomArea area;
    if (!StartFrame(instance, "Script::CustomerUI_SetImagePreviewZoomInArea", args) ||
        !args.Double(area.left) || !args.Double(area.right) || !args.Double(area.top) ||
        !args.Double(area.bottom))
        return false;
    if (checkOnly)
        return true;
    // Written as "not within" so that a value that is no number fails too.
    const char *message = nullptr;
    if (!(area.left >= 0.0))
        message = "left must be greater than or equal to zero.";
    else if (!(area.right <= 1.0))
        message = "right must be less than or equal to 1.";
    else if (!(area.left < area.right))
        message = "right must be greater then left.";
    else if (!(area.top >= 0.0))
        message = "top must be greater than or equal to zero.";
    else if (!(area.bottom <= 1.0))
        message = "bottom must be less than or equal to 1.";
    else if (!(area.top < area.bottom))
        message = "bottom must be greater then top.";
    if (message) {
        SetError(error, message);
        return false;
    }
    theCustomerUI().SetPreviewZoom(area);
    return true;
}

CommandHandler ShowButtonCommand(const char *name, bool next)
{
    return [name, next](Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                        EString &error) {
        ArgumentReader args(arguments, variables, error);
        if (!StartEmptyFrame(instance, name, args))
            return false;
        if (!checkOnly)
            theCustomerUI().ShowButtonNow(next);
        return true;
    };
}

CommandHandler HideButtonCommand(const char *name, bool next)
{
    return [name, next](Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                        EString &error) {
        // These commands number their one argument 0.
        ArgumentReader args(arguments, variables, error, 0);
        int32_t seconds = 0;
        if (!StartFrame(instance, name, args) || !args.Int(seconds))
            return false;
        if (checkOnly)
            return true;
        if (seconds > kMaxHideSeconds) {
            SetError(error, "Maximum timeout is 3600 sec.");
            return false;
        }
        if (seconds < 0) {
            SetError(error, "Minimum timeout is 0 sec.");
            return false;
        }
        theCustomerUI().HideButtonFor(next, seconds * 1000);
        return true;
    };
}

bool AddActionButtonLine(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                         EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    if (!StartFrame(instance, "Script::CustomerUI_AddActionButtonLine", args) || !args.Text(text))
        return false;
    if (checkOnly)
        return true;
    const std::string line = text.c_str();
    const char *message = nullptr;
    theCustomerUI().Edit([&](CustomerUIData &d) {
        if (d.actionLines.size() >= static_cast<size_t>(kMaxActionLines)) {
            message = "No more than action lines may be added.";
        } else if (line.empty() || line.size() > 100) {
            message = "Action button line must have at least one character and no more than 100 characters.";
        } else {
            d.actionLines.push_back(line);
            d.actionRects.clear();
        }
    });
    if (message) {
        SetError(error, message);
        return false;
    }
    return true;
}

bool DefineActionButtonWidth(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                             EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t width = 0;
    if (!StartFrame(instance, "Script::CustomerUI_DefineActionButtonWidth", args) || !args.Int(width))
        return false;
    if (checkOnly)
        return true;
    const int32_t clientWidth = theCustomerUI().Snapshot().clientWidth;
    if (width < 20 || width > clientWidth) {
        SetError(error,
                 FormatText("Button width must be between 20 and %ld", static_cast<long>(clientWidth)));
        return false;
    }
    theCustomerUI().Edit([&](CustomerUIData &d) {
        d.actionWidth = width;
        d.actionRects.clear();
    });
    return true;
}

bool DefineActionButtonCornerRadius(Script &instance, const char *arguments, VariableList &variables,
                                    bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t radius = 0;
    if (!StartFrame(instance, "Script::CustomerUI_DefineActionButtonCornerRadius", args) || !args.Int(radius))
        return false;
    if (!checkOnly) // the corners change the look, not the layout
        theCustomerUI().Edit([&](CustomerUIData &d) { d.actionCornerRadius = radius; });
    return true;
}

bool DefineActionButtonVerticalSpacing(Script &instance, const char *arguments, VariableList &variables,
                                       bool checkOnly, EString &error)
{
    // This command numbers its one argument 0.
    ArgumentReader args(arguments, variables, error, 0);
    int32_t spacing = 0;
    if (!StartFrame(instance, "Script::CustomerUI_DefineActionButtonVerticalSpacing", args) ||
        !args.Int(spacing))
        return false;
    if (checkOnly)
        return true;
    if (spacing < 0 || spacing > 100) {
        SetError(error, "Verical spacing must be between 0 and 100");
        return false;
    }
    theCustomerUI().Edit([&](CustomerUIData &d) {
        d.actionVerticalSpacing = spacing;
        d.actionRects.clear();
    });
    return true;
}

bool DefineActionButtonFont(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                            EString &error)
{
    // This command numbers its arguments from 0.
    ArgumentReader args(arguments, variables, error, 0);
    EString face;
    int32_t height = 0;
    if (!StartFrame(instance, "Script::CustomerUI_DefineActionButtonFont", args) || !args.Text(face) ||
        !args.Int(height))
        return false;
    if (checkOnly)
        return true;
    // The face is taken before any check; a refused height or font leaves it set.
    const std::string faceName = face.c_str();
    theCustomerUI().Edit([&](CustomerUIData &d) { d.actionFontFace = faceName; });
    if (height == 0) {
        height = 40;
    } else if (height < 8 || height > 100) {
        SetError(error, "font_ht must be between 8 and 100");
        return false;
    }
    theCustomerUI().Edit([&](CustomerUIData &d) { d.actionFontHeight = height; });
    if (!theCustomerUI().CanCreateFont(faceName, height)) {
        SetError(error, FormatText("Can't create font using font name: \"%s\" and font height: %ld",
                                   faceName.c_str(), static_cast<long>(height)));
        return false;
    }
    theCustomerUI().Edit([](CustomerUIData &d) { d.actionRects.clear(); });
    return true;
}

bool DefineGroupBox(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                    EString &error)
{
    ArgumentReader args(arguments, variables, error);
    // left, right, top, bottom, fill red, green, blue, border red, green, blue, thickness, corner
    int32_t v[12] = {};
    if (!StartFrame(instance, "Script::CustomerUI_DefineGroupBox", args))
        return false;
    for (int i = 0; i < 12; ++i)
        if (!args.Int(v[i]))
            return false;
    if (checkOnly)
        return true;
    static const char *const kColourNames[6] = {"fill_red", "fill_green", "fill_blue",
                                                "bdr_red",  "bdr_green",  "bdr_blue"};
    for (int i = 0; i < 6; ++i) {
        if (!InColourRange(v[4 + i])) {
            SetError(error, std::string(kColourNames[i]) + " must be between 0 and 255");
            return false;
        }
    }
    CuiRect rect;
    rect.left = v[0];
    rect.right = v[1];
    rect.top = v[2];
    rect.bottom = v[3];
    std::string message;
    if (!theCustomerUI().DefineGroupBox(rect, Rgb(v[4], v[5], v[6]), Rgb(v[7], v[8], v[9]), v[10], v[11],
                                        message)) {
        SetError(error, message);
        return false;
    }
    return true;
}

// A vertical position as a fraction of the client height, range-checked when it runs.
CommandHandler LinePosCommand(const char *name, double low, double high, const char *range,
                              void (CustomerUI::*setter)(double))
{
    return [name, low, high, range, setter](Script &instance, const char *arguments, VariableList &variables,
                                            bool checkOnly, EString &error) {
        ArgumentReader args(arguments, variables, error);
        double fraction = 0.0;
        if (!StartFrame(instance, name, args) || !args.Double(fraction))
            return false;
        if (checkOnly)
            return true;
        if (!(fraction >= low && fraction <= high)) {
            SetError(error, FormatText((std::string("%s() must be between ") + range).c_str(), name));
            return false;
        }
        (theCustomerUI().*setter)(fraction);
        return true;
    };
}

bool RestoreDefaultState(Script &instance, const char *, VariableList &, bool checkOnly, EString &error)
{
    // The argument text is not examined.
    if (!CheckCustomerUIHandle(instance, "Script::CustomerUI_RestoreDefaultState", error))
        return false;
    if (!checkOnly)
        theCustomerUI().ClearStateData();
    return true;
}

bool GetGUISize(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *widthVar = nullptr;
    Variable *heightVar = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetGUISize", args) || !args.IntResult(widthVar) ||
        !args.IntResult(heightVar))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_GetGUISize", 1, widthVar, error) ||
        !CheckResultVariable("CustomerUI_GetGUISize", 2, heightVar, error))
        return false;
    if (widthVar->type == kVariableInt)
        widthVar->integer = theApp.m_customer_ui_size.width;
    if (heightVar->type == kVariableInt)
        heightVar->integer = theApp.m_customer_ui_size.height;
    return true;
}

// ---- the image-check screens ----

// Puts an image into a slot with its channel colour name. A missing image does not stop the check
// screen; its slot is emptied, so the screen cannot show an earlier screen's image under this
// channel's name, and the setter's message goes to the error log.
void PlaceCheckImage(int32_t slot, const std::string &file, const char *colour)
{
    std::string message;
    if (!theCustomerUI().SetImage(slot, file, OperatorFolder(), message)) {
        LogError(kSourceFile, __LINE__, message);
        std::string ignored;
        theCustomerUI().SetImage(slot, "", OperatorFolder(), ignored);
    }
    theCustomerUI().Edit([&](CustomerUIData &d) {
        if (d.imageColors.size() < static_cast<size_t>(slot))
            d.imageColors.resize(static_cast<size_t>(slot));
        d.imageColors[static_cast<size_t>(slot - 1)] = colour;
    });
}

void WriteInt(Variable *variable, int32_t value)
{
    if (variable->type == kVariableInt)
        variable->integer = value;
}

bool FluoChannelCheck(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString label1;
    EString image1;
    EString label2;
    EString image2;
    int32_t mark1 = 0;
    int32_t mark2 = 0;
    Variable *resultVar = nullptr;
    Variable *mark1Var = nullptr;
    Variable *mark2Var = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_FluoChannelCheck", args) || !args.Text(label1) ||
        !args.Text(image1) || !args.Text(label2) || !args.Text(image2) || !args.TextResult(resultVar) ||
        !args.Int(mark1, mark1Var) || !args.Int(mark2, mark2Var))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_FluoChannelCheck", 5, resultVar, error) ||
        !CheckResultVariable("CustomerUI_FluoChannelCheck", 6, mark1Var, error) ||
        !CheckResultVariable("CustomerUI_FluoChannelCheck", 7, mark2Var, error))
        return false;
    const std::string green = image1.c_str();
    const std::string red = image2.c_str();
    if (green.empty() && red.empty()) {
        resultVar->text.Assign("Next");
        return true;
    }
    CustomerUI &screen = theCustomerUI();
    if (red.empty()) {
        PlaceCheckImage(1, green, "green");
        screen.SetCheckboxInput(0, label1.c_str(), mark1);
    } else if (green.empty()) {
        PlaceCheckImage(1, red, "red");
        screen.SetCheckboxInput(0, label2.c_str(), mark2);
    } else {
        PlaceCheckImage(4, green, "green");
        PlaceCheckImage(5, red, "red");
        screen.SetCheckboxInput(0, label1.c_str(), mark1);
        screen.SetCheckboxInput(1, label2.c_str(), mark2);
    }
    const std::string text = ShowCustomerUIStateAndWait(PromptForImageChecks);
    const std::array<int32_t, 6> marks = screen.Snapshot().checkMarks;
    const int32_t first = marks[0] ? 1 : 0;
    const int32_t second = marks[1] ? 1 : 0;
    if (red.empty()) {
        WriteInt(mark1Var, first);
        WriteInt(mark2Var, 0);
    } else if (green.empty()) {
        WriteInt(mark1Var, 0);
        WriteInt(mark2Var, first);
    } else {
        WriteInt(mark1Var, first);
        WriteInt(mark2Var, second);
    }
    resultVar->text.Assign(text.c_str());
    return true;
}

bool FusedImageCheck(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                     EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString grey;
    EString green;
    EString red;
    Variable *resultVar = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_FusedImageCheck", args) || !args.Text(grey) ||
        !args.Text(green) || !args.Text(red) || !args.TextResult(resultVar))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_FusedImageCheck", 4, resultVar, error))
        return false;
    // The grey image alone does not open the screen.
    if (!green.IsNonEmpty() && !red.IsNonEmpty()) {
        resultVar->text.Assign("Next");
        return true;
    }
    PlaceCheckImage(1, grey.c_str(), "grey");
    PlaceCheckImage(4, green.c_str(), "green");
    PlaceCheckImage(5, red.c_str(), "red");
    const std::string text = ShowCustomerUIStateAndWait(PromptForFusedImageVerification);
    resultVar->text.Assign(text.c_str());
    return true;
}

} // namespace

void RegisterCustomerUILayoutCommands()
{
    RegisterCommandHandler(
        cmd::CustomerUI_SetBackgroundColor,
        ColourCommand("Script::CustomerUI_SetBackgroundColor", 1, &CustomerUIData::backgroundColor));
    RegisterCommandHandler(
        cmd::CustomerUI_SetDefaultTextColor,
        ColourCommand("Script::CustomerUI_SetDefaultTextColor", 1, &CustomerUIData::textColor));
    RegisterCommandHandler(
        cmd::CustomerUI_SetHilightTextColor,
        ColourCommand("Script::CustomerUI_SetHilightTextColor", 0, &CustomerUIData::highlightColor));
    RegisterCommandHandler(cmd::CustomerUI_SetImage, SetImage);
    RegisterCommandHandler(cmd::CustomerUI_SetNextImages,
                           ButtonImagesCommand("Script::CustomerUI_SetNextImages", true));
    RegisterCommandHandler(cmd::CustomerUI_SetBackImages,
                           ButtonImagesCommand("Script::CustomerUI_SetBackImages", false));
    RegisterCommandHandler(cmd::CustomerUI_SetImagePreviewZoomInArea, SetImagePreviewZoomInArea);
    RegisterCommandHandler(cmd::CustomerUI_ShowNext, ShowButtonCommand("Script::CustomerUI_ShowNext", true));
    RegisterCommandHandler(cmd::CustomerUI_ShowBack, ShowButtonCommand("Script::CustomerUI_ShowBack", false));
    RegisterCommandHandler(cmd::CustomerUI_HideNext, HideButtonCommand("Script::CustomerUI_HideNext", true));
    RegisterCommandHandler(cmd::CustomerUI_HideBack, HideButtonCommand("Script::CustomerUI_HideBack", false));
    RegisterCommandHandler(cmd::CustomerUI_AddActionButtonLine, AddActionButtonLine);
    RegisterCommandHandler(cmd::CustomerUI_DefineActionButtonWidth, DefineActionButtonWidth);
    RegisterCommandHandler(cmd::CustomerUI_DefineActionButtonCornerRadius, DefineActionButtonCornerRadius);
    RegisterCommandHandler(cmd::CustomerUI_DefineActionButtonVerticalSpacing,
                           DefineActionButtonVerticalSpacing);
    RegisterCommandHandler(cmd::CustomerUI_DefineActionButtonBackgroundColors,
                           ActionColourCommand("Script::CustomerUI_DefineActionButtonBackgroundColors",
                                               &CustomerUIData::actionBackgroundColor,
                                               &CustomerUIData::actionHighlightBackgroundColor));
    RegisterCommandHandler(cmd::CustomerUI_DefineActionButtonTextColors,
                           ActionColourCommand("Script::CustomerUI_DefineActionButtonTextColors",
                                               &CustomerUIData::actionTextColor,
                                               &CustomerUIData::actionHighlightTextColor));
    RegisterCommandHandler(cmd::CustomerUI_DefineActionButtonFont, DefineActionButtonFont);
    RegisterCommandHandler(cmd::CustomerUI_DefineGroupBox, DefineGroupBox);
    RegisterCommandHandler(cmd::CustomerUI_SetTopLinePos,
                           LinePosCommand("Script::CustomerUI_SetTopLinePos", 0.0, 0.99, "0.0 and 0.99",
                                          &CustomerUI::SetTopLinePos));
    RegisterCommandHandler(cmd::CustomerUI_SetActionsTopLinePos,
                           LinePosCommand("Script::CustomerUI_SetActionsTopLinePos", 0.05, 0.90,
                                          "0.05 and 0.90", &CustomerUI::SetActionsTopLinePos));
    RegisterCommandHandler(cmd::CustomerUI_RestoreDefaultState, RestoreDefaultState);
    RegisterCommandHandler(cmd::CustomerUI_GetGUISize, GetGUISize);
    RegisterCommandHandler(cmd::CustomerUI_FluoChannelCheck, FluoChannelCheck);
    RegisterCommandHandler(cmd::CustomerUI_FusedImageCheck, FusedImageCheck);
}

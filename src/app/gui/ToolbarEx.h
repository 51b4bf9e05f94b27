#pragma once
// The main toolbar: 21 entries (buttons and separators) in a fixed order, with the image-type combo
// in place of entry 32829 outside analysis mode. The combo names the image type of the live image:
// its list is filled from [ExperimentSettings] ImageTypeName1..4 each time it drops down, and a
// close-up while live imaging runs restarts live imaging so that it takes the chosen type.
#include <QComboBox>
#include <QIcon>
#include <QToolBar>

#include <map>
#include <string>
#include <vector>

class CPlexorinApp;
class QAction;

// An editable drop-down list that tells when its list drops down and closes up.
class ImageTypeCombo : public QComboBox
{
    Q_OBJECT
  public:
    explicit ImageTypeCombo(QWidget *parent = nullptr);
    void showPopup() override;
    void hidePopup() override;

  signals:
    void dropDown();
    void closeUp();
};

class CToolBarEx : public QToolBar
{
    Q_OBJECT
  public:
    // Size of the button images.
    static constexpr int kButtonWidth = 66;
    static constexpr int kButtonHeight = 49;
    // Width of the gap the combo takes.
    static constexpr int kComboWidth = 200;

    explicit CToolBarEx(CPlexorinApp &app, QWidget *parent = nullptr);
    ~CToolBarEx() override;

    // The entries, in order; 0 stands for a separator.
    static const std::vector<int> &EntryIds();
    // Creates the buttons (each posts its id through commandPosted when clicked).
    void LoadToolBar();

    // Builds the image-type combo in place of button 32829; false when it exists already.
    bool FillImageTypeCombo();
    // Shows the name of image type index type (0..3), or of the next type after it that has a
    // name; false for a type above 3 or when no name is found.
    bool SelectImageType(unsigned type);
    // 0..3 for the type whose name equals the combo's text exactly, -1 when none, 0 without a combo.
    int GetSelectedImageType() const;
    // The combo's text; empty without a combo.
    std::string ImageTypeText() const;

    ImageTypeCombo *Combo() const { return m_combo; }
    // The button of a command; null for an id that has none.
    QAction *Button(int id) const;
    // Pressed state of a check button (32802, live imaging with auto refresh).
    bool IsButtonPressed(int id) const;
    void SetButtonPressed(int id, bool pressed);

    // The drop-down and close-up notifications of control 32830.
    enum ComboNotification
    {
        kDropDown,
        kCloseUp,
    };
    void OnCmdMsg(int controlId, ComboNotification notification);

  signals:
    // A button was clicked, or the combo's close-up restarts live imaging. Connect queued where
    // a command must run after the current handler, as a posted command does.
    void commandPosted(int id);

  private:
    // The four image-type names as read now.
    std::vector<std::string> ImageTypeNames() const;

    CPlexorinApp &m_app;
    std::map<int, QAction *> m_buttons;
    ImageTypeCombo *m_combo = nullptr;
    QFont m_font;
};

// The button image of a toolbar command, drawn for its size.
QIcon ToolbarIcon(int id);
// The program's own icon, for its windows.
QIcon ProgramIcon();

#include "app/gui/ToolbarEx.h"

#include "app/CommandIds.h"
#include "app/PlexorinApp.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "platform/gui/QtText.h"

#include <QAction>
#include <QLineEdit>

#include <cstdio>

namespace {

// A name counts as blank when it holds nothing but blanks and tabs.
bool IsBlank(const std::string &name)
{
    return CountChars(name.c_str(), 1) == 0;
}

const char *ButtonText(int id)
{
    switch (id) {
    case cmd::kRunUserInterface:
        return "Run the user interface";
    case cmd::kFileOpen:
        return "Open";
    case cmd::kLiveImage:
        return "Capture + Auto Refresh";
    case cmd::kImageTypeComboPlace:
        return "Image type";
    case cmd::kStartExperimentWorkflow:
        return "Start Experiment Workflow";
    case cmd::kStopExperimentWorkflow:
        return "Stop Experiment Workflow";
    case cmd::kSingleWorkflowCapture:
        return "Single Workflow Capture";
    case cmd::kAutoScale:
        return "Auto Scale Intensities";
    case cmd::kScaleIntensities:
        return "Scale Intensities";
    case cmd::kZoomIn:
        return "Zoom In";
    case cmd::kZoomOut:
        return "Zoom Out";
    case cmd::kFullScale:
        return "Full Scale";
    case cmd::kManual:
        return "Manual";
    default:
        return "";
    }
}

} // namespace

ImageTypeCombo::ImageTypeCombo(QWidget *parent) : QComboBox(parent) {}

void ImageTypeCombo::showPopup()
{
    emit dropDown();
    QComboBox::showPopup();
}

void ImageTypeCombo::hidePopup()
{
    QComboBox::hidePopup();
    emit closeUp();
}

CToolBarEx::CToolBarEx(CPlexorinApp &app, QWidget *parent) : QToolBar(parent), m_app(app)
{
    setObjectName(QStringLiteral("MainToolBar"));
    setWindowTitle(QStringLiteral("Standard"));
    setIconSize(QSize(kButtonWidth, kButtonHeight));
    setMovable(true);
    setFloatable(true);
    setAllowedAreas(Qt::AllToolBarAreas);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The bitmap face the combo's font names has no size below 8 points, so 8 points is what
    // it showed.
    m_font = QFont(QStringLiteral("Sans Serif"));
    m_font.setPointSize(8);
}

CToolBarEx::~CToolBarEx()
{
    // The combo goes first, while the toolbar is still whole: closing its list on the way out
    // must not reach a half-destroyed toolbar.
    if (m_combo) {
        m_combo->disconnect(this);
        delete m_combo;
        m_combo = nullptr;
    }
}

const std::vector<int> &CToolBarEx::EntryIds()
{
    static const std::vector<int> ids = {
        cmd::kRunUserInterface,
        0,
        cmd::kFileOpen,
        0,
        cmd::kLiveImage,
        0,
        cmd::kImageTypeComboPlace,
        0,
        cmd::kStartExperimentWorkflow,
        cmd::kStopExperimentWorkflow,
        0,
        cmd::kSingleWorkflowCapture,
        0,
        cmd::kAutoScale,
        cmd::kScaleIntensities,
        0,
        cmd::kZoomIn,
        cmd::kZoomOut,
        cmd::kFullScale,
        0,
        cmd::kManual,
    };
    return ids;
}

void CToolBarEx::LoadToolBar()
{
    for (int id : EntryIds()) {
        if (id == 0) {
            addSeparator();
            continue;
        }
        const QString text = platform::gui::ToQt(ButtonText(id));
        QAction *action = addAction(ToolbarIcon(id), text);
        action->setToolTip(text);
        action->setStatusTip(text);
        action->setData(id);
        if (id == cmd::kLiveImage)
            action->setCheckable(true);
        // The combo's place has no command: it shows disabled until the combo takes it.
        if (id == cmd::kImageTypeComboPlace)
            action->setEnabled(false);
        else
            connect(action, &QAction::triggered, this, [this, id] { emit commandPosted(id); });
        m_buttons[id] = action;
    }
}

QAction *CToolBarEx::Button(int id) const
{
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

bool CToolBarEx::IsButtonPressed(int id) const
{
    QAction *button = Button(id);
    return button && button->isCheckable() && button->isChecked();
}

void CToolBarEx::SetButtonPressed(int id, bool pressed)
{
    if (QAction *button = Button(id); button && button->isCheckable())
        button->setChecked(pressed);
}

std::vector<std::string> CToolBarEx::ImageTypeNames() const
{
    std::vector<std::string> names;
    for (int i = 1; i <= 4; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "ImageTypeName%d", i);
        char name[1024];
        Ostravo::E_GetPrivateProfileString("ExperimentSettings", key, "", name, sizeof name,
                                           m_app.m_ini_path.c_str());
        names.emplace_back(name);
    }
    return names;
}

bool CToolBarEx::FillImageTypeCombo()
{
    if (m_combo)
        return false;
    QAction *place = Button(cmd::kImageTypeComboPlace);
    if (!place)
        return false;

    m_combo = new ImageTypeCombo(this);
    m_combo->setObjectName(QStringLiteral("ImageTypeCombo"));
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->setFixedWidth(kComboWidth);
    m_combo->setFont(m_font);
    m_combo->setToolTip(platform::gui::ToQt(ButtonText(cmd::kImageTypeComboPlace)));
    // The combo takes the place of its button.
    insertWidget(place, m_combo);
    removeAction(place);
    m_buttons.erase(cmd::kImageTypeComboPlace);
    place->deleteLater();

    for (const std::string &name : ImageTypeNames()) {
        if (!IsBlank(name)) {
            platform::gui::SetComboEditText(m_combo, name);
            break;
        }
    }
    connect(m_combo, &ImageTypeCombo::dropDown, this, [this] { OnCmdMsg(cmd::kImageTypeCombo, kDropDown); });
    connect(m_combo, &ImageTypeCombo::closeUp, this, [this] { OnCmdMsg(cmd::kImageTypeCombo, kCloseUp); });
    m_combo->show();
    return true;
}

void CToolBarEx::OnCmdMsg(int controlId, ComboNotification notification)
{
    if (controlId != cmd::kImageTypeCombo || !m_combo)
        return;
    if (notification == kDropDown) {
        // The list is built anew from the settings each time; until the user picks an entry the
        // text stays empty, so list positions need not equal type indexes.
        m_combo->clear();
        for (const std::string &name : ImageTypeNames())
            if (!IsBlank(name))
                platform::gui::AddComboItem(m_combo, name);
        m_combo->setCurrentIndex(-1);
        m_combo->clearEditText();
    } else if (notification == kCloseUp) {
        // Live imaging is switched off and on again so that it restarts with the chosen type.
        if (IsButtonPressed(cmd::kLiveImage)) {
            emit commandPosted(cmd::kLiveImage);
            emit commandPosted(cmd::kLiveImage);
        }
    }
}

bool CToolBarEx::SelectImageType(unsigned type)
{
    if (type > 3)
        return false;
    const std::vector<std::string> names = ImageTypeNames();
    for (unsigned i = type; i < 4; ++i) {
        if (!IsBlank(names[i])) {
            if (m_combo)
                platform::gui::SetComboEditText(m_combo, names[i]);
            return true;
        }
    }
    return false;
}

int CToolBarEx::GetSelectedImageType() const
{
    if (!m_combo)
        return 0;
    const std::string text = platform::gui::ComboText(m_combo);
    const std::vector<std::string> names = ImageTypeNames();
    // A blank name names no type, so an empty combo never counts as a selection.
    for (int i = 0; i < 4; ++i)
        if (!IsBlank(names[i]) && text == names[i])
            return i;
    return -1;
}

std::string CToolBarEx::ImageTypeText() const
{
    return m_combo ? platform::gui::ComboText(m_combo) : std::string();
}

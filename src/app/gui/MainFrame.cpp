#include "app/gui/MainFrame.h"

#include "app/AnalysisToolWindows.h"
#include "app/AppCommands.h"
#include "app/AppRenderLink.h"
#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "app/DeviceServices.h"
#include "app/GuiSeam.h"
#include "app/ImageDoc.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "app/ScriptServices.h"
#include "app/WorkflowTimer.h"
#include "app/gui/AboutDlg.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/ImageView.h"
#include "app/gui/MainFrameCommands.h"
#include "app/gui/PasswordDlg.h"
#include "app/gui/QtAppFramework.h"
#include "app/gui/ToolbarEx.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "platform/Clock.h"
#include "platform/PathParts.h"
#include "platform/Sync.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "platform/gui/QtUserInterface.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>
#include <QWindowStateChangeEvent>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

constexpr const char *kSource = "MainFrm";
constexpr const char *kAdminPassword = "Marzipant!";
constexpr int kPaneWidth = 250;
// How often the toolbar, the menus and the status panes are brought up to date while idle.
constexpr int kIdleUpdateMs = 200;

CMainFrame *g_main_frame = nullptr;

std::mutex &ComboTextMutex()
{
    static std::mutex mutex;
    return mutex;
}
// A copy of the combo's text for the render thread, which must not touch the widget.
std::string &ComboTextCopy()
{
    static std::string text;
    return text;
}

std::string StripAmpersands(const QString &text)
{
    QString plain = text;
    plain.remove(QLatin1Char('&'));
    return platform::gui::FromQt(plain);
}

} // namespace

std::string ImageTypeComboText()
{
    std::lock_guard<std::mutex> lock(ComboTextMutex());
    return ComboTextCopy();
}

CMainFrame::CMainFrame(CPlexorinApp &app, QWidget *parent)
    : AppMainWindow(parent), m_wait(platform::SleepMs), m_app(app)
{
    g_main_frame = this;
    m_created = OnCreate();
}

CMainFrame::~CMainFrame()
{
    if (auto *ui = dynamic_cast<platform::gui::QtUserInterface *>(&platform::ui::Ui())) {
        ui->UnregisterStatusTarget(kPixelPaneTarget);
        ui->UnregisterStatusTarget(kMessagePaneTarget);
    }
    {
        std::lock_guard<std::mutex> lock(ComboTextMutex());
        ComboTextCopy().clear();
    }
    if (g_main_frame == this)
        g_main_frame = nullptr;
}

CMainFrame *CMainFrame::Get()
{
    return g_main_frame;
}

bool CMainFrame::OnCreate()
{
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MdiArea"));
    setCentralWidget(m_mdi);
    DocumentManager::Instance().Install(m_mdi);
    setAcceptDrops(true);

    m_toolbar = new CToolBarEx(m_app, this);
    m_toolbar->LoadToolBar();
    // Queued, so that the combo's close-up runs its two commands after its own handling, as a
    // posted command does; a click runs right after the click.
    connect(
        m_toolbar, &CToolBarEx::commandPosted, this, [this](int id) { OnCommand(id); }, Qt::QueuedConnection);
    // The render thread reads the combo's text (the live image's type) through this copy.
    SetImageTypeComboTextSource(&::ImageTypeComboText);
    if (!m_app.m_analysis_mode && m_toolbar->FillImageTypeCombo()) {
        QComboBox *combo = m_toolbar->Combo();
        auto remember = [combo](const QString &) {
            std::lock_guard<std::mutex> lock(ComboTextMutex());
            ComboTextCopy() = platform::gui::ComboText(combo);
        };
        remember(combo->currentText());
        connect(m_toolbar->Combo(), &QComboBox::editTextChanged, this, remember);
    }
    addToolBar(Qt::TopToolBarArea, m_toolbar);

    QStatusBar *bar = statusBar();
    for (int i = 1; i <= 2; ++i) {
        m_panes[i] = new QLabel(bar);
        m_panes[i]->setFixedWidth(kPaneWidth);
        m_panes[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(m_panes[i]);
    }
    if (auto *ui = dynamic_cast<platform::gui::QtUserInterface *>(&platform::ui::Ui())) {
        ui->RegisterStatusTarget(kPixelPaneTarget, m_panes[2]);
        ui->RegisterStatusTarget(kMessagePaneTarget, [this](const std::string &text) {
            statusBar()->showMessage(platform::gui::ToQt(text));
        });
    }

    BuildMenus(m_no_document_menus, false);
    BuildMenus(m_document_menus, true);
    m_document_menus_shown = true; // forces the first ShowMenuSet to fill the bar
    ShowMenuSet(false);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *window) {
        UpdateMenuSet();
        UpdateTitle();
        // A document renamed by Save As retitles its window; the frame's title follows at once.
        if (window)
            connect(window, &QWidget::windowTitleChanged, this, &CMainFrame::UpdateTitle,
                    Qt::UniqueConnection);
    });

    UpdateTitle();

    // Commands posted through the framework seam (the serial-failure callback, scripts, the
    // operator screen) take the same path as the menu.
    connect(this, &AppMainWindow::commandPosted, this,
            [this](int id, qintptr parameter) { OnCommand(id, static_cast<intptr_t>(parameter)); });
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!OnQueryEndSession())
            manager.cancel();
    });
#endif

    m_idle_timer.setInterval(kIdleUpdateMs);
    connect(&m_idle_timer, &QTimer::timeout, this, &CMainFrame::OnIdleUpdateCmdUI);
    m_idle_timer.start();
    OnIdleUpdateCmdUI();
    return true;
}

// ---- Menus ------------------------------------------------------------------------------------

QAction *CMainFrame::AddItem(MenuSet &set, QMenu *menu, int id, const char *text)
{
    QAction *action = menu->addAction(platform::gui::ToQt(text));
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    set.actions.emplace(id, action);
    return action;
}

void CMainFrame::AddCommandItem(MenuSet &set, QMenu *menu, const Command &command, bool withDocument)
{
    if (command.separatorBefore)
        menu->addSeparator();
    if (command.recentFilesPlace) {
        set.recent_place = menu->addAction(platform::gui::ToQt(command.text));
        set.recent_place->setEnabled(false);
        return;
    }
    QAction *action = AddItem(set, menu, command.id,
                              withDocument && command.documentText ? command.documentText : command.text);
    if (command.checkable)
        action->setCheckable(true);
    if (command.shortcut != 0)
        action->setShortcut(QKeySequence(command.shortcut));
}

void CMainFrame::BuildMenus(MenuSet &set, bool withDocument)
{
    static constexpr std::pair<FrameMenu, const char *> kMenus[] = {{FrameMenu::File, "&File"},
                                                                    {FrameMenu::Action, "&Action"},
                                                                    {FrameMenu::View, "&View"},
                                                                    {FrameMenu::Window, "&Window"},
                                                                    {FrameMenu::Help, "&Help"}};
    for (const auto &[place, title] : kMenus) {
        std::vector<const Command *> items;
        for (const Command &command : CommandTable())
            if (command.menu == place && (withDocument || !command.documentOnly))
                items.push_back(&command);
        // A menu with no item in this set is left out (the Window menu without a document).
        if (items.empty())
            continue;
        QMenu *menu = new QMenu(platform::gui::ToQt(title), this);
        for (const Command *command : items)
            AddCommandItem(set, menu, *command, withDocument);
        if (place == FrameMenu::File) {
            set.file = menu;
            connect(menu, &QMenu::aboutToShow, this, [this, &set] {
                FillRecentFiles(set);
                UpdateMenu(set.file);
            });
        } else if (place == FrameMenu::Window) {
            // The entries of the open documents' windows follow the separator.
            set.window = menu;
            menu->addSeparator();
            connect(menu, &QMenu::aboutToShow, this, [this, &set] {
                FillWindowMenu(set);
                UpdateMenu(set.window);
            });
        } else {
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
        }
        set.menus.push_back(menu);
    }
}

void CMainFrame::ShowMenuSet(bool withDocument)
{
    if (withDocument == m_document_menus_shown)
        return;
    m_document_menus_shown = withDocument;
    MenuSet &shown = withDocument ? m_document_menus : m_no_document_menus;
    MenuSet &hidden = withDocument ? m_no_document_menus : m_document_menus;
    // Only the menus in the bar carry shortcuts, so that a key never has two owners.
    for (auto &[id, action] : hidden.actions) {
        if (!action->shortcut().isEmpty())
            action->setProperty("menuShortcut", action->shortcut());
        action->setShortcut(QKeySequence());
        removeAction(action);
    }
    menuBar()->clear();
    for (QMenu *menu : shown.menus)
        menuBar()->addMenu(menu);
    for (auto &[id, action] : shown.actions) {
        const QVariant stored = action->property("menuShortcut");
        if (stored.isValid())
            action->setShortcut(stored.value<QKeySequence>());
        if (!action->shortcut().isEmpty())
            addAction(action);
    }
    for (QMenu *menu : shown.menus)
        UpdateMenu(menu);
}

void CMainFrame::UpdateMenuSet()
{
    ShowMenuSet(m_mdi->currentSubWindow() != nullptr || !m_mdi->subWindowList().isEmpty());
}

void CMainFrame::UpdateMenu(QMenu *menu)
{
    for (QAction *action : menu->actions()) {
        bool ok = false;
        const int id = action->data().toInt(&ok);
        if (ok && id != 0)
            UpdateAction(action, id);
    }
}

void CMainFrame::UpdateAction(QAction *action, int id)
{
    const CommandUi ui = QueryCommandUi(id);
    action->setEnabled(ui.enabled);
    if (action->isCheckable())
        action->setChecked(ui.checked);
    if (!ui.text.empty())
        action->setText(platform::gui::ToQt(ui.text));
}

void CMainFrame::FillRecentFiles(MenuSet &set)
{
    for (QAction *action : set.recent)
        set.file->removeAction(action);
    qDeleteAll(set.recent);
    set.recent.clear();
    std::vector<std::string> files;
    if (auto *framework = dynamic_cast<QtAppFramework *>(Framework()))
        files = framework->RecentFiles();
    set.recent_place->setVisible(files.empty());
    for (size_t i = 0; i < files.size() && i < 4; ++i) {
        const int id = cmd::kFileMruFirst + static_cast<int>(i);
        auto *action =
            new QAction(QStringLiteral("&%1 ").arg(i + 1) + platform::gui::PathToQt(files[i]), set.file);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        set.file->insertAction(set.recent_place, action);
        set.recent.push_back(action);
    }
}

void CMainFrame::FillWindowMenu(MenuSet &set)
{
    for (QAction *action : set.window->actions())
        if (action->property("windowEntry").toBool()) {
            set.window->removeAction(action);
            action->deleteLater();
        }
    const QList<QMdiSubWindow *> windows = m_mdi->subWindowList();
    for (int i = 0; i < windows.size(); ++i) {
        QPointer<QMdiSubWindow> window = windows[i];
        QAction *action = set.window->addAction(QStringLiteral("&%1 ").arg(i + 1) + window->windowTitle());
        action->setProperty("windowEntry", true);
        action->setCheckable(true);
        action->setChecked(window == m_mdi->currentSubWindow());
        connect(action, &QAction::triggered, this, [this, window] {
            if (window)
                m_mdi->setActiveSubWindow(window);
        });
    }
}

QMenu *CMainFrame::Menu(const std::string &title) const
{
    const MenuSet &set = m_document_menus_shown ? m_document_menus : m_no_document_menus;
    for (QMenu *menu : set.menus)
        if (StripAmpersands(menu->title()) == title)
            return menu;
    return nullptr;
}

std::vector<std::string> CMainFrame::MenuTitles() const
{
    std::vector<std::string> titles;
    for (QAction *action : menuBar()->actions())
        titles.push_back(StripAmpersands(action->text()));
    return titles;
}

std::vector<std::string> CMainFrame::MenuItemTexts(const std::string &title) const
{
    std::vector<std::string> texts;
    if (QMenu *menu = Menu(title))
        for (QAction *action : menu->actions())
            texts.push_back(action->isSeparator() ? std::string() : platform::gui::FromQt(action->text()));
    return texts;
}

QAction *CMainFrame::MenuAction(int id) const
{
    const MenuSet &set = m_document_menus_shown ? m_document_menus : m_no_document_menus;
    auto it = set.actions.find(id);
    return it == set.actions.end() ? nullptr : it->second;
}

void CMainFrame::UpdateTitle()
{
    QString title = platform::gui::ToQt(m_app.m_product_name);
    if (QMdiSubWindow *window = m_mdi->currentSubWindow())
        title += QStringLiteral(" - ") + window->windowTitle();
    setWindowTitle(title);
}

// ---- Status bar -------------------------------------------------------------------------------

QLabel *CMainFrame::Pane(int index) const
{
    return index >= 1 && index <= 2 ? m_panes[index] : nullptr;
}

void CMainFrame::SetPaneText(int index, const std::string &text)
{
    if (QLabel *pane = Pane(index))
        pane->setText(platform::gui::ShowKept(pane, text));
}

std::string CMainFrame::PaneText(int index) const
{
    QLabel *pane = Pane(index);
    return pane ? platform::gui::KeptText(pane, pane->text()) : std::string();
}

void CMainFrame::OnIdleUpdateCmdUI()
{
    UpdateMenuSet();
    for (int id : CToolBarEx::EntryIds())
        if (QAction *button = id != 0 && id != cmd::kImageTypeComboPlace ? m_toolbar->Button(id) : nullptr)
            button->setEnabled(QueryCommandUi(id).enabled);
    const MenuSet &set = m_document_menus_shown ? m_document_menus : m_no_document_menus;
    for (const auto &[id, action] : set.actions)
        UpdateAction(action, id);

    // The script pane shows the running fluidic-system script while the scripts list exists: its
    // file name, which a full path cut at the pane's right edge would hide.
    if (Scripts().ScriptsList().HasWindow()) {
        std::string path;
        const bool running = Scripts().IsScriptRunning(0, path);
        SetPaneText(1, running ? platform::FileNameOf(path) : std::string());
    }
    // The pixel pane is the active view's.
    if (CImageView *view = ActiveView())
        view->OnUpdatePixelValue();
}

// ---- The command path -------------------------------------------------------------------------

CImageView *CMainFrame::ActiveView() const
{
    return DocumentManager::Instance().ActiveView();
}

void CMainFrame::PostCommand(int id, intptr_t parameter)
{
    QMetaObject::invokeMethod(
        this, [this, id, parameter] { OnCommand(id, parameter); }, Qt::QueuedConnection);
}

bool CMainFrame::OnCommand(int id, intptr_t)
{
    if (id == kReinitializeSerialDevicesCommand) {
        OnReinitializeSerialDevices();
        return true;
    }
    // A disabled command does not run, wherever it comes from.
    if (!QueryCommandUi(id).enabled)
        return false;
    const bool ran = OnCmdMsg(id);
    OnIdleUpdateCmdUI();
    return ran;
}

bool CMainFrame::OnCmdMsg(int id)
{
    const Command *command = FindCommand(id);
    if (!command)
        return false;
    if (command->viewCommand) {
        CImageView *view = ActiveView();
        return view && view->OnCommand(id);
    }
    command->run(*this, id);
    return true;
}

CommandUi CMainFrame::QueryCommandUi(int id) const
{
    const Command *command = FindCommand(id);
    if (!command)
        return {};
    return command->viewCommand ? ViewCommandUi(id) : command->state(*this);
}

CommandUi CMainFrame::ViewCommandUi(int id) const
{
    CommandUi ui;
    CImageView *view = ActiveView();
    if (!view)
        return ui;
    ui.handled = true;
    ui.enabled = true;
    if (id == cmd::kAutoRefresh) {
        const CImageView::AutoRefreshItem item = view->OnUpdateAutoRefresh();
        ui.enabled = item.enabled;
        ui.checked = item.checked;
        ui.text = item.text;
    }
    return ui;
}

bool CMainFrame::AdminModeAllowed() const
{
    return Ostravo::ReadProfileInt("AdminMode", "Setting", 1, m_app.m_ini_path.c_str(), 32) != 0;
}

bool CMainFrame::ZaberEnabled() const
{
    char text[8];
    Ostravo::E_GetPrivateProfileString("Zaber", "InitializeZaberOnStartup", "", text, sizeof text,
                                       m_app.m_ini_path.c_str());
    return CompareText(text, "TRUE", 0, 0);
}

void CMainFrame::Toggle(ModelessWindow &window)
{
    if (!window.HasWindow()) {
        if (!window.Create(false))
            return;
        window.Show(true);
        return;
    }
    window.Show(!window.IsVisible());
}

void CMainFrame::Show(ModelessWindow &window)
{
    if (!window.HasWindow() && !window.Create(false))
        return;
    if (!window.IsVisible())
        window.Show(true);
}

// ---- Admin mode, minimise refusal, end of session ---------------------------------------------

namespace {

// The control panel and the scripts list show their admin-only controls by admin mode.
void NotifyAdminMode(bool on)
{
    if (FluidicsWindows().ControlPanel().HasWindow())
        FluidicsWindows().SetControlPanelAdminMode(on);
    if (Scripts().ScriptsList().HasWindow())
        Scripts().UpdateScriptsListButtons();
}

} // namespace

void CMainFrame::OnAdminMode()
{
    constexpr int kTries = 3;
    for (int n = 1; n <= kTries; ++n) {
        if (m_app.m_admin_mode)
            return;
        PasswordDlg dialog(this);
        if (n == 1) {
            dialog.m_prompt = "Please enter the admin password:";
        } else {
            char prompt[64];
            std::snprintf(prompt, sizeof prompt, "Try %ld of %ld", static_cast<long>(n),
                          static_cast<long>(kTries));
            dialog.m_prompt = prompt;
        }
        if (dialog.exec() != QDialog::Accepted) {
            m_app.m_admin_mode = false;
            NotifyAdminMode(false);
            return;
        }
        if (dialog.m_password == kAdminPassword) {
            m_app.m_admin_mode = true;
            NotifyAdminMode(true);
            return;
        }
        if (n == kTries) {
            platform::ui::MessageBox(
                "Failed to enter correct password after three tries. Admin mode is off.");
            return;
        }
    }
}

std::string CMainFrame::MinimizeRefusal() const
{
    for (const ScriptInstanceInfo &instance : Scripts().ScriptInstances()) {
        if (instance.handle != 0)
            continue;
        if (instance.running)
            return "Can't minimize the main window when the script is running.";
        break;
    }
    if (AnalysisTools().ImageAnalysisRunning())
        return "Can't minimize the main window when image analysis is running.";
    if (m_app.m_workflow_running)
        return "Can't minimize the main window while running image collection workflow.";
    if (m_toolbar && m_toolbar->IsButtonPressed(cmd::kLiveImage))
        return "Can't minimize the main window while running image capture with auto refresh.";
    return {};
}

bool CMainFrame::OnSysCommand(int command)
{
    if (command == kScMinimize) {
        const std::string refusal = MinimizeRefusal();
        if (!refusal.empty()) {
            LogError(kSource, __LINE__, refusal);
            platform::ui::MessageBox(refusal, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
            return false;
        }
        showMinimized();
    }
    return true;
}

void CMainFrame::changeEvent(QEvent *event)
{
    // A minimise from the window manager arrives as a state change that has already happened:
    // a refused one is undone at once.
    if (event->type() == QEvent::WindowStateChange) {
        const auto *change = static_cast<QWindowStateChangeEvent *>(event);
        if ((windowState() & Qt::WindowMinimized) && !(change->oldState() & Qt::WindowMinimized)) {
            const std::string refusal = MinimizeRefusal();
            if (!refusal.empty()) {
                setWindowState(change->oldState());
                LogError(kSource, __LINE__, refusal);
                platform::ui::MessageBox(refusal, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
            }
        }
    }
    AppMainWindow::changeEvent(event);
}

namespace {

// The local files among the dropped URLs, in their order.
std::vector<std::string> DroppedFiles(const QMimeData *data)
{
    std::vector<std::string> files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            // The encoded path carries the name's bytes even where they are not UTF-8.
            files.push_back(
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toUtf8()).toStdString());
    return files;
}

} // namespace

void CMainFrame::dragEnterEvent(QDragEnterEvent *event)
{
    if (!DroppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent *event)
{
    const std::vector<std::string> files = DroppedFiles(event->mimeData());
    if (files.empty())
        return;
    event->acceptProposedAction();
    activateWindow();
    for (const std::string &file : files)
        DocumentManager::Instance().OpenDocumentFile(file, m_mdi);
}

bool CMainFrame::OnQueryEndSession() const
{
    return m_app.m_analysis_mode || !m_app.m_workflow_running;
}

// ---- Experiment workflow ----------------------------------------------------------------------

void CMainFrame::StartExperimentWorkflow()
{
    ::StartExperimentWorkflow(m_app);
}

void CMainFrame::StopExperimentWorkflow()
{
    ::StopExperimentWorkflow(m_app);
}

// ---- Application commands ---------------------------------------------------------------------

void CMainFrame::OnAppAbout()
{
    CAboutDlg dialog(m_app, this);
    dialog.exec();
}

void CMainFrame::OnFileOpen()
{
    std::string path;
    if (!platform::ui::Ui().ChooseOpenFile("Open", "", "PNG Image (*.png)", path))
        return;
    DocumentManager::Instance().OpenDocumentFile(path, m_mdi);
}

void CMainFrame::OnStartExperimentWorkflowCommand()
{
    // On OK the dialog has set up the new experiment already.
    if (CartridgeDialogs().RunPromptForExperimentNameDialog())
        StartExperimentWorkflow();
}

void CMainFrame::OnLiveImage()
{
    if (m_app.m_analysis_mode)
        return;
    DocumentManager &documents = DocumentManager::Instance();
    for (CImageDoc *document : documents.Documents()) {
        if (!document->m_live_image)
            continue;
        // A live-image document without a view counts as none.
        if (documents.ViewOf(document)) {
            documents.CloseDocument(document);
            m_app.m_live_image_title.clear();
            m_last_live_image_close = platform::TickMs();
            return;
        }
        break;
    }

    ModelessWindow &screen = OperatorScreen().Screen();
    const bool screenShown = screen.HasWindow() && screen.IsVisible();
    if (!screenShown && platform::TickMs() - m_last_live_image_close > 1) {
        EString partNumber;
        if (!CartridgeDialogs().RunSelectCartridgeDialog(m_app.m_cartridge_barcode.c_str(), partNumber))
            return;
        m_app.m_cartridge_barcode = partNumber;
        EString error;
        Capture().ImposeCartridgeTypeOffsets(m_app.m_ini_path.c_str(), m_app.m_cartridge_barcode.c_str(),
                                             error);
    }
    documents.OpenNewDocument(m_mdi, true);
}

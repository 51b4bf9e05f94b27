#include "app/gui/QtAppFramework.h"

#include "app/PlexorinApp.h"
#include "app/gui/AppMainWindow.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/MainFrame.h"
#include "app/gui/ToolbarEx.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <QSettings>

#include <algorithm>

namespace {

// The per-user settings store of the program: the maker's folder, then the program's name.
const char *const kSettingsOrganization = "Quorvane";
const char *const kRecentFileGroup = "Recent File List";

// A recent file's setting: its name as text, or its bytes when they are not UTF-8 (text would lose
// them and name another file).
QVariant RecentFileSetting(const std::string &path)
{
    if (platform::IsValidUtf8(path))
        return platform::gui::PathToQt(path);
    return QByteArray(path.data(), static_cast<qsizetype>(path.size()));
}

std::string RecentFileFromSetting(const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray().toStdString();
    return platform::gui::PathFromQt(value.toString());
}

} // namespace

void QtDocumentTemplate::AddDocument(const std::string &path, QWidget *viewFrame)
{
    m_documents.push_back({path, viewFrame});
}

void QtDocumentTemplate::RemoveDocument(const std::string &path, QWidget *viewFrame)
{
    for (auto it = m_documents.begin(); it != m_documents.end(); ++it) {
        if (it->path == path && it->frame.data() == viewFrame) {
            m_documents.erase(it);
            return;
        }
    }
}

std::vector<DocumentTemplate::OpenDocument> QtDocumentTemplate::Documents() const
{
    std::vector<OpenDocument> documents;
    for (const Entry &entry : m_documents)
        documents.push_back({entry.path, !entry.frame.isNull()});
    return documents;
}

void QtDocumentTemplate::PostCloseDocument(size_t index)
{
    if (index >= m_documents.size() || m_documents[index].frame.isNull())
        return;
    QPointer<QWidget> frame = m_documents[index].frame;
    QMetaObject::invokeMethod(
        frame.data(),
        [frame] {
            if (frame)
                frame->close();
        },
        Qt::QueuedConnection);
}

QtAppFramework::QtAppFramework() = default;

QtAppFramework::~QtAppFramework()
{
    if (m_mainWindow)
        DocumentManager::Instance().SetRecentFileHook(nullptr);
    delete m_mainWindow.data();
}

bool QtAppFramework::PrepareFramework(std::string &)
{
    QCoreApplication::setOrganizationName(platform::gui::ToQt(kSettingsOrganization));
    QCoreApplication::setApplicationName(platform::gui::ToQt(theApp.m_product_name));
    // Every window of the program shows its own icon rather than the toolkit's.
    QApplication::setWindowIcon(ProgramIcon());
    QSettings settings;
    settings.beginGroup(platform::gui::ToQt(kRecentFileGroup));
    m_recentFiles.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const std::string file = RecentFileFromSetting(settings.value(QStringLiteral("File%1").arg(i)));
        if (!file.empty())
            m_recentFiles.push_back(file);
    }
    m_prepared = true;
    return true;
}

DocumentTemplate *QtAppFramework::CreateDocumentTemplate()
{
    if (!m_template)
        m_template = std::make_unique<QtDocumentTemplate>();
    return m_template.get();
}

bool QtAppFramework::CreateMainFrame()
{
    auto *window = new CMainFrame(theApp);
    if (!window->Created()) {
        delete window;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mainWindowMutex);
        m_mainWindow = window;
    }
    // Every file the documents open or save as goes to the top of the recent-file list.
    DocumentManager::Instance().SetRecentFileHook(
        [this](const std::string &path) { AddToRecentFileList(path); });
    window->show();
    return true;
}

void QtAppFramework::AddToRecentFileList(const std::string &path)
{
    if (path.empty())
        return;
    auto same = std::find(m_recentFiles.begin(), m_recentFiles.end(), path);
    if (same != m_recentFiles.end())
        m_recentFiles.erase(same);
    m_recentFiles.insert(m_recentFiles.begin(), path);
    if (m_recentFiles.size() > static_cast<size_t>(kRecentFileCount))
        m_recentFiles.resize(kRecentFileCount);
}

bool QtAppFramework::HasMainWindow() const
{
    std::lock_guard<std::mutex> lock(m_mainWindowMutex);
    return !m_mainWindow.isNull();
}

void QtAppFramework::PostCommand(int commandId, intptr_t parameter)
{
    QPointer<AppMainWindow> window;
    {
        std::lock_guard<std::mutex> lock(m_mainWindowMutex);
        window = m_mainWindow;
    }
    if (!window)
        return;
    QMetaObject::invokeMethod(
        window.data(),
        [window, commandId, parameter] {
            if (window)
                emit window->commandPosted(commandId, static_cast<qintptr>(parameter));
        },
        Qt::QueuedConnection);
}

bool QtAppFramework::SaveReferenceImage(const std::string &path, std::string &error, bool closeAfter)
{
    if (!m_referenceImageSaver) {
        error = "SaveReferenceImage () : image documents are not available in this build: " + path;
        return false;
    }
    return m_referenceImageSaver(path, error, closeAfter);
}

void QtAppFramework::WakeIdle()
{
    if (QCoreApplication *application = QCoreApplication::instance()) {
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(application->thread()))
            dispatcher->wakeUp();
    }
}

bool QtAppFramework::FrameworkIdle(int32_t)
{
    return false;
}

void QtAppFramework::ExitFramework()
{
    if (!m_prepared)
        return;
    QSettings settings;
    settings.beginGroup(platform::gui::ToQt(kRecentFileGroup));
    for (int i = 1; i <= kRecentFileCount; ++i) {
        QString key = QStringLiteral("File%1").arg(i);
        if (i <= static_cast<int>(m_recentFiles.size()))
            settings.setValue(key, RecentFileSetting(m_recentFiles[i - 1]));
        else
            settings.remove(key);
    }
}

void QtAppFramework::SetReferenceImageSaver(ReferenceImageSaver saver)
{
    m_referenceImageSaver = std::move(saver);
}

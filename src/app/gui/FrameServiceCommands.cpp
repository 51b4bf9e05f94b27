// The main frame's commands that do work of their own instead of only opening a tool window: the
// operator screen, the manual, closing the live image, the row flat-field correction, the montage
// and the serial re-initialisation.
#include "app/AppServices.h"
#include "app/DeviceServices.h"
#include "app/ExperimentServices.h"
#include "app/ImageDoc.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "app/RunUserInterface.h"
#include "app/ScriptServices.h"
#include "app/ViewGlobals.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/ImageView.h"
#include "app/gui/MainFrame.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/RowFlatField.h"
#include "platform/Files.h"
#include "platform/Ui.h"

#include <QApplication>

#include <algorithm>

namespace {

constexpr const char *kSource = "MainFrm";
constexpr const char *kManualName = "Nimbrel-1.0_Manual.pdf";
constexpr int kSerialTries = 10;
constexpr uint32_t kFirstSerialWaitMs = 250;
constexpr uint32_t kSerialRetryWaitMs = 1000;

// folder joined with name; when that file is missing, a file in folder whose name differs only in
// letter case (names come from an instrument whose file system ignored case).
std::string JoinFindingCase(const char *folder, const char *name)
{
    EString joined;
    joined.JoinPath(folder, name);
    EString trimmed(folder);
    trimmed.Trim();
    if (platform::FileExists(joined.c_str()) || !trimmed.IsNonEmpty())
        return joined.c_str();
    const std::string found = platform::FindFileIgnoringCase(trimmed.c_str(), name);
    return found.empty() ? std::string(joined.c_str()) : found;
}

void Refuse(const std::string &text, int32_t line)
{
    LogError(kSource, line, text);
    platform::ui::MessageBox(text, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
}

} // namespace

void CMainFrame::RunUserInterface()
{
    ::RunUserInterface(m_app);
    OnIdleUpdateCmdUI();
}

void CMainFrame::OnCustomerUI()
{
    ModelessWindow &screen = OperatorScreen().Screen();
    if (!screen.HasWindow()) {
        if (!screen.Create(false))
            return;
    } else if (screen.IsVisible()) {
        screen.Show(false);
        return;
    }
    screen.Show(true);

    for (const ScriptInstanceInfo &instance : Scripts().ScriptInstances()) {
        if (instance.handle != 1)
            continue;
        if (instance.running)
            return;
        break;
    }
    const std::string path =
        JoinFindingCase(m_app.m_customer_ui_directory.c_str(), "Scripts/DefaultCustomerUI.scr");
    std::string error;
    if (!OperatorScreen().Reload(path.c_str(), error))
        LogError(kSource, __LINE__, error);
}

std::string CMainFrame::ManualPath() const
{
    const std::string path = JoinFindingCase(m_app.m_data_directory.c_str(), kManualName);
    return platform::FileExists(path) ? path : std::string();
}

void CMainFrame::OnManual()
{
    const std::string path = ManualPath();
    if (!path.empty())
        OpenUsingDefaultApp(path.c_str());
}

void CMainFrame::OnCloseLiveImage()
{
    if (m_app.m_analysis_mode)
        return;
    DocumentManager &documents = DocumentManager::Instance();
    for (CImageDoc *document : documents.Documents()) {
        if (!document->m_live_image)
            continue;
        if (documents.ViewOf(document))
            documents.CloseDocument(document);
        m_app.m_live_image_title.clear();
        return;
    }
}

void CMainFrame::OnRowFlatField()
{
    CImageView *view = ActiveView();
    if (!view || !view->GetDocument())
        return;
    CImageDoc *document = view->GetDocument();
    cv::Mat *image = document->GetImage();
    const int columns = image ? image->cols : 0;
    const int rows = image ? image->rows : 0;

    // The correction works on the part of the active ROI that lies inside the image; without one
    // it would read and write outside the pixels.
    ImageRect roi = _active_roi.Get();
    if (roi.IsZero()) {
        Refuse("Row flat-field correction needs an active region of interest.", __LINE__);
        return;
    }
    roi.left = std::max(roi.left, 0);
    roi.top = std::max(roi.top, 0);
    roi.right = std::min(roi.right, columns - 1);
    roi.bottom = std::min(roi.bottom, rows - 1);
    if (roi.right < roi.left || roi.bottom < roi.top) {
        Refuse("Row flat-field correction: the active region of interest does not lie inside the image.",
               __LINE__);
        return;
    }

    // The render thread may be reading these pixels for a frame.
    if (!_image_access_lock.Wait(1000)) {
        Refuse("CMainFrame::OnRowFlatField () - timeout waiting for _image_access_lock.", __LINE__);
        return;
    }
    std::vector<uint16_t> profile;
    EString error;
    bool done = ComputeRowPercentileProfile(*image, roi.left, roi.top, roi.right, roi.bottom, 0.99, profile,
                                            &error) &&
                NormalizeRowsByProfile(*image, roi.left, roi.top, roi.right, roi.bottom, profile, &error);
    _image_access_lock.Release();
    if (!done) {
        Refuse(error.c_str(), __LINE__);
        return;
    }
    view->Invalidate(true);
}

void CMainFrame::OnMontage()
{
    std::string name, folder;
    if (!Experiment().RunMontageDialog(name, folder))
        return;
    int result = 0;
    EString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool made =
        Experiment().CreateMontageImage(result, folder.c_str(), false, false, name.c_str(), error);
    QApplication::restoreOverrideCursor();
    if (made)
        platform::ui::MessageBox("Montage image is created successfully and it is saved as " + name + ".png" +
                                 " in " + folder + " directory.");
    else
        platform::ui::MessageBox("Error in Creating Montage.");
}

void CMainFrame::OnReinitializeSerialDevices()
{
    // No failure may post another re-initialisation while this one scans.
    SerialPortFailureCallback = nullptr;
    m_wait(kFirstSerialWaitMs);
    for (int call = 1; call <= kSerialTries; ++call) {
        if (m_app.InitializeSerialPortDevices(nullptr))
            break;
        if (call < kSerialTries)
            m_wait(kSerialRetryWaitMs);
    }
    SerialPortFailureCallback = OnSerialPortFailure;
}

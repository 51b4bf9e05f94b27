// Process entry. The headless command line (five arguments) runs before any QApplication exists
// and needs no display; every other start runs the GUI.
#include "app/AppRenderLink.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"
#include "app/gui/IdleDriver.h"
#include "app/gui/QtAppFramework.h"
#include "platform/gui/QtUserInterface.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv, argv + argc);

    if (CPlexorinApp::IsHeadlessCommandLine(args)) {
        bool ok = theApp.InitInstance(args);
        theApp.ExitInstance();
        return ok ? 0 : 1;
    }

    QApplication application(argc, argv);
    std::shared_ptr<platform::gui::QtUserInterface> ui = platform::gui::QtUserInterface::Install();
    SetFramework(std::make_shared<QtAppFramework>());
    // Start-up starts the render thread and the exit stops it; the links not given here answer
    // "not available" until their subsystems install them.
    RenderLinks renderLinks;
    renderLinks.app = std::make_shared<AppRenderLink>();
    InstallRenderThread(renderLinks);

    int status = 1;
    if (theApp.InitInstance(args)) {
        IdleDriver idle(theApp);
        status = application.exec();
    }
    theApp.ExitInstance();
    // Windows go with the framework while the application object still exists.
    SetFramework(nullptr);
    platform::ui::SetUi(nullptr);
    return status;
}

#include "app/RunUserInterface.h"

#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "platform/Files.h"

std::string DefaultOperatorScriptName(const CPlexorinApp &app)
{
    char name[1024];
    Ostravo::E_GetPrivateProfileString("CustomerUI", "DefaultScript", "", name, sizeof name,
                                       app.m_ini_path.c_str());
    if (app.m_analysis_mode) {
        if (name[0] == '\0' || CompareText(name, "DefaultCustomerUI.scr", 0, 0))
            return "DefaultAnalysisUI.scr";
    } else if (name[0] == '\0') {
        return "DefaultCustomerUI.scr";
    }
    return name;
}

void RunUserInterface(const CPlexorinApp &app)
{
    EString folder, path;
    folder.JoinPath(app.m_customer_ui_directory.c_str(), "Scripts");
    std::string name = DefaultOperatorScriptName(app);
    path.JoinPath(folder.c_str(), name.c_str());
    // Script names come from settings written on Windows, where letter case did not matter.
    if (!platform::FileExists(path.c_str())) {
        std::string found = platform::FindFileIgnoringCase(folder.c_str(), name);
        if (!found.empty())
            path.Assign(found.c_str());
    }

    ModelessWindow &screen = OperatorScreen().Screen();
    if (!screen.HasWindow())
        screen.Create(false);
    std::string error;
    if (!OperatorScreen().Reload(path.c_str(), error))
        LogError(__FILE_NAME__, __LINE__, error);
}

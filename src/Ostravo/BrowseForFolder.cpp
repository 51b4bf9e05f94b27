#include "Ostravo/BrowseForFolder.h"

#include "platform/Ui.h"

#include <string>

bool BrowseForFolder(EString &path, const char *title)
{
    std::string chosen;
    if (!platform::ui::Ui().BrowseForFolder(title ? title : "", path.c_str(), chosen))
        return false;
    path.Assign(chosen.c_str());
    return true;
}

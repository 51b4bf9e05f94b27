#include "tools/gui/FillImageFileList.h"

#include "platform/gui/QtText.h"
#include "tools/ImageFileList.h"
#include "tools/gui/ToolWindowKit.h"

#include <QLineEdit>
#include <QListWidget>

bool FillImageFileList(QWidget *dialog, int listId)
{
    auto *list = qobject_cast<QListWidget *>(FindControl(dialog, listId));
    auto *folder = qobject_cast<QLineEdit *>(FindControl(dialog, 1216));
    auto *filter = qobject_cast<QLineEdit *>(FindControl(dialog, 1217));
    if (list)
        list->clear();
    std::vector<std::string> names;
    const bool found =
        ListImageFiles(platform::gui::EditText(folder), platform::gui::EditText(filter), names);
    if (list) {
        for (const std::string &name : names)
            platform::gui::AddListItem(list, name);
    }
    return found;
}

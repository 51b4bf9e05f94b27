#pragma once
// Choosing in the folder tools as a user would: images selected in the folder's list, and
// background images ticked in the selection grid (answered OK or Cancel).
#include "tools/gui/ImageSelectionDlg.h"

#include <QListWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vantelis::test {

template <class Dialog>
void SelectListedImages(Dialog *dialog, int listId, const std::vector<std::string> &names)
{
    auto *list = dialog->template ControlAs<QListWidget>(listId);
    list->clearSelection();
    for (const std::string &name : names) {
        const auto found = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        found.first()->setSelected(true);
    }
}

// The grid ticks the items whose file names are given and answers OK (or Cancel).
template <class Dialog> void ChooseBackgroundImages(Dialog *dialog, std::vector<std::string> names, bool ok)
{
    dialog->m_run_selection_grid = [names, ok](ImageFileItemArray &items) {
        for (int32_t i = 0; i < items.GetCount(); ++i) {
            const std::string path = items.GetAt(i)->m_name.c_str();
            for (const std::string &name : names)
                if (std::filesystem::path(path).filename() == name)
                    items.GetAt(i)->m_flag = 1;
        }
        return ok;
    };
    dialog->OnSelectBackgroundImages();
}

} // namespace vantelis::test

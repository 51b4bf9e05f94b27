#pragma once
// A combo box that tells its window when its list is about to open (so the window can refill it,
// as the set and name lists do) and when it has closed.
#include "platform/gui/QtText.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QStringList>

#include <algorithm>

#include <functional>
#include <string>
#include <vector>

class DropDownCombo : public QComboBox
{
  public:
    using QComboBox::QComboBox;
    std::function<void()> onDropDown;
    std::function<void()> onCloseUp;

    void showPopup() override
    {
        if (onDropDown)
            onDropDown();
        m_open = true;
        QComboBox::showPopup();
    }
    // Also called while the combo is destroyed: only a list that was opened reports closing.
    void hidePopup() override
    {
        QComboBox::hidePopup();
        if (m_open && onCloseUp) {
            m_open = false;
            onCloseUp();
        }
    }

  private:
    bool m_open = false;
};

// Refills a combo's list with the words, sorted, keeping the text typed in it; sends no signals.
inline void RefillSortedKeepingText(QComboBox *combo, const std::vector<std::string> &words)
{
    const QString text = combo->currentText();
    const QSignalBlocker quiet(combo);
    combo->clear();
    // Each word is converted once and sorted by its shown text.
    std::vector<std::pair<QString, const std::string *>> items;
    items.reserve(words.size());
    for (const std::string &word : words)
        items.emplace_back(platform::gui::ToQt(word), &word);
    std::stable_sort(items.begin(), items.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &item : items)
        platform::gui::AddComboItem(combo, *item.second);
    combo->setEditText(text);
}

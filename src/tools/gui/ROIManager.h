#pragma once
// The modeless "ROI Manager": pick a named ROI and see it previewed on every open image, change or
// add one under a name, delete one in admin mode. It also shows the active ROI in its four
// coordinate fields whenever another part of the program changes it. Hidden, never destroyed, until
// the program ends.
// moc cannot parse the C++20 headers behind these; it needs none of them.
#ifndef Q_MOC_RUN
#include "tools/ROIList.h"
#endif

#include <QDialog>
#include <QTimer>

#include <string>

class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

class ROIManager : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kLeftEdit = 1040;
    static constexpr int kRightEdit = 1209;
    static constexpr int kTopEdit = 1042;
    static constexpr int kBottomEdit = 1210;
    static constexpr int kNameEdit = 1075;
    static constexpr int kRoiList = 1360;
    static constexpr int kSaveChanges = 1361;
    static constexpr int kDeleteCommand = 1000;
    static constexpr int kEditTimer = 2000;
    static constexpr int kHiddenTimer = 2001;
    static constexpr int kEditDelayMs = 1000;
    static constexpr int kHiddenPollMs = 100;

    // Made on first use, without a parent; reads the list from settingsPath.
    explicit ROIManager(const std::string &settingsPath);
    ~ROIManager() override;

    // Writes the active ROI into the four coordinate fields; false without an active ROI.
    bool ShowCurrentRoi();
    // Reloads the list from the settings file and refills the list box.
    void FillRoiList();

    QLineEdit *Edit(int id) const;
    QListWidget *RoiListBox() const { return m_list_box; }
    QPushButton *SaveButton() const { return m_save; }
    const ROIList &List() const { return m_list; }
    bool TimerActive(int id) const;
    // Runs a timer's work at once, as when it fires.
    void OnTimer(int id);

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void OnSelChangeRoiList();
    void OnChangeEdit();
    void OnSaveChanges();
    void OnListContextMenu(const QPoint &point);
    void OnDelete();
    bool UpdatePreviewRoi();
    bool UpdateSaveButton();
    // Reloads the list from the file before a change is made to it, so that ROIs written meanwhile
    // by others are kept.
    void ReloadBeforeChange();
    bool SaveList(const char *what);
    void SelectRowByText(const QString &text);
    void InsertSortedRow(const std::string &name);

    std::string m_settings_path;
    ROIList m_list;
    bool m_filling = false;
    int m_context_row = -1;
    bool m_preview_set = false;

    QLineEdit *m_left = nullptr;
    QLineEdit *m_right = nullptr;
    QLineEdit *m_top = nullptr;
    QLineEdit *m_bottom = nullptr;
    QLineEdit *m_name = nullptr;
    QListWidget *m_list_box = nullptr;
    QPushButton *m_save = nullptr;
    QTimer m_edit_timer;
    QTimer m_hidden_timer;
};

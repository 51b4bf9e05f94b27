#pragma once
// The modal "Choose ROI": one named ROI of the list becomes the active ROI. While a row is
// selected its rectangle is previewed on every image. Nothing is written to a file.
// moc cannot parse the C++20 headers behind these; it needs none of them.
#ifndef Q_MOC_RUN
#include "tools/ROIList.h"
#endif

#include <QDialog>

#include <string>

class QListWidget;
class QPushButton;

class ChooseROI : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kRoiList = 1360;

    explicit ChooseROI(const std::string &settingsPath, QWidget *parent = nullptr);
    ~ChooseROI() override;

    QListWidget *RoiListBox() const { return m_list_box; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }

  protected:
    // Cancel, the Escape key and the close box.
    void reject() override;

  private:
    void OnSelChangeRoiList();
    void OnOK();
    // The ROI of the selected row; null without a selection.
    const ROIObject *SelectedRoi() const;

    ROIList m_list;
    QListWidget *m_list_box = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};

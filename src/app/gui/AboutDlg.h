#pragma once
// The About box: product name, version, build and a notice line.
#include <QDialog>

class CPlexorinApp;
class QLabel;

class CAboutDlg : public QDialog
{
    Q_OBJECT
  public:
    explicit CAboutDlg(const CPlexorinApp &app, QWidget *parent = nullptr);

    QLabel *ProductLabel() const { return m_product; }
    QLabel *VersionLabel() const { return m_version; }
    QLabel *BuildLabel() const { return m_build; }
    QLabel *NoticeLabel() const { return m_notice; }

  private:
    QLabel *m_product = nullptr;
    QLabel *m_version = nullptr;
    QLabel *m_build = nullptr;
    QLabel *m_notice = nullptr;
};

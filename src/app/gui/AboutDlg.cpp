#include "app/gui/AboutDlg.h"

#include "app/PlexorinApp.h"
#include "platform/gui/QtText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(const CPlexorinApp &app, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Vantelis"));
    m_product = new QLabel(this);
    if (!app.m_product_name.empty())
        m_product->setText(platform::gui::ToQt(app.m_product_name));
    m_version = new QLabel(platform::gui::ToQt("Version " + app.m_version_short), this);
    m_build = new QLabel(platform::gui::ToQt("Build " + app.m_build), this);
    m_notice = new QLabel(QStringLiteral("Image analysis for the Nimbrel instrument family."), this);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_product);
    layout->addWidget(m_version);
    layout->addWidget(m_build);
    layout->addWidget(m_notice);
    layout->addLayout(buttons);
}

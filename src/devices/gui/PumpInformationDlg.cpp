#include "devices/gui/PumpInformationDlg.h"

#include "app/PlexorinApp.h"
#include "devices/PumpInformation.h"
#include "platform/gui/QtText.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr int kMargin = 7;
constexpr int kRowHeight = 24;
} // namespace

PumpInformationDlg::PumpInformationDlg(QWidget *parent) : ToolWindow("Pump Information", parent)
{
    using namespace pump_information_id;
    auto *query = AddControl(kQuery, new QPushButton("Query", this));
    query->setGeometry(kMargin, kMargin, 70, kRowHeight);
    m_command = AddControl(kCommand, new QComboBox(this));
    m_command->setEditable(true);
    m_command->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string &entry : PumpReportCommandTable())
        platform::gui::AddComboItem(m_command, entry);
    m_replies = AddControl(kReplies, new QPlainTextEdit(this));
    m_replies->setReadOnly(true);
    connect(query, &QPushButton::clicked, this, &PumpInformationDlg::OnQuery);
    resize(520, 220);
}

void PumpInformationDlg::OnQuery()
{
    if (m_command->currentIndex() < 0)
        return;
    uint32_t number = 0;
    if (!ParseReportCommand(platform::gui::ComboText(m_command), number))
        return;
    std::string shown;
    QueryPumpReports(theApp.m_pump_port, number, shown);
    m_replies->setPlainText(platform::gui::ToQt(shown));
}

void PumpInformationDlg::resizeEvent(QResizeEvent *event)
{
    ToolWindow::resizeEvent(event);
    // The combo and the replies end 3 pixels inside the right edge (at least 19 pixels wide).
    const int comboLeft = kMargin + 70 + kMargin;
    m_command->setGeometry(comboLeft, kMargin, std::max(19, width() - 3 - comboLeft), kRowHeight);
    const int top = kMargin + kRowHeight + kMargin;
    m_replies->setGeometry(kMargin, top, std::max(19, width() - 3 - kMargin),
                           std::max(19, height() - top - kMargin));
}

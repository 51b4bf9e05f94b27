#include "devices/gui/CartridgeDialogs.h"

#ifndef Q_MOC_RUN
#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/ProfileValues.h"
#include "app/DeviceServices.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "devices/CartridgeTypes.h"
#include "devices/ExperimentCreation.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"
#endif

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kRadioIds[4] = {1408, 1358, 1409, 1410};

int ValidChoice(int choice)
{
    return choice < 0 || choice > 3 ? 0 : choice;
}

// The four cartridge buttons in one exclusive group, the chosen one checked.
void AddCartridgeRadios(QWidget *owner, QBoxLayout *layout, std::array<QRadioButton *, 4> &radios, int choice)
{
    auto *group = new QButtonGroup(owner);
    for (int i = 0; i < 4; ++i) {
        auto *radio = new QRadioButton(platform::gui::ToQt(CartridgeChoiceCaption(i)), owner);
        radio->setObjectName(QString::number(kRadioIds[i]));
        group->addButton(radio, i);
        layout->addWidget(radio);
        radios[static_cast<size_t>(i)] = radio;
    }
    radios[static_cast<size_t>(ValidChoice(choice))]->setChecked(true);
}

int CheckedRadio(const std::array<QRadioButton *, 4> &radios)
{
    for (int i = 0; i < 4; ++i)
        if (radios[static_cast<size_t>(i)]->isChecked())
            return i;
    return 0;
}

QHBoxLayout *OkCancelRow(QWidget *owner, QPushButton *&ok, QPushButton *&cancel)
{
    ok = new QPushButton(QStringLiteral("OK"), owner);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("Cancel"), owner);
    cancel->setObjectName(QStringLiteral("2"));
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

class QtCartridgeDialogs : public CartridgeDialogServices
{
  public:
    bool RunPromptForExperimentNameDialog() override
    {
        PromptForExperimentNameDlg dialog(0);
        return dialog.exec() == QDialog::Accepted;
    }
    bool RunSelectCartridgeDialog(const char *barcode, EString &partNumber) override
    {
        SelectCartridgeDlg dialog(CartridgeChoiceForBarcode(barcode));
        if (dialog.exec() != QDialog::Accepted)
            return false;
        partNumber.Assign(dialog.GetPartNumber());
        return true;
    }
};

} // namespace

SelectCartridgeDlg::SelectCartridgeDlg(int choice, QWidget *parent)
    : QDialog(parent), m_choice(ValidChoice(choice))
{
    setWindowFlag(Qt::WindowTitleHint, false);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Please Select a Cartridge Type:"), this));
    AddCartridgeRadios(this, layout, m_radios, m_choice);
    layout->addLayout(OkCancelRow(this, m_ok, m_cancel));
    connect(m_ok, &QPushButton::clicked, this, &SelectCartridgeDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

const char *SelectCartridgeDlg::GetPartNumber() const
{
    return CartridgePartNumber(m_choice);
}

void SelectCartridgeDlg::OnOK()
{
    m_choice = CheckedRadio(m_radios);
    accept();
}

PromptForExperimentNameDlg::PromptForExperimentNameDlg(int choice, QWidget *parent)
    : QDialog(parent), m_choice(ValidChoice(choice))
{
    setWindowTitle(QStringLiteral("Update Experiment Name"));
    auto *layout = new QVBoxLayout(this);

    auto *nameGroup = new QGroupBox(QStringLiteral("Experiment Name"), this);
    auto *nameRow = new QHBoxLayout(nameGroup);
    nameRow->addWidget(new QLabel(QStringLiteral("Name:"), nameGroup));
    m_name = new QLineEdit(nameGroup);
    m_name->setObjectName(QStringLiteral("1013"));
    m_name->setMinimumWidth(260);
    nameRow->addWidget(m_name, 1);
    layout->addWidget(nameGroup);

    auto *note =
        new QLabel(QStringLiteral("Note: the experiment name must be between 1 and 32 characters long and "
                                  "may not include * | ? : \" ' / or \\."),
                   this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto *cartridgeGroup = new QGroupBox(QStringLiteral("Cartridge Type"), this);
    auto *cartridgeColumn = new QVBoxLayout(cartridgeGroup);
    AddCartridgeRadios(cartridgeGroup, cartridgeColumn, m_radios, m_choice);
    layout->addWidget(cartridgeGroup);
    layout->addLayout(OkCancelRow(this, m_ok, m_cancel));

    const std::string name = Ostravo::ReadProfileString("ExperimentSettings", "ExperimentName", "", 1023,
                                                        theApp.m_ini_path.c_str());
    platform::gui::SetEditText(m_name, name);

    connect(m_ok, &QPushButton::clicked, this, &PromptForExperimentNameDlg::OnBnClickedOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void PromptForExperimentNameDlg::OnBnClickedOk()
{
    const std::string text = platform::TruncateUtf8(platform::gui::EditText(m_name), 1023);
    EString cleaned(text.c_str());
    cleaned.SanitizeFileName();
    if (!CompareText(cleaned.c_str(), text.c_str(), 0, 0)) {
        platform::ui::MessageBox("Invalid characters removed from file name.");
        platform::gui::SetEditText(m_name, cleaned.c_str());
        return;
    }
    if (text.size() > static_cast<size_t>(kMaximumNameLength)) {
        platform::ui::MessageBox("Experiment name truncated at 32 characters.");
        platform::gui::SetEditText(m_name, platform::TruncateUtf8(text, kMaximumNameLength));
        return;
    }
    m_choice = CheckedRadio(m_radios);
    OperatorScreen().SetFlowSplit(0);
    SetCurrentCartridgeBarcode(CartridgePartNumber(m_choice));
    EString error;
    ImposeCartridgeTypeOffsets(theApp.m_ini_path.c_str(), CartridgePartNumber(m_choice), error);
    if (!SetupNewExperiment(text.c_str(), error)) {
        LogError(__FILE_NAME__, __LINE__, error.c_str());
        platform::ui::MessageBox(error.c_str(), "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
        return;
    }
    accept();
}

void InstallCartridgeDialogs()
{
    InstallCartridgeDialogServices(std::make_shared<QtCartridgeDialogs>());
}

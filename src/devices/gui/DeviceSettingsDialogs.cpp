#include "devices/gui/DeviceSettingsDialogs.h"

#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileEncryption.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/AppServices.h"
#include "app/PlexorinApp.h"
#include "devices/DigitalIoMapping.h"
#include "devices/ExperimentSettings.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace {

void LogAndShow(const std::string &text, uint32_t flags = platform::ui::MbOk)
{
    LogError(__FILE_NAME__, __LINE__, text);
    platform::ui::MessageBox(text, "Vantelis", flags);
}

// Text a key-named label shows: the image-type fields carry their type's number.
QString FieldLabel(const ExperimentSettingField &field)
{
    QString label = platform::gui::ToQt(field.label);
    const size_t length = std::strlen(field.key);
    const char last = length > 0 ? field.key[length - 1] : '\0';
    if (std::strncmp(field.key, "IsActive", 8) == 0 || std::strncmp(field.key, "ImageType", 9) == 0)
        label += QStringLiteral(" %1").arg(QLatin1Char(last));
    return label;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Experiment settings

ExperimentSettingsDlg::ExperimentSettingsDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Experiment Settings"));
    m_saveTimer.setSingleShot(true);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { SaveSettings(); });

    auto *columns = new QHBoxLayout;
    const std::vector<ExperimentSettingField> &fields = ExperimentSettingFields();
    const size_t perColumn = (fields.size() + 2) / 3;
    QFormLayout *form = nullptr;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i % perColumn == 0) {
            form = new QFormLayout;
            columns->addLayout(form);
        }
        const ExperimentSettingField &field = fields[i];
        const int control = field.control;
        const std::string shown = ShownExperimentSetting(field);
        if (field.kind == ExperimentSettingField::Check) {
            auto *box = new QCheckBox(FieldLabel(field), this);
            box->setChecked(shown == "TRUE");
            int delay = 100;
            if (std::strncmp(field.key, "IsActive", 8) == 0)
                delay = 10;
            connect(box, &QCheckBox::clicked, this, [this, control, delay] {
                Changed(control, delay);
                if (control == 1308 || control == 1309) {
                    // The stage panel reads these settings when it is made: close and delete it
                    // so the next use makes it afresh.
                    ModelessWindow &panel = StageWindow().ZaberControlPanel();
                    if (panel.HasWindow())
                        panel.Destroy();
                }
            });
            m_checks[control] = box;
            form->addRow(box);
        } else {
            auto *edit = new QLineEdit(this);
            platform::gui::LimitEditBytes(edit, 1023);
            platform::gui::SetEditText(edit, shown);
            edit->setMinimumWidth(control == 1003 ? 220 : 90);
            connect(edit, &QLineEdit::textEdited, this, [this, control] { Changed(control, 1000); });
            m_edits[control] = edit;
            if (control == 1003) {
                auto *row = new QHBoxLayout;
                row->addWidget(edit, 1);
                auto *browse = new QPushButton(QStringLiteral("..."), this);
                browse->setFixedWidth(30);
                connect(browse, &QPushButton::clicked, this, [this, edit] {
                    std::string chosen;
                    if (platform::ui::Ui().BrowseForFolder("Select Data Directory...",
                                                           platform::gui::EditText(edit), chosen)) {
                        platform::gui::SetEditText(edit, chosen);
                        Changed(1003, 1000);
                    }
                });
                row->addWidget(browse);
                form->addRow(FieldLabel(field), row);
            } else {
                form->addRow(FieldLabel(field), edit);
            }
        }
    }

    auto *buttons = new QHBoxLayout;
    auto *openIni = new QPushButton(QStringLiteral("Open Plexorin.ini"), this);
    auto *openLog = new QPushButton(QStringLiteral("Open Session Log"), this);
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setDefault(true);
    buttons->addWidget(openIni);
    buttons->addWidget(openLog);
    buttons->addStretch(1);
    buttons->addWidget(m_done);
    connect(openIni, &QPushButton::clicked, this, [this] { OpenSettingsFile(); });
    connect(openLog, &QPushButton::clicked, this,
            [] { OpenUsingDefaultApp(theApp.m_session_log_path.c_str(), ".xls"); });
    connect(m_done, &QPushButton::clicked, this, [this] {
        m_saveTimer.stop();
        SaveSettings();
        accept();
    });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);
}

QLineEdit *ExperimentSettingsDlg::Edit(int control) const
{
    const auto found = m_edits.find(control);
    return found == m_edits.end() ? nullptr : found->second;
}

QCheckBox *ExperimentSettingsDlg::Check(int control) const
{
    const auto found = m_checks.find(control);
    return found == m_checks.end() ? nullptr : found->second;
}

void ExperimentSettingsDlg::Changed(int control, int delayMs)
{
    m_changed[control] = std::string();
    m_saveTimer.start(delayMs);
}

void ExperimentSettingsDlg::SaveSettings()
{
    m_saveTimer.stop();
    // A refused field stays changed, so the next save refuses it again until it is corrected.
    for (auto &[control, text] : m_changed) {
        if (QLineEdit *edit = Edit(control))
            text = platform::gui::EditText(edit);
        else if (QCheckBox *box = Check(control))
            text = box->isChecked() ? "TRUE" : "FALSE";
    }
    SaveExperimentSettings(m_changed);
}

void ExperimentSettingsDlg::OpenSettingsFile()
{
    std::string folder = theApp.m_data_directory;
    while (!folder.empty() && folder.back() == ' ')
        folder.pop_back();
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\'))
        folder += '/';
    const std::string path = folder + "Plexorin.ini";
    bool encrypted = false;
    EString message;
    if (!Ostravo::E_IsFileEncrypted(path.c_str(), encrypted, message)) {
        LogAndShow(message.c_str(), platform::ui::MbIconError);
        return;
    }
    if (encrypted) {
        platform::ui::MessageBox("File is encrypted. Can't edit it.");
        return;
    }
    OpenUsingDefaultApp(path.c_str(), ".txt");
}

// ---------------------------------------------------------------------------------------------
// Camera settings

namespace {

struct CameraField
{
    int control;
    const char *label;
    bool editable;
};

const CameraField kCameraFields[] = {
    {1003, "Model", false},
    {1010, "S/N", false},
    {1004, "Image Width (pixels)", false},
    {1005, "Image Height (pixels)", false},
    {1008, "Gain", true},
    {1009, "Exposure (us)", true},
    {1011, "Default Exposure (us)", true},
    {1016, "Refresh Period (ms)", true},
    {1275, "Min Time Between Exp (ms)", true},
    {1276, "Min Exposure (us)", true},
    {1277, "Max Exposure (us)", true},
};

// A number for the camera: "%lf" with nothing but blanks after it.
bool ParseCameraNumber(const std::string &text, double &value)
{
    const char *start = Ostravo::NumberStart(text.c_str());
    double parsed = 0;
    const auto result = std::from_chars(start, text.c_str() + text.size(), parsed);
    if (result.ptr == start || result.ec != std::errc())
        return false;
    for (const char *p = result.ptr; *p; ++p)
        if (*p != ' ' && *p != '\t')
            return false;
    value = parsed;
    return true;
}

} // namespace

CameraSettingsDlg::CameraSettingsDlg(CameraInterface &camera, QWidget *parent)
    : QDialog(parent), m_camera(camera)
{
    setWindowTitle(QStringLiteral("Camera Settings"));
    auto *form = new QFormLayout;
    for (const CameraField &field : kCameraFields) {
        auto *edit = new QLineEdit(this);
        edit->setReadOnly(!field.editable);
        m_fields[field.control] = edit;
        form->addRow(platform::gui::ToQt(field.label), edit);
        if (field.control == 1005) {
            m_depth = new QComboBox(this);
            m_depth->setEditable(true);
            m_depth->addItems({QStringLiteral("8"), QStringLiteral("12")});
            form->addRow(QStringLiteral("Pixel Depth (bits)"), m_depth);
        }
    }
    m_output1 = new QCheckBox(QStringLiteral("Digital Output 1"), this);
    m_output2 = new QCheckBox(QStringLiteral("Digital Output 2"), this);
    form->addRow(m_output1);
    form->addRow(m_output2);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_depth, qOverload<int>(&QComboBox::activated), this,
            [this] { Arm(m_depthTimer, 0, &CameraSettingsDlg::ApplyPixelDepth); });
    connect(m_depth->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { Arm(m_depthTimer, 0, &CameraSettingsDlg::ApplyPixelDepth); });
    connect(Field(1008), &QLineEdit::textEdited, this,
            [this] { Arm(m_gainTimer, 250, &CameraSettingsDlg::ApplyGain); });
    connect(Field(1009), &QLineEdit::textEdited, this,
            [this] { Arm(m_exposureTimer, 250, &CameraSettingsDlg::ApplyExposure); });
    connect(Field(1016), &QLineEdit::textEdited, this,
            [this] { Arm(m_refreshTimer, 1000, &CameraSettingsDlg::ApplyRefreshPeriod); });
    for (int control : {1011, 1276, 1277})
        connect(Field(control), &QLineEdit::textEdited, this,
                [this] { Arm(m_saveTimer, 1000, &CameraSettingsDlg::SaveFromTimer); });
    connect(m_output1, &QCheckBox::clicked, this, [this] { ToggleOutput(1); });
    connect(m_output2, &QCheckBox::clicked, this, [this] { ToggleOutput(2); });
}

QTimer *CameraSettingsDlg::Arm(QTimer *&timer, int delayMs, void (CameraSettingsDlg::*action)())
{
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, action] { (this->*action)(); });
    }
    timer->start(delayMs);
    return timer;
}

QLineEdit *CameraSettingsDlg::Field(int control) const
{
    const auto found = m_fields.find(control);
    return found == m_fields.end() ? nullptr : found->second;
}

void CameraSettingsDlg::Report(const std::string &text)
{
    LogAndShow(text);
}

bool CameraSettingsDlg::Fill()
{
    EString error;
    EString serial;
    EString model;
    int width = 0;
    int height = 0;
    int bits = 0;
    float gain = 0;
    float exposure = 0;
    bool out1 = false;
    bool out2 = false;
    if (!m_camera.GetSerialNumber(serial, error) || !m_camera.GetModelName(model, error) ||
        !m_camera.GetSerialNumber(serial, error) || !m_camera.GetImageSize(width, height, error) ||
        !m_camera.GetPixelDepth(bits, error) || !m_camera.GetGain(gain, error) ||
        !m_camera.GetExposure(exposure, error) || !m_camera.GetDigitalOutput(1, out1, error) ||
        !m_camera.GetDigitalOutput(2, out2, error)) {
        Report(error.c_str());
        return false;
    }
    const std::string exposureText = FormatText("%2.0lf", static_cast<double>(exposure));
    Field(1008)->setText(platform::gui::ToQt(FormatText("%4.2lf", static_cast<double>(gain))));
    Field(1009)->setText(platform::gui::ToQt(exposureText));
    platform::gui::SetEditText(Field(1003), model.c_str());
    platform::gui::SetEditText(Field(1010), serial.c_str());
    Field(1004)->setText(QString::number(width));
    Field(1005)->setText(QString::number(height));
    m_depth->setEditText(QString::number(bits));
    m_output1->setChecked(out1);
    m_output2->setChecked(out2);

    const std::string section = FormatText("%s Settings", model.c_str());
    auto read = [&](const char *key, const std::string &fallback) {
        return platform::gui::ToQt(Ostravo::ReadProfileString(section.c_str(), key, fallback.c_str(), 1023,
                                                              theApp.m_ini_path.c_str()));
    };
    m_depth->setEditText(read("PixelDepth", std::to_string(bits)));
    Field(1008)->setText(read("Gain", platform::gui::FromQt(Field(1008)->text())));
    Field(1009)->setText(read("LastExposure", exposureText));
    Field(1011)->setText(read("DefaultExposure", exposureText));
    Field(1016)->setText(read("RefreshPeriodMs", "100"));
    Field(1275)->setText(read("min_time_between_image_capture_events_ms", "100"));
    Field(1276)->setText(read("min_exposure_us", "29"));
    Field(1277)->setText(read("max_exposure_us", "1000000"));
    return true;
}

void CameraSettingsDlg::ApplyPixelDepth()
{
    int32_t bits = 0;
    const bool parsed = Ostravo::ScanInt(platform::gui::FromQt(m_depth->currentText()), bits);
    if (parsed && (bits == 8 || bits == 12 || bits == 16)) {
        EString error;
        if (m_camera.SetPixelDepth(bits, error)) {
            SaveSettings();
            return;
        }
        Report(error.c_str());
    }
    int current = 0;
    EString error;
    if (m_camera.GetPixelDepth(current, error))
        m_depth->setEditText(QString::number(current));
    else
        Report(error.c_str());
}

void CameraSettingsDlg::ApplyGain()
{
    double gain = 0;
    if (!ParseCameraNumber(platform::gui::FromQt(Field(1008)->text()), gain)) {
        Report("Gain must be a number.");
        return;
    }
    EString error;
    if (m_camera.SetGain(static_cast<float>(gain), error))
        SaveSettings();
    else
        Report(error.c_str());
}

void CameraSettingsDlg::ApplyExposure()
{
    double exposure = 0;
    if (!ParseCameraNumber(platform::gui::FromQt(Field(1009)->text()), exposure)) {
        Report("Exposure (us) must be a number.");
        return;
    }
    EString error;
    if (m_camera.SetExposure(static_cast<float>(exposure), error))
        SaveSettings();
    else
        Report(error.c_str());
}

void CameraSettingsDlg::ApplyRefreshPeriod()
{
    int32_t period = 0;
    if (Ostravo::ScanInt(platform::gui::FromQt(Field(1016)->text()), period) && period >= 25 &&
        period <= 10000)
        SaveSettings();
    else
        Report("Refresh period (ms) must be an integer between 25 and 10000");
}

void CameraSettingsDlg::SaveFromTimer()
{
    SaveSettings();
}

bool CameraSettingsDlg::SaveSettings()
{
    const std::string model = platform::gui::EditText(Field(1003));
    int32_t minTime = 0;
    if (!Ostravo::ScanInt(platform::gui::FromQt(Field(1275)->text()), minTime))
        minTime = 0;
    if (minTime < 100 || minTime > 1000) {
        Report("Minimum time between image capture (ms) must be an integer between 100 and 1000");
        return false;
    }
    const std::string section = FormatText("%s Settings", model.c_str());
    const char *ini = theApp.m_ini_path.c_str();
    auto write = [&](const char *key, const QString &text) {
        Ostravo::E_WritePrivateProfileString(section.c_str(), key, platform::gui::FromQt(text).c_str(), ini);
    };
    write("PixelDepth", m_depth->currentText());
    write("Gain", Field(1008)->text());
    write("LastExposure", Field(1009)->text());
    write("DefaultExposure", Field(1011)->text());
    write("RefreshPeriodMs", Field(1016)->text());
    write("min_time_between_image_capture_events_ms", Field(1275)->text());
    write("min_exposure_us", Field(1276)->text());
    write("max_exposure_us", Field(1277)->text());
    return true;
}

void CameraSettingsDlg::ToggleOutput(int output)
{
    bool on = false;
    EString error;
    if (!m_camera.GetDigitalOutput(output, on, error) || !m_camera.SetDigitalOutput(output, !on, error))
        Report(error.c_str());
}

// ---------------------------------------------------------------------------------------------
// Digital I/O configuration

namespace {

struct DioList
{
    int id;
    const char *key;
    int items; // 2 for a port, 8 for a line
    bool refreshAfter;
};

const DioList kDioLists[] = {
    {1080, "LED0_port", 2, false},      {1081, "LED1_port", 2, false}, {1082, "LED2_port", 2, false},
    {1083, "LED3_port", 2, false},      {1084, "LED0_line", 8, false}, {1085, "LED1_line", 8, false},
    {1086, "LED2_line", 8, false},      {1087, "LED3_line", 8, false}, {1100, "Cartridge_Port", 2, false},
    {1101, "Cartridge_Line", 8, false}, {1102, "Clamp_Port", 2, true}, {1103, "Clamp_Line", 8, true},
};

int LineDefault(const char *key)
{
    if (std::strcmp(key, "LED1_line") == 0)
        return 1;
    if (std::strcmp(key, "LED2_line") == 0)
        return 2;
    if (std::strcmp(key, "LED3_line") == 0)
        return 3;
    return 0;
}

// The key's value without a default or clamp; false (logged) when missing, not a number or negative.
bool ReadInputKey(const char *key, int &value)
{
    int32_t read = -1;
    const std::string text = Ostravo::ReadProfileString("DIO_Config", key, "", 31, theApp.m_ini_path.c_str());
    if (!Ostravo::ScanInt(text, read) || read < 0) {
        LogError(__FILE_NAME__, __LINE__,
                 FormatText("[DIO_Config] %s of %s is missing or invalid", key, theApp.m_ini_path.c_str()));
        return false;
    }
    value = read;
    return true;
}

} // namespace

DigitalIOConfigurationDlg::DigitalIOConfigurationDlg(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Digital I/O Configuration"));
    auto *layout = new QVBoxLayout(this);
    for (int port = 0; port < 2; ++port) {
        auto *group = new QGroupBox(
            port == 0 ? QStringLiteral(" Port 0 lines") : QStringLiteral(" Port 1 lines"), this);
        auto *row = new QHBoxLayout(group);
        for (int line = 0; line < (port == 0 ? 8 : 4); ++line) {
            auto *box = new QCheckBox(QStringLiteral(" %1").arg(line), group);
            m_lineButtons[GetLineButtonId(port, line)] = box;
            row->addWidget(box);
        }
        row->addStretch(1);
        layout->addWidget(group);
    }
    auto makeList = [this](int id, int items, QWidget *owner) {
        auto *list = new QComboBox(owner);
        for (int i = 0; i < items; ++i)
            list->addItem(QString::number(i));
        m_lists[id] = list;
        return list;
    };
    auto *leds = new QGroupBox(QStringLiteral("LED illuminators Mapping "), this);
    auto *ledGrid = new QGridLayout(leds);
    ledGrid->addWidget(new QLabel(QStringLiteral("Port"), leds), 0, 1);
    ledGrid->addWidget(new QLabel(QStringLiteral("Line"), leds), 0, 2);
    for (int led = 0; led < 4; ++led) {
        ledGrid->addWidget(new QLabel(QStringLiteral("LED %1").arg(led), leds), led + 1, 0);
        ledGrid->addWidget(makeList(1080 + led, 2, leds), led + 1, 1);
        ledGrid->addWidget(makeList(1084 + led, 8, leds), led + 1, 2);
    }
    layout->addWidget(leds);
    auto *inputs = new QGroupBox(QStringLiteral("Interlock Mapping "), this);
    auto *inputGrid = new QGridLayout(inputs);
    inputGrid->addWidget(new QLabel(QStringLiteral("Port"), inputs), 0, 1);
    inputGrid->addWidget(new QLabel(QStringLiteral("Line"), inputs), 0, 2);
    inputGrid->addWidget(new QLabel(QStringLiteral("Cart Inserted"), inputs), 1, 0);
    inputGrid->addWidget(makeList(1100, 2, inputs), 1, 1);
    inputGrid->addWidget(makeList(1101, 8, inputs), 1, 2);
    inputGrid->addWidget(new QLabel(QStringLiteral("Clamp "), inputs), 2, 0);
    inputGrid->addWidget(makeList(1102, 2, inputs), 2, 1);
    inputGrid->addWidget(makeList(1103, 8, inputs), 2, 2);
    layout->addWidget(inputs);

    for (const DioList &list : kDioLists) {
        const int id = list.id;
        connect(m_lists[id], qOverload<int>(&QComboBox::activated), this, [this, id] { ListChanged(id); });
    }
    m_clearTimer.setInterval(1000);
    connect(&m_clearTimer, &QTimer::timeout, this, [this] { ClearLineButtons(); });
    m_interlockTimer.setSingleShot(true);
    connect(&m_interlockTimer, &QTimer::timeout, this, [this] { SetInterlockMapping(); });
}

int DigitalIOConfigurationDlg::GetLineButtonId(int port, int line)
{
    if (port == 0 && line >= 0 && line <= 7)
        return 1053 + line;
    if (port == 1 && line >= 0 && line <= 3)
        return 1061 + line;
    return 0;
}

QCheckBox *DigitalIOConfigurationDlg::LineButton(int id) const
{
    const auto found = m_lineButtons.find(id);
    return found == m_lineButtons.end() ? nullptr : found->second;
}

QComboBox *DigitalIOConfigurationDlg::List(int id) const
{
    const auto found = m_lists.find(id);
    return found == m_lists.end() ? nullptr : found->second;
}

void DigitalIOConfigurationDlg::ClearLineButtons()
{
    if (!isVisible())
        return;
    for (auto &[id, box] : m_lineButtons)
        box->setChecked(false);
}

void DigitalIOConfigurationDlg::FillControls()
{
    for (const DioList &list : kDioLists) {
        const bool isLine = list.items == 8;
        const int value = ReadDioConfigValue(list.key, isLine ? LineDefault(list.key) : 0, 0, list.items - 1);
        m_lists[list.id]->setCurrentIndex(value);
    }
    m_interlockTimer.start(100);
}

void DigitalIOConfigurationDlg::RefreshLineButtons()
{
    for (auto &[id, box] : m_lineButtons)
        box->setEnabled(true);
    const std::string mapping =
        Ostravo::ReadProfileString("DIO_Config", "Mapping", "", 1023, theApp.m_ini_path.c_str());
    if (!CompareText(mapping.c_str(), "Interlock", 0, 0))
        return;
    for (const char *input : {"Cartridge", "Clamp"}) {
        int line = 0;
        int port = 0;
        if (!ReadInputKey(FormatText("%s_Line", input).c_str(), line) ||
            !ReadInputKey(FormatText("%s_Port", input).c_str(), port))
            return;
        if (QCheckBox *box = LineButton(GetLineButtonId(port, line)))
            box->setEnabled(false);
    }
}

void DigitalIOConfigurationDlg::SetInterlockMapping()
{
    m_interlockTimer.stop();
    Ostravo::E_WritePrivateProfileString("DIO_Config", "Mapping", "Interlock", theApp.m_ini_path.c_str());
    for (int id : {1100, 1102, 1101, 1103})
        m_lists[id]->setEnabled(true);
    EString error;
    if (!LoadDigitalIoMapping(error))
        LogAndShow(error.c_str(), platform::ui::MbIconError);
    RefreshLineButtons();
}

void DigitalIOConfigurationDlg::ListChanged(int id)
{
    const DioList *list = nullptr;
    for (const DioList &candidate : kDioLists)
        if (candidate.id == id)
            list = &candidate;
    if (!list)
        return;
    const int index = m_lists[id]->currentIndex();
    if (index >= 0)
        Ostravo::E_WritePrivateProfileString("DIO_Config", list->key, std::to_string(index).c_str(),
                                             theApp.m_ini_path.c_str());
    EString error;
    if (!LoadDigitalIoMapping(error))
        LogAndShow(error.c_str());
    if (list->refreshAfter)
        RefreshLineButtons();
}

void DigitalIOConfigurationDlg::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    ClearLineButtons();
    m_clearTimer.start();
    FillControls();
    EString error;
    if (!LoadDigitalIoMapping(error))
        LogAndShow(error.c_str());
    RefreshLineButtons();
}

void DigitalIOConfigurationDlg::hideEvent(QHideEvent *event)
{
    m_clearTimer.stop();
    QWidget::hideEvent(event);
}

// ---------------------------------------------------------------------------------------------
// The device settings services

class DeviceSettingsDialogs::DigitalIoWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return m_window != nullptr; }
    bool Create(bool visible) override
    {
        if (!m_window)
            m_window = std::make_unique<DigitalIOConfigurationDlg>();
        if (visible)
            m_window->show();
        return true;
    }
    bool IsVisible() const override { return m_window && m_window->isVisible(); }
    void Show(bool show) override
    {
        if (m_window)
            m_window->setVisible(show);
    }

  private:
    std::unique_ptr<DigitalIOConfigurationDlg> m_window;
};

DeviceSettingsDialogs::DeviceSettingsDialogs() : m_digitalIo(std::make_unique<DigitalIoWindow>()) {}

DeviceSettingsDialogs::~DeviceSettingsDialogs() = default;

bool DeviceSettingsDialogs::LoadDigitalIoMapping(EString &error)
{
    return ::LoadDigitalIoMapping(error);
}

bool DeviceSettingsDialogs::RunCameraSettingsDialog()
{
    CameraInterface *camera = theApp.m_camera;
    if (!camera || !camera->IsInitialized()) {
        LogAndShow("No camera initialized.");
        return false;
    }
    bool ok = false;
    {
        CameraSettingsDlg dialog(*camera);
        dialog.Fill();
        ok = dialog.exec() == QDialog::Accepted;
    }
    GetMinTimeBetweenCaptureEvents();
    return ok;
}

bool DeviceSettingsDialogs::RunExperimentSettingsDialog()
{
    ExperimentSettingsDlg dialog;
    return dialog.exec() == QDialog::Accepted;
}

ModelessWindow &DeviceSettingsDialogs::DigitalIoConfiguration()
{
    return *m_digitalIo;
}

void InstallDeviceSettingsDialogs()
{
    InstallDeviceSettingsServices(std::make_shared<DeviceSettingsDialogs>());
}

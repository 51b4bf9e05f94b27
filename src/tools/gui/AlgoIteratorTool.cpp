#include "tools/gui/AlgoIteratorTool.h"

#include "Ostravo/BrowseForFolder.h"
#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "tools/gui/CountingAlgorithmDlg.h"
#include "tools/gui/FillImageFileList.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace {

using namespace algo_iterator_id;

constexpr const char *kSection = "AlgoIteratorTool";
constexpr const char *kTitle = "Algo Interator Tool";
// The source name under which the tool's errors are logged.
constexpr const char *kSource = "AlgoIteratorToolDlg";

struct SettingKey
{
    const char *key;
    int control;
    const char *defaultText; // null: the data folder of the experiment settings
};

constexpr SettingKey kSettings[] = {
    {"CountingAlgoParams", kParamSet, ""},
    {"ParamNameLevel1", kParamName, "ObjectRadius1"},
    {"StartLevel1", kStart, "5"},
    {"StopLevel1", kStop, "10"},
    {"StepLevel1", kStep, "1"},
    {"Directory", kDirectory, nullptr},
    {"Filter", kFilter, "*.png"},
};

std::string ReadSetting(const char *section, const char *key, const char *defaultText)
{
    char buffer[1023] = {0};
    Ostravo::E_GetPrivateProfileString(section, key, defaultText, buffer, sizeof buffer,
                                       theApp.m_ini_path.c_str());
    return buffer;
}

void ShowError(const std::string &message)
{
    platform::ui::MessageBox(message, kTitle, platform::ui::MbOk | platform::ui::MbIconError);
}

} // namespace

AlgoIteratorTool::AlgoIteratorTool(QWidget *parent) : ToolWindow(kTitle, parent)
{
    m_open_log = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".xls"); };
    BuildControls();
    LoadSettings();
}

AlgoIteratorTool::~AlgoIteratorTool()
{
    m_stop_requested = true;
    JoinWorker();
}

void AlgoIteratorTool::JoinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

void AlgoIteratorTool::BuildControls()
{
    auto *top = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel("Parameter Set", this), 0, 0);
    auto *set = AddControl(kParamSet, new DropDownCombo(this));
    set->setEditable(true);
    set->setInsertPolicy(QComboBox::NoInsert);
    set->setMinimumContentsLength(18);
    set->onDropDown = [this] { ListCountingParamSets(this); };
    grid->addWidget(set, 0, 1, 1, 5);
    auto *editParams = AddControl(kEditParams, new QPushButton("...", this));
    editParams->setAutoDefault(false);
    editParams->setFixedWidth(32);
    grid->addWidget(editParams, 0, 6);

    grid->addWidget(new QLabel("Parameter", this), 1, 0);
    auto *param = AddControl(kParamName, new QComboBox(this));
    param->setEditable(true);
    param->setInsertPolicy(QComboBox::NoInsert);
    param->setMinimumContentsLength(18);
    grid->addWidget(param, 1, 1, 1, 5);

    const struct
    {
        int id;
        const char *caption;
    } numbers[] = {{kStart, "Start"}, {kStop, "Stop"}, {kStep, "Step"}};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(numbers[i].caption, this), 2, i * 2);
        auto *edit = AddControl(numbers[i].id, new QLineEdit(this));
        edit->setMaximumWidth(80);
        grid->addWidget(edit, 2, i * 2 + 1);
        connect(edit, &QLineEdit::textChanged, this, [this] { RestartTimer(kSaveTimer, 1000); });
    }

    grid->addWidget(new QLabel("Image Directory", this), 3, 0);
    auto *folder = AddControl(kDirectory, new QLineEdit(this));
    folder->setMinimumWidth(280);
    grid->addWidget(folder, 3, 1, 1, 5);
    auto *browse = AddControl(kBrowse, new QPushButton("...", this));
    browse->setAutoDefault(false);
    browse->setFixedWidth(32);
    grid->addWidget(browse, 3, 6);
    grid->addWidget(new QLabel("Filter", this), 4, 0);
    auto *filter = AddControl(kFilter, new QLineEdit(this));
    grid->addWidget(filter, 4, 1, 1, 5);
    top->addLayout(grid);

    auto *list = AddControl(kFiles, new QListWidget(this));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setMinimumHeight(160);
    top->addWidget(list, 1);

    auto *bottom = new QHBoxLayout;
    auto *progress = AddControl(kProgress, new QLabel(this));
    progress->setMinimumWidth(200);
    bottom->addWidget(progress, 1);
    auto *run = AddControl(kRun, new QPushButton("Run", this));
    auto *stop = AddControl(kStopButton, new QPushButton("Stop", this));
    run->setAutoDefault(false);
    stop->setAutoDefault(false);
    bottom->addWidget(run);
    bottom->addWidget(stop);
    top->addLayout(bottom);

    for (const std::string &name : CountingSweepOptionNames())
        param->addItem(platform::gui::ToQt(name));

    for (QLineEdit *edit : {folder, filter})
        connect(edit, &QLineEdit::textChanged, this, [this] {
            RestartTimer(kFileListTimer, 1000);
            RestartTimer(kSaveTimer, 1000);
        });
    for (QComboBox *combo : {static_cast<QComboBox *>(set), param}) {
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this] { RestartTimer(kSaveTimer, 1000); });
        connect(combo, &QComboBox::activated, this, [this](int) { RestartTimer(kSaveTimer, 1000); });
    }
    connect(editParams, &QPushButton::clicked, this, [this] { OnEditParams(); });
    connect(browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(run, &QPushButton::clicked, this, [this] { OnRun(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
}

bool AlgoIteratorTool::LoadSettings()
{
    const std::string dataDirectory = ReadSetting("ExperimentSettings", "DataDirectory", "");
    for (const SettingKey &key : kSettings)
        SetControlText(key.control, ReadSetting(kSection, key.key,
                                                key.defaultText ? key.defaultText : dataDirectory.c_str()));
    // Filling the texts raised their change notifications: the list fills and the settings are
    // written back a second later.
    RestartTimer(kFileListTimer, 1000);
    RestartTimer(kSaveTimer, 1000);
    return true;
}

bool AlgoIteratorTool::SaveSettings()
{
    for (const SettingKey &key : kSettings)
        Ostravo::E_WritePrivateProfileString(kSection, key.key, ControlText(key.control).c_str(),
                                             theApp.m_ini_path.c_str());
    return true;
}

void AlgoIteratorTool::DisableControls()
{
    for (int id : {kParamSet, kParamName, kStart, kStop, kStep, kDirectory, kBrowse, kFilter, kFiles, kRun})
        EnableControl(id, false);
    EnableControl(kStopButton, true);
}

void AlgoIteratorTool::EnableControls()
{
    for (int id : {kParamSet, kParamName, kStart, kStop, kStep, kDirectory, kBrowse, kFilter, kFiles, kRun})
        EnableControl(id, true);
    // Stop stays usable at idle, as it always was; a click then changes nothing.
    EnableControl(kStopButton, true);
}

void AlgoIteratorTool::OnRun()
{
    CountingSweepTexts texts;
    texts.set_name = ControlText(kParamSet);
    texts.param_name = ControlText(kParamName);
    texts.start = ControlText(kStart);
    texts.stop = ControlText(kStop);
    texts.step = ControlText(kStep);
    texts.directory = ControlText(kDirectory);
    auto *list = ControlAs<QListWidget>(kFiles);
    for (int row = 0; list && row < list->count(); ++row) {
        if (list->item(row)->isSelected())
            texts.files.push_back(platform::gui::ItemText(list->item(row)));
    }
    EString dataFolder;
    dataFolder.SplitPath(theApp.m_ini_path.c_str(), 1, 0, 0);
    const std::vector<std::string> messages = CheckCountingSweep(texts, dataFolder.c_str(), m_request);
    m_stop_requested = false;
    if (!messages.empty()) {
        std::string text;
        for (const std::string &message : messages)
            text += (text.empty() ? "" : "\n") + message;
        LogError(kSource, __LINE__, text);
        ShowError(text);
        return;
    }
    // The previous sweep gave the controls back as its last step; its thread is ending.
    JoinWorker();
    DisableControls();
    m_worker = std::thread([this, request = m_request] { RunSweep(request); });
}

void AlgoIteratorTool::RunSweep(CountingSweepRequest request)
{
    QPointer<AlgoIteratorTool> window(this);
    const std::string settings = theApp.m_ini_path;
    const std::vector<std::string> lines = RunCountingSweep(
        request, settings, m_stop_requested, [window](int32_t i, int32_t files, int32_t j, int32_t levels) {
            char text[96];
            std::snprintf(text, sizeof text, "file[%ld:%ld] step[%ld:%ld]", long(i), long(files), long(j),
                          long(levels));
            const std::string progress = text;
            PostToWindow(QPointer<QWidget>(window.data()),
                         [window, progress] { window->SetControlText(kProgress, progress); });
        });

    std::string logPath, error;
    if (WriteCountingSweepLog(request.directory, platform::Now(), platform::ComputerName(), lines, logPath,
                              error)) {
        if (m_open_log)
            m_open_log(logPath);
    } else {
        LogError(kSource, __LINE__, error);
    }
    // The window shows the outcome on its own thread, so this thread never waits for the user.
    PostToWindow(QPointer<QWidget>(window.data()), [window, error] {
        window->SetControlText(kProgress, "");
        window->EnableControls();
        if (!error.empty())
            ShowError(error);
    });
}

void AlgoIteratorTool::OnStop()
{
    m_stop_requested = true;
}

void AlgoIteratorTool::OnBrowse()
{
    EString path(ControlText(kDirectory).c_str());
    if (BrowseForFolder(path, "Select a directory with images to process."))
        SetControlText(kDirectory, path.c_str());
}

void AlgoIteratorTool::OnEditParams()
{
    const std::string name = ControlText(kParamSet);
    std::string message;
    if (!name.empty() && !ValidateSetName(name, message)) {
        platform::ui::MessageBox(message, kTitle, platform::ui::MbOk | platform::ui::MbIconWarning);
        return;
    }
    OpenUsingDefaultApp((theApp.m_data_directory + "/LIB/" + name + ".counting_params").c_str(), ".txt");
}

void AlgoIteratorTool::OnTimer(int id)
{
    KillTimer(id);
    if (id == kFileListTimer)
        FillImageFileList(this);
    else if (id == kSaveTimer)
        SaveSettings();
}

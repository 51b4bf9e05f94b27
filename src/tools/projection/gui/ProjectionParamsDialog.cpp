#include "tools/projection/gui/ProjectionParamsDialog.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/BackgroundImages.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "tools/CountingParams.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr const char *kToolSection = "ProjectionAnalysisTool";
constexpr const char *kSetKey = "ProjectionAnalysisParams";
constexpr const char *kCaption = "Projection Analysis Params";
} // namespace

ProjectionParamsDialog::ProjectionParamsDialog(std::string settingsPath)
    : ToolWindow(kCaption), m_settings(std::move(settingsPath))
{
    auto *grid = new QGridLayout(this);
    // The set list is refilled each time it opens.
    auto *sets = AddControl(kParamSet, new DropDownCombo(this));
    sets->onDropDown = [this] { OnDropDownParamSet(); };
    sets->setEditable(true);
    sets->setInsertPolicy(QComboBox::NoInsert);
    sets->setMinimumWidth(220);
    grid->addWidget(sets, 0, 0, 1, 2);
    const struct
    {
        int id;
        const char *label;
    } edits[] = {{kSmoothing, "Smoothing Window (um)"},
                 {kNumPeaks, nullptr},
                 {kStdevArea, "Stdev Integration Area"},
                 {kSamples, "Integration Samples"}};
    int row = 1;
    for (const auto &e : edits) {
        QLabel *label = e.label ? new QLabel(e.label, this)
                                : AddControl(kNumPeaksLabel, new QLabel("Num Peaks to Find", this));
        grid->addWidget(label, row, 0);
        auto *edit = AddControl(e.id, new QLineEdit(this));
        grid->addWidget(edit, row++, 1);
        connect(edit, &QLineEdit::textChanged, this, [this] { OnChangeParam(); });
    }
    auto *valleys = AddControl(kFindValleys, new QCheckBox("Find Valleys", this));
    grid->addWidget(valleys, row++, 0, 1, 2);
    connect(valleys, &QCheckBox::toggled, this, [this] { OnChangeParam(); });
    auto *save = AddControl(kSave, new QPushButton("Save", this));
    save->setAutoDefault(false);
    grid->addWidget(save, row, 1);
    connect(save, &QPushButton::clicked, this, [this] { SaveParams(); });
    // The list is refilled as it opens; a choice is loaded shortly after it closes.
    connect(sets, QOverload<int>::of(&QComboBox::activated), this, [this] { OnCloseUpParamSet(); });
}

void ProjectionParamsDialog::OnInitDialog()
{
    OnDropDownParamSet();
    LoadParams();
    RestartTimer(kRepaintTimer, 1000);
}

void ProjectionParamsDialog::OnDropDownParamSet()
{
    auto *sets = ControlAs<QComboBox>(kParamSet);
    const QString typed = sets->currentText();
    sets->blockSignals(true);
    sets->clear();
    std::vector<std::string> names = ProjectionParamSetNames(m_settings);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
        platform::gui::AddComboItem(sets, name, platform::gui::TextKind::Path);
    sets->setCurrentText(typed);
    sets->blockSignals(false);
}

void ProjectionParamsDialog::OnCloseUpParamSet()
{
    RestartTimer(kLoadSetTimer, 100);
    RestartTimer(kRepaintTimer, 300);
}

void ProjectionParamsDialog::OnChangeParam()
{
    UpdateSnapshot();
    if (m_loading)
        return;
    RestartTimer(kRepaintTimer, 1000);
    EnableControl(kSave, true);
}

void ProjectionParamsDialog::OnTimer(int id)
{
    if (id == kLoadSetTimer) {
        Ostravo::E_WritePrivateProfileString(kToolSection, kSetKey, ControlText(kParamSet).c_str(),
                                             m_settings.c_str());
        LoadParams();
    } else if (id == kRepaintTimer) {
        InvalidateAllViews();
    }
}

void ProjectionParamsDialog::LoadParams()
{
    m_loading = true;
    char name[1024] = {};
    Ostravo::E_GetPrivateProfileString(kToolSection, kSetKey, "ExperimentSettings", name, sizeof name,
                                       m_settings.c_str());
    SetControlText(kParamSet, name);
    const std::string text = ControlText(kParamSet);
    if (text.empty()) {
        m_loading = false;
        return;
    }
    std::string refusal;
    ProjectionParamsFields fields = FieldsFromControls();
    // A stored name that would lead out of LIB is not read; the fields show the defaults.
    if (text == kExperimentSettingsSet || ValidateSetName(text, refusal))
        ReadProjectionParamsFields(ProjectionParamsFileFor(ParamsNameRule::DialogLoad, text, m_settings),
                                   fields);
    else
        fields = ProjectionParamsFields{};
    SetControlText(kSmoothing, fields.smoothing);
    SetControlText(kNumPeaks, fields.numPeaks);
    SetControlText(kStdevArea, fields.stdevArea);
    SetControlText(kSamples, fields.samples);
    SetChecked(kFindValleys, fields.findValleys);
    SetPeaksLabel();
    EnableControl(kSave, false);
    UpdateSnapshot();
    m_loading = false;
}

bool ProjectionParamsDialog::SaveParams()
{
    if (m_loading)
        return false;
    const std::string text = ControlText(kParamSet);
    const bool mainFile = NameMeansMainSettings(ParamsNameRule::DialogSave, text);
    std::string refusal;
    // A typed name becomes a file in LIB: it may not lead anywhere else.
    if (!text.empty() && !mainFile && !ValidateSetName(text, refusal)) {
        LogError(kCaption, __LINE__, refusal.c_str());
        platform::ui::MessageBox(refusal, kCaption, platform::ui::MbOk | platform::ui::MbIconError);
        return false;
    }
    Ostravo::E_WritePrivateProfileString(kToolSection, kSetKey, text.c_str(), m_settings.c_str());
    if (text.empty())
        return false;
    const std::string file = ProjectionParamsFileFor(ParamsNameRule::DialogSave, text, m_settings);
    if (!WriteProjectionParamsFields(file, FieldsFromControls())) {
        const std::string message = "Unable to write the projection parameters to " + file;
        LogError(kCaption, __LINE__, message.c_str());
        platform::ui::MessageBox(message, kCaption, platform::ui::MbOk | platform::ui::MbIconError);
        return false;
    }
    SetPeaksLabel();
    EnableControl(kSave, false);
    return true;
}

ProjectionParamsFields ProjectionParamsDialog::FieldsFromControls() const
{
    ProjectionParamsFields fields;
    fields.smoothing = ControlText(kSmoothing);
    fields.numPeaks = ControlText(kNumPeaks);
    fields.stdevArea = ControlText(kStdevArea);
    fields.samples = ControlText(kSamples);
    fields.findValleys = IsChecked(kFindValleys);
    return fields;
}

void ProjectionParamsDialog::UpdateSnapshot()
{
    ProjectionParamsFields fields = FieldsFromControls();
    std::lock_guard<std::mutex> lock(m_snapshotMutex);
    m_snapshot = std::move(fields);
}

void ProjectionParamsDialog::SetPeaksLabel()
{
    SetControlText(kNumPeaksLabel, IsChecked(kFindValleys) ? "Num Valleys to Find" : "Num Peaks to Find");
}

bool ProjectionParamsDialog::GetParamsFromControls(ProjectionAnalysisParams &params) const
{
    ProjectionParamsFields fields;
    {
        std::lock_guard<std::mutex> lock(m_snapshotMutex);
        fields = m_snapshot;
    }
    ParamsFromFields(fields, params);
    return true;
}

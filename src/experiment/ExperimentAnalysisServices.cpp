#include "experiment/ExperimentAnalysisServices.h"

#include "Ostravo/LogError.h"
#include "app/Placeholders.h"
#include "experiment/HeadlessAnalysis.h"
#include "experiment/Montage.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "tools/ImageFileList.h"

const char *const kAnalysisBusyMessage =
    "CreateMontageImage() - another experiment analysis (montage, video or fractionation) is running. "
    "Please try again when it has finished.";

ExperimentAnalysisServices::ExperimentAnalysisServices(MontageDialogRunner dialog)
    : m_dialog(std::move(dialog))
{
}

bool ExperimentAnalysisServices::RunExperimentAnalysis(int type, const char *experimentFolder, bool switchA,
                                                       bool switchB, const char *outputName, EString &error)
{
    std::string why;
    const bool ok = RunHeadlessExperimentAnalysis(type, experimentFolder ? experimentFolder : "", switchA,
                                                  switchB, outputName ? outputName : "", why);
    if (!ok)
        error = why.c_str();
    return ok;
}

ModelessWindow &ExperimentAnalysisServices::VideoTool()
{
    return ExperimentServicesPlaceholder().VideoTool();
}

ModelessWindow &ExperimentAnalysisServices::ContrastTool()
{
    return ExperimentServicesPlaceholder().ContrastTool();
}

bool ExperimentAnalysisServices::RunMontageDialog(std::string &montageName, std::string &experimentFolder)
{
    if (!m_dialog)
        return ExperimentServicesPlaceholder().RunMontageDialog(montageName, experimentFolder);
    return m_dialog(montageName, experimentFolder);
}

bool ExperimentAnalysisServices::CreateMontageImage(int &resultCode, const char *experimentFolder,
                                                    bool switchA, bool switchB, const char *montageName,
                                                    EString &error)
{
    resultCode = 0;
    std::string text = error.c_str();
    bool busy = false;
    const bool made = TryCreateMontageImage(platform::NormalizePath(experimentFolder ? experimentFolder : ""),
                                            switchA, switchB, montageName ? montageName : "", text, busy);
    if (busy) {
        text = kAnalysisBusyMessage;
        LogError(__FILE__, __LINE__, text);
        platform::ui::MessageBox(text, "Vantelis", platform::ui::MbOk | platform::ui::MbIconWarning);
    } else if (!made && !text.empty()) {
        LogError(__FILE__, __LINE__, text);
    }
    error = text.c_str();
    resultCode = made ? 1 : 0;
    return made;
}

bool ExperimentAnalysisServices::FillImageList(const char *folder, const char *filter,
                                               std::vector<std::string> &names)
{
    return ListImageFiles(folder ? folder : "", filter ? filter : "", names);
}

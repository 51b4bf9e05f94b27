#pragma once
// The experiment services that the montage, the sample-flow video and the image list serve; every
// other call still goes to the placeholder of what is not built yet.
#include "app/ExperimentServices.h"

#include <functional>
#include <string>

class ExperimentAnalysisServices : public ExperimentServices
{
  public:
    // Runs the montage dialog on the user-interface thread: on OK the name and the folder.
    using MontageDialogRunner = std::function<bool(std::string &name, std::string &folder)>;

    // Without a dialog (the headless run) the montage dialog answers as the placeholder does.
    explicit ExperimentAnalysisServices(MontageDialogRunner dialog = nullptr);

    bool RunExperimentAnalysis(int type, const char *experimentFolder, bool switchA, bool switchB,
                               const char *outputName, EString &error) override;
    ModelessWindow &VideoTool() override;
    ModelessWindow &ContrastTool() override;
    bool RunMontageDialog(std::string &montageName, std::string &experimentFolder) override;
    // The main window's montage command, on the user-interface thread: when another analysis runs
    // it says so instead of waiting for it. Failures go to the error log.
    bool CreateMontageImage(int &resultCode, const char *experimentFolder, bool switchA, bool switchB,
                            const char *montageName, EString &error) override;
    bool FillImageList(const char *folder, const char *filter, std::vector<std::string> &names) override;

  private:
    MontageDialogRunner m_dialog;
};

// The message of a montage command refused while another analysis runs.
extern const char *const kAnalysisBusyMessage;

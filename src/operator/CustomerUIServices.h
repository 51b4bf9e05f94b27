#pragma once
// The operator screen's services as the application shell and the render thread see them: the
// screen's state, its reload and the flow split are served by the screen's model; the window and
// what it draws still come from the placeholder until the window is installed.
#include "app/OperatorScreenServices.h"

class CustomerUIServices : public OperatorScreenServices
{
  public:
    ModelessWindow &Screen() override;
    ModelessWindow &ScriptsDialog() override;
    int32_t State() override;
    void LiveImageArea(int32_t rect[4], double zoom[4]) override;
    IntensityControl *CheckedIntensityControl() override;
    void UpdateFlowSplitText(bool repaint) override;
    std::shared_ptr<RenderTarget> LiveImageTarget() override;
    bool FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                       std::string &error) override;
    bool Reload(const char *scriptPath, std::string &error) override;
    bool SetFlowSplit(int32_t percent) override;
};

// Installs the operator screen's services and the end-of-run cleanup of interpreter handle 1;
// returns the previous services.
std::shared_ptr<OperatorScreenServices> InstallCustomerUIServices();

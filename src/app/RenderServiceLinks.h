#pragma once
// The renderer's links to the tool windows, the operator screen and the devices as the program
// has them: each forwards to that subsystem's service slots (ProjectionTool(), Fractionation(),
// OperatorScreen(), LiveOverlay()), so the renderer reaches whatever is installed there, or its null
// answer.
#include "app/Renderer.h"

class ToolServicesRenderLink : public RenderToolLink
{
  public:
    bool ProjectionToolShown(CalibrationLines &lines) override;
    bool FractionationToolShown(CalibrationLines &lines) override;
};

class OperatorScreenRenderLink : public RenderOperatorLink
{
  public:
    bool WindowExists() override;
    bool IsShown() override;
    bool LiveVideoTarget(std::shared_ptr<RenderTarget> &target, ImageRect &rect, ZoomWindow &zoom) override;
    bool FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                       std::string &error) override;
    void UpdateFlowSplitText() override;
};

class DeviceServicesRenderLink : public RenderDeviceLink
{
  public:
    void DrawVideoSymbols(DrawingSurface &surface, const VideoSymbolFrame &frame) override;
    void ReportBrightness(int32_t median, bool withinLimits) override;
};

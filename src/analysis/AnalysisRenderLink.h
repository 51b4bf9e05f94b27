#pragma once
// The analysis code's side of the renderer: the projection below the active ROI and the projection
// analysis drawn to its right. The renderer lives in an earlier library, so the program hands it
// this link when it installs the render thread.
#include "app/Renderer.h"

class AnalysisRenderLink : public RenderAnalysisLink
{
  public:
    bool ComputeHorizontalProjection(const cv::Mat &image, const ImageRect &roi, const cv::Mat *background,
                                     std::vector<int32_t> &values) override;
    void DrawProjectionRightOfRoi(RenderJob &job, const ImageRect &roi) override;
};

// The render links of the program as built: the application object's, this analysis link, and
// the tools, operator screen and devices through their service slots.
RenderLinks ProgramRenderLinks();

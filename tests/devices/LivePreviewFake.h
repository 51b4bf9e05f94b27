#pragma once
// A live preview whose button, document and image size the test sets, installed with the device
// layer of the live-image test helpers over the placeholder.
#include "app/PlexorinApp.h"
#include "devices/BrightnessAtTarget.h"
#include "devices/ControlPanelServices.h"
#include "devices/VideoSymbols.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace vantelis::test {

class FakeLivePreview : public LivePreview
{
  public:
    bool LiveButtonPressed() override { return pressed; }
    bool LiveDocument(bool &hasImage, int32_t &width, int32_t &height) override
    {
        hasImage = image;
        width = columns;
        height = rows;
        return document;
    }

    std::atomic<bool> pressed{true};
    std::atomic<bool> document{true};
    std::atomic<bool> image{true};
    std::atomic<int32_t> columns{100};
    std::atomic<int32_t> rows{80};
};

class LivePreviewFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        SetLivePreview(preview);
        UninstallDeviceServices();
        InstallControlPanelServices();
        theApp.m_analysis_mode = false;
        theApp.m_admin_mode = false;
        ResetVideoSymbolsForTesting();
    }
    void TearDown() override
    {
        SetLivePreview(nullptr);
        UninstallDeviceServices();
        theApp.m_analysis_mode = false;
        theApp.m_admin_mode = false;
        ResetVideoSymbolsForTesting();
    }

    std::shared_ptr<FakeLivePreview> preview = std::make_shared<FakeLivePreview>();
};

} // namespace vantelis::test

// The installed operator-screen services reach the screen's model; the window's parts still answer
// as the placeholder does.
#include "operator/CustomerUIServices.h"

#include "app/ViewGlobals.h"
#include "operator/CustomerUI.h"
#include "platform/Clock.h"
#include "script/ScriptRuntime.h"

#include <gtest/gtest.h>

namespace {

TEST(CustomerUIServicesTest, ModelPartsAreServedAndWindowPartsForwarded)
{
    const FlowSplit old = _flow_split.Get();
    _flow_split.Set(FlowSplit{});
    std::shared_ptr<OperatorScreenServices> previous = InstallCustomerUIServices();

    std::string error;
    theCustomerUI().Reset();
    ASSERT_TRUE(theCustomerUI().SetState(PromptInfo, error));
    EXPECT_EQ(OperatorScreen().State(), PromptInfo);
    EXPECT_TRUE(OperatorScreen().SetFlowSplit(-10));
    EXPECT_DOUBLE_EQ(_flow_split.Get().split_fraction, 0.4);
    EXPECT_FALSE(OperatorScreen().SetFlowSplit(11));
    EXPECT_DOUBLE_EQ(_flow_split.Get().split_fraction, 0.4);
    // A missing script is no error and resets the screen.
    EXPECT_TRUE(OperatorScreen().Reload("/nonexistent/Op.scr", error));
    EXPECT_EQ(OperatorScreen().State(), UndefinedState);
    EXPECT_EQ(OperatorScreen().LiveImageTarget(), nullptr);
    // A script that stops live imaging keeps the live video screen from switching it on again.
    EXPECT_TRUE(theCustomerUI().LiveImageMayStart());
    OperatorScreen().SetLiveImageStopTime(platform::Now());
    EXPECT_FALSE(theCustomerUI().LiveImageMayStart());
    theCustomerUI().ClearLiveImageStop();

    InstallOperatorScreenServices(previous);
    SetScriptOwnerHooks(1, {});
    _flow_split.Set(old);
}

} // namespace

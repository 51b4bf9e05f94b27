// The command table, its lookup, the dispatcher's own commands and the handler registry.
#include "RecordingCommand.h"
#include "ScriptFixture.h"

#include <set>

namespace {

TEST(CommandTableTest, HoldsEveryIdOnceSortedByBytes)
{
    BuildCommandTable();
    const auto &table = CommandTable();
    ASSERT_EQ(table.size(), 206u);
    std::set<int> ids;
    for (size_t i = 0; i < table.size(); ++i) {
        ids.insert(table[i].id);
        EXPECT_EQ(FindCommandId(table[i].name.c_str()), static_cast<int>(i)) << table[i].name;
        if (i > 0) {
            // Unsigned byte order, written out here rather than taken from the library.
            const std::string &a = table[i - 1].name;
            const std::string &b = table[i].name;
            EXPECT_TRUE(std::lexicographical_compare(
                a.begin(), a.end(), b.begin(), b.end(),
                [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); }))
                << a << " / " << b;
        }
    }
    EXPECT_EQ(ids.size(), 206u);
    EXPECT_EQ(*ids.begin(), 0);
    EXPECT_EQ(*ids.rbegin(), 205);
    BuildCommandTable(); // a second build changes nothing
    EXPECT_EQ(&CommandTable(), &table);
    EXPECT_EQ(CommandTable().size(), 206u);
}

TEST(CommandTableTest, NamesAndIdsAsListed)
{
    const struct
    {
        const char *name;
        int id;
    } cases[] = {{"PromptInfo", 0},
                 {"Wait", 7},
                 {"GetSyringeAspiratedVolume", 20},
                 {"FG_Start", 47},
                 {"ShowExperimentSettings", 49},
                 {"CustomerUI_SetHilightTextColor", 119},
                 {"ZB_Home", 123},
                 {"ZaberControlPanel", 145},
                 {"CustomerUI_SetCheckboxInput", 181},
                 {"CustomerUI_GetCheckBoxState", 182},
                 {"IsStringInt", 190},
                 {"EndDisplayRotationCorrectedImages", 205}};
    for (const auto &c : cases) {
        const int entry = FindCommandId(c.name);
        ASSERT_GE(entry, 0) << c.name;
        EXPECT_EQ(CommandTable()[static_cast<size_t>(entry)].id, c.id) << c.name;
        EXPECT_STREQ(CommandName(c.id), c.name);
    }
    // Upper-case letters sort before "_", which sorts before lower-case letters.
    EXPECT_LT(FindCommandId("ZB_Home"), FindCommandId("ZaberControlPanel"));
    EXPECT_LT(FindCommandId("DIO_Reset"), FindCommandId("DeleteImageAnalysisRunHandle"));
    for (const char *missing :
         {"wait", "WAIT", "Wai", "Waitx", "", "AAA", "zzz", "CustomerUI_SetCheckBoxInput"})
        EXPECT_EQ(FindCommandId(missing), -1) << missing;
}

TEST(CommandTableTest, DispatcherRefusesUnknownIndex)
{
    Script instance;
    VariableList variables;
    EString error;
    EXPECT_FALSE(instance.CallBuiltInFunction(206, "();", variables, true, error));
    EXPECT_STREQ(error.c_str(), "Unknown function index: 206");
    EXPECT_FALSE(instance.CallBuiltInFunction(-1, "();", variables, false, error));
    EXPECT_STREQ(error.c_str(), "Unknown function index: -1");
}

TEST(CommandTableTest, ObsoleteCommandsFailInBothPasses)
{
    const struct
    {
        const char *name;
        const char *message;
    } cases[] = {
        {"SetPinchValveState", "SetPinchValveState() - Function is obsolete"},
        {"SetChannelDivider", "SetChannelDivider() - This function is obsolete as of V1.445 - please use "
                              "CustomerUI_SetFlowSplit(isplit)."},
        {"FG_SetFlowRates", "FG_SetFlowRates() - not supported after V1.161"},
        {"FG_SetPressures", "FG_SetPressures() - not supported after V1.491"},
        {"FG_RunState", "FG_RunState() - not supported after V1.161"},
        {"FG_Start", "FG_Start() - not supported after V1.161"},
        {"FG_Stop", "FG_Stop() - not supported after V1.491"},
        {"FG_SetValveState", "FG_SetValveState() - not supported after V1.491"},
        {"FG_GetValveState", "FG_GetValveState() - not supported after V1.491"},
        {"FG_SetMultiValveState", "FG_SetMultiValveState() - not supported after V1.491"},
        {"FG_GetPressures", "FG_GetPressures() - not supported after V1.491"},
        {"FG_GetFlowRates", "FG_GetFlowRates() - not supported after V1.491"},
        {"FG_StartRecordingVolume", "FG_StartRecordingVolume() - not supported after V1.491"},
        {"FG_GetVolume", "FG_GetVolume() - not supported after V1.491"},
        {"FG_DispenseAtConstPressure", "FG_DispenseAtConstPressure() - not supported after V1.491"},
        {"FG_DispenseAtConstFlowRate", "FG_DispenseAtConstFlowRate() - not supported after V1.491"},
        {"FG_IsDispensing", "FG_IsDispensing() - not supported after V1.491"},
        {"FG_Logging", "FG_Logging() - not supported after V1.491"},
        {"FG_SetSensorRegulation", "FG_SetSensorRegulation() - not supported after V1.491"},
        {"FG_SetSensorCustomScale", "FG_SetSensorCustomScale() - not supported after V1.491"},
        {"FG_SetSensorRegulationResponse", "FG_SetSensorRegulationResponse() - not supported after V1.491"},
        {"FG_SetPressureResponse", "FG_SetPressureResponse() - not supported after V1.491"},
        {"FG_StopRecordingVolume", "FG_StopRecordingVolume() - not supported after V1.491"},
        {"FG_StopDispensing", "FG_StopDispensing() - not supported after V1.491"},
        {"FG_SetFullVolumeCapacity", "FG_SetFullVolumeCapacity() - not supported after V1.491"},
        {"FG_SetInitialVolume", "FG_SetInitialVolume() - not supported after V1.491"},
        {"FG_ShowVolumeInFluigentView", "FG_ShowVolumeInFluigentView() - not supported after V1.491"},
        {"CustomerUI_SampleLoading", "CustomerUI_SampleLoading() is obsolete. Please use ShowVideo()"},
        {"CustomerUI_SampleEquilibrating",
         "CustomerUI_SampleEquilibrating() is obsolete. Please use ShowVideo()"},
        {"CustomerUI_SelectFlowSplitPosition",
         "CustomerUI_SelectFlowSplitPosition() is obsolete. Please use ShowVideo()"},
        {"CustomerUI_SampleFlowing", "CustomerUI_SampleFlowing() is obsolete. Please use ShowVideo()"},
    };
    EXPECT_EQ(std::size(cases), 31u);
    for (int handle : {SCRIPT_HANDLE_FLUIDIC_SYSTEM, SCRIPT_HANDLE_CUSTOMER_UI}) {
        Script instance(handle);
        for (const auto &c : cases) {
            const int entry = FindCommandId(c.name);
            ASSERT_GE(entry, 0) << c.name;
            const int id = CommandTable()[static_cast<size_t>(entry)].id;
            for (bool checkOnly : {true, false}) {
                VariableList variables;
                EString error;
                // The argument text is not examined, so even a broken one gives the message.
                EXPECT_FALSE(instance.CallBuiltInFunction(id, "garbage", variables, checkOnly, error))
                    << c.name;
                EXPECT_STREQ(error.c_str(), c.message);
            }
            EXPECT_FALSE(RegisterCommandHandler(id, [](Script &, const char *, VariableList &, bool,
                                                       EString &) {
                return true;
            })) << c.name;
        }
    }
}

class DispatcherScriptTest : public ScriptFixture
{
};

TEST_F(DispatcherScriptTest, EmptySyringeLoadsAndFailsWhenReached)
{
    const struct
    {
        const char *line;
        const char *message;
    } cases[] = {{"EmptySyringe(1);", "EmptySyringe() - Function is obsolete"},
                 {"EmptySyringe(0);", "EmptySyringe() - Function is obsolete"},
                 {"EmptySyringe(5);", "EmptySyringe() isyringe must be equal to 0 (both) 1 or 2"},
                 {"EmptySyringe(-1);", "EmptySyringe() isyringe must be equal to 0 (both) 1 or 2"}};
    for (const auto &c : cases) {
        Script instance;
        EString error;
        EXPECT_FALSE(LoadAndRun(instance, Lines({"int a;", c.line}), error));
        EXPECT_EQ(std::string(error.c_str()), std::string(c.line) + " : " + c.message);
    }
    Script instance;
    EString error;
    const std::string path = WriteScript("bad.scr", "EmptySyringe(x);\n");
    EXPECT_FALSE(Load(instance, path, error));
    EXPECT_EQ(std::string(error.c_str()),
              path + " at line 1 : Variable \"x\" is not defined, expecting int parameter 1");
}

TEST_F(DispatcherScriptTest, UnregisteredCommandLoadsAndFailsWhenReached)
{
    ASSERT_FALSE(RegisteredCommandHandler(cmd::StrLen));
    Script instance;
    EString error;
    EXPECT_FALSE(LoadAndRun(
        instance, Lines({"int n;", "if (n == 1)", "{", "  StrLen(\"abc\", n);", "}", "StrLen(\"abc\", n);"}),
        error));
    EXPECT_STREQ(error.c_str(), "StrLen(\"abc\", n); : StrLen() - not available in this build.");
}

TEST_F(DispatcherScriptTest, NoOpCommandsIgnoreTheirArguments)
{
    Script instance;
    EString error;
    EXPECT_TRUE(
        LoadAndRun(instance,
                   Lines({"ResetDIO(anything at all, \"x\";", "EndDisplayRotationCorrectedImages(1,2,3);",
                          "StartDisplayRotationCorrectedImages(;"}),
                   error))
        << error.c_str();
}

TEST_F(DispatcherScriptTest, AliasesUseTheHandlersOfTheirCommands)
{
    // Unregistered targets: the aliases load, and fail with their own name when reached.
    {
        Script instance;
        EString error;
        EXPECT_FALSE(LoadAndRun(instance, "ValidateDispense(1);\n", error));
        EXPECT_STREQ(error.c_str(),
                     "ValidateDispense(1); : ValidateDispense() - not available in this build.");
    }
    RecordingCommand dispense(cmd::Dispense);
    RecordingCommand clamp(cmd::GetClampState);
    Script instance;
    EString error;
    EXPECT_TRUE(LoadAndRun(
        instance, Lines({"ValidateDispense(4);", "GetCartridgeState(8);", "GetClampState(9);"}), error))
        << error.c_str();
    // ValidateDispense is check-only in both passes: it is counted as a check twice and never runs.
    EXPECT_EQ(dispense.checks, 2);
    EXPECT_TRUE(dispense.calls.empty());
    EXPECT_EQ(clamp.calls, (std::vector<std::string>{"8", "9"}));
    EXPECT_FALSE(RegisterCommandHandler(cmd::ValidateDispense, nullptr));
    EXPECT_FALSE(RegisterCommandHandler(cmd::GetCartridgeState, nullptr));
}

TEST_F(DispatcherScriptTest, HandlerExceptionBecomesTheCommandsError)
{
    RegisterCommandHandler(cmd::PlaySound,
                           [](Script &, const char *, VariableList &, bool checkOnly, EString &) -> bool {
                               if (!checkOnly)
                                   throw std::runtime_error("device gone");
                               return true;
                           });
    Script instance;
    EString error;
    EXPECT_FALSE(LoadAndRun(instance, "PlaySound(\"x\");\n", error));
    RegisterCommandHandler(cmd::PlaySound, nullptr);
    EXPECT_STREQ(error.c_str(), "PlaySound(\"x\"); : PlaySound() - device gone");
}

} // namespace

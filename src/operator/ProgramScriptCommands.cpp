#include "operator/ProgramScriptCommands.h"

#include "operator/CustomerUICommands.h"
#include "operator/CustomerUIExperimentCommands.h"
#include "operator/CustomerUILayoutCommands.h"
#include "script/commands/AnalysisRunCommands.h"
#include "script/commands/DataFileCommands.h"
#include "script/commands/InstrumentCommands.h"
#include "script/commands/LogTimeSoundCommands.h"
#include "script/commands/PromptCommands.h"
#include "script/commands/PumpCommands.h"
#include "script/commands/RoiCommands.h"
#include "script/commands/StageCommands.h"
#include "script/commands/StringCommands.h"
#include "script/commands/WorkflowCommands.h"

void RegisterProgramScriptCommands()
{
    RegisterPumpCommands();
    RegisterPromptCommands();
    RegisterStageCommands();
    RegisterWorkflowCommands();
    RegisterInstrumentCommands();
    RegisterAnalysisRunCommands();
    RegisterDataFileCommands();
    RegisterRoiCommands();
    RegisterStringCommands();
    RegisterLogTimeSoundCommands();
    RegisterCustomerUICommands();
    RegisterCustomerUILayoutCommands();
    RegisterCustomerUIExperimentCommands();
}

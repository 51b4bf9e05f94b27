// Bar-code, cartridge, clamp, digital-line and manufacturing-test commands of the script language.
// Each reads its arguments in order and, while the script loads, stops there; only the clamp
// state refuses a literal in place of its variable at load. At run time a literal where a result
// belongs is refused before anything happens, since there is nowhere to write the result.
#include "script/commands/InstrumentCommands.h"

#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "devices/BrightnessAtTarget.h"
#include "devices/CartridgeTypes.h"
#include "devices/DigitalIoMapping.h"
#include "devices/DigitalLines.h"
#include "devices/VideoSymbols.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

namespace {

using script_parse::SetError;

// An int result is written only into an int variable; a double variable passes the parser and
// keeps its value.
void StoreInt(Variable *variable, int32_t value)
{
    if (variable && variable->type == kVariableInt)
        variable->integer = value;
}

void StoreText(Variable *variable, const char *text)
{
    if (variable && variable->type == kVariableString)
        variable->text.Assign(text);
}

// Every result argument of a command named name must be a variable when the command runs.
bool ResultsAreVariables(const char *name, std::initializer_list<std::pair<int, const Variable *>> results,
                         EString &error)
{
    for (const auto &[parameter, variable] : results)
        if (!CheckResultVariable(name, parameter, variable, error))
            return false;
    return true;
}

// ---- Clamp and cartridge sensors ----

bool GetClampState(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *state = nullptr;
    if (!args.Start() || !args.IntResult(state))
        return false;
    if (!state) {
        SetError(error, "Invalid parameter 2, expecting an int variable");
        return false;
    }
    if (checkOnly)
        return true;
    StoreInt(state, 1);
    return true;
}

// ---- Bar codes and cartridge types ----

// One number of a bar code from the characters [first, first + count) of the dash-free code.
bool ReadBarCodeNumber(const std::string &code, size_t first, size_t count, int32_t &number)
{
    return ScanLong32(code.substr(first, count).c_str(), number);
}

bool ParseBarCode(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    static const char *const kName = "ParseBarCode";
    // This command numbers its arguments from 0: the bar code is 0, the results 1 to 4.
    ArgumentReader args(arguments, variables, error, 0);
    EString barcode;
    Variable *results[4] = {};
    if (!args.Start() || !args.Text(barcode))
        return false;
    for (int i = 0; i < 4; ++i)
        if (!args.IntResult(results[i]))
            return false;
    if (checkOnly)
        return true;
    if (!ResultsAreVariables(kName, {{1, results[0]}, {2, results[1]}, {3, results[2]}, {4, results[3]}},
                             error))
        return false;

    std::string code;
    for (const char *p = barcode.c_str(); *p; ++p)
        if (*p != '-')
            code.push_back(*p);
    Variable *valid = results[0];
    if (code.size() < 10) {
        StoreInt(valid, 0);
        return true;
    }
    struct Field
    {
        size_t first;
        size_t count;
    };
    static const Field kFields[3] = {{0, 3}, {3, 3}, {6, 4}};
    for (int i = 0; i < 3; ++i) {
        int32_t number = 0;
        if (!ReadBarCodeNumber(code, kFields[i].first, kFields[i].count, number)) {
            StoreInt(valid, 0);
            return true;
        }
        StoreInt(results[i + 1], number);
    }
    StoreInt(valid, 1);
    return true;
}

bool GetCartridgeTypeFromBarCode(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                                 EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString barcode;
    Variable *typeName = nullptr;
    if (!args.Start() || !args.Text(barcode) || !args.TextResult(typeName))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("GetCartridgeTypeFromBarCode", 2, typeName, error))
        return false;
    EString found;
    EString path;
    if (FindCartridgeTypeForBarcode(barcode.c_str(), found, path))
        StoreText(typeName, found.c_str());
    return true;
}

bool SetCurrentBarCode(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString barcode;
    if (!args.Start() || !args.Text(barcode))
        return false;
    if (checkOnly)
        return true;
    // The bar code becomes current whether or not a type matches it; a bar code that matches none
    // leaves the settings file as it was.
    SetCurrentCartridgeBarcode(barcode.c_str());
    EString ignored;
    ImposeCartridgeTypeOffsets(theApp.m_ini_path.c_str(), barcode.c_str(), ignored);
    return true;
}

// ---- Digital lines ----

// Port 0 has lines 0 to 7, port 1 lines 0 to 3.
bool CheckLine(int32_t port, int32_t line, EString &error)
{
    const uint32_t p = static_cast<uint32_t>(port);
    if (p > 1) {
        SetError(error, "iport must be either 0 or 1");
        return false;
    }
    if (p == 0 && (line < 0 || line > 7)) {
        SetError(error, "line number must be between 0 and 7 for port=0");
        return false;
    }
    if (p == 1 && (line < 0 || line > 3)) {
        SetError(error, "line number must be between 0 and 3 for port=1");
        return false;
    }
    return true;
}

std::shared_ptr<DigitalLineDriver> LineDriver(const char *name, EString &error)
{
    std::shared_ptr<DigitalLineDriver> driver = InstalledDigitalLineDriver();
    if (!driver)
        SetError(error, FormatText("%s() - no digital I/O device found.", name));
    return driver;
}

bool DioGetInputLineState(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                          EString &error)
{
    static const char *const kName = "DIO_GetInputLineState";
    ArgumentReader args(arguments, variables, error);
    int32_t port = 0;
    int32_t line = 0;
    Variable *state = nullptr;
    if (!args.Start() || !args.Int(port) || !args.Int(line) || !args.IntResult(state))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable(kName, 3, state, error) || !CheckLine(port, line, error))
        return false;
    if (ConfiguredDioLineUse(port, line) != kDioLineInput) {
        SetError(error, FormatText("port=%ld line=%ld is not configured for input", static_cast<long>(port),
                                   static_cast<long>(line)));
        return false;
    }
    std::shared_ptr<DigitalLineDriver> driver = LineDriver(kName, error);
    int32_t value = 0;
    if (!driver || !driver->ReadInputLine(port, line, value, error))
        return false;
    StoreInt(state, value != 0 ? 1 : 0);
    return true;
}

bool DioSetOutputLineState(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                           EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t port = 0;
    int32_t line = 0;
    int32_t state = 0;
    if (!args.Start() || !args.Int(port) || !args.Int(line) || !args.Int(state))
        return false;
    if (checkOnly)
        return true;
    if (!CheckLine(port, line, error))
        return false;
    if (state != 0 && state != 1) {
        SetError(error, "state must be 0 or 1");
        return false;
    }
    if (ConfiguredDioLineUse(port, line) != kDioLineOutput) {
        SetError(error, FormatText("port=%ld line=%ld is not configured for output", static_cast<long>(port),
                                   static_cast<long>(line)));
        return false;
    }
    std::shared_ptr<DigitalLineDriver> driver = LineDriver("DIO_SetOutputLineState", error);
    return driver && driver->WriteOutputLine(port, line, state, error);
}

// ---- Manufacturing tests over the live image ----

bool BrightnessAtTarget(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                        EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t values[6] = {};
    Variable *brightness = nullptr;
    if (!args.Start())
        return false;
    for (int i = 0; i < 6; ++i)
        if (!args.Int(values[i]))
            return false;
    if (!args.IntResult(brightness))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("MfgTest_BrightnessAtTarget", 7, brightness, error))
        return false;
    int32_t measured = 0;
    if (!MfgTest_BrightnessAtTarget(values[0], values[1], values[2], values[3], values[4], values[5],
                                    measured, error))
        return false;
    StoreInt(brightness, measured);
    return true;
}

bool ShowSymbolOverVideo(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                         EString &error)
{
    static const char *const kName = "MfgTest_ShowSymbolOverVideo";
    ArgumentReader args(arguments, variables, error);
    int32_t values[7] = {};
    Variable *ok = nullptr;
    Variable *message = nullptr;
    if (!args.Start())
        return false;
    for (int i = 0; i < 7; ++i)
        if (!args.Int(values[i]))
            return false;
    if (!args.IntResult(ok) || !args.TextResult(message))
        return false;
    if (checkOnly)
        return true;
    if (!ResultsAreVariables(kName, {{8, ok}, {9, message}}, error))
        return false;
    // A refused symbol shows only in the results; the command itself succeeds.
    EString text;
    const bool shown = MfgTest_ShowSymbolOverVideo(values[0], values[1], values[2], values[3], values[4],
                                                   values[5], values[6], text);
    StoreInt(ok, shown ? 1 : 0);
    StoreText(message, shown ? "" : text.c_str());
    error.Assign("");
    return true;
}

bool CreateSymbolType(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString name;
    Variable *id = nullptr;
    Variable *existed = nullptr;
    if (!args.Start() || !args.Text(name) || !args.IntResult(id) || !args.IntResult(existed))
        return false;
    if (checkOnly)
        return true;
    if (!ResultsAreVariables("MfgTest_CreateSymbolType", {{2, id}, {3, existed}}, error))
        return false;
    int32_t typeId = 0;
    int32_t wasThere = 0;
    FindOrCreateSymbolType(name.c_str(), typeId, wasThere);
    StoreInt(id, typeId);
    StoreInt(existed, wasThere);
    return true;
}

bool AddPointToSymbol(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t type = 0;
    int32_t x = 0;
    int32_t y = 0;
    if (!args.Start() || !args.Int(type) || !args.Int(x) || !args.Int(y))
        return false;
    if (checkOnly)
        return true;
    return AddPointToSymbolType(type, x, y, "MfgTest_AddPointToSymbolType", error);
}

} // namespace

void RegisterInstrumentCommands()
{
    // GetCartridgeState reaches the same handler through the dispatcher.
    RegisterCommandHandler(cmd::GetClampState, GetClampState);
    RegisterCommandHandler(cmd::ParseBarCode, ParseBarCode);
    RegisterCommandHandler(cmd::GetCartridgeTypeFromBarCode, GetCartridgeTypeFromBarCode);
    RegisterCommandHandler(cmd::SetCurrentBarCode, SetCurrentBarCode);
    RegisterCommandHandler(cmd::DIO_GetInputLineState, DioGetInputLineState);
    RegisterCommandHandler(cmd::DIO_SetOutputLineState, DioSetOutputLineState);
    RegisterCommandHandler(cmd::MfgTest_BrightnessAtTarget, BrightnessAtTarget);
    RegisterCommandHandler(cmd::MfgTest_ShowSymbolOverVideo, ShowSymbolOverVideo);
    RegisterCommandHandler(cmd::MfgTest_CreateSymbolType, CreateSymbolType);
    RegisterCommandHandler(cmd::MfgTest_AddPointToSymbolType, AddPointToSymbol);
}

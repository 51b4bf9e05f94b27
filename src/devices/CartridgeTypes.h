#pragma once
// Cartridge types: one definition file per type in <data folder>/Cartridge/<name>.ini, naming the
// bar codes that belong to the type (bar-code formats and bar-code ID prefixes), the offsets of the
// type's channel edges from the calibrated channel lines (microns) and its sample volume. All files
// are loaded once at start-up; a bar code that becomes current is matched against them and its
// type's offsets are imposed on a settings file.
//
// Also the fixed table of the cartridge products the operator chooses from (the cartridge choice
// dialog and the experiment-name prompt): four part numbers of the form ###-###-####.
#include "Ostravo/EString.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

struct CartridgeType
{
    // Full path of the definition file; set last, after validation.
    EString file_path;
    // Valid formats of keys f01..f10 in key order ('#' any digit, '-', 'G', 'N' themselves).
    std::vector<EString> barcode_formats;
    // The bar-code ID prefixes of [BarcodeIDs] ids, in their order.
    std::vector<EString> barcode_ids;
    // [General] Type.
    EString type_name;

    // Clears the record, reads and validates one file; every problem goes into error under one
    // "CartridgeFile: <path>" line. True when there was none.
    bool Load(const char *filePath, EString &error);
    // True when the bar code fits one of the formats exactly and begins with one of the IDs.
    bool MatchesBarcode(const char *barcode) const;
};

// The loaded types in load order (the folder listing's, sorted by name); filled at start-up and
// only read afterwards. A copy of the pointer list is handed out, so a reload never disturbs a
// reader.
std::vector<std::shared_ptr<const CartridgeType>> CartridgeTypeList();
// Empties the list (program exit, tests).
void ClearCartridgeTypeList();

// <data folder>/Cartridge.
std::string CartridgeFolder();
// Empties the list and loads every *.ini of the cartridge folder (made when missing). True when
// every file loaded; false with all messages in error (the good files are loaded all the same).
bool LoadCartridgeTypes(EString &error);
// The first loaded type that matches; type name and file path are left alone when none does.
bool FindCartridgeTypeForBarcode(const char *barcode, EString &typeName, EString &filePath);
// Writes the matched type's name and the bar code into [ExperimentSettings] and the channel rows
// and sample volume into [Cartridge] of the settings file. Every value is read and checked before
// the first is written, so a refused definition leaves the file as it was.
bool ImposeCartridgeTypeOffsets(const char *settingsFile, const char *barcode, EString &error);
// The upper channel offset in image rows of the type that matches the bar code; nothing written.
bool GetCartridgeTypeOffsetIntValues(const char *settingsFile, const char *barcode, int &upperOffsetPx,
                                     EString &error);

// The current cartridge bar code (theApp.m_cartridge_barcode) under its own lock: a script thread
// sets it while the capture workflow reads it for a new experiment. Any thread.
void SetCurrentCartridgeBarcode(const char *barcode);
std::string CurrentCartridgeBarcode();

// One row of the cartridge product table.
struct CartridgeProduct
{
    const char *part_number; // ###-###-####
    const char *model;       // shown in parentheses after the three-digit prefix
};
const std::array<CartridgeProduct, 4> &CartridgeProducts();
// The part number of choice 0..3; any other value gives the first row's.
const char *CartridgePartNumber(int choice);
// The row whose three-digit prefix begins the bar code (a bar code of more than three characters);
// 0 when none does.
int CartridgeChoiceForBarcode(const char *barcode);
// The radio-button caption of a row: "<prefix> (<model>)".
std::string CartridgeChoiceCaption(int choice);

#include "devices/CartridgeTypes.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

constexpr int32_t kOffsetLimitPx = 2000;
constexpr int32_t kDefaultSampleVolume = 270;

std::mutex &ListMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<std::shared_ptr<const CartridgeType>> &List()
{
    static std::vector<std::shared_ptr<const CartridgeType>> list;
    return list;
}

void AddProblem(EString &error, const char *filePath, const std::string &problem)
{
    if (!error.IsNonEmpty())
        error.Assign(FormatText("CartridgeFile: %s\n", filePath).c_str());
    else
        error.Append("\n");
    error.Append(problem.c_str());
}

bool IsFormatChar(char c)
{
    return c == '#' || c == '-' || c == 'G' || c == 'N';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

double ReadDouble(const char *section, const char *key, const char *file)
{
    double value = 0;
    if (!Ostravo::ScanNumber(Ostravo::ReadProfileString(section, key, "", 31, file), value))
        return 0;
    return value;
}

// Microns to image rows, to the nearest row (halves away from zero).
long MicronsToPixels(int32_t microns, double pixelsPerMm)
{
    return std::lround(static_cast<double>(microns) * pixelsPerMm / 1000.0);
}

std::shared_ptr<const CartridgeType> FindType(const char *barcode)
{
    for (const auto &type : CartridgeTypeList())
        if (type->MatchesBarcode(barcode))
            return type;
    return nullptr;
}

// Steps shared by both offset operations: bar code present, a type matches, its file still exists.
std::shared_ptr<const CartridgeType> MatchedDefinition(const char *function, const char *barcode,
                                                       EString &error)
{
    if (barcode == nullptr || barcode[0] == '\0') {
        error.Assign(FormatText("%s() Barcode is empty or missing.", function).c_str());
        return nullptr;
    }
    std::shared_ptr<const CartridgeType> type = FindType(barcode);
    if (!type) {
        error.Assign(FormatText("%s() No cartridge type matches barcode: \"%s\"", function, barcode).c_str());
        return nullptr;
    }
    // The type is read from the file it was loaded from, whatever its Type says.
    if (!platform::FileExists(type->file_path.c_str())) {
        error.Assign(
            FormatText("Cartridge definition file does not exist: %s", type->file_path.c_str()).c_str());
        return nullptr;
    }
    return type;
}

} // namespace

bool CartridgeType::Load(const char *filePath, EString &error)
{
    error.Assign("");
    file_path.Assign("");
    barcode_formats.clear();
    barcode_ids.clear();
    type_name.Assign("");

    for (int i = 1; i <= 10; ++i) {
        const std::string key = FormatText("f%02ld", static_cast<long>(i));
        const std::string format =
            Ostravo::ReadProfileString("BarcodeFormats", key.c_str(), "", 1023, filePath);
        if (format.empty())
            continue;
        if (format.size() > 13) {
            AddProblem(error, filePath,
                       FormatText("Invalid bar code format: %s : must have 13 of fewer characters.",
                                  format.c_str()));
        } else if (format.size() < 10) {
            AddProblem(error, filePath,
                       FormatText("Invalid bar code format: %s : must have at least 10 of characters.",
                                  format.c_str()));
        } else {
            bool valid = true;
            for (char c : format)
                valid = valid && IsFormatChar(c);
            if (!valid)
                AddProblem(error, filePath,
                           FormatText("Invalid bar code format: %s : %s", format.c_str(),
                                      "Invalid character in barcode. Valid characters are '#' '-' 'G' 'N'"));
            else
                barcode_formats.emplace_back(format.c_str());
        }
    }

    const std::string ids = Ostravo::ReadProfileString("BarcodeIDs", "ids", "", 1023, filePath);
    if (ids.empty()) {
        AddProblem(error, filePath, "[BarcodeIDs] id=\"\" must be present and have at least one value");
    } else {
        std::vector<EString> fields;
        const int count = SplitIntoVector(ids.c_str(), fields, ',');
        for (int i = 0; i < count && i < static_cast<int>(fields.size()); ++i)
            barcode_ids.push_back(fields[i]);
        if (barcode_ids.empty())
            AddProblem(error, filePath, FormatText("Invalid array of bar code ids: %s", ids.c_str()));
        for (const EString &id : barcode_ids) {
            const int n = id.GetLength();
            if (n < 3) {
                AddProblem(error, filePath,
                           FormatText("Bar code id must have at least three characters: \"%s\"", id.c_str()));
                break;
            }
            if (n > 7) {
                AddProblem(error, filePath,
                           FormatText("Bar code id must be no more than 7 characters: \"%s\"", id.c_str()));
                break;
            }
            if (!IsDigit(id.c_str()[0]) || !IsDigit(id.c_str()[1]) || !IsDigit(id.c_str()[2])) {
                AddProblem(
                    error, filePath,
                    FormatText("The first three characters of a bar code ID must be numbers between 0 and "
                               "9: \"%s\"",
                               id.c_str()));
                break;
            }
        }
    }

    type_name.Assign(Ostravo::ReadProfileString("General", "Type", "", 1023, filePath).c_str());
    EString trimmed(type_name);
    trimmed.Trim();
    if (!trimmed.IsNonEmpty())
        AddProblem(error, filePath, "[General] Type=\"\" is missing or blank.");

    file_path.Assign(filePath);
    return !error.IsNonEmpty();
}

bool CartridgeType::MatchesBarcode(const char *barcode) const
{
    if (barcode == nullptr)
        return false;
    const size_t length = std::strlen(barcode);
    for (const EString &format : barcode_formats) {
        if (static_cast<size_t>(format.GetLength()) != length)
            continue;
        bool fits = true;
        for (size_t i = 0; fits && i < length; ++i) {
            const char f = format.c_str()[i];
            fits = f == '#' ? IsDigit(barcode[i]) : barcode[i] == f;
        }
        if (!fits)
            continue;
        for (const EString &id : barcode_ids)
            if (std::strncmp(barcode, id.c_str(), static_cast<size_t>(id.GetLength())) == 0)
                return true;
    }
    return false;
}

std::vector<std::shared_ptr<const CartridgeType>> CartridgeTypeList()
{
    std::lock_guard<std::mutex> lock(ListMutex());
    return List();
}

void ClearCartridgeTypeList()
{
    std::lock_guard<std::mutex> lock(ListMutex());
    List().clear();
}

std::string CartridgeFolder()
{
    EString folder(theApp.m_data_directory.c_str());
    folder.AppendPathPart("Cartridge");
    return folder.c_str();
}

bool LoadCartridgeTypes(EString &error)
{
    ClearCartridgeTypeList();
    const std::string folder = CartridgeFolder();
    if (!platform::FolderExists(folder) && !platform::MakeFolder(folder)) {
        error.Assign(FormatText("Unable to create directory: %s", folder.c_str()).c_str());
        LogError(__FILE_NAME__, __LINE__, error.c_str());
        return false;
    }
    error.Assign("");
    std::vector<std::shared_ptr<const CartridgeType>> loaded;
    for (const platform::DirEntry &entry : platform::ListFolder(folder, "*.ini")) {
        if (entry.isFolder)
            continue;
        const std::string path = folder + "/" + entry.name;
        auto type = std::make_shared<CartridgeType>();
        EString fileError;
        if (!type->Load(path.c_str(), fileError)) {
            if (error.IsNonEmpty())
                error.Append("\n");
            error.Append(fileError.c_str());
            continue;
        }
        loaded.push_back(std::move(type));
    }
    {
        std::lock_guard<std::mutex> lock(ListMutex());
        List() = std::move(loaded);
    }
    return !error.IsNonEmpty();
}

bool FindCartridgeTypeForBarcode(const char *barcode, EString &typeName, EString &filePath)
{
    std::shared_ptr<const CartridgeType> type = FindType(barcode);
    if (!type)
        return false;
    typeName = type->type_name;
    filePath = type->file_path;
    return true;
}

bool ImposeCartridgeTypeOffsets(const char *settingsFile, const char *barcode, EString &error)
{
    std::shared_ptr<const CartridgeType> type =
        MatchedDefinition("ImposeCartridgeTypeOffsets", barcode, error);
    if (!type)
        return false;
    const char *definition = type->file_path.c_str();
    const double pixelsPerMm = ReadDouble("CalibrationSettings", "image_pixels_per_mm", settingsFile);
    const long upperPx = MicronsToPixels(
        Ostravo::ReadProfileInt("OffsetsInMicron", "UpperChannelOffset", 0, definition), pixelsPerMm);
    if (upperPx < -kOffsetLimitPx || upperPx > kOffsetLimitPx) {
        error.Assign(FormatText("Invalid UpperChannelOffset in file: %s", definition).c_str());
        return false;
    }
    const long lowerPx = MicronsToPixels(
        Ostravo::ReadProfileInt("OffsetsInMicron", "LowerChannelOffset", 0, definition), pixelsPerMm);
    if (lowerPx < -kOffsetLimitPx || lowerPx > kOffsetLimitPx) {
        error.Assign(FormatText("Invalid LowerChannelOffset in file: %s", definition).c_str());
        return false;
    }
    const int32_t volume = Ostravo::ReadProfileInt("SampleLoadInMicroLitre", "SampleAspirateVolume",
                                                   kDefaultSampleVolume, definition);
    const long upperRow =
        Ostravo::ReadProfileInt("CalibrationSettings", "UpperChannel", 0, settingsFile) + upperPx;
    const long lowerRow =
        Ostravo::ReadProfileInt("CalibrationSettings", "LowerChannel", 0, settingsFile) + lowerPx;

    const std::pair<const char *, std::string> values[] = {
        {"CartridgeType", type->type_name.c_str()},
        {"Barcode", barcode},
        {"CartridgeUpperChannel", FormatText("%ld", upperRow)},
        {"CartridgeLowerChannel", FormatText("%ld", lowerRow)},
        {"SampleAspirateVolume", FormatText("%ld", static_cast<long>(volume))},
    };
    for (size_t i = 0; i < std::size(values); ++i) {
        const char *section = i < 2 ? "ExperimentSettings" : "Cartridge";
        if (!Ostravo::E_WritePrivateProfileString(section, values[i].first, values[i].second.c_str(),
                                                  settingsFile)) {
            error.Assign(FormatText("ImposeCartridgeTypeOffsets() Unable to write [%s] %s to %s", section,
                                    values[i].first, settingsFile)
                             .c_str());
            return false;
        }
    }
    return true;
}

bool GetCartridgeTypeOffsetIntValues(const char *settingsFile, const char *barcode, int &upperOffsetPx,
                                     EString &error)
{
    std::shared_ptr<const CartridgeType> type =
        MatchedDefinition("GetCartridgeTypeOffsetIntValues", barcode, error);
    if (!type)
        return false;
    const double pixelsPerMm = ReadDouble("CalibrationSettings", "image_pixels_per_mm", settingsFile);
    const int32_t microns =
        Ostravo::ReadProfileInt("OffsetsInMicron", "UpperChannelOffset", 0, type->file_path.c_str());
    // No range check on the offset itself, but a product that is no number or no int has no
    // nearest int at all.
    const double pixels = std::round(static_cast<double>(microns) * pixelsPerMm / 1000.0);
    if (!std::isfinite(pixels) || pixels < static_cast<double>(INT_MIN) ||
        pixels > static_cast<double>(INT_MAX)) {
        error.Assign(FormatText("GetCartridgeTypeOffsetIntValues() UpperChannelOffset=%ld micron at "
                                "image_pixels_per_mm=%g is no pixel offset: %s",
                                static_cast<long>(microns), pixelsPerMm, type->file_path.c_str())
                         .c_str());
        return false;
    }
    upperOffsetPx = static_cast<int>(pixels);
    return true;
}

namespace {

std::mutex &CurrentBarcodeMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

void SetCurrentCartridgeBarcode(const char *barcode)
{
    std::lock_guard<std::mutex> lock(CurrentBarcodeMutex());
    theApp.m_cartridge_barcode.Assign(barcode ? barcode : "");
}

std::string CurrentCartridgeBarcode()
{
    std::lock_guard<std::mutex> lock(CurrentBarcodeMutex());
    return theApp.m_cartridge_barcode.c_str();
}

const std::array<CartridgeProduct, 4> &CartridgeProducts()
{
    static const std::array<CartridgeProduct, 4> products = {{
        {"101-000-0000", "Standard"},
        {"102-000-0000", "Wide Channel"},
        {"103-000-0000", "Narrow Channel"},
        {"104-000-0000", "High Volume"},
    }};
    return products;
}

const char *CartridgePartNumber(int choice)
{
    if (choice < 1 || choice > 3)
        choice = 0;
    return CartridgeProducts()[static_cast<size_t>(choice)].part_number;
}

int CartridgeChoiceForBarcode(const char *barcode)
{
    if (barcode == nullptr || std::strlen(barcode) <= 3)
        return 0;
    for (size_t i = 0; i < CartridgeProducts().size(); ++i)
        if (std::strncmp(barcode, CartridgeProducts()[i].part_number, 3) == 0)
            return static_cast<int>(i);
    return 0;
}

std::string CartridgeChoiceCaption(int choice)
{
    const CartridgeProduct &product =
        CartridgeProducts()[static_cast<size_t>(choice < 1 || choice > 3 ? 0 : choice)];
    return FormatText("%.3s (%s)", product.part_number, product.model);
}

#include "analysis/LPCurve.h"

#include "Ostravo/ProfileValues.h"
#include "platform/Files.h"

#include <string>

namespace {

// Values are read as text of at most 30 characters.
constexpr uint32_t kNumberSize = 31;

// Reads the value as "%lf" would, but always with '.' as the decimal point whatever the C library's
// locale; no number gives 0.
double ReadDouble(const char *key, const char *file)
{
    double value = 0.0;
    return Ostravo::ScanNumber(Ostravo::ReadProfileString(kLPCurveParamsSection, key, "", kNumberSize, file),
                               value)
               ? value
               : 0.0;
}

} // namespace

bool LPCurveParams::Load(double gd_conc, const char *path, EString &error)
{
    const char *file = path != nullptr ? path : "";
    if (!platform::FileExists(file)) {
        error.Append("Missing file: ");
        error.Append(file);
        error.Append("\n");
        return false;
    }
    ChiGd_factor = ReadDouble("ChiGd_factor", file);
    rhobuffer = ReadDouble("rhobuffer", file);
    munot = ReadDouble("munot", file);
    g = ReadDouble("g", file);
    cubic = ReadDouble("cubic", file);
    square = ReadDouble("square", file);
    linear = ReadDouble("linear", file);
    constant = ReadDouble("constant", file);
    mag_gap = ReadDouble("mag_gap", file);
    ChiPar = ReadDouble("ChiPar", file);

    const struct
    {
        double value;
        const char *message;
    } required[] = {
        {ChiGd_factor, "ChiGd_factor missing or invalid"},
        {rhobuffer, "rhobuffer is missing or invalid"},
        {munot, "munot missing or invalid"},
        {g, "g missing or invalid"},
        {cubic, "cubic missing or invalid"},
        {square, "square missing or invalid"},
        {linear, "linear missing or invalid"},
        {constant, "constant missing or invalid"},
        {mag_gap, "mag_gap missing or invalid"},
    };
    std::string messages;
    for (const auto &r : required)
        if (r.value == 0.0)
            messages += std::string(r.message) + "\n";

    Gd_conc = gd_conc;
    rhof = gd_conc * 0.275 + rhobuffer;
    ChiGd = gd_conc * ChiGd_factor;

    if (messages.empty()) {
        error.Assign("");
        valid = true;
        return true;
    }
    error.Assign((std::string(file) + ":\n" + messages).c_str());
    return false;
}

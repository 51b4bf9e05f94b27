#pragma once
// The LP curve: constants of the medium and the cubic that describe how cells settle in the
// magnetic field of the channel, read from a .LP_curve_params file (section [LPCurveParams]).
#include "Ostravo/EString.h"

struct LPCurveParams
{
    bool valid = false;        // a load succeeded
    double Gd_conc = 0.0;      // gadolinium concentration of the run, mM (given by the caller)
    double ChiGd_factor = 0.0; // susceptibility per mM of gadolinium
    double rhobuffer = 0.0;    // density of the buffer without gadolinium
    double rhof = 0.0;         // fluid density: Gd_conc x 0.275 + rhobuffer
    double ChiGd = 0.0;        // susceptibility of the medium: Gd_conc x ChiGd_factor
    double munot = 0.0;        // magnetic constant
    double g = 0.0;            // gravitational acceleration
    double constant = 0.0;     // polynomial coefficients of order 0 to 3
    double linear = 0.0;
    double square = 0.0;
    double cubic = 0.0;
    double mag_gap = 0.0; // gap between the magnets
    double ChiPar = 0.0;  // read, not checked

    // Reads the file's values (0 when missing or not a number) and derives rhof and ChiGd for
    // Gd_conc. A missing file appends "Missing file: <path>" and a line feed to error and changes
    // nothing. Otherwise error is replaced: empty on success (valid is then set), or the path, ":"
    // and one line per value that is 0 among those that must not be, and valid keeps its value.
    bool Load(double gd_conc, const char *path, EString &error);
};

// The section of a .LP_curve_params file.
inline constexpr const char *kLPCurveParamsSection = "LPCurveParams";

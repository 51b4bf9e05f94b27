#pragma once
// The image type that an instrument image's file name carries. The capture code names images
// "<prefix>_<type>_<number>" (or "ManualCapture.<stamp>_<type>.<ext>"), and the display, the
// background images and the analysis runs all read the type back from the name, so they share
// this one reading.
#include "Ostravo/EString.h"

// The image type that a file name carries: for "ManualCapture.*" names the text after the last
// '_' without the extension, otherwise the text between the last two '_'. Writes it into
// typeName (which the caller passes empty); false when the name carries none.
bool ImageTypeFromFileName(const char *fileName, EString &typeName);

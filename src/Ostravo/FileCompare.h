#pragma once
// Comparing files: byte for byte, and two tab-separated numeric tables column by column.
#include <cstdint>
#include <vector>

#include "Ostravo/EString.h"

// True when both files exist and hold exactly the same bytes; every problem gives false.
bool FilesIdentical(const char *pathA, const char *pathB);

// Compares the columns named by names in two tab-separated tables. In each file the header is the
// first line among the first 1000 that holds every name as a field; the data rows after the two
// headers are paired in order until either file ends. maxDifferences gets, per name, the largest
// absolute difference of the paired values (0 when none was compared); valueCount the number of
// value pairs compared. Stops at the first problem with its text in error (counts and maxima
// gathered until then are kept); true when error is empty at the end.
bool CompareColumnFiles(const char *pathA, const char *pathB, const std::vector<EString> &names,
                        int32_t &valueCount, std::vector<double> &maxDifferences, EString &error);

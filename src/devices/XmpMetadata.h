#pragma once
// XMP metadata of saved images, written with Exiv2. Exiv2's XMP parser is initialised once (start-up
// calls InitializeXmpMetadata; the first use does it otherwise) and every use of the library is
// serialised by one lock, so images saved on several threads never meet inside it.
#include "Ostravo/EString.h"

#include <string>
#include <utility>
#include <vector>

void InitializeXmpMetadata();

// Adds one text property "Xmp.dc.<key>" per key to the image file's XMP data and writes it back.
// False with the reason in error (a file that is no image: "Add_XMP_MetaData() - Can't open image
// file: <path>"); no library exception leaves this function.
bool Add_XMP_MetaData(const char *filePath, const std::vector<EString> &keys,
                      const std::vector<EString> &values, EString &error);

// The "Xmp.dc.*" text properties of an image file, in the file's order. False with the reason.
bool ReadXmpDublinCore(const char *filePath, std::vector<std::pair<std::string, std::string>> &properties,
                       std::string &error);

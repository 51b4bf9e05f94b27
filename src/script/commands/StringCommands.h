#pragma once
// The script commands that convert, test and edit texts, and read and write stored strings.

// Installs the handlers of StringToInt, StringToDouble, IsStringInt, StrLen, StrLeft, StrRight,
// StrReplace, ReadStoredString and WriteStoredString. Call once during start-up, before the first
// script loads.
void RegisterStringCommands();

// Whether text is exactly the decimal form of a 32-bit int: an optional minus sign, no plus sign,
// no leading zeros, no blanks, nothing behind the digits, and within the int range.
bool IsDecimalIntText(const char *text);

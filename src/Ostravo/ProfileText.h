#pragma once
// The text-buffer routines behind the profile functions (Profile.h). They work on the whole file
// text in memory; positions are byte offsets into it.
#include <cstddef>
#include <string>
#include <vector>

namespace Ostravo {

constexpr size_t kNoPos = std::string::npos;

// Makes every line end CR LF: a lone CR gets an LF, a lone LF gets a CR, and a text that does not
// end with CR LF gets one. Texts of 0, 1 or 2 bytes stay as they are.
void NormalizeLineEnds(std::string &text);

// Section names: a letter or '_', then letters, digits, blank, '_', '-', '.', '{', '}', '~'; 1 to 63.
bool IsValidSectionName(const char *name);
// Item names: a letter or '_', then letters, digits, '_', '-', '.', '[', ']', '{', '}', '~'; 1 to 127.
bool IsValidItemName(const char *name);

// Position of the '[' of the first "[section]" that starts the text or follows a CR or LF; kNoPos
// when there is none.
size_t FindSection(const std::string &text, const char *section);

// True when a valid header line ('[', valid name of at most 64 characters, ']', CR, LF) starts at
// pos; pos then moves behind it.
bool ParseSectionHeader(const std::string &text, size_t &pos);

enum class ProfileLine
{
    Item,       // pos is at the first character of the item name
    Skip,       // comment, empty or other non-item line
    SectionEnd, // a line beginning with '[', a NUL or the end of the text; pos is where it begins
    Error,      // a single '/' at the start of the line
};
// Skips the blanks and tabs at the start of the line at pos and tells what kind of line it is.
ProfileLine SkipToItemLine(const std::string &text, size_t &pos);

enum class ItemName
{
    Found,    // nameEnd is the position of the '='
    NoEquals, // the line has no '=': skipped like a comment
    Error,    // a forbidden character in the name part, or a name part over 128 characters
};
// Reads the name part of the item line starting at pos, up to its '='.
ItemName ReadItemName(const std::string &text, size_t pos, size_t &nameEnd);

struct ItemSearch
{
    bool found = false;
    bool endOfSection = false; // not found because the section ended (pos is where it ends)
    size_t pos = kNoPos;       // found: first character of the value
};
// Looks for the item (ASCII case-insensitive, whole name part) in the section whose '[' is at
// sectionPos. An unparsable header or an error line ends the search without the end-of-section flag.
ItemSearch FindItem(const std::string &text, const char *item, size_t sectionPos);

// End of the value starting at pos: the first CR or NUL, or the end of the text.
size_t ValueEnd(const std::string &text, size_t pos);

enum class ReplaceResult
{
    Replaced,
    Unchanged, // the old value equals the new one
    TooLong,   // the old value has more than 1024 characters and stays
};
// Replaces the value starting at pos (up to the next CR) by value.
ReplaceResult ReplaceItemValue(std::string &text, size_t pos, const char *value);

// Inserts "item=value" CR LF at pos. Inserts nothing and returns false when the value has more than
// 256 characters, the item name is invalid, or pos does not follow a CR LF.
bool InsertItemLine(std::string &text, size_t pos, const char *item, const char *value);

// Ends a non-empty text with a line end when it lacks one, so that a header appended behind it
// starts a line of its own.
void EndWithLineEnd(std::string &text);
// Appends "[section]" CR LF, behind a line end.
void AppendSectionHeader(std::string &text, const char *section);
// Removes the section whose '[' is at pos, up to the next line beginning with '[' or a NUL, or to
// the end of the text.
void CutSection(std::string &text, size_t pos);
// Appends the header line and each line followed by CR LF.
void AppendSectionWithLines(std::string &text, const char *section, const std::vector<std::string> &lines);

// The lines of the section whose '[' is at pos, without line ends, up to the next line beginning
// with '[' or a NUL, or the end of the text.
std::vector<std::string> SectionLines(const std::string &text, size_t pos);

struct SectionHeaderSpan
{
    std::string name;
    bool named = false; // false: the header line has no ']', so no lookup can ever find it
    size_t start = 0;   // start of the header line
    size_t end = 0;     // start of the next header line, or the end of the text
};
// Every section of the text in file order. A header is a line whose very first character is '[',
// its name the text up to the first ']' on that line: the same lines FindSection finds and
// CutSection and SectionLines stop at. An indented '[' line is not a header here, as no read ever
// takes it for one; it stays inside the section that holds it.
std::vector<SectionHeaderSpan> ListSectionSpans(const std::string &text);

} // namespace Ostravo

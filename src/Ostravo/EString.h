#pragma once
// The in-house heap string and the text, number and path helpers that go with it.
//
// Text is 8-bit; there is no wide variant. Settings, parameter and result files are written and
// parsed with these routines, so their edge behaviour is part of those file formats.
//
// Paths: every reader treats both '\' and '/' as separators; paths that these routines build
// use '/'.
#include <concepts>
#include <cstdint>
#include <vector>

class EString
{
  public:
    EString();
    EString(const EString &other);
    // A null text gives the empty text.
    EString(const char *text);
    // The value as 32-bit decimal text ("%ld" of a 32-bit long).
    template <std::integral I> explicit EString(I value) : EString(static_cast<int32_t>(value), 0) {}
    // The text that FormatDouble produces.
    explicit EString(double value);
    ~EString();

    // Copies the other text; an equal text changes nothing.
    EString &operator=(const EString &other);

    // Copies the text; a null or empty text empties the string.
    EString &Assign(const char *text);
    // The first n characters of text (fewer when it ends earlier); 1. A null text or n below 1
    // returns 0 and changes nothing.
    int AssignN(const char *text, int n);

    // Appends text; 1. A null text or a set error flag returns 0 and changes nothing.
    int Append(const char *text);
    // Appends n as decimal text unless the error flag is set.
    EString &AppendUnsigned(unsigned n);

    bool IsNonEmpty() const { return m_text != nullptr && m_text[0] != '\0'; }
    int GetLength() const;
    const char *c_str() const { return m_text; }

    // Cuts the text at its first CR or LF, then removes leading and trailing blanks and tabs.
    void Trim();
    // Removes n characters at pos. pos below 0 returns 0; pos at or past the end changes nothing.
    int Erase(int pos, int n);
    // Cuts n characters at pos out of the text and returns them as a new string that the caller
    // deletes. n below 0, or a run reaching the end, takes the rest from pos; pos at or past the
    // end returns an empty string and changes nothing.
    EString *Extract(int pos, int n);
    // Inserts the first n characters of text (n = -1: all of it) at column. Past the end the gap
    // is filled with blanks and trailing blanks of text are not inserted. Returns 1.
    int InsertAtColumn(int column, const char *text, int n);
    // Replaces exact occurrences of find by with, from the start, resuming behind each inserted
    // text, at most max times (at least once when there is a match). Returns the count.
    int Replace(const char *find, const char *with, int max);
    // Splits the text into fields at delimiter (blanks before a field are skipped, a field in
    // double quotes is taken whole without its quotes). Stores a new array in *fields that the
    // caller deletes with delete[]; returns the number of fields.
    int Split(EString **fields, char delimiter) const;

    // Stores the selected parts of path: folder (with its closing separator), name, extension
    // (with its '.'). Returns 1 when something was stored, else 0 with the string unchanged.
    int SplitPath(const char *path, int folder, int name, int extension);
    // Drops the extension of the held path; false and unchanged when there is none.
    bool RemoveExtension();
    // Puts the name and extension of the held path under folder; false and unchanged for a null
    // folder or a held path without a file name.
    bool ChangeDirectory(const char *folder);
    // folder + '/' + name, the separator only when the trimmed folder lacks one; a null, empty
    // or blank folder gives the name alone. Returns 1.
    int JoinPath(const char *folder, const char *name);
    // Trims the text, appends '/' unless it already ends with a separator (an empty text gets
    // one too), then appends part. Returns 1.
    int AppendPathPart(const char *part);
    // Replaces every character that IsValidFileNameChar rejects by '_'; 1. A text longer than
    // 256 characters returns 0 and stays unchanged.
    int SanitizeFileName();

    // 1 when no text buffer was obtained; appends are then refused.
    int32_t m_error;
    // Never null while the string lives. Callers may read it and write into it in place as long
    // as they do not lengthen it.
    char *m_text;

  private:
    EString(int32_t value, int);
    // Takes ownership of buffer (length + 1 bytes) as the new text.
    void Adopt(char *buffer);
};

// Three-way order of two key texts: byte by byte as signed 8-bit values (exact) or with a to z
// folded onto A to Z; a text sorts before a longer one it starts, a null text before every other.
int CompareKeyText(const char *a, const char *b, bool exact);
// Case-insensitive orders of two key strings.
bool EStringLessNoCase(const EString &a, const EString &b);
bool EStringGreaterNoCase(const EString &a, const EString &b);

// True when equal. exact 0 ignores ASCII case. max_len 0 compares whole texts, otherwise at most
// max_len characters. Two null texts are equal, one null text is not.
bool CompareText(const char *a, const char *b, int exact, int max_len);
// 0 for a null text; the length, or with non_blank_only the count of characters that are neither
// blank nor tab.
int CountChars(const char *text, int non_blank_only);
// First position in text where find matches (CompareText over the length of find); null when
// either is null or there is no match.
const char *FindSubstring(const char *text, const char *find, int exact);
char *FindSubstring(char *text, const char *find, int exact);
// Letters, digits, blank and ! # $ % ( ) + , - . ; < = > @ [ ] ^ _ { } ~.
bool IsValidFileNameChar(char c);
// Writes value as text of at most 10 characters into out (at least 11 bytes); returns out.
char *FormatDouble(double value, char *out);
// Tidies the text of a general-notation number conversion in place (trailing '.', exponent
// zeros, trailing fraction zeros).
void TidyNumberText(char *text);
// Makes sure the folder exists, making missing parents first; nonzero when something of that
// name exists or was made.
int CreateDirectoryPath(const char *path);
// The split of EString::Split into fields (resized to the delimiter count + 1; entries from the
// result on are empty); returns the number of fields.
int SplitIntoVector(const char *text, std::vector<EString> &fields, char delimiter);

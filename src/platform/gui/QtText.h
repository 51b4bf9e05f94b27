#pragma once
// The one place where the program's strings meet Qt's text. The program's strings hold UTF-8;
// values made on the instrument's Windows computers may still hold Windows-1252 bytes, and file
// names on Linux are whatever bytes the file system holds.
//
//   label->setText(ToQt(message));           // any text of the program
//   std::string typed = FromQt(edit->text()); // UTF-8
//   list->addItem(PathToQt(fileName));        // a file or folder name as Qt's own dialogs show it
//
// Controls that show a stored value and may hand it back unedited keep its bytes: SetEditText,
// SetComboEditText, AddComboItem and AddListItem remember what they showed, and EditText,
// ComboText and ItemText give those bytes back while the text is unchanged, so a value that is not
// UTF-8 is written back exactly as it was read unless the user edited it.
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class QComboBox;
class QImage;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QObject;

namespace platform::gui {

// How a value is shown when its bytes are not valid UTF-8.
enum class TextKind
{
    Text, // settings values, messages, log texts: the bytes that are not UTF-8 read as Windows-1252
    Path  // file and folder names, as the file system's dialogs show them: replacement characters
};

// Program text to Qt: UTF-8, each byte that is not part of a valid UTF-8 sequence as Windows-1252.
QString ToQt(std::string_view text);
QString ToQt(const char *text); // null gives the empty text
// A file or folder name to Qt (QFile::decodeName): bytes that are not UTF-8 become U+FFFD.
QString PathToQt(std::string_view path);
QString Show(std::string_view bytes, TextKind kind);
// Orders names as a list shows them: by their shown text ignoring case, equal ones kept in order.
void SortByShownText(std::vector<std::string> &names, TextKind kind);

// Qt text to the program: UTF-8.
std::string FromQt(const QString &text);
// A name picked in a Qt dialog or typed (QFile::encodeName), with '/' separators.
std::string PathFromQt(const QString &path);

// The displayed form of bytes, remembered on holder for KeptText.
QString ShowKept(QObject *holder, std::string_view bytes, TextKind kind = TextKind::Text);
// The bytes holder last showed while current is still that text; otherwise FromQt(current).
std::string KeptText(const QObject *holder, const QString &current);

void SetEditText(QLineEdit *edit, std::string_view bytes, TextKind kind = TextKind::Text);
std::string EditText(const QLineEdit *edit); // empty for a null edit
void SetComboEditText(QComboBox *combo, std::string_view bytes, TextKind kind = TextKind::Text);
void AddComboItem(QComboBox *combo, std::string_view bytes, TextKind kind = TextKind::Text);
// The current text of a combo box: a listed item's bytes when it shows one unchanged.
std::string ComboText(const QComboBox *combo);
std::string ItemText(const QComboBox *combo, int index);
QListWidgetItem *AddListItem(QListWidget *list, std::string_view bytes, TextKind kind = TextKind::Path);
std::string ItemText(const QListWidgetItem *item);

// Edits whose values go into fixed byte buffers: typing or pasting stops at maxBytes bytes of
// UTF-8, never inside a character (setMaxLength would count characters).
void LimitEditBytes(QLineEdit *edit, size_t maxBytes);
// text as UTF-8, cut at a character boundary to at most maxBytes bytes.
std::string FromQtLimited(const QString &text, size_t maxBytes);

// Reads an image file of any name (the bytes are read here, so a name that is not UTF-8 opens
// too); false, with image null, when the file is missing or is no image Qt can read.
bool LoadImageFile(const std::string &path, QImage &image);

// True when a name chosen in a Qt dialog cannot stand for the file it was picked as: Qt showed
// bytes that are not UTF-8 as U+FFFD, and no file of the encoded name exists.
bool IsUnreadableName(const QString &picked);

} // namespace platform::gui

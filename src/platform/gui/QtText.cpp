#include "platform/gui/QtText.h"

#include "platform/Files.h"
#include "platform/Utf8Text.h"

#include <QByteArray>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QValidator>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace platform::gui {

namespace {

// Where a control keeps the bytes it shows and the text it showed them as.
constexpr const char *kBytesProperty = "vantelisShownBytes";
constexpr const char *kShownProperty = "vantelisShownText";
// Item data roles for the same, well away from the roles the windows use themselves.
constexpr int kBytesRole = Qt::UserRole + 0x4B42;
constexpr int kShownRole = Qt::UserRole + 0x4B43;

// Windows-1252 at 0x80 to 0x9F; the five bytes it leaves undefined map to the C1 controls, as
// Windows itself maps them. 0xA0 to 0xFF are the Latin-1 code points.
constexpr char16_t kWindows1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar FromWindows1252(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return QChar(kWindows1252[byte - 0x80]);
    return QChar(static_cast<char16_t>(byte));
}

QByteArray Bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromBytes(const QByteArray &bytes)
{
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// UTF-8 bytes of the code point whose last UTF-16 unit stands at text[i - 1]; sets units to 1 or 2.
size_t Utf8LengthBefore(const QString &text, qsizetype i, qsizetype &units)
{
    const char16_t last = text.at(i - 1).unicode();
    units = 1;
    if (QChar::isLowSurrogate(last) && i >= 2 && QChar::isHighSurrogate(text.at(i - 2).unicode())) {
        units = 2;
        return 4;
    }
    if (last < 0x80)
        return 1;
    if (last < 0x800)
        return 2;
    return 3;
}

// Keeps an edit's text within a byte budget. What was just typed or pasted ends at the cursor, so
// the excess is taken from there, as a character limit would; a longer text set as a whole is cut
// at its end.
class ByteLimitValidator : public QValidator
{
  public:
    ByteLimitValidator(size_t maxBytes, QObject *parent) : QValidator(parent), m_maxBytes(maxBytes) {}

    State validate(QString &input, int &pos) const override
    {
        const size_t bytes = FromQt(input).size();
        if (bytes <= m_maxBytes)
            return Acceptable;
        size_t excess = bytes - m_maxBytes;
        qsizetype cut = std::min<qsizetype>(pos, input.size());
        while (excess > 0 && cut > 0) {
            qsizetype units = 1;
            const size_t length = Utf8LengthBefore(input, cut, units);
            cut -= units;
            excess = length >= excess ? 0 : excess - length;
        }
        input.remove(cut, std::min<qsizetype>(pos, input.size()) - cut);
        pos = static_cast<int>(cut);
        if (excess > 0 || FromQt(input).size() > m_maxBytes)
            input = QString::fromUtf8(QByteArray::fromStdString(TruncateUtf8(FromQt(input), m_maxBytes)));
        pos = std::min(pos, static_cast<int>(input.size()));
        return Acceptable;
    }

  private:
    size_t m_maxBytes;
};

} // namespace

QString ToQt(std::string_view text)
{
    if (IsValidUtf8(text))
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString shown;
    shown.reserve(static_cast<qsizetype>(text.size()));
    size_t start = 0; // the run of valid UTF-8 not yet converted
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t length = Utf8SequenceLength(text, pos);
        if (length > 0) {
            pos += length;
            continue;
        }
        shown += QString::fromUtf8(text.data() + start, static_cast<qsizetype>(pos - start));
        shown += FromWindows1252(static_cast<unsigned char>(text[pos]));
        start = ++pos;
    }
    shown += QString::fromUtf8(text.data() + start, static_cast<qsizetype>(pos - start));
    return shown;
}

QString ToQt(const char *text)
{
    return text ? ToQt(std::string_view(text)) : QString();
}

QString PathToQt(std::string_view path)
{
    return QFile::decodeName(Bytes(path));
}

QString Show(std::string_view bytes, TextKind kind)
{
    return kind == TextKind::Path ? PathToQt(bytes) : ToQt(bytes);
}

void SortByShownText(std::vector<std::string> &names, TextKind kind)
{
    // Each name is converted once, not at every comparison.
    std::vector<std::pair<QString, std::string>> shown;
    shown.reserve(names.size());
    for (std::string &name : names)
        shown.emplace_back(Show(name, kind), std::move(name));
    std::stable_sort(shown.begin(), shown.end(), [](const auto &a, const auto &b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    for (size_t i = 0; i < shown.size(); ++i)
        names[i] = std::move(shown[i].second);
}

std::string FromQt(const QString &text)
{
    return FromBytes(text.toUtf8());
}

std::string PathFromQt(const QString &path)
{
    return FromBytes(QFile::encodeName(QDir::fromNativeSeparators(path)));
}

QString ShowKept(QObject *holder, std::string_view bytes, TextKind kind)
{
    const QString shown = Show(bytes, kind);
    if (holder) {
        holder->setProperty(kBytesProperty, Bytes(bytes));
        holder->setProperty(kShownProperty, shown);
    }
    return shown;
}

std::string KeptText(const QObject *holder, const QString &current)
{
    if (holder) {
        const QVariant shown = holder->property(kShownProperty);
        if (shown.isValid() && shown.toString() == current)
            return FromBytes(holder->property(kBytesProperty).toByteArray());
    }
    return FromQt(current);
}

void SetEditText(QLineEdit *edit, std::string_view bytes, TextKind kind)
{
    if (edit)
        edit->setText(ShowKept(edit, bytes, kind)); // remembered first: change handlers read it back
}

std::string EditText(const QLineEdit *edit)
{
    return edit ? KeptText(edit, edit->text()) : std::string();
}

void SetComboEditText(QComboBox *combo, std::string_view bytes, TextKind kind)
{
    if (combo)
        combo->setEditText(ShowKept(combo, bytes, kind));
}

void AddComboItem(QComboBox *combo, std::string_view bytes, TextKind kind)
{
    if (!combo)
        return;
    // addItem appends (an insert policy applies to typed entries only), so the new item is the last.
    combo->addItem(Show(bytes, kind));
    combo->setItemData(combo->count() - 1, Bytes(bytes), kBytesRole);
}

std::string ItemText(const QComboBox *combo, int index)
{
    if (!combo || index < 0 || index >= combo->count())
        return std::string();
    const QVariant bytes = combo->itemData(index, kBytesRole);
    if (bytes.isValid())
        return FromBytes(bytes.toByteArray());
    return FromQt(combo->itemText(index));
}

std::string ComboText(const QComboBox *combo)
{
    if (!combo)
        return std::string();
    const QString current = combo->currentText();
    const int index = combo->currentIndex();
    if (index >= 0 && combo->itemText(index) == current && combo->itemData(index, kBytesRole).isValid())
        return ItemText(combo, index);
    return KeptText(combo, current);
}

QListWidgetItem *AddListItem(QListWidget *list, std::string_view bytes, TextKind kind)
{
    auto *item = new QListWidgetItem(Show(bytes, kind));
    item->setData(kBytesRole, Bytes(bytes));
    item->setData(kShownRole, item->text());
    if (list)
        list->addItem(item);
    return item;
}

std::string ItemText(const QListWidgetItem *item)
{
    if (!item)
        return std::string();
    const QVariant shown = item->data(kShownRole);
    if (shown.isValid() && shown.toString() == item->text())
        return FromBytes(item->data(kBytesRole).toByteArray());
    return FromQt(item->text());
}

void LimitEditBytes(QLineEdit *edit, size_t maxBytes)
{
    if (edit)
        edit->setValidator(new ByteLimitValidator(maxBytes, edit));
}

std::string FromQtLimited(const QString &text, size_t maxBytes)
{
    return TruncateUtf8(FromQt(text), maxBytes);
}

bool LoadImageFile(const std::string &path, QImage &image)
{
    image = QImage();
    std::string bytes;
    if (path.empty() || !platform::ReadWholeFile(platform::NormalizePath(path), bytes))
        return false;
    image.loadFromData(reinterpret_cast<const uchar *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    return !image.isNull();
}

bool IsUnreadableName(const QString &picked)
{
    if (!picked.contains(QChar(QChar::ReplacementCharacter)))
        return false;
    return !platform::FileExists(PathFromQt(picked)) && !platform::FolderExists(PathFromQt(picked));
}

} // namespace platform::gui

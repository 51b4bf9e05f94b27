#include "Ostravo/Profile.h"

#include "Ostravo/EString.h"
#include "Ostravo/ProfileEncryption.h"
#include "Ostravo/ProfileStorage.h"
#include "Ostravo/ProfileText.h"
#include "platform/Files.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

std::atomic<ProfileReadHookFn> ProfileReadHook{nullptr};
std::atomic<ProfileWriteHookFn> ProfileWriteHook{nullptr};

namespace Ostravo {

namespace {

// Nesting of the profile calls on this thread. They only keep a hook's own reads and writes from
// calling the hook again, so they are per thread: a read on one thread never makes another thread's
// read skip its hook.
thread_local int32_t t_readNesting = 0;
thread_local int32_t t_writeNesting = 0;

class NestingScope
{
  public:
    explicit NestingScope(int32_t &counter) : m_counter(counter) { ++m_counter; }
    ~NestingScope() { --m_counter; }
    NestingScope(const NestingScope &) = delete;
    NestingScope &operator=(const NestingScope &) = delete;

  private:
    int32_t &m_counter;
};

std::string Text(const char *text)
{
    return text ? text : "";
}

void Log(const std::string &message)
{
    log_error(message.c_str());
}

bool ContainsLineBreak(const char *text)
{
    return std::strpbrk(text, "\r\n") != nullptr;
}

// The writing half of E_WritePrivateProfileString, run under the file's write lock. Returns false
// with a message when the value cannot be stored.
bool WriteItem(const char *section, const char *item, const char *value, const char *file,
               std::string &message)
{
    const std::string where = " in section: " + std::string(section) + " in file: " + file;
    std::string text;
    bool exists = false;
    if (LoadProfileText(file, text, exists, message) != ProfileRead::Ok)
        return false;
    NormalizeLineEnds(text);

    size_t sectionPos = FindSection(text, section);
    if (sectionPos != kNoPos) {
        ItemSearch search = FindItem(text, item, sectionPos);
        if (search.found) {
            if (ReplaceItemValue(text, search.pos, value) == ReplaceResult::TooLong) {
                message = "Ostravo::E_WritePrivateProfileString() : Existing value too long to replace: " +
                          std::string(item) + where;
                return false;
            }
        } else if (search.endOfSection) {
            if (std::strlen(value) > 256) {
                message = "Ostravo::E_WritePrivateProfileString() : Value too long for new item: " +
                          std::string(item) + where;
                return false;
            }
            if (!InsertItemLine(text, search.pos, item, value)) {
                // The next header is indented: the new line would land behind its blanks.
                message = "Ostravo::E_WritePrivateProfileString() : Item cannot be inserted before the next "
                          "header: " +
                          std::string(item) + where;
                return false;
            }
        } else {
            message =
                "Ostravo::E_WritePrivateProfileString() : Section header cannot be parsed or section holds "
                "an invalid line: " +
                std::string(section) + " in file: " + file;
            return false;
        }
    } else {
        if (std::strlen(value) > 256) {
            message =
                "Ostravo::E_WritePrivateProfileString() : Value too long for new item: " + std::string(item) +
                where;
            return false;
        }
        AppendSectionHeader(text, section);
        InsertItemLine(text, text.size(), item, value);
    }
    return StoreProfileText(file, std::move(text), "Ostravo::E_WritePrivateProfileString", message);
}

} // namespace

bool E_GetPrivateProfileString(const char *section, const char *item, const char *defaultValue, char *buffer,
                               uint32_t size, const char *file)
{
    // Without room for the terminating NUL nothing can be returned.
    if (buffer == nullptr || size == 0)
        return false;
    buffer[0] = '\0';

    ProfileReadHookFn hook = ProfileReadHook.load();
    if (t_readNesting == 0 && hook != nullptr) {
        t_readNesting = 1;
        bool handled = hook(section, item, defaultValue, buffer, size, file);
        t_readNesting = 0;
        if (handled)
            return true;
        buffer[0] = '\0';
    }
    NestingScope nesting(t_readNesting);

    if (file == nullptr || !platform::FileExists(platform::NormalizePath(file))) {
        std::snprintf(buffer, size, "%s", defaultValue ? defaultValue : "");
        return true;
    }
    if (!IsValidSectionName(section)) {
        Log("Ostravo::E_GetPrivateProfileString() : Invalid section name: " + Text(section));
        return false;
    }
    if (!IsValidItemName(item)) {
        Log("Ostravo::E_GetPrivateProfileString() : Invalid item name: " + Text(item));
        return false;
    }
    std::string text;
    std::string message;
    bool exists = false;
    if (LoadProfileText(file, text, exists, message) != ProfileRead::Ok) {
        Log(message);
        return false;
    }
    NormalizeLineEnds(text);

    const std::string where = " in section: " + std::string(section) + " in file: " + file;
    size_t sectionPos = FindSection(text, section);
    if (sectionPos != kNoPos) {
        ItemSearch search = FindItem(text, item, sectionPos);
        if (search.found) {
            size_t length = ValueEnd(text, search.pos) - search.pos;
            if (length > size - 1) {
                char number[24];
                std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(size));
                Log("Ostravo::E_GetPrivateProfileString() : Item: " + std::string(item) + where +
                    " is too large for provided buffer size: " + number);
                return false;
            }
            std::memcpy(buffer, text.data() + search.pos, length);
            buffer[length] = '\0';
            return true;
        }
        if (defaultValue == nullptr)
            return false;
    } else if (defaultValue == nullptr) {
        Log("Ostravo::E_GetPrivateProfileString() : Section not found: " + std::string(section) +
            " in file: " + file);
        return false;
    }
    if (std::strlen(defaultValue) + 1 > size) {
        Log("Ostravo::E_GetPrivateProfileString() : Item not found: " + std::string(item) + where +
            " and default value provided is too large.");
        return false;
    }
    std::memcpy(buffer, defaultValue, std::strlen(defaultValue) + 1);
    return true;
}

bool E_WritePrivateProfileString(const char *section, const char *item, const char *value, const char *file)
{
    if (section == nullptr || item == nullptr || value == nullptr || file == nullptr)
        return false;
    ProfileWriteHookFn hook = ProfileWriteHook.load();
    if (t_writeNesting == 0 && hook != nullptr) {
        t_writeNesting = 1;
        bool handled = hook(section, item, value, file);
        t_writeNesting = 0;
        if (handled)
            return true;
    }
    NestingScope nesting(t_writeNesting);

    std::string message;
    bool ok = false;
    if (!IsValidSectionName(section)) {
        message = "Ostravo::E_WritePrivateProfileString() : Invalid section name: " + std::string(section);
    } else if (!IsValidItemName(item) || std::strchr(item, '[') != nullptr) {
        // A name holding '[' could be written but would never be found again, and its line would end
        // every later search of the section.
        message = "Ostravo::E_WritePrivateProfileString() : Invalid item name: " + std::string(item);
    } else if (ContainsLineBreak(value)) {
        // A line break would turn the rest of the value into lines of their own.
        message = "Ostravo::E_WritePrivateProfileString() : Value holds a line break: " + std::string(item) +
                  " in section: " + section + " in file: " + file;
    } else {
        ProfileWriteLock lock(file, kProfileWriteLockMs, "Ostravo::E_WritePrivateProfileString");
        if (lock.Held())
            ok = WriteItem(section, item, value, file, message);
        else
            message = lock.TimeoutMessage();
    }
    if (!ok && !message.empty())
        Log(message);
    return ok;
}

bool E_ReadSection(const char *section, std::vector<EString> &lines, const char *file)
{
    if (!IsValidSectionName(section)) {
        Log("Ostravo::E_ReadSection() : Invalid section name: " + Text(section));
        return false;
    }
    if (file == nullptr)
        return false;
    std::string text;
    std::string message;
    bool exists = false;
    ProfileRead read = LoadProfileText(file, text, exists, message);
    if (read == ProfileRead::DecipherFailed)
        Log(message);
    if (read != ProfileRead::Ok || !exists)
        return false;
    NormalizeLineEnds(text);
    size_t sectionPos = FindSection(text, section);
    if (sectionPos == kNoPos)
        return false;
    for (const std::string &line : SectionLines(text, sectionPos)) {
        EString kept(line.c_str());
        if (kept.GetLength() >= 3)
            lines.push_back(kept);
    }
    return true;
}

namespace {

enum class Rewrite
{
    Keep,
    Store
};

// Reads the whole file under its write lock (so a concurrent single-key write is not dropped by the
// rewrite), lets edit change the text and stores the result atomically. Keep leaves the file as it is.
bool RewriteProfileText(const char *file, const char *function,
                        const std::function<Rewrite(std::string &text, bool exists)> &edit)
{
    ProfileWriteLock lock(file, kProfileWriteLockMs, function);
    if (!lock.Held()) {
        Log(lock.TimeoutMessage());
        return false;
    }
    std::string text;
    std::string message;
    bool exists = false;
    ProfileRead read = LoadProfileText(file, text, exists, message);
    if (read == ProfileRead::DecipherFailed)
        Log(message);
    if (read != ProfileRead::Ok)
        return false;
    NormalizeLineEnds(text);
    if (edit(text, exists) == Rewrite::Keep)
        return true;
    if (!StoreProfileText(file, std::move(text), function, message)) {
        Log(message);
        return false;
    }
    return true;
}

} // namespace

bool E_ReplaceSection(const char *section, const std::vector<EString> &lines, const char *file)
{
    if (!IsValidSectionName(section)) {
        Log("Ostravo::E_ReplaceSection() : Invalid section name: " + Text(section));
        return false;
    }
    if (file == nullptr)
        return false;
    for (const EString &line : lines) {
        // A line break, or a line opening with '[', would start a section of its own in the file.
        if (ContainsLineBreak(line.c_str()) || line.c_str()[0] == '[') {
            Log(std::string("Ostravo::E_ReplaceSection() : Line holds a line break or opens a header, in "
                            "section: ") +
                section + " in file: " + file);
            return false;
        }
    }
    return RewriteProfileText(file, "Ostravo::E_ReplaceSection", [&](std::string &text, bool) {
        // Every copy of a repeated section goes, so that the new lines are the ones found afterwards.
        for (size_t sectionPos = FindSection(text, section); sectionPos != kNoPos;
             sectionPos = FindSection(text, section))
            CutSection(text, sectionPos);
        std::vector<std::string> plain;
        plain.reserve(lines.size());
        for (const EString &line : lines)
            plain.emplace_back(line.c_str());
        AppendSectionWithLines(text, section, plain);
        return Rewrite::Store;
    });
}

bool E_RemoveRedundantSections(const char *file)
{
    if (file == nullptr)
        return false;
    return RewriteProfileText(file, "Ostravo::E_RemoveRedundantSections",
                              [&](std::string &text, bool exists) {
                                  if (!exists)
                                      return Rewrite::Keep;
                                  // One pass in file order: the first span of every name stays, later ones
                                  // are left out of the new text. Headers follow the rule the reads use, so a
                                  // kept span is always the one a read finds.
                                  const std::vector<SectionHeaderSpan> spans = ListSectionSpans(text);
                                  std::unordered_set<std::string_view> seen;
                                  seen.reserve(spans.size());
                                  std::string kept;
                                  kept.reserve(text.size());
                                  kept.append(text, 0, spans.empty() ? text.size() : spans.front().start);
                                  unsigned long count = 0;
                                  for (const SectionHeaderSpan &span : spans) {
                                      if (span.named && !seen.insert(std::string_view(span.name)).second) {
                                          ++count;
                                          continue;
                                      }
                                      kept.append(text, span.start, span.end - span.start);
                                  }
                                  if (count == 0)
                                      return Rewrite::Keep;
                                  char number[24];
                                  std::snprintf(number, sizeof number, "%lu", count);
                                  Log(std::string("Ostravo::E_RemoveRedundantSections() : ") + number +
                                      " sections will be deleted from file : " + file);
                                  text.swap(kept);
                                  return Rewrite::Store;
                              });
}

} // namespace Ostravo

bool MigrateSection(const char *file)
{
    std::vector<EString> lines;
    std::vector<EString> existing;
    if (!Ostravo::E_ReadSection("MigrationAnalysisDlg", lines, file))
        return false;
    if (Ostravo::E_ReadSection("FractionationAnalysisDlg", existing, file))
        return false;
    return Ostravo::E_ReplaceSection("FractionationAnalysisDlg", lines, file);
}

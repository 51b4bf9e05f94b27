// Random and mutated profile files, plain and enciphered, fed to the profile routines: every call
// must return, stay inside the caller's buffer, and keep the promises that hold for any input (a
// stored value reads back, a refused write changes nothing, removing repeated sections changes no
// read).
#include "Ostravo/ProfileText.h"
#include "ProfileTestSupport.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace vantelis::test {
namespace {

const char *const kSections[] = {"S", "A", "Sec tion", "T_1"};
const char *const kItems[] = {"a", "K", "key", "x_1"};

// Text built from the pieces profile files are made of, good and bad, joined by mixed line ends.
class ProfileTextGenerator
{
  public:
    explicit ProfileTextGenerator(uint32_t seed) : m_random(seed) {}

    std::string Text()
    {
        std::string text;
        const int lines = Pick(0, 24);
        for (int i = 0; i < lines; ++i) {
            text += Line();
            text += LineEnd();
        }
        if (Pick(0, 4) == 0 && !text.empty())
            text.resize(Pick(0, static_cast<int>(text.size()))); // cut anywhere
        return text;
    }

    // Flips, inserts, deletes or duplicates a few bytes.
    std::string Mutate(std::string text)
    {
        const int edits = Pick(1, 6);
        for (int e = 0; e < edits; ++e) {
            const size_t at =
                text.empty() ? 0 : static_cast<size_t>(Pick(0, static_cast<int>(text.size()) - 1));
            switch (Pick(0, 4)) {
            case 0:
                if (!text.empty())
                    text[at] = static_cast<char>(Pick(0, 255));
                break;
            case 1:
                text.insert(at, 1, "[]=\r\n\0/#&` \t\x80"[Pick(0, 12)]);
                break;
            case 2:
                if (!text.empty())
                    text.erase(at, Pick(1, 8));
                break;
            case 3:
                text.insert(at, text.substr(at, Pick(1, 40)));
                break;
            default:
                text.insert(at, Line());
                break;
            }
        }
        return text;
    }

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    std::mt19937 &Random() { return m_random; }

  private:
    std::string Line()
    {
        switch (Pick(0, 13)) {
        case 0:
            return std::string("[") + kSections[Pick(0, 3)] + "]";
        case 1:
            return std::string(Pick(0, 2), ' ') + "[" + kSections[Pick(0, 3)] + "]" +
                   (Pick(0, 1) ? " junk" : "");
        case 2:
            return "[" + std::string(Pick(60, 70), 'L') + "]";
        case 3:
            return std::string(kItems[Pick(0, 3)]) + (Pick(0, 3) ? "=" : " = ") + Value();
        case 4:
            return std::string(Pick(0, 3), Pick(0, 1) ? ' ' : '\t') + kItems[Pick(0, 3)] + "=" + Value();
        case 5:
            return Pick(0, 1) ? "# comment=1" : "// comment";
        case 6:
            return "/ single slash";
        case 7:
            return std::string(Pick(120, 135), 'n') + "=long name";
        case 8:
            return "b&d=1";
        case 9:
            return "a[1]=bracket";
        case 10:
            return "";
        case 11:
            return "no equals here";
        case 12:
            return std::string(kItems[Pick(0, 3)]) + "=" + std::string(Pick(1000, 1100), 'v');
        default: {
            std::string bytes(Pick(1, 30), '\0');
            for (char &c : bytes)
                c = static_cast<char>(Pick(0, 255));
            return bytes;
        }
        }
    }
    std::string Value()
    {
        static const char *const values[] = {"1", "", " spaced ", "x\ty", "=", "[S]", "a\0b"};
        const char *v = values[Pick(0, 6)];
        return std::string(v, v[0] == 'a' ? 3 : std::strlen(v));
    }
    const char *LineEnd()
    {
        static const char *const ends[] = {"\r\n", "\n", "\r", "\r\n"};
        return ends[Pick(0, 3)];
    }

    std::mt19937 m_random;
};

class ProfileRobustnessTest : public ProfileFixture
{
  protected:
    // Reads with a buffer that has guard bytes behind it; the read must end the text inside the
    // buffer and leave the guard alone.
    void GuardedRead(const std::string &file, const char *section, const char *item, uint32_t size)
    {
        std::vector<char> buffer(size + 16, 'G');
        Ostravo::E_GetPrivateProfileString(section, item, "default", buffer.data(), size, file.c_str());
        ASSERT_NE(std::find(buffer.begin(), buffer.begin() + size, '\0'), buffer.begin() + size);
        for (size_t i = size; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 'G');
    }

    void ExerciseFile(ProfileTextGenerator &gen, const std::string &file, bool writeToo)
    {
        const char *section = kSections[gen.Pick(0, 3)];
        const char *item = kItems[gen.Pick(0, 3)];
        for (uint32_t size : {1u, 4u, 300u})
            GuardedRead(file, section, item, size);
        std::vector<EString> lines;
        if (Ostravo::E_ReadSection(section, lines, file.c_str())) {
            for (const EString &line : lines) {
                EXPECT_GE(line.GetLength(), 3);
                EXPECT_EQ(std::strpbrk(line.c_str(), "\r\n"), nullptr);
            }
        }
        if (!writeToo)
            return;

        const std::string before = ReadFileBytes(file);
        const std::string value = "v" + std::to_string(gen.Pick(0, 999));
        if (Ostravo::E_WritePrivateProfileString(section, item, value.c_str(), file.c_str())) {
            bool ok = false;
            EXPECT_EQ(Read(file, section, item, "default", 300, &ok), value) << Escaped(before);
            EXPECT_TRUE(ok);
        } else {
            EXPECT_EQ(ReadFileBytes(file), before);
        }
        std::vector<EString> replacement{EString("one=1"), EString("two = 2")};
        if (Ostravo::E_ReplaceSection(section, replacement, file.c_str())) {
            std::vector<EString> back;
            ASSERT_TRUE(Ostravo::E_ReadSection(section, back, file.c_str())) << Escaped(before);
            ASSERT_EQ(back.size(), 2u) << Escaped(before);
            EXPECT_STREQ(back[1].c_str(), "two = 2");
        }
        // Removing repeated sections a second time finds nothing more to remove.
        if (Ostravo::E_RemoveRedundantSections(file.c_str())) {
            const std::string once = ReadFileBytes(file);
            EXPECT_TRUE(Ostravo::E_RemoveRedundantSections(file.c_str()));
            EXPECT_EQ(ReadFileBytes(file), once);
        }
    }

    // Everything the reads return for the sections and items the generator uses.
    std::vector<std::string> ReadEverything(const std::string &file)
    {
        std::vector<std::string> results;
        for (const char *section : kSections) {
            for (const char *item : kItems) {
                bool ok = false;
                const std::string value = Read(file, section, item, "default", 300, &ok);
                results.push_back(std::string(section) + "/" + item + (ok ? "=" : " failed ") + value);
            }
            std::vector<EString> lines;
            std::string joined =
                std::string(section) +
                (Ostravo::E_ReadSection(section, lines, file.c_str()) ? " lines:" : " not read");
            for (const EString &line : lines)
                joined += std::string("|") + line.c_str();
            results.push_back(joined);
        }
        return results;
    }

    // Removing repeated sections never changes what a read returns.
    void CheckCleanupKeepsReads(const std::string &file)
    {
        const std::string before = ReadFileBytes(file);
        const std::vector<std::string> reads = ReadEverything(file);
        if (!Ostravo::E_RemoveRedundantSections(file.c_str())) {
            EXPECT_EQ(ReadFileBytes(file), before);
            return;
        }
        EXPECT_EQ(ReadEverything(file), reads) << Escaped(before);
    }

    static std::string Escaped(const std::string &bytes)
    {
        std::string out;
        char hex[8];
        for (unsigned char c : bytes) {
            if (c >= 32 && c < 127 && c != '\\') {
                out += static_cast<char>(c);
            } else {
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            }
        }
        return out;
    }
};

TEST_F(ProfileRobustnessTest, RandomAndMutatedPlainFiles)
{
    ProfileTextGenerator gen(20240305);
    for (int i = 0; i < 2000; ++i) {
        SCOPED_TRACE(i);
        std::string text = gen.Text();
        if (i % 2)
            text = gen.Mutate(text);
        // A new file each time: rewriting one file in place makes the file system flush it.
        const std::string file = m_dir.file("fuzz" + std::to_string(i) + ".ini");
        WriteFileBytes(file, text);
        // Storing costs a flush to disk; every 25th file is written as well as read (the test below
        // edits every kind of text in memory), and every fourth (a mutated one) has its repeated
        // sections removed.
        if (i % 4 == 1)
            CheckCleanupKeepsReads(file);
        ExerciseFile(gen, file, i % 25 == 0);
        std::filesystem::remove(file);
        if (HasFailure())
            break;
    }
}

TEST_F(ProfileRobustnessTest, EditingTheTextInMemory)
{
    // The text routines of a write on every kind of text, without the cost of storing each file: a
    // value inserted or replaced is found again in the same place.
    ProfileTextGenerator gen(77);
    for (int i = 0; i < 4000; ++i) {
        SCOPED_TRACE(i);
        std::string text = gen.Mutate(gen.Text());
        const char *section = kSections[gen.Pick(0, 3)];
        const char *item = kItems[gen.Pick(0, 3)];
        Ostravo::NormalizeLineEnds(text);
        size_t at = Ostravo::FindSection(text, section);
        bool stored = false;
        if (at == Ostravo::kNoPos) {
            Ostravo::AppendSectionHeader(text, section);
            stored = Ostravo::InsertItemLine(text, text.size(), item, "new");
        } else {
            Ostravo::ItemSearch search = Ostravo::FindItem(text, item, at);
            if (search.found)
                stored =
                    Ostravo::ReplaceItemValue(text, search.pos, "new") != Ostravo::ReplaceResult::TooLong;
            else if (search.endOfSection)
                stored = Ostravo::InsertItemLine(text, search.pos, item, "new");
        }
        if (!stored)
            continue;
        size_t again = Ostravo::FindSection(text, section);
        ASSERT_NE(again, Ostravo::kNoPos) << Escaped(text);
        Ostravo::ItemSearch search = Ostravo::FindItem(text, item, again);
        ASSERT_TRUE(search.found) << Escaped(text);
        EXPECT_EQ(text.substr(search.pos, Ostravo::ValueEnd(text, search.pos) - search.pos), "new");
    }
}

TEST_F(ProfileRobustnessTest, MutatedEncipheredFiles)
{
    LoadRandomBin(m_dir, 4242);
    ProfileTextGenerator gen(99);
    for (int i = 0; i < 400; ++i) {
        SCOPED_TRACE(i);
        const std::string file = m_dir.file("fuzz" + std::to_string(i) + ".ini");
        const std::string plain = std::string(32, '#') + gen.Text();
        std::string stored = plain;
        EString message;
        ASSERT_TRUE(Ostravo::encrypt(stored, message));
        const bool headerIntact = i % 3 != 0;
        switch (i % 6) {
        case 0: // a changed header byte
            stored[gen.Pick(0, 31)] ^= static_cast<char>(1 << gen.Pick(0, 7));
            break;
        case 3: // cut inside the header
            stored.resize(gen.Pick(0, 31));
            break;
        default: // body bytes changed, cut or added behind the first 32 (which stay plain '#')
            stored = stored.substr(0, 64) + gen.Mutate(stored.substr(64));
            break;
        }
        WriteFileBytes(file, stored);
        ExerciseFile(gen, file, false);
        bool enciphered = false;
        const bool known = Ostravo::E_IsFileEncrypted(file.c_str(), enciphered, message);
        if (headerIntact) {
            // Whatever the rest of the body holds, the file is recognised and deciphers.
            EXPECT_TRUE(known && enciphered);
            if (i % 4 == 1) {
                ASSERT_TRUE(Ostravo::E_DecryptFile(file.c_str(), message)) << message.c_str();
                EXPECT_EQ(ReadFileBytes(file).size(), stored.size() - 32);
            }
        } else if (i % 4 == 0) {
            Ostravo::E_DecryptFile(file.c_str(), message);
        }
        std::filesystem::remove(file);
        if (HasFailure())
            break;
    }
}

} // namespace
} // namespace vantelis::test

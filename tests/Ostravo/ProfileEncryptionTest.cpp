// Profile encryption against rand.bin: loading the random-data file, the enciphered layout, the file
// conversions, transparent reading and writing of enciphered profiles, and the profile log.
#include "Ostravo/MurmurHash3.h"
#include "ProfileTestSupport.h"
#include "platform/Clock.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vantelis::test {
namespace {

class ProfileEncryptionTest : public ProfileFixture
{
  protected:
    void SetUp() override
    {
        ProfileFixture::SetUp();
        m_pool = RandomBytes(64000, 17);
        WriteFileBytes(m_dir.file("rand.bin"), m_pool);
        EString message;
        ASSERT_TRUE(Ostravo::E_LoadRandomFile(m_dir.file("rand.bin").c_str(), message)) << message.c_str();
    }
    void TearDown() override
    {
        UnregisterEncryptedProfile("Users.ini");
        UnregisterEncryptedProfile("enc.ini");
        ProfileFixture::TearDown();
    }

    // The fingerprint and keystream as the file format defines them, worked out here from the pool
    // so that the test pins the layout that existing enciphered files have.
    std::string Fingerprint() const
    {
        uint64_t first[2];
        uint64_t second[2];
        MurmurHash3_x64_128(m_pool.data(), m_pool.size(), 0, first);
        MurmurHash3_x64_128(m_pool.data(), m_pool.size(), static_cast<uint32_t>(first[0]), second);
        std::string bytes;
        for (uint64_t word : {first[0], first[1], second[0], second[1]})
            for (int i = 0; i < 8; ++i)
                bytes += static_cast<char>(word >> (8 * i));
        return bytes;
    }
    std::string Encipher(const std::string &plain) const
    {
        std::string state = Fingerprint();
        std::string out = state;
        long previous = -1;
        for (size_t i = 0; i < plain.size(); ++i) {
            long k = MurmurHash3_x86_32(state.data(), 32, 0) % m_pool.size();
            if (k == previous)
                k = (k + 1) % static_cast<long>(m_pool.size());
            out += static_cast<char>(plain[i] ^ m_pool[k]);
            state[i % 32] = m_pool[k];
            previous = k;
        }
        return out;
    }

    std::string m_pool;
};

TEST_F(ProfileEncryptionTest, RandomFileSizeBounds)
{
    const struct
    {
        size_t size;
        const char *message; // null: accepted
    } cases[] = {
        {63999, "Ostravo::E_LoadRandomFile() File must be at least 64KB: "},
        {64000, nullptr},
        {32000000, nullptr},
        {32000001, "Ostravo::E_LoadRandomFile() File must less than 32MB: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        const std::string path = m_dir.file("rand" + std::to_string(c.size) + ".bin");
        WriteFileBytes(path, std::string(c.size, '\x5a'));
        EString message("untouched");
        EXPECT_EQ(Ostravo::E_LoadRandomFile(path.c_str(), message), c.message == nullptr);
        EXPECT_EQ(std::string(message.c_str()), c.message ? c.message + path : std::string("untouched"));
        std::filesystem::remove(path);
    }
    EString message;
    const std::string missing = m_dir.file("none.bin");
    EXPECT_FALSE(Ostravo::E_LoadRandomFile(missing.c_str(), message));
    EXPECT_EQ(std::string(message.c_str()), "Ostravo::E_LoadRandomFile() File does not exist: " + missing);
}

TEST_F(ProfileEncryptionTest, RefusedRandomFileKeepsThePoolInUse)
{
    const std::string file = m_dir.file("enc.ini");
    WriteFileBytes(file, "[S]\r\na=1\r\n");
    EString message;
    ASSERT_TRUE(Ostravo::E_EncryptFile(file.c_str(), message)) << message.c_str();
    WriteFileBytes(m_dir.file("small.bin"), std::string(100, 'x'));
    EXPECT_FALSE(Ostravo::E_LoadRandomFile(m_dir.file("small.bin").c_str(), message));
    EXPECT_EQ(Read(file, "S", "a"), "1");
}

TEST_F(ProfileEncryptionTest, EncipheredLayout)
{
    const std::string file = m_dir.file("layout.ini");
    const std::string plain = "[Section]\r\nkey=value\r\n";
    WriteFileBytes(file, plain);
    EString message;
    ASSERT_TRUE(Ostravo::E_EncryptFile(file.c_str(), message)) << message.c_str();
    EXPECT_EQ(ReadFileBytes(file), Encipher(plain));
}

TEST_F(ProfileEncryptionTest, FilesRoundTripByteForByte)
{
    const std::string contents[] = {
        "",
        "[S]\r\na=1\r\n",
        "[S]\na=1\nno final line end",
        // Any bytes behind a plain start (a high byte among the first 32 would mark it enciphered).
        std::string(32, '#') + RandomBytes(5000, 3),
    };
    int n = 0;
    for (const std::string &content : contents) {
        SCOPED_TRACE(n);
        const std::string file = m_dir.file("round" + std::to_string(n++) + ".ini");
        WriteFileBytes(file, content);
        EString message;
        bool enciphered = true;
        if (content.size() < 32 || content.compare(0, 4, "[S]\n") == 0) {
            ASSERT_TRUE(Ostravo::E_IsFileEncrypted(file.c_str(), enciphered, message));
            EXPECT_FALSE(enciphered);
        }
        ASSERT_TRUE(Ostravo::E_EncryptFile(file.c_str(), message)) << message.c_str();
        const std::string stored = ReadFileBytes(file);
        EXPECT_EQ(stored.size(), content.size() + 32);
        EXPECT_EQ(stored.substr(0, 32), Fingerprint());
        ASSERT_TRUE(Ostravo::E_IsFileEncrypted(file.c_str(), enciphered, message));
        EXPECT_TRUE(enciphered);
        // Enciphering again changes nothing.
        ASSERT_TRUE(Ostravo::E_EncryptFile(file.c_str(), message));
        EXPECT_EQ(ReadFileBytes(file), stored);

        ASSERT_TRUE(Ostravo::E_DecryptFile(file.c_str(), message)) << message.c_str();
        EXPECT_EQ(ReadFileBytes(file), content);
        ASSERT_TRUE(Ostravo::E_DecryptFile(file.c_str(), message));
        EXPECT_EQ(ReadFileBytes(file), content);
    }
}

TEST_F(ProfileEncryptionTest, DetectionLooksAtTheFirst32Bytes)
{
    const struct
    {
        const char *what;
        std::string bytes;
        bool ok;
        bool enciphered;
    } cases[] = {
        {"31 high bytes are plain", std::string(31, '\xff'), true, false},
        {"32 low bytes are plain", std::string(32, 'a') + "\xff\xff", true, false},
        {"a high byte in the first 32 without the fingerprint", std::string(31, 'a') + "\x80", false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = m_dir.file("detect.ini");
        WriteFileBytes(file, c.bytes);
        EString message;
        bool enciphered = !c.enciphered;
        EXPECT_EQ(Ostravo::E_IsFileEncrypted(file.c_str(), enciphered, message), c.ok);
        EXPECT_EQ(enciphered, c.enciphered);
        if (!c.ok) {
            EXPECT_EQ(std::string(message.c_str()),
                      "Ostravo::E_IsFileEncrypted() : encrypted file not compatible with rand.bin: " + file);
        }
    }
    EString message;
    bool enciphered = false;
    const std::string missing = m_dir.file("missing.ini");
    EXPECT_FALSE(Ostravo::E_IsFileEncrypted(missing.c_str(), enciphered, message));
    EXPECT_EQ(std::string(message.c_str()), "Ostravo::E_IsFileEncrypted() : file does not exist: " + missing);
    EXPECT_FALSE(Ostravo::E_EncryptFile(missing.c_str(), message));
    EXPECT_FALSE(platform::FileExists(missing));
}

TEST_F(ProfileEncryptionTest, AnotherRandomFileCannotReadIt)
{
    const std::string file = m_dir.file("other.ini");
    WriteFileBytes(file, "[S]\r\na=1\r\n");
    EString message;
    ASSERT_TRUE(Ostravo::E_EncryptFile(file.c_str(), message));
    const std::string stored = ReadFileBytes(file);

    LoadRandomBin(m_dir, 99, 64000, "other.bin");
    std::string buffer;
    bool enciphered = false;
    EXPECT_FALSE(Ostravo::read_profile_file_to_memory(buffer, file.c_str(), enciphered, message));
    EXPECT_TRUE(enciphered);
    const std::string expected =
        "Ostravo::read_profile_file_to_memory() : encrypted file not compatible with rand.bin: " + file;
    EXPECT_EQ(std::string(message.c_str()), expected);

    bool ok = true;
    EXPECT_EQ(Read(file, "S", "a", "d", 256, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(LogCount(expected), 1);
    EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("S", "b", "2", file.c_str()));
    EXPECT_FALSE(Ostravo::E_DecryptFile(file.c_str(), message));
    std::vector<EString> lines;
    EXPECT_FALSE(Ostravo::E_ReadSection("S", lines, file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), stored);
}

TEST_F(ProfileEncryptionTest, BufferErrors)
{
    EString message;
    std::string shortBuffer(31, '\x90');
    EXPECT_FALSE(Ostravo::decrypt(shortBuffer, message));
    EXPECT_STREQ(message.c_str(), "Ostravo::decrypt() : internal error #2.");
    std::string wrongHeader(40, '\x90');
    EXPECT_FALSE(Ostravo::decrypt(wrongHeader, message));
    EXPECT_STREQ(message.c_str(), "Ostravo::decrypt() : internal error #3.");

    std::string text = "plain text";
    ASSERT_TRUE(Ostravo::encrypt(text, message));
    EXPECT_EQ(text, Encipher("plain text"));
    ASSERT_TRUE(Ostravo::decrypt(text, message));
    EXPECT_EQ(text, "plain text");
}

TEST_F(ProfileEncryptionTest, RegisteredProfilesAreWrittenEnciphered)
{
    const std::string file = m_dir.file("enc.ini");
    ASSERT_TRUE(RegisterEncryptedProfile("enc.ini"));
    EXPECT_TRUE(IsEncryptedProfile(file.c_str()));
    EXPECT_FALSE(IsEncryptedProfile(m_dir.file("ENC.ini").c_str())); // names are case-sensitive
    EXPECT_TRUE(IsEncryptedProfile("C:\\data\\enc.ini"));

    ASSERT_TRUE(Ostravo::E_WritePrivateProfileString("S", "a", "1", file.c_str()));
    ASSERT_TRUE(Ostravo::E_WritePrivateProfileString("S", "b", "2", file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), Encipher("[S]\r\na=1\r\nb=2\r\n"));
    EXPECT_EQ(Read(file, "S", "b"), "2");

    std::vector<EString> lines{EString("x=1")};
    ASSERT_TRUE(Ostravo::E_ReplaceSection("T", lines, file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), Encipher("[S]\r\na=1\r\nb=2\r\n[T]\r\nx=1\r\n"));

    // Once unregistered, the next change writes it plain.
    UnregisterEncryptedProfile("enc.ini");
    EXPECT_FALSE(IsEncryptedProfile(file.c_str()));
    EXPECT_EQ(Read(file, "T", "x"), "1");
    ASSERT_TRUE(Ostravo::E_WritePrivateProfileString("S", "a", "3", file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\na=3\r\nb=2\r\n[T]\r\nx=1\r\n");
}

TEST_F(ProfileEncryptionTest, RedundantSectionsOfAnEncipheredFile)
{
    const std::string file = m_dir.file("Users.ini");
    WriteFileBytes(file, "[A]\r\na=1\r\n[A]\r\nb=2\r\n");
    EString message;
    ASSERT_TRUE(Ostravo::E_EncryptFile(file.c_str(), message));
    RegisterEncryptedProfile("Users.ini");
    ASSERT_TRUE(Ostravo::E_RemoveRedundantSections(file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), Encipher("[A]\r\na=1\r\n"));
}

TEST_F(ProfileEncryptionTest, FailedConversionLeavesTheFileAsItWas)
{
    const std::string file = m_dir.file("Users.ini");
    const std::string plain = "[S]\r\na=1\r\n";
    WriteFileBytes(file, plain);
    EString message;
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Rename);
    EXPECT_FALSE(Ostravo::E_EncryptFile(file.c_str(), message));
    EXPECT_EQ(std::string(message.c_str()), "Ostravo::E_EncryptFile() : problem writing to file: " + file);
    EXPECT_EQ(ReadFileBytes(file), plain);

    ASSERT_TRUE(Ostravo::E_EncryptFile(file.c_str(), message));
    const std::string stored = ReadFileBytes(file);
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Write);
    EXPECT_FALSE(Ostravo::E_DecryptFile(file.c_str(), message));
    EXPECT_EQ(std::string(message.c_str()), "Ostravo::E_DecryptFile() : problem writing to file: " + file);
    EXPECT_EQ(ReadFileBytes(file), stored);
    // Nothing beside the file: no temporary file and no lock file.
    const std::vector<platform::DirEntry> left = platform::ListFolder(m_dir.str(), "*Users*");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, "Users.ini");
}

TEST_F(ProfileEncryptionTest, ProfileLog)
{
    platform::LocalTime now;
    now.year = 2024;
    now.month = 3;
    now.day = 5;
    now.hour = 14;
    now.minute = 7;
    now.second = 9;
    platform::SetFakeClock(now);
    const std::string message = "test message " + m_dir.str();
    EXPECT_TRUE(Ostravo::log_error(message.c_str()));
    EXPECT_TRUE(Ostravo::log_error(message.c_str()));
    EXPECT_TRUE(Ostravo::log_error((message + " 2").c_str()));
    platform::ClearFakeClock();
    EXPECT_EQ(Log(), "2024/03/05 14:07:09\tOstravo::log_error()\t" + message +
                         "\r\n"
                         "2024/03/05 14:07:09\tOstravo::log_error()\t" +
                         message + " 2\r\n");

    // An existing log is appended to; a log in a missing folder is refused and the old one stays.
    EString error;
    EXPECT_TRUE(Ostravo::E_SetErrorLog(m_log.c_str(), error));
    const std::string bad = m_dir.file("no/such/folder.log");
    EXPECT_FALSE(Ostravo::E_SetErrorLog(bad.c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), "Ostravo::E_SetErrorLog() unable to create file: " + bad);
    EXPECT_TRUE(Ostravo::log_error((message + " 3").c_str()));
    EXPECT_EQ(LogCount(message + " 3"), 1);
}

} // namespace
} // namespace vantelis::test

#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "support/EndedProcess.h"
#include "support/FifoGuard.h"
#include "support/TempDir.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using vantelis::test::ReadFileBytes;
using vantelis::test::ReturnsWithoutBlocking;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

namespace {

std::vector<std::string> Names(const std::vector<DirEntry> &entries)
{
    std::vector<std::string> names;
    for (const DirEntry &entry : entries)
        names.push_back(entry.name);
    return names;
}

} // namespace

TEST(AtomicReplace, WritesNewAndReplacesExistingFilesKeepingTheirPermissions)
{
    TempDir dir;
    std::string path = dir.file("Plexorin.ini");
    const std::string bytes("[A]\r\nKey=1\r\n\0binary\xff", 19);
    std::string error;
    ASSERT_TRUE(AtomicReplace(path, bytes, &error)) << error;
    EXPECT_EQ(ReadFileBytes(path), bytes);

    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(AtomicReplace(path, "second", &error)) << error;
    EXPECT_EQ(ReadFileBytes(path), "second");
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(ListFolder(dir.str())), std::vector<std::string>{"Plexorin.ini"});

    ASSERT_TRUE(AtomicReplace(path, "", &error)) << error;
    EXPECT_EQ(FileSize(path), 0);
}

TEST(AtomicReplace, FailureAtAnyStepLeavesTheOriginalAndNoTemporaryFile)
{
    const ReplaceFailurePoint points[] = {ReplaceFailurePoint::Create, ReplaceFailurePoint::Write,
                                          ReplaceFailurePoint::Flush, ReplaceFailurePoint::Rename};
    for (ReplaceFailurePoint point : points) {
        SCOPED_TRACE(static_cast<int>(point));
        TempDir dir;
        std::string path = dir.file("Users.ini");
        WriteFileBytes(path, "original contents\r\n");
        FailNextReplaceAt(point);
        std::string error;
        EXPECT_FALSE(AtomicReplace(path, std::string(10000, 'n'), &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(ReadFileBytes(path), "original contents\r\n");
        EXPECT_EQ(Names(ListFolder(dir.str())), std::vector<std::string>{"Users.ini"});

        // The failure was for one call only; a file that did not exist stays absent too.
        FailNextReplaceAt(point);
        EXPECT_FALSE(AtomicReplace(dir.file("new.ini"), "x", nullptr));
        EXPECT_FALSE(FileExists(dir.file("new.ini")));
        EXPECT_TRUE(AtomicReplace(path, "next", &error)) << error;
        EXPECT_EQ(ReadFileBytes(path), "next");
    }
}

TEST(AtomicReplace, RejectsFoldersAndMissingFoldersWithAMessage)
{
    TempDir dir;
    std::string error;
    EXPECT_FALSE(AtomicReplace(dir.str(), "x", &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(AtomicReplace(dir.file("missing/file.txt"), "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(FolderExists(dir.str()));
}

TEST(AtomicReplace, ThroughASymbolicLinkUpdatesTheTargetAndKeepsTheLink)
{
    TempDir dir;
    WriteFileBytes(dir.file("real.ini"), "old");
    ASSERT_EQ(::symlink(dir.file("real.ini").c_str(), dir.file("link.ini").c_str()), 0);
    std::string error;
    ASSERT_TRUE(AtomicReplace(dir.file("link.ini"), "new", &error)) << error;
    struct stat info;
    ASSERT_EQ(::lstat(dir.file("link.ini").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFileBytes(dir.file("real.ini")), "new");
}

// The owner and mode of a file.
struct Ownership
{
    uid_t uid;
    mode_t mode;
};
Ownership OwnershipOf(const std::string &path)
{
    struct stat info;
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return {info.st_uid, static_cast<mode_t>(info.st_mode & 07777)};
}

TEST(AtomicReplace, AFileTheUserMayNotWriteIsRefusedAndKept)
{
    // The mode and owner decide, also for root, who could otherwise replace anything: a rename
    // over a read-only file would silently drop its protection.
    TempDir dir;
    const std::string path = dir.file("Plexorin.ini");
    WriteFileBytes(path, "protected\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(AtomicReplace(path, "new", &error));
    EXPECT_EQ(error.rfind("AtomicReplace() : cannot open", 0), 0u) << error;
    EXPECT_FALSE(CopyFile(dir.file("Plexorin.ini"), path, false));
    EXPECT_EQ(ReadFileBytes(path), "protected\r\n");
    EXPECT_EQ(OwnershipOf(path).mode, 0444u);
    EXPECT_EQ(Names(ListFolder(dir.str())), std::vector<std::string>{"Plexorin.ini"});

    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_TRUE(AtomicReplace(path, "new", &error)) << error;
    EXPECT_EQ(ReadFileBytes(path), "new");
}

TEST(AtomicReplace, AFileOfAnotherUserKeepsItsOwnerOrIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    const uid_t other = 65534;
    struct Case
    {
        mode_t mode;
        bool written; // others may write it: written, and it still belongs to its owner
    } cases[] = {{0644, false}, {0666, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        TempDir dir;
        const std::string path = dir.file("Users.ini");
        WriteFileBytes(path, "theirs");
        ASSERT_EQ(::chown(path.c_str(), other, other), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        std::string error;
        EXPECT_EQ(AtomicReplace(path, "mine", &error), c.written) << error;
        EXPECT_EQ(ReadFileBytes(path), c.written ? "mine" : "theirs");
        EXPECT_EQ(OwnershipOf(path).uid, other);
        EXPECT_EQ(OwnershipOf(path).mode, c.mode);
        EXPECT_EQ(Names(ListFolder(dir.str())), std::vector<std::string>{"Users.ini"});
    }
}

TEST(AtomicReplace, RemovesTheTemporariesOfWritersThatAreGone)
{
    TempDir dir;
    const std::string path = dir.file("Plexorin.ini");
    WriteFileBytes(path, "old");
    const pid_t gone = vantelis::test::EndedProcessId();
    ASSERT_GT(gone, 0);
    const std::string goneName = ".Plexorin.ini.tmp" + std::to_string(gone) + "_3";
    const std::string liveName = ".Plexorin.ini.tmp" + std::to_string(::getppid()) + "_0";
    const std::string ownName = ".Plexorin.ini.tmp" + std::to_string(::getpid()) + "_999999";
    const std::string otherFile = ".Other.ini.tmp" + std::to_string(gone) + "_0";
    const std::string notOurs = ".Plexorin.ini.tmpx" + std::to_string(gone);
    for (const std::string &name : {goneName, liveName, ownName, otherFile, notOurs})
        WriteFileBytes(dir.file(name), "half a file");
    // A file staged in a folder of its own (a video) by a writer that is gone.
    const std::string goneFolder = ".Plexorin.ini.tmp" + std::to_string(gone) + "_4";
    ASSERT_TRUE(MakeFolder(dir.file(goneFolder)));
    WriteFileBytes(dir.file(goneFolder) + "/Plexorin.ini", "half a video");

    std::string error;
    ASSERT_TRUE(AtomicReplace(path, "new", &error)) << error;
    EXPECT_EQ(ReadFileBytes(path), "new");
    std::vector<std::string> expected{notOurs, liveName, ownName, otherFile, "Plexorin.ini"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(ListFolder(dir.str())), expected);
}

TEST(AtomicReplace, KeepsTheTemporariesWhoseWriterStillHoldsTheirLock)
{
    // A writer on another machine sharing the folder: its process id means nothing here, but it
    // holds the lock on its temporary file, or on the folder it stages a video in.
    TempDir dir;
    const std::string path = dir.file("Plexorin.ini");
    const pid_t gone = vantelis::test::EndedProcessId();
    ASSERT_GT(gone, 0);
    const std::string lockedFile = ".Plexorin.ini.tmp" + std::to_string(gone) + "_1";
    const std::string lockedFolder = ".Plexorin.ini.tmp" + std::to_string(gone) + "_2";
    WriteFileBytes(dir.file(lockedFile), "half a file");
    ASSERT_TRUE(MakeFolder(dir.file(lockedFolder)));
    WriteFileBytes(dir.file(lockedFolder) + "/Plexorin.ini", "half a video");
    std::vector<int> locks;
    for (const std::string &name : {lockedFile, lockedFolder}) {
        const int fd = ::open(dir.file(name).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << name;
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << name;
        locks.push_back(fd);
    }

    std::string error;
    EXPECT_TRUE(AtomicReplace(path, "new", &error)) << error;
    EXPECT_EQ(ReadFileBytes(dir.file(lockedFile)), "half a file");
    EXPECT_EQ(ReadFileBytes(dir.file(lockedFolder) + "/Plexorin.ini"), "half a video");

    // Once the locks are gone, so are the temporaries.
    for (int fd : locks)
        ::close(fd);
    EXPECT_TRUE(AtomicReplace(path, "newer", &error)) << error;
    EXPECT_EQ(Names(ListFolder(dir.str())), std::vector<std::string>{"Plexorin.ini"});
}

// Something else under a temporary's name (here a FIFO) neither blocks the writer nor goes.
TEST(AtomicReplace, AFifoNamedLikeAStaleTemporaryDoesNotBlockTheWriter)
{
    TempDir dir;
    const std::string path = dir.file("Plexorin.ini");
    const pid_t gone = vantelis::test::EndedProcessId();
    ASSERT_GT(gone, 0);
    const std::string fifo = dir.file(".Plexorin.ini.tmp" + std::to_string(gone) + "_0");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    bool written = false;
    std::string error;
    EXPECT_TRUE(ReturnsWithoutBlocking([&] { written = AtomicReplace(path, "new", &error); }, {fifo}));
    EXPECT_TRUE(written) << error;
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(fifo)));
}

TEST(Files, CopyUnderAFileSizeLimitFailsAndLeavesNoFile)
{
    // A copy that meets the file-size limit must fail as a write, not end the process, and leave
    // neither a truncated target nor its temporary file.
    TempDir dir;
    const std::string from = dir.file("Vantelis.ini");
    const std::string to = dir.file("Plexorin.ini");
    WriteFileBytes(from, std::string(100000, 'x'));
    pid_t child = ::fork();
    if (child == 0) {
        IgnoreFileSizeLimitSignal();
        struct rlimit limit = {4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(CopyFile(from, to, true) ? 1 : 0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the copy reported success";
    EXPECT_EQ(Names(ListFolder(dir.str())), std::vector<std::string>{"Vantelis.ini"});
}

TEST(WildcardMatch, MatchesStarAndQuestionMarkIgnoringCase)
{
    struct Case
    {
        const char *pattern;
        const char *name;
        bool match;
    } cases[] = {
        {"*", "anything.txt", true},
        {"*", "", true},
        {"*.scr", "Prime.SCR", true},
        {"*.SCR", "prime.scr", true},
        {"*.scr", "prime.scr.bak", false},
        {"*.scr", "scr", false},
        {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"?.txt", ".txt", false},
        {"Err_????_??_??.log", "ERR_2024_01_05.LOG", true},
        {"Err_????_??_??.log", "Err_2024_1_05.log", false},
        {"a*b*c", "aXXbYYbZc", true},
        {"a*b*c", "aXXbYYbZ", false},
        {"*a*", "bab", true},
        {"**x", "x", true},
        {"abc", "ABC", true},
        {"abc", "abcd", false},
        {"", "", true},
        {"", "a", false},
        // "*.*" and "name.*" also take names without an extension.
        {"*.*", "README", true},
        {"*.*", "a.b", true},
        {"data.*", "DATA", true},
        {"data.*", "data.ini", true},
        {"data.*", "database", false},
        {"*.", "README", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(NameLess, OrdersAsWindowsListedNamesWithLettersFoldedToUpperCase)
{
    const struct
    {
        const char *first, *second;
    } ordered[] = {
        {"a.txt", "B.txt"},                                    // case does not decide
        {"splitline-templates.txt", "SplitLineTemplates.txt"}, // '-' before 'T'
        {"run_a.log", "Run_B.log"},                            // the first difference decides
        {"ab.png", "a_b.png"},                                 // '_' after the letters, as 'B' < '_'
        {"Z.png", "_a.png"},
        {"img.png", "img1.png"},   // '.' before digits
        {"ab", "abc"},             // a prefix first
        {"A.txt", "a.txt"},        // equal but for case: byte order
        {"z.txt", "\xc3\xa9.txt"}, // other bytes after ASCII
    };
    for (const auto &c : ordered) {
        SCOPED_TRACE(std::string(c.first) + " < " + c.second);
        EXPECT_TRUE(NameLess(c.first, c.second));
        EXPECT_FALSE(NameLess(c.second, c.first));
    }
    EXPECT_FALSE(NameLess("same", "same"));
}

TEST(ListFolder, SortsByNameAndFiltersIgnoringCase)
{
    TempDir dir;
    for (const char *name : {"b.TXT", "a.txt", "C.log", "a1.txt", "noext"})
        WriteFileBytes(dir.file(name), name);
    ASSERT_TRUE(MakeFolder(dir.file("Sub")));
    ASSERT_TRUE(MakeFolder(dir.file("sub.txt")));

    struct Case
    {
        const char *pattern;
        std::vector<std::string> names;
    } cases[] = {
        {"*", {"a.txt", "a1.txt", "b.TXT", "C.log", "noext", "Sub", "sub.txt"}},
        {"*.txt", {"a.txt", "a1.txt", "b.TXT", "sub.txt"}},
        {"?.TXT", {"a.txt", "b.TXT"}},
        {"*.LOG", {"C.log"}},
        {"*.*", {"a.txt", "a1.txt", "b.TXT", "C.log", "noext", "Sub", "sub.txt"}},
        {"*.bmp", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Names(ListFolder(dir.str(), c.pattern)), c.names) << c.pattern;

    for (const DirEntry &entry : ListFolder(dir.str()))
        EXPECT_EQ(entry.isFolder, entry.name == "Sub" || entry.name == "sub.txt") << entry.name;

    EXPECT_TRUE(ListFolder(dir.file("missing")).empty());
    // A folder given with '\' separators or a trailing separator lists the same.
    std::string backslashed = NormalizePath(dir.str());
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_EQ(Names(ListFolder(backslashed + "\\", "*.txt")), cases[1].names);
}

TEST(FindFileIgnoringCase, FindsByAnyCasePreferringTheExactName)
{
    TempDir dir;
    WriteFileBytes(dir.file("ExperimentSettings.ini"), "x");
    WriteFileBytes(dir.file("Data.INI"), "upper");
    WriteFileBytes(dir.file("data.ini"), "lower");
    ASSERT_TRUE(MakeFolder(dir.file("Default")));
    WriteFileBytes(dir.file("Default/Vantelis.ini"), "v");

    struct Case
    {
        const char *name;
        std::string found;
    } cases[] = {
        {"experimentsettings.ini", dir.file("ExperimentSettings.ini")},
        {"EXPERIMENTSETTINGS.INI", dir.file("ExperimentSettings.ini")},
        {"data.ini", dir.file("data.ini")},
        {"Data.INI", dir.file("Data.INI")},
        {"DATA.ini", dir.file("Data.INI")}, // no exact match: the first in sorted order
        {"default\\VANTELIS.INI", dir.file("Default/Vantelis.ini")},
        {"DEFAULT", dir.file("Default")},
        {"missing.ini", ""},
        {"Default/missing.ini", ""},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FindFileIgnoringCase(dir.str(), c.name), c.found) << c.name;
}

TEST(Files, CopyHonoursFailIfExistsAndNeverLeavesAHalfCopy)
{
    TempDir dir;
    std::string from = dir.file("from.bin"), to = dir.file("to.bin");
    const std::string bytes(200000, '\x5a');
    WriteFileBytes(from, bytes);
    WriteFileBytes(to, "existing");

    EXPECT_FALSE(CopyFile(from, to, true));
    EXPECT_EQ(ReadFileBytes(to), "existing");
    EXPECT_TRUE(CopyFile(from, to, false));
    EXPECT_EQ(ReadFileBytes(to), bytes);
    EXPECT_TRUE(CopyFile(from, dir.file("fresh.bin"), true));
    EXPECT_EQ(ReadFileBytes(dir.file("fresh.bin")), bytes);

    EXPECT_FALSE(CopyFile(dir.file("missing"), dir.file("other"), false));
    EXPECT_FALSE(FileExists(dir.file("other")));
    EXPECT_FALSE(CopyFile(dir.str(), dir.file("other"), false)) << "a folder is not copied";

    WriteFileBytes(to, "existing");
    FailNextReplaceAt(ReplaceFailurePoint::Flush);
    EXPECT_FALSE(CopyFile(from, to, false));
    EXPECT_EQ(ReadFileBytes(to), "existing");
    EXPECT_EQ(Names(ListFolder(dir.str())), (std::vector<std::string>{"fresh.bin", "from.bin", "to.bin"}));
}

TEST(Files, RenameNeverReplacesAnExistingFile)
{
    TempDir dir;
    WriteFileBytes(dir.file("old.scr"), "old");
    WriteFileBytes(dir.file("taken.scr"), "taken");
    EXPECT_FALSE(RenameFile(dir.file("old.scr"), dir.file("taken.scr")));
    EXPECT_EQ(ReadFileBytes(dir.file("old.scr")), "old");
    EXPECT_EQ(ReadFileBytes(dir.file("taken.scr")), "taken");

    std::string backslashed = dir.str() + "\\new.scr";
    EXPECT_TRUE(RenameFile(dir.file("old.scr"), backslashed));
    EXPECT_FALSE(FileExists(dir.file("old.scr")));
    EXPECT_EQ(ReadFileBytes(dir.file("new.scr")), "old");
    EXPECT_FALSE(RenameFile(dir.file("missing.scr"), dir.file("x.scr")));
}

TEST(Files, ExistenceSizeDeleteAndFolders)
{
    TempDir dir;
    std::string file = dir.file("a.txt");
    WriteFileBytes(file, "12345");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FolderExists(file));
    EXPECT_TRUE(FolderExists(dir.str()));
    EXPECT_FALSE(FileExists(dir.str()));
    EXPECT_EQ(FileSize(file), 5);
    EXPECT_EQ(FileSize(dir.file("missing")), -1);
    EXPECT_EQ(FileSize(dir.str()), -1);

    EXPECT_TRUE(MakeFolder(dir.file("LOG")));
    EXPECT_TRUE(MakeFolder(dir.file("LOG"))) << "an existing folder is fine";
    EXPECT_FALSE(MakeFolder(dir.file("a/b"))) << "one level only";
    EXPECT_FALSE(MakeFolder(file)) << "a file is in the way";
    EXPECT_FALSE(MakeFolder(""));

    EXPECT_FALSE(DeleteFile(dir.file("LOG"))) << "folders are not deleted";
    EXPECT_TRUE(FolderExists(dir.file("LOG")));
    EXPECT_TRUE(DeleteFile(file));
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(DeleteFile(file));
}

TEST(Files, ReadWholeFileKeepsEveryByteAndReportsFailures)
{
    TempDir dir;
    const std::string bytes("line1\r\nline2\n\0\x80\xff", 16);
    WriteFileBytes(dir.file("bytes.bin"), bytes);
    std::string read = "stale";
    std::string error;
    ASSERT_TRUE(ReadWholeFile(dir.file("bytes.bin"), read, &error)) << error;
    EXPECT_EQ(read, bytes);

    read = "unchanged";
    EXPECT_FALSE(ReadWholeFile(dir.file("missing.bin"), read, &error));
    EXPECT_NE(error.find("missing.bin"), std::string::npos) << error;
    EXPECT_EQ(read, "unchanged");
    EXPECT_FALSE(ReadWholeFile(dir.str(), read, nullptr));
    EXPECT_EQ(read, "unchanged");
}

TEST(Files, OpenRegularFileRefusesEverythingElseWithoutBlocking)
{
    TempDir dir;
    WriteFileBytes(dir.file("plain.txt"), "text\n");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    ASSERT_TRUE(MakeFolder(dir.file("folder")));
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);

    std::string error;
    std::FILE *file = OpenRegularFile(dir.file("plain.txt"), &error);
    ASSERT_NE(file, nullptr) << error;
    char line[16] = {0};
    EXPECT_NE(std::fgets(line, sizeof line, file), nullptr);
    EXPECT_STREQ(line, "text\n");
    std::fclose(file);

    // A FIFO without a writer would block a plain open; a device never ends.
    for (const char *name : {"pipe", "folder", "zero", "missing"}) {
        error.clear();
        EXPECT_EQ(OpenRegularFile(dir.file(name), &error), nullptr) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
}

TEST(Files, WholeFileAndImageReadsRefuseFifosAndDevicesWithoutBlocking)
{
    TempDir dir;
    const std::string fifo = dir.file("frame.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.file("null.log").c_str()), 0);
    cv::Mat pixels(3, 4, CV_16UC1, cv::Scalar(1234));
    pixels.at<uint16_t>(1, 2) = 65535;
    ASSERT_TRUE(cv::imwrite(dir.file("real.png"), pixels));
    ASSERT_EQ(::symlink(dir.file("real.png").c_str(), dir.file("linked.png").c_str()), 0);

    bool read = true;
    std::string error;
    std::string bytes = "unchanged";
    EXPECT_TRUE(ReturnsWithoutBlocking([&] { read = ReadWholeFile(fifo, bytes, &error); }, {fifo}));
    EXPECT_FALSE(read);
    EXPECT_NE(error.find("frame.png"), std::string::npos) << error;
    EXPECT_EQ(bytes, "unchanged");
    // A device named like a log is no log (it would read as empty, or never end).
    EXPECT_FALSE(ReadWholeFile(dir.file("null.log"), bytes, &error));

    cv::Mat image(1, 1, CV_8UC1);
    EXPECT_TRUE(ReturnsWithoutBlocking([&] { image = ReadImageFile(fifo, cv::IMREAD_ANYDEPTH); }, {fifo}));
    EXPECT_TRUE(image.empty());
    EXPECT_TRUE(ReadImageFile(dir.file("missing.png"), cv::IMREAD_ANYDEPTH).empty());

    // A link to a regular file is read as the file, with the reader's flags.
    ASSERT_TRUE(ReadWholeFile(dir.file("linked.png"), bytes, &error)) << error;
    EXPECT_EQ(bytes, ReadFileBytes(dir.file("real.png")));
    image = ReadImageFile(dir.file("linked.png"), cv::IMREAD_ANYDEPTH);
    ASSERT_EQ(image.type(), CV_16UC1);
    EXPECT_EQ(cv::countNonZero(image != pixels), 0);
    EXPECT_EQ(ReadImageFile(dir.file("linked.png"), cv::IMREAD_COLOR).type(), CV_8UC3);
}

TEST(AtomicCreate, PublishesWholeFilesAndNeverReplacesAnExistingName)
{
    TempDir dir;
    const std::string path = dir.file("result.txt");
    std::string error;
    ASSERT_TRUE(AtomicCreate(path, "first\r\n", &error)) << error;
    EXPECT_EQ(ReadFileBytes(path), "first\r\n");

    errno = 0;
    EXPECT_FALSE(AtomicCreate(path, "second", &error));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFileBytes(path), "first\r\n");
    // A dangling link holds the name too.
    ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("link.txt").c_str()), 0);
    errno = 0;
    EXPECT_FALSE(AtomicCreate(dir.file("link.txt"), "x", &error));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(FileExists(dir.file("nowhere")));

    // A failure at any step leaves neither the new name nor a temporary file, and tells no EEXIST.
    for (ReplaceFailurePoint point : {ReplaceFailurePoint::Create, ReplaceFailurePoint::Write,
                                      ReplaceFailurePoint::Flush, ReplaceFailurePoint::Rename}) {
        SCOPED_TRACE(static_cast<int>(point));
        FailNextReplaceAt(point);
        errno = 0;
        EXPECT_FALSE(AtomicCreate(dir.file("new.txt"), std::string(10000, 'n'), &error));
        EXPECT_NE(errno, EEXIST);
        EXPECT_NE(errno, 0);
        EXPECT_EQ(Names(ListFolder(dir.str())), (std::vector<std::string>{"link.txt", "result.txt"}));
    }
}

TEST(FileLock, LocksLiveInOneSharedFolderOutsideTheUsersFolders)
{
    TempDir dir;
    const std::string file = dir.file("Plexorin.ini");
    WriteFileBytes(file, "[A]\r\n");
    ASSERT_EQ(::symlink(file.c_str(), dir.file("alias.ini").c_str()), 0);
    ASSERT_TRUE(MakeFolder(dir.file("sub")));
    {
        FileLock lock;
        ASSERT_EQ(lock.Acquire(file, 1000), FileLock::Result::Held);
        // Nothing is made beside the file.
        EXPECT_EQ(Names(ListFolder(dir.str())),
                  (std::vector<std::string>{"alias.ini", "Plexorin.ini", "sub"}));
        const std::string lockPath = FileLock::LockFilePath(file);
        EXPECT_EQ(lockPath.rfind(FileLock::LockFolder() + "/", 0), 0u) << lockPath;
        EXPECT_EQ(lockPath.find(dir.str()), std::string::npos) << lockPath;
        struct stat info;
        ASSERT_EQ(::lstat(FileLock::LockFolder().c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 01777u); // every user adds locks, none removes another's
        ASSERT_EQ(::lstat(lockPath.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0666u);
        ::unlink(lockPath.c_str());
    }
    // One file, one lock, however it is named: through a link, with "..", with '\\', or before
    // it exists; another file has another lock.
    const std::string same = FileLock::LockFilePath(file);
    EXPECT_EQ(FileLock::LockFilePath(dir.file("alias.ini")), same);
    EXPECT_EQ(FileLock::LockFilePath(dir.file("sub/../Plexorin.ini")), same);
    std::string backslashed = file;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_EQ(FileLock::LockFilePath(backslashed), same);
    const std::string later = FileLock::LockFilePath(dir.file("sub/later.ini"));
    WriteFileBytes(dir.file("sub/later.ini"), "");
    EXPECT_EQ(FileLock::LockFilePath(dir.file("sub/later.ini")), later);
    EXPECT_NE(later, same);
    EXPECT_NE(FileLock::LockFilePath(dir.file("Plexorin.in")), same);
}

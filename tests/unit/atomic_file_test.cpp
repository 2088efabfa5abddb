// Whole-file writes that replace a file only once the new content is safely on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <filesystem>

#include "core/atomic_file.h"
#include "support/scratch_dir.h"

using namespace tarnel;
using tarnel::test::readBytes;
using tarnel::test::ScratchDir;

#if !defined(_WIN32)  // POSIX permission bits
TEST(AtomicFile, WritesAndReplacesKeepingPermissions) {
    ScratchDir dir;
    const std::string path = dir.file("out.bin");
    const std::vector<std::uint8_t> first{1, 2, 3};
    ASSERT_TRUE(writeFileAtomically(path, first));
    EXPECT_EQ(readBytes(path), first);

    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const std::vector<std::uint8_t> second(70000, 0x5A);
    ASSERT_TRUE(writeFileAtomically(path, second));
    EXPECT_EQ(readBytes(path), second);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
}
#endif

TEST(AtomicFile, FailureLeavesTargetAndNoTemporaryFile) {
    ScratchDir dir;
    std::string error;
    const std::vector<std::uint8_t> bytes{1, 2};
    EXPECT_FALSE(writeFileAtomically(dir.file("missing/out.bin"), bytes, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;

    // The rename over a directory fails after the data was written: nothing is left behind.
    std::filesystem::create_directory(dir.file("target"));
    EXPECT_FALSE(writeFileAtomically(dir.file("target"), bytes, &error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target"});
    EXPECT_FALSE(writeFileAtomically("", bytes));
}

#if !defined(_WIN32)  // a process that is gone; Windows goes by the file's age
// A write killed before its rename leaves its temporary file; the next write of the same
// target removes it, but not one of a writer that still lives nor one of another target.
TEST(AtomicFile, StaleTemporaryOfTheTargetIsRemovedByTheNextWrite) {
    ScratchDir dir;
    const std::string target = dir.file("X.TPJ");
    dir.write("X.TPJ.tmp999999999-0-0", "half");  // no such process
    const std::string live = "X.TPJ.tmp" + std::to_string(::getpid()) + "-77-0";
    dir.write(live, "in flight");
    dir.write("Y.TPJ.tmp999999999-0-0", "other target");
    ASSERT_TRUE(writeFileAtomically(target, std::vector<std::uint8_t>{1}));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"X.TPJ", live, "Y.TPJ.tmp999999999-0-0"}));
}
#endif

TEST(AtomicFile, ReadWholeFileRefusesWhatIsNotAnOrdinaryFileOrTooLarge) {
    ScratchDir dir;
    std::vector<std::uint8_t> bytes{9};
    EXPECT_EQ(readWholeFile(dir.file("none"), bytes, 100), ReadResult::OpenFailed);
    EXPECT_EQ(readWholeFile(dir.path(), bytes, 100), ReadResult::NotRegular);
#if !defined(_WIN32)
    // A FIFO with no writer is refused at once, not waited on.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(readWholeFile(dir.file("fifo"), bytes, 100), ReadResult::NotRegular);
#endif
    const std::string path = dir.write("ten", std::string(10, 'x'));
    EXPECT_EQ(readWholeFile(path, bytes, 9), ReadResult::TooLarge);
    ASSERT_EQ(readWholeFile(path, bytes, 10), ReadResult::Ok);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(10, 'x'));
}

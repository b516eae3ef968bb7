#include "export/export_files.h"

#include <sys/stat.h>

#include "export/export_names.h"
#include "export_fixture.h"

namespace winorvex::test {
namespace {

using ExportFilesTest = ExportFixture;

TEST_F(ExportFilesTest, TimeOfDayFormNumbersItsOwnLinesAndSkipsRemovedResults) {
    CWorkResultList results = {Work("12", "125", "10:00:00.25"), Work("12", "7", "10:00:01.00"),
                               Work("12", "9", "10:00:02.00")};
    results[1].active = 0;
    results[2].absoluteClock = 1;
    results[2].timeText = "1716000000.5";
    const std::string path = out_.str() + "/a.rix";
    // An older, longer file is replaced whole.
    out_.WriteFile("a.rix", std::string(500, 'x'));
    ASSERT_TRUE(WriteResultFile(path, PointersTo(results)));
    EXPECT_EQ(ReadWholeFile(path),
              "1\t12\t125\t1\t10:00:00.25\t1\r\n"
              "2\t12\t9\t1\t1716000000.5\t2\r\n");
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"a.rix"}));
}

TEST_F(ExportFilesTest, PassingTimeForms) {
    CWorkResultList results = {Work("12", "125", "10:15:30.25"), Work("12", "8", "09:30:20.25"),
                               Work("12", "3", "09:00:00.00")};
    const CChrono handicap = Clock("09:30:20.25");
    const std::string passing = out_.str() + "/p.rix";
    ASSERT_TRUE(WritePassingFile(passing, PointersTo(results), handicap, false));
    EXPECT_EQ(ReadWholeFile(passing),
              "1\t12\t125\t1\t00:45:10.00\t1\r\n"
              "2\t12\t8\t1\t00:00:00.00\t1\r\n"
              "3\t12\t3\t1\t-00:30:20.25\t1\r\n");

    const std::string compact = out_.str() + "/c-ljk.txt";
    ASSERT_TRUE(WritePassingFile(compact, PointersTo(results), handicap, true));
    EXPECT_EQ(ReadWholeFile(compact),
              "dossard\ttemps\tcommentaire\r\n"
              "dossard\tperformancen\tcommentaire\r\n"
              "125\t4510\t\r\n"
              "8\t\t\r\n"
              "3\t-3021\t\r\n");
}

TEST_F(ExportFilesTest, AbsoluteClockResultsInThePassingTimeForms) {
    CWorkResultList results = {Work("12", "125", "10:15:30.25"), Work("12", "9", "1716000000.5")};
    results[1].absoluteClock = 1;
    results[1].Derive();
    const std::string passing = out_.str() + "/p.rix";
    ASSERT_TRUE(WritePassingFile(passing, PointersTo(results), Clock("10:00:00"), false));
    EXPECT_EQ(ReadWholeFile(passing),
              "1\t12\t125\t1\t00:15:30.25\t1\r\n"
              "2\t12\t9\t1\t1716000000.5\t2\r\n");
    int skipped = -1;
    const std::string compact = out_.str() + "/c-ljk.txt";
    ASSERT_TRUE(WritePassingFile(compact, PointersTo(results), Clock("10:00:00"), true, &skipped));
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(ReadWholeFile(compact),
              "dossard\ttemps\tcommentaire\r\n"
              "dossard\tperformancen\tcommentaire\r\n"
              "125\t1531\t\r\n");
}

TEST_F(ExportFilesTest, AFileThatCannotBeWrittenLeavesNothing) {
    CWorkResultList results = {Work("12", "125", "10:15:30.25")};
    EXPECT_FALSE(WriteResultFile(out_.str() + "/missing/a.rix", PointersTo(results)));
    ASSERT_EQ(::chmod(out_.str().c_str(), 0500), 0);
    const bool written = WriteResultFile(out_.str() + "/a.rix", PointersTo(results));
    ::chmod(out_.str().c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_FALSE(written);
    }
    if (!written) {
        EXPECT_TRUE(FilesIn(out_.path()).empty());
    }
    EXPECT_NE(LogText().find("## Cannot create file " + out_.str() + "/missing/a.rix"), std::string::npos);
}

TEST_F(ExportFilesTest, NamesStayInsideTheFolder) {
    EXPECT_EQ(ExportFileName("/d/course", "export", "12", 3, DisplayMode::PassingTime), "/d/course/export-12-3.rix");
    EXPECT_EQ(ExportFileName("/d/course", "export", "12", 3, DisplayMode::Compact), "/d/course/export-12-3-ljk.txt");
    EXPECT_EQ(ExportSubFolder("/d/course", "export"), "/d/course/export");
    EXPECT_EQ(ExportArchivePath("/d/course", "export"), "/d/course/export.zip");
    EXPECT_EQ(ExportFileName("/d", "e", "../../etc", 1, DisplayMode::TimeOfDay), "/d/e-.._.._etc-1.rix");
    EXPECT_EQ(ExportFileName("/d", "e", "a\\b\tc", 1, DisplayMode::TimeOfDay), "/d/e-a_b_c-1.rix");
    EXPECT_EQ(ExportFileName("/d", "e", "", 1, DisplayMode::TimeOfDay), "/d/e-_-1.rix");
    EXPECT_EQ(WithoutTrailingSeparator("/d/course//"), "/d/course");
    EXPECT_EQ(WithoutTrailingSeparator("/"), "/");

    EXPECT_EQ(CheckGenericName("export"), "");
    EXPECT_EQ(CheckGenericName("course 2024.v1"), "");
    EXPECT_EQ(CheckGenericName(""), "Destination filename mandatory!");
    for (const char* bad : {".", "..", "../x", "a/b", "a\\b", "a\nb"}) {
        EXPECT_NE(CheckGenericName(bad).find("Invalid generic file name"), std::string::npos) << bad;
    }
}

}  // namespace
}  // namespace winorvex::test

#include "export/zip_dir.h"

#include <sys/stat.h>
#include <sys/time.h>

#include "export_fixture.h"
#include "zip_inspect.h"

namespace winorvex::test {
namespace {

class ZipDirTest : public ExportFixture {
protected:
    void SetUp() override {
        ExportFixture::SetUp();
        SetZipDiagnosticStream(nullptr);
    }
    void TearDown() override {
        SetZipDiagnosticStream(stdout);
        ExportFixture::TearDown();
    }

    // A file with a chosen last-write time.
    std::string WriteDated(const std::string& name, const std::string& bytes, std::time_t modified) {
        const std::string path = out_.WriteFile(name, bytes);
        const timeval times[2] = {{modified, 0}, {modified, 0}};
        EXPECT_EQ(::utimes(path.c_str(), times), 0);
        return path;
    }
};

TEST_F(ZipDirTest, ArchiveReadsBackWithOtherTools) {
    std::string big;
    for (int i = 0; i < 5000; ++i) big += std::to_string(i) + "\t31\t125\t1\t10:00:00.25\t1\r\n";  // several blocks
    WriteDated("export/export-12-3.rix", big, 1716000001);  // 2024-05-18, odd second
    WriteDated("export/export-12-1.rix", "1\t12\t7\t1\t10:00:00.00\t1\r\n", 1700000000);
    WriteDated("export/empty.rix", "", 1700000000);
    WriteDated("export/.hidden", "not archived", 1700000000);
    WriteDated("export/sub/inner.rix", "inner", 1700000000);
    const std::string archive = out_.str() + "/export.zip";

    ASSERT_EQ(_zpZipDir(out_.str() + "/export", archive, false), 0);
    const ZipInspection zip = InspectZip(archive);
    ASSERT_TRUE(zip.ok) << zip.output;
    EXPECT_EQ(zip.archiveCommentLength, 0u);
    EXPECT_EQ(zip.names,
              (std::vector<std::string>{"export/empty.rix", "export/export-12-1.rix", "export/export-12-3.rix"}));
    for (const auto& [name, entry] : zip.entries) {
        EXPECT_EQ(entry.method, 8) << name;
        EXPECT_EQ(entry.extraLength, 0u) << name;
        EXPECT_EQ(entry.commentLength, 0u) << name;
    }
    EXPECT_EQ(zip.entries.at("export/export-12-3.rix").bytes, big);
    EXPECT_EQ(zip.entries.at("export/export-12-1.rix").bytes, "1\t12\t7\t1\t10:00:00.00\t1\r\n");
    EXPECT_EQ(zip.entries.at("export/empty.rix").bytes, "");
    EXPECT_EQ(zip.entries.at("export/export-12-3.rix").dateTime, DosDateOf(1716000001));
    EXPECT_EQ(zip.entries.at("export/export-12-1.rix").dateTime, DosDateOf(1700000000));
    std::string unzipOutput;
    EXPECT_TRUE(UnzipTestPasses(archive, unzipOutput)) << unzipOutput;
    // The zipped files stay; only the archive was added beside them.
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"export.zip", "export/"}));
    EXPECT_EQ(FilesIn(out_.path() / "export").size(), 5u);

    ASSERT_EQ(_zpZipDir(out_.str() + "/export/", archive, true), 0);
    const ZipInspection recursive = InspectZip(archive);
    ASSERT_TRUE(recursive.ok) << recursive.output;
    EXPECT_EQ(recursive.names.back(), "export/sub/inner.rix");
    EXPECT_EQ(recursive.entries.at("export/sub/inner.rix").bytes, "inner");
}

TEST_F(ZipDirTest, AnyFailureLeavesNoArchiveAndKeepsThePreviousOne) {
    WriteDated("export/a.rix", "a", 1700000000);
    WriteDated("export/b/inner.rix", "b", 1700000000);
    const std::string archive = out_.WriteFile("export.zip", "previous archive");
    // "b" is a folder where a file was expected: that entry fails, so the whole archive does.
    EXPECT_EQ(ZipFolderFiles(out_.str() + "/export", {"a.rix", "b"}, archive), kZipCannotOpen);
    EXPECT_EQ(ReadWholeFile(archive), "previous archive");
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"export.zip", "export/"}));
    EXPECT_EQ(FilesIn(out_.path() / "export"), (std::vector<std::string>{"a.rix", "b/"}));
    EXPECT_NE(LogText().find("## _zpZipDir: Error in opening " + out_.str() + "/export/b for reading"),
              std::string::npos);
}

TEST_F(ZipDirTest, ArchiveThatCannotBeCreatedOrFolderThatIsMissing) {
    WriteDated("export/a.rix", "a", 1700000000);
    EXPECT_EQ(_zpZipDir(out_.str() + "/export", out_.str() + "/no/such/folder.zip", false), kZipCannotOpen);
    EXPECT_NE(LogText().find("_zpZipDir: Error opening " + out_.str() + "/no/such/folder.zip"), std::string::npos);
    EXPECT_EQ(_zpZipDir(out_.str() + "/missing", out_.str() + "/m.zip", false), kZipCannotOpen);
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"export/"}));
}

TEST_F(ZipDirTest, ListedFilesOnlyAndAMissingOneFailsTheWhole) {
    WriteDated("export/a.rix", "a", 1700000000);
    WriteDated("export/other.txt", "someone else's", 1700000000);
    const std::string archive = out_.str() + "/export.zip";
    ASSERT_EQ(ZipFolderFiles(out_.str() + "/export", {"a.rix"}, archive), 0);
    const ZipInspection zip = InspectZip(archive);
    ASSERT_TRUE(zip.ok) << zip.output;
    EXPECT_EQ(zip.names, (std::vector<std::string>{"export/a.rix"}));

    EXPECT_NE(ZipFolderFiles(out_.str() + "/export", {"a.rix", "gone.rix"}, archive), 0);
    EXPECT_EQ(InspectZip(archive).names, (std::vector<std::string>{"export/a.rix"}));
}

}  // namespace
}  // namespace winorvex::test

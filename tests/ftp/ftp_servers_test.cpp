// "FtpServers.dat": reading, writing, finding.
#include "ftp/ftp_servers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/log_fixture.h"

namespace winorvex::test {
namespace {

class FtpServersFileTest : public LogFixture {
protected:
    std::string Path() const { return (scratch_.path() / "FtpServers.dat").string(); }

    std::vector<CFtpServer> Load(const std::string& bytes, std::vector<std::string>* unread = nullptr) {
        scratch_.WriteFile("FtpServers.dat", bytes);
        std::vector<CFtpServer> servers;
        std::string error;
        EXPECT_EQ(LoadFtpServers(servers, Path(), error, unread), 0);
        return servers;
    }
};

TEST_F(FtpServersFileTest, RoundTripIsByteForByteWithOwnerOnlyMode) {
    const std::string bytes =
        "Club\tftp.example.org\tuser\tpw\tresultats\r\n"
        "Ligue\t10.0.0.5:2121\tanon\tp w\t\r\n";
    const auto servers = Load(bytes);
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].label, "Club");
    EXPECT_EQ(servers[0].site, "ftp.example.org");
    EXPECT_EQ(servers[0].user, "user");
    EXPECT_EQ(servers[0].password, "pw");
    EXPECT_EQ(servers[0].directory, "resultats");  // the CR belongs to the line end
    EXPECT_EQ(servers[1].directory, "");
    EXPECT_EQ(servers[1].password, "p w");

    std::filesystem::remove(Path());
    std::string error;
    ASSERT_EQ(SaveFtpServers(servers, Path(), error), 0);
    EXPECT_EQ(scratch_.ReadFile("FtpServers.dat"), bytes);
    struct stat st {};
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Replacing a file that others could read makes it owner-only too, and leaves no temporary.
    std::filesystem::permissions(Path(), std::filesystem::perms(0644));
    ASSERT_EQ(SaveFtpServers(servers, Path(), error), 0);
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const auto& entry : std::filesystem::directory_iterator(scratch_.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
    }
}

TEST_F(FtpServersFileTest, LineEndsAndLastLineWithoutEnd) {
    const auto servers = Load("A\ts\tu\tp\td\nB\ts\tu\tp\t\nC\ts\tu\tp\tlast");
    ASSERT_EQ(servers.size(), 3u);
    EXPECT_EQ(servers[0].directory, "d");
    EXPECT_EQ(servers[1].directory, "");
    EXPECT_EQ(servers[2].directory, "last");
}

TEST_F(FtpServersFileTest, BrokenLinesAreSkippedLoggedWithoutPasswordAndKeptOnSave) {
    const std::string semicolonLine = "Second\tftp.b.org\tbob\tse;cret\tdir";
    const std::string longLine = "Long\t" + std::string(1100, 'x');
    const std::string bytes = "First\tftp.a.org\tal\tpw1\t\r\n" + semicolonLine + "\r\nShort\tsite\r\n" + longLine +
                              "\r\nFourth\tftp.d.org\tdan\tpw4\tup\r\n";
    std::vector<std::string> unread;
    const auto servers = Load(bytes, &unread);
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].label, "First");
    EXPECT_EQ(servers[1].label, "Fourth");
    EXPECT_THAT(unread, ::testing::ElementsAre(semicolonLine, "Short\tsite", longLine));

    const std::string log = FileText();
    EXPECT_NE(log.find("FtpServers.dat, ligne 2 (label \"Second\")"), std::string::npos) << log;
    EXPECT_NE(log.find("ligne 3 (label \"Short\")"), std::string::npos);
    EXPECT_NE(log.find("ligne 4 (label \"Long\")"), std::string::npos);
    EXPECT_EQ(log.find("se;cret"), std::string::npos);
    EXPECT_EQ(log.find("cret"), std::string::npos);

    std::string error;
    ASSERT_EQ(SaveFtpServers(servers, Path(), error, unread), 0);
    std::vector<std::string> again;
    std::vector<CFtpServer> reloaded;
    ASSERT_EQ(LoadFtpServers(reloaded, Path(), error, &again), 0);
    EXPECT_EQ(reloaded.size(), 2u);
    EXPECT_EQ(again, unread);
}

TEST_F(FtpServersFileTest, MissingFileAndUnwritableFolder) {
    std::vector<CFtpServer> servers(1);
    std::string error;
    EXPECT_EQ(LoadFtpServers(servers, (scratch_.path() / "none.dat").string(), error), -1);
    EXPECT_EQ(error, "File does not exist");
    EXPECT_TRUE(servers.empty());
    EXPECT_NE(FileText().find("none.dat absent"), std::string::npos);

    EXPECT_EQ(SaveFtpServers({CFtpServer{}}, (scratch_.path() / "no-folder" / "FtpServers.dat").string(), error), -1);
    EXPECT_EQ(error, "Cannot create file");
}

TEST(FindFtpServerTest, GivenLabelTrimmedCaseCounts) {
    std::vector<CFtpServer> servers(3);
    servers[0].label = "club";
    servers[1].label = "Club";
    servers[2].label = "Club";
    servers[2].site = "second";
    EXPECT_EQ(FindFtpServer(servers, "  Club\t"), &servers[1]);
    EXPECT_EQ(FindFtpServer(servers, "CLUB"), nullptr);
    EXPECT_EQ(FindFtpServer(servers, ""), nullptr);
}

}  // namespace
}  // namespace winorvex::test

#include "chips/chip_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "core/folders.h"
#include "core/texts.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

using test::ScratchDir;
using namespace std::string_view_literals;

ChipTable::Entry Parse(std::string_view line) {
    ChipTable::Entry e{"<none>", -99};
    ParseChipTableLine(line, e);
    return e;
}

void ExpectEntry(std::string_view line, const std::string& chip, std::int32_t bib) {
    ChipTable::Entry e;
    ASSERT_TRUE(ParseChipTableLine(line, e)) << line;
    EXPECT_EQ(e.chip, chip) << line;
    EXPECT_EQ(e.bib, bib) << line;
}

class ChipTableTest : public ::testing::Test {
protected:
    void TearDown() override {
        ClearChipTable();
        SetLanguage(Language::French);
    }
    bool Load(const std::string& bytes) { return ReadChipTableFile(dir.WriteFile("t.dtb", bytes)); }
    ScratchDir dir;
};

TEST(ChipTableLine, EveryAcceptedFormGivesChipAndBib) {
    for (const char* line : {"12 0580031A2B3C", "0580031A2B3C 12", "12, 0580031A2B3C", "12; 0580031A2B3C",
                             "0580031A2B3C;12", "0580031A2B3C;12\r\n", "  0580031A2B3C;12", "\t12\t0580031A2B3C\n",
                             "12.5 0580031A2B3C", "12 0580031A2B3C extra words"}) {
        ExpectEntry(line, "0580031A2B3C", 12);
    }
    ExpectEntry("\"12\" \"0580031A2B3C\"", "\"0580031A2B3C\"", 12);  // quotes stay in the chip
    ExpectEntry("12 058003", "058003", 12);                          // an all-digit chip must come second
    ExpectEntry("058003 12", "12", 58003);
    ExpectEntry("0 0", "0", 0);
    // Too large for a bib: it is a chip, whichever side it is on.
    ExpectEntry("99999999999 12", "99999999999", 12);
    ExpectEntry("12 AB\0CD"sv, "AB", 12);  // NUL ends the line
}

TEST(ChipTableLine, LinesWithoutTwoFieldsOrWithoutANumberAreSkipped) {
    for (const std::string_view line : {""sv, "   \r\n"sv, "A1 B2"sv, "0580031A2B3C"sv, "12"sv, ";12"sv, "ABC;"sv,
                                        "ABC; "sv, "1a 2b"sv, "\"\" X"sv, "\0 12 ABC"sv, "12\0 ABC"sv}) {
        EXPECT_EQ(Parse(line).bib, -99) << line;
    }
}

TEST(ChipTableLine, LongChipsAreCutTo63BytesWithoutSplittingUtf8) {
    const std::string longChip(300, 'C');
    EXPECT_EQ(Parse("7 " + longChip).chip, std::string(63, 'C'));
    // 62 ASCII bytes then a two-byte character straddling the limit.
    const std::string utf8 = std::string(62, 'x') + "\xC3\xA9" + "yyy";
    EXPECT_EQ(Parse("7 " + utf8).chip, std::string(62, 'x'));
}

TEST_F(ChipTableTest, DuplicatesKeptFirstWinsAndLookupIgnoresCase) {
    ASSERT_TRUE(Load("12 0580031A2B3C\n12 0580031A2B3D\n40 0580031a2b3c\n"));
    EXPECT_EQ(ChipTableCount(), 3u);
    EXPECT_EQ(FindChip(12), "0580031A2B3C");
    std::int32_t bib = 0;
    EXPECT_TRUE(FindBib("0580031a2b3c", bib));
    EXPECT_EQ(bib, 12);
    EXPECT_TRUE(FindBib("0580031A2B3D", bib));
    EXPECT_EQ(bib, 12);
    EXPECT_FALSE(FindBib("0580031A2B3", bib));
    EXPECT_EQ(bib, -1);
    const auto snapshot = ChipTableSnapshot();
    ASSERT_EQ(snapshot->Entries().size(), 3u);
    EXPECT_EQ(snapshot->Entries()[2].bib, 40);  // file order kept
}

TEST_F(ChipTableTest, OnlyAsciiLettersFoldAndQuotedChipsMatchNoReaderId) {
    ASSERT_TRUE(Load("1 \xC3\xA9t\xC3\xA9\n2 \"0580031A2B3C\"\n"));
    std::int32_t bib = 0;
    EXPECT_TRUE(FindBib("\xC3\xA9T\xC3\xA9", bib));
    EXPECT_FALSE(FindBib("\xC3\x89T\xC3\x89", bib));
    EXPECT_FALSE(FindBib("0580031A2B3C", bib));
}

TEST_F(ChipTableTest, EmptyTableLeavesBibUntouchedAndFindChipPrintsThe16BitBib) {
    std::int32_t bib = 77;
    EXPECT_FALSE(FindBib("X", bib));
    EXPECT_EQ(bib, 77);
    EXPECT_EQ(FindChip(12), "12");
    ASSERT_TRUE(Load("70000 BIG\n4464 SMALL\n"));
    EXPECT_EQ(FindChip(4464), "SMALL");
    EXPECT_EQ(FindChip(70000), "SMALL");  // 70000 taken as 16 bits is 4464
    EXPECT_EQ(FindChip(-1), "65535");
    EXPECT_TRUE(FindBib("big", bib));
    EXPECT_EQ(bib, 70000);
}

TEST_F(ChipTableTest, ManyEntriesAreAllFoundThroughTheIndexes) {
    std::string file;
    for (int i = 0; i < 5000; ++i) file += std::to_string(i) + " E" + std::to_string(i * 7919) + "x\n";
    ASSERT_TRUE(Load(file));
    std::int32_t bib = 0;
    for (int i = 0; i < 5000; ++i) {
        const std::string chip = "e" + std::to_string(i * 7919) + "X";
        ASSERT_TRUE(FindBib(chip, bib)) << chip;
        ASSERT_EQ(bib, i);
        ASSERT_EQ(FindChip(i), "E" + std::to_string(i * 7919) + "x");
        ASSERT_FALSE(FindBib("E" + std::to_string(i * 7919 + 1) + "y", bib));
    }
}

TEST_F(ChipTableTest, ByteOrderMarksAndShortFiles) {
    ASSERT_TRUE(
        Load("\xEF\xBB\xBF"
             "0580031A2B3C 12\r\n"));
    EXPECT_EQ(FindChip(12), "0580031A2B3C");
    ASSERT_TRUE(Load("1 2"));
    EXPECT_EQ(FindChip(1), "2");
    const std::string utf16le(
        "\xFF\xFE"
        "1\0"
        "2\0 \0"
        "A\0",
        10);
    const std::string utf16be(
        "\xFE\xFF\0"
        "1\0 \0"
        "A",
        8);
    for (const std::string& bad : {utf16le, utf16be, std::string(""), std::string("1"), std::string("1 ")}) {
        ASSERT_TRUE(Load("5 KEEP\n"));
        EXPECT_FALSE(Load(bad));
        EXPECT_EQ(ChipTableCount(), 0u);
    }
    EXPECT_FALSE(ReadChipTableFile(dir.str() + "/missing.dtb"));
    EXPECT_FALSE(ReadChipTableFile(dir.str()));  // a folder
}

TEST_F(ChipTableTest, LongLinesArriveInPiecesOf510Bytes) {
    std::string line = "5 CHIPA";
    line.resize(510, ' ');
    line += "7 CHIPB\r\n";
    line += std::string(509, ' ') + "\r\n8 CHIPC";  // exactly at the limit, no newline at the end
    ASSERT_TRUE(Load(line));
    const auto entries = ChipTableSnapshot()->Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].chip, "CHIPB");
    EXPECT_EQ(entries[2].chip, "CHIPC");
}

TEST_F(ChipTableTest, BinaryGarbageNeverGivesAMalformedEntry) {
    std::mt19937 rng(1234);
    std::string bytes(200000, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() % 7 == 0 ? '\n' : rng() % 256);
    ASSERT_TRUE(Load(bytes));
    for (const auto& e : ChipTableSnapshot()->Entries()) {
        ASSERT_FALSE(e.chip.empty());
        ASSERT_LE(e.chip.size(), ChipTable::kMaxChipLength);
        ASSERT_EQ(e.chip.find_first_of(std::string(" \t\r\n\0", 5)), std::string::npos);
        ASSERT_GE(e.bib, 0);
    }
}

TEST_F(ChipTableTest, CandidateOrderAndMessages) {
    ScratchDir data;
    ScratchDir program;
    const std::string paths[] = {data.WriteFile("ChipTable.dtb", "1 A\n"),
                                 data.WriteFile("OrvexTable.dtb", "1 A\n2 B\n"),
                                 program.WriteFile("ChipTable.dtb", "1 A\n2 B\n3 C\n"),
                                 program.WriteFile("OrvexTable.dtb", "1 A\n2 B\n3 C\n4 D\n")};
    SetLanguage(Language::English);
    std::string message;
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(LoadChipTableFrom(data.str(), program.str(), "OrvexTable.dtb", message));
        EXPECT_EQ(message,
                  "+++ Chip translation table loaded (" + std::to_string(i + 1) + " entries). File " + paths[i]);
        std::filesystem::remove(paths[i]);
    }
    std::filesystem::create_directory(paths[0]);  // a folder of that name is not a table
    EXPECT_FALSE(LoadChipTableFrom(data.str(), program.str(), "OrvexTable.dtb", message));
    EXPECT_EQ(message, "### No chip translation table found (file ChipTable.dtb or OrvexTable.dtb)");
    EXPECT_EQ(ChipTableCount(), 4u);  // the previous table stays
    SetLanguage(Language::French);
    EXPECT_FALSE(LoadChipTableFrom("", "", "OrvexTable.dtb", message));
    EXPECT_EQ(message, "### Pas de table de correspondance trouvée (fichier ChipTable.dtb ou OrvexTable.dtb)");

    const std::string bad = program.WriteFile("OrvexTable.dtb", "\xFF\xFE");
    EXPECT_FALSE(LoadChipTableFrom(data.str(), program.str(), "OrvexTable.dtb", message));
    EXPECT_EQ(message, "### Erreur chargement du fichier " + bad);
    EXPECT_EQ(ChipTableCount(), 0u);
    SetLanguage(Language::English);
    EXPECT_FALSE(LoadChipTableFrom(data.str(), program.str(), "OrvexTable.dtb", message));
    EXPECT_EQ(message, "### Error loading file");
    SetLanguage(Language::French);
    program.WriteFile("OrvexTable.dtb", "1 A\n");
    ASSERT_TRUE(LoadChipTableFrom(data.str(), program.str(), "OrvexTable.dtb", message));
    EXPECT_EQ(message, "+++ Table de correspondance chargée (1 entrées). Fichier " + bad);
}

TEST_F(ChipTableTest, LoadChipTableLooksInTheDataFolder) {
    ScratchDir data;
    SetDataFolderOverride(data.str());
    const std::string path = data.WriteFile("ChipTable.dtb", "3 ABC\n");
    std::string message;
    const bool loaded = LoadChipTable("OrvexTable.dtb", message);
    ClearDataFolderOverride();
    EXPECT_TRUE(loaded);
    EXPECT_NE(message.find(path), std::string::npos);
    EXPECT_EQ(FindChip(3), "ABC");
}

TEST_F(ChipTableTest, ReloadWhileWorkersLookUpShowsWholeTablesOnly) {
    // Table A maps Ck to k, table B maps Ck to k + 1000; both hold kCount entries.
    constexpr int kCount = 300;
    std::string a;
    std::string b;
    for (int k = 0; k < kCount; ++k) {
        a += std::to_string(k) + " C" + std::to_string(k) + "\n";
        b += std::to_string(k + 1000) + " C" + std::to_string(k) + "\n";
    }
    const std::string pathA = dir.WriteFile("a.dtb", a);
    const std::string pathB = dir.WriteFile("b.dtb", b);
    ASSERT_TRUE(ReadChipTableFile(pathA));
    const auto before = ChipTableSnapshot();

    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::atomic<int> faults{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            started.fetch_add(1);
            const std::string chip = "c" + std::to_string(w * 37);
            for (int i = 0; i < 2'000'000 && !stop.load(); ++i) {
                std::int32_t bib = -5;
                if (FindBib(chip, bib) && bib != w * 37 && bib != w * 37 + 1000) faults.fetch_add(1);
                const auto snap = ChipTableSnapshot();
                if (snap->Count() != 0 && snap->Count() != kCount) faults.fetch_add(1);
                // The decoding path's lock-free view: whole tables only, and lookups agree with it.
                const ChipTable& mine = ChipTableForThisThread();
                if (mine.Count() != 0 && mine.Count() != kCount) faults.fetch_add(1);
                if (mine.Count() != 0 && (!mine.FindBib(chip, bib) || (bib != w * 37 && bib != w * 37 + 1000))) {
                    faults.fetch_add(1);
                }
            }
        });
    }
    ASSERT_TRUE(test::WaitFor([&] { return started.load() == 4; }));
    for (int r = 0; r < 40; ++r) ASSERT_TRUE(ReadChipTableFile(r % 2 ? pathA : pathB));
    stop = true;
    for (auto& t : workers) t.join();
    EXPECT_EQ(faults.load(), 0);
    EXPECT_EQ(before->Count(), static_cast<std::size_t>(kCount));  // an old snapshot stays whole
    std::int32_t bib = 0;
    EXPECT_TRUE(before->FindBib("C5", bib));
    EXPECT_EQ(bib, 5);
}

}  // namespace
}  // namespace winorvex

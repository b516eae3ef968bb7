// The configuration form: opening, the rows as the operator edits them, the checks of OK and
// what a confirmed configuration writes.
#include "app/config_model.h"

#include <filesystem>

#include "app/dialog_commands.h"
#include "app/rix_file_name.h"
#include "reader/box_manager.h"
#include "reader/com_box.h"
#include "station_fixture.h"

namespace winorvex::test {
namespace {

class ConfigModelTest : public StationTest {
protected:
    void TearDown() override {
        // The process-wide values a test may have confirmed.
        Settings().ignoreInputMsDelta = 50;
        Settings().ignoreOutputMsDelta = 300;
        Settings().readMsDelta = 1;
        Settings().directPort = 8283;
        Settings().directReconnectSeconds = 15;
        Settings().daysToAdd = 0;
        Settings().beepDetections = true;
        Settings().beepWhenQuit = true;
        Settings().ignoreUnknownTags = 0;
        StationTest::TearDown();
    }
    std::string IniText() const { return ReadWholeFile(scratch_.str() + "/WinORVEX.ini"); }
    static void Row(ConfigForm& form, int row, const char* host, const char* port, const char* detector = "31") {
        auto& shown = form.rows[static_cast<std::size_t>(row)];
        shown.hostText = host;
        shown.portText = port;
        shown.detectorSelection = DetectorItemIndex(detector);
        UpdateBoxRow(form, row);
    }
    static std::string Parameters(const COrvexBox& box) {
        const BoxAddress address = box.Address();
        return address.detectorId + "|" + address.host + "|" + std::to_string(address.port);
    }
};

TEST_F(ConfigModelTest, OpeningShowsTheRunningValuesAndTheBoxes) {
    Ini("OrvexBoxes", "BoxHost0", "reader1");
    Ini("OrvexBoxes", "BoxPort0", "10000");
    Ini("OrvexBoxes", "BoxIdDetector0", "C31");
    Ini("OrvexBoxes", "BoxHost1", "reader2");  // port 0: not configured, shown empty
    Ini("Settings", "GBoxReconnectSeconds", "45");
    Ini("Settings", "GDaysToAdd", "1");
    Station& station = MakeStation();
    const ConfigForm form = OpenConfigForm(station.Boxes());

    EXPECT_EQ(form.rows[0].hostText, "reader1");
    EXPECT_EQ(form.rows[0].portText, "10000");
    // "C31" is none of the list's items: kept as an extra one, and chosen.
    ASSERT_EQ(form.rows[0].detectorItems.size(), 23u);
    EXPECT_EQ(form.rows[0].detectorItems[22], "C31");
    EXPECT_EQ(form.rows[0].detectorSelection, 22);
    EXPECT_TRUE(form.rows[0].listEnabled);
    EXPECT_EQ(form.rows[1].hostText, "");
    EXPECT_EQ(form.rows[1].portText, "");
    EXPECT_FALSE(form.rows[1].listEnabled);
    EXPECT_TRUE(form.rows[1].enabled);
    EXPECT_FALSE(form.warning);
    EXPECT_EQ(form.directPortText, "8283");
    EXPECT_EQ(form.daysToAddSelection, 1);
    // The stored 45 s is kept as an extra choice, and chosen.
    ASSERT_EQ(form.reconnectChoices.size(), 6u);
    EXPECT_EQ(form.reconnectChoices[3].text, "Essayer de se reconnecter pendant 1mn30");
    EXPECT_EQ(form.reconnectChoices[5].seconds, 45);
    EXPECT_EQ(form.reconnectSelection, 5);

    const auto& items = DetectorListItems();
    ASSERT_EQ(items.size(), 22u);
    EXPECT_EQ(items[0], "31     CLASSIC");
    EXPECT_EQ(items[1], "10     ");
    EXPECT_EQ(items[21], "30     ");
    EXPECT_EQ(FirstWord(items[0]), "31");
    EXPECT_EQ(DetectorItemIndex("12"), 3);
}

TEST_F(ConfigModelTest, ComHostsAndPortNumbersAreCheckedBeforeAnythingIsStored) {
    Station& station = MakeStation();
    ConfigForm form = OpenConfigForm(station.Boxes());
    Row(form, 0, "COM1", "10000");
    ConfigCheck check = ConfirmConfigForm(form, station.Boxes());
    EXPECT_FALSE(check.accepted);
    EXPECT_EQ(check.message, "La vitesse devrait être 9600");
    for (const char* port : {"10000x", "-5", "70000", "1 0"}) {
        Row(form, 0, "reader", port);
        check = ConfirmConfigForm(form, station.Boxes());
        EXPECT_FALSE(check.accepted) << port;
        EXPECT_EQ(check.message, "Port TCP/IP invalide !!!!") << port;
    }
    EXPECT_EQ(Parameters(station.Boxes().Box(1)), "31||0");

    // A refused OK stores nothing, even of the fields checked before the faulty row.
    form.directPortText = "9000";
    form.advanced.readMsDelta = 7;
    form.exportFile = "/tmp/elsewhere.rix";
    const std::string iniBefore = IniText();
    EXPECT_FALSE(ConfirmConfigForm(form, station.Boxes()).accepted);
    EXPECT_EQ(Settings().directPort.load(), 8283);
    EXPECT_EQ(Settings().readMsDelta.load(), 1);
    EXPECT_NE(Settings().ExportFile(), "/tmp/elsewhere.rix");
    // Cancel after the refusal: the configuration command writes nothing.
    EXPECT_FALSE(RunConfiguration(station, [&](ConfigForm& f) {
        Row(f, 0, "COM1", "10000");
        return ConfirmConfigForm(f, station.Boxes()).accepted;
    }));
    EXPECT_EQ(IniText(), iniBefore);

    Row(form, 0, "COM1", "9600");
    Row(form, 1, "com1", "9600");
    Row(form, 2, "reader.example.com", "10000");
    Row(form, 3, "ELITECOMPACT", "10001", "12");
    check = ConfirmConfigForm(form, station.Boxes());
    ASSERT_TRUE(check.accepted) << check.message;
    EXPECT_TRUE(station.Boxes().Box(1).Transport()->IsSerial());
    EXPECT_EQ(Parameters(station.Boxes().Box(1)), "31|COM1|9600");
    EXPECT_TRUE(station.Boxes().Box(2).Transport()->IsSerial());
    EXPECT_FALSE(station.Boxes().Box(3).Transport()->IsSerial());
    EXPECT_FALSE(station.Boxes().Box(4).Transport()->IsSerial());
    EXPECT_EQ(Parameters(station.Boxes().Box(4)), "12|ELITECOMPACT|10001");
    EXPECT_EQ(Settings().directPort.load(), 9000);
    EXPECT_EQ(Settings().readMsDelta.load(), 7);

    // Back to TCP: the serial transport is exchanged again.
    Row(form, 0, "reader", "10000");
    ASSERT_TRUE(ConfirmConfigForm(form, station.Boxes()).accepted);
    EXPECT_FALSE(station.Boxes().Box(1).Transport()->IsSerial());
}

TEST_F(ConfigModelTest, TheSpeedIsCheckedExactlyForTheHostsThatOpenASerialLine) {
    // The transport's rule decides both: a port name in any case, or a device path, is serial.
    for (const char* host : {"COM1", "com1", "Com12", "/dev/ttyUSB0"}) {
        EXPECT_EQ(CheckBoxRow(host, "10000"), "La vitesse devrait être 9600") << host;
        EXPECT_EQ(CheckBoxRow(host, "9600"), "") << host;
    }
    // Names that merely start with or hold the letters are TCP readers: no speed asked.
    for (const char* host : {"COMPTAGE", "COM", "COM1.example.org", "reader.example.com", "ELITECOMPACT"}) {
        EXPECT_EQ(CheckBoxRow(host, "10000"), "") << host;
    }
    Station& station = MakeStation();
    ConfigForm form = OpenConfigForm(station.Boxes());
    Row(form, 0, "COMPTAGE", "10000");
    Row(form, 1, "com3", "9600");
    const ConfigCheck check = ConfirmConfigForm(form, station.Boxes());
    ASSERT_TRUE(check.accepted) << check.message;
    EXPECT_FALSE(station.Boxes().Box(1).Transport()->IsSerial());
    EXPECT_EQ(Parameters(station.Boxes().Box(1)), "31|COMPTAGE|10000");
    EXPECT_TRUE(station.Boxes().Box(2).Transport()->IsSerial());
}

TEST_F(ConfigModelTest, UnknownStoredIdentifiersAreWrittenBackUnchanged) {
    const char* stored[] = {"C31", "7", "12"};
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i);
        Ini("OrvexBoxes", "BoxHost" + n, "reader" + n);
        Ini("OrvexBoxes", "BoxPort" + n, "10000");
        Ini("OrvexBoxes", "BoxIdDetector" + n, stored[i]);
    }
    Station& station = MakeStation();
    // The configuration opens by itself at start: an OK without a change keeps every identifier.
    ASSERT_TRUE(RunConfiguration(station, [&](ConfigForm& form) {
        EXPECT_TRUE(form.warning);  // "7" is not a classic identifier
        // "12" is an item already.
        EXPECT_EQ(form.rows[2].detectorItems.size(), 22u);
        return ConfirmConfigForm(form, station.Boxes()).accepted;
    }));
    EXPECT_EQ(Parameters(station.Boxes().Box(1)), "C31|reader0|10000");
    EXPECT_EQ(Parameters(station.Boxes().Box(2)), "7|reader1|10000");
    EXPECT_EQ(Parameters(station.Boxes().Box(3)), "12|reader2|10000");
    const std::string ini = IniText();
    for (const char* key : {"BoxIdDetector0=C31", "BoxIdDetector1=7", "BoxIdDetector2=12"}) {
        EXPECT_NE(ini.find(key), std::string::npos) << key << " missing from\n" << ini;
    }

    // The kept identifier stays offered after a change of row, and an item chosen replaces it.
    ConfigForm form = OpenConfigForm(station.Boxes());
    ASSERT_EQ(form.rows[1].detectorItems.back(), "7");
    form.rows[1].hostText = "reader9";
    UpdateBoxRow(form, 1);
    EXPECT_EQ(form.boxes[1].detectorId, "7");
    form.rows[1].detectorSelection = DetectorItemIndex("15");
    ASSERT_TRUE(ConfirmConfigForm(form, station.Boxes()).accepted);
    EXPECT_EQ(Parameters(station.Boxes().Box(2)), "15|reader9|10000");
    EXPECT_EQ(DetectorOfItem(form.rows[1].detectorItems, -1), "");
}

TEST_F(ConfigModelTest, DirectConnectionRangesAreEnforced) {
    Station& station = MakeStation();
    ConfigForm form = OpenConfigForm(station.Boxes());
    for (const char* port : {"80", "1023", "65536", "99999", "8283x", ""}) {
        form.directPortText = port;
        const ConfigCheck check = ConfirmConfigForm(form, station.Boxes());
        EXPECT_FALSE(check.accepted) << port;
        EXPECT_EQ(check.message, "Veuillez entrer un nombre entier compris entre 1024 et 65535.") << port;
    }
    form.directPortText = "1024";
    for (const char* seconds : {"5", "9", "181"}) {
        form.directReconnectText = seconds;
        const ConfigCheck check = ConfirmConfigForm(form, station.Boxes());
        EXPECT_FALSE(check.accepted) << seconds;
        EXPECT_EQ(check.message, "Veuillez entrer un nombre entier compris entre 10 et 180.") << seconds;
    }
    EXPECT_EQ(Settings().directReconnectSeconds.load(), 15);
    form.directReconnectText = " 180 ";
    ASSERT_TRUE(ConfirmConfigForm(form, station.Boxes()).accepted);
    EXPECT_EQ(Settings().directPort.load(), 1024);
    EXPECT_EQ(Settings().directReconnectSeconds.load(), 180);
}

TEST_F(ConfigModelTest, TheWarningFollowsTheCountedBoxes) {
    Station& station = MakeStation();
    ConfigForm form = OpenConfigForm(station.Boxes());
    Row(form, 0, "reader1", "10000", "31");
    Row(form, 1, "reader2", "10000", "31");
    EXPECT_FALSE(form.warning);
    form.boxes[2].host = "reader3";
    form.boxes[2].port = 10000;
    form.boxes[2].detectorId = "C31";
    EXPECT_FALSE(NeedsCompatibilityWarning(form));
    Row(form, 1, "reader2", "10000", "12");
    EXPECT_TRUE(form.warning);
    // A box without a port is not counted.
    Row(form, 1, "reader2", "", "12");
    EXPECT_FALSE(form.warning);
    EXPECT_TRUE(form.rows[1].listEnabled);
    Row(form, 1, "", "", "12");
    EXPECT_FALSE(form.rows[1].listEnabled);
    // A row typed while the form is not yet open is left alone.
    form.opened = false;
    Row(form, 1, "reader2", "10000", "12");
    EXPECT_FALSE(form.warning);
}

TEST_F(ConfigModelTest, RowsOfConnectedBoxesAreUntouched) {
    AddReader(1, 0, 0);
    AddReader(2, 0, 0);
    Station& station = MakeStation();
    // Box 2 gets connected while the form is open: its row was free on opening.
    ConfigForm form;
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return station.StatusOf(1) == BoxStatus::Connected; }));
    station.BoxMenuDisconnect(2);
    ASSERT_TRUE(Pump([&] { return !station.Boxes().HasWorker(2); }));
    form = OpenConfigForm(station.Boxes());
    EXPECT_FALSE(form.rows[0].enabled);
    EXPECT_TRUE(form.rows[1].enabled);
    const std::string box1 = Parameters(station.Boxes().Box(1));
    const std::string box2 = Parameters(station.Boxes().Box(2));
    station.BoxMenuConnect(2);
    ASSERT_TRUE(Pump([&] { return station.StatusOf(2) == BoxStatus::Connected; }));

    Row(form, 0, "COM3", "9600", "12");
    Row(form, 1, "COM4", "9600", "12");
    EXPECT_EQ(form.boxes[0].host, "127.0.0.1");  // a locked row's working copy does not follow
    const ConfigCheck check = ConfirmConfigForm(form, station.Boxes());
    ASSERT_TRUE(check.accepted) << check.message;
    EXPECT_EQ(Parameters(station.Boxes().Box(1)), box1);
    EXPECT_EQ(Parameters(station.Boxes().Box(2)), box2);
    EXPECT_FALSE(station.Boxes().Box(1).Transport()->IsSerial());
    EXPECT_FALSE(station.Boxes().Box(2).Transport()->IsSerial());
    EXPECT_EQ(station.StatusOf(2), BoxStatus::Connected);
}

TEST_F(ConfigModelTest, ConfirmedConfigurationWritesItsKeysAndTheBoxes) {
    Station& station = MakeStation();
    const bool confirmed = RunConfiguration(station, [&](ConfigForm& form) {
        Row(form, 0, "reader1", "10000", "12");
        form.directHost = " results ";
        form.directPortText = "9100";
        form.directReconnectText = "20";
        form.reconnectSelection = 4;  // 2 mn
        form.daysToAddSelection = 1;
        form.beepDetections = false;
        form.beepWhenQuit = false;
        form.ignoreUnknownTags = true;
        form.exportFile = "/data/all.rix";
        form.advanced = AdvancedValues{100, 400, 5};
        return ConfirmConfigForm(form, station.Boxes()).accepted;
    });
    ASSERT_TRUE(confirmed);
    const std::string ini = IniText();
    for (const char* key :
         {"GOrvexIgnoreInputMsDelta=100", "GOrvexIgnoreOutputMsDelta=400", "GOrvexReadMsDelta=5",
          "GOrvexExportFile=/data/all.rix", "BLogDetections=1", "Port=9100", "Host=results", "ReconnectSeconds=20",
          "GBoxReconnectSeconds=120", "GDaysToAdd=1", "GOrvexBeepDetections=0", "GOrvexBeepWhenQuit=0",
          "GOrvexIgnoreUnknownTags=1", "BoxHost0=reader1", "BoxPort0=10000", "BoxIdDetector0=12", "BoxPort1=0"}) {
        EXPECT_NE(ini.find(key), std::string::npos) << key << " missing from\n" << ini;
    }
    // The race days start yesterday: today is the second one.
    EXPECT_EQ(RaceDayDates().DateText(1), TodayText());
    EXPECT_EQ(Settings().readMsDelta.load(), 5);
    EXPECT_EQ(Settings().boxReconnectSeconds.load(), 120);
}

TEST_F(ConfigModelTest, CancelDropsTheAdvancedValues) {
    Station& station = MakeStation();
    const std::string iniBefore = IniText();
    EXPECT_FALSE(RunConfiguration(station, [](ConfigForm& form) {
        form.advanced = AdvancedFactoryValues();
        form.advanced.ignoreInputMsDelta = 900;
        return false;
    }));
    EXPECT_EQ(Settings().ignoreInputMsDelta.load(), 50);
    EXPECT_EQ(IniText(), iniBefore);
}

TEST_F(ConfigModelTest, TheConfigurationOpensByItselfShortlyAfterStartAndTheTableReloads) {
    Station& station = MakeStation();
    int opened = 0;
    ScheduleStartupConfiguration(station, [&] { ++opened; });
    EXPECT_EQ(opened, 0);
    ASSERT_TRUE(Pump([&] { return opened == 1; }));

    EXPECT_TRUE(ReloadChipTableForOperator(operator_));
    ASSERT_EQ(operator_.informations.size(), 1u);
    EXPECT_TRUE(LogHas(operator_.informations[0]));
    std::filesystem::remove(scratch_.path() / "OrvexTable.dtb");
    EXPECT_FALSE(ReloadChipTableForOperator(operator_));
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_TRUE(LogHas(operator_.warnings[0]));
}

TEST(AdvancedConfiguration, FieldsAreCheckedAgainstTheirRanges) {
    AdvancedValues values{10, 60, 2};
    std::string message;
    EXPECT_FALSE(CheckAdvancedFields("5001", "300", "1", values, message));
    EXPECT_EQ(message, "Veuillez entrer un nombre entier compris entre 0 et 5000.");
    EXPECT_FALSE(CheckAdvancedFields("0", "49", "1", values, message));
    EXPECT_EQ(message, "Veuillez entrer un nombre entier compris entre 50 et 5000.");
    EXPECT_FALSE(CheckAdvancedFields("0", "50", "21", values, message));
    EXPECT_EQ(values, (AdvancedValues{10, 60, 2}));
    ASSERT_TRUE(CheckAdvancedFields("0", "5000", "20", values, message));
    EXPECT_EQ(values, (AdvancedValues{0, 5000, 20}));
    EXPECT_EQ(AdvancedFactoryValues(), (AdvancedValues{50, 300, 1}));
}

TEST(RixFileName, TheExtensionIsAddedOnce) {
    EXPECT_EQ(WithRixExtension("/x/all"), "/x/all.rix");
    EXPECT_EQ(WithRixExtension("/x/all.RiX"), "/x/all.RiX");
    EXPECT_EQ(WithRixExtension("/x/all.rix.txt"), "/x/all.rix.txt.rix");
    EXPECT_EQ(WithRixExtension("rix"), "rix.rix");
}

}  // namespace
}  // namespace winorvex::test

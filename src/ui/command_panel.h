#pragma once
// The station's command buttons beside the connect-to-boxes button: configuration (1005),
// insertion of a detection (1018), the two box-clock buttons (1013, 1016), the import (1017) and
// the direct connection to the results program (1003, two states, three images).
#include <QWidget>
#include <memory>

class QPushButton;

namespace winorvex {

class BoxCommandButtons;
class BoxCommands;
class Station;

class CommandPanel : public QWidget {
    Q_OBJECT

public:
    CommandPanel(Station& station, QWidget* parent = nullptr);
    // Waits for a running box command: its thread uses the boxes.
    ~CommandPanel() override;

    QPushButton* DirectButton() const { return direct_; }
    QPushButton* InsertButton() const { return insert_; }
    QPushButton* ConfigurationButton() const { return configuration_; }
    QPushButton* ImportButton() const { return import_; }
    BoxCommands& Commands() { return *commands_; }

    // The commands of the buttons, also for F12 and the start-up configuration.
    void OpenConfiguration();
    void OpenInsertion();
    void OpenImport();

private:
    void RefreshDirectButton();

    Station& station_;
    std::unique_ptr<BoxCommands> commands_;
    BoxCommandButtons* boxButtons_ = nullptr;
    QPushButton* configuration_ = nullptr;
    QPushButton* insert_ = nullptr;
    QPushButton* import_ = nullptr;
    QPushButton* direct_ = nullptr;
    bool dialogOpen_ = false;
};

}  // namespace winorvex

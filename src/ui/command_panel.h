#pragma once
// The station's command buttons beside the connect-to-boxes button: the configuration, the
// insertion of a detection, the two box-clock buttons, the import and the direct connection to
// the results program (two states, three images: DirectButtonImage). Their numbers, which
// balloons point at, are in app/control_ids.h.
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

#pragma once
// The export window "Export des lignes de détections" (CDlgExportDetectionLines): the minimum gap
// and "Filtrer", the per-detector distribution with its handicaps, the display mode, the folder,
// the name, the archive and FTP options with the server choice, "Exporter maintenant" and the
// periodic export. ExportDialogModel decides; this window shows it and forwards the operator's
// actions. Closing it, in any way, writes the settings.
#include <QAbstractSpinBox>
#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/export_dialog_model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace winorvex {

class ExportUploader;
class OperatorPrompt;
class Station;

// The minutes of "Exporter toutes les ": arrows from 1 to 10 over a free text, so that what the
// operator types is kept as typed and read when the window closes.
class MinutesBox : public QAbstractSpinBox {
    Q_OBJECT

public:
    static constexpr int kMinimum = 1;
    static constexpr int kMaximum = 10;

    explicit MinutesBox(QWidget* parent = nullptr);
    void SetText(const QString& text);
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int Value() const;  // the text as a number within the arrows' range
};

// The windows this one opens, replaceable so that a caller can script them.
struct ExportDialogChoosers {
    // The server choice: the checked labels on OK, nothing on cancel.
    std::function<std::optional<std::vector<std::string>>(QWidget*, const std::vector<std::string>&)> servers;
    // The re-setting of a handicap: the new handicap on OK, nothing on cancel.
    std::function<std::optional<CChrono>(QWidget*, const CDlgRecalageModel&, OperatorPrompt&)> recalage;
    // The folder picker: the chosen folder, or an empty text on cancel.
    std::function<QString(QWidget*, const QString&)> folder;
};
ExportDialogChoosers DefaultExportDialogChoosers();

class CDlgExportDetectionLines : public QDialog {
    Q_OBJECT

public:
    // uploader may be null: an export with FTP then reports that nothing could be sent.
    CDlgExportDetectionLines(OperatorPrompt& prompt, ExportUploader* uploader, QWidget* parent = nullptr,
                             ExportDialogChoosers choosers = DefaultExportDialogChoosers());

    const ExportDialogModel& Model() const { return model_; }
    // What closing reported; set once the window has closed.
    const std::optional<ExportDialogModel::CloseResult>& Closed() const { return closed_; }
    // The last export's report, when "Exporter maintenant" ran one.
    const std::optional<ExportReport>& LastExport() const { return lastExport_; }

    QLineEdit* GapField() const { return gap_; }
    QPushButton* FilterButton() const { return filter_; }
    QTableWidget* DistributionTable() const { return table_; }
    QLabel* HandicapLabel() const { return handicap_; }
    QPushButton* ResetButton() const { return reset_; }
    QPushButton* RecalageButton() const { return recalage_; }
    QRadioButton* ModeButton(DisplayMode mode) const { return modes_[static_cast<std::size_t>(mode)]; }
    QLineEdit* FolderField() const { return folder_; }
    QPushButton* FolderButton() const { return folderButton_; }
    QLineEdit* NameField() const { return name_; }
    QCheckBox* ZipBox() const { return zip_; }
    QCheckBox* FtpBox() const { return ftp_; }
    QLabel* ServersLabel() const { return servers_; }
    QPushButton* ServersButton() const { return serversButton_; }
    QLabel* DataLabel() const { return data_; }
    QPushButton* ExportButton() const { return export_; }
    QCheckBox* PeriodicBox() const { return periodic_; }
    MinutesBox* MinutesField() const { return minutes_; }
    QPushButton* CloseButton() const { return close_; }

    // The buttons' work, callable from a script as well as by the clicks.
    void Filter();
    void SetMode(DisplayMode mode);
    void Recalage();
    void ResetHandicap();
    void ChooseFolder();
    void ChooseServers();
    void ExportNow();

    void done(int result) override;

private:
    void BuildFilterGroup(QWidget* group);
    void BuildDistributionGroup(QWidget* group);
    void BuildExportGroup(QWidget* group);
    void ReadFields();
    void ShowRows();
    void ShowServers();
    void UpdateState();
    void SelectionChanged();
    void FtpToggled(bool on);

    ExportDialogModel model_;
    OperatorPrompt& prompt_;
    ExportUploader* uploader_;
    ExportDialogChoosers choosers_;
    std::optional<ExportDialogModel::CloseResult> closed_;
    std::optional<ExportReport> lastExport_;
    bool showing_ = false;  // the table is being filled: its signals are not the operator's

    QLineEdit* gap_ = nullptr;
    QPushButton* filter_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* handicap_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* recalage_ = nullptr;
    std::array<QRadioButton*, 3> modes_{};
    QLineEdit* folder_ = nullptr;
    QPushButton* folderButton_ = nullptr;
    QLineEdit* name_ = nullptr;
    QCheckBox* zip_ = nullptr;
    QCheckBox* ftp_ = nullptr;
    QLabel* servers_ = nullptr;
    QPushButton* serversButton_ = nullptr;
    QLabel* data_ = nullptr;
    QPushButton* export_ = nullptr;
    QCheckBox* periodic_ = nullptr;
    MinutesBox* minutes_ = nullptr;
    QPushButton* close_ = nullptr;
};

// The background menu's "Export global des détections...": the window over the station's prompt
// and uploader; when closing switched the periodic export on, its period starts anew.
void RunExportDialog(QWidget* parent, Station& station);

}  // namespace winorvex

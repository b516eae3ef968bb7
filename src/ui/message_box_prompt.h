#pragma once
// The operator's questions, warnings and information as modal message boxes titled "WinORVEX",
// and the text questions (a marker label ...) as a modal input dialog.
// Made before the main window (the single-instance message comes first); once the window exists,
// SetParent centres the boxes over it. GUI thread only.
#include <QPointer>
#include <QWidget>

#include "core/station_events.h"

namespace winorvex {

class MessageBoxPrompt : public OperatorPrompt {
public:
    explicit MessageBoxPrompt(QWidget* parent = nullptr) : parent_(parent) {}

    void SetParent(QWidget* parent) { parent_ = parent; }

    bool AskYesNo(std::string_view text, bool defaultYes) override;
    void Warn(std::string_view text) override;
    void Inform(std::string_view text) override;
    // A question that must be answered (noCancel) comes back until it is answered.
    std::optional<std::string> AskText(const TextQuestion& question) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace winorvex

#pragma once
// The operator's questions, warnings and information as modal message boxes titled "WinORVEX".
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

private:
    QPointer<QWidget> parent_;
};

}  // namespace winorvex

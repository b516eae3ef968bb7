#pragma once
// The advanced configuration (CDlgConfigAdvanced): three timing values in spin boxes. OK puts
// them into the values it was given (the configuration's working copy); nothing reaches the
// running station before the configuration itself is confirmed.
#include <QDialog>

#include "app/advanced_config.h"

class QSpinBox;
class QPushButton;

namespace winorvex {

class OperatorPrompt;

class ConfigAdvancedDialog : public QDialog {
    Q_OBJECT

public:
    ConfigAdvancedDialog(AdvancedValues& values, OperatorPrompt& prompt, QWidget* parent = nullptr);

    QSpinBox* IgnoreInputField() const { return input_; }
    QSpinBox* IgnoreOutputField() const { return output_; }
    QSpinBox* ReadField() const { return read_; }
    QPushButton* FactoryButton() const { return factory_; }

    void accept() override;

private:
    void Show(const AdvancedValues& values);

    AdvancedValues& values_;
    OperatorPrompt& prompt_;
    QSpinBox* input_ = nullptr;
    QSpinBox* output_ = nullptr;
    QSpinBox* read_ = nullptr;
    QPushButton* factory_ = nullptr;
};

}  // namespace winorvex

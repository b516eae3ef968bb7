#pragma once
// SIGINT and SIGTERM as events of the station's thread. BlockStopSignals must run before any
// thread exists, so that every thread inherits the mask and only the signalfd receives them.
#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "core/unique_fd.h"

namespace winorvex {

void BlockStopSignals();

class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    bool Valid() const { return fd_.IsOpen(); }

signals:
    void stopRequested(int signalNumber);

private:
    void Read();

    UniqueFd fd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace winorvex

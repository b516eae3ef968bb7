#include "app/qt_event_sink.h"

#include <QMetaObject>
#include <QString>

#include "app/station.h"

namespace winorvex {

// The station is the context object: a functor still queued when it is destroyed is dropped.
void QtStationEventSink::OnBoxConnectionEvent(int boxNumber, bool unexpected) {
    Station* station = &station_;
    QMetaObject::invokeMethod(
        station, [station, boxNumber, unexpected] { station->HandleBoxConnectionEvent(boxNumber, unexpected); },
        Qt::QueuedConnection);
}

void QtStationEventSink::OnRecordedCountChanged() {
    if (countPending_.exchange(true)) return;
    Station* station = &station_;
    QMetaObject::invokeMethod(
        station,
        [this, station] {
            countPending_.store(false);
            station->HandleRecordedCountChanged();
        },
        Qt::QueuedConnection);
}

void QtStationEventSink::OnDirectLinkState(const DirectLinkStateEvent& event) {
    Station* station = &station_;
    QMetaObject::invokeMethod(
        station, [station, event] { station->HandleDirectLinkState(event); }, Qt::QueuedConnection);
}

void QtStationEventSink::OnDirectLine(const DirectLineEvent& event) {
    Station* station = &station_;
    QMetaObject::invokeMethod(
        station, [station, event] { station->HandleDirectLine(event); }, Qt::QueuedConnection);
}

void QtStationEventSink::OnFtpJobState(const FtpJobStateEvent& event) {
    Station* station = &station_;
    QMetaObject::invokeMethod(
        station, [station, event] { station->HandleFtpJobState(event); }, Qt::QueuedConnection);
}

void QtStationEventSink::OnAlert(const AlertEvent& event) {
    Station* station = &station_;
    QMetaObject::invokeMethod(
        station, [station, event] { station->HandleAlert(QString::fromStdString(event.text), event.withMessageBox); },
        Qt::QueuedConnection);
}

}  // namespace winorvex

#pragma once
// The optional voice over Qt's text-to-speech: the offline "flite" engine when it is installed,
// else the platform's default engine, else none at all (Available() false, every call silent).
// Lives on the GUI thread, like the station that calls it.
#include <QObject>
#include <memory>

#include "app/station_services.h"

class QTextToSpeech;

namespace winorvex {

class QtSpeaker : public QObject, public Speaker {
    Q_OBJECT

public:
    explicit QtSpeaker(QObject* parent = nullptr);
    ~QtSpeaker() override;
    QtSpeaker(const QtSpeaker&) = delete;
    QtSpeaker& operator=(const QtSpeaker&) = delete;

    bool Available() const override;
    void SpeakText(std::string_view text) override;

    // The engine in use ("flite", the default one's name), empty when there is none.
    QString EngineName() const { return engine_; }

private:
    std::unique_ptr<QTextToSpeech> speech_;
    QString engine_;
};

}  // namespace winorvex

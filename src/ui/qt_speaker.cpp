#include "ui/qt_speaker.h"

#include <QLocale>
#include <QStringList>
#include <QTextToSpeech>

#include "ui/qt_text.h"

namespace winorvex {

QtSpeaker::QtSpeaker(QObject* parent) : QObject(parent) {
    const QStringList engines = QTextToSpeech::availableEngines();
    if (engines.isEmpty()) return;
    const QString flite = QStringLiteral("flite");
    if (engines.contains(flite)) {
        speech_ = std::make_unique<QTextToSpeech>(flite);
        engine_ = flite;
    } else {
        speech_ = std::make_unique<QTextToSpeech>();
        engine_ = engines.front();
    }
    if (speech_->state() == QTextToSpeech::Error) {
        speech_.reset();
        engine_.clear();
        return;
    }
    // A voice of the operator's language when the engine has one; flite only speaks English.
    const QLocale wanted(CurrentLanguage() == Language::English ? QLocale::English : QLocale::French);
    for (const QLocale& locale : speech_->availableLocales()) {
        if (locale.language() == wanted.language()) {
            speech_->setLocale(locale);
            break;
        }
    }
}

QtSpeaker::~QtSpeaker() = default;

bool QtSpeaker::Available() const {
    return speech_ != nullptr && speech_->state() != QTextToSpeech::Error;
}

void QtSpeaker::SpeakText(std::string_view text) {
    if (!Available()) return;
    if (text.empty()) {
        speech_->stop();
        return;
    }
    speech_->say(Q(text));
}

}  // namespace winorvex

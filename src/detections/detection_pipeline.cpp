#include "detections/detection_pipeline.h"

#include <algorithm>
#include <utility>

#include "core/escape_bytes.h"
#include "core/log.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "detections/detection_filter.h"

namespace winorvex {

namespace {

std::size_t LogLength(std::string_view text) {
    return std::min<std::size_t>(text.size(), kLogWorkingLimit);
}

}  // namespace

DetectionPipeline::DetectionPipeline(BoxIdentity box, CLastBoxDetectionList& lastReads, PipelineServices services)
    : box_(std::move(box)),
      lastReads_(lastReads),
      outputs_(services.outputs != nullptr ? *services.outputs : silent_),
      events_(services.events),
      sounds_(services.sounds),
      download_(services.download),
      floodLimit_(box_.label) {
    read_.error.reserve(256);
}

void DetectionPipeline::SetBox(BoxIdentity box) {
    box_ = std::move(box);
    floodLimit_.SetLabel(box_.label);
}

LineOutcome DetectionPipeline::HandleTagRead(const ReaderLine& line) {
    return HandleTagRead(line.text, line.fullLine, line.seenMarker);
}

LineOutcome DetectionPipeline::HandleTagRead(std::string_view text, std::string_view fullLine, int seenMarker) {
    ++counters_.tagReads;
    if (!DecodeTagRead(text, read_)) {
        ++counters_.invalid;
        if (!LogWanted(0) || !floodLimit_.Admit(kLogInvalidDetection, 0)) return LineOutcome::Invalid;
        if (read_.error.empty()) {
            const EscapedBytes shown(text.substr(0, LogLength(text)));
            LogF(0, Tr("+ %s : Détection invalide: %.*s", "+ %s : Invalid detection: %.*s"), box_.label.c_str(),
                 shown.Length(), shown.Data());
        } else {
            LogF(0, "+ %s : %s", box_.label.c_str(), read_.error.c_str());
        }
        return LineOutcome::Invalid;
    }

    const StationSettings& settings = Settings();
    const bool savedToDownload = download_ != nullptr && download_->SaveIfDownloading(fullLine);
    bool ignored = IsDroppedBySeenMarker(seenMarker, settings.ignoreFSDetections.load(std::memory_order_relaxed) != 0,
                                         settings.ignoreLSDetections.load(std::memory_order_relaxed) != 0);

    // The list learns of every decoded read, dropped or not, so a burst keeps being dropped
    // while it lasts.
    CChrono previous;
    const bool seenBefore = lastReads_.Touch(read_.Identifier(), read_.absoluteTime, previous);
    if (!ignored && seenBefore) {
        ignored = IsRepeatWithinGap(previous, read_.absoluteTime,
                                    settings.ignoreInputMsDelta.load(std::memory_order_relaxed));
    }

    if (ignored) return Drop(LineOutcome::Ignored);
    if (savedToDownload) return Drop(LineOutcome::SavedToDownload);

    ++counters_.recorded;
    record_ = RecordDetection(read_.Identifier(), box_.detectorId, read_.absoluteTime, read_.dailyTime, outputs_);
    ShowRecorded();
    return LineOutcome::Recorded;
}

LineOutcome DetectionPipeline::Drop(LineOutcome outcome) {
    if (outcome == LineOutcome::Ignored) {
        ++counters_.ignored;
        if (LogWanted(75)) LogF(75, Tr("+ %s : Détection ignorée", "+ %s : Detection ignored"), box_.label.c_str());
    } else {
        ++counters_.downloaded;
        if (LogWanted(75)) {
            LogF(75, Tr("+ %s : Détection enregistrée", "+ %s : Detection recorded"), box_.label.c_str());
        }
    }
    return outcome;
}

void DetectionPipeline::ShowRecorded() {
    const StationSettings& settings = Settings();
    if (events_ != nullptr) events_->OnRecordedCountChanged();
    if (sounds_ != nullptr && settings.beepDetections.load(std::memory_order_relaxed)) {
        sounds_->Play(StationSound::Detection);
    }
    if (settings.logDetections.load(std::memory_order_relaxed) == 0) return;
    char text[512];
    const std::size_t length = FormatDetectionDisplayText(text, sizeof text, box_.description, read_);
    outputs_.AddToDetectionsPane(std::string_view(text, length), record_.serial, read_.dailyTime);
}

void DetectionPipeline::LogInvalidInput(std::string_view line) {
    if (!LogWanted(0) || !floodLimit_.Admit(kLogInvalidInput, 0)) return;
    const EscapedBytes shown(line.substr(0, LogLength(line)));
    LogF(0, Tr("+ %s : Trame invalide: %.*s", "+ %s : Invalid input: %.*s"), box_.label.c_str(), shown.Length(),
         shown.Data());
}

void DetectionPipeline::LogUnhandledReply(std::string_view line) {
    if (!LogWanted(0) || !floodLimit_.Admit(kLogUnhandledReply, 0)) return;
    const EscapedBytes shown(line.substr(0, LogLength(line)));
    LogF(0, Tr("+ %s : Commande inconnue ou non traitée: %.*s", "+ %s : Command unknown or not processed: %.*s"),
         box_.label.c_str(), shown.Length(), shown.Data());
}

}  // namespace winorvex

#include "detections/detection_store.h"

#include "core/folders.h"
#include "core/log.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/detections_pane.h"
#include "detections/last_read_list.h"
#include "detections/result_list.h"

namespace winorvex {

std::string RecordedCountText() {
    const std::size_t count = CountActiveResults();
    if (count == 0) return Tr("Aucune détection enregistrée", "No recorded detection");
    const int n = static_cast<int>(count);
    const char* plural = n > 1 ? "s" : "";
    if (CurrentLanguage() == Language::English) return Format("%d detection%s recorded", n, plural);
    return Format("%d détection%s enregistrée%s", n, plural, plural);
}

void ForgetAllDetections(StationEventSink* events, SoundPlayer* sounds) {
    // Counted and cleared as one step, so the count logged is the count deleted.
    const std::size_t forgotten = ClearResults();
    // Lines still waiting for the pane show records that are gone.
    ClearDetectionsPaneQueue();
    ClearAllLastReadLists();

    if (events != nullptr) events->OnRecordedCountChanged();
    const int n = static_cast<int>(forgotten);
    LogF(0,
         Tr("+ Remise à zéro de la liste des détections effectuée. (%d détection%s)",
            "+ Detection list reset done. (%d detection%s)"),
         n, n > 1 ? "s" : "");
    if (sounds != nullptr) sounds->Play(StationSound::Completion);

    CloseDetectionFile();
    const std::string path = GetIncomingDetectionsFilePath();
    OpenDetectionFile(path);
    LogF(0, Tr("+++ Détections sauvegardées sous %s", "+++ Incoming detections saved in %s"), path.c_str());
}

std::string ForgetAllQuestion() {
    return Tr(
        "Souhaitez vous vraiment vider la liste toutes les détections enregistrées ?\n\n"
        "ATTENTION !!!  TOUS LES TEMPS  ENREGISTRES SERONT PERDUS !!!",
        "Do you really want to clear the list of all recorded detections ?\n\n"
        "CAUTION !!!  ALL RECORDED TIMES WILL BE LOST !!!");
}

bool RequestForgetAllDetections(OperatorPrompt& prompt, StationEventSink* events, SoundPlayer* sounds) {
    if (CountActiveResults() == 0) return false;
    if (!prompt.AskYesNo(ForgetAllQuestion(), false)) return false;
    ForgetAllDetections(events, sounds);
    return true;
}

bool ExportAllDetections(const std::string& path, SoundPlayer* sounds) {
    // A file that could not be written is not announced as exported: WriteAllResults has
    // already said why.
    if (!WriteAllResults(path)) return false;
    LogF(0, Tr("+ Export des détections effectué dans le fichier [%s]", "+ Detections exported in file [%s]"),
         path.c_str());
    if (sounds != nullptr) sounds->Play(StationSound::Completion);
    return true;
}

}  // namespace winorvex

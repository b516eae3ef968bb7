// Removing and restoring the detections selected in the pane.
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "detections/detection_store.h"
#include "detections/detections_pane.h"

namespace winorvex {

SelectionActivity ClassifySelection(const std::vector<std::uint32_t>& serials, std::vector<CRixResult>* records) {
    if (records != nullptr) records->clear();
    if (serials.empty()) return SelectionActivity::None;
    // One state of the list for the whole selection.
    std::vector<CRixResult> found;
    if (!FindResults(serials, found)) return SelectionActivity::None;
    std::size_t active = 0;
    for (const CRixResult& record : found) active += record.IsActive() ? 1 : 0;
    if (records != nullptr) *records = std::move(found);
    if (active == serials.size()) return SelectionActivity::AllActive;
    if (active == 0) return SelectionActivity::AllRemoved;
    return SelectionActivity::Mixed;
}

RemoveRestoreMenu MenuForSelection(SelectionActivity activity) {
    RemoveRestoreMenu menu;
    if (activity == SelectionActivity::None) return menu;
    menu.show = true;
    menu.removeEnabled = activity != SelectionActivity::AllRemoved;
    menu.restoreEnabled = activity != SelectionActivity::AllActive;
    return menu;
}

const char* RemoveSelectedMenuText() {
    return Tr("Supprimer les détections sélectionnées", "Remove selected detections");
}

const char* RestoreSelectedMenuText() {
    return Tr("Restaurer les détections sélectionnées", "Restore selected detections");
}

const char* CancelMenuText() {
    return Tr("Annuler", "Cancel");
}

std::string RemoveRestoreQuestion(bool remove, const std::vector<CRixResult>& selected) {
    if (selected.size() == 1) {
        const char* pattern =
            remove ? Tr("Supprimer la détection %s du dossard %s ?", "Remove detection %s of runner %s ?")
                   : Tr("Restaurer la détection %s du dossard %s ?", "Restore detection %s of runner %s ?");
        return Format(pattern, selected.front().timeText.c_str(), selected.front().bib.c_str());
    }
    const char* pattern = remove ? Tr("Supprimer ces %d détections?", "Remove those %d detections?")
                                 : Tr("Restaurer ces %d détections ?", "Restore those %d detections?");
    return Format(pattern, static_cast<int>(selected.size()));
}

std::size_t RemoveOrRestoreSelection(bool remove, const std::vector<std::uint32_t>& serials, OperatorPrompt& prompt,
                                     StationEventSink* events) {
    std::vector<CRixResult> records;
    const RemoveRestoreMenu menu = MenuForSelection(ClassifySelection(serials, &records));
    if (!(remove ? menu.removeEnabled : menu.restoreEnabled)) return 0;
    if (!prompt.AskYesNo(RemoveRestoreQuestion(remove, records), true)) return 0;
    const std::size_t changed = SetResultsActive(serials, !remove);
    if (events != nullptr) events->OnRecordedCountChanged();
    return changed;
}

}  // namespace winorvex

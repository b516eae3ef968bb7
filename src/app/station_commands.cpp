// The commands another program sends through the command service, and the developer entries of
// the background menu.
#include <fstream>
#include <sstream>

#include "app/detections_list_model.h"
#include "app/qt_event_sink.h"
#include "app/station.h"
#include "app/station_outputs.h"
#include "core/chrono.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/station_settings.h"
#include "detections/detection_store.h"
#include "detections/result_list.h"
#include "reader/box_manager.h"

namespace winorvex {

// ---- the command service ---------------------------------------------------------------------

bool Station::ExportAllTo(const std::string& path) {
    return winorvex::ExportAllDetections(path, services_.sounds);
}

bool Station::StartAcquisition() {
    const ConnectAllOutcome outcome = boxes_->ConnectAllBoxes();
    RefreshStatus();
    connectButtonDown_ = outcome == ConnectAllOutcome::Connected;
    emit statusChanged();
    ScheduleStatusRefresh();
    return outcome == ConnectAllOutcome::Connected;
}

void Station::ClearAcquisitions() {
    winorvex::ForgetAllDetections(sink_.get(), services_.sounds);
    detections_->Clear();
    RefreshStatus();
}

void Station::SetDirectConnectionWanted(bool wanted) {
    DirectConnectionButton(wanted);
}

void Station::PopFront() {
    emit popFrontRequested();
}

// ---- developer entries ----------------------------------------------------------------------

void Station::LoadTestResults(int n) {
    if (n != 1 && n != 2) return;
    const std::string path = GetProgramFolder() + (n == 1 ? "/_testFtp1.txt" : "/_testFtp2.txt");
    std::ifstream in(path);
    if (!in) {
        LogF(0, "## Cannot read %s", path.c_str());
        return;
    }
    const bool absoluteClock = Settings().absClock.load() != 0;
    int added = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string position;
        std::string detector;
        std::string bib;
        std::string kind;
        std::string time;
        if (!(fields >> position >> detector >> bib >> kind >> time)) continue;
        if (bib.size() > 4) continue;
        CChrono daily;
        if (!daily.ParseClock(time)) continue;
        AddResult(detector, bib, CChrono(), daily, absoluteClock, false);
        ++added;
    }
    LogF(0, "+ %d test results loaded from %s", added, path.c_str());
    RefreshStatus();
}

void Station::SaveTestResults(int n) {
    if (n != 1 && n != 2) return;
    // Both entries write the second file: the first one is kept as a reference.
    const std::string path = GetProgramFolder() + "/_testFtp2.txt";
    if (WriteAllResults(path)) LogF(0, "+ Test results saved in %s", path.c_str());
}

}  // namespace winorvex

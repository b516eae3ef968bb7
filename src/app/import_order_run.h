#pragma once
// The order of a closed import dialog (an import or a save of the found detections), carried out
// off the station thread: the run owns its ImportRunner and its progress window and deletes
// itself once the order is carried out, warning when a save failed. The end of the event loop
// stops a run still going, so it never outlives the station's objects. Headless, no progress
// window is made.
#include <QObject>
#include <functional>
#include <memory>

#include "import/import_output.h"

namespace winorvex {

class ImportRunner;
class OperatorPrompt;
class ProgressState;
class SoundPlayer;
class StationEventSink;

// What a run uses of the station. Sounds and events may be null; the prompt may not.
struct ImportOrderServices {
    SoundPlayer* sounds = nullptr;
    StationEventSink* events = nullptr;
    OperatorPrompt* prompt = nullptr;
    bool headless = false;
};

class ImportOrderRun : public QObject {
public:
    // Makes the progress window over the run's state (the state outlives the window); the run
    // destroys the window when the order ends or the event loop ends.
    using ProgressWindowFactory = std::function<std::unique_ptr<QObject>(ProgressState&)>;

    // Owned by `parent` (a window goes before the station; the station otherwise).
    ImportOrderRun(QObject* parent, ImportOrderServices services, ProgressWindowFactory progressWindow);
    ~ImportOrderRun() override;
    ImportOrderRun(const ImportOrderRun&) = delete;
    ImportOrderRun& operator=(const ImportOrderRun&) = delete;

    void Start(const ImportOrder& order, const FoundDetections& found);

    // The progress window while the order runs, else null.
    QObject* ProgressWindow() const { return progress_.get(); }

private:
    ImportOrderServices services_;
    ProgressWindowFactory progressWindow_;
    std::unique_ptr<ImportRunner> runner_;
    std::unique_ptr<QObject> progress_;
};

// Starts the run of `order` under `parent`. Nothing for ImportAction::None but the completion
// sound (null returned). The run may be gone by the time the caller looks at it: callers keep it
// only in a QPointer.
ImportOrderRun* StartImportOrderRun(QObject* parent, const ImportOrderServices& services,
                                    ImportOrderRun::ProgressWindowFactory progressWindow, const ImportOrder& order,
                                    const FoundDetections& found);

}  // namespace winorvex

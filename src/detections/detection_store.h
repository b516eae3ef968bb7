#pragma once
// Operations on the whole store of recorded detections: the recorded count, forgetting all
// detections (which starts a new incoming-detections file) and exporting the active ones.
#include <string>

namespace winorvex {

class OperatorPrompt;

// What the window does for these operations; the headless station and tests supply their own.
class DetectionStoreEvents {
public:
    virtual ~DetectionStoreEvents() = default;
    virtual void ClearDetectionsPane() = 0;
    virtual void RefreshRecordedCount() = 0;
    virtual void PlayCompletionSound() = 0;
};

// "3 detections recorded", "1 detection recorded", "No recorded detection".
std::string RecordedCountText();

// Empties the list, the pane and the boxes' last-read lists, then starts a new
// incoming-detections file. events may be null.
void ForgetAllDetections(DetectionStoreEvents* events);

// The forget-all button: nothing without an active record; otherwise asks the question and
// forgets everything on Yes (No is the default answer). Returns true when the detections were forgotten.
std::string ForgetAllQuestion();
bool RequestForgetAllDetections(OperatorPrompt& prompt, DetectionStoreEvents* events);

// Writes the active records to path (own ordinals 1, 2, 3 ...), then logs and plays the
// completion sound. Returns false, with the reason logged, when the file could not be written.
bool ExportAllDetections(const std::string& path, DetectionStoreEvents* events);

// Writes the active records in detection-file line format, numbered 1, 2, 3 ..., replacing
// path only once the whole file is written. False (and logged) on failure.
bool WriteAllResults(const std::string& path);

}  // namespace winorvex

#pragma once
// Operations on the whole store of recorded detections: the recorded count, forgetting all
// detections (which starts a new incoming-detections file) and exporting the active ones.
#include <string>

namespace winorvex {

class OperatorPrompt;
class SoundPlayer;
class StationEventSink;

// "3 detections recorded", "1 detection recorded", "No recorded detection".
std::string RecordedCountText();

// Empties the list, the lines waiting for the detections pane and the boxes' last-read lists,
// tells events that the count changed, plays the completion sound, then starts a new
// incoming-detections file. The caller empties the pane it shows. events and sounds may be null.
void ForgetAllDetections(StationEventSink* events, SoundPlayer* sounds);

// The forget-all button: nothing without an active record; otherwise asks the question and
// forgets everything on Yes (No is the default answer). Returns true when the detections were forgotten.
std::string ForgetAllQuestion();
bool RequestForgetAllDetections(OperatorPrompt& prompt, StationEventSink* events, SoundPlayer* sounds);

// Writes the active records to path (own ordinals 1, 2, 3 ...), then logs and plays the
// completion sound. Returns false, with the reason logged, when the file could not be written.
bool ExportAllDetections(const std::string& path, SoundPlayer* sounds);

// Writes the active records in detection-file line format, numbered 1, 2, 3 ..., replacing
// path only once the whole file is written. False (and logged) on failure.
bool WriteAllResults(const std::string& path);

}  // namespace winorvex

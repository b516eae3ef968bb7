#pragma once
// How a search, an import or a save running off the interface thread reports to whoever runs it.
// Every call comes on the thread that runs the operation; an implementation that shows something
// posts it to its own thread and returns at once.
#include <string_view>

namespace winorvex {

class ImportObserver {
public:
    virtual ~ImportObserver() = default;
    // A line for the dialog's information list (search only).
    virtual void OnInformation(std::string_view line) { (void)line; }
    // The progress window's text; comes at most a few times a second.
    virtual void OnProgress(std::string_view text) { (void)text; }
    // Asked every hundred lines or detections: true stops the operation there.
    virtual bool IsCancelled() { return false; }
    // The detection store grew (import only, once at its end).
    virtual void OnRecordedCountChanged() {}
};

}  // namespace winorvex

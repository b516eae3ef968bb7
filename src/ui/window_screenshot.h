#pragma once
// Pictures of a window for the documentation: when WINORVEX_SCREENSHOT names a PNG file, the
// window grabs itself WINORVEX_SCREENSHOT_DELAY_MS (default 5000) milliseconds after this call,
// saves the picture there and calls `done` (the station then shuts down). The window paints
// itself, so the picture does not depend on a window manager or on what covers the window.
#include <QString>
#include <functional>

class QWidget;

namespace winorvex {

// Returns false (and does nothing) when the variable is unset or empty.
bool ScheduleScreenshotFromEnvironment(QWidget& window, std::function<void()> done);
// Saves the window's picture as PNG; false when it cannot be written.
bool SaveWindowPicture(QWidget& window, const QString& path);

}  // namespace winorvex

#include "ui/window_screenshot.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace winorvex {

bool SaveWindowPicture(QWidget& window, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return window.grab().save(path, "PNG");
}

bool ScheduleScreenshotFromEnvironment(QWidget& window, std::function<void()> done) {
    const QString path = qEnvironmentVariable("WINORVEX_SCREENSHOT");
    if (path.isEmpty()) return false;
    bool ok = false;
    int delayMs = qEnvironmentVariableIntValue("WINORVEX_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delayMs < 0) delayMs = 5000;
    QTimer::singleShot(delayMs, &window, [&window, path, done = std::move(done)] {
        if (SaveWindowPicture(window, path)) {
            std::fprintf(stderr, "screenshot saved: %s\n", path.toLocal8Bit().constData());
        } else {
            std::fprintf(stderr, "screenshot could not be saved: %s\n", path.toLocal8Bit().constData());
        }
        if (done) done();
    });
    return true;
}

}  // namespace winorvex

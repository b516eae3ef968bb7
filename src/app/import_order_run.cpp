#include "app/import_order_run.h"

#include <QCoreApplication>
#include <utility>

#include "app/import_runner.h"
#include "core/station_events.h"
#include "core/station_settings.h"

namespace winorvex {

ImportOrderRun::ImportOrderRun(QObject* parent, ImportOrderServices services, ProgressWindowFactory progressWindow)
    : QObject(parent), services_(services), progressWindow_(std::move(progressWindow)) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            progress_.reset();
            if (runner_) runner_->StopAndWait();
        });
    }
}

ImportOrderRun::~ImportOrderRun() {
    // The window reads the runner's state: it goes first.
    progress_.reset();
    runner_.reset();
}

void ImportOrderRun::Start(const ImportOrder& order, const FoundDetections& found) {
    runner_ = std::make_unique<ImportRunner>(services_.sounds, services_.events);
    connect(runner_.get(), &ImportRunner::orderFinished, this, [this] {
        progress_.reset();
        const std::string error = runner_->OrderResult().error;
        if (!error.empty() && services_.prompt != nullptr) services_.prompt->Warn(error);
        deleteLater();
    });
    runner_->StartOrder(order, found, Settings().absClock.load() != 0);
    if (!services_.headless && progressWindow_) progress_ = progressWindow_(*runner_->Progress());
}

ImportOrderRun* StartImportOrderRun(QObject* parent, const ImportOrderServices& services,
                                    ImportOrderRun::ProgressWindowFactory progressWindow, const ImportOrder& order,
                                    const FoundDetections& found) {
    if (order.action == ImportAction::None) {
        if (services.sounds != nullptr) services.sounds->Play(StationSound::Completion);
        return nullptr;
    }
    auto run = std::make_unique<ImportOrderRun>(parent, services, std::move(progressWindow));
    run->Start(order, found);
    // Owned by its QObject parent from here on; it deletes itself when done.
    return run.release();
}

}  // namespace winorvex

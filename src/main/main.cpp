// winorvex: the acquisition station, with its windows or (--headless) without.
#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/demo.h"
#include "app/headless_prompt.h"
#include "app/station.h"
#include "app/stop_signals.h"
#include "core/folders.h"
#include "core/texts.h"

#ifndef WINORVEX_HEADLESS_ONLY
#include <QApplication>

#include "ui/keyboard_state.h"
#include "ui/label_dialog.h"
#include "ui/main_window.h"
#include "ui/message_box_prompt.h"
#include "ui/qt_sound_player.h"
#include "ui/qt_speaker.h"
#endif

namespace {

int RunStation(winorvex::Station& station, QCoreApplication& app) {
    if (station.Start() == winorvex::StartOutcome::AlreadyRunning) return 1;
    // Without windows nobody would see that the results program cannot drive the station, so it
    // does not run without its command service (the reason is already on standard error).
    if (!station.InitialiseWindow()) {
        std::fprintf(stderr, "winorvex: the command service could not start; the station cannot run without it\n");
        return 3;
    }
    QObject::connect(&station, &winorvex::Station::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace winorvex;
    // Before any thread exists: every thread inherits the mask, the station's signalfd takes them.
    BlockStopSignals();

    std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine options;
    std::string error;
    if (!ParseCommandLine(arguments, options, error)) {
        std::fprintf(stderr, "winorvex: %s\n%s", error.c_str(), CommandLineUsage());
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(options.help ? CommandLineUsage() : ProgramVersionLine(), stdout);
        return 0;
    }
#ifdef WINORVEX_HEADLESS_ONLY
    // This build has no windows.
    options.headless = true;
#endif
    if (options.language) SetLanguage(*options.language);

    std::unique_ptr<DemoReaders> demo;
    if (options.demo) {
        demo = std::make_unique<DemoReaders>();
        // QProcess needs an application object: the demo starts inside it below.
    } else if (!options.dataDir.empty()) {
        SetDataFolderOverride(options.dataDir);
    }

    StationOptions stationOptions;
    stationOptions.headless = options.headless;
    // Nobody can press the connect button without windows, and the demo shows reads at once.
    stationOptions.connectAtStart = (options.headless && !options.noConnect) || options.demo;
    stationOptions.directAtStart = options.direct || options.demo;

    if (options.headless) {
        QCoreApplication app(argc, argv);
        if (demo && !demo->Start(options.dataDir, error)) {
            std::fprintf(stderr, "winorvex: demo: %s\n", error.c_str());
            return 1;
        }
        if (GetDataFolder().empty()) {
            std::fprintf(stderr, "winorvex: no usable data folder\n");
            return 1;
        }
        HeadlessPrompt prompt;
        StationServices services;
        services.prompt = &prompt;
        Station station(services, stationOptions);
        StopSignals stop;
        QObject::connect(&stop, &StopSignals::stopRequested, &station, [&station] { station.RunExitProcedure(false); });
        if (demo) std::fprintf(stderr, "winorvex: demo data folder %s\n", demo->DataFolder().c_str());
        return RunStation(station, app);
    }

#ifndef WINORVEX_HEADLESS_ONLY
    QApplication app(argc, argv);
    if (demo && !demo->Start(options.dataDir, error)) {
        std::fprintf(stderr, "winorvex: demo: %s\n", error.c_str());
        return 1;
    }
    MessageBoxPrompt boxes;
    // Text questions get the label dialog; the rest are message boxes.
    QWidget* promptParent = nullptr;
    DialogTextPrompt prompt(boxes, [&promptParent] { return promptParent; });
    QtSoundPlayer sounds;
    QtSpeaker speaker;
    QtKeyboardState keyboard;
    StationServices services;
    services.prompt = &prompt;
    services.sounds = &sounds;
    services.speaker = &speaker;
    services.keyboard = &keyboard;
    Station station(services, stationOptions);
    if (station.Start() == StartOutcome::AlreadyRunning) return 1;
    const bool initialised = station.InitialiseWindow();
    MainWindow window(station);
    boxes.SetParent(&window);
    promptParent = &window;
    window.show();
    // The window records even without its command service (an alert says so).
    if (initialised) window.OpenConfigurationAfterStart();
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &station, [&station] { station.RunExitProcedure(false); });
    QObject::connect(&station, &Station::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
#else
    return 2;
#endif
}

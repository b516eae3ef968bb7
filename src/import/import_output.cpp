#include "import/import_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "core/unique_fd.h"
#include "detections/result_list.h"

namespace winorvex {

namespace {

constexpr std::size_t kBatch = 100;  // detections per hold of the result list's lock
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
constexpr std::size_t kWriteChunk = 64 * 1024;

const char* Plural(std::size_t n) {
    return n > 1 ? "s" : "";
}

// Progress text at most a few times a second, the cancel flag every batch.
class Pacer {
public:
    explicit Pacer(ImportObserver& observer) : observer_(observer) {}
    // False when the operator cancelled.
    bool Step(std::size_t done, const char* format) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ >= kProgressInterval) {
            last_ = now;
            observer_.OnProgress(Format(format, done, Plural(done), Plural(done)));
        }
        return !observer_.IsCancelled();
    }

private:
    ImportObserver& observer_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now() - kProgressInterval;
};

void ImportIntoStore(const ImportOrder& order, const FoundDetections& found, bool absClock, ImportObserver& observer,
                     ImportRunResult& result) {
    Pacer pacer(observer);
    const char* progress = Tr("%zu détection%s ajoutée%s", "%zu detection%s added");
    auto it = found.begin();
    while (it != found.end()) {
        // One record per hold of the list's lock: live reads slip in between, so an import of a
        // million detections never holds a box worker back for long.
        for (std::size_t n = 0; n < kBatch && it != found.end(); ++n, ++it) {
            AddResult(order.detector, it->Identifier(), it->absoluteTime,
                      CorrectedDailyTime(it->dailyTime, order.dayCorrection), absClock, false);
            ++result.written;
        }
        if (!pacer.Step(result.written, progress)) {
            result.cancelled = it != found.end();
            break;
        }
    }
    observer.OnRecordedCountChanged();
    result.completed = result.written == result.total;
}

std::string ErrorText(const char* format, const std::string& path, int error) {
    return Format(format, path.c_str(), std::strerror(error));
}

void SaveToFile(const ImportOrder& order, const FoundDetections& found, ImportObserver& observer,
                ImportRunResult& result) {
    const std::string& path = order.outputPath;
    std::string temporary = path + ".XXXXXX";
    UniqueFd fd(::mkstemp(temporary.data()));
    if (!fd.IsOpen()) {
        result.error = ErrorText(Tr("Erreur création fichier %s : %s", "Error creating file %s: %s"), path, errno);
        return;
    }
    // mkstemp makes it private; a detection file is as readable as any other file the user makes.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd.Get(), 0666 & ~mask);

    Pacer pacer(observer);
    const char* progress = Tr("%zu détection%s sauvée%s", "%zu detection%s saved");
    std::string buffer;
    buffer.reserve(kWriteChunk + 256);
    bool failed = false;
    int error = 0;
    std::size_t number = 0;
    for (const CDetection& detection : found) {
        AppendSavedLine(buffer, ++number, order.detector, detection, order.dayCorrection);
        if (buffer.size() >= kWriteChunk) {
            if (!WriteAll(fd.Get(), buffer.data(), buffer.size())) {
                failed = true;
                error = errno;
                break;
            }
            buffer.clear();
        }
        if (number % kBatch == 0 && !pacer.Step(number, progress)) {
            result.cancelled = number < found.size();
            if (result.cancelled) break;
        }
    }
    if (!failed && !result.cancelled) {
        if (!WriteAll(fd.Get(), buffer.data(), buffer.size()) || ::fsync(fd.Get()) != 0) {
            failed = true;
            error = errno;
        } else if (!fd.Close()) {
            failed = true;
            error = errno;
        } else if (::rename(temporary.c_str(), path.c_str()) != 0) {
            failed = true;
            error = errno;
        }
    }
    if (failed || result.cancelled) {
        fd.Reset();
        ::unlink(temporary.c_str());
        if (failed) {
            result.error =
                ErrorText(Tr("Erreur d'écriture du fichier %s : %s", "Error writing file %s: %s"), path, error);
        }
        result.written = result.cancelled ? number : 0;
        return;
    }
    result.written = number;
    result.completed = true;
}

}  // namespace

std::string RixOutputPath(std::string_view path) {
    std::string out(path);
    const std::string_view tail = path.size() >= 4 ? path.substr(path.size() - 4) : std::string_view();
    const bool rix = tail.size() == 4 && tail[0] == '.' && (tail[1] == 'r' || tail[1] == 'R') &&
                     (tail[2] == 'i' || tail[2] == 'I') && (tail[3] == 'x' || tail[3] == 'X');
    if (!rix) out += ".rix";
    return out;
}

CChrono CorrectedDailyTime(const CChrono& daily, int dayCorrection) {
    if (dayCorrection <= 0) return daily;
    return daily + CChrono(24 * 3600 * dayCorrection, 0);
}

void AppendSavedLine(std::string& out, std::size_t number, std::string_view detector, const CDetection& detection,
                     int dayCorrection) {
    char time[32];
    const std::size_t timeLength =
        CorrectedDailyTime(detection.dailyTime, dayCorrection).FormatDailyHundredthsTo(time, sizeof time);
    char head[24];
    const auto written = std::to_chars(head, head + sizeof head, number);
    out.append(head, written.ptr).append("\t");
    out.append(detector).append("\t").append(detection.Identifier()).append("\t1\t");
    out.append(time, timeLength).append("\t1\r\n");
}

const char* SearchProgressTitle() {
    return Tr("Traitement de fichier de traces ELITE", "Importing ELITE log file detections");
}

const char* ImportProgressTitle(ImportAction action) {
    return action == ImportAction::Save ? Tr("Sauvegarde des détections ELITE", "Saving ELITE detections")
                                        : Tr("Import des détections ELITE", "Importing ELITE detections");
}

ImportRunResult RunImportOrder(const ImportOrder& order, const FoundDetections& found, bool absClock,
                               ImportObserver& observer, SoundPlayer* sounds) {
    ImportRunResult result;
    result.total = found.size();
    if (order.action == ImportAction::None) {
        if (sounds != nullptr) sounds->Play(StationSound::Completion);
        return result;
    }
    for (const std::string& heading : order.headings) Log(0, "+++ " + heading);
    const int count = static_cast<int>(found.size());
    if (order.action == ImportAction::Import) {
        LogF(0, Tr("+++ %d détections à importer pour Id. Boîtier %s", "+++ %d detections to import for box %s"), count,
             order.detector.c_str());
    } else {
        LogF(0, Tr("+++ %d détections à sauver pour Id. Boîtier %s", "+++ %d detections to save for box %s"), count,
             order.detector.c_str());
    }
    if (order.dayCorrection > 0) {
        LogF(0, Tr("+++ Ajout de %d heures aux détections", "+++ %d hours added to detections"),
             24 * order.dayCorrection);
    }

    if (order.action == ImportAction::Import) {
        ImportIntoStore(order, found, absClock, observer, result);
        if (result.cancelled) {
            LogF(0,
                 Tr("+++ Import interrompu : %zu détections importées sur %zu",
                    "+++ Import cancelled: %zu of %zu detections imported"),
                 result.written, result.total);
        } else {
            Log(0, Tr("+++ Import terminé", "+++ Import done"));
        }
    } else {
        SaveToFile(order, found, observer, result);
        if (!result.error.empty()) {
            Log(0, result.error);
            return result;
        }
        if (result.cancelled) {
            LogF(0,
                 Tr("+++ Sauvegarde interrompue après %zu détections sur %zu : %s n'a pas été modifié",
                    "+++ Save cancelled after %zu of %zu detections: %s left unchanged"),
                 result.written, result.total, order.outputPath.c_str());
        } else {
            LogF(0, Tr("+++ Sauvegarde terminée dans %s", "+++ File saved"), order.outputPath.c_str());
        }
    }
    if (sounds != nullptr) sounds->Play(StationSound::Completion);
    return result;
}

}  // namespace winorvex

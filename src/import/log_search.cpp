#include "import/log_search.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_set>

#include "chips/chip_table.h"
#include "core/local_time.h"
#include "core/log.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "import/log_file_reader.h"
#include "import/log_line.h"
#include "import/log_tag_read.h"

namespace winorvex {

namespace {

constexpr const char* kFileBox = "fileBox";
constexpr std::uint64_t kCheckEvery = 100;  // lines between two looks at the cancel flag
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
constexpr std::size_t kUnknownChipsShown = 4;

const char* Plural(std::uint64_t n) {
    return n > 1 ? "s" : "";
}

int Shown(std::string_view text) {
    return static_cast<int>(text.size() < kLogWorkingLimit ? text.size() : kLogWorkingLimit);
}

std::int64_t Milliseconds(const CChrono& time) {
    return static_cast<std::int64_t>(time.Seconds()) * 1000 + time.Milliseconds();
}

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// The reads of one reader date, for the day summaries.
struct DayTally {
    bool active = false;
    char date[8] = {};
    std::string label;  // FormatDateLong of its first read
    CChrono first;
    CChrono last;
    std::uint64_t count = 0;
};

class Search {
public:
    Search(const LogSearchRequest& request, const LogSearchSettings& settings, ImportObserver& observer)
        : request_(request),
          settings_(settings),
          observer_(observer),
          start_(Milliseconds(request.start)),
          end_(Milliseconds(request.end)) {
        context_.today = settings.today;
        context_.translate = settings.translate;
        context_.chips = settings.chips.get();
    }

    LogSearchResult Run(SoundPlayer* sounds) {
        LogFileReader reader;
        std::string reason;
        if (!reader.Open(request_.path, reason)) {
            result_.error = Format(Tr("Impossible d'ouvrir le fichier %s : %s", "Cannot open file %s: %s"),
                                   request_.path.c_str(), reason.c_str());
            Information("## " + result_.error);
            return std::move(result_);
        }
        Information(Format(Tr("+++ Traitement de fichier ELITE %s", "+++ Importing ELITE detections file %s"),
                           request_.path.c_str()));

        auto lastProgress = std::chrono::steady_clock::now() - kProgressInterval;
        std::string_view piece;
        while (reader.Next(piece)) {
            ++result_.lines;
            if (result_.lines % kCheckEvery == 0) {
                const auto now = std::chrono::steady_clock::now();
                if (now - lastProgress >= kProgressInterval) {
                    lastProgress = now;
                    Progress();
                }
                if (observer_.IsCancelled()) {
                    result_.cancelled = true;
                    break;
                }
            }
            HandleLine(piece);
        }
        if (reader.Failed()) {
            result_.error = Format(Tr("Erreur de lecture du fichier %s : %s", "Error reading file %s: %s"),
                                   request_.path.c_str(), reader.Error().c_str());
            Information("## " + result_.error);
            result_.found.clear();
            result_.markers.clear();
            return std::move(result_);
        }
        if (result_.cancelled) {
            Information(Format(Tr("* Recherche interrompue par l'opérateur après %llu lignes",
                                  "* Search cancelled by the operator after %llu lines"),
                               static_cast<unsigned long long>(result_.lines)));
        }
        Progress();
        Close(sounds);
        result_.searched = true;
        return std::move(result_);
    }

private:
    void Information(const std::string& line) { observer_.OnInformation(line); }

    void Progress() {
        const std::uint64_t found = result_.found.size();
        observer_.OnProgress(Format(Tr("%llu lignes traitées - %llu détection%s trouvée%s dans la période sélectionnée",
                                       "%llu lines parsed - %llu detection%s found in selected time range"),
                                    static_cast<unsigned long long>(result_.lines),
                                    static_cast<unsigned long long>(found), Plural(found), Plural(found)));
    }

    // Counted always, shown only when the operator asked for every abnormal event.
    void Abnormal(const char* format, std::string_view line) {
        ++result_.abnormalEvents;
        if (settings_.showAbnormalEvents) Information(Format(format, Shown(line), line.data()));
    }
    void AbnormalOfBox(const char* format, std::string_view line) {
        ++result_.abnormalEvents;
        if (settings_.showAbnormalEvents) Information(Format(format, kFileBox, Shown(line), line.data()));
    }

    void HandleLine(std::string_view piece) {
        LogLine line;
        if (!ClassifyLogLine(piece, line)) {
            HandleOtherLine(line.text);
            return;
        }
        switch (line.kind) {
            case kLogLineTagRead:
                HandleTagRead(line.text);
                break;
            case kLogLineClockSetAck:
            case kLogLineClockReply:
                break;
            default:
                AbnormalOfBox(Tr("+ Commande boîtier %s inconnue ou non traitée: %.*s",
                                 "+ Box %s command unknown or not processed: %.*s"),
                              line.fullLine);
                break;
        }
    }

    void HandleTagRead(std::string_view text) {
        if (!DecodeLogTagRead(text, context_, read_)) {
            Abnormal(Tr("+ Détection invalide: %.*s", "+ Invalid detection: %.*s"), text);
            return;
        }
        ++result_.decodedReads;
        if (read_.unknownChip) NoteUnknownChip(read_.Chip());
        CountForDay();

        const std::int64_t time = Milliseconds(read_.absoluteTime);
        if (time < start_ || time > end_) return;
        if (read_.unknownChip && settings_.ignoreUnknownTags) {
            Abnormal(Tr("+ Puce inconnue [%.*s] ! Détection ignorée", "+ Unknown chip [%.*s]. Detection discarded!"),
                     read_.Chip());
            ++result_.rejectedUnknown;
            return;
        }
        result_.found.emplace_back(read_.dailyTime, read_.absoluteTime, read_.Identifier());
    }

    void HandleOtherLine(std::string_view text) {
        if (!text.starts_with(kMarkerPrefix)) {
            AbnormalOfBox(Tr("+ Trame boîtier %s invalide: %.*s", "+ Box %s invalid input: %.*s"), text);
            return;
        }
        if (!settings_.extendedStatus) return;
        COrvexMarker marker;
        CChrono when;
        // A marker belongs to its own date: taken at its date and time, not at the picked date.
        if (!ParseMarkerLine(text, marker) || !when.SetFromReaderStamp(marker.date, marker.time, 0)) {
            AbnormalOfBox(Tr("+ Trame boîtier %s invalide: %.*s", "+ Box %s invalid input: %.*s"), text);
            return;
        }
        const std::int64_t time = Milliseconds(when);
        if (time <= start_ || time >= end_) return;
        Information(Format(Tr("+ Marqueur WinORVEX : %s", "+ WinORVEX Marker: %s"), marker.label.c_str()));
        result_.markers.push_back(std::move(marker));
    }

    // Looked up by view first: only a chip not seen before costs an allocation.
    void NoteUnknownChip(std::string_view chip) {
        if (unknownSet_.find(chip) != unknownSet_.end()) return;
        unknownSet_.emplace(chip);
        result_.unknownChips.emplace_back(chip);
    }

    void CountForDay() {
        if (day_.active && std::memcmp(day_.date, read_.date, sizeof day_.date) == 0) {
            ++day_.count;
            day_.last = read_.dailyTime;
            return;
        }
        WriteDaySummary();
        day_.active = true;
        std::memcpy(day_.date, read_.date, sizeof day_.date);
        day_.label = read_.absoluteTime.FormatDateLong();
        day_.first = day_.last = read_.dailyTime;
        day_.count = 1;
        Information(Format(Tr("* %s - Première détection à %s", "* %s - First detection at %s"), day_.label.c_str(),
                           day_.first.FormatDailyTruncated().c_str()));
    }

    void WriteDaySummary() {
        if (!day_.active) return;
        Information(Format(Tr("* %s - Première détection à %s, dernière détection à %s. Total %llu détections",
                              "* %s - First detection at %s, last detection at %s. Total %llu detections"),
                           day_.label.c_str(), day_.first.FormatDailyTruncated().c_str(),
                           day_.last.FormatDailyTruncated().c_str(), static_cast<unsigned long long>(day_.count)));
    }

    void Close(SoundPlayer* sounds) {
        WriteDaySummary();
        if (settings_.translate && settings_.ignoreUnknownTags && result_.rejectedUnknown > 0) {
            const std::uint64_t n = result_.rejectedUnknown;
            Information(Format(
                Tr("* %llu détection%s rejetée%s : puces inconnues", "* %llu detection%s rejected: unknown chips"),
                static_cast<unsigned long long>(n), Plural(n), Plural(n)));
        }
        const std::uint64_t found = result_.found.size();
        if (found == 0) {
            Information(Tr("* Aucune détection pertinente trouvée dans la période sélectionnée",
                           "* No suitable detection found in selected time range"));
        } else {
            Information(Format(Tr("* %llu détection%s pertinente%s trouvée%s dans la période sélectionnée",
                                  "* %llu suitable detection%s found in selected time range"),
                               static_cast<unsigned long long>(found), Plural(found), Plural(found), Plural(found)));
        }
        result_.foundBeforePurge = result_.found.size();
        Information(Format(Tr("* %zu détections avant élimination des doublons", "* %zu detections before purge"),
                           result_.foundBeforePurge));
        PurgeRepeats(result_.found, settings_.msDelta);
        Information(Format(
            Tr("* %zu détections après élimination des doublons (%d ms)", "* %zu detections after purge (%d ms)"),
            result_.found.size(), settings_.msDelta));

        if (!result_.unknownChips.empty()) {
            if (sounds != nullptr) sounds->Play(StationSound::Warning);
            std::string list;
            for (std::size_t i = 0; i < result_.unknownChips.size() && i < kUnknownChipsShown; ++i) {
                list += "  " + result_.unknownChips[i];
            }
            if (result_.unknownChips.size() > kUnknownChipsShown) list += "  ...";
            const std::size_t n = result_.unknownChips.size();
            // The list comes after the plurals, and French needs one more of them.
            if (CurrentLanguage() == Language::English) {
                Information(Format("* %zu chip%s not found in ORVEXTABLE.DTB: %s", n, Plural(n), list.c_str()));
            } else {
                Information(Format("* %zu puce%s non trouvée%s dans la table de correspondance : %s", n, Plural(n),
                                   Plural(n), list.c_str()));
            }
        }
    }

    const LogSearchRequest& request_;
    const LogSearchSettings& settings_;
    ImportObserver& observer_;
    const std::int64_t start_;
    const std::int64_t end_;
    LogDecodeContext context_;
    LogTagRead read_;
    DayTally day_;
    std::unordered_set<std::string, TextHash, std::equal_to<>> unknownSet_;
    LogSearchResult result_;
};

}  // namespace

LogSearchSettings CurrentLogSearchSettings(bool showAbnormalEvents) {
    const StationSettings& station = Settings();
    LogSearchSettings settings;
    settings.translate = station.sendNumbers.load() != 0;
    settings.ignoreUnknownTags = station.ignoreUnknownTags.load() != 0;
    settings.msDelta = station.ignoreInputMsDelta.load();
    settings.extendedStatus = IsExtendedStatusMode();
    settings.showAbnormalEvents = showAbnormalEvents;
    settings.today = static_cast<std::uint32_t>(std::stoul(TodayText()));
    settings.chips = ChipTableSnapshot();
    return settings;
}

LogSearchResult SearchReaderLog(const LogSearchRequest& request, const LogSearchSettings& settings,
                                ImportObserver& observer, SoundPlayer* sounds) {
    Search search(request, settings, observer);
    return search.Run(sounds);
}

}  // namespace winorvex

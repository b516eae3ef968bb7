#include "detections/result_list.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <memory>

namespace winorvex {
namespace {

// Records live in fixed chunks: a record never moves once appended, growth never copies the
// list, and the per-record overhead stays at the record's own size (a race can reach a
// million detections).
constexpr std::size_t kChunkSize = 4096;
constexpr std::uint32_t kLastSerial = 0xFFFFFFFEu;

class ResultStore {
public:
    std::mutex mutex;
    RecordLineWriter* writer = nullptr;

    std::size_t Size() const { return size_; }
    std::size_t ActiveCount() const { return active_; }
    // Readable without the lock: the interface counts while every box worker records.
    std::atomic<std::size_t> publishedSize{0};
    std::atomic<std::size_t> publishedActive{0};
    // Counts the clears, so that positions kept elsewhere can tell they belong to an older list.
    std::atomic<std::uint64_t> generation{0};
    void Publish() {
        publishedSize.store(size_, std::memory_order_release);
        publishedActive.store(active_, std::memory_order_release);
    }

    CRixResult& At(std::size_t index) { return chunks_[index / kChunkSize][index % kChunkSize]; }

    CRixResult& NewSlot() {
        if (size_ == chunks_.size() * kChunkSize) {
            chunks_.push_back(std::make_unique<CRixResult[]>(kChunkSize));
        }
        return At(size_);
    }

    // The slot returned by NewSlot is now a record of the list.
    void Commit(const CRixResult& record) {
        if (size_ > 0 && record.serial <= At(size_ - 1).serial) serialsAscending_ = false;
        ++size_;
        if (record.IsActive()) ++active_;
        Publish();
    }

    void Clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
        active_ = 0;
        serialsAscending_ = true;
        generation.fetch_add(1, std::memory_order_release);
        Publish();
    }

    std::uint32_t TakeSerial() {
        const std::uint32_t serial = nextSerial_;
        nextSerial_ = serial >= kLastSerial ? 1 : serial + 1;
        return serial;
    }

    void SetNextSerial(std::uint32_t next) { nextSerial_ = (next == 0 || next > kLastSerial) ? 1 : next; }

    void SetActive(CRixResult& record, bool active) {
        if (record.IsActive() == active) return;
        record.active = active ? 1 : 0;
        if (active) {
            ++active_;
        } else {
            --active_;
        }
        Publish();
    }

    // Serials grow with the list, so a binary search finds them; only after the counter
    // wrapped within the list (four billion detections later) does it fall back to a scan.
    CRixResult* Find(std::uint32_t serial) {
        if (serial == 0 || size_ == 0) return nullptr;
        if (serialsAscending_) {
            std::size_t low = 0;
            std::size_t high = size_;
            while (low < high) {
                const std::size_t mid = low + (high - low) / 2;
                if (At(mid).serial < serial) {
                    low = mid + 1;
                } else {
                    high = mid;
                }
            }
            return (low < size_ && At(low).serial == serial) ? &At(low) : nullptr;
        }
        for (std::size_t i = 0; i < size_; ++i) {
            if (At(i).serial == serial) return &At(i);
        }
        return nullptr;
    }

private:
    std::vector<std::unique_ptr<CRixResult[]>> chunks_;
    std::size_t size_ = 0;
    std::size_t active_ = 0;
    std::uint32_t nextSerial_ = 1;
    bool serialsAscending_ = true;
};

ResultStore& Store() {
    static ResultStore store;
    return store;
}

std::size_t TimeTextTo(char* buffer, std::size_t capacity, const CChrono& absoluteTime, const CChrono& dailyTime,
                       bool absoluteClock) {
    if (!absoluteClock) return dailyTime.FormatDailyHundredthsTo(buffer, capacity);
    char* const end = buffer + capacity;
    auto written = std::to_chars(buffer, end, static_cast<long>(absoluteTime.Seconds()));
    char* p = written.ptr;
    *p++ = '.';
    written = std::to_chars(p, end, static_cast<long>(absoluteTime.Hundredths()));
    return static_cast<std::size_t>(written.ptr - buffer);
}

}  // namespace

void SetRecordLineWriter(RecordLineWriter* writer) {
    std::lock_guard<std::mutex> lock(Store().mutex);
    Store().writer = writer;
}

std::string MakeResultTimeText(const CChrono& absoluteTime, const CChrono& dailyTime, bool absoluteClock) {
    char buffer[48];
    return std::string(buffer, TimeTextTo(buffer, sizeof buffer, absoluteTime, dailyTime, absoluteClock));
}

CRixResult AddResult(std::string_view detector, std::string_view bib, const CChrono& absoluteTime,
                     const CChrono& dailyTime, bool absoluteClock, bool writeToFile, ResultAddedObserver* observer) {
    char timeText[48];
    const std::size_t timeLength = TimeTextTo(timeText, sizeof timeText, absoluteTime, dailyTime, absoluteClock);

    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    CRixResult& record = store.NewSlot();
    record.bib.assign(bib);
    record.timeText.assign(timeText, timeLength);
    record.detector.assign(detector);
    record.absoluteClock = absoluteClock ? 1 : 0;
    record.reserved1 = 1;
    record.reserved2 = 0;
    record.active = 1;
    record.serial = store.TakeSerial();
    store.Commit(record);

    if (writeToFile && store.writer != nullptr) store.writer->WriteRecordLine(static_cast<int>(store.Size()), record);
    if (observer != nullptr) observer->OnResultAdded(record);
    return record;
}

std::size_t CountActiveResults() {
    return Store().publishedActive.load(std::memory_order_acquire);
}

std::size_t ResultCount() {
    return Store().publishedSize.load(std::memory_order_acquire);
}

std::size_t ClearResults() {
    std::lock_guard<std::mutex> lock(Store().mutex);
    const std::size_t active = Store().ActiveCount();
    Store().Clear();
    return active;
}

bool SetResultActive(std::uint32_t serial, bool active) {
    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    CRixResult* record = store.Find(serial);
    if (record == nullptr) return false;
    store.SetActive(*record, active);
    return true;
}

std::size_t SetResultsActive(const std::vector<std::uint32_t>& serials, bool active) {
    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    std::size_t found = 0;
    for (std::uint32_t serial : serials) {
        if (CRixResult* record = store.Find(serial)) {
            store.SetActive(*record, active);
            ++found;
        }
    }
    return found;
}

bool FindResult(std::uint32_t serial, CRixResult& out) {
    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    const CRixResult* record = store.Find(serial);
    if (record == nullptr) return false;
    out = *record;
    return true;
}

bool FindResults(const std::vector<std::uint32_t>& serials, std::vector<CRixResult>& out) {
    out.clear();
    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    out.reserve(serials.size());
    for (std::uint32_t serial : serials) {
        const CRixResult* record = store.Find(serial);
        if (record == nullptr) {
            out.clear();
            return false;
        }
        out.push_back(*record);
    }
    return true;
}

std::uint64_t ResultListGeneration() {
    return Store().generation.load(std::memory_order_acquire);
}

bool VisitResultsAt(std::uint64_t generation, const std::function<void(const ResultAt&)>& visit) {
    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    if (store.generation.load(std::memory_order_relaxed) != generation) return false;
    const ResultAt at = [&store](std::size_t position) -> const CRixResult* {
        return position < store.Size() ? &store.At(position) : nullptr;
    };
    visit(at);
    return true;
}

void ForEachResult(const std::function<void(const CRixResult&)>& visit) {
    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    for (std::size_t i = 0; i < store.Size(); ++i) visit(store.At(i));
}

std::vector<CRixResult> CopyActiveResults() {
    ResultStore& store = Store();
    std::lock_guard<std::mutex> lock(store.mutex);
    std::vector<CRixResult> copy;
    copy.reserve(store.ActiveCount());
    for (std::size_t i = 0; i < store.Size(); ++i) {
        const CRixResult& record = store.At(i);
        if (record.IsActive()) copy.push_back(record);
    }
    return copy;
}

std::string FormatResultLine(const CRixResult& result) {
    std::string line;
    line.reserve(result.detector.size() + result.bib.size() + result.timeText.size() + 8);
    line += "1\t";
    line += result.detector;
    line += '\t';
    line += result.bib;
    line += "\t1\t";
    line += result.timeText;
    return line;
}

void ToCommaText(std::string& text) {
    for (char& c : text) {
        if (c == '\t') {
            c = ',';
        } else if (c == '\n') {
            c = ' ';
        }
    }
}

void ResetResultSerialForTest(std::uint32_t next) {
    std::lock_guard<std::mutex> lock(Store().mutex);
    Store().SetNextSerial(next);
}

}  // namespace winorvex

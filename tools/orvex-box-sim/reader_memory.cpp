#include "reader_memory.h"

#include <cstring>

namespace winorvex::sim {

bool ReaderMemory::Record(std::string_view tag_line) {
    while (!tag_line.empty() && (tag_line.back() == '\n' || tag_line.back() == '\r')) tag_line.remove_suffix(1);
    if (records_.size() >= kCapacity || tag_line.size() > kMaxTagLine - 2) return false;
    StoredLine record{};
    std::memcpy(record.text.data(), tag_line.data(), tag_line.size());
    record.length = static_cast<uint8_t>(tag_line.size());
    records_.push_back(record);
    return true;
}

std::size_t ReaderMemory::ReplayNext(char* out) {
    if (replay_pos_ >= records_.size()) return 0;
    const StoredLine& record = records_[replay_pos_++];
    std::memcpy(out, record.text.data(), record.length);
    out[record.length] = '\r';
    out[record.length + 1] = '\n';
    return record.length + 2u;
}

void ReaderMemory::Clear() {
    records_.clear();
    records_.shrink_to_fit();
    replay_pos_ = 0;
}

LoggingCounters ReaderMemory::Counters(bool recording, bool replaying) const {
    LoggingCounters c;
    c.g = kRecordsPerBlock;
    c.f = kBlocks;
    c.a = static_cast<uint32_t>(records_.size() / kRecordsPerBlock);
    c.b = static_cast<uint32_t>(records_.size() % kRecordsPerBlock);
    c.c = static_cast<uint32_t>(replay_pos_ / kRecordsPerBlock);
    c.d = static_cast<uint32_t>(replay_pos_ % kRecordsPerBlock);
    c.e = (recording ? 1u : 0u) | (replaying ? 2u : 0u);
    return c;
}

void AppendLoggingDetail(std::string& out, const LoggingCounters& c) {
    // 1-based positions in the whole line: A 11-12, B 13-16, C 17-18, D 19-22, E 23-24,
    // F 25-26, G 27-30; one padding byte completes the twelve data bytes.
    char frame[32] = {'a', 'b', '0', '0', '0', 'c', '4', 'b', '0', '7'};
    PutHex(frame + 10, c.a, 2);
    PutHex(frame + 12, c.b, 4);
    PutHex(frame + 16, c.c, 2);
    PutHex(frame + 18, c.d, 4);
    PutHex(frame + 22, c.e, 2);
    PutHex(frame + 24, c.f, 2);
    PutHex(frame + 26, c.g, 4);
    frame[30] = '0';
    frame[31] = '0';
    AppendWithChecksum(out, std::string_view(frame, sizeof frame));
}

void AppendClearingProgress(std::string& out, uint8_t done, uint8_t total) {
    char frame[14] = {'a', 'b', '0', '0', '0', '3', '4', 'b', 'd', '0'};
    PutHex(frame + 10, done, 2);
    PutHex(frame + 12, total, 2);
    AppendWithChecksum(out, std::string_view(frame, sizeof frame));
}

}  // namespace winorvex::sim

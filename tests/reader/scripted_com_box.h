#pragma once
// A transport whose reader side follows a script: each pushed line is what one ReadLine returns,
// a pushed drop is the reader closing the link. Connect succeeds after a number of refusals.
// Lets the worker tests drive every outcome of a read without a socket.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "reader/com_box.h"

namespace winorvex::test {

class ScriptedComBox : public CComBox {
public:
    // The address a slot gives a scripted transport in the tests: "[script:1 31]".
    static BoxAddress Address() { return BoxAddress{"31", "script", 1}; }

    ScriptedComBox() : CComBox(Kind::kTcp) {}

    // The next ReadLine returns this line (without its line feed); "" is a lone line feed.
    void Push(const std::string& line) { Add(Item{false, line}); }
    // The next ReadLine finds the link closed by the reader.
    void PushDrop() { Add(Item{true, {}}); }
    void RefuseConnections(int count) {
        std::lock_guard lock(mutex_);
        refusalsLeft_ = count;
    }
    void SetOpen() {
        std::lock_guard lock(mutex_);
        open_ = true;
    }
    int Connects() const {
        std::lock_guard lock(mutex_);
        return connects_;
    }
    std::vector<std::string> Writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }

    bool Disconnect() override {
        SetClosedOnRequest(true);
        return Close();
    }
    bool Close() override {
        {
            std::lock_guard lock(mutex_);
            open_ = false;
        }
        wake_.notify_all();
        return true;
    }
    int ReadLine(char* buffer, int capacity) override {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return !open_ || !script_.empty(); });
        if (!open_) return -1;
        const Item item = script_.front();
        script_.pop_front();
        if (item.drop) {
            open_ = false;
            return -1;
        }
        const std::size_t length = std::min(item.line.size(), static_cast<std::size_t>(capacity - 1));
        item.line.copy(buffer, length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    }
    bool HasBufferedLine() const override {
        std::lock_guard lock(mutex_);
        return !script_.empty();
    }
    int WaitReadable(int milliseconds) override {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return !open_ || !script_.empty(); });
        if (!open_) return -1;
        return script_.empty() ? 0 : 1;
    }
    int Write(const char* data, int length) override {
        std::lock_guard lock(mutex_);
        if (!open_) return -1;
        writes_.emplace_back(data, static_cast<std::size_t>(length));
        return length;
    }
    bool Connect(const BoxAddress&, std::string& error) override {
        std::lock_guard lock(mutex_);
        if (refusalsLeft_ > 0) {
            --refusalsLeft_;
            error = "Unable to Connect";
            return false;
        }
        ++connects_;
        open_ = true;
        SetClosedOnRequest(false);
        return true;
    }
    bool IsOpen() const override {
        std::lock_guard lock(mutex_);
        return open_;
    }

private:
    struct Item {
        bool drop = false;
        std::string line;
    };
    void Add(Item item) {
        {
            std::lock_guard lock(mutex_);
            script_.push_back(std::move(item));
        }
        wake_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> script_;
    std::vector<std::string> writes_;
    bool open_ = false;
    int refusalsLeft_ = 0;
    int connects_ = 0;
};

}  // namespace winorvex::test

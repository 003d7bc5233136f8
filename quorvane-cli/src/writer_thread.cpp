#include "writer_thread.hpp"

#include <cstdint>
#include <span>
#include <system_error>
#include <utility>

namespace quorvane {

WriterThread::WriterThread(const Sink& sink, std::size_t limit) : sink_(sink), limit_(limit) {
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // The system lets no more threads start: the texts are handed on as they are taken.
    }
}

WriterThread::~WriterThread() {
    stop();
}

void WriterThread::stop() {
    if (thread_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
}

void WriterThread::take(std::string text) {
    if (!thread_.joinable()) {
        // After a failure the texts are dropped, as on the thread.
        if (!failure_) {
            failure_ = hand_on(text);
        }
        return;
    }
    std::unique_lock lock(mutex_);
    // A text larger than the limit still goes, alone.
    changed_.wait(lock, [&] { return waiting_bytes_ < limit_ || failure_; });
    if (failure_) {
        return;
    }
    waiting_bytes_ += text.size();
    waiting_.push_back(std::move(text));
    lock.unlock();
    changed_.notify_all();
}

std::exception_ptr WriterThread::hand_on(const std::string& text) {
    try {
        sink_(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

void WriterThread::finish() {
    stop();
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void WriterThread::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !waiting_.empty() || closed_; });
        if (waiting_.empty()) {
            return;
        }
        std::string text = std::move(waiting_.front());
        waiting_.pop_front();
        const std::size_t size = text.size();
        lock.unlock();
        if (std::exception_ptr thrown = hand_on(text)) {
            lock.lock();
            failure_ = std::move(thrown);
            waiting_.clear();
            waiting_bytes_ = 0;
            changed_.notify_all();
            return;
        }
        // The text is freed before the lock is taken again, away from the producer's path.
        text = std::string();
        lock.lock();
        waiting_bytes_ -= size;
        changed_.notify_all();
    }
}

} // namespace quorvane

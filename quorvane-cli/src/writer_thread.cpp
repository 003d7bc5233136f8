#include "writer_thread.hpp"

#include <cstdint>
#include <span>
#include <utility>

namespace quorvane {

WriterThread::WriterThread(const Sink& sink, std::size_t limit)
    : sink_(sink), limit_(limit), thread_([this] { run(); }) {}

WriterThread::~WriterThread() {
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

void WriterThread::finish() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    thread_.join();
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
        try {
            sink_(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
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

// A sink fed from a thread of its own, so that writing a file overlaps making its text.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "file_io.hpp"

namespace quorvane {

// Hands texts to a sink in the order they are taken, from another thread: the system's
// copying of the bytes runs while the next ones are made. At most `limit` bytes wait; `take`
// waits past that, so memory stays bounded however slow the sink. When no thread can start,
// `take` hands each text on itself.
class WriterThread {
  public:
    WriterThread(const Sink& sink, std::size_t limit);
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;
    // Whatever was taken is handed on first.
    ~WriterThread();

    void take(std::string text);
    // Waits until everything taken is handed on; what the sink threw is thrown here.
    void finish();

  private:
    void run();
    // Closes the queue and waits for the thread to write what it holds.
    void stop();
    // The text to the sink; what it threw, if anything.
    std::exception_ptr hand_on(const std::string& text);

    const Sink& sink_;
    std::size_t limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> waiting_;
    std::size_t waiting_bytes_ = 0;
    bool closed_ = false;
    std::exception_ptr failure_; // the sink's; what is taken after it is dropped
    // Started once everything it reads stands; not joinable when it could not start.
    std::thread thread_;
};

} // namespace quorvane

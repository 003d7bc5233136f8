#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <span>
#include <string>

#include "writer_thread.hpp"

namespace {

// Texts reach the sink in order and whole, many more of them than may wait at once, also when
// the taker leaves without finishing (as when making the text threw).
TEST(WriterThread, HandsOnEveryTextInOrder) {
    std::string joined;
    const quorvane::Sink sink = [&](std::span<const std::uint8_t> bytes) {
        joined.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    std::string expected;
    for (const bool finished : {true, false}) {
        joined.clear();
        expected.clear();
        {
            quorvane::WriterThread writer(sink, 16);
            for (int i = 0; i < 2000; ++i) {
                std::string text = std::to_string(i) + (i % 7 == 0 ? std::string(40, '.') : ",");
                expected += text;
                writer.take(std::move(text));
            }
            if (finished) {
                writer.finish();
            }
        }
        EXPECT_EQ(joined, expected) << finished;
    }
}

// A sink that throws stops the writing; the taker learns of it when it finishes.
TEST(WriterThread, SinkFailureComesBackAtFinish) {
    int calls = 0;
    const quorvane::Sink sink = [&](std::span<const std::uint8_t>) {
        if (++calls == 3) {
            throw std::bad_alloc();
        }
    };
    quorvane::WriterThread writer(sink, 4);
    for (int i = 0; i < 100; ++i) {
        writer.take("text");
    }
    EXPECT_THROW(writer.finish(), std::bad_alloc);
    EXPECT_EQ(calls, 3);
}

} // namespace

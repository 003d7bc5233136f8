#include <string>

#include <gtest/gtest.h>

#include "sha256/sha256.hpp"

namespace {

using quorvane_dsl::sha256::Sha256;
using quorvane_dsl::sha256::to_hex;

quorvane_dsl::sha256::Digest sha(std::string_view data) {
    Sha256 state;
    state.update(data);
    return state.finish();
}

TEST(Sha256, StandardVectorsAcrossPaddingBoundaries) {
    EXPECT_EQ(to_hex(sha("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(to_hex(sha("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(to_hex(sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const std::pair<std::size_t, const char*> lengths[] = {
        {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {65, "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [length, hex] : lengths) {
        EXPECT_EQ(to_hex(sha(std::string(length, 'a'))), hex) << length;
    }
}

TEST(Sha256, PiecewiseUpdatesMatchOneCall) {
    std::string message;
    for (int i = 0; i < 300; ++i) {
        message += static_cast<char>(i * 7);
    }
    const std::string whole = to_hex(sha(message));
    for (std::size_t step : {1, 3, 63, 64, 65, 200}) {
        Sha256 state;
        for (std::size_t at = 0; at < message.size(); at += step) {
            state.update(std::string_view(message).substr(at, step));
        }
        state.update("");
        EXPECT_EQ(to_hex(state.finish()), whole) << step;
    }
}

TEST(Sha256, HexKeepsLeadingZeros) {
    quorvane_dsl::sha256::Digest digest{};
    digest[0] = 0x0a;
    digest[31] = 0xf0;
    EXPECT_EQ(to_hex(digest), "0a" + std::string(60, '0') + "f0");
}

} // namespace

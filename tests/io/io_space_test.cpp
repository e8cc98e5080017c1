#include "machine/io/backplane.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace orvo::io {
namespace {

// Latches the last byte written; counts buffered calls to show they arrive in one piece.
struct Latch : PortDevice {
    std::uint32_t value = 0x5A;
    int buffer_calls = 0;
    std::uint32_t port_read(std::uint16_t, unsigned) override { return value; }
    void port_write(std::uint16_t, std::uint32_t v, unsigned) override { value = v; }
    void port_read_buffer(std::uint16_t, void* dst, std::uint32_t count, unsigned width) override {
        ++buffer_calls;
        std::memset(dst, int(value), std::size_t(count) * width);
    }
};

struct IoSpaceTest : ::testing::Test {
    Backplane bp;
    Latch latch;
    std::vector<std::string> trace;
    void SetUp() override {
        bp.ports.map(0x290, 16, &latch);
        bp.ports.set_trace([this](std::string_view line) { trace.emplace_back(line); });
    }
};

TEST_F(IoSpaceTest, TraceLinesHaveTheToolShape) {
    bp.ports.write8(0x293, 0x43);
    latch.value = 0x87;
    bp.ports.read8(0x294);
    bp.ports.read(0xcfc, 4);
    bp.ports.write(0x294, 0x1234, 2);
    std::uint8_t buf[128];
    bp.ports.read_buffer(0x294, buf, 128, 1);
    std::uint32_t words[32] = {};
    bp.ports.write_buffer(0x294, words, 32, 4);
    bp.ports.write_buffer(0x294, words, 1, 2);
    EXPECT_EQ(trace, (std::vector<std::string>{"W8 0293 43", "R8 0294 87", "R32 0cfc ffffffff",
                                               "W16 0294 1234", "RS8 0294 #128", "WS32 0294 #32",
                                               "WS16 0294 #1"}));
}

TEST_F(IoSpaceTest, UnclaimedPortsReadAllOnesAtEveryWidth) {
    EXPECT_EQ(bp.ports.read(0x3e0, 1), 0xFFu);
    EXPECT_EQ(bp.ports.read(0x3e0, 2), 0xFFFFu);
    EXPECT_EQ(bp.ports.read(0x3e0, 4), 0xFFFFFFFFu);
    EXPECT_EQ(bp.ports.read(0x12345, 1), 0xFFu); // beyond 64 Ki ports
    std::uint8_t buf[4] = {};
    bp.ports.read_buffer(0x3e0, buf, 4, 1);
    EXPECT_EQ(buf[3], 0xFF);
}

TEST_F(IoSpaceTest, EveryAccessCostsOneCyclePerElementAndBuffersArriveInOneCall) {
    bp.ports.read8(0x290);
    EXPECT_EQ(bp.clock.now(), kMicrosecond);
    std::uint32_t words[32];
    bp.ports.read_buffer(0x294, words, 32, 4);
    EXPECT_EQ(bp.clock.now(), 33 * kMicrosecond);
    EXPECT_EQ(latch.buffer_calls, 1);
    bp.ports.set_cycle(250);
    bp.ports.write8(0x290, 1);
    EXPECT_EQ(bp.clock.now(), 33 * kMicrosecond + 250);
}

TEST_F(IoSpaceTest, OverlappingClaimsAreRefused) {
    Latch other;
    EXPECT_THROW(bp.ports.map(0x29f, 2, &other), std::invalid_argument);
    EXPECT_NO_THROW(bp.ports.map(0x2a0, 2, &other));
    bp.ports.unmap(0x290, 16);
    EXPECT_NO_THROW(bp.ports.map(0x29f, 1, &other));
}

TEST(MemorySpaceTest, MapsInsideTheSpaceOnly) {
    MemorySpace memory;
    ASSERT_NE(memory.map(0xD4000, 0x1000), nullptr);
    memory.map(0xD4000, 1)[0] = 0x42;
    EXPECT_EQ(memory.data()[0xD4000], 0x42);
    EXPECT_EQ(memory.map(MemorySpace::kSize - 0x800, 0x1000), nullptr);
    EXPECT_EQ(memory.map(0xFFFFFFFFull, 1), nullptr);
}

} // namespace
} // namespace orvo::io

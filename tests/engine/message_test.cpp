// MESSAGE IN: what the driver answers to each kind of message a target may send in the
// middle of a command, including malformed and oversized ones.
#include "engine_fixture.h"

#include <algorithm>

namespace orvo::engine_test {
namespace {

using namespace chip_reg;
using scsi::Phase;
using scsi::ScriptStep;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kTarget = 5;

struct MessageCase {
    const char* name;
    Bytes message;  // sent after the command
    Bytes reply;    // the driver's MESSAGE OUT in answer; empty: none
};

Bytes extended(std::size_t announced, std::size_t sent) {
    Bytes m{0x01, std::uint8_t(announced)};
    for (std::size_t i = 0; i < sent; ++i) m.push_back(std::uint8_t(0xA0 + i));
    return m;
}

const MessageCase kCases[] = {
    {"SaveDataPointer", {0x02}, {}},
    {"RestorePointers", {0x03}, {}},
    {"MessageReject", {0x07}, {}},
    {"NoOperation", {0x08}, {0x07}},
    {"Identify", {0x80}, {0x07}},
    {"IdentifyWithBit5Set", {0xA5}, {0x07}},
    {"TwoByteMessage", {0x23, 0x05}, {0x07}},
    {"WideTransferRequest", {0x01, 0x02, 0x03, 0x01}, {0x07}},
    {"SdtrOfWrongLength", {0x01, 0x02, 0x01, 0x19}, {0x07}},
    {"ExtendedOf20Bytes", extended(20, 20), {0x07}},
    {"ExtendedOfLength0Is256Bytes", extended(0, 256), {0x07}},
    {"BrokenOffByAPhaseChange", {0x01, 0x03}, {}},
};

class MessageInTest : public EngineTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageInTest, IsAnsweredAsItsKindRequires) {
    const MessageCase& c = GetParam();
    std::vector<ScriptStep> script{ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 6),
                                   ScriptStep::send(Phase::MessageIn, c.message)};
    if (!c.reply.empty()) script.push_back(ScriptStep::receive(Phase::MessageOut, std::uint32_t(c.reply.size())));
    script.push_back(ScriptStep::send(Phase::Status, {0x00}));
    script.push_back(ScriptStep::send(Phase::MessageIn, {0x00}));
    script.push_back(ScriptStep::release());
    auto& target = add_scripted(kTarget, script);
    adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kTarget] = 1; };
    boot();
    mark();

    const auto r = run(test_unit_ready(kTarget));
    EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_TRUE(target.finished());
    const auto commands = written(0, kCommand);
    const bool atn_raised = std::find(commands.begin(), commands.end(), 0x1Au) != commands.end();
    EXPECT_EQ(atn_raised, !c.reply.empty());
    if (!c.reply.empty()) {
        ASSERT_EQ(target.received().size(), 3u);
        EXPECT_EQ(target.received()[2], c.reply);
    }
    // MESSAGE REJECT from the target drops ATN; nothing else answers it
    if (c.message == Bytes{0x07}) {
        EXPECT_NE(std::find(commands.begin(), commands.end(), 0x1Bu), commands.end());
    }
    EXPECT_TRUE(host().logged_errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Messages, MessageInTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvo::engine_test

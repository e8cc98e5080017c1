#pragma once
// What an initiator sent in one MESSAGE OUT phase, split into its messages as every target
// reads them: IDENTIFY (bit 7 set), extended messages (0x01, a length byte where 0 means 256,
// then the body), two-byte messages (0x20-0x2F) and one-byte messages.

#include "machine/scsi/protocol.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvo::scsi {

enum class MessageForm : std::uint8_t { OneByte, Identify, TwoByte, Extended, CutShort };

struct InitiatorMessage {
    MessageForm form = MessageForm::OneByte;
    std::uint8_t code = 0;               // the first byte
    std::span<const std::uint8_t> body;  // Extended: the bytes after the length; TwoByte: the second
};

// The message at pos; pos moves past it. A message the phase ended before its last byte (ATN
// dropped early) is CutShort and takes the rest of the bytes.
inline InitiatorMessage next_initiator_message(std::span<const std::uint8_t> bytes, std::size_t& pos) {
    const std::uint8_t code = bytes[pos];
    const std::size_t after_code = bytes.size() - pos - 1;
    const auto take = [&](MessageForm form, std::size_t skip, std::size_t body_length) {
        const InitiatorMessage m{form, code, bytes.subspan(pos + 1 + skip, body_length)};
        pos += 1 + skip + body_length;
        return m;
    };
    if ((code & message::kIdentify) != 0) return take(MessageForm::Identify, 0, 0);
    if (code == message::kExtended) {
        if (after_code == 0) return take(MessageForm::CutShort, 0, 0);
        const std::size_t length = bytes[pos + 1] == 0 ? 256 : bytes[pos + 1];
        if (length > after_code - 1) return take(MessageForm::CutShort, 0, after_code);
        return take(MessageForm::Extended, 1, length);
    }
    if (code >= message::kTwoByteFirst && code <= message::kTwoByteLast) {
        return take(after_code == 0 ? MessageForm::CutShort : MessageForm::TwoByte, 0, after_code == 0 ? 0 : 1);
    }
    return take(MessageForm::OneByte, 0, 0);
}

} // namespace orvo::scsi

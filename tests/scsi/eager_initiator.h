#pragma once
// An initiator at the level of the bus, without a chip: it selects with ATN, sends IDENTIFY,
// then answers whatever the target asks at once (command bytes, data both ways, status,
// every message byte, every reselection), and keeps its data pointer by the SCSI rules
// (SAVE DATA POINTER, RESTORE POINTERS, the restore implied by a reselection). Each data-in
// byte is checked against what the test expects at the pointer's position, so the pointer
// bookkeeping of a target can be tested without any driver in between.

#include "machine/scsi/bus.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace orvo::test {

class EagerInitiator final : public scsi::Initiator {
public:
    static constexpr std::uint8_t kOwnId = 7;

    explicit EagerInitiator(scsi::ScsiBus& bus) : bus_(bus) { bus_.attach_initiator(this); }
    ~EagerInitiator() {
        if (event_ != 0) bus_.clock().cancel(event_);
        bus_.attach_initiator(nullptr);
    }
    EagerInitiator(const EagerInitiator&) = delete;
    EagerInitiator& operator=(const EagerInitiator&) = delete;

    // The byte a data-in transfer should carry at a position of the data pointer, if known.
    using Expected = std::function<std::optional<std::uint8_t>(std::uint64_t position)>;

    void start(std::uint8_t target, std::uint8_t lun, std::vector<std::uint8_t> cdb,
               std::vector<std::uint8_t> data_out = {}, Expected expected = {}) {
        target_ = target;
        lun_ = lun;
        cdb_ = std::move(cdb);
        data_out_ = std::move(data_out);
        expected_ = std::move(expected);
        position_ = saved_ = 0;
        cdb_sent_ = 0;
        identify_sent_ = false;
        message_.clear();
        completed_ = false;
        data_in_bytes_ = wrong_bytes_ = 0;
        bus_.initiator_arbitrate(kOwnId);
    }

    // Of the last command: COMMAND COMPLETE seen, data-in bytes taken, and how many of them
    // differ from what was expected at their position.
    bool completed() const { return completed_; }
    std::uint64_t data_in_bytes() const { return data_in_bytes_; }
    std::uint64_t wrong_bytes() const { return wrong_bytes_; }
    std::uint64_t resets() const { return resets_; }

    // scsi::Initiator
    void bus_changed() override { react_soon(); }
    void arbitration_won() override { bus_.select(kOwnId, target_, true); }
    bool answer_reselection(std::uint8_t, std::uint8_t) override {
        position_ = saved_;  // a reselection restores the pointers
        message_.clear();
        return true;
    }
    void bus_reset_seen() override { ++resets_; }

private:
    // Answers from a clock event of its own, so that no call goes back into the target while
    // the target is offering.
    void react_soon() {
        if (event_ != 0) return;
        event_ = bus_.clock().schedule_in(100, [this] {
            event_ = 0;
            react();
        });
    }

    void react() {
        if (!bus_.connected() || !bus_.req()) return;
        const io::Nanoseconds now = bus_.clock().now();
        const std::uint32_t left = bus_.offer_left();
        if (bus_.phase() != scsi::Phase::MessageIn) message_.clear();  // a message broken off
        switch (bus_.phase()) {
        case scsi::Phase::MessageOut: {
            const std::uint8_t byte = identify_sent_ ? std::uint8_t{0x08} : std::uint8_t(0x80 | lun_);  // then NOP
            identify_sent_ = true;
            bus_.set_atn(false);
            bus_.give(&byte, 1, now);
            break;
        }
        case scsi::Phase::Command: {
            std::vector<std::uint8_t> bytes(left, 0);
            for (std::uint32_t i = 0; i < left && cdb_sent_ + i < cdb_.size(); ++i) bytes[i] = cdb_[cdb_sent_ + i];
            cdb_sent_ += bus_.give(bytes.data(), left, now);
            break;
        }
        // A data phase against the command's direction moves no pointer: zeros go out, what
        // comes in is dropped.
        case scsi::Phase::DataOut: {
            std::vector<std::uint8_t> bytes(left, 0);
            for (std::uint32_t i = 0; i < left && position_ + i < data_out_.size(); ++i) bytes[i] = data_out_[position_ + i];
            const std::uint32_t n = bus_.give(bytes.data(), left, now);
            if (!data_out_.empty()) position_ += n;
            break;
        }
        case scsi::Phase::DataIn: {
            std::vector<std::uint8_t> bytes(left);
            const std::uint32_t n = bus_.take(bytes.data(), left, now, nullptr);
            if (!data_out_.empty()) break;
            for (std::uint32_t i = 0; i < n; ++i) {
                const auto want = expected_ ? expected_(position_ + i) : std::nullopt;
                if (want && *want != bytes[i]) ++wrong_bytes_;
            }
            position_ += n;
            data_in_bytes_ += n;
            break;
        }
        case scsi::Phase::Status: {
            std::uint8_t status = 0;
            bus_.take(&status, 1, now, nullptr);
            break;
        }
        case scsi::Phase::MessageIn: {
            std::uint8_t byte = 0;
            bus_.take(&byte, 1, now, nullptr);
            message_byte(byte);
            bus_.release_ack(now);
            break;
        }
        }
        react_soon();  // the target may go on in the same phase
    }

    // Collects one message; a message broken off by another phase is dropped there.
    void message_byte(std::uint8_t byte) {
        message_.push_back(byte);
        const std::uint8_t first = message_[0];
        std::size_t whole = 1;
        if (first == 0x01) {
            whole = message_.size() < 2 ? 2 : 2 + (message_[1] == 0 ? 256 : message_[1]);
        } else if (first >= 0x20 && first <= 0x2F) {
            whole = 2;
        }
        if (message_.size() < whole) return;
        if (first == 0x02) saved_ = position_;
        if (first == 0x03) position_ = saved_;
        if (first == 0x00) completed_ = true;
        message_.clear();
    }

    scsi::ScsiBus& bus_;
    io::VirtualClock::EventId event_ = 0;
    std::uint8_t target_ = 0;
    std::uint8_t lun_ = 0;
    std::vector<std::uint8_t> cdb_;
    std::vector<std::uint8_t> data_out_;
    Expected expected_;
    std::size_t cdb_sent_ = 0;
    bool identify_sent_ = false;
    std::uint64_t position_ = 0;
    std::uint64_t saved_ = 0;
    std::vector<std::uint8_t> message_;
    bool completed_ = false;
    std::uint64_t data_in_bytes_ = 0;
    std::uint64_t wrong_bytes_ = 0;
    std::uint64_t resets_ = 0;
};

} // namespace orvo::test

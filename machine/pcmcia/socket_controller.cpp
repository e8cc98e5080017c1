#include "machine/pcmcia/socket_controller.h"

#include <stdexcept>
#include <string>

namespace orvo::pcmcia {

using C = SocketController;
const SocketController::RegisterRow SocketController::kRegisterMap[] = {
    // first, last, name, read, peek, write
    {reg::kIdRevision, reg::kIdRevision, "ID_REVISION", &C::id_revision_r, nullptr, &C::ignored_w},
    {reg::kInterfaceStatus, reg::kInterfaceStatus, "INTERFACE_STATUS", &C::interface_status_r, nullptr, &C::ignored_w},
    {reg::kPowerControl, reg::kPowerControl, "POWER_CONTROL", &C::stored_r, nullptr, &C::control_w},
    {reg::kInterruptControl, reg::kInterruptControl, "INTERRUPT_CONTROL", &C::stored_r, nullptr, &C::control_w},
    {reg::kCardStatusChange, reg::kCardStatusChange, "CARD_STATUS_CHANGE", &C::card_status_change_r,
     &C::card_status_change_peek, &C::ignored_w},
    {reg::kStatusChangeConfig, reg::kStatusChangeConfig, "STATUS_CHANGE_CONFIG", &C::stored_r, nullptr, &C::stored_w},
    {reg::kWindowEnable, reg::kWindowEnable, "WINDOW_ENABLE", &C::stored_r, nullptr, &C::control_w},
    {reg::kIoControl, reg::kIoControl, "IO_CONTROL", &C::stored_r, nullptr, &C::stored_w},
    {reg::kIo0StartLow, reg::kIo0StartLow + 3, "IO_WINDOW_0", &C::stored_r, nullptr, &C::control_w},
    {reg::kIo1StartLow, reg::kIo1StartLow + 3, "IO_WINDOW_1", &C::stored_r, nullptr, &C::control_w},
    {reg::kMem0StartLow, reg::kMem0OffsetHigh, "MEM_WINDOW_0", &C::stored_r, nullptr, &C::control_w},
    // Memory windows 1-4 and the rest of the block: kept, not acted on.
    {0x16, reg::kBlockSize - 1, "STORED", &C::stored_r, nullptr, &C::stored_w},
};

const SocketController::RegisterRow* SocketController::row(std::uint8_t reg) {
    for (const RegisterRow& r : kRegisterMap) {
        if (reg >= r.first && reg <= r.last) return &r;
    }
    return nullptr;
}

const char* SocketController::register_name(std::uint8_t reg) {
    const RegisterRow* r = row(reg % reg::kBlockSize);
    return r != nullptr ? r->name : "-";
}

SocketController::SocketController(io::MemorySpace& memory, ControllerConfig config)
    : config_(config), overlay_(memory) {
    if (config_.sockets < 1 || config_.sockets > kMaxSockets) {
        throw std::invalid_argument("a socket controller has 1 to 8 sockets, not " + std::to_string(config_.sockets));
    }
    if (std::uint32_t{config_.port} + port_count() > io::IoSpace::kPorts) {
        throw std::invalid_argument("the socket controller's ports would leave the I/O space");
    }
    for (unsigned n = 0; n < config_.sockets; ++n) sockets_.push_back(std::make_unique<Socket>());
}

SocketController::~SocketController() {
    if (ports_ != nullptr) ports_->unmap(config_.port, port_count());
}

void SocketController::attach(io::IoSpace& ports) {
    ports.map(config_.port, port_count(), this);
    ports_ = &ports;
}

void SocketController::detach() {
    if (ports_ == nullptr) return;
    overlay_.write_back();
    overlay_.clear();
    ports_->unmap(config_.port, port_count());
    ports_ = nullptr;
}

void SocketController::insert_card(unsigned socket, PcCard& card) {
    if (socket >= sockets_.size()) {
        throw std::out_of_range("socket " + std::to_string(socket) + " of a controller with " +
                                std::to_string(sockets_.size()) + " sockets");
    }
    if (sockets_[socket]->card() != nullptr) {
        throw std::logic_error("socket " + std::to_string(socket) + " already holds a card");
    }
    overlay_.write_back();
    sockets_[socket]->insert(card);
    settle();
}

void SocketController::remove_card(unsigned socket) {
    overlay_.write_back();
    sockets_.at(socket)->remove();
    settle();
}

PcCard* SocketController::card(unsigned socket) const {
    return socket < sockets_.size() ? sockets_[socket]->card() : nullptr;
}

void SocketController::system_reset() {
    overlay_.write_back();
    for (auto& s : sockets_) s->system_reset();
    settle();
}

void SocketController::remove() {
    if (removed_) return;
    removed_ = true;
    accesses_until_removal_ = 0;
    overlay_.write_back();
    for (auto& s : sockets_) s->lose_controller();
    overlay_.clear();
    if (ports_ != nullptr) ports_->unmap(config_.port, port_count());
    ports_ = nullptr;
}

void SocketController::remove_after(std::uint64_t accesses) {
    if (accesses == 0) {
        remove();
    } else if (!removed_) {
        accesses_until_removal_ = accesses;
    }
}

void SocketController::sync_memory() {
    if (overlay_.write_back()) settle();
}

void SocketController::settle() {
    std::vector<OverlayWindow> windows;
    for (auto& s : sockets_) {
        s->step();
        if (const auto w = s->memory_window()) windows.push_back({w->first, w->last, s.get()});
    }
    overlay_.show(windows);
}

Socket* SocketController::addressed(unsigned pair) const {
    const unsigned socket = pair * kSocketsPerPair + index_[pair] / reg::kBlockSize;
    return socket < sockets_.size() ? sockets_[socket].get() : nullptr;
}

std::uint8_t SocketController::peek(unsigned socket, std::uint8_t reg) const {
    Socket& s = *sockets_.at(socket);
    const RegisterRow* r = row(reg % reg::kBlockSize);
    return (this->*(r->peek != nullptr ? r->peek : r->read))(s, reg % reg::kBlockSize);
}

std::uint8_t SocketController::card_status_change_r(Socket& s, std::uint8_t) const {
    const std::uint8_t changes = s.status_changes();
    s.clear_status_changes();
    return changes;
}

void SocketController::control_w(Socket& s, std::uint8_t reg, std::uint8_t value) {
    s.set_reg(reg, value);
    settle();
}

std::uint8_t SocketController::read_byte(std::uint16_t port) {
    const unsigned offset = port - config_.port;
    const unsigned pair = offset / 2;
    if ((offset & 1) == 0) return index_[pair];
    Socket* s = addressed(pair);
    if (s == nullptr) return 0xFF;
    const std::uint8_t reg = index_[pair] % reg::kBlockSize;
    return (this->*row(reg)->read)(*s, reg);
}

void SocketController::write_byte(std::uint16_t port, std::uint8_t value) {
    const unsigned offset = port - config_.port;
    const unsigned pair = offset / 2;
    if ((offset & 1) == 0) {
        index_[pair] = value;
        return;
    }
    Socket* s = addressed(pair);
    if (s == nullptr) return;
    const std::uint8_t reg = index_[pair] % reg::kBlockSize;
    (this->*row(reg)->write)(*s, reg, value);
}

// Every access first passes on what the processor wrote into open windows: the card sees a
// register write before anything the driver does next through the controller.
std::uint32_t SocketController::port_read(std::uint16_t port, unsigned width) {
    sync_memory();
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        const unsigned p = port + i;
        const bool ours = p >= config_.port && p < config_.port + port_count();
        value |= std::uint32_t{ours ? read_byte(static_cast<std::uint16_t>(p)) : std::uint8_t{0xFF}} << (8 * i);
    }
    count_access();
    return value;
}

void SocketController::port_write(std::uint16_t port, std::uint32_t value, unsigned width) {
    sync_memory();
    for (unsigned i = 0; i < width; ++i) {
        const unsigned p = port + i;
        if (p >= config_.port && p < config_.port + port_count()) {
            write_byte(static_cast<std::uint16_t>(p), static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    count_access();
}

} // namespace orvo::pcmcia

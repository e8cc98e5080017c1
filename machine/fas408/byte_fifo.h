#pragma once
// A byte ring of N (a power of two) bytes with bulk reads and writes that copy each byte once.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace orvo::fas408 {

template <std::size_t N>
class ByteFifo {
    static_assert(N > 0 && (N & (N - 1)) == 0, "ring size must be a power of two");

public:
    std::size_t size() const { return size_; }
    std::size_t room() const { return N - size_; }
    bool empty() const { return size_ == 0; }
    void clear() { head_ = size_ = 0; }

    bool push(std::uint8_t b) {
        if (size_ == N) return false;
        buf_[(head_ + size_) & (N - 1)] = b;
        ++size_;
        return true;
    }
    std::uint8_t peek(std::size_t i = 0) const { return i < size_ ? buf_[(head_ + i) & (N - 1)] : 0xFF; }

    // Contiguous readable bytes at the front / writable bytes at the back.
    std::span<const std::uint8_t> front_span() const {
        return {buf_.data() + head_, std::min(size_, N - head_)};
    }
    void consume(std::size_t n) {
        head_ = (head_ + n) & (N - 1);
        size_ -= n;
    }
    std::span<std::uint8_t> back_span() {
        const std::size_t tail = (head_ + size_) & (N - 1);
        return {buf_.data() + tail, std::min(N - size_, N - tail)};
    }
    void commit(std::size_t n) { size_ += n; }

    std::size_t read(std::uint8_t* dst, std::size_t n) {
        n = std::min(n, size_);
        for (std::size_t done = 0; done < n;) {
            const auto span = front_span();
            const std::size_t k = std::min(span.size(), n - done);
            std::memcpy(dst + done, span.data(), k);
            consume(k);
            done += k;
        }
        return n;
    }
    std::size_t write(const std::uint8_t* src, std::size_t n) {
        n = std::min(n, room());
        for (std::size_t done = 0; done < n;) {
            const auto span = back_span();
            const std::size_t k = std::min(span.size(), n - done);
            std::memcpy(span.data(), src + done, k);
            commit(k);
            done += k;
        }
        return n;
    }

private:
    std::array<std::uint8_t, N> buf_{};
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

} // namespace orvo::fas408

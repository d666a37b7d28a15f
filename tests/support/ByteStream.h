// Bulk bytes through a descriptor: a repeatable pseudo-random pattern, and
// writing all of it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <unistd.h>
#include <vector>

inline std::vector<std::uint8_t> Pattern(std::size_t count, unsigned seed = 1)
{
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

// Writes everything, waiting for room when the descriptor is full; false when
// the descriptor fails.
inline bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, -1);
        const ssize_t n = write(fd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<std::size_t>(n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return false;
        }
    }
    return true;
}

#include "ReaderBytes.h"

#include <termios.h>

namespace sim {

TReaderModes ReaderModes(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0) return {};
    return {(t.c_lflag & EXTPROC) != 0, (t.c_iflag & PARMRK) != 0, (t.c_iflag & INPCK) != 0, (t.c_iflag & IGNPAR) != 0,
            (t.c_iflag & ISTRIP) != 0};
}

std::vector<std::uint8_t> ForReader(const std::vector<std::uint8_t>& bytes, const std::vector<std::size_t>& bad,
                                    const TReaderModes& modes)
{
    if (!modes.asWritten) return bytes;  // n_tty does the driver's part
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size() + bad.size() * 2);
    auto next = bad.begin();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        if (next != bad.end() && *next == i) {
            ++next;
            if (!modes.check) {
                out.push_back(b);
            } else if (modes.ignore) {
                continue;
            } else if (modes.mark) {
                out.insert(out.end(), {0xFF, 0x00, b});
            } else {
                out.push_back(0x00);
            }
            continue;
        }
        // n_tty strips before it doubles, so a stripped FF is 7F and single.
        if (b == 0xFF && modes.mark && !modes.strip) out.push_back(b);
        out.push_back(b);
    }
    return out;
}

}  // namespace sim

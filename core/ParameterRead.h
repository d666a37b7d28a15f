// The read of a parameter page, item by item, through the command channel.
// Each read is put at the head of the queue and goes out as soon as the
// channel is free, so the commands queued wait until the page is read.
#pragma once

#include "CommandChannel.h"

#include <cstdint>
#include <optional>

class TParameterRead {
public:
    using TPlacement = std::optional<TCommandChannel::TPlacement>;

    // Read clicked on page `sheet` with `itemCount` items: the page is read
    // from item 1. A read of the old page that has not gone out yet is
    // dropped. Returns what was placed in `out`, if anything.
    TPlacement Start(int sheet, int itemCount, std::uint8_t unit, TCommandChannel& channel, TByteString& out);
    // The channel is free: the item waiting at the head of the queue, else
    // the next item of the page. Returns what was placed, as for Start.
    TPlacement Next(std::uint8_t unit, TCommandChannel& channel, TByteString& out);

    bool Running() const { return item_ != 0; }
    int Sheet() const { return sheet_; }
    std::uint32_t Item() const { return item_; }
    // The command placed is the read of the running sequence, not a command
    // that was already out when Read was clicked.
    bool IsRunningRead(std::uint8_t sentCmd, std::uint8_t sentIndex) const;

private:
    std::uint32_t item_ = 0;  // 0 when no read runs
    int sheet_ = 0;
    int itemCount_ = 0;
    bool waiting_ = false;  // the item waits at the head of the queue for the channel
};

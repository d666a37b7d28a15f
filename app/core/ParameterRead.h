// The read of a parameter page, item by item, through the command channel.
// Each read is put at the head of the queue and goes out as soon as the
// channel is free, so the commands queued wait until the page is read.
#pragma once

#include "CommandChannel.h"

#include <cstdint>

class TParameterRead {
public:
    // Read clicked on page `sheet` with `itemCount` items. A read of the old
    // page that has not gone out yet is dropped; the sequence goes on with
    // the next item number. True when the caller should place the head of
    // the queue now (SendNextCommand).
    bool Start(int sheet, int itemCount, std::uint8_t unit, TCommandChannel& channel, const TByteString& out);
    // The channel is free: the next item of the page. True as for Start.
    bool Next(std::uint8_t unit, TCommandChannel& channel, const TByteString& out);

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
    bool waiting_ = false;  // the next item waits at the head of the queue for the channel
};

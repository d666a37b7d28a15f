// The command channel inside the cyclic data, without any widget: the queue
// of commands, the one command in flight in the output bytes (Cmd, Index,
// Value), and the handshake that decides when the next one may go out.
//
//   Free      --SendNextCommand-->            Placed (Cmd != 0, pending)
//   Placed    --reply with a result-->        Taken back (Cmd 0, not pending)
//   Taken back--reply with Stat 00 or 80-->   Free (the next command goes out)
//
// A placed command that never gets its result is given up by the window
// (after a time-out, or when the link was lost and comes back), which also
// leads to "Taken back".
#pragma once

#include "CyclicData.h"
#include "base/ByteString.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

class TCommandChannel {
public:
    // What SendNextCommand put into the output bytes.
    struct TPlacement {
        std::uint8_t unit = 0;  // unit address the command was queued for
        std::string line;       // "Cmd(UU: b0 b1 ... b8 )" for the message memo
    };

    // What one received command channel did.
    struct TReplyOutcome {
        bool resultPresent = false;     // Stat other than 00 and 80
        bool resultForPending = false;  // ... and it answers the pending command
        bool channelFree = false;       // Stat 00/80, no Cmd out, nothing pending
    };

    // The index byte a command goes out with: its second byte, 0 for a
    // command of one byte.
    static std::uint8_t IndexOf(const TByteString& command) { return command.size() > 1 ? command[1] : 0; }

    // The last result and the last command placed, as the window shows them.
    std::uint8_t ResultStat = 0;
    std::uint8_t ResultIndex = 0;
    std::int32_t ResultValue = 0;
    std::uint8_t SentUnit = 0;
    std::uint8_t SentCmd = 0;
    std::uint8_t SentIndex = 0;
    std::int32_t SentValue = 0;

    // Appends an entry. True when it is the only one and nothing is pending,
    // that is when the caller should try SendNextCommand at once.
    bool QueueCommand(std::uint8_t unit, const TByteString& command);
    // Puts an entry at the head of the queue, ahead of the commands waiting.
    void QueueFirst(std::uint8_t unit, const TByteString& command);
    // Drops the head of the queue, if any.
    void DropFirst();
    // Drops the first waiting entry that is `command` for `unit`; false when
    // none waits (it may have been placed already).
    bool Drop(std::uint8_t unit, const TByteString& command);
    // Drops every waiting command (not the one placed).
    void Clear();

    bool Pending() const { return pending_; }
    bool QueueEmpty() const { return queue_.empty(); }
    std::size_t QueueSize() const { return queue_.size(); }
    // No command in the Cmd byte of `out` and none pending.
    bool Free(const TByteString& out) const;

    // Moves the head of the queue into `out` (the output data unit, its unit
    // address into byte 0) when the Cmd byte is 0, the queue is not empty,
    // nothing is pending and the channel was seen empty since the last result.
    // None when nothing was placed.
    std::optional<TPlacement> SendNextCommand(TByteString& out);

    // Takes the command channel of a Data_Exchange response; clears the Cmd
    // byte of `out` once a result is seen.
    TReplyOutcome TakeReply(const cyclic::TChannelReply& reply, TByteString& out);

    // Gives up the pending command: not pending any more and Cmd 0, so the
    // channel frees itself with the next reply that shows no result.
    // False when nothing was pending.
    bool GiveUp(TByteString& out);

    // Follows the master's reported state. True when a command that was still
    // pending as data exchange was left is pending now that it is entered
    // again: its result is not coming, and the caller gives it up.
    bool NoteMasterState(std::uint8_t state);

private:
    // Each entry: unit address byte, then the command bytes.
    std::deque<TByteString> queue_;
    bool pending_ = false;
    bool pendingAcrossLeave_ = false;
    // Set when the Cmd byte was taken back (result seen or given up) until a
    // reply shows the channel empty. A command queued in between waits: the
    // module acts on a Cmd byte that turns non-zero, so the next command must
    // not follow the last one without a Cmd 0 on the line in between, or a
    // repeated command would be answered with the previous, held result.
    bool awaitingFree_ = false;
    std::uint8_t lastState_ = 0;
};

#include "ParameterRead.h"

#include "SheetCommands.h"

TParameterRead::TPlacement TParameterRead::Start(int sheet, int itemCount, std::uint8_t unit, TCommandChannel& channel,
                                                 TByteString& out)
{
    if (waiting_) {
        channel.DropFirst();
        waiting_ = false;
    }
    sheet_ = sheet;
    itemCount_ = itemCount;
    item_ = 0;
    return Next(unit, channel, out);
}

TParameterRead::TPlacement TParameterRead::Next(std::uint8_t unit, TCommandChannel& channel, TByteString& out)
{
    if (!waiting_) {
        ++item_;
        const std::uint8_t code = sheetcmd::ReadCode(sheet_);
        if (code == 0 || item_ > static_cast<std::uint32_t>(itemCount_)) {
            item_ = 0;
            return std::nullopt;
        }
        channel.QueueFirst(unit, TByteString{code, static_cast<std::uint8_t>(item_)});
    }
    // The channel alone knows whether the item can go now; if not, it waits
    // at the head of the queue for the next free channel.
    TPlacement placed = channel.SendNextCommand(out);
    waiting_ = !placed;
    return placed;
}

bool TParameterRead::IsRunningRead(std::uint8_t sentCmd, std::uint8_t sentIndex) const
{
    const std::uint8_t code = sheetcmd::ReadCode(sheet_);
    return item_ != 0 && code != 0 && sentCmd == code && sentIndex == static_cast<std::uint8_t>(item_);
}

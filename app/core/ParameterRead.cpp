#include "ParameterRead.h"

#include "SheetCommands.h"

bool TParameterRead::Start(int sheet, int itemCount, std::uint8_t unit, TCommandChannel& channel,
                           const TByteString& out)
{
    if (waiting_) {
        channel.DropFirst();
        waiting_ = false;
    }
    sheet_ = sheet;
    itemCount_ = itemCount;
    return Next(unit, channel, out);
}

bool TParameterRead::Next(std::uint8_t unit, TCommandChannel& channel, const TByteString& out)
{
    if (waiting_) {
        // Read was clicked while a command was out; its first read goes now.
        waiting_ = false;
        return true;
    }
    ++item_;
    const std::uint8_t code = sheetcmd::ReadCode(sheet_);
    if (code == 0 || item_ > static_cast<std::uint32_t>(itemCount_)) {
        item_ = 0;
        return false;
    }
    const bool free = channel.Free(out);
    channel.QueueFirst(unit, TByteString{code, static_cast<std::uint8_t>(item_)});
    waiting_ = !free;
    return free;
}

bool TParameterRead::IsRunningRead(std::uint8_t sentCmd, std::uint8_t sentIndex) const
{
    const std::uint8_t code = sheetcmd::ReadCode(sheet_);
    return item_ != 0 && code != 0 && sentCmd == code && sentIndex == static_cast<std::uint8_t>(item_);
}

#include "CalibrationKeys.h"

#include "Int32Text.h"

#include <stdexcept>

namespace calkeys {

const TFnEntry& Entry(TKey key)
{
    for (const TFnEntry& entry : FunctionTable())
        if (entry.Position == key) return entry;
    throw std::logic_error("no function key at position " + std::to_string(key));
}

TByteString Read(TKey key) { return Entry(key).ClickCommand; }

namespace {

// The value command's code and index; CZ has none but its click's.
TByteString ValueCode(TKey key)
{
    TByteString command = Entry(key).ValueCommand;
    if (command.empty()) {
        command = Read(key);
        command.Truncate(2);
    }
    return command;
}

}  // namespace

TByteString ReadValue(TKey key)
{
    TByteString command = Read(CE);
    command[1] = ValueCode(key)[1];
    return command;
}

TByteString Write(TKey key, std::int32_t value)
{
    TByteString command = ValueCode(key);
    AppendInt32(command, value);
    return command;
}

TByteString ReadPoint(TKey key, int point)
{
    TByteString command = Read(key);
    command[1] |= static_cast<std::uint8_t>(point & 0x0F);
    return command;
}

TByteString WritePoint(TKey key, int point, std::int32_t value)
{
    TByteString command = Entry(key).ValueCommand;
    command[1] |= static_cast<std::uint8_t>(point & 0x0F);
    AppendInt32(command, value);
    return command;
}

TByteString ReadCounter()
{
    TByteString command = Read(CE);
    command[1] = 0x01;
    return command;
}

TCalibrationCommands Commands()
{
    return {[](TKey key) { return std::string(Entry(key).Caption); }, Read, ReadValue, Write, WritePoint, ReadCounter};
}

}  // namespace calkeys

#include "SlaveAddress.h"

#include "serial/VeltExcept.h"

std::int32_t ParseSlaveAddress(const std::string& text)
{
    const std::int32_t address = StrToInt(text);
    if (address < 0 || address > HighestSlaveAddress)
        throw EConvertError("'" + text + "' is not a valid PROFIBUS address (0 to " +
                            std::to_string(HighestSlaveAddress) + ")");
    return address;
}

// The parameter backup reader on any file text, against a small page layout
// of two pages.
#include "core/ParameterBackup.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<backup::TPageLayout> layout{
        {"Standard", {"Zero range (%)", "Power-up zero (%)", "Overload limit"}, 0x12, 0x1F},
        {"Trigger", {"Trigger level", "Trigger edge"}, 0x26, 0x26},
    };
    const backup::TRead read = backup::Read(std::string_view(reinterpret_cast<const char*>(data), size), layout);
    if (read.file) (void)backup::Write(*read.file);
    return 0;
}

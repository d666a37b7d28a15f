// The parameter backup reader on any file text, against the page layout of
// the shipped Quorvel.conf (so that the seed, a real module's backup, reads).
#include "core/ParameterBackup.h"
#include "module/core/ConfigFile.h"
#include "module/core/PageLayout.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string_view>

namespace {

std::vector<backup::TPageLayout> ShippedLayout()
{
    std::ifstream in(QUORVEL_SHIPPED_CONF, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return conf::PageLayoutOf(conf::SplitLines(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<backup::TPageLayout> layout = ShippedLayout();
    const backup::TRead read = backup::Read(std::string_view(reinterpret_cast<const char*>(data), size), layout);
    if (read.file) (void)backup::Write(*read.file);
    return 0;
}

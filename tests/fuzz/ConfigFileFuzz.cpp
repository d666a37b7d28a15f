// The Quorvel.conf reader on any text: the pages' plans and the backup layout
// built from them.
#include "module/core/ConfigFile.h"
#include "module/core/PageLayout.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const conf::TLines lines = conf::SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const conf::TSheetPlan& plan : conf::PlanSheets(lines, conf::PageCaptions())) (void)plan;
    (void)conf::PageLayoutOf(lines);
    for (const std::string& line : lines) (void)conf::RowCaption(1, conf::ItemText(line));
    return 0;
}

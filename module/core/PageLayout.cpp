#include "PageLayout.h"

#include "FunctionTable.h"
#include "core/SheetCommands.h"

#include <utility>

namespace conf {

const std::vector<std::string>& PageCaptions()
{
    static const std::vector<std::string> captions{"Standard", "Trigger", "Filling", "Mass flow"};
    return captions;
}

std::vector<backup::TPageLayout> PageLayoutOf(const TLines& lines)
{
    std::vector<backup::TPageLayout> layout;
    for (const TSheetPlan& plan : PlanSheets(lines, PageCaptions())) {
        backup::TPageLayout page;
        page.caption = PageCaptions()[static_cast<std::size_t>(plan.Page)];
        for (int i = 0; i < plan.ItemCount; ++i)
            page.items.push_back(ItemText(lines[static_cast<std::size_t>(plan.Header + 1 + i)]));
        page.readCode = sheetcmd::ReadCode(plan.Page);
        page.writeCode = PagePrefix(page.caption).value_or(0);
        layout.push_back(std::move(page));
    }
    return layout;
}

std::vector<TIdentityKey> IdentityKeys()
{
    static constexpr std::pair<int, const char*> keys[] = {{36, "device ID"}, {37, "software version"}};
    std::vector<TIdentityKey> identity;
    for (const TFnEntry& entry : FunctionTable())
        for (const auto& [position, name] : keys)
            if (entry.Position == position && entry.Used) identity.push_back({name, entry.ClickCommand});
    return identity;
}

}  // namespace conf

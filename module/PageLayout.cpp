#include "PageLayout.h"

#include "app/core/SheetCommands.h"

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

}  // namespace conf

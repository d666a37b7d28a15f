#include "Parameters.h"

#include <QCoreApplication>
#include <QDir>
#include <QTabWidget>

std::vector<std::string> TParameters::DefaultConfigCandidates()
{
    return conf::ConfigCandidates(QDir::currentPath().toStdString(),
                                  QCoreApplication::applicationDirPath().toStdString(), QUORVEL_INSTALLED_CONF);
}

TParameters::TParameters(QTabWidget* pageControl, const TMessageEvent& onMessage,
                         const std::vector<std::string>& candidates)
    : QObject(pageControl), PageControl(pageControl)
{
    const auto tell = [&onMessage](const std::string& text) {
        if (onMessage) onMessage(QString::fromStdString(text));
    };
    conf::TConfigLoad load = conf::LoadFirstConfig(candidates);
    for (const std::string& message : load.Messages) tell(message);
    Lines = std::move(load.Lines);
    FileName = QString::fromStdString(load.Path);

    std::vector<std::string> captions;
    for (int page = 0; page < pageControl->count(); ++page)
        captions.push_back(pageControl->tabText(page).toStdString());
    for (const conf::TSheetPlan& plan : conf::PlanSheets(Lines, captions)) {
        const QString caption = pageControl->tabText(plan.Page);
        Sheets[plan.Page] =
            new TParamSheet(pageControl->widget(plan.Page), caption, plan.ItemCount, plan.Header, Lines);
        ++SheetCount;
        if (plan.ListedItems > plan.ItemCount)
            tell("Page \"" + captions[plan.Page] + "\": " + std::to_string(plan.ListedItems) +
                 " items listed, only the first " + std::to_string(plan.ItemCount) + " are shown");
    }
}

TParameters::~TParameters()
{
    for (const QPointer<TParamSheet>& sheet : Sheets) delete sheet.data();
}

TParamSheet* TParameters::Sheet(int index) const
{
    return index >= 0 && index < conf::MaxSheets ? Sheets[index].data() : nullptr;
}

TFillCell* TParameters::Cell(int sheet, int item) const
{
    const TParamSheet* paramSheet = Sheet(sheet);
    return paramSheet ? paramSheet->Item(item) : nullptr;
}

void TParameters::UpdateItem(int sheet, std::uint8_t index, std::int32_t value)
{
    if (TFillCell* cell = Cell(sheet, index & 0x7F)) cell->ShowValue(value);
}

void TParameters::MarkItemUnavailable(int sheet, int item)
{
    if (TFillCell* cell = Cell(sheet, item)) cell->MarkUnavailable();
}

void TParameters::MarkItemNotRead(int sheet, int item)
{
    if (TFillCell* cell = Cell(sheet, item)) cell->MarkNotRead();
}

TFillCell* TParameters::CellOfEdit(const QWidget* widget) const
{
    for (const QPointer<TParamSheet>& sheet : Sheets) {
        if (!sheet) continue;
        for (int item = 1; item <= sheet->ItemCount; ++item)
            if (TFillCell* cell = sheet->Item(item); cell && cell->Edit && cell->Edit == widget) return cell;
    }
    return nullptr;
}

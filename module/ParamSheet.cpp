#include "ParamSheet.h"

#include "SheetLayout.h"

#include <QEvent>

namespace {

// The Read button's Tag: the page's position for the four known captions.
int ReadTag(const QString& caption)
{
    static const char* const captions[] = {"Standard", "Trigger", "Filling", "Mass flow"};
    for (int i = 0; i < 4; ++i)
        if (caption == QLatin1String(captions[i])) return i;
    return 0;
}

}  // namespace

TParamSheet::TParamSheet(QWidget* tabSheet, const QString& caption, int itemCount, int header,
                         const conf::TLines& lines)
    : QObject(tabSheet), TabSheet(tabSheet), ItemCount(std::clamp(itemCount, 0, conf::MaxItems))
{
    TByteString prefix;
    if (const auto code = conf::PagePrefix(caption.toStdString())) prefix.Append(*code);
    for (int row = 0; row < ItemCount; ++row) MakeRow(row, prefix, header, lines);

    ReadButton = new TTagButton(QStringLiteral("Read"), tabSheet);
    ReadButton->Tag = ReadTag(caption);
    ReadButton->setGeometry(8, 24, 75, 25);
    ReadButton->show();

    Layout();
    tabSheet->installEventFilter(this);
}

TParamSheet::~TParamSheet() { delete ReadButton.data(); }

void TParamSheet::MakeRow(int row, const TByteString& prefix, int header, const conf::TLines& lines)
{
    const int number = row + 1;
    const std::size_t line = static_cast<std::size_t>(header) + number;
    auto cell = std::make_unique<TFillCell>();
    cell->Command = prefix;
    cell->Command.Append(static_cast<std::uint8_t>(number));

    const std::string text = line < lines.size() ? conf::ItemText(lines[line]) : std::string();
    cell->NameLabel = new QLabel(QString::fromStdString(conf::RowCaption(number, text)), TabSheet);
    cell->Edit = new TTagEdit(TabSheet);
    cell->Edit->Tag = row;
    connect(cell->Edit, &QLineEdit::textEdited, this, [this, row] { EditChange(row); });
    TTagButton* button = new TTagButton(QStringLiteral("Set"), TabSheet);
    cell->SetButton = button;
    button->Tag = static_cast<int>(line);
    button->setEnabled(false);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, button] { SetButtonClick(button); });

    cell->NameLabel->show();
    cell->Edit->show();
    button->show();
    Cells[row] = std::move(cell);
}

void TParamSheet::Layout()
{
    RowHeight = static_cast<unsigned>(conf::SheetRowHeight(TabSheet->height(), ItemCount));
    ColumnWidth = static_cast<unsigned>(conf::SheetColumnWidth(TabSheet->width()));
    const int rowHeight = static_cast<int>(RowHeight);
    const int columnWidth = static_cast<int>(ColumnWidth);
    for (int row = 0; row < ItemCount; ++row) {
        TFillCell& cell = *Cells[row];
        const int number = row + 1;
        const int editTop = number * rowHeight + 34;
        const int editLeft = columnWidth + 8;
        const int editWidth = columnWidth - columnWidth / 4;
        if (cell.NameLabel)
            cell.NameLabel->setGeometry(8, number * rowHeight + 36, columnWidth, cell.NameLabel->sizeHint().height());
        if (cell.Edit) cell.Edit->setGeometry(editLeft, editTop, editWidth, rowHeight - 4);
        if (cell.SetButton) cell.SetButton->setGeometry(editLeft + editWidth, editTop + 1, columnWidth / 4, rowHeight);
    }
}

bool TParamSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TabSheet && event->type() == QEvent::Resize) Layout();
    return QObject::eventFilter(watched, event);
}

void TParamSheet::EditChange(int row)
{
    if (row >= 0 && row < ItemCount && Cells[row]->SetButton) Cells[row]->SetButton->setEnabled(true);
}

void TParamSheet::SetButtonClick(TTagButton* button)
{
    if (onSetValue_) {
        for (int row = 0; row < ItemCount; ++row) {
            if (Cells[row]->SetButton == button) {
                onSetValue_(Cells[row].get());
                break;
            }
        }
    }
    button->setEnabled(false);
}

TFillCell* TParamSheet::Item(int item) const
{
    return item >= 1 && item <= ItemCount ? Cells[item - 1].get() : nullptr;
}

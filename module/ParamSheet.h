// One parameter page: a row per item of the configuration file and a "Read"
// button. The sheet only lays out the rows and reports clicks; reading and
// writing the values is the main window's work.
#pragma once

#include "module/core/ConfigFile.h"
#include "FillCell.h"

#include <QObject>
#include <array>
#include <functional>
#include <memory>

class TParamSheet : public QObject {
    Q_OBJECT
public:
    using TSetValueEvent = std::function<void(TFillCell* cell)>;

    // Makes `itemCount` rows on `tabSheet` from the item lines below line
    // `header` of `lines`; `caption` (the page's tab text) selects the command prefix.
    TParamSheet(QWidget* tabSheet, const QString& caption, int itemCount, int header, const conf::TLines& lines);
    ~TParamSheet() override;

    void SetOnSetValue(TSetValueEvent handler) { onSetValue_ = std::move(handler); }

    // Typing in row `row`'s edit enables its Set button.
    void EditChange(int row);
    // A row's Set: raises OnSetValue with the row, then disables the button.
    void SetButtonClick(TTagButton* button);

    // The cell of item `item` (1..ItemCount), or nullptr.
    TFillCell* Item(int item) const;

    QWidget* TabSheet;
    unsigned RowHeight = 0;
    unsigned ColumnWidth = 0;
    int ItemCount;
    std::array<std::unique_ptr<TFillCell>, conf::MaxItems> Cells;
    QPointer<TTagButton> ReadButton;  // Tag: the page's position (0 Standard .. 3 Mass flow)

protected:
    // Lays the rows out again when the page gets its final size.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MakeRow(int row, const TByteString& prefix, int header, const conf::TLines& lines);
    void Layout();

    TSetValueEvent onSetValue_;
};

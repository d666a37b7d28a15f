// The parameter pages: reads "Quorvel.conf" and makes a sheet on each page
// of the page control that the file describes.
#pragma once

#include "module/core/ConfigFile.h"
#include "ModuleEvents.h"
#include "ParamSheet.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <string>
#include <vector>

class QTabWidget;

class TParameters : public QObject {
    Q_OBJECT
public:
    // "Quorvel.conf" in the current directory, then the copy beside the
    // program, then the installed copy.
    static std::vector<std::string> DefaultConfigCandidates();

    // Reads the first candidate file that exists and fills the pages. What
    // was read (or that nothing was found) goes to `onMessage`.
    explicit TParameters(QTabWidget* pageControl, const TMessageEvent& onMessage = {},
                         const std::vector<std::string>& candidates = DefaultConfigCandidates());
    ~TParameters() override;

    // The sheet at page position `index` (0..7), or nullptr.
    TParamSheet* Sheet(int index) const;

    // A module answer for item `index` of sheet `sheet`. Bit 7 of the index
    // (set by a write to Trigger, Filling or Mass flow) is ignored, so a
    // confirmed write shows its value like a read. Does nothing when the
    // sheet or the item does not exist.
    void UpdateItem(int sheet, std::uint8_t index, std::int32_t value);
    // The module refused item `item` of sheet `sheet` during a read.
    void MarkItemUnavailable(int sheet, int item);
    // An item whose read got no answer: editable, marked as not read.
    void MarkItemNotRead(int sheet, int item);
    // The cell whose value edit is `widget`, if any.
    TFillCell* CellOfEdit(const QWidget* widget) const;

    QTabWidget* PageControl;
    conf::TLines Lines;
    std::array<QPointer<TParamSheet>, conf::MaxSheets> Sheets;
    int SheetCount = 0;
    QString FileName;  // the file read; empty when none was found

private:
    TFillCell* Cell(int sheet, int item) const;
};

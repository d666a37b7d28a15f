// One row of a parameter sheet: number and name, the value, and "Set".
#pragma once

#include "TagWidgets.h"
#include "base/ByteString.h"

#include <QLabel>
#include <QPointer>
#include <cstdint>

class TFillCell {
public:
    TFillCell() = default;
    TFillCell(const TFillCell&) = delete;
    TFillCell& operator=(const TFillCell&) = delete;
    // Frees the row's widgets (those the page has not freed already).
    ~TFillCell();

    // A value read from (or confirmed by) the module: normal background,
    // the value in decimal, Set disabled; the edit's enabled state is kept.
    void ShowValue(std::int32_t value);
    // The module refused the item during a read: grey, disabled, unmodified.
    void MarkUnavailable();
    // The item's read got no answer: normal background, enabled and empty
    // with "not read" shown in grey, so a value can still be typed and Set.
    void MarkNotRead();

    QPointer<QLabel> NameLabel;
    QPointer<TTagEdit> Edit;         // Tag: row index (0-based)
    QPointer<TTagButton> SetButton;  // Tag: index of the item's line in the file
    TByteString Command;             // page prefix and parameter number, e.g. 1F 02
};

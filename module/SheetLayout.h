// Row geometry of a parameter sheet from its page size (no Qt here).
#pragma once

namespace conf {

inline constexpr int MinRowHeight = 15;
inline constexpr int MaxRowHeight = 21;

// (page height - 56) / items, clamped to 15..21 (a negative result counts as too large).
inline int SheetRowHeight(int pageHeight, int itemCount)
{
    if (itemCount <= 0) return MaxRowHeight;
    const int height = (pageHeight - 56) / itemCount;
    if (height < 0 || height > MaxRowHeight) return MaxRowHeight;
    return height < MinRowHeight ? MinRowHeight : height;
}

// Width of the label column: half the page less the margins.
inline int SheetColumnWidth(int pageWidth) { return pageWidth > 16 ? (pageWidth - 16) / 2 : 0; }

}  // namespace conf

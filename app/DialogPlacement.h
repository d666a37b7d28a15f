// Dialogs and the window's other windows open centred on the main window,
// wherever their own layout placed them, and within the screen; the main
// window itself stays wholly within its screen at any scaling.
#pragma once

class QWidget;

// Moves `dialog` to the centre of `window`, kept inside the available area
// of the window's screen (nothing happens while the window is hidden).
void CentreOnWindow(QWidget& dialog, const QWidget& window);
// The same each time `dialog` is shown.
void CentreOnShow(QWidget* dialog, QWidget* window);
// Makes `window` (with its frame) no larger than the available area of the
// screen it is on, or of the primary screen when it is on none, and moves it
// wholly into that area. A maximised or full-screen window is left as it is.
void KeepWithinScreen(QWidget& window);

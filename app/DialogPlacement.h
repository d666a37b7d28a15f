// Dialogs and the window's other windows open centred on the main window,
// wherever their own layout placed them, and within the screen.
#pragma once

class QWidget;

// Moves `dialog` to the centre of `window`, kept inside the available area
// of the window's screen (nothing happens while the window is hidden).
void CentreOnWindow(QWidget& dialog, const QWidget& window);
// The same each time `dialog` is shown.
void CentreOnShow(QWidget* dialog, QWidget* window);

// Dialogs open centred on the main window, wherever their own layout
// placed them on the screen.
#pragma once

class QWidget;

// Each time `dialog` is shown it is moved to the centre of `window` (when
// the window is on screen).
void CentreOnShow(QWidget* dialog, QWidget* window);

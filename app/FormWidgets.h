// Controls placed at fixed positions, as the windows of this program lay
// them out: labels with their caption, edits that start with their own name
// as text.
#pragma once

class QLabel;
class QLineEdit;
class QWidget;

// Width and height below 0 keep the label's natural size.
QLabel* PlaceLabel(QWidget* parent, const char* caption, int left, int top, int width = -1, int height = -1);
// Height below 0 keeps the edit's natural height.
QLineEdit* PlaceNamedEdit(QWidget* parent, const char* name, int left, int top, int width, int height = -1);

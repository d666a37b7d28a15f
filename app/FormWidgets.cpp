#include "FormWidgets.h"

#include <QLabel>
#include <QLineEdit>

QLabel* PlaceLabel(QWidget* parent, const char* caption, int left, int top, int width, int height)
{
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    const QSize natural = label->sizeHint();
    label->setGeometry(left, top, width < 0 ? natural.width() : width, height < 0 ? natural.height() : height);
    return label;
}

QLineEdit* PlaceNamedEdit(QWidget* parent, const char* name, int left, int top, int width, int height, const char* hint)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    if (hint) edit->setPlaceholderText(QString::fromLatin1(hint));
    edit->setGeometry(left, top, width, height < 0 ? edit->sizeHint().height() : height);
    return edit;
}

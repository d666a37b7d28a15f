// The main window's controls with their positions, captions and initial texts.
#include "MainForm.h"

#include "FormWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int EditHeight = 21;
constexpr int LabelHeight = 13;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int FontPixels = 11;

QLabel* Label(QWidget* parent, const char* caption, int left, int top)
{
    return PlaceLabel(parent, caption, left, top, -1, LabelHeight);
}

// An edit is empty until something is written into it.
QLineEdit* Edit(QWidget* parent, const char* name, int left, int top, int width)
{
    return PlaceNamedEdit(parent, name, left, top, width, EditHeight);
}

QComboBox* Combo(QWidget* parent, const char* name, int left, int top, int width, bool editable)
{
    auto* combo = new TPopupCombo(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(editable);
    if (editable) combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setGeometry(left, top, width, EditHeight);
    return combo;
}

QPushButton* Button(QWidget* parent, const char* caption, int left, int top)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setGeometry(left, top, ButtonWidth, ButtonHeight);
    button->setAutoDefault(false);
    return button;
}

QGroupBox* Group(QWidget* parent, const char* caption, int left, int top, int width, int height)
{
    auto* box = new QGroupBox(QString::fromLatin1(caption), parent);
    box->setGeometry(left, top, width, height);
    return box;
}

// The system's fixed font; where that family is missing and the match is not
// of fixed pitch (the columns of the dumps would not line up), the first
// scalable fixed-pitch family there is.
QFont DumpFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(FontPixels);
    if (QFontInfo(font).fixedPitch()) return font;
    for (const QString& family : QFontDatabase::families())
        if (QFontDatabase::isFixedPitch(family) && QFontDatabase::isSmoothlyScalable(family)) {
            font.setFamily(family);
            break;
        }
    return font;
}

}  // namespace

void TForm1::BuildLayout()
{
    setWindowTitle(QStringLiteral("Quorvel"));
    QFont font = this->font();
    font.setPixelSize(FontPixels);
    setFont(font);

    // Menu bar, the controls' area, status bar; the area grows with the window.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    // The controls keep their least size; a smaller window scrolls them.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("BodyScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    body_ = new QWidget;
    body_->setMinimumSize(BaseWidth, BaseHeight);
    body_->installEventFilter(this);
    scroll->setWidget(body_);
    BuildMenuBar();
    frame->setMenuBar(MenuBar);
    frame->addWidget(scroll, 1);
    BuildStatusBar();
    frame->addWidget(StatusBar);
    QWidget* const parent = body_;

    gbComm = Group(parent, "Communication", 8, 8, 601, 105);
    StartButton = Button(gbComm, "&Start", 8, 24);
    StopButton = Button(gbComm, "S&top", 8, 56);
    cbFastCycle = new QCheckBox(QStringLiteral("Fast cycle"), gbComm);
    cbFastCycle->setObjectName(QStringLiteral("cbFastCycle"));
    cbFastCycle->setGeometry(8, 84, 80, 17);
    lbPort = Label(gbComm, "&PORT", 96, 18);
    cbxPort = Combo(gbComm, "cbxPort", 96, 32, 65, true);
    lbProfiAddr = Label(gbComm, "Profibus &Addr", 168, 16);
    cbxProfiAddr = Combo(gbComm, "cbxProfiAddr", 168, 32, 57, true);
    cbxProfiAddr->setEditText(QStringLiteral("3"));
    // Alt and the underlined letter of a label go to its box.
    lbPort->setBuddy(cbxPort);
    lbProfiAddr->setBuddy(cbxProfiAddr);
    edbxCommStatus = Edit(gbComm, "edbxCommStatus", 96, 60, 129);
    FindStationsButton = Button(gbComm, "F&ind stations", 232, 30);
    FindStationsButton->setObjectName(QStringLiteral("FindStationsButton"));
    DiagnosisButton = Button(gbComm, "&Diagnosis", 232, 58);
    DiagnosisButton->setObjectName(QStringLiteral("DiagnosisButton"));
    // The status only shows: no typing, and Tab passes it by.
    edbxCommStatus->setReadOnly(true);
    edbxCommStatus->setFocusPolicy(Qt::ClickFocus);
    QPalette statusPalette = edbxCommStatus->palette();
    statusPalette.setColor(QPalette::Base, statusPalette.color(QPalette::Button));
    edbxCommStatus->setPalette(statusPalette);
    mMessages = new QPlainTextEdit(gbComm);
    mMessages->setObjectName(QStringLiteral("mMessages"));
    mMessages->setGeometry(316, 16, 277, 81);
    mMessages->setMaximumBlockCount(MessageLines);
    // The memo only shows: no typing into the log, and Tab moves on.
    mMessages->setReadOnly(true);
    mMessages->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    mMessages->setTabChangesFocus(true);

    PageControl1 = new QTabWidget(parent);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 120, 337, 217);
    // Tabs never wrap into rows: the module count's captions fit every tab
    // into the strip (FitModuleTabs); scroll buttons stay for larger fonts.
    PageControl1->setUsesScrollButtons(true);

    BuildCommandDataBox();

    bgWZMfunctions = Group(parent, "WZM Functions", 8, 344, 601, 201);
    bgWZMfunctions->setObjectName(QStringLiteral("bgWZMfunctions"));

    gbParams = Group(parent, "Parameters", 616, 16, 345, 529);
    pcParams = new QTabWidget(gbParams);
    pcParams->setObjectName(QStringLiteral("pcParams"));
    pcParams->setGeometry(8, 16, 329, 505);
    tsStandard = new QWidget;
    tsTrigger = new QWidget;
    tsFilling = new QWidget;
    tsFlow = new QWidget;
    pcParams->addTab(tsStandard, QStringLiteral("Standard"));
    pcParams->addTab(tsTrigger, QStringLiteral("Trigger"));
    pcParams->addTab(tsFilling, QStringLiteral("Filling"));
    pcParams->addTab(tsFlow, QStringLiteral("Mass flow"));
    pcParams->setCurrentIndex(0);

    edbxSentData = Edit(parent, "edbxSentData", 8, 552, 857);
    edbxShowData = Edit(parent, "edbxShowData", 8, 576, 857);
    edbxSentData->setFont(DumpFont());
    edbxShowData->setFont(DumpFont());
    edbxSentCount = Edit(parent, "edbxSentCount", 872, 552, 81);
    edbxShowCount = Edit(parent, "edbxShowCount", 872, 576, 81);
    setGeometry(194, 136, BaseWidth, BaseHeight + MenuBar->sizeHint().height() + StatusBar->sizeHint().height());
}

void TForm1::BuildCommandDataBox()
{
    gbCmdData = Group(body_, "Cmd Data (PGM)", 352, 120, 257, 225);
    lbNumWZMs = Label(gbCmdData, "WZM &count", 40, 16);
    cbxNumWZMs = Combo(gbCmdData, "cbxNumWZMs", 40, 32, 73, true);
    lbWZMaddr = Label(gbCmdData, "WZM &unit addr", 136, 16);
    cbxWZMaddr = Combo(gbCmdData, "cbxWZMaddr", 136, 32, 73, false);
    lbNumWZMs->setBuddy(cbxNumWZMs);
    lbWZMaddr->setBuddy(cbxWZMaddr);
    // Left column: the command sent; right column: the result.
    struct TPair {
        QLabel*& label;
        QLineEdit*& edit;
        const char* caption;
        const char* name;
        int left;
        int top;
    };
    const TPair pairs[] = {
        {lbCmd_in, edbxCmd_in, "Cmd", "edbxCmd_in", 16, 56},
        {lbIndex_in, edbxIndex_in, "Index", "edbxIndex_in", 16, 96},
        {lbValue_in, edbxValue_in, "Value", "edbxValue_in", 16, 136},
        {lbStat_out, edbxStat_out, "Stat", "edbxStat_out", 136, 56},
        {lbIndex_out, edbxIndex_out, "Index", "edbxIndex_out", 136, 96},
        {lbValue_out, edbxValue_out, "Value", "edbxValue_out", 136, 136},
    };
    for (const TPair& p : pairs) {
        p.label = Label(gbCmdData, p.caption, p.left, p.top);
        p.edit = Edit(gbCmdData, p.name, p.left, p.top + 16, 97);
    }
    lbResult = Label(gbCmdData, "Result=", 16, 186);
    edbxResult = Edit(gbCmdData, "edbxResult", 56, 184, 177);

    // The form's own items; FormCreate fills both lists anew.
    for (int i = 0; i <= 8; ++i) cbxNumWZMs->addItem(QString::number(i));
    cbxNumWZMs->setCurrentIndex(1);
    for (int i = 0; i < PageSlots; ++i) cbxWZMaddr->addItem(QString::number(i));
    cbxWZMaddr->setCurrentIndex(0);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == body_ && event->type() == QEvent::Resize) ArrangeForSize();
    return QWidget::eventFilter(watched, event);
}

void TForm1::ArrangeForSize()
{
    const int dx = std::max(0, body_->width() - BaseWidth);
    const int dy = std::max(0, body_->height() - BaseHeight);
    // Half the extra width and a third of the extra height to the memo; the
    // rest to the parameter pages; the dumps take the full width.
    const int memoDx = dx / 2;
    const int memoDy = dy / 3;
    gbComm->setGeometry(8, 8, 601 + memoDx, 105 + memoDy);
    mMessages->setGeometry(316, 16, 277 + memoDx, 81 + memoDy);
    PageControl1->move(8, 120 + memoDy);
    gbCmdData->move(352, 120 + memoDy);
    bgWZMfunctions->move(8, 344 + memoDy);
    gbParams->setGeometry(616 + memoDx, 16, 345 + dx - memoDx, 529 + dy);
    pcParams->setGeometry(8, 16, 329 + dx - memoDx, 505 + dy);
    edbxSentData->setGeometry(8, 552 + dy, 857 + dx, EditHeight);
    edbxShowData->setGeometry(8, 576 + dy, 857 + dx, EditHeight);
    edbxSentCount->move(872 + dx, 552 + dy);
    edbxShowCount->move(872 + dx, 576 + dy);
}

#include "DiagnosisView.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int FlagColumns = 3;

const QString setFlagStyle = QStringLiteral("QLabel { background: #ffd24d; font-weight: bold; padding: 2px; }");
const QString clearFlagStyle = QStringLiteral("QLabel { color: gray; padding: 2px; }");

}  // namespace

TDiagnosisView::TDiagnosisView(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DiagnosisView"));
    setWindowTitle(QStringLiteral("Diagnosis"));
    header_ = new QLabel(QStringLiteral("No diagnosis yet."), this);
    header_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    extended_ = new QLabel(this);
    auto* grid = new QGridLayout;
    for (int f = 0; f < diag::FlagCount; ++f) {
        flags_[f] = new QLabel(QString::fromLatin1(diag::FlagName(static_cast<diag::TFlag>(f))), this);
        flags_[f]->setStyleSheet(clearFlagStyle);
        grid->addWidget(flags_[f], f / FlagColumns, f % FlagColumns);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header_);
    layout->addLayout(grid);
    layout->addWidget(extended_);
}

void TDiagnosisView::Show(const diag::TDiagnosis& d, const QDateTime& at)
{
    const QString master =
        d.masterAddress == diag::noMaster ? QStringLiteral("none") : QString::number(d.masterAddress);
    header_->setText(QStringLiteral("%1   station %2, master %3, Ident_Number %4")
                         .arg(at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")))
                         .arg(d.station)
                         .arg(master)
                         .arg(QString::asprintf("%04X", d.ident)));
    for (int f = 0; f < diag::FlagCount; ++f)
        flags_[f]->setStyleSheet(d.Has(static_cast<diag::TFlag>(f)) ? setFlagStyle : clearFlagStyle);
    extended_->setText(QStringLiteral("Extended diagnosis: ") + QString::fromStdString(diag::Hex(d.extended)));
}

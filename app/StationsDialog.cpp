#include "StationsDialog.h"

#include "dp/LiveList.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QHeaderView>
#include <QTableWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int AddressRole = Qt::UserRole;
constexpr int ModulesRole = Qt::UserRole + 1;

// A station that left a request unanswered is said to be the slave its FDL
// status says, never a role it did not give.
QString TypeText(const TStationFound& station)
{
    switch (station.kind) {
    case TStationFound::Slave: return QStringLiteral("slave");
    case TStationFound::Master: return QStringLiteral("master");
    default: return station.unanswered.empty() ? QStringLiteral("passive") : QStringLiteral("slave");
    }
}

// The station's row; faults that stop a start-up stand out.
void FillRow(QTableWidget* table, int row, const TStationFound& station, int modules)
{
    const auto& d = station.diagnosis;
    QString ident = QStringLiteral("-");
    QString flags;
    if (!station.unanswered.empty())
        flags = QStringLiteral("no answer to %1").arg(QString::fromStdString(station.unanswered));
    if (d) {
        ident = QStringLiteral("%1").arg(d->ident, 4, 16, QLatin1Char('0')).toUpper();
        for (const diag::TFlag flag : d->Flags())
            flags += (flags.isEmpty() ? QString() : QStringLiteral(" ")) + QString::fromLatin1(diag::FlagName(flag));
    }
    const QString cells[] = {QString::number(station.address), TypeText(station), ident,
                             modules > 0 ? QString::number(modules) : QStringLiteral("-"), flags};
    for (int column = 0; column < 5; ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        item->setToolTip(QString::fromStdString(StationLine(station)));
        table->setItem(row, column, item);
    }
    if (d && (d->Has(diag::Cfg_Fault) || d->Has(diag::Prm_Fault))) {
        QTableWidgetItem* item = table->item(row, 4);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setForeground(QColor(128, 0, 0));
    }
    table->item(row, 0)->setData(AddressRole, station.address);
    table->item(row, 0)->setData(ModulesRole, modules);
}

}  // namespace

TStationsDialog::TStationsDialog(T_DPV0& master, QWidget* parent)
    : QDialog(parent), scan_(std::make_unique<TLiveListScan>(master))
{
    setObjectName(QStringLiteral("StationsDialog"));
    setWindowTitle(QStringLiteral("Find stations"));
    resize(780, 300);
    list_ = new QTableWidget(0, 5, this);
    list_->setObjectName(QStringLiteral("lbStations"));
    list_->setHorizontalHeaderLabels({QStringLiteral("Address"), QStringLiteral("Type"), QStringLiteral("Ident_Number"),
                                      QStringLiteral("Modules"), QStringLiteral("Diagnosis flags")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(true);
    progress_ = new QProgressBar(this);
    progress_->setRange(TLiveListScan::FirstAddress - 1, TLiveListScan::LastAddress);
    progress_->setFormat(QStringLiteral("address %v of %m"));
    status_ = new QLabel(this);
    auto* buttons = new QDialogButtonBox(this);
    useButton_ = buttons->addButton(QStringLiteral("Use station"), QDialogButtonBox::AcceptRole);
    scanButton_ = buttons->addButton(QStringLiteral("Scan again"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    useButton_->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(useButton_, &QPushButton::clicked, this, [this] { Choose(); });
    connect(scanButton_, &QPushButton::clicked, this, [this] { Scan(); });
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        list_->selectRow(row);
        Choose();
    });
    connect(list_, &QTableWidget::currentCellChanged, this, [this](int row) { useButton_->setEnabled(row >= 0); });

    scan_->SetOnProgress([this](int address, int last) {
        progress_->setValue(address);
        status_->setText(QStringLiteral("Asking station %1 of %2 ...").arg(address).arg(last));
    });
    scan_->SetOnFound([this](const TStationFound& station) {
        const auto modules = station.config ? diag::WzmModuleCount(*station.config) : std::nullopt;
        const int row = list_->rowCount();
        list_->insertRow(row);
        FillRow(list_, row, station, modules.value_or(0));
        if (station.diagnosis) diagnoses_[station.address] = *station.diagnosis;
        if (station.diagnosis && onDiagnosis_) onDiagnosis_(*station.diagnosis);
        if (station.kind == TStationFound::Master && !otherMaster_) otherMaster_ = station.address;
    });
    scan_->SetOnDone([this](const std::string& error) {
        progress_->setValue(TLiveListScan::LastAddress);
        scanButton_->setEnabled(true);
        const int n = list_->rowCount();
        if (!error.empty())
            status_->setText(QString::fromStdString(error));
        else if (n == 0)
            status_->setText(QStringLiteral("No station answered."));
        else
            status_->setText(n == 1 ? QStringLiteral("1 station found.")
                                    : QStringLiteral("%1 stations found; choose one.").arg(n));
        if (otherMaster_) status_->setText(QString::fromStdString(OtherMasterWarning(*otherMaster_)));
        if (n > 0 && list_->currentRow() < 0) list_->selectRow(0);
        list_->resizeColumnsToContents();
    });
}

TStationsDialog::~TStationsDialog() = default;

void TStationsDialog::Scan()
{
    list_->setRowCount(0);
    otherMaster_.reset();
    diagnoses_.clear();
    progress_->setValue(progress_->minimum());
    std::string error;
    if (!scan_->Start(error)) {
        status_->setText(QString::fromStdString(error));
        return;
    }
    scanButton_->setEnabled(!scan_->Running());
}

bool TStationsDialog::Scanning() const { return scan_->Running(); }

std::optional<diag::TDiagnosis> TStationsDialog::DiagnosisOf(int address) const
{
    const auto found = diagnoses_.find(address);
    if (found == diagnoses_.end()) return std::nullopt;
    return found->second;
}

void TStationsDialog::done(int result)
{
    scan_->Cancel();
    scanButton_->setEnabled(true);
    QDialog::done(result);
}

void TStationsDialog::Choose()
{
    const int row = list_->currentRow();
    const QTableWidgetItem* item = row >= 0 ? list_->item(row, 0) : nullptr;
    if (!item) return;
    emit stationChosen(item->data(AddressRole).toInt(), item->data(ModulesRole).toInt());
    accept();
}

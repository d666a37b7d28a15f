#include "StationsDialog.h"

#include "dp/LiveList.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int AddressRole = Qt::UserRole;
constexpr int ModulesRole = Qt::UserRole + 1;

}  // namespace

TStationsDialog::TStationsDialog(T_DPV0& master, QWidget* parent)
    : QDialog(parent), scan_(std::make_unique<TLiveListScan>(master))
{
    setObjectName(QStringLiteral("StationsDialog"));
    setWindowTitle(QStringLiteral("Find stations"));
    resize(780, 300);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lbStations"));
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
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        list_->setCurrentItem(item);
        Choose();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { useButton_->setEnabled(row >= 0); });

    scan_->SetOnProgress([this](int address, int last) {
        progress_->setValue(address);
        status_->setText(QStringLiteral("Asking station %1 of %2 ...").arg(address).arg(last));
    });
    scan_->SetOnFound([this](const TStationFound& station) {
        auto* item = new QListWidgetItem(QString::fromStdString(StationLine(station)), list_);
        item->setData(AddressRole, station.address);
        const auto modules = station.config ? diag::WzmModuleCount(*station.config) : std::nullopt;
        item->setData(ModulesRole, modules.value_or(0));
        if (station.diagnosis && onDiagnosis_) onDiagnosis_(*station.diagnosis);
        if (station.kind == TStationFound::Master && !otherMaster_) otherMaster_ = station.address;
    });
    scan_->SetOnDone([this](const std::string& error) {
        progress_->setValue(TLiveListScan::LastAddress);
        scanButton_->setEnabled(true);
        const int n = list_->count();
        status_->setText(error.empty() ? (n == 0 ? QStringLiteral("No station answered.")
                                                 : QStringLiteral("%1 station(s) found; choose one.").arg(n))
                                       : QString::fromStdString(error));
        if (otherMaster_) status_->setText(QString::fromStdString(OtherMasterWarning(*otherMaster_)));
        if (n > 0 && list_->currentRow() < 0) list_->setCurrentRow(0);
    });
}

TStationsDialog::~TStationsDialog() = default;

void TStationsDialog::Scan()
{
    list_->clear();
    otherMaster_.reset();
    progress_->setValue(progress_->minimum());
    std::string error;
    if (!scan_->Start(error)) {
        status_->setText(QString::fromStdString(error));
        return;
    }
    scanButton_->setEnabled(!scan_->Running());
}

bool TStationsDialog::Scanning() const { return scan_->Running(); }

void TStationsDialog::done(int result)
{
    scan_->Cancel();
    scanButton_->setEnabled(true);
    QDialog::done(result);
}

void TStationsDialog::Choose()
{
    const QListWidgetItem* item = list_->currentItem();
    if (!item) return;
    emit stationChosen(item->data(AddressRole).toInt(), item->data(ModulesRole).toInt());
    accept();
}

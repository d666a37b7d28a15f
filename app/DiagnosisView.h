// The slave's last diagnosis, decoded: when it came, who answered, the
// master that holds it, its Ident_Number, every station status bit by name
// with the set ones highlighted, and the extended bytes in hex.
#pragma once

#include "dp/Diagnosis.h"

#include <QDateTime>
#include <QDialog>

#include <array>

class QLabel;

class TDiagnosisView : public QDialog {
    Q_OBJECT
public:
    explicit TDiagnosisView(QWidget* parent);

    void Show(const diag::TDiagnosis& diagnosis, const QDateTime& at);
    QLabel* Flag(diag::TFlag flag) const { return flags_[flag]; }
    QLabel* Header() const { return header_; }

private:
    QLabel* header_;
    QLabel* extended_;
    std::array<QLabel*, diag::FlagCount> flags_{};
};

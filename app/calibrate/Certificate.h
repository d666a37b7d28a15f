// The one-page certificate of a finished calibration: module identity, slave
// and unit address, date and time, reference weight, readings before and
// after, the calibration values and counter, the steadiness criteria, the
// linearisation points and the operator. Written as PDF (QPdfWriter) or
// printed; the same text goes to both.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>

class QPagedPaintDevice;
class TCalibrationFlow;

struct TCertificateFacts {
    int slaveAddress = 0;
    QString operatorName;
    QDateTime when;
};

// The certificate as rich text.
QString CertificateHtml(const TCalibrationFlow& flow, const TCertificateFacts& facts);
// Lays the certificate out on `device` (a PDF writer or a printer).
void PrintCertificate(QPagedPaintDevice& device, const TCalibrationFlow& flow, const TCertificateFacts& facts);
// The certificate as the bytes of a PDF file.
std::string CertificatePdf(const TCalibrationFlow& flow, const TCertificateFacts& facts);

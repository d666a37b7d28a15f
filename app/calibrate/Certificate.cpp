#include "Certificate.h"

#include "core/CalibrationFlow.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QTextDocument>
#include <cmath>

namespace {

QString Kg(const std::optional<double>& kg)
{
    return kg ? QString::number(*kg, 'f', 3) + QStringLiteral(" kg") : QStringLiteral("-");
}

QString Number(const std::optional<std::int32_t>& value, int hexDigits = 0)
{
    if (!value) return QStringLiteral("not reported");
    return hexDigits ? QStringLiteral("%1").arg(static_cast<quint32>(*value), hexDigits, 16, QChar('0')).toUpper()
                     : QString::number(*value);
}

QString Row(const QString& name, const QString& value)
{
    return QStringLiteral("<tr><td width=\"45%\">%1</td><td>%2</td></tr>")
        .arg(name.toHtmlEscaped(), value.toHtmlEscaped());
}

}  // namespace

QString CertificateHtml(const TCalibrationFlow& f, const TCertificateFacts& facts)
{
    using namespace calkeys;
    QString html = QStringLiteral("<h2>Calibration certificate</h2><table cellspacing=\"3\">");
    html += Row(QStringLiteral("Date and time"), facts.when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    html += Row(QStringLiteral("Operator"),
                facts.operatorName.trimmed().isEmpty() ? QStringLiteral("-") : facts.operatorName.trimmed());
    html += Row(QStringLiteral("Slave address, unit address"),
                QStringLiteral("%1, %2").arg(facts.slaveAddress).arg(f.Unit()));
    html += Row(QStringLiteral("Device ID (ID)"), Number(f.Reading(ID), 8));
    html += Row(QStringLiteral("Software version (IV)"), Number(f.Reading(IV), 8));
    html += QStringLiteral("</table><h3>Weighing</h3><table cellspacing=\"3\">");
    html += Row(QStringLiteral("Reference weight"), Kg(f.ReferenceKg()));
    html += Row(QStringLiteral("Empty scale before zero (CZ)"), Kg(f.ZeroReading()));
    html += Row(QStringLiteral("Reference before span (CG)"), Kg(f.SpanReading()));
    html += Row(QStringLiteral("Reference after saving (CS)"), Kg(f.CheckReading()));
    if (const auto steps = f.CheckSteps())
        html += Row(QStringLiteral("Difference"), QStringLiteral("%1 kg = %2 display steps")
                                                      .arg(*f.CheckReading() - *f.ReferenceKg(), 0, 'f', 3)
                                                      .arg(*steps, 0, 'f', 1));
    for (std::size_t i = 0; i < f.LinPoints().size(); ++i)
        html += Row(QStringLiteral("Linearisation point %1").arg(i),
                    QStringLiteral("reads %1, is %2").arg(Kg(f.LinPoints()[i].readKg), Kg(f.LinPoints()[i].trueKg)));
    html += QStringLiteral("</table><h3>Calibration values</h3><table cellspacing=\"3\">");
    html += QStringLiteral(
        "<tr><td width=\"45%\"></td><td width=\"20%\"><i>before</i></td><td width=\"20%\"><i>after</i></td></tr>");
    const auto both = [&](const QString& name, TKey key, std::optional<std::int32_t> after) {
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>")
                    .arg(name, Number(f.Reading(key)), Number(after));
    };
    both(QStringLiteral("Gain (CG)"), CG,
         f.ReferenceKg() ? std::optional(f.DisplayUnits(*f.ReferenceKg())) : std::nullopt);
    both(QStringLiteral("Maximum (CM)"), CM, f.Final(CM));
    both(QStringLiteral("Display step (DS)"), DS, f.Final(DS));
    both(QStringLiteral("Decimal point (DP)"), DP, f.Final(DP));
    html += QStringLiteral("<tr><td>Calibration counter</td><td>%1</td><td>%2</td></tr>")
                .arg(Number(f.CounterBefore()), Number(f.CounterAfter()));
    html += QStringLiteral(
                "</table><h3>Steadiness</h3><p>A reading was taken when the gross weight stayed within "
                "one display step (%1 kg) over the module's no-motion time (%2 ms).%3</p>")
                .arg(f.StepKg(), 0, 'g', 4)
                .arg(f.Steadiness().Window().count())
                .arg(f.Overridden() ? QStringLiteral(" <b>At least one reading was taken on a moving weight, "
                                                     "overridden by the operator.</b>")
                                    : QString());
    return html;
}

void PrintCertificate(QPagedPaintDevice& device, const TCalibrationFlow& flow, const TCertificateFacts& facts)
{
    QTextDocument document;
    document.setHtml(CertificateHtml(flow, facts));
    document.print(&device);
}

std::string CertificatePdf(const TCalibrationFlow& flow, const TCertificateFacts& facts)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("Calibration certificate"));
        writer.setCreator(QStringLiteral("Quorvel"));
        PrintCertificate(writer, flow, facts);
    }
    return buffer.data().toStdString();
}

#include "cli/CCliCurves.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QStringList>

#include "base/CSignalWatcher.h"
#include "cli/CCliArguments.h"
#include "cli/CCliDevice.h"
#include "cli/CCliOutput.h"
#include "cli/CConsolePrompt.h"
#include "cli/CliExit.h"
#include "library/CDeviceSession.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CCliCurves", text);
}
}

CCliCurves::CCliCurves(const CCliArguments& arguments, CCliDevice& device) : m_args(arguments), m_device(device) {}

std::optional<std::vector<int>> CCliCurves::ParseValues(const QString& text, QString& error)
{
    std::vector<int> values;
    for (const QString& part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok, 10);
        if (!ok) {
            error = tr("\"%1\" is not a whole number").arg(part.trimmed());
            return std::nullopt;
        }
        values.push_back(value);
    }
    return values;
}

std::vector<CCurve> CCliCurves::Curves(bool report) const
{
    std::vector<CCurve> curves;
    for (const pugi::xml_node& element : CCurve::Elements(m_device.Session().EscElement())) {
        QString error;
        if (std::optional<CCurve> curve = CCurve::FromElement(element, &error))
            curves.push_back(*curve);
        else if (report)
            CConsolePrompt::Error(tr("%1; left out").arg(error));
    }
    return curves;
}

std::optional<CCurve> CCliCurves::Find(const QString& name, QString& error) const
{
    std::vector<CCurve> prefixed;
    for (const CCurve& curve : Curves(false)) {
        if (curve.Name().compare(name, Qt::CaseInsensitive) == 0)
            return curve;
        if (curve.Name().startsWith(name, Qt::CaseInsensitive))
            prefixed.push_back(curve);
    }
    if (prefixed.size() == 1)
        return prefixed.front();
    if (prefixed.empty()) {
        error = tr("no curve called \"%1\" (see: torv-cli curves show)").arg(name);
    } else {
        QStringList names;
        for (const CCurve& curve : prefixed)
            names.append(QStringLiteral("\"%1\"").arg(curve.Name()));
        error = tr("\"%1\" names more than one curve: %2").arg(name, names.join(QStringLiteral(", ")));
    }
    return std::nullopt;
}

CCurveTransfer CCliCurves::Transfer() const
{
    CDeviceSession& session = m_device.Session();
    return CCurveTransfer(session.Protocol(), session.Protocol(), &session.Image());
}

QString CCliCurves::PointsText(const CCurveTransfer::Points& points)
{
    QStringList values;
    for (std::size_t i = 0; i < points.values.size(); ++i)
        values.append(points.read[i] ? QString::number(points.values[i]) : QStringLiteral("?"));
    return values.join(QLatin1Char(','));
}

QString CCliCurves::Line(const CCurve& curve, const CCurveTransfer::Points& points)
{
    return tr("%1 (cells %2..%3): %4\n")
        .arg(curve.Name())
        .arg(curve.Cell(0))
        .arg(curve.Cell(curve.Length() - 1))
        .arg(PointsText(points));
}

QJsonObject CCliCurves::Json(const CCurve& curve, const CCurveTransfer::Points& points)
{
    QJsonArray cells;
    QJsonArray values;
    for (int i = 0; i < curve.Length(); ++i) {
        const auto at = static_cast<std::size_t>(i);
        cells.append(curve.Cell(i));
        values.append(points.read[at] ? QJsonValue(points.values[at]) : QJsonValue());
    }
    return QJsonObject{{"name", curve.Name()},      {"start", curve.Start()},  {"length", curve.Length()},
                       {"cells", cells},            {"points", values},        {"complete", points.Complete()},
                       {"fixedEnds", curve.EndsFixed()}};
}

int CCliCurves::Show()
{
    std::vector<CCurve> curves;
    if (!m_args.Operands().isEmpty()) {
        QString error;
        const std::optional<CCurve> curve = Find(m_args.Operands().at(0), error);
        if (!curve)
            return CConsolePrompt::Fail(CliExit::Usage, error);
        curves.push_back(*curve);
    } else {
        curves = Curves(true);
    }
    CCurveTransfer transfer = Transfer();
    QJsonArray array;
    QString text;
    bool complete = true;
    for (const CCurve& curve : curves) {
        const CCurveTransfer::Points points = transfer.Read(curve);
        complete = complete && points.Complete();
        if (m_args.Json())
            array.append(Json(curve, points));
        else
            text += Line(curve, points);
        if (!points.Complete())
            CConsolePrompt::Error(tr("%1 could not be read completely (? marks the points not read)").arg(curve.Name()));
    }
    if (m_args.Json())
        CCliOutput::PrintJson(m_args.Operands().isEmpty() ? QJsonValue(array) : QJsonValue(array.at(0)));
    else
        CCliOutput::Print(curves.empty() ? tr("No curves\n") : text);
    return complete ? CliExit::Ok : CliExit::Differs;
}

int CCliCurves::Set()
{
    QString error;
    const std::optional<CCurve> curve = Find(m_args.Operands().at(0), error);
    if (!curve)
        return CConsolePrompt::Fail(CliExit::Usage, error);
    const std::optional<std::vector<int>> values = ParseValues(m_args.Operands().at(1), error);
    if (!values)
        return CConsolePrompt::Fail(CliExit::Usage, tr("%1: %2; nothing written").arg(curve->Name(), error));
    // Checked before anything is read, so that a wrong count or a value out
    // of range never waits on the device.
    if (const std::optional<QString> refusal = curve->Refusal(*values, {}))
        return CConsolePrompt::Fail(CliExit::Usage, tr("%1; nothing written").arg(*refusal));

    CCurveTransfer transfer = Transfer();
    const CCurveTransfer::Points before = transfer.Read(*curve);
    if (!before.Complete()) {
        return CConsolePrompt::Fail(CliExit::Differs, tr("%1 could not be read completely (%2); nothing written")
                                          .arg(curve->Name(), PointsText(before)));
    }
    // Ctrl+C or SIGTERM stops between two points; the ESC is then sent back
    // to 19200 baud as after any command.
    transfer.SetStopRequest(&CSignalWatcher::Requested);
    const CCurveTransfer::WriteResult written = transfer.Write(*curve, before, *values);
    switch (written.status) {
    case CCurveTransfer::WriteResult::Status::Stopped:
        return CConsolePrompt::Fail(CliExit::Interrupted,
                                    tr("interrupted after %1 of %2 points; %3 now holds part of the new values: "
                                       "set it again")
                                        .arg(written.written + static_cast<int>(written.failedCells.size()))
                                        .arg(written.toWrite)
                                        .arg(curve->Name()));
    case CCurveTransfer::WriteResult::Status::Refused:
        return CConsolePrompt::Fail(CliExit::Usage, tr("%1; nothing written").arg(written.refusal));
    case CCurveTransfer::WriteResult::Status::Failed:
        return CConsolePrompt::Fail(CliExit::Differs,
                    tr("Unable to get response on writing the %1 cell").arg(written.failedCells.front()));
    case CCurveTransfer::WriteResult::Status::Written:
        break;
    }

    const CCurveTransfer::Points after = transfer.Read(*curve);
    if (m_args.Json())
        CCliOutput::PrintJson(Json(*curve, after));
    else
        CCliOutput::Report(Line(*curve, after));
    const std::vector<uint8_t> wanted(values->begin(), values->end());
    if (!after.Complete() || after.values != wanted)
        return CConsolePrompt::Fail(CliExit::Differs, tr("%1: the ESC does not report the values written").arg(curve->Name()));
    return CliExit::Ok;
}

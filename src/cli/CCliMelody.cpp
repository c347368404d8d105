#include "cli/CCliMelody.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include "base/CSignalWatcher.h"
#include "cli/CCliArguments.h"
#include "cli/CCliDevice.h"
#include "cli/CCliOutput.h"
#include "cli/CConsolePrompt.h"
#include "cli/CliExit.h"
#include "melody/CMelodyCells.h"
#include "melody/CMelodyFile.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CCliMelody", text);
}

QString KindText(char kind)
{
    return QString(QLatin1Char(kind));
}
}

CCliMelody::CCliMelody(const CCliArguments& arguments, CCliDevice* device) : m_args(arguments), m_device(device) {}

int CCliMelody::CheckCapability()
{
    if (m_device->Session().Facts().melodies)
        return CliExit::Ok;
    return CConsolePrompt::Fail(CliExit::Usage, tr("this ESC offers no custom melodies; nothing done"));
}

int CCliMelody::ReadFile(CMelody& melody)
{
    const QString& path = m_args.Operands().at(0);
    melody = CMelodyFile::Read(CCliArguments::InputPath(path));
    if (!melody.IsValid())
        return CConsolePrompt::Fail(CliExit::FileError, QStringLiteral("%1: %2").arg(path, melody.error));
    return CliExit::Ok;
}

int CCliMelody::Show()
{
    const int capable = CheckCapability();
    if (capable != CliExit::Ok)
        return capable;
    CMelodyCells cells(m_device->Session());
    const std::vector<CMelodyRow> rows = cells.ReadRows();
    if (m_args.Json()) {
        QJsonArray array;
        for (const CMelodyRow& row : rows)
            array.append(QJsonObject{{"kind", row.type}, {"firstCell", CMelodyCells::FirstCell(row.Kind())},
                                     {"melody", row.hex}});
        CCliOutput::PrintJson(array);
        return CliExit::Ok;
    }
    QString text;
    for (const CMelodyRow& row : rows)
        text += QStringLiteral("%1  cell %2  %3\n").arg(row.type).arg(CMelodyCells::FirstCell(row.Kind())).arg(row.hex);
    if (rows.empty())
        CConsolePrompt::Error(tr("the ESC holds no custom melody"));
    CCliOutput::Print(text);
    return CliExit::Ok;
}

int CCliMelody::Check()
{
    CMelody melody;
    const int status = ReadFile(melody);
    if (status != CliExit::Ok)
        return status;
    if (m_args.Json()) {
        CCliOutput::PrintJson(QJsonObject{{"file", m_args.Operands().at(0)},
                                          {"kind", KindText(melody.kind)},
                                          {"description", melody.description},
                                          {"melody", melody.Hex()}});
        return CliExit::Ok;
    }
    CCliOutput::Print(tr("Kind:        %1\nDescription: %2\nMelody:      %3\n")
                          .arg(KindText(melody.kind), melody.description, melody.Hex()));
    return CliExit::Ok;
}

int CCliMelody::Write()
{
    CMelody melody;
    int status = ReadFile(melody);
    if (status != CliExit::Ok)
        return status;
    status = CheckCapability();
    if (status != CliExit::Ok)
        return status;
    CMelodyCells cells(m_device->Session());
    // Ctrl+C or SIGTERM stops between two cells; the ESC is then sent back
    // to 19200 baud as after any command.
    cells.SetStopRequest(&CSignalWatcher::Requested);
    const CMelodyCells::WriteResult result = cells.Write(melody.kind, melody.bytes);
    if (!result.Ok()) {
        const int failed = result.interrupted ? CliExit::Interrupted
                           : result.refused   ? CliExit::FileError
                                              : CliExit::Differs;
        return CConsolePrompt::Fail(failed, tr("the melody was not stored: %1").arg(result.Problem()));
    }
    const int last = result.firstCell + static_cast<int>(result.written.size()) - 1;
    if (m_args.Json())
        CCliOutput::PrintJson(QJsonObject{{"kind", KindText(melody.kind)},
                                          {"firstCell", result.firstCell},
                                          {"lastCell", last},
                                          {"melody", melody.Hex()}});
    else
        CCliOutput::Report(tr("Wrote melody %1 (kind %2) to cells %3 to %4; every cell reads back as written\n")
                              .arg(melody.Hex(), KindText(melody.kind))
                              .arg(result.firstCell)
                              .arg(last));
    return CliExit::Ok;
}

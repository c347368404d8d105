#include "cli/CCliLogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "cli/CCliArguments.h"
#include "cli/CCliDevice.h"
#include "cli/CCliOutput.h"
#include "cli/CConsolePrompt.h"
#include "base/CAtomicFile.h"
#include "base/CSignalWatcher.h"
#include "cli/CProgressBar.h"
#include "cli/CliExit.h"
#include "controls/CChartView.h"
#include "controls/CMChartSerie.h"
#include "library/CDeviceLibrary.h"
#include "library/CDeviceSession.h"
#include "logger/CLogWorkbook.h"
#include "library/CXmlAttributes.h"
#include "logger/CChartStyleSettings.h"
#include "logger/CDataProcessor.h"
#include "logger/CDecodedCsvWriter.h"
#include "logger/CEraseSequence.h"
#include "logger/CLinkSpeedBoost.h"
#include "logger/CLogCsvReader.h"
#include "logger/CLogCsvWriter.h"
#include "logger/CLogDownload.h"
#include "logger/CLogImageWriter.h"
#include "logger/CLoggerTransfer.h"
#include "logger/LoggerPage.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CCliLogs", text);
}

QString CompleteLogs(std::size_t count)
{
    return count == 1 ? tr("the one complete log") : tr("the %1 complete logs").arg(count);
}
}

CCliLogs::CCliLogs(const CCliArguments& arguments, CCliDevice* device, const CDeviceLibrary& library)
    : m_args(arguments), m_device(device), m_library(library)
{
}

CCliLogs::~CCliLogs() = default;

int CCliLogs::Fail(int status, const QString& error)
{
    if (m_progress)
        m_progress->Finish();
    return CConsolePrompt::Fail(status, error);
}

QString CCliLogs::DeviceText() const
{
    const QString name = CXmlAttributes::Text(m_device->Found().element, "name", QStringLiteral("the ESC"));
    return tr("%1 on %2").arg(name, CSerialPort::DevicePath(m_device->PortName()));
}

int CCliLogs::NeedLogger()
{
    if (m_device->Session().Facts().loggerBlocks == 0 || !m_device->Session().Facts().logger)
        return Fail(CliExit::Usage, tr("the device library describes no logger for %1").arg(DeviceText()));
    return CliExit::Ok;
}

CCliLogs::Ended CCliLogs::Wait(CLoggerTransfer& transfer, const std::function<uint32_t()>& done,
                               const std::function<uint32_t()>& faults)
{
    Ended ended = Ended::Completed;
    uint32_t lastDone = done();
    uint32_t faultsAtStep = faults();
    // The transfer ends itself after kStallLimitMs without a step.
    const bool completed = transfer.Wait(
        [&] {
            if (CSignalWatcher::Requested()) {
                ended = Ended::Interrupted;
                return true;
            }
            const uint32_t nowDone = done();
            const uint32_t nowFaults = faults();
            if (nowDone != lastDone) {
                lastDone = nowDone;
                faultsAtStep = nowFaults;
            }
            if (nowFaults - faultsAtStep > static_cast<uint32_t>(kMaxFaultsInARow)) {
                ended = Ended::GaveUp;
                return true;
            }
            return false;
        },
        kStallLimitMs);
    if (completed)
        return Ended::Completed;
    return ended == Ended::Completed ? Ended::GaveUp : ended;
}

int CCliLogs::Download()
{
    const int status = NeedLogger();
    if (status != CliExit::Ok)
        return status;
    CDeviceSession& session = m_device->Session();
    m_plan = CLoggerCommands::PlanDownload(session);
    m_download = std::make_unique<CLogDownload>(m_plan.pageCount, m_plan.logger);
    m_cutShort = false;
    uint8_t logs = 0;
    if (!session.Image().GetCell(CLoggerCommands::kConditionCell, logs))
        return Fail(CliExit::Differs, tr("Unable to get response on reading the %1 cell").arg(CLoggerCommands::kConditionCell));
    if (logs == 0)
        return CliExit::Ok;   // the logger holds no log

    m_progress = std::make_unique<CProgressBar>(tr("download"));
    Ended ended = Ended::Completed;
    {
        CLinkSpeedBoost boost(session);
        CLoggerTransfer transfer(session.Port());
        transfer.SetRelink([&boost] { boost.Recover(); });
        CLogDownload& download = *m_download;
        bool stallTold = false;
        QObject::connect(&transfer, &CLoggerTransfer::Progress, &transfer, [this, &download, &transfer, &stallTold] {
            if (transfer.Stalled() == stallTold) {
                m_progress->Show(static_cast<int>(download.PagesReceived()), static_cast<int>(download.PageCount()));
                return;
            }
            stallTold = !stallTold;
            m_progress->Finish();
            CConsolePrompt::Note(stallTold ? tr("the ESC is not answering at page %1 of %2")
                                                  .arg(download.CurrentPage())
                                                  .arg(download.PageCount())
                                            : tr("the ESC answers again"));
        });
        if (transfer.StartDownload(download, m_plan.pageTimeoutMs)) {
            ended = Wait(
                transfer, [&download] { return download.PagesReceived(); },
                [&download] { return download.Faults(); });
        }
    }
    m_progress->Finish();
    switch (ended) {
    case Ended::Completed:
        return CliExit::Ok;
    case Ended::Interrupted:
        return Fail(CliExit::Interrupted, tr("interrupted after %1 of %2 pages; nothing written")
                                              .arg(m_download->PagesReceived())
                                              .arg(m_download->PageCount()));
    case Ended::GaveUp:
        break;
    }
    // The logs complete before the ESC fell silent are kept; the command
    // says so when it ends.
    m_cutShort = true;
    return CliExit::Ok;
}

int CCliLogs::CutShort(const QString& kept)
{
    return Fail(CliExit::Differs, tr("the ESC stopped answering at page %1 of %2; %3")
                                      .arg(m_download->CurrentPage())
                                      .arg(m_download->PageCount())
                                      .arg(kept));
}

int CCliLogs::List()
{
    const int status = Download();
    if (status != CliExit::Ok)
        return status;
    if (m_args.Json()) {
        QJsonArray array;
        for (const LogEntry& log : m_download->Logs()) {
            array.append(QJsonObject{{"number", log.number},
                                     {"first_page", log.firstPage},
                                     {"last_page", log.lastPage},
                                     {"duration", log.duration},
                                     {"content", QJsonArray::fromStringList(log.content)}});
        }
        CCliOutput::PrintJson(array);
        if (m_cutShort)
            return CutShort(tr("listed %1 before it").arg(CompleteLogs(m_download->Logs().size())));
        return CliExit::Ok;
    }
    QString text;
    for (const LogEntry& log : m_download->Logs()) {
        text += QStringLiteral("%1  pages %2-%3  %4  %5\n")
                    .arg(static_cast<int>(log.number), 3)
                    .arg(static_cast<int>(log.firstPage), 4)
                    .arg(static_cast<int>(log.lastPage), -4)
                    .arg(log.DurationText(),
                         log.Displayable() ? log.ContentText() : tr("(no channel of this logger)"));
    }
    if (m_download->Logs().empty() && !m_cutShort)
        CConsolePrompt::Error(tr("the logger of %1 holds no log").arg(DeviceText()));
    CCliOutput::Print(text);
    if (m_cutShort)
        return CutShort(tr("listed %1 before it").arg(CompleteLogs(m_download->Logs().size())));
    return CliExit::Ok;
}

int CCliLogs::ChosenRows(std::vector<int>& rows)
{
    const std::vector<LogEntry>& logs = m_download->Logs();
    const std::set<int> wanted(m_args.Logs().begin(), m_args.Logs().end());
    for (int number : wanted) {
        if (std::any_of(logs.begin(), logs.end(), [number](const LogEntry& l) { return l.number == number; }))
            continue;
        if (m_cutShort)
            return CutShort(tr("log %1 is not among the complete logs before it; nothing written").arg(number));
        return Fail(CliExit::Usage, tr("the logger holds no log %1; nothing written").arg(number));
    }
    rows.clear();
    for (std::size_t row = 0; row < logs.size(); ++row) {
        if (wanted.empty() || wanted.count(logs[row].number) != 0)
            rows.push_back(static_cast<int>(row));
    }
    return CliExit::Ok;
}

int CCliLogs::Save()
{
    const QString folder = m_args.Operands().at(0);
    int status = Download();
    if (status != CliExit::Ok)
        return status;
    const std::vector<LogEntry>& logs = m_download->Logs();
    if (logs.empty()) {
        if (m_cutShort)
            return CutShort(tr("no log was complete before it; nothing written"));
        return Fail(CliExit::Differs, tr("the logger of %1 holds no log; nothing written").arg(DeviceText()));
    }
    std::vector<int> rows;
    status = ChosenRows(rows);
    if (status != CliExit::Ok)
        return status;

    // Every file's text first: an existing file that holds another log
    // (log numbers start again after an erase) stops the command before
    // anything is written.
    const std::vector<uint8_t>& pages = m_download->Pages();
    const std::size_t pageCount = pages.size() / LoggerPage::kSize;
    struct Output {
        const LogEntry* log;
        QString path;
        QByteArray text;
        bool present;   // the file already holds this log
    };
    std::vector<Output> outputs;
    std::map<int, int> seen;   // a log number met again later gets its own file
    for (int row : rows) {
        const LogEntry& log = logs[static_cast<std::size_t>(row)];
        const int again = seen[log.number]++;
        const QString name = again == 0 ? QStringLiteral("log-%1.csv").arg(log.number)
                                        : QStringLiteral("log-%1-%2.csv").arg(log.number).arg(again + 1);
        Output output{&log, QDir(folder).filePath(name),
                      CLogCsvWriter::Format(pages.data(), pageCount, log.firstPage, log.lastPage, m_plan.snapshot),
                      false};
        QFile existing(output.path);
        if (existing.exists()) {
            if (!existing.open(QIODevice::ReadOnly))
                return Fail(CliExit::FileError, tr("Unable to open file %1: %2").arg(output.path, existing.errorString()));
            output.present = SameLog(existing.readAll(), output.text);
            if (!output.present && !m_args.Force())
                return Fail(CliExit::Usage, tr("%1 holds another log than log %2 of the ESC; nothing written "
                                               "(--force replaces it)")
                                                .arg(output.path)
                                                .arg(log.number));
        }
        outputs.push_back(std::move(output));
    }
    if (!QDir().mkpath(folder))
        return Fail(CliExit::FileError, tr("Unable to create folder %1").arg(folder));

    QJsonArray saved;
    QString text;
    for (const Output& output : outputs) {
        const LogEntry& log = *output.log;
        if (!output.present) {
            QString error;
            if (!CAtomicFile::WriteWhole(output.path, output.text, &error))
                return Fail(CliExit::FileError, tr("Unable to write to file %1: %2").arg(output.path, error));
        }
        saved.append(QJsonObject{{"number", log.number}, {"file", output.path}, {"written", !output.present}});
        text += (output.present ? tr("Log %1 (pages %2-%3) is already in %4\n")
                                : tr("Saved log %1 (pages %2-%3) to %4\n"))
                    .arg(log.number)
                    .arg(log.firstPage)
                    .arg(log.lastPage)
                    .arg(output.path);
    }
    if (m_args.Json())
        CCliOutput::PrintJson(saved);
    else
        CCliOutput::Report(text);
    if (m_cutShort)
        return CutShort(tr("saved %1 before it").arg(CompleteLogs(logs.size())));
    return CliExit::Ok;
}

bool CCliLogs::SameLog(const QByteArray& file, const QByteArray& text)
{
    // The first line holds the calibration cells read with this download,
    // live values among them; the log itself is in the lines after it.
    const auto body = [](const QByteArray& bytes) {
        const qsizetype end = bytes.indexOf('\n');
        return end < 0 ? QByteArray() : bytes.mid(end + 1);
    };
    return !text.isEmpty() && body(file) == body(text);
}

int CCliLogs::Workbook()
{
    const QString folder = m_args.Operands().at(0);
    int status = Download();
    if (status != CliExit::Ok)
        return status;
    std::vector<int> rows;
    status = ChosenRows(rows);
    if (status != CliExit::Ok)
        return status;
    // The pages of the chosen logs one after the other, as Display with
    // Shift hands them to the workbook.
    const LogSelection selection = m_download->Select(rows, m_plan.snapshot, true);
    for (const QString& refused : selection.refused)
        CConsolePrompt::Error(refused);
    if (selection.pageCount == 0 && m_cutShort)
        return CutShort(tr("no log was complete before it; nothing written"));
    if (selection.pageCount == 0)
        return Fail(CliExit::Usage,
                    tr("the logger of %1 holds no log that can be shown; nothing written").arg(DeviceText()));
    if (!QDir().mkpath(folder))
        return Fail(CliExit::FileError, tr("Unable to create folder %1").arg(folder));
    const QString path = QDir(folder).filePath(QStringLiteral("logs.xml"));
    const std::size_t pageCount =
        std::min<std::size_t>(selection.pageCount, selection.pages.size() / LoggerPage::kSize);
    QString error;
    if (!CLogWorkbook::Save(path, m_device->Session().EscElement(), selection.snapshot, selection.pages.data(),
                            pageCount, &error))
        return Fail(CliExit::FileError, tr("Unable to write to file %1: %2").arg(path, error));
    QJsonArray numbers;
    QStringList names;
    for (const LogEntry& log : selection.logs) {
        numbers.append(log.number);
        names.append(QString::number(log.number));
    }
    if (m_args.Json())
        CCliOutput::PrintJson(
            QJsonObject{{"file", path}, {"logs", numbers}, {"pages", static_cast<qint64>(pageCount)}});
    else
        CCliOutput::Report((names.size() == 1 ? tr("Wrote the workbook of log %1 (%2 pages) to %3\n")
                                             : tr("Wrote the workbook of logs %1 (%2 pages) to %3\n"))
                              .arg(names.join(QStringLiteral(", ")))
                              .arg(pageCount)
                              .arg(path));
    if (m_cutShort)
        return CutShort(tr("the workbook holds the complete logs before it"));
    return CliExit::Ok;
}

int CCliLogs::ReadLogFile(const QString& path, QByteArray& text, CLogCsvReader::Log& log)
{
    QFile file(CCliArguments::InputPath(path));
    if (!file.open(QIODevice::ReadOnly))
        return Fail(CliExit::FileError, tr("Unable to open file %1: %2").arg(path, file.errorString()));
    text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Fail(CliExit::FileError, tr("Unable to read file %1: %2").arg(path, file.errorString()));
    const CLogCsvReader::Result read = CLogCsvReader::Read(text, m_library, log);
    if (read != CLogCsvReader::Result::Ok)
        return Fail(CliExit::FileError, tr("%1: %2").arg(path, CLogCsvReader::Message(read)));
    return CliExit::Ok;
}

int CCliLogs::Decode()
{
    const QString path = m_args.Operands().at(0);
    QByteArray text;
    CLogCsvReader::Log log;
    if (const int status = ReadLogFile(path, text, log); status != CliExit::Ok)
        return status;
    if (log.pageCount == 0 && log.damage)
        return Fail(CliExit::FileError,
                    tr("%1: %2; it holds no whole sample").arg(path, CLogCsvReader::DamageText(*log.damage)));
    if (log.pageCount == 0)
        return Fail(CliExit::FileError, tr("%1: the log holds no page").arg(path));

    CDataProcessor processor(log.logger, log.snapshot);
    DecodedLog decoded;
    const bool ok =
        processor.Decode(log.pages.data(), log.pageCount, 0, log.pageCount - 1, decoded, log.lastPageBytes);
    for (const QString& message : processor.SetupMessages())
        CConsolePrompt::Error(message);
    if (!ok)
        return Fail(CliExit::FileError, tr("%1: the log records no channel of this logger").arg(path));

    const QString output = m_args.Output();
    if (output.isEmpty() || CCliArguments::IsStandardStream(output)) {
        const QByteArray csv = CDecodedCsvWriter::Format(decoded);
        std::fwrite(csv.constData(), 1, static_cast<std::size_t>(csv.size()), stdout);
        std::fflush(stdout);
    } else {
        QString error;
        if (!CDecodedCsvWriter::Save(output, decoded, &error))
            return Fail(CliExit::FileError, tr("Unable to write to file %1: %2").arg(output, error));
        if (m_args.Json())
            CCliOutput::PrintJson(QJsonObject{{"file", output}, {"rows", static_cast<qint64>(decoded.time.size())},
                                              {"channels", static_cast<qint64>(decoded.series.size())}});
        else
            CCliOutput::Report(
                tr("Wrote %1 samples of log %2 to %3\n").arg(decoded.time.size()).arg(decoded.number).arg(output));
    }
    // A damaged file: the whole samples are written, and the status says
    // that the log is not complete.
    if (log.damage)
        return Fail(CliExit::FileError, tr("%1: %2; only the %3 whole samples before it were written")
                                            .arg(path, CLogCsvReader::DamageText(*log.damage))
                                            .arg(decoded.time.size()));
    return CliExit::Ok;
}

int CCliLogs::Erase()
{
    const int status = NeedLogger();
    if (status != CliExit::Ok)
        return status;
    if (!m_args.Yes()) {
        switch (CConsolePrompt::Confirm(tr("Erase the logger memory of %1? [y/N]").arg(DeviceText()))) {
        case CConsolePrompt::Confirmation::Yes:
            break;
        case CConsolePrompt::Confirmation::NoTerminal:
            return Fail(CliExit::Usage, tr("nothing erased: there is no terminal to ask on (--yes erases without asking)"));
        case CConsolePrompt::Confirmation::No:
            if (CSignalWatcher::Requested())
                return Fail(CliExit::Interrupted, tr("interrupted; nothing erased"));
            return Fail(CliExit::Usage, tr("nothing erased"));
        }
    }
    CDeviceSession& session = m_device->Session();
    if (CSignalWatcher::Requested())
        return Fail(CliExit::Interrupted, tr("interrupted; nothing erased"));
    if (!m_args.Blocks()) {
        if (!CLoggerCommands::EraseAll(session))
            return Fail(CliExit::Differs, tr("the ESC did not confirm the erase"));
    } else {
        CEraseSequence erase(session.Facts().loggerBlocks);
        // Ctrl+C or SIGTERM stops the erase before the next block.
        erase.SetStopRequest([] { return CSignalWatcher::Requested(); });
        m_progress = std::make_unique<CProgressBar>(tr("erase"));
        Ended ended = Ended::Completed;
        {
            CLoggerTransfer transfer(session.Port());
            QObject::connect(&transfer, &CLoggerTransfer::Progress, &transfer, [this, &erase] {
                m_progress->Show(CEraseSequence::kSteps - erase.Position(), CEraseSequence::kSteps);
            });
            transfer.StartErase(erase);
            ended = Wait(
                transfer, [&erase] { return static_cast<uint32_t>(erase.Sent()); }, [] { return 0u; });
        }
        m_progress->Finish();
        if (ended == Ended::Interrupted || erase.Stopped())
            return Fail(CliExit::Interrupted, tr("interrupted after %1 of %2 erase requests; the logger memory is "
                                                 "partly erased")
                                                  .arg(erase.Sent())
                                                  .arg(erase.Requests().size()));
        if (ended == Ended::GaveUp)
            return Fail(CliExit::Differs, tr("the ESC stopped answering after %1 of %2 erase requests")
                                              .arg(erase.Sent())
                                              .arg(erase.Requests().size()));
    }
    if (m_args.Json())
        CCliOutput::PrintJson(QJsonObject{{"erased", true}, {"blocks", m_args.Blocks()}});
    else
        CCliOutput::Report(tr("Erased the logger memory of %1\n").arg(DeviceText()));
    return CliExit::Ok;
}

int CCliLogs::WriteImage()
{
    const int status = NeedLogger();
    if (status != CliExit::Ok)
        return status;
    const QString path = m_args.Operands().at(0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(CliExit::FileError, tr("Unable to open file %1: %2").arg(path, file.errorString()));
    // The size is checked before anything is read: a file larger than the
    // logger memory is no image of it.
    const uint32_t memory = m_device->Session().Facts().loggerBlocks;
    const std::size_t pages = CLogImageWriter::PagesOf(file.size());
    if (pages > memory)
        return Fail(CliExit::Usage, tr("%1 holds %2 pages, more than the logger memory of %3 (%4 pages); nothing written")
                                        .arg(path)
                                        .arg(pages)
                                        .arg(DeviceText())
                                        .arg(memory));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Fail(CliExit::FileError, tr("Unable to read file %1: %2").arg(path, file.errorString()));
    if (bytes.isEmpty())
        return Fail(CliExit::FileError, tr("%1 is empty; nothing written").arg(path));
    if (!m_args.Yes()) {
        switch (CConsolePrompt::Confirm(tr("Write %1 (%2 pages) into the logger of %3? The logs in the ESC will be "
                                           "overwritten. [y/N]")
                                            .arg(path)
                                            .arg(pages)
                                            .arg(DeviceText()))) {
        case CConsolePrompt::Confirmation::Yes:
            break;
        case CConsolePrompt::Confirmation::NoTerminal:
            return Fail(CliExit::Usage,
                        tr("nothing written: there is no terminal to ask on (--yes writes without asking)"));
        case CConsolePrompt::Confirmation::No:
            if (CSignalWatcher::Requested())
                return Fail(CliExit::Interrupted, tr("interrupted; nothing written"));
            return Fail(CliExit::Usage, tr("nothing written"));
        }
    }

    CLogImageWriter writer(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    const int total = static_cast<int>(writer.PageTotal());
    const QString partly = tr("the logger memory now holds part of the image");
    m_progress = std::make_unique<CProgressBar>(tr("write"));
    Ended ended = Ended::Completed;
    {
        CLoggerTransfer transfer(m_device->Session().Port());
        QObject::connect(&transfer, &CLoggerTransfer::Progress, &transfer, [this, &writer, total] {
            m_progress->Show(writer.Done() ? total : static_cast<int>(writer.PageIndex()), total);
        });
        transfer.StartImageWrite(writer, CLogImageWriter::kReplyLimitMs);
        ended = Wait(
            transfer, [&writer] { return static_cast<uint32_t>(writer.PageIndex()) + (writer.Done() ? 1u : 0u); },
            [&writer] { return writer.Faults(); });
    }
    m_progress->Finish();
    if (ended == Ended::Interrupted)
        return Fail(CliExit::Interrupted,
                    tr("interrupted after %1 of %2 pages; %3").arg(writer.PageIndex()).arg(total).arg(partly));
    if (ended == Ended::GaveUp)
        return Fail(CliExit::Differs,
                    tr("the ESC stopped answering at page %1 of %2; %3").arg(writer.PageIndex()).arg(total).arg(partly));

    // The write frames come back from the cable whether the ESC took them
    // or not: only the pages read back tell what the memory holds.
    CLogDownload check(static_cast<uint32_t>(total), pugi::xml_node());
    check.SetStopAtErased(false);
    m_progress = std::make_unique<CProgressBar>(tr("check"));
    {
        // An ESC switched off and on during the write listens at its start
        // speed again.
        CLinkSpeedBoost boost(m_device->Session());
        CLoggerTransfer transfer(m_device->Session().Port());
        transfer.SetRelink([&boost] { boost.Recover(); });
        QObject::connect(&transfer, &CLoggerTransfer::Progress, &transfer, [this, &check, total] {
            m_progress->Show(static_cast<int>(check.PagesReceived()), total);
        });
        transfer.StartDownload(check, static_cast<int>(m_device->Session().MemoryLoadTimeout()));
        ended = Wait(
            transfer, [&check] { return check.PagesReceived(); }, [&check] { return check.Faults(); });
    }
    m_progress->Finish();
    const QString unchecked = tr("the logger memory may hold only part of the image");
    if (ended == Ended::Interrupted)
        return Fail(CliExit::Interrupted, tr("interrupted while reading the pages back (%1 of %2 read); %3")
                                              .arg(check.PagesReceived())
                                              .arg(total)
                                              .arg(unchecked));
    if (ended == Ended::GaveUp)
        return Fail(CliExit::Differs, tr("the ESC stopped answering while the pages were read back (at page %1 of "
                                         "%2); %3")
                                          .arg(check.CurrentPage())
                                          .arg(total)
                                          .arg(unchecked));
    const std::vector<std::size_t> differing = writer.DifferingPages(check.Pages());
    if (!differing.empty())
        return Fail(CliExit::Differs, tr("%1 of %2 pages read back otherwise than written (pages %3); %4")
                                          .arg(differing.size())
                                          .arg(total)
                                          .arg(CLogImageWriter::PageRanges(differing), partly));
    if (m_args.Json())
        CCliOutput::PrintJson(QJsonObject{{"file", path}, {"pages", total}, {"checked", true}});
    else
        CCliOutput::Report(
            tr("Wrote %1 pages from %2 into the logger memory; every page reads back as written\n").arg(total).arg(path));
    return CliExit::Ok;
}

int CCliLogs::Plot()
{
    const QString path = m_args.Operands().at(0);
    // The logger the file names and its snapshot, then the series as the
    // chart's Open command decodes them.
    QByteArray text;
    CLogCsvReader::Log log;
    if (const int status = ReadLogFile(path, text, log); status != CliExit::Ok)
        return status;
    CConsolePrompt prompt;
    DecodedLog decoded;
    std::optional<CLogCsvReader::Damage> damage;
    if (!CLogCsvReader::ReadDecoded(text, log.logger, log.snapshot, &prompt, decoded, nullptr, &damage) ||
        decoded.series.empty()) {
        if (damage)
            return Fail(CliExit::FileError,
                        tr("%1: %2; it holds no whole sample").arg(path, CLogCsvReader::DamageText(*damage)));
        return Fail(CliExit::FileError, tr("%1: the log records no channel of this logger").arg(path));
    }
    const std::size_t samples = decoded.time.size();

    std::vector<std::shared_ptr<CMChartSerie>> series;
    for (std::size_t i = 0; i < decoded.series.size(); ++i) {
        LogSeries& channel = decoded.series[i];
        auto serie = std::make_shared<CMChartSerie>(channel.label, 0.0, decoded.dt, std::move(channel.values));
        // The channel's own palette entry, else the next one in order.
        const int palette = channel.colour >= 0 ? channel.colour : static_cast<int>(i);
        serie->SetColour(CChartStyleSettings::PaletteColour(palette));
        series.push_back(std::move(serie));
    }
    const QString output = m_args.Output();
    QString error;
    if (!RenderChartPng(series, m_args.Size(), output, &error))
        return Fail(CliExit::FileError, tr("Unable to write to file %1: %2").arg(output, error));
    if (m_args.Json())
        CCliOutput::PrintJson(QJsonObject{{"file", output}, {"width", m_args.Size().width()},
                                          {"height", m_args.Size().height()},
                                          {"channels", static_cast<qint64>(series.size())}});
    else
        CCliOutput::Report(tr("Drew %1 channels of %2 into %3 (%4x%5)\n")
                              .arg(series.size())
                              .arg(path, output)
                              .arg(m_args.Size().width())
                              .arg(m_args.Size().height()));
    if (damage)
        return Fail(CliExit::FileError, tr("%1: %2; only the %3 whole samples before it were drawn")
                                            .arg(path, CLogCsvReader::DamageText(*damage))
                                            .arg(samples));
    return CliExit::Ok;
}

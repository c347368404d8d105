#include "cli/CCliCommands.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>

#include "base/CIniFile.h"
#include "base/CTorvSettings.h"
#include "cli/CCliCurves.h"
#include "cli/CCliDevice.h"
#include "cli/CCliFirmware.h"
#include "cli/CCliLibrary.h"
#include "cli/CCliLogs.h"
#include "cli/CCliMonitor.h"
#include "cli/CCliMelody.h"
#include "cli/CCliOutput.h"
#include "cli/CCliParameters.h"
#include "base/CSignalWatcher.h"
#include "cli/CProgressBar.h"
#include "cli/CliExit.h"
#include "library/CDeviceLibrary.h"
#include "library/CFileParameters.h"
#include "library/CParameterRow.h"
#include "library/CXmlAttributes.h"
#include "link/CPortEnumerator.h"
#include "link/CPortSetup.h"
#include "logger/CCurve.h"

namespace {
constexpr int kByteLimit = 255;
constexpr int kWordLimit = 65535;

QString tr(const char* text)
{
    return QCoreApplication::translate("CCliCommands", text);
}

QJsonArray ChangesJson(const std::vector<CFileParameters::Change>& changes)
{
    QJsonArray array;
    for (const CFileParameters::Change& c : changes)
        array.append(QJsonObject{{"name", c.name}, {"device", c.device}, {"file", c.file}});
    return array;
}

QString ChangeLine(const CFileParameters::Change& c)
{
    return QStringLiteral("%1: %2 -> %3\n").arg(c.name, c.device, c.file);
}
}

CCliCommands::CCliCommands(const CCliArguments& arguments) : m_args(arguments) {}

CCliCommands::~CCliCommands() = default;

void CCliCommands::Print(const QString& text) const
{
    CCliOutput::Print(text);
}

void CCliCommands::PrintJson(const QJsonValue& value) const
{
    CCliOutput::PrintJson(value);
}

int CCliCommands::Fail(int status, const QString& error)
{
    if (m_progress)
        m_progress->Finish();
    return CConsolePrompt::Fail(status, error);
}

int CCliCommands::Run()
{
    if (m_args.Help()) {
        Print(CCliArguments::HelpText(m_args.Command()));
        return CliExit::Ok;
    }
    if (m_args.Version()) {
        Print(QStringLiteral("torv-cli %1\n").arg(QLatin1String(TORV_VERSION)));
        return CliExit::Ok;
    }
    if (m_args.Command() == QLatin1String("ports"))
        return Ports();
    if (m_args.Command() == QLatin1String("melody check"))
        return CCliMelody(m_args, nullptr).Check();
    return RunOnDevice();
}

QString CCliCommands::FirstGiven(const QStringList& candidates)
{
    for (const QString& candidate : candidates) {
        if (!candidate.isEmpty())
            return candidate;
    }
    return QString();
}

int CCliCommands::NoPortNamed(const QString& settingsPath)
{
    const QStringList found = CPortSetup::AvailablePorts();
    const QString ports = found.isEmpty() ? tr("no serial port found")
                                          : tr("ports found: %1").arg(found.join(QStringLiteral(", ")));
    return Fail(CliExit::NoDevice, tr("no serial port named: give one with --port PATH or TORV_PORT=PATH, "
                                      "or as Port in %1 (%2)")
                                       .arg(settingsPath, ports));
}

int CCliCommands::Ports()
{
    const std::vector<CPortEnumerator::Port> ports = CPortEnumerator().Ports();
    if (m_args.Json()) {
        // USB ids in the 4-digit hex that lsusb and udev rules use.
        const auto hex = [](const std::optional<uint16_t>& id) {
            return id ? QJsonValue(QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0'))) : QJsonValue();
        };
        QJsonArray array;
        for (const CPortEnumerator::Port& port : ports) {
            array.append(QJsonObject{{"path", port.path},
                                     {"byId", port.byId.isEmpty() ? QJsonValue() : QJsonValue(port.byId)},
                                     {"description", port.description},
                                     {"manufacturer", port.manufacturer},
                                     {"serialNumber", port.serialNumber},
                                     {"vid", hex(port.vid)},
                                     {"pid", hex(port.pid)}});
        }
        PrintJson(array);
        return CliExit::Ok;
    }
    // One line per port, the device path first, then what the adapter says
    // of itself and the stable name to give as --port.
    QString text;
    for (const CPortEnumerator::Port& port : ports) {
        QStringList fields{port.path};
        if (!port.Details().isEmpty())
            fields << port.Details();
        if (!port.byId.isEmpty())
            fields << port.byId;
        text += fields.join(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    Print(text);
    return CliExit::Ok;
}

int CCliCommands::RunOnDevice()
{
    // The port and the library: named on the command line, else in the
    // environment, else as the window finds them.
    const QString folder =
        CTorvSettings::ProgramFolder(QCoreApplication::applicationFilePath()).value_or(QStringLiteral("."));
    const QString settingsPath = CTorvSettings::Location(folder);
    const CTorvSettings settings = CTorvSettings::Load(settingsPath, folder);
    const QString libraryPath = FirstGiven({m_args.Library(), qEnvironmentVariable("TORV_LIBRARY"), settings.escFile});
    QString port = FirstGiven({m_args.Port(), qEnvironmentVariable("TORV_PORT")});
    if (port.isEmpty() && m_args.NeedsDevice()) {
        // The window's default port (COM1:) is a guess a command should not
        // act on: only a Port that TORV.ini really holds counts.
        CIniFile ini(settingsPath);
        ini.Load();
        if (!ini.Value(CTorvSettings::Section(), QStringLiteral("Port")).has_value())
            return NoPortNamed(settingsPath);
        port = settings.port;
    }

    m_library = std::make_unique<CDeviceLibrary>();
    const bool loaded = m_library->Load(libraryPath);
    const QString& command = m_args.Command();
    // A missing or broken library is what the update mends.
    if (command == QLatin1String("library update"))
        return CCliLibrary(m_args, *m_library, libraryPath).Update();
    if (!loaded) {
        return Fail(CliExit::FileError, tr("cannot read the device library %1: %2")
                                            .arg(libraryPath, m_library->ErrorText()));
    }
    if (!m_args.NeedsDevice()) {
        // logs decode and plot: the library's channels are all they need.
        CCliLogs logs(m_args, nullptr, *m_library);
        return command == QLatin1String("logs plot") ? logs.Plot() : logs.Decode();
    }
    // A file to compare or restore is read before anything is sent, so that
    // a wrong path costs no connection.
    if (command == QLatin1String("restore") || command == QLatin1String("diff")) {
        const int read = ReadParameterFile(m_args.Operands().at(0), m_fileImage);
        if (read != CliExit::Ok)
            return read;
    }
    m_device = std::make_unique<CCliDevice>(*m_library, m_prompt);
    if (command == QLatin1String("flash"))
        return CCliFirmware(m_args, *m_device, settings.firmwareFolder).Flash(port, m_args.MaxSpeed());
    // An ESC whose firmware wants an update can still be identified and be
    // offered its update files.
    const bool forIdentity = command == QLatin1String("identify") || command == QLatin1String("firmware list");
    const int connected = m_device->Connect(port, m_args.MaxSpeed(), forIdentity);
    if (connected != CliExit::Ok)
        return Fail(connected, m_device->Error());

    // The settings the ESC had are kept before anything is written to it.
    if (!m_args.NoBackup() &&
        (command == QLatin1String("set") || command == QLatin1String("restore") ||
         command == QLatin1String("curves set") || command == QLatin1String("melody write"))) {
        QString error;
        if (!m_device->KeepBackup(error))
            return LeaveDevice(Fail(CliExit::FileError, tr("no backup of the ESC's settings could be kept: %1; nothing "
                                                           "written (--no-backup writes without one)")
                                                            .arg(error)));
    }
    int status = CliExit::Ok;
    if (command == QLatin1String("identify"))
        status = Identify();
    else if (command == QLatin1String("show"))
        status = Show();
    else if (command == QLatin1String("get"))
        status = Get();
    else if (command == QLatin1String("set"))
        status = Set();
    else if (command == QLatin1String("backup"))
        status = Backup();
    else if (command == QLatin1String("diff"))
        status = Diff();
    else if (command == QLatin1String("restore"))
        status = Restore();
    else if (command.startsWith(QLatin1String("logs "))) {
        CCliLogs logs(m_args, m_device.get(), *m_library);
        if (command == QLatin1String("logs list"))
            status = logs.List();
        else if (command == QLatin1String("logs save"))
            status = logs.Save();
        else if (command == QLatin1String("logs workbook"))
            status = logs.Workbook();
        else if (command == QLatin1String("logs erase"))
            status = logs.Erase();
        else if (command == QLatin1String("logs write-image"))
            status = logs.WriteImage();
    } else if (command == QLatin1String("curves show")) {
        status = CCliCurves(m_args, *m_device).Show();
    } else if (command == QLatin1String("curves set")) {
        status = CCliCurves(m_args, *m_device).Set();
    } else if (command == QLatin1String("monitor")) {
        status = CCliMonitor(m_args, *m_device).Run();
    } else if (command == QLatin1String("melody show")) {
        status = CCliMelody(m_args, m_device.get()).Show();
    } else if (command == QLatin1String("melody write")) {
        status = CCliMelody(m_args, m_device.get()).Write();
    } else if (command == QLatin1String("firmware list"))
        status = CCliFirmware(m_args, *m_device, settings.firmwareFolder).List();
    return LeaveDevice(status);
}

int CCliCommands::LeaveDevice(int status)
{
    const int speed = m_device->Port().LinkSpeed();
    if (m_device->Leave())
        return status;
    // The command may have done its work, but an ESC left at a raised speed
    // answers no connection at 19200 or 4800 baud until it is power-cycled
    // or found again: that is no plain success.
    CConsolePrompt::Error(tr("the ESC did not confirm its return to 19200 baud (the link ran at %1 baud); "
                             "should it not answer next time, power-cycle it")
                              .arg(std::abs(speed)));
    return status == CliExit::Ok ? CliExit::Differs : status;
}

int CCliCommands::Identify()
{
    const CDeviceSession::Attempt& found = m_device->Found();
    const CDeviceProtocol::Identity& id = found.identity;
    const QString name = CXmlAttributes::Text(found.element, "name", QStringLiteral("???"));
    const Capabilities caps = CDeviceLibrary::CapabilitiesOf(found.element);
    const unsigned loggerBlocks = m_library->LoggerOf(found.element, id.major, id.minor).memBlocks;
    const QString firmware = QStringLiteral("%1.%2").arg(id.major).arg(id.minor);
    const QString device = CSerialPort::DevicePath(m_device->PortName());
    const int speed = m_device->Port().LinkSpeed();
    QString note;
    using Outcome = CDeviceSession::Attempt::Outcome;
    if (found.outcome == Outcome::Deprecated)
        note = tr("the device library marks this firmware as outdated");
    else if (found.outcome == Outcome::FirmwareErased)
        note = tr("the firmware seems corrupted");

    if (m_args.Json()) {
        QJsonObject object{
            {"name", name},
            {"identity", QJsonObject{{"type", id.type}, {"major", id.major}, {"minor", id.minor},
                                     {"hardware", id.hardware}}},
            {"firmware", firmware},
            {"capabilities", QJsonObject{{"speedChange", caps.speedChange}, {"rangeReads", caps.rangeReads},
                                         {"melodies", caps.melodies}}},
            {"loggerBlocks", static_cast<int>(loggerBlocks)},
            {"port", device},
            {"linkSpeed", speed},
            {"firmwareNote", note.isEmpty() ? QJsonValue() : QJsonValue(note)},
        };
        PrintJson(object);
        return CliExit::Ok;
    }
    QStringList capabilities;
    if (caps.speedChange)
        capabilities.append(tr("speed change"));
    if (caps.rangeReads)
        capabilities.append(tr("range reads"));
    if (caps.melodies)
        capabilities.append(tr("melodies"));
    QString text = tr("Device:       %1\n").arg(name);
    text += tr("Identity:     type %1, firmware %2.%3, hardware %4 (cells 64, 65, 66, 70)\n")
                .arg(id.type).arg(id.major).arg(id.minor).arg(id.hardware);
    text += tr("Firmware:     %1%2\n").arg(firmware, note.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(note));
    text += tr("Capabilities: %1\n").arg(capabilities.isEmpty() ? tr("none") : capabilities.join(QStringLiteral(", ")));
    text += tr("Logger:       %1\n").arg(loggerBlocks > 0 ? tr("%1 pages").arg(loggerBlocks) : tr("none"));
    text += tr("Link:         %1 at %2 baud\n").arg(device).arg(speed);
    Print(text);
    return CliExit::Ok;
}

QJsonValue CCliCommands::ParameterJson(const IProperty& row) const
{
    const CCliParameters parameters(m_device->Session().List());
    const std::vector<int> cells = CParameterRow::CellsOf(row);
    QJsonArray cellArray;
    QJsonValue raw;
    int value = 0;
    bool read = !cells.empty();
    for (int cell : cells) {
        cellArray.append(cell);
        uint8_t byte = 0;
        read = read && m_device->Session().Image().GetCell(cell, byte);
        value = value * 256 + byte;
    }
    if (read)
        raw = value;
    return QJsonObject{{"name", row.Name()},
                       {"category", parameters.CategoryOf(&row)},
                       {"value", CParameterRow::ShownText(row)},
                       {"raw", raw},
                       {"cells", cellArray}};
}

int CCliCommands::Show()
{
    CPropertyList& list = m_device->Session().List();
    if (m_args.Json()) {
        QJsonArray array;
        for (const IProperty* row : CCliParameters(list).Parameters())
            array.append(ParameterJson(*row));
        PrintJson(array);
        return CliExit::Ok;
    }
    QString text;
    const QString indent = list.CategoriesStyle() ? QStringLiteral("  ") : QString();
    for (int i = 0; i < list.Count(); ++i) {
        const IProperty* row = list.At(i);
        if (row->Kind() == IProperty::KindCategory)
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + row->Name() + QLatin1Char('\n');
        else
            text += QStringLiteral("%1%2: %3\n").arg(indent, row->Name(), CParameterRow::ShownText(*row));
    }
    Print(text);
    return CliExit::Ok;
}

int CCliCommands::Get()
{
    QString error;
    const IProperty* row = CCliParameters(m_device->Session().List()).Find(m_args.Operands().at(0), error);
    if (row == nullptr)
        return Fail(CliExit::Usage, error);
    if (m_args.Json())
        PrintJson(ParameterJson(*row));
    else
        Print(QStringLiteral("%1: %2\n").arg(row->Name(), CParameterRow::ShownText(*row)));
    return CliExit::Ok;
}

int CCliCommands::Set()
{
    CDeviceSession& session = m_device->Session();
    QString error;
    IProperty* row = CCliParameters(session.List()).Find(m_args.Operands().at(0), error);
    if (row == nullptr)
        return Fail(CliExit::Usage, error);
    const QString& value = m_args.Operands().at(1);
    if (!CParameterRow::IsSetting(*row))
        return Fail(CliExit::Usage, tr("%1 is read-only; nothing written").arg(row->Name()));
    if (const std::optional<QString> refusal = CCliParameters::Apply(*row, value))
        return Fail(CliExit::Usage, tr("%1: %2; nothing written").arg(row->Name(), *refusal));

    const std::vector<int> cells = CParameterRow::CellsOf(*row);
    const std::optional<int> raw = session.Model().RawValueOf(*row);
    switch (session.Model().WriteBackParameter(row)) {
    case CParameterModel::WriteResult::NothingWritten:
        return Fail(CliExit::Usage, tr("%1: \"%2\" codes to no value; nothing written").arg(row->Name(), value));
    case CParameterModel::WriteResult::DoesNotFit:
        return Fail(CliExit::Usage, tr("%1: \"%2\" does not fit its cells (0 .. %3); nothing written")
                                        .arg(row->Name(), value)
                                        .arg(cells.size() == 2 ? kWordLimit : kByteLimit));
    case CParameterModel::WriteResult::WriteFailed:
        return Fail(CliExit::Differs, tr("Unable to get response on writing the %1 cell").arg(cells.front()));
    case CParameterModel::WriteResult::Written:
        break;
    }
    if (m_args.Json())
        PrintJson(ParameterJson(*row));
    else
        CCliOutput::Report(QStringLiteral("%1: %2\n").arg(row->Name(), CParameterRow::ShownText(*row)));
    const std::optional<int> now = session.Model().RawValueOf(*row);
    if (now != raw)
        return Fail(CliExit::Differs, tr("%1: the ESC did not take \"%2\"").arg(row->Name(), value));
    return CliExit::Ok;
}

void CCliCommands::WatchSteps(const QString& label)
{
    m_progress = std::make_unique<CProgressBar>(label);
    m_device->Session().File().SetStepHook([this](int done, int total) {
        m_progress->Show(done, total);
        return !CSignalWatcher::Requested();
    });
}

int CCliCommands::Backup()
{
    const QString& path = m_args.Operands().at(0);
    WatchSteps(tr("backup"));
    const CParameterFile::Result result = m_device->Session().File().SaveTo(path);
    m_progress->Finish();
    switch (result.status) {
    case CParameterFile::Status::Ok:
    case CParameterFile::Status::ReadFailed:
        break;
    case CParameterFile::Status::OpenFailed:
    case CParameterFile::Status::WriteFailed:
        return Fail(CliExit::FileError, tr("Unable to write to file %1: %2").arg(path, result.error));
    case CParameterFile::Status::DeviceFailed:
        return Fail(CliExit::Differs, tr("Unable to get response on reading the %1 cell; %2 left as it was")
                                          .arg(result.failedCell)
                                          .arg(path));
    case CParameterFile::Status::Cancelled:
        return Fail(CliExit::Interrupted, tr("interrupted; %1 left as it was").arg(path));
    }
    if (m_args.Json())
        PrintJson(QJsonObject{{"file", path}, {"cells", CParameterFile::kFileSize}});
    else
        CCliOutput::Report(tr("Saved %1 cells to %2\n").arg(CParameterFile::kFileSize).arg(path));
    return CliExit::Ok;
}

int CCliCommands::ReadParameterFile(const QString& path, CParameterFile::Image& image)
{
    if (CCliArguments::IsStandardStream(path)) {
        // Standard input may be a pipe, which the file reader refuses.
        QFile input;
        const std::optional<CParameterFile::Image> parsed =
            input.open(stdin, QIODevice::ReadOnly) ? CParameterFile::ParseImage(input.read(CParameterFile::kFileSize))
                                                   : std::nullopt;
        if (!parsed) {
            return Fail(CliExit::FileError, tr("Unable to read standard input: it holds fewer than %1 bytes")
                                                .arg(CParameterFile::kFileSize));
        }
        image = *parsed;
        return CliExit::Ok;
    }
    const CParameterFile::Result result = CParameterFile::ReadFile(path, image);
    switch (result.status) {
    case CParameterFile::Status::Ok:
        return CliExit::Ok;
    case CParameterFile::Status::OpenFailed:
        return Fail(CliExit::FileError, tr("Unable to open file %1: %2").arg(path, result.error));
    default:
        return Fail(CliExit::FileError,
                    tr("Unable to read file %1: it holds fewer than %2 bytes").arg(path).arg(CParameterFile::kFileSize));
    }
}

int CCliCommands::CheckIdentity(const CParameterFile::Image& image, bool& mismatch, QString& text)
{
    const CDeviceProtocol::Identity& id = m_device->Session().Identity();
    switch (m_device->Session().File().CheckIdentity(image)) {
    case CParameterFile::Identity::Unreadable:
        return Fail(CliExit::Differs, tr("Unable to get response on reading 64 or 65 cells"));
    case CParameterFile::Identity::Mismatch:
        mismatch = true;
        break;
    case CParameterFile::Identity::Match:
        mismatch = false;
        break;
    }
    text = tr("ESC type/revision: %1.%2 -> %3.%4")
               .arg(id.type)
               .arg(id.major)
               .arg(image[CParameterFile::kTypeCell])
               .arg(image[CParameterFile::kRevisionCell]);
    return CliExit::Ok;
}

int CCliCommands::ReadAndCheck(FileCheck& check)
{
    check.image = m_fileImage;
    return CheckIdentity(check.image, check.mismatch, check.identity);
}

int CCliCommands::Diff()
{
    FileCheck check;
    const int status = ReadAndCheck(check);
    if (status != CliExit::Ok)
        return status;
    CFileParameters file(m_device->Session(), check.image, CCurve::PointCells(m_device->Session().EscElement()));
    const auto changes = file.Changes(CCliParameters(m_device->Session().List()).Parameters());
    if (m_args.Json()) {
        PrintJson(QJsonObject{{"identityMismatch", check.mismatch ? QJsonValue(check.identity) : QJsonValue()},
                              {"changes", ChangesJson(changes)}});
    } else {
        QString text = check.mismatch ? check.identity + QLatin1Char('\n') : QString();
        for (const CFileParameters::Change& c : changes)
            text += ChangeLine(c);
        Print(text);
    }
    return check.mismatch || !changes.empty() ? CliExit::Differs : CliExit::Ok;
}

int CCliCommands::Restore()
{
    FileCheck check;
    const int status = ReadAndCheck(check);
    if (status != CliExit::Ok)
        return status;
    const CParameterFile::Image& image = check.image;
    const bool mismatch = check.mismatch;
    const QString& identity = check.identity;
    if (mismatch && !m_args.Force()) {
        return Fail(CliExit::Usage, tr("The ESC type and/or revision does not match the parameters file (%1); "
                                       "nothing written (--force loads it anyway)")
                                        .arg(identity));
    }
    if (mismatch)
        CConsolePrompt::Note(tr("loading a file of another ESC type or revision (%1)").arg(identity));

    CDeviceSession& session = m_device->Session();
    const auto changes = CFileParameters(session, image, CCurve::PointCells(session.EscElement()))
                             .Changes(CCliParameters(session.List()).Parameters());
    if (!m_args.Json()) {
        QString text;
        for (const CFileParameters::Change& c : changes)
            text += ChangeLine(c);
        CCliOutput::Report(text.isEmpty() ? tr("Nothing to change\n") : text);
    }

    WatchSteps(tr("restore"));
    std::vector<int> failedWrites;
    const CParameterFile::Result written = session.File().WriteSettings(image, &failedWrites);
    m_progress->Finish();
    if (written.status == CParameterFile::Status::Cancelled) {
        return Fail(CliExit::Interrupted,
                    tr("interrupted after writing %1 of %2 cells").arg(written.failedCell).arg(CParameterFile::kWrittenCells));
    }
    if (written.status != CParameterFile::Status::Ok)
        return Fail(CliExit::Differs, tr("Unable to get response on writing the %1 cell").arg(written.failedCell));
    for (int cell : failedWrites)
        CConsolePrompt::Error(tr("Unable to get response on writing the %1 cell").arg(cell));

    // Connect afresh, as the window does, and compare every written setting
    // with the file, cell by cell.
    const int reconnected = m_device->Reconnect();
    if (reconnected != CliExit::Ok)
        return Fail(reconnected, m_device->Error());
    CFileParameters file(m_device->Session(), image);
    std::vector<CFileParameters::Change> notRestored;
    for (const IProperty* row : CCliParameters(m_device->Session().List()).Parameters()) {
        if (!CParameterRow::IsSetting(*row))
            continue;
        bool same = true;
        bool written = true;
        for (int cell : CParameterRow::CellsOf(*row)) {
            uint8_t value = 0;
            written = written && cell < CParameterFile::kWrittenCells;
            same = same && m_device->Session().Image().GetCell(cell, value) && value == image[static_cast<size_t>(cell)];
        }
        if (written && !same)
            notRestored.push_back({row->Name(), CParameterRow::ShownText(*row), file.ShownText(*row).value_or("?")});
    }

    if (m_args.Json()) {
        QJsonArray failed;
        for (int cell : failedWrites)
            failed.append(cell);
        PrintJson(QJsonObject{{"identityMismatch", mismatch ? QJsonValue(identity) : QJsonValue()},
                              {"changes", ChangesJson(changes)},
                              {"failedWrites", failed},
                              {"notRestored", ChangesJson(notRestored)}});
    }
    for (const CFileParameters::Change& c : notRestored)
        CConsolePrompt::Error(tr("%1 reads back %2, the file has %3").arg(c.name, c.device, c.file));
    if (!notRestored.empty() || !failedWrites.empty())
        return CliExit::Differs;
    if (!m_args.Json())
        CCliOutput::Report(tr("Restored; every setting reads back as in the file\n"));
    return CliExit::Ok;
}

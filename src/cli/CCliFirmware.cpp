#include "cli/CCliFirmware.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include "cli/CCliArguments.h"
#include "cli/CCliDevice.h"
#include "cli/CCliOutput.h"
#include "cli/CConsolePrompt.h"
#include "base/CSignalWatcher.h"
#include "cli/CProgressBar.h"
#include "cli/CliExit.h"
#include "firmware/CFirmwareFolder.h"
#include "firmware/CFirmwareUploader.h"
#include "library/CXmlAttributes.h"

namespace {
constexpr int kInterruptPollMs = 20;
constexpr int kCellDeviceId = 64;
constexpr int kCellHardware = 70;

QString tr(const char* text)
{
    return QCoreApplication::translate("CCliFirmware", text);
}

const char* const kStaysInBootloader =
    "The ESC stays in its boot loader; run the same command again to update it.";
}

CCliFirmware::CCliFirmware(const CCliArguments& arguments, CCliDevice& device, QString folder)
    : m_args(arguments), m_device(device), m_folder(std::move(folder))
{
}

CCliFirmware::~CCliFirmware() = default;

int CCliFirmware::Fail(int status, const QString& error)
{
    if (m_progress)
        m_progress->Finish();
    return CConsolePrompt::Fail(status, error);
}

int CCliFirmware::List()
{
    const QString folder = m_args.Operands().value(0, m_folder);
    if (folder.isEmpty())
        return Fail(CliExit::Usage, tr("no folder given, and FirmwareFolder of TORV.ini names none"));
    const QFileInfo where(folder);
    if (!where.isDir() || !where.isReadable())
        return Fail(CliExit::FileError, tr("Unable to read folder %1").arg(folder));

    const CDeviceProtocol::Identity& id = m_device.Session().Identity();
    CFirmwareFolder files(id.type, id.hardware);
    files.Start(folder);
    files.Finish();
    if (m_args.Json()) {
        QJsonArray array;
        for (const CUpdateFile::Info& info : files.Rows())
            array.append(QJsonObject{{"path", info.path}, {"version", info.version}, {"description", info.OneLine().trimmed()}});
        CCliOutput::PrintJson(array);
        return CliExit::Ok;
    }
    QString text;
    for (const CUpdateFile::Info& info : files.Rows())
        text += QStringLiteral("%1  %2\n").arg(info.version, -8).arg(info.OneLine().trimmed());
    if (files.Rows().empty())
        CConsolePrompt::Error(tr("no firmware file in %1 is made for device %2, hardware %3")
                                  .arg(folder)
                                  .arg(id.type)
                                  .arg(id.hardware));
    CCliOutput::Print(text);
    return CliExit::Ok;
}

int CCliFirmware::ReadFile(const QString& path, CUpdateFile::Info& info, CUpdateFile::Image& image)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return Fail(CliExit::FileError, tr("Unable to open file %1").arg(path));
    info = CUpdateFile::ReadInfo(path);
    image = CUpdateFile::ReadImage(path);
    switch (image.status) {
    case CUpdateFile::Image::Status::Ok:
        return CliExit::Ok;
    case CUpdateFile::Image::Status::CrcError:
        return Fail(CliExit::FileError,
                    tr("Corrupted firmware file \"%1\" - %2 line has wrong CRC; nothing sent").arg(path).arg(image.line));
    case CUpdateFile::Image::Status::WrongSize:
        break;
    }
    return Fail(CliExit::FileError,
                tr("It seems that firmware file \"%1\" has wrong size %2; nothing sent").arg(path).arg(image.size));
}

int CCliFirmware::Flash(const QString& port, int maxSpeed)
{
    const QString path = m_args.Operands().at(0);
    CUpdateFile::Info info;
    CUpdateFile::Image image;
    int status = ReadFile(path, info, image);
    if (status != CliExit::Ok)
        return status;

    int deviceId = m_args.DevId();
    int hardware = m_args.HwVer();
    QString device;
    if (m_args.Bootloader()) {
        status = m_device.OpenBootloader(port);
        device = tr("the ESC on %1").arg(CSerialPort::DevicePath(port));
        if (status == CliExit::Ok) {
            status = CheckBootloaderIdentity(path, info, device);
            if (status != CliExit::Ok)
                return status;
        }
    } else {
        status = m_device.Connect(port, maxSpeed, true);
        const CDeviceProtocol::Identity& id = m_device.Session().Identity();
        deviceId = id.type;
        hardware = id.hardware;
        device = tr("%1 on %2").arg(CXmlAttributes::Text(m_device.Found().element, "name", QStringLiteral("the ESC")),
                                    CSerialPort::DevicePath(port));
    }
    if (status != CliExit::Ok)
        return Fail(status, m_device.Error());
    if (info.deviceId != deviceId || info.hardwareVersion != hardware) {
        m_device.Leave();
        return Fail(CliExit::Usage, tr("%1 is made for device %2, hardware %3, but %4 is device %5, hardware %6; "
                                       "nothing sent")
                                        .arg(path)
                                        .arg(info.deviceId)
                                        .arg(info.hardwareVersion)
                                        .arg(device)
                                        .arg(deviceId)
                                        .arg(hardware));
    }
    // An ESC whose firmware is broken may not give its cells: the upload
    // that mends it goes on without a backup, saying so.
    QString backupError;
    if (!m_args.Bootloader() && !m_args.NoBackup() && !m_device.KeepBackup(backupError))
        CConsolePrompt::Error(tr("no backup of the ESC's settings was kept: %1").arg(backupError));
    if (!m_args.Yes()) {
        const QString description = info.OneLine().trimmed();
        if (!description.isEmpty())
            CConsolePrompt::Error(tr("%1: firmware %2: %3").arg(QFileInfo(path).fileName(), info.version, description));
        switch (CConsolePrompt::Confirm(tr("Upload firmware %1 to %2? [y/N]").arg(info.version, device))) {
        case CConsolePrompt::Confirmation::Yes:
            break;
        case CConsolePrompt::Confirmation::NoTerminal:
            m_device.Leave();
            return Fail(CliExit::Usage, tr("nothing sent: there is no terminal to ask on (--yes uploads without asking)"));
        case CConsolePrompt::Confirmation::No:
            m_device.Leave();
            if (CSignalWatcher::Requested())
                return Fail(CliExit::Interrupted, tr("interrupted; nothing sent"));
            return Fail(CliExit::Usage, tr("nothing sent"));
        }
    }
    status = Upload(info, image);
    if (status != CliExit::Ok)
        return status;

    // The new firmware runs: connect afresh and report what it says it is.
    status = m_device.Reconnect(true);
    if (status != CliExit::Ok)
        return Fail(status, tr("firmware %1 was uploaded, but connecting afterwards failed: %2")
                                .arg(info.version, m_device.Error()));
    const CDeviceProtocol::Identity& id = m_device.Found().identity;
    const QString now = QStringLiteral("%1.%2").arg(id.major).arg(id.minor);
    if (m_args.Json())
        CCliOutput::PrintJson(QJsonObject{{"file", path}, {"version", info.version}, {"firmware", now}});
    else
        CCliOutput::Report(tr("Firmware updated: the ESC now reports firmware %1.\n").arg(now));
    m_device.Leave();
    return CliExit::Ok;
}

int CCliFirmware::CheckBootloaderIdentity(const QString& path, const CUpdateFile::Info& info, const QString& device)
{
    // A boot loader that knows its device answers the identifier cells; one
    // that does not leaves --devid and --hwver as the only word.
    CDeviceProtocol& protocol = m_device.Session().Protocol();
    uint8_t deviceId = 0;
    uint8_t hardware = 0;
    if (!protocol.LoadCell(kCellDeviceId, deviceId) || !protocol.LoadCell(kCellHardware, hardware))
        return CliExit::Ok;
    if (info.deviceId == deviceId && info.hardwareVersion == hardware)
        return CliExit::Ok;
    m_device.Close();
    return Fail(CliExit::Usage, tr("%1 is made for device %2, hardware %3, but the boot loader of %4 reports device %5, "
                                   "hardware %6; nothing sent")
                                    .arg(path)
                                    .arg(info.deviceId)
                                    .arg(info.hardwareVersion)
                                    .arg(device)
                                    .arg(deviceId)
                                    .arg(hardware));
}

int CCliFirmware::Upload(const CUpdateFile::Info& info, CUpdateFile::Image& image)
{
    CDeviceSession& session = m_device.Session();
    // The boot loader talks at 19200 baud only.
    if (session.Port().LinkSpeed() > CDeviceProtocol::kDefaultLinkSpeed)
        session.Protocol().ChangeLinkSpeed(CDeviceProtocol::kDefaultLinkSpeed);
    if (!session.Port().IsOpen() || session.Port().LinkSpeed() != CDeviceProtocol::kDefaultLinkSpeed) {
        m_device.Leave();
        return Fail(CliExit::NoDevice, tr("the link could not be brought down to %1 baud; nothing sent")
                                           .arg(CDeviceProtocol::kDefaultLinkSpeed));
    }
    CFirmwareUploader uploader(session.Port(), session.Protocol());
    if (!uploader.QueryBootloader()) {
        m_device.Leave();
        return Fail(CliExit::Differs, tr("It seems that your device does not support the firmware upload"));
    }

    m_progress = std::make_unique<CProgressBar>(tr("flash %1").arg(info.version));
    QEventLoop loop;
    QString failure;
    bool finished = false;
    bool interrupted = false;
    QObject::connect(&uploader, &CFirmwareUploader::progress, &loop, [this, &uploader] {
        m_progress->Show(static_cast<int>(uploader.PagesDone()), static_cast<int>(uploader.PageCount()));
    });
    // A page is never sent twice; the user learns which one the ESC is
    // slow to take and how long the upload waits for it.
    QObject::connect(&uploader, &CFirmwareUploader::pageLate, &loop, [this, &uploader](int page) {
        m_progress->Finish();
        CConsolePrompt::Note(tr("waiting up to %1 s for the ESC to acknowledge page %2 of %3")
                                  .arg(uploader.GiveUpMs() / 1000.0)
                                  .arg(page + 1)
                                  .arg(uploader.PageCount()));
    });
    QObject::connect(&uploader, &CFirmwareUploader::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QObject::connect(&uploader, &CFirmwareUploader::failed, &loop, [&](const QString& reason) {
        failure = reason;
        loop.quit();
    });
    // Ctrl+C asks nothing: the page on the wire is the last one sent.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (CSignalWatcher::Requested()) {
            interrupted = true;
            uploader.Cancel();
            loop.quit();
        }
    });
    poll.start(kInterruptPollMs);
    const size_t pages = image.bytes.size() / CFirmwareUploader::kPageSize;
    if (uploader.Start(std::move(image.bytes)))
        loop.exec();
    else
        failure = tr("the image holds no whole page");
    poll.stop();
    m_progress->Finish();
    if (finished) {
        if (!m_args.Json())
            CCliOutput::Report(tr("Uploaded firmware %1 (%2 pages)\n").arg(info.version).arg(pages));
        return CliExit::Ok;
    }
    // Whatever the ESC's boot loader makes of a command now, it must not
    // be sent one: close the port as it is (the boot loader runs at 19200).
    m_device.Close();
    if (interrupted)
        return Fail(CliExit::Interrupted, tr("interrupted after %1 of %2 pages. %3")
                                              .arg(uploader.PagesDone())
                                              .arg(pages)
                                              .arg(tr(kStaysInBootloader)));
    return Fail(CliExit::Differs, tr("%1 %2").arg(failure, tr(kStaysInBootloader)));
}

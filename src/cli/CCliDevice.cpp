#include "cli/CCliDevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

#include "base/CSignalWatcher.h"
#include "cli/CliExit.h"
#include "library/CBackupFolder.h"
#include "library/CDeviceLibrary.h"
#include "library/CXmlAttributes.h"
#include "link/CPortOpenFailure.h"

namespace {
constexpr int kShortAnswerWindow = 8;
constexpr int kInterruptPollMs = 10;

QString tr(const char* text)
{
    return QCoreApplication::translate("CCliDevice", text);
}
}

CCliDevice::CCliDevice(CDeviceLibrary& library, IPrompt& prompt)
    : m_short(m_port, kShortAnswerWindow), m_session(m_port, m_short, library, prompt, *this)
{
    m_session.ReadLibraryTimeouts();
}

CCliDevice::~CCliDevice()
{
    Leave();
}

int CCliDevice::Fail(int status, const QString& error)
{
    m_error = error;
    return status;
}

bool CCliDevice::WaitConnectPeriod() const
{
    QDeadlineTimer deadline(static_cast<qint64>(m_session.ConnectPeriod()));
    while (!deadline.hasExpired()) {
        if (CSignalWatcher::Requested())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(kInterruptPollMs, deadline.remainingTime())));
    }
    return !CSignalWatcher::Requested();
}

int CCliDevice::Connect(const QString& portName, int maxSpeed, bool forIdentity)
{
    m_portName = portName;
    m_maxSpeed = maxSpeed;
    // Every connection starts at a handshake speed, so the upgrade may
    // raise it again (up to the bound), also after a reconnect.
    m_session.Protocol().SetSetupLinkSpeed(CDeviceProtocol::kDefaultLinkSpeed);
    m_session.Protocol().SetMaxLinkSpeed(maxSpeed);
    m_linkLost = false;
    using Outcome = CDeviceSession::Attempt::Outcome;
    for (int i = 0; i < kConnectAttempts; ++i) {
        if (CSignalWatcher::Requested() || (i > 0 && !WaitConnectPeriod()))
            return Fail(CliExit::Interrupted, tr("interrupted"));
        const CDeviceSession::Attempt attempt = m_session.TryConnect(portName);
        switch (attempt.outcome) {
        case Outcome::PortNotOpened:
            return Fail(CliExit::NoDevice, CPortOpenFailure::Text(CSerialPort::DevicePath(portName), m_port.LastError(),
                                                                  m_port.LastErrorText()));
        case Outcome::NoAnswer:
            continue;
        case Outcome::Unknown:
            m_found = attempt;
            return Fail(CliExit::NoDevice, tr("the ESC on %1 (type %2, firmware %3.%4) is not in the device library")
                                               .arg(CSerialPort::DevicePath(portName))
                                               .arg(attempt.identity.type)
                                               .arg(attempt.identity.major)
                                               .arg(attempt.identity.minor));
        case Outcome::Deprecated:
        case Outcome::FirmwareErased:
        case Outcome::Ready:
            return TakeDevice(attempt, forIdentity);
        }
    }
    return Fail(CliExit::NoDevice, tr("no ESC answered on %1").arg(CSerialPort::DevicePath(portName)));
}

int CCliDevice::TakeDevice(const CDeviceSession::Attempt& attempt, bool forIdentity)
{
    using Outcome = CDeviceSession::Attempt::Outcome;
    m_found = attempt;
    if (attempt.outcome != Outcome::Ready) {
        if (forIdentity) {
            m_session.AcceptForFirmware(attempt);
            return CliExit::Ok;
        }
        return Fail(CliExit::Differs, attempt.outcome == Outcome::Deprecated
                                          ? tr("the device library marks the firmware of this ESC as outdated; "
                                               "update it with TORV first")
                                          : tr("the firmware of this ESC seems corrupted (version %1.%2); "
                                               "upload firmware with TORV first")
                                                .arg(attempt.identity.major)
                                                .arg(attempt.identity.minor));
    }
    if (!m_session.LoadParameters(attempt))
        return Fail(CliExit::Differs, tr("Unable to load some cell values"));
    ExpandCategories();
    if (!m_session.UpgradeSpeed() || m_linkLost)
        return Fail(CliExit::NoDevice, tr("the link was lost while raising its speed (%1: %2)")
                                           .arg(CSerialPort::DevicePath(m_portName), m_port.LastErrorText()));
    return CliExit::Ok;
}

bool CCliDevice::KeepBackup(QString& error)
{
    const CBackupFolder::Result kept =
        CBackupFolder::Keep(m_session.File(), CXmlAttributes::Text(m_found.element, "name", QStringLiteral("ESC")));
    error = kept.error;
    return kept.ok;
}

void CCliDevice::ExpandCategories()
{
    // Every parameter is wanted here, also those of categories the library
    // shows collapsed: expanding reads them as the window does.
    CPropertyList& list = m_session.List();
    for (int i = 0; i < list.Count(); ++i) {
        IProperty* row = list.At(i);
        if (row->Kind() == IProperty::KindCategory && list.IsCollapsed(row)) {
            list.Expand(row);
            m_session.Model().OnCategoryExpanded(row);
        }
    }
}

int CCliDevice::Reconnect(bool forIdentity)
{
    m_session.Forget();
    return Connect(m_portName, m_maxSpeed, forIdentity);
}

int CCliDevice::OpenBootloader(const QString& portName)
{
    m_portName = portName;
    if (!m_port.Open(portName, CDeviceProtocol::kDefaultLinkSpeed))
        return Fail(CliExit::NoDevice, CPortOpenFailure::Text(CSerialPort::DevicePath(portName), m_port.LastError(),
                                                              m_port.LastErrorText()));
    return CliExit::Ok;
}

void CCliDevice::Close()
{
    m_port.Close();
}

bool CCliDevice::Leave()
{
    if (!m_port.IsOpen())
        return true;
    const bool confirmed = m_session.Forget();
    m_port.Close();
    return confirmed;
}

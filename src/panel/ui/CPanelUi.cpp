#include "panel/ui/CPanelUi.h"

#include <QCoreApplication>

#include "base/CTorvSettings.h"
#include "library/CDeviceSession.h"
#include "link/CSerialPort.h"
#include "link/IProtocolHost.h"
#include "logger/CLinkSpeedBoost.h"
#include "panel/CPanelChannels.h"
#include "panel/CTelemetryStream.h"
#include "panel/ui/CPanelDlg.h"

CPanelUi::CPanelUi(CDeviceSession& session, IProtocolHost& host, IPrompt& prompt, QWidget* parent)
    : m_session(session), m_host(host), m_prompt(prompt), m_parent(parent)
{
    m_settingsPath = CTorvSettings::Location(QCoreApplication::applicationDirPath());
}

int CPanelUi::Open()
{
    const std::vector<uint8_t> cells =
        CPanelChannels::CellCopy(m_session.Image(), m_session.Facts().initialDataSize);
    int result = 0;
    {
        CLinkSpeedBoost boost(m_session);
        m_host.StopRefreshTimer();
        // A failed speed change drops the device; the window reconnects.
        if (m_session.HasDevice() && m_session.Port().IsOpen()) {
            CTelemetryStream stream(m_session.Port());
            CPanelDlg dialog(stream, m_session.EscElement(), cells, m_prompt, m_settingsPath, m_parent);
            if (m_dialogHook)
                m_dialogHook(dialog);
            result = dialog.exec();
            // The dialog has stopped the stream; the port's default collector
            // is current again.
        }
    }
    if (m_session.HasDevice())
        m_host.RestartRefreshTimer();
    return result;
}

#include "logger/ui/CCurveUi.h"

#include <QCoreApplication>

#include "base/IPrompt.h"
#include "library/CDeviceSession.h"
#include "library/CXmlAttributes.h"
#include "link/IProtocolHost.h"
#include "logger/CCurve.h"
#include "logger/CCurveTransfer.h"
#include "logger/ui/CCurveDlg.h"

namespace {
const char* const kCaption = "TORV";

QString tr(const char* text)
{
    return QCoreApplication::translate("CCurveDlg", text);
}
}

std::vector<CCurveUi::MenuEntry> CCurveUi::MenuEntries(const pugi::xml_node& esc)
{
    std::vector<MenuEntry> entries;
    const std::vector<pugi::xml_node> elements = CCurve::Elements(esc);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (const std::optional<QString> name = CXmlAttributes::Text(elements[i], "name"))
            entries.push_back({*name, static_cast<int>(i) + 1});
    }
    return entries;
}

CCurveUi::CCurveUi(CDeviceSession& session, IProtocolHost& host, IPrompt& prompt, QWidget* parent)
    : m_session(session), m_host(host), m_prompt(prompt), m_parent(parent)
{
}

void CCurveUi::ShowError(const QString& text)
{
    m_prompt.Message(text, kCaption, IPrompt::Icon::Error, IPrompt::Buttons::Ok);
}

int CCurveUi::Open(int position)
{
    m_outcome.clear();
    const std::vector<pugi::xml_node> elements = CCurve::Elements(m_session.EscElement());
    if (position < 1 || position > static_cast<int>(elements.size()))
        return 0;
    const pugi::xml_node element = elements[static_cast<std::size_t>(position - 1)];
    if (!element.attribute("name") || !element.attribute("start") || !element.attribute("length"))
        return 0;
    QString error;
    const std::optional<CCurve> curve = CCurve::FromElement(element, &error);
    if (!curve) {
        ShowError(tr("The curve cannot be edited: %1.").arg(error));
        return 0;
    }

    CDeviceProtocol& protocol = m_session.Protocol();
    CCurveTransfer transfer(protocol, protocol, &m_session.Image());
    const CCurveTransfer::Points read = transfer.Read(*curve);

    m_host.StopRefreshTimer();
    int result = CCurveDlg::ResultCancel;
    std::vector<uint8_t> saved;
    {
        CCurveDlg dialog(curve->Name(), read.values, read.Complete(), m_parent);
        if (m_dialogHook)
            m_dialogHook(dialog);
        result = dialog.exec();
        saved = dialog.Points();
    }
    if (result == CCurveDlg::ResultSave) {
        const CCurveTransfer::WriteResult written =
            transfer.Write(*curve, read, std::vector<int>(saved.begin(), saved.end()));
        switch (written.status) {
        case CCurveTransfer::WriteResult::Status::Written:
            m_outcome = tr("Wrote the curve \"%1\" (%2 points) into the ESC.").arg(curve->Name()).arg(curve->Length());
            break;
        case CCurveTransfer::WriteResult::Status::Stopped:   // the window asks no stop
            break;
        case CCurveTransfer::WriteResult::Status::Refused:
            ShowError(tr("The curve was not written: %1.").arg(written.refusal));
            break;
        case CCurveTransfer::WriteResult::Status::Failed:
            if (written.deviceLost) {
                ShowError(tr("Unable to get response on writing the %1 cell\nReconnecting...")
                              .arg(written.failedCells.front()));
                m_host.ReconnectWithRestart();
                return result;
            }
            ShowError(tr("Unable to get response on writing the %1 cell").arg(written.failedCells.front()));
            break;
        }
    }
    m_host.RestartRefreshTimer();
    return result;
}

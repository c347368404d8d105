#pragma once

#include <QDialog>
#include <QStringList>

#include "link/CPortSetup.h"

class QCheckBox;
class QComboBox;

// "COM Port Setup": the port and the link speed that the main window keeps.
// The dialog only returns the chosen settings; closing the port and
// reconnecting are the caller's business.
class CComPortSetupDlg : public QDialog {
    Q_OBJECT
public:
    // Lists the ports that the system enumerates.
    explicit CComPortSetupDlg(const CPortSetup::Settings& settings, QWidget* parent = nullptr);
    // Lists the given device paths instead (in this order).
    CComPortSetupDlg(const CPortSetup::Settings& settings, const QStringList& ports,
                     QWidget* parent = nullptr);

    // The settings as confirmed with OK: port name, speed negated when
    // "Use default settings" is ticked. Meaningful after accept().
    CPortSetup::Settings Result() const { return m_result; }

    void accept() override;

private:
    void Build(const QStringList& ports);
    void UpdateSpeedEnabled();
    void FitPortBox();

    CPortSetup m_setup;
    CPortSetup::Settings m_result;
    QComboBox* m_port = nullptr;
    QComboBox* m_speed = nullptr;
    QCheckBox* m_useDefault = nullptr;
};

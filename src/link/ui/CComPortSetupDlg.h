#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <vector>

#include "link/CPortEnumerator.h"
#include "link/CPortSetup.h"

class QCheckBox;
class QComboBox;
class QStandardItemModel;
class QTreeView;

// "COM Port Setup": the port and the link speed that the main window keeps.
// The port list shows what each adapter says of itself and follows adapters
// being plugged in or out while the dialog is open. The dialog only returns
// the chosen settings; closing the port and reconnecting are the caller's
// business.
class CComPortSetupDlg : public QDialog {
    Q_OBJECT
public:
    using PortSource = std::function<std::vector<CPortEnumerator::Port>()>;

    // How often the port list is asked again while the dialog is open.
    static constexpr int kRefreshMs = 1000;

    // Lists the ports that the system enumerates.
    explicit CComPortSetupDlg(const CPortSetup::Settings& settings, QWidget* parent = nullptr);
    // Lists the ports that source gives, asked again every kRefreshMs.
    CComPortSetupDlg(const CPortSetup::Settings& settings, PortSource source, QWidget* parent = nullptr);
    // Lists the given device paths (in this order).
    CComPortSetupDlg(const CPortSetup::Settings& settings, const QStringList& ports,
                     QWidget* parent = nullptr);

    // The settings as confirmed with OK: port name (the stable name of a
    // listed port that has one), speed negated when "Use default settings"
    // is ticked. Meaningful after accept().
    CPortSetup::Settings Result() const { return m_result; }

    void accept() override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    enum Column { ColumnName, ColumnDevice, ColumnDescription, ColumnManufacturer, ColumnSerial, ColumnUsb, ColumnCount };

    void Build();
    void Refresh();
    void FillPorts(const std::vector<CPortEnumerator::Port>& ports);
    void FitPortList();
    void UpdateSpeedEnabled();
    void FitPortBox();

    CPortSetup m_setup;
    CPortSetup::Settings m_result;
    PortSource m_source;
    std::vector<CPortEnumerator::Port> m_ports;
    int m_refreshTimer = 0;
    QComboBox* m_port = nullptr;
    QStandardItemModel* m_portModel = nullptr;
    QTreeView* m_portView = nullptr;
    QComboBox* m_speed = nullptr;
    QCheckBox* m_useDefault = nullptr;
};

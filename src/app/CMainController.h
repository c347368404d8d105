#pragma once

#include <QObject>
#include <QString>
#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "base/IPrompt.h"
#include "library/CDeviceSession.h"
#include "library/CFileParameters.h"
#include "library/CUndoHistory.h"
#include "link/IProtocolHost.h"

class CDeviceLibrary;
class CSerialPort;
class CSynchroBytesCollector;
class IMainView;
class IPrompt;
class IProperty;

// The main window's logic: the connection attempts on the connect timer, the
// identification and firmware prompts, the parameter list, the speed upgrade,
// the refresh timer with its presence check, and every command that works on
// the device. The window shows what it is told through IMainView; every
// modal question goes through IPrompt.
class CMainController : public QObject, public IProtocolHost {
    Q_OBJECT
public:
    CMainController(CSerialPort& port, CSynchroBytesCollector& shortCollector, CDeviceLibrary& library,
                    IPrompt& prompt, IMainView& view, QObject* parent = nullptr);
    ~CMainController() override;

    // Reads the library's time-outs and starts the first connection attempt
    // after the connect period.
    void Open();
    // Drops the link (the ESC returns to 19200 baud), stops both timers and
    // empties the list; with restart, waits for the ESC again.
    void CleanAndReconnect(bool restart);
    // Closing the window: leaves the link without restarting.
    void Close();

    // Whether the command's condition holds now; a command whose condition
    // fails is not handled.
    bool IsCommandAvailable(int command) const;
    // Runs a device command; false when it is not handled here.
    bool HandleCommand(int command);

    // Before the firmware dialog opens: stops the refresh timer and brings a
    // faster link down to 19200 baud, where the boot loader listens. False
    // when no device is connected.
    bool PrepareFirmwareUpdate();
    // After an upload: the next connection reports the firmware version the
    // ESC then has.
    void ReportFirmwareAfterReconnect() { m_reportFirmware = true; }

    // The library update: asks the maker's server for a newer device
    // library and, when the user takes it, writes it over the library file,
    // loads it and identifies the device afresh against it. busy is told
    // when the network steps start (true) and end (false).
    void UpdateLibrary(const QString& libraryPath, const std::function<void(bool)>& busy = {});

    // What a parameter file would change in the connected ESC.
    struct Comparison {
        QString path;
        QString identityMismatch;   // empty when the file is of this ESC type and revision
        std::vector<CFileParameters::Change> changes;
    };
    // Asks for a parameter file and compares it with the ESC; none when no
    // file was chosen or it could not be read (the user has been told).
    std::optional<Comparison> CompareWithFile();
    // Loads the named parameter file as the load command does after its
    // file dialog.
    void LoadFile(const QString& path);
    // Writes the default of every parameter; one undo step.
    CParameterModel::RestoreReport RestoreDefaults();

    // Undo and redo of the parameter edits, each step written to the ESC
    // and read back.
    bool CanUndo() const { return m_connected && !m_firmwareMode && m_undo.CanUndo(); }
    bool CanRedo() const { return m_connected && !m_firmwareMode && m_undo.CanRedo(); }
    void Undo();
    void Redo();

    // Port setup confirmed: closes the port, takes the name and the speed
    // bound, and connects afresh.
    void ApplyPortSetup(const QString& portName, int linkSpeed);

    // Settings kept by the window.
    QString PortName() const { return m_portName; }
    void SetPortName(const QString& name) { m_portName = name; }
    QString SaveFolder() const { return m_saveFolder; }
    void SetSaveFolder(const QString& folder) { m_saveFolder = folder; }

    // State read by the window and by later dialogs.
    bool Connected() const { return m_connected; }
    bool FirmwareMode() const { return m_firmwareMode; }
    pugi::xml_node EscElement() const { return m_session.EscElement(); }
    uint32_t DeviceIdentifier() const { return m_session.Identity().type; }
    uint32_t HardwareVersion() const { return m_session.Identity().hardware; }
    uint32_t LoggerBlocks() const { return m_session.Facts().loggerBlocks; }
    bool MelodiesAllowed() const { return m_session.Facts().melodies; }
    uint32_t AttemptCount() const { return m_session.AttemptCount(); }
    uint32_t ConnectPeriod() const { return m_session.ConnectPeriod(); }
    uint32_t RefreshPeriod() const { return m_session.RefreshPeriod(); }
    bool RefreshTimerRunning() const { return m_refreshTimer != 0; }
    bool ConnectTimerRunning() const { return m_connectTimer != 0; }
    // While a chart of a log file is open no connection attempt may start;
    // Resume starts the attempts again only if Pause stopped them.
    void PauseConnectTimer();
    void ResumeConnectTimer();

    CDeviceSession& Session() { return m_session; }
    CPropertyList& List() { return m_session.List(); }
    CChanMap& Image() { return m_session.Image(); }
    CDeviceProtocol& Protocol() { return m_session.Protocol(); }
    CDeviceLibrary& Library() { return m_session.Library(); }
    CParameterModel& Model() { return m_session.Model(); }

    // IProtocolHost
    void StopRefreshTimer() override;
    void RestartRefreshTimer() override;
    void ReconnectWithRestart() override;

    // The connect timer's and the refresh timer's work, one tick each.
    void ConnectTick();
    void RefreshTick();

protected:
    void timerEvent(QTimerEvent* event) override;
    bool event(QEvent* event) override;

private:
    void OnListNotify(int code, IProperty* row);
    // Writes an edited row and keeps the step that undoes it.
    void OnEdit(IProperty* row);
    void StopConnectTimer();
    void StartRefreshTimer();
    void SetLinkState(int state);
    void ShowPortError();
    // Asks a connection-time question with both timers stopped, so that no
    // refresh or reconnect runs under the box.
    bool AskYes(const QString& text, IPrompt::Icon icon);
    void EnterFirmwareMode(const CDeviceSession::Attempt& attempt);
    void FinishConnection(const QString& text);
    void OnLoadStage(CParameterFile::LoadStage stage);
    void AfterLoad(const std::optional<CParameterFile::LoadReport>& report);
    void TakeUndoStep(bool undo);
    // Keeps a backup of the ESC's cells once for each set of settings found
    // on connecting in this run; the text to add to the connection message.
    QString KeepBackup();
    // The cells that restoring the defaults writes.
    std::vector<int> DefaultCells() const;

    CSerialPort& m_port;
    IPrompt& m_prompt;
    IMainView& m_view;

    CDeviceSession m_session;

    QString m_portName = QStringLiteral("COM1:");
    QString m_saveFolder;

    int m_connectTimer = 0;
    int m_refreshTimer = 0;
    // Set while a connection attempt runs: the exchanges of the attempt
    // must not start the refresh timer behind its back.
    bool m_connecting = false;

    bool m_connected = false;
    bool m_firmwareMode = false;
    bool m_reportFirmware = false;
    bool m_connectPaused = false;

    CUndoHistory m_undo;
    // The identity the undo steps belong to; another ESC forgets them.
    QString m_undoDevice;
    // The cells 0..63 before a parameter file is written, and the settings loaded.
    std::optional<CUndoHistory::Cells> m_beforeLoad;
    int m_loadedSettings = 0;
    // Shown instead of the connection message once the load's reconnect is done.
    QString m_afterConnect;
    // The settings (device and cells read) kept as a backup in this run.
    std::set<QString> m_backedUp;
};

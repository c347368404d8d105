#pragma once

#include <QDialog>
#include <QString>
#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <vector>

#include "controls/CLedCtrl.h"
#include "panel/CPanelChannels.h"
#include "panel/CRecentTracks.h"
#include "panel/CServoSource.h"

class CHeartBeatCtrl;
class CTelemetryStream;
class CTrackToolBar;
class IPrompt;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

// The measurement panel "Online Measurement": the live values of the ESC as
// seven-segment fields and as a strip chart, and the servo signal the ESC is
// to apply, from the slider, from a played-back track or from the ESC's own
// Temp A input.
//
// The dialog starts the telemetry stream once it is shown and stops it
// before it ends (OK, Cancel, Escape or the window's close): the last
// request carries servo value 1 and is waited for. The Stop button and the
// Space key stop playback and send servo value 1 at once, wherever the focus
// is. Before the panel opens a dialog of its own, and whenever answers go
// missing, the servo goes to 1 as well (see CServoSource). The caller raises the link speed and stops the main window's refresh
// timer around the dialog.
class CPanelDlg : public QDialog {
    Q_OBJECT
public:
    // The value fields, in the order of the panel tags.
    static constexpr int kFieldCount = 5;

    // esc: the identified ESC element (its panel channels); cells: the
    // first cells of the cell image. settingsPath: TORV.ini, where the
    // recent track list is kept.
    CPanelDlg(CTelemetryStream& stream, const pugi::xml_node& esc, const std::vector<uint8_t>& cells,
              IPrompt& prompt, const QString& settingsPath, QWidget* parent = nullptr);
    ~CPanelDlg() override;

    CTelemetryStream& Stream() { return m_stream; }
    CServoSource& Source() { return m_source; }
    QSlider* Slider() const { return m_slider; }
    CHeartBeatCtrl* Chart() const { return m_chart; }
    CTrackToolBar* ToolBar() const { return m_toolBar; }
    CLedCtrl* Field(CLedCtrl::Field field) const { return m_fields[static_cast<size_t>(field)]; }
    QString StatusText() const;

    // Loads a track file as Open does; false when it gave no track.
    bool LoadTrack(const QString& path);
    // Stops playback and the external source and sends servo value 1 now.
    void EmergencyStop();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void OnRecord(const QByteArray& record, int tickDifference, quint32 elapsedTicks);
    void OnAnswerMissing();
    void OnExternalToggled(bool on);
    void OnOpen();
    // Before the panel shows a dialog or pop-up of its own: playback
    // pauses, the external source goes off and the servo goes to 1.
    void IdleBeforeDialog();
    // The value of the next request (1 while an answer is missing or the
    // servo is held there).
    void SendServoValue();
    void OnPlay();
    void OnStop();
    void OnPauseToggled(bool paused);
    void OnRepeatToggled(bool repeat);
    // The enabled states and pressed looks that follow the playback state.
    void SyncPlaybackControls();
    void UpdateStatus();
    bool BelongsHere(QObject* object) const;

    CTelemetryStream& m_stream;
    IPrompt& m_prompt;
    QString m_settingsPath;
    CPanelChannels m_channels;
    CServoSource m_source;
    CRecentTracks m_recent;
    QString m_trackNote;

    QSlider* m_slider = nullptr;
    QCheckBox* m_external = nullptr;
    std::array<QCheckBox*, kFieldCount> m_traceBoxes{};
    std::array<CLedCtrl*, kFieldCount> m_fields{};
    QLabel* m_servoPulse = nullptr;
    QLabel* m_timeCode = nullptr;
    QLabel* m_tickDifference = nullptr;
    QLabel* m_sampleRate = nullptr;
    QLabel* m_playbackTime = nullptr;
    QLabel* m_status = nullptr;
    CHeartBeatCtrl* m_chart = nullptr;
    CTrackToolBar* m_toolBar = nullptr;
    QPushButton* m_stopButton = nullptr;
    bool m_closing = false;
};

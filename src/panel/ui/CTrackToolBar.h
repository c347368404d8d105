#pragma once

#include <QStringList>
#include <QToolBar>

#include <array>

class QAction;
class QMenu;
class QToolButton;

// The measurement panel's playback toolbar: nine flat buttons without
// tooltips. It only reports what the user pressed; the panel opens files,
// plays and sets the buttons' states. Save, Setup and Record stay disabled
// (the panel does not record); Play waits for a track; Stop and Pause work
// only while playing; Rewind (repeat) and Pause keep a pressed look.
class CTrackToolBar : public QToolBar {
    Q_OBJECT
public:
    // The buttons in toolbar order (their images 0-8), by command id.
    enum Command {
        Blank = 32804,
        Open = 32798,
        Save = 32799,
        Setup = 32800,
        Play = 32802,
        Rewind = 32803,
        Stop = 32805,
        Pause = 32806,
        Record = 32807,
    };
    static constexpr std::array<Command, 9> kCommands = {Blank, Open, Save, Setup, Play, Rewind, Stop, Pause, Record};

    explicit CTrackToolBar(QWidget* parent = nullptr);

    QAction* Action(Command command) const;
    // The drop-down list of the Open button (filled when it opens).
    QMenu* RecentMenu() const { return m_recentMenu; }

    // Full paths listed under Open's arrow, in list order.
    void SetRecentFiles(const QStringList& paths);
    const QStringList& RecentFiles() const { return m_recent; }

    // Play is enabled once a track is loaded.
    void SetTrackLoaded(bool loaded);
    // Stop and Pause are enabled while playing.
    void SetPlaying(bool playing);
    // The pressed look of Pause and Rewind, without any signal.
    void SetPaused(bool paused);
    void SetRepeat(bool repeat);

signals:
    void OpenRequested();
    void RecentChosen(const QString& path);
    void PlayRequested();
    void StopRequested();
    void PauseToggled(bool paused);
    void RepeatToggled(bool repeat);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillRecentMenu();

    std::array<QAction*, 9> m_actions{};
    QMenu* m_recentMenu = nullptr;
    QStringList m_recent;
};

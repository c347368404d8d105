#include "panel/ui/CTrackToolBar.h"

#include "controls/CThemedIcon.h"
#include "panel/CRecentTracks.h"

#include <QAction>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QToolButton>

namespace {

struct Button {
    const char* name;  // the command's name; none for the first button
    const char* objectName;
    const char* icon;
};

// In toolbar order, with the images 0-8.
constexpr std::array<Button, 9> kButtons = {{
    {nullptr, "trackBlank", ":/icons/track-new.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Open"), "trackOpen", ":/icons/track-open.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Save"), "trackSave", ":/icons/track-save.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Setup"), "trackSetup", ":/icons/track-setup.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Play"), "trackPlay", ":/icons/track-play.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Rewind"), "trackRewind", ":/icons/track-repeat.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Stop"), "trackStop", ":/icons/track-stop.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Pause"), "trackPause", ":/icons/track-pause.svg"},
    {QT_TRANSLATE_NOOP("CTrackToolBar", "Record"), "trackRecord", ":/icons/track-record.svg"},
}};

int IndexOf(CTrackToolBar::Command command)
{
    for (size_t i = 0; i < CTrackToolBar::kCommands.size(); ++i) {
        if (CTrackToolBar::kCommands[i] == command)
            return static_cast<int>(i);
    }
    return -1;
}

}

CTrackToolBar::CTrackToolBar(QWidget* parent)
    : QToolBar(parent)
{
    setObjectName(QStringLiteral("trackToolBar"));
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(16, 16));

    for (size_t i = 0; i < kButtons.size(); ++i) {
        const Button& button = kButtons[i];
        auto* action = new QAction(CThemedIcon::Load(QString::fromLatin1(button.icon)),
                                   button.name ? tr(button.name) : QString(), this);
        action->setObjectName(QString::fromLatin1(button.objectName));
        action->setData(static_cast<int>(kCommands[i]));
        m_actions[i] = action;
    }

    m_recentMenu = new QMenu(this);
    m_recentMenu->setObjectName(QStringLiteral("trackRecentMenu"));
    connect(m_recentMenu, &QMenu::aboutToShow, this, &CTrackToolBar::FillRecentMenu);
    Action(Open)->setMenu(m_recentMenu);

    for (QAction* action : m_actions)
        addAction(action);
    if (auto* openButton = qobject_cast<QToolButton*>(widgetForAction(Action(Open))))
        openButton->setPopupMode(QToolButton::MenuButtonPopup);
    // A flat toolbar without tooltips.
    for (QAction* action : m_actions) {
        if (QWidget* widget = widgetForAction(action)) {
            if (auto* button = qobject_cast<QToolButton*>(widget))
                button->setAutoRaise(true);
            widget->installEventFilter(this);
        }
    }

    Action(Rewind)->setCheckable(true);
    Action(Pause)->setCheckable(true);
    for (Command command : {Save, Setup, Record, Play, Stop, Pause})
        Action(command)->setEnabled(false);

    connect(Action(Open), &QAction::triggered, this, &CTrackToolBar::OpenRequested);
    connect(Action(Play), &QAction::triggered, this, &CTrackToolBar::PlayRequested);
    connect(Action(Stop), &QAction::triggered, this, &CTrackToolBar::StopRequested);
    connect(Action(Pause), &QAction::triggered, this, &CTrackToolBar::PauseToggled);
    connect(Action(Rewind), &QAction::triggered, this, &CTrackToolBar::RepeatToggled);
}

QAction* CTrackToolBar::Action(Command command) const
{
    const int index = IndexOf(command);
    return index >= 0 ? m_actions[static_cast<size_t>(index)] : nullptr;
}

void CTrackToolBar::SetRecentFiles(const QStringList& paths)
{
    m_recent = paths;
}

void CTrackToolBar::SetTrackLoaded(bool loaded)
{
    Action(Play)->setEnabled(loaded);
}

void CTrackToolBar::SetPlaying(bool playing)
{
    Action(Stop)->setEnabled(playing);
    Action(Pause)->setEnabled(playing);
}

void CTrackToolBar::SetPaused(bool paused)
{
    Action(Pause)->setChecked(paused);
}

void CTrackToolBar::SetRepeat(bool repeat)
{
    Action(Rewind)->setChecked(repeat);
}

void CTrackToolBar::FillRecentMenu()
{
    m_recentMenu->clear();
    for (int i = 0; i < m_recent.size(); ++i) {
        const QString path = m_recent[i];
        QAction* item = m_recentMenu->addAction(CRecentTracks::MenuText(i, path));
        connect(item, &QAction::triggered, this, [this, path] { emit RecentChosen(path); });
    }
}

bool CTrackToolBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        return true;
    return QToolBar::eventFilter(watched, event);
}

#include "panel/ui/CPanelDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "base/CIniFile.h"
#include "base/IPrompt.h"
#include "controls/CHeartBeatCtrl.h"
#include "panel/CTelemetryStream.h"
#include "panel/CTrackFile.h"
#include "panel/ui/CTrackToolBar.h"

namespace {

// Record positions the panel reads itself.
constexpr int kTempAWord = 20;
constexpr std::array<int, 5> kTraceWords = {11, 14, 16, 18, 20};  // traces 1-5

struct FieldRow {
    const char* label;
    int trace;
    CLedCtrl::Field field;
};

// In the order of the panel tags "servo", "RPM", "voltage", "current", "tempA".
constexpr std::array<FieldRow, CPanelDlg::kFieldCount> kRows = {{
    {QT_TRANSLATE_NOOP("CPanelDlg", "Servo pulse:"), 2, CLedCtrl::Field::Servo},
    {QT_TRANSLATE_NOOP("CPanelDlg", "RPM:"), 1, CLedCtrl::Field::Rpm},
    {QT_TRANSLATE_NOOP("CPanelDlg", "Voltage:"), 3, CLedCtrl::Field::Voltage},
    {QT_TRANSLATE_NOOP("CPanelDlg", "Current:"), 4, CLedCtrl::Field::Current},
    {QT_TRANSLATE_NOOP("CPanelDlg", "Temp A:"), 5, CLedCtrl::Field::TempA},
}};

const std::array<const char*, CPanelDlg::kFieldCount> kFieldNames = {"servoField", "rpmField", "voltageField",
                                                                     "currentField", "tempAField"};
const std::array<const char*, CPanelDlg::kFieldCount> kTraceNames = {"servoTrace", "rpmTrace", "voltageTrace",
                                                                     "currentTrace", "tempATrace"};

quint16 Word(const QByteArray& record, int at)
{
    if (at + 1 >= record.size())
        return 0;
    return static_cast<quint16>(static_cast<uint8_t>(record[at]) | static_cast<uint8_t>(record[at + 1]) << 8);
}

quint8 Byte(const QByteArray& record, int at)
{
    return at < record.size() ? static_cast<uint8_t>(record[at]) : 0;
}

QLabel* ValueLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("0"), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("00000")));
    return label;
}

}

CPanelDlg::CPanelDlg(CTelemetryStream& stream, const pugi::xml_node& esc, const std::vector<uint8_t>& cells,
                     IPrompt& prompt, const QString& settingsPath, QWidget* parent)
    : QDialog(parent),
      m_stream(stream),
      m_prompt(prompt),
      m_settingsPath(settingsPath),
      m_channels(esc, cells)
{
    setObjectName(QStringLiteral("panelDlg"));
    setWindowTitle(tr("Online Measurement"));
    BuildControls();

    CIniFile ini(m_settingsPath);
    if (!m_settingsPath.isEmpty())
        ini.Load();
    m_recent.Read(ini);
    m_toolBar->SetRecentFiles(m_recent.Entries());

    connect(&m_stream, &CTelemetryStream::RecordHandled, this, &CPanelDlg::OnRecord);
    connect(&m_stream, &CTelemetryStream::AnswerMissing, this, &CPanelDlg::OnAnswerMissing);

    // Space stops the servo wherever the focus is, also on the slider and
    // the buttons, which would take the key for themselves.
    qApp->installEventFilter(this);

    // Resizing: the size it opens with is the smallest; the strip chart
    // takes the extra room, the slider follows the width.
    setSizeGripEnabled(true);
    adjustSize();
    setMinimumSize(size());
}

CPanelDlg::~CPanelDlg()
{
    qApp->removeEventFilter(this);
}

void CPanelDlg::BuildControls()
{
    auto* top = new QVBoxLayout(this);

    m_toolBar = new CTrackToolBar(this);
    top->addWidget(m_toolBar);

    auto* middle = new QHBoxLayout;
    m_chart = new CHeartBeatCtrl(this);
    m_chart->setObjectName(QStringLiteral("chart"));
    // The chart takes whatever room the window gains.
    m_chart->setMinimumSize(m_chart->sizeHint().width(), 5 * 36);
    m_chart->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    middle->addWidget(m_chart, 1);

    auto* fields = new QGridLayout;
    for (size_t i = 0; i < kRows.size(); ++i) {
        const FieldRow& row = kRows[i];
        auto* box = new QCheckBox(tr(row.label), this);
        box->setObjectName(QString::fromLatin1(kTraceNames[i]));
        // The box shows the colour of its trace in the chart.
        QPixmap swatch(10, 10);
        swatch.fill(m_chart->DrawnTraceColour(row.trace));
        box->setIcon(QIcon(swatch));
        box->setChecked(true);
        const int trace = row.trace;
        connect(box, &QCheckBox::toggled, this, [this, trace](bool on) { m_chart->SetTraceVisible(trace, on); });
        m_traceBoxes[i] = box;

        auto* led = new CLedCtrl(this);
        led->setObjectName(QString::fromLatin1(kFieldNames[i]));
        led->SetColour(CLedCtrl::FieldColour(row.field));
        led->setFixedSize(150, led->sizeHint().height());
        m_fields[i] = led;

        fields->addWidget(box, static_cast<int>(i), 0);
        fields->addWidget(led, static_cast<int>(i), 1);
    }
    middle->addLayout(fields);
    top->addLayout(middle, 1);

    auto* texts = new QHBoxLayout;
    m_servoPulse = ValueLabel("servoPulseText", this);
    m_timeCode = ValueLabel("timeCodeText", this);
    m_tickDifference = ValueLabel("tickDifferenceText", this);
    m_sampleRate = ValueLabel("sampleRateText", this);
    m_playbackTime = ValueLabel("playbackTimeText", this);
    texts->addWidget(new QLabel(tr("Servo pulse:"), this));
    texts->addWidget(m_servoPulse);
    texts->addWidget(new QLabel(tr("Time code:"), this));
    texts->addWidget(m_timeCode);
    texts->addWidget(m_tickDifference);
    texts->addWidget(new QLabel(tr("Sample rate:"), this));
    texts->addWidget(m_sampleRate);
    texts->addWidget(new QLabel(tr("Playback:"), this));
    texts->addWidget(m_playbackTime);
    texts->addStretch(1);
    top->addLayout(texts);

    m_external = new QCheckBox(tr("Use external servocontrol (Termo A)"), this);
    m_external->setObjectName(QStringLiteral("externalServo"));
    connect(m_external, &QCheckBox::toggled, this, &CPanelDlg::OnExternalToggled);
    top->addWidget(m_external);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusText"));
    m_status->setWordWrap(true);
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);
    m_status->setMinimumHeight(m_status->fontMetrics().height());
    top->addWidget(m_status);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("servoSlider"));
    m_slider->setRange(1, 255);
    m_slider->setValue(1);
    m_slider->setTickInterval(16);
    m_slider->setTickPosition(QSlider::TicksBelow);
    // A move by the user (not by the program) ends a hold at 1.
    connect(m_slider, &QSlider::actionTriggered, this, [this] {
        m_source.Release();
        UpdateStatus();
    });
    top->addWidget(m_slider);

    auto* buttons = new QHBoxLayout;
    m_stopButton = new QPushButton(tr("Stop"), this);
    m_stopButton->setObjectName(QStringLiteral("emergencyStop"));
    m_stopButton->setToolTip(tr("Stop playback and set the servo to 1 (Space)"));
    m_stopButton->setAutoDefault(false);
    m_stopButton->setDefault(false);
    m_stopButton->setFont(bold);
    m_stopButton->setMinimumWidth(m_stopButton->sizeHint().width() * 2);
    connect(m_stopButton, &QPushButton::clicked, this, &CPanelDlg::EmergencyStop);
    buttons->addWidget(m_stopButton);
    buttons->addStretch(1);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    box->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons->addWidget(box);
    top->addLayout(buttons);

    connect(m_toolBar, &CTrackToolBar::OpenRequested, this, &CPanelDlg::OnOpen);
    // The recent list covers the panel like a dialog does.
    connect(m_toolBar->RecentMenu(), &QMenu::aboutToShow, this, &CPanelDlg::IdleBeforeDialog);
    connect(m_toolBar, &CTrackToolBar::RecentChosen, this, [this](const QString& path) { LoadTrack(path); });
    connect(m_toolBar, &CTrackToolBar::PlayRequested, this, &CPanelDlg::OnPlay);
    connect(m_toolBar, &CTrackToolBar::StopRequested, this, &CPanelDlg::OnStop);
    connect(m_toolBar, &CTrackToolBar::PauseToggled, this, &CPanelDlg::OnPauseToggled);
    connect(m_toolBar, &CTrackToolBar::RepeatToggled, this, &CPanelDlg::OnRepeatToggled);
}

QString CPanelDlg::StatusText() const
{
    return m_status->text();
}

void CPanelDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The first request carries the slider's start position, 1.
    if (!m_stream.IsRunning() && !m_closing) {
        if (!m_stream.Start())
            m_status->setText(tr("The link to the ESC is closed."));
        m_stream.SetServoValue(static_cast<uint8_t>(m_slider->value()));
    }
}

void CPanelDlg::done(int result)
{
    // The ESC is told to stop the motor before the panel goes.
    m_closing = true;
    m_source.Halt();
    m_stream.SetServoValue(1);
    m_stream.Stop();
    QDialog::done(result);
    m_closing = false;
}

void CPanelDlg::OnRecord(const QByteArray& record, int tickDifference, quint32 elapsedTicks)
{
    m_channels.SetRecord(record);
    m_channels.Update();
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const CPanelChannel* channel = m_channels.Find(QString::fromLatin1(CPanelChannels::Tags()[i]));
        // A field without a channel, or whose formula never gave a value,
        // keeps its text.
        if (channel != nullptr && !channel->Text().isEmpty())
            m_fields[i]->SetText(channel->Text());
    }

    CHeartBeatSample sample;
    sample.time = elapsedTicks;
    sample.values[0] = static_cast<quint16>(Byte(record, CTelemetryStream::kServoPulseByte) * 16);
    for (size_t i = 0; i < kTraceWords.size(); ++i)
        sample.values[i + 1] = Word(record, kTraceWords[i]);
    m_chart->AddSample(sample, tickDifference);

    m_timeCode->setText(QString::number(Byte(record, CTelemetryStream::kCounterByte)));
    m_tickDifference->setText(QString::number(tickDifference));
    m_sampleRate->setText(QString::number(Byte(record, CTelemetryStream::kSampleRateByte)));
    m_servoPulse->setText(QString::number(Byte(record, CTelemetryStream::kServoPulseByte)));

    const bool wasPlaying = m_source.Player().IsPlaying();
    if (const std::optional<quint8> value = m_source.OnRecord(Word(record, kTempAWord),
                                                              static_cast<quint32>(tickDifference)))
        m_slider->setValue(*value);
    if (wasPlaying)
        m_playbackTime->setText(QString::number(m_source.Player().PlaybackTime()));
    if (wasPlaying != m_source.Player().IsPlaying())
        SyncPlaybackControls();
    SendServoValue();
    UpdateStatus();
}

void CPanelDlg::OnAnswerMissing()
{
    m_prompt.Beep();
    if (m_source.OnNoAnswer()) {
        // The answers stopped: the servo is held at 1 where the user sees it.
        {
            const QSignalBlocker block(m_external);
            m_external->setChecked(false);
        }
        SyncPlaybackControls();
        m_slider->setValue(1);
    }
    SendServoValue();
    UpdateStatus();
}

void CPanelDlg::SendServoValue()
{
    m_stream.SetServoValue(m_source.ValueToSend(static_cast<quint8>(m_slider->value())));
}

void CPanelDlg::IdleBeforeDialog()
{
    m_source.Idle();
    {
        const QSignalBlocker block(m_external);
        m_external->setChecked(false);
    }
    SyncPlaybackControls();
    m_slider->setValue(1);
    m_stream.SetServoValue(1);
    UpdateStatus();
}

void CPanelDlg::OnExternalToggled(bool on)
{
    if (m_source.SetExternal(on) != on) {
        const QSignalBlocker block(m_external);
        m_external->setChecked(false);
    }
    SyncPlaybackControls();
    UpdateStatus();
}

void CPanelDlg::OnOpen()
{
    // The file dialog covers the Stop button and takes the Space key.
    IdleBeforeDialog();
    IPrompt::FileRequest request;
    request.filters = {tr("TPlay Files (*.tplay)"), tr("All Files (*.*)")};
    request.defaultExtension = QStringLiteral(".tplay");
    request.mustExist = true;
    if (!m_recent.Entries().isEmpty())
        request.initialFolder = QFileInfo(m_recent.Entries().last()).absolutePath();
    if (const std::optional<QString> path = m_prompt.OpenFile(request))
        LoadTrack(*path);
}

bool CPanelDlg::LoadTrack(const QString& path)
{
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    std::optional<CTrack> track = CTrackFile::Read(fullPath);
    // An unreadable or empty file changes nothing; the line below says why.
    if (!track) {
        m_trackNote = tr("The track file cannot be read: %1").arg(QDir::toNativeSeparators(fullPath));
        UpdateStatus();
        return false;
    }
    if (track->empty()) {
        m_trackNote = tr("The track file holds no segments: %1").arg(QDir::toNativeSeparators(fullPath));
        UpdateStatus();
        return false;
    }
    if (const std::optional<quint8> value = m_source.Player().SetTrack(std::move(*track)))
        m_slider->setValue(*value);
    m_trackNote.clear();
    m_recent.Add(fullPath);
    if (!m_settingsPath.isEmpty())
        m_recent.Save(m_settingsPath);
    m_toolBar->SetRecentFiles(m_recent.Entries());
    SyncPlaybackControls();
    UpdateStatus();
    return true;
}

void CPanelDlg::OnPlay()
{
    const std::optional<quint8> value = m_source.Play(static_cast<quint8>(m_slider->value()));
    if (!value)
        return;
    {
        const QSignalBlocker block(m_external);
        m_external->setChecked(false);
    }
    SyncPlaybackControls();
    m_playbackTime->setText(QString::number(m_source.Player().PlaybackTime()));
    m_slider->setValue(*value);
    UpdateStatus();
}

void CPanelDlg::OnStop()
{
    const quint8 saved = m_source.Stop();
    SyncPlaybackControls();
    m_slider->setValue(saved);
    SendServoValue();
    UpdateStatus();
}

void CPanelDlg::OnPauseToggled(bool paused)
{
    m_source.SetPaused(paused);
    SyncPlaybackControls();
    UpdateStatus();
}

void CPanelDlg::OnRepeatToggled(bool repeat)
{
    if (m_source.Player().IsRepeat() != repeat)
        m_source.Player().ToggleRepeat();
    SyncPlaybackControls();
}

void CPanelDlg::EmergencyStop()
{
    m_source.Halt();
    {
        const QSignalBlocker block(m_external);
        m_external->setChecked(false);
    }
    SyncPlaybackControls();
    m_slider->setValue(1);
    m_stream.SetServoValue(1);
    UpdateStatus();
}

void CPanelDlg::SyncPlaybackControls()
{
    const CTrackPlayer& player = m_source.Player();
    const bool playing = player.IsPlaying();
    m_external->setEnabled(!playing);
    m_slider->setEnabled(!playing && !m_source.IsExternal());
    m_toolBar->SetTrackLoaded(player.HasTrack());
    m_toolBar->SetPlaying(playing);
    m_toolBar->SetPaused(player.IsPaused());
    m_toolBar->SetRepeat(player.IsRepeat());
}

void CPanelDlg::UpdateStatus()
{
    QString text;
    if (m_source.IsLinkLost()) {
        text = m_source.PausedByLinkLoss() ? tr("No answer from the ESC: servo set to 1, playback paused")
                                           : tr("No answer from the ESC: servo set to 1");
    } else if (m_source.IsHeld()) {
        text = m_source.PausedByLinkLoss()
                   ? tr("The ESC answers again; the servo stays at 1 until you press Pause to go on with the track")
                   : tr("The ESC answers again; the servo stays at 1 until you set it");
    } else {
        text = m_trackNote;
    }
    if (m_status->text() != text)
        m_status->setText(text);
}

bool CPanelDlg::BelongsHere(QObject* object) const
{
    // Only the panel's own controls: a file dialog open over the panel is a
    // window of its own, where Space is typed as usual.
    auto* widget = qobject_cast<QWidget*>(object);
    return widget != nullptr && widget->window() == this;
}

bool CPanelDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && isVisible() &&
            BelongsHere(watched)) {
            if (event->type() == QEvent::KeyPress) {
                if (!key->isAutoRepeat())
                    EmergencyStop();
                return true;
            }
            // Keep the key from any shortcut; the press follows.
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

#include "panel/ui/CPanelDlg.h"

#include "base/CIniFile.h"
#include "common/CScriptedPrompt.h"
#include "common/CSimulatedLink.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"
#include "common/WaitFor.h"
#include "controls/CHeartBeatCtrl.h"
#include "library/CDeviceLibrary.h"
#include "panel/CRecentTracks.h"
#include "panel/CTelemetryStream.h"
#include "panel/ui/CTrackToolBar.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QApplication>::Register();

using C = CTrackToolBar;

// The scripted prompt that also lets the test look at the panel while its
// file dialog is open.
class CWatchingPrompt : public CScriptedPrompt {
public:
    std::function<void()> onOpenFile;
    std::optional<QString> OpenFile(const FileRequest& request) override
    {
        if (onOpenFile)
            onOpenFile();
        return CScriptedPrompt::OpenFile(request);
    }
};

class PanelDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")));
        const pugi::xml_node esc = library.Root().select_node("//ESC[Parameter/@panel_tag]").node();
        ASSERT_TRUE(esc);
        ASSERT_TRUE(link.OpenPort(19200));
        // A busy machine must not turn slow answers into misses.
        stream.Collector().SetAnswerLimitMs(2000);
        settingsPath = dir.filePath(QStringLiteral("TORV.ini"));
        dialog = std::make_unique<CPanelDlg>(stream, esc, std::vector<uint8_t>(128, 0), prompt, settingsPath);
    }

    void Open()
    {
        dialog->show();
        ASSERT_TRUE(WaitFor([&] { return stream.RecordsHandled() > 0; }));
    }

    // Waits until a record handled after this call satisfies the condition.
    bool WaitRecord(const std::function<bool()>& condition)
    {
        return WaitFor([&] {
            const uint64_t before = stream.RecordsHandled();
            return WaitFor([&] { return stream.RecordsHandled() > before; }) && condition();
        });
    }

    std::vector<uint8_t> TelemetryServoValues()
    {
        std::vector<uint8_t> values;
        for (const auto& frame : link.ReceivedFrames()) {
            if (frame.size() == 5 && frame[1] == 'T')
                values.push_back(frame[3]);
        }
        return values;
    }

    bool WaitRequestCarrying(uint8_t servo)
    {
        return WaitFor([&] {
            const auto values = TelemetryServoValues();
            return !values.empty() && values.back() == servo;
        });
    }

    QString TrackFile(const char* name, const QByteArray& text) { return TestFiles::Write(dir.path(), name, text); }

    QString Label(const char* name) const { return dialog->findChild<QLabel*>(name)->text(); }
    QCheckBox* Box(const char* name) const { return dialog->findChild<QCheckBox*>(name); }
    QAction* Button(C::Command command) const { return dialog->ToolBar()->Action(command); }
    const CTrackPlayer& Player() { return dialog->Source().Player(); }

    QTemporaryDir dir;
    QString settingsPath;
    CDeviceLibrary library;
    CSimulatedLink link;
    CTelemetryStream stream{link.Port()};
    CWatchingPrompt prompt;
    std::unique_ptr<CPanelDlg> dialog;
};

} // namespace

TEST_F(PanelDlgTest, FirstRequestCarriesOneAndRecordsFillTheFieldsTextsAndChart)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Online Measurement"));
    EXPECT_EQ(dialog->Slider()->value(), 1);
    EXPECT_EQ(dialog->minimumSize(), dialog->size());
    Open();
    ASSERT_FALSE(TelemetryServoValues().empty());
    EXPECT_EQ(TelemetryServoValues().front(), 1);

    link.Sim().SetTelemetryBytes(11, {0x34, 0x12});
    dialog->Slider()->setValue(120);
    ASSERT_TRUE(WaitRecord([&] { return Label("servoPulseText") == QStringLiteral("120"); }));
    EXPECT_EQ(dialog->Field(CLedCtrl::Field::Servo)->Text(), QStringLiteral("1469 us"));  // 1000 + 119 * 1000 / 254
    EXPECT_EQ(dialog->Field(CLedCtrl::Field::Rpm)->Text(), QStringLiteral("46600"));
    EXPECT_EQ(dialog->Field(CLedCtrl::Field::Rpm)->Colour(), QColor(255, 0, 0));
    EXPECT_EQ(Label("sampleRateText"), QStringLiteral("50"));
    EXPECT_EQ(Label("timeCodeText").toInt(), stream.PreviousCounter());
    EXPECT_GT(dialog->Chart()->SampleCount(), 0);
    EXPECT_TRUE(dialog->StatusText().isEmpty());

    // The strip chart takes the room the window gains.
    const QSize chart = dialog->Chart()->size();
    dialog->resize(dialog->size() + QSize(300, 200));
    EXPECT_TRUE(WaitFor([&] { return dialog->Chart()->width() >= chart.width() + 250; }))
        << "the chart stays " << dialog->Chart()->width() << " wide";
    EXPECT_GE(dialog->Chart()->height(), chart.height() + 150);
}

TEST_F(PanelDlgTest, ExternalServoFollowsTempAAndUncheckedRpmHidesOnlyItsTrace)
{
    Open();
    link.Sim().SetTempA(1250);
    Box("externalServo")->setChecked(true);
    EXPECT_FALSE(dialog->Slider()->isEnabled());
    ASSERT_TRUE(WaitRequestCarrying(100));
    EXPECT_EQ(dialog->Slider()->value(), 100);
    Box("externalServo")->setChecked(false);
    EXPECT_TRUE(dialog->Slider()->isEnabled());

    Box("rpmTrace")->setChecked(false);
    EXPECT_FALSE(dialog->Chart()->IsTraceVisible(1));
    EXPECT_TRUE(dialog->Chart()->IsTraceVisible(2));
    link.Sim().SetTelemetryBytes(11, {0x10, 0x00});
    ASSERT_TRUE(WaitRecord([&] { return dialog->Field(CLedCtrl::Field::Rpm)->Text() == QStringLiteral("160"); }));
}

TEST_F(PanelDlgTest, OpenedTrackPlaysRepeatsAndStopReturnsToTheSavedPosition)
{
    const QString path = TrackFile("ramp.tplay", "# ramp\n0.2,10,200\n0.5,200\n");
    Open();
    EXPECT_FALSE(Button(C::Play)->isEnabled());
    prompt.AnswerOpenFile(path);
    Button(C::Open)->trigger();
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].file.filters,
              QStringList({QStringLiteral("TPlay Files (*.tplay)"), QStringLiteral("All Files (*.*)")}));
    EXPECT_EQ(prompt.Requests()[0].file.defaultExtension, QStringLiteral(".tplay"));
    EXPECT_TRUE(prompt.Requests()[0].file.mustExist);
    EXPECT_TRUE(Button(C::Play)->isEnabled());
    CIniFile ini(settingsPath);
    ini.Load();
    EXPECT_EQ(ini.String(CRecentTracks::Section(), QStringLiteral("Document1"), {}), path);

    // Without repeat the track ends and the slider keeps its last value.
    dialog->Slider()->setValue(30);
    Button(C::Play)->trigger();
    EXPECT_FALSE(dialog->Slider()->isEnabled());
    EXPECT_FALSE(Box("externalServo")->isEnabled());
    EXPECT_TRUE(Button(C::Stop)->isEnabled());
    ASSERT_TRUE(WaitRequestCarrying(200));
    ASSERT_TRUE(WaitFor([&] { return !Player().IsPlaying(); }));
    EXPECT_EQ(dialog->Slider()->value(), 200);
    EXPECT_TRUE(dialog->Slider()->isEnabled());
    EXPECT_FALSE(Button(C::Stop)->isEnabled());

    // With repeat it starts over at the first value, until Stop.
    dialog->Slider()->setValue(40);
    Button(C::Rewind)->trigger();
    Button(C::Play)->trigger();
    bool reachedEnd = false;
    bool startedOver = false;
    QObject::connect(dialog->Slider(), &QSlider::valueChanged, dialog.get(), [&](int value) {
        reachedEnd = reachedEnd || value == 200;
        startedOver = startedOver || (reachedEnd && value < 50);
    });
    ASSERT_TRUE(WaitFor([&] { return startedOver; }));
    EXPECT_TRUE(Player().IsPlaying());
    Button(C::Stop)->trigger();
    EXPECT_EQ(dialog->Slider()->value(), 40);
    EXPECT_TRUE(dialog->Slider()->isEnabled());
    ASSERT_TRUE(WaitRequestCarrying(40));
}

TEST_F(PanelDlgTest, SpaceAndTheStopButtonStopPlaybackAndSendServoOne)
{
    auto* stop = dialog->findChild<QPushButton*>("emergencyStop");
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop->text(), QStringLiteral("Stop"));
    Open();
    ASSERT_TRUE(dialog->LoadTrack(TrackFile("long.tplay", "60,150\n")));
    EXPECT_FALSE(stop->isDefault());
    for (const bool space : {true, false}) {
        Button(C::Play)->trigger();
        ASSERT_TRUE(WaitRequestCarrying(150));
        if (space) {
            // A dialog over the panel (a file dialog, say) takes Space as text.
            QDialog over(dialog.get());
            auto* edit = new QLineEdit(&over);
            over.show();
            QTest::keyClick(edit, Qt::Key_Space);
            EXPECT_EQ(edit->text(), QStringLiteral(" "));
            EXPECT_TRUE(Player().IsPlaying());
            dialog->Slider()->setFocus();
            QTest::keyClick(dialog->Slider(), Qt::Key_Space);
        } else {
            stop->click();
        }
        EXPECT_FALSE(Player().IsPlaying()) << space;
        EXPECT_EQ(dialog->Slider()->value(), 1) << space;
        EXPECT_EQ(stream.ServoValue(), 1) << space;
        EXPECT_TRUE(dialog->isVisible()) << space;
        // Every request written after the stop carries 1; the first one seen
        // may have been on its way already.
        link.Sim().ClearFrames();
        ASSERT_TRUE(WaitFor([&] { return TelemetryServoValues().size() >= 3; }));
        const auto values = TelemetryServoValues();
        for (size_t i = 1; i < values.size(); ++i)
            EXPECT_EQ(values[i], 1) << space << " request " << i;
    }
}

TEST_F(PanelDlgTest, ClosingInAnyWaySendsServoOneLastAndEndsTheStream)
{
    const std::vector<std::pair<const char*, std::function<void(CPanelDlg&)>>> ways = {
        {"ok", [](CPanelDlg& d) { d.findChild<QPushButton*>("ok")->click(); }},
        {"cancel", [](CPanelDlg& d) { d.findChild<QPushButton*>("cancel")->click(); }},
        {"escape", [](CPanelDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close", [](CPanelDlg& d) { d.close(); }},
    };
    for (const auto& [name, closeIt] : ways) {
        Open();
        dialog->Slider()->setValue(90);
        ASSERT_TRUE(WaitRequestCarrying(90)) << name;
        closeIt(*dialog);
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_FALSE(stream.IsRunning()) << name;
        ASSERT_FALSE(TelemetryServoValues().empty());
        EXPECT_EQ(TelemetryServoValues().back(), 1) << name;
    }
}

TEST_F(PanelDlgTest, WhenAnswersStopEveryLaterRequestCarriesOneUntilTheUserActs)
{
    stream.Collector().SetAnswerLimitMs(100);
    Open();
    ASSERT_TRUE(dialog->LoadTrack(TrackFile("long.tplay", "60,120\n")));
    for (const bool playing : {true, false}) {
        if (playing) {
            Button(C::Play)->trigger();
        } else {
            Button(C::Stop)->trigger();
            dialog->Slider()->setValue(120);
        }
        ASSERT_TRUE(WaitRequestCarrying(120)) << playing;
        link.Sim().ClearFrames();

        link.Sim().SetUnplugged(true);
        const QString lost = playing ? QStringLiteral("No answer from the ESC: servo set to 1, playback paused")
                                     : QStringLiteral("No answer from the ESC: servo set to 1");
        ASSERT_TRUE(WaitFor([&] { return dialog->StatusText() == lost; })) << playing;
        EXPECT_EQ(dialog->Slider()->value(), 1);
        EXPECT_EQ(Player().IsPaused(), playing);
        EXPECT_EQ(Button(C::Pause)->isChecked(), playing);
        const int beeps = prompt.Beeps();
        EXPECT_GE(beeps, CServoSource::kDefaultNoAnswerLimit);
        ASSERT_TRUE(WaitFor([&] { return prompt.Beeps() > beeps; })) << "it keeps asking";

        link.Sim().SetUnplugged(false);
        const uint64_t handled = stream.RecordsHandled();
        ASSERT_TRUE(WaitFor([&] { return stream.RecordsHandled() > handled + 10; })) << playing;
        EXPECT_EQ(dialog->StatusText(),
                  playing ? QStringLiteral("The ESC answers again; the servo stays at 1 until you press Pause to "
                                           "go on with the track")
                          : QStringLiteral("The ESC answers again; the servo stays at 1 until you set it"));
        // From the first request the silent ESC did not take, every request
        // carries 1, before and after the answers returned.
        size_t after = 0;
        bool silent = false;
        for (const CEscSimulator::Frame& frame : link.Sim().Frames()) {
            if (frame.bytes.size() != 5 || frame.bytes[1] != 'T')
                continue;
            if (silent) {
                EXPECT_EQ(frame.bytes[3], 1) << playing << " request " << after;
                ++after;
            }
            silent = silent || !frame.understood;
        }
        EXPECT_GT(after, 10u) << playing;

        // The user acts: the track goes on, or the slider is moved.
        if (playing) {
            Button(C::Pause)->trigger();
            EXPECT_FALSE(Player().IsPaused());
        } else {
            dialog->Slider()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        }
        ASSERT_TRUE(WaitRequestCarrying(playing ? 120 : 1 + dialog->Slider()->pageStep())) << playing;
        EXPECT_TRUE(dialog->StatusText().isEmpty());
    }
}

TEST_F(PanelDlgTest, OpenAndTheRecentListPauseTheTrackAndSendOneBeforeTheyShow)
{
    Open();
    const QString path = TrackFile("long.tplay", "60,150\n");
    ASSERT_TRUE(dialog->LoadTrack(path));
    for (const bool menu : {false, true}) {
        Button(C::Play)->trigger();
        ASSERT_TRUE(WaitRequestCarrying(150)) << menu;
        bool idleUnder = false;
        auto look = [&] {
            idleUnder = Player().IsPaused() && dialog->Slider()->value() == 1 && WaitRequestCarrying(1);
        };
        if (menu) {
            dialog->ToolBar()->RecentMenu()->popup(dialog->mapToGlobal(QPoint(0, 0)));
            look();
            dialog->ToolBar()->RecentMenu()->hide();
        } else {
            prompt.onOpenFile = look;
            prompt.AnswerOpenFile(std::nullopt);
            Button(C::Open)->trigger();
        }
        EXPECT_TRUE(idleUnder) << menu;
        // It stays so until the user acts.
        EXPECT_TRUE(Player().IsPaused()) << menu;
        EXPECT_TRUE(Button(C::Pause)->isChecked()) << menu;
        const uint64_t handled = stream.RecordsHandled();
        ASSERT_TRUE(WaitFor([&] { return stream.RecordsHandled() > handled + 3; }));
        EXPECT_EQ(stream.ServoValue(), 1) << menu;
    }
}

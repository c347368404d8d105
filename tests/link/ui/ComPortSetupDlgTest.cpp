#include "link/ui/CComPortSetupDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "common/TestApplication.h"
#include "common/WaitFor.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

const QStringList kPorts = {QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyS0"),
                            QStringLiteral("/dev/ttyACM0")};

struct Dialog {
    explicit Dialog(const CPortSetup::Settings& settings, const QStringList& ports = kPorts)
        : dlg(settings, ports)
    {
        port = dlg.findChild<QComboBox*>(QStringLiteral("PortCombo"));
        speed = dlg.findChild<QComboBox*>(QStringLiteral("SpeedCombo"));
        useDefault = dlg.findChild<QCheckBox*>(QStringLiteral("UseDefaultCheck"));
    }
    // Clicks OK; what the dialog then gives back, as "port speed".
    QString ClickOk()
    {
        auto* box = dlg.findChild<QDialogButtonBox*>();
        QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        return QStringLiteral("%1 %2").arg(dlg.Result().portName).arg(dlg.Result().speed);
    }

    CComPortSetupDlg dlg;
    QComboBox* port = nullptr;
    QComboBox* speed = nullptr;
    QCheckBox* useDefault = nullptr;
};

}  // namespace

TEST(ComPortSetupDlg, ShowsTitleLabelsAndTheSpeedsInOrder)
{
    Dialog d({QStringLiteral("/dev/ttyS0"), 19200});
    ASSERT_TRUE(d.port && d.speed && d.useDefault);
    EXPECT_EQ(d.dlg.windowTitle(), QStringLiteral("COM Port Setup"));
    EXPECT_EQ(d.useDefault->text(), QStringLiteral("Use default settings"));
    QStringList labels;
    for (const QLabel* label : d.dlg.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("Port:")));
    EXPECT_TRUE(labels.contains(QStringLiteral("Baudrate:")));

    QStringList speeds;
    for (int i = 0; i < d.speed->count(); ++i)
        speeds << d.speed->itemText(i);
    EXPECT_EQ(speeds.join(u','), QStringLiteral("1200,2400,4800,9600,19200,38400,56000,57600,115200,"
                                                "128000,230400,256000,460800"));
    // The ports keep the enumeration order, unsorted.
    ASSERT_EQ(d.port->count(), 3);
    EXPECT_EQ(d.port->itemText(0), QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(d.port->itemText(2), QStringLiteral("/dev/ttyACM0"));
    EXPECT_TRUE(d.port->isEditable());
}

TEST(ComPortSetupDlg, OpensShowingTheStoredPortSpeedAndDefaultChoice)
{
    const struct {
        const char* port;
        int speed;
        QStringList ports;
        int portIndex;  // -1: not listed, shown as text
        int speedIndex;
        bool useDefault;
    } cases[] = {
        {"/dev/ttyS0", 19200, kPorts, 1, CPortSetup::SpeedIndex(19200), false},
        {"/dev/ttyACM0", -57600, kPorts, 2, CPortSetup::SpeedIndex(57600), true},
        {"COM1:", 19200, kPorts, -1, CPortSetup::SpeedIndex(19200), false},
        {"/dev/ttyUSB0", 14400, {}, -1, -1, false},  // no ports found, a speed the list does not offer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        Dialog d({QString::fromLatin1(c.port), c.speed}, c.ports);
        EXPECT_EQ(d.port->currentIndex(), c.portIndex);
        EXPECT_EQ(d.port->currentText(), QString::fromLatin1(c.port));
        EXPECT_EQ(d.speed->currentIndex(), c.speedIndex);
        EXPECT_EQ(d.useDefault->isChecked(), c.useDefault);
        EXPECT_EQ(d.speed->isEnabled(), !c.useDefault);
    }
}

TEST(ComPortSetupDlg, OkReturnsWhatTheWidgetsHoldAndCancelTheGivenSettings)
{
    Dialog unchanged({QStringLiteral("/dev/ttyS0"), 19200});
    EXPECT_EQ(unchanged.ClickOk(), QStringLiteral("/dev/ttyS0 19200"));

    // Ticking the box disables the speeds and negates the speed.
    Dialog ticked({QStringLiteral("/dev/ttyS0"), 19200});
    QTest::mouseClick(ticked.useDefault, Qt::LeftButton);
    EXPECT_TRUE(ticked.useDefault->isChecked());
    EXPECT_FALSE(ticked.speed->isEnabled());
    EXPECT_EQ(ticked.ClickOk(), QStringLiteral("/dev/ttyS0 -19200"));

    // Clearing it enables them again and restores the sign.
    Dialog cleared({QStringLiteral("/dev/ttyACM0"), -57600});
    cleared.useDefault->setChecked(false);
    EXPECT_TRUE(cleared.speed->isEnabled());
    cleared.speed->setCurrentIndex(CPortSetup::SpeedIndex(115200));
    EXPECT_EQ(cleared.ClickOk(), QStringLiteral("/dev/ttyACM0 115200"));

    Dialog typed({QStringLiteral("COM1:"), 19200});
    typed.port->lineEdit()->selectAll();
    QTest::keyClicks(typed.port->lineEdit(), QStringLiteral("/dev/pts/4"));
    EXPECT_EQ(typed.ClickOk(), QStringLiteral("/dev/pts/4 19200"));

    // An emptied port and no chosen speed keep the previous values.
    Dialog empty({QStringLiteral("/dev/ttyUSB0"), 14400}, QStringList());
    empty.port->lineEdit()->clear();
    EXPECT_EQ(empty.ClickOk(), QStringLiteral("/dev/ttyUSB0 14400"));

    Dialog cancelled({QStringLiteral("/dev/ttyS0"), 19200});
    cancelled.useDefault->setChecked(true);
    cancelled.dlg.reject();
    EXPECT_EQ(cancelled.dlg.result(), QDialog::Rejected);
    EXPECT_EQ(cancelled.dlg.Result().speed, 19200);
}

TEST(ComPortSetupDlg, PortBoxShowsALongByIdPathWholeWhetherGivenOrTyped)
{
    const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    Dialog d({byId, 19200});
    d.dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d.dlg));
    QLineEdit* edit = d.port->lineEdit();
    const auto fits = [edit](const QString& text) {
        return edit->width() - edit->textMargins().left() - edit->textMargins().right() >
               edit->fontMetrics().horizontalAdvance(text);
    };
    EXPECT_TRUE(fits(byId));

    const QString typed = byId + QStringLiteral("-b");
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    EXPECT_TRUE(WaitFor([&] { return fits(typed); }));
    EXPECT_EQ(d.port->toolTip(), typed);
}

TEST(ComPortSetupDlg, ListShowsWhatEachAdapterSaysAndOkKeepsTheStableName)
{
    CPortEnumerator::Port usb;
    usb.path = QStringLiteral("/dev/ttyUSB0");
    usb.byId = QStringLiteral("/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_0001-if00-port0");
    usb.description = QStringLiteral("CP2102 USB to UART Bridge Controller");
    usb.manufacturer = QStringLiteral("Silicon Labs");
    usb.serialNumber = QStringLiteral("0001");
    usb.vid = 0x10c4;
    usb.pid = 0xea60;
    CPortEnumerator::Port plain;
    plain.path = QStringLiteral("/dev/ttyS0");
    CComPortSetupDlg dlg({QStringLiteral("/dev/ttyUSB0"), 19200}, [&] { return std::vector{usb, plain}; });
    auto* port = dlg.findChild<QComboBox*>(QStringLiteral("PortCombo"));
    ASSERT_TRUE(port);

    // The entry that the stored device path names is chosen and shows its
    // stable name; the opened list has a column for each thing known.
    EXPECT_EQ(port->currentIndex(), 0);
    EXPECT_EQ(port->currentText(), usb.byId);
    const QAbstractItemModel* model = port->model();
    ASSERT_EQ(model->rowCount(), 2);
    QStringList row;
    for (int column = 1; column < model->columnCount(); ++column)
        row << model->index(0, column).data().toString();
    EXPECT_EQ(row.join(u'|'), QStringLiteral("/dev/ttyUSB0|CP2102 USB to UART Bridge Controller|Silicon Labs|0001|10c4:ea60"));
    EXPECT_EQ(model->index(1, 0).data().toString(), QStringLiteral("/dev/ttyS0"));

    // A typed device path of a listed adapter is kept by its stable name.
    port->lineEdit()->selectAll();
    QTest::keyClicks(port->lineEdit(), QStringLiteral("/dev/ttyUSB0"));
    dlg.accept();
    EXPECT_EQ(dlg.Result().portName, usb.byId);
}

TEST(ComPortSetupDlg, ListFollowsAdaptersPluggedInAndOutAndKeepsTheTypedPort)
{
    // Two adapters' device files and the folder of their stable links.
    QTemporaryDir dev;
    QTemporaryDir byId;
    const QString first = dev.filePath(QStringLiteral("ttyUSB0"));
    const QString second = dev.filePath(QStringLiteral("ttyUSB1"));
    for (const QString& device : {first, second}) {
        QFile file(device);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString firstLink = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A1-if00-port0"));
    const QString secondLink = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_B2-if00-port0"));
    ASSERT_TRUE(QFile::link(first, firstLink));
    CComPortSetupDlg dlg({QStringLiteral("/dev/pts/torv-typed"), 19200},
                         [&] { return CPortEnumerator(byId.path()).Ports(); });
    auto* port = dlg.findChild<QComboBox*>(QStringLiteral("PortCombo"));
    const auto listed = [port](const QString& name) { return port->findText(name) >= 0; };
    ASSERT_TRUE(listed(firstLink));

    ASSERT_TRUE(QFile::remove(firstLink));
    ASSERT_TRUE(QFile::link(second, secondLink));
    EXPECT_TRUE(WaitFor([&] { return listed(secondLink) && !listed(firstLink); }))
        << "the list did not follow the replugged adapter";
    EXPECT_EQ(port->currentText(), QStringLiteral("/dev/pts/torv-typed"));
}

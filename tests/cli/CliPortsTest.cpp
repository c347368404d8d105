// torv-cli and the serial ports of the machine: their stable names, the
// driver's low latency setting in the trace, and a port that another
// program holds.

#include <QJsonArray>
#include <QJsonObject>

#include "CliFixture.h"
#include "link/CSerialPort.h"

TEST_F(CliTest, PortsListStableNamesWhichServeAsPortAndTheTraceTellsTheLatency)
{
    StartSim();
    const QString link = dir.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    ASSERT_TRUE(QFile::link(Port(), link));
    qputenv("TORV_SERIAL_BY_ID", QFile::encodeName(dir.path()));
    const QJsonDocument json = Json({"ports"});
    const CliRun text = Cli({"ports"});
    qunsetenv("TORV_SERIAL_BY_ID");

    QJsonObject found;
    for (const QJsonValue& value : json.array())
        if (value[QStringLiteral("byId")] == link)
            found = value.toObject();
    EXPECT_EQ(found.value(QStringLiteral("path")).toString(), Port()) << json.toJson().toStdString();
    for (const char* key : {"description", "manufacturer", "serialNumber"})
        EXPECT_TRUE(found.value(QLatin1String(key)).isString()) << key;
    for (const char* key : {"vid", "pid"})
        EXPECT_TRUE(found.value(QLatin1String(key)).isNull()) << key;
    EXPECT_TRUE(text.out.split(QLatin1Char('\n')).contains(QStringLiteral("%1  %2").arg(Port(), link))) << text.out;

    const CliRun identify = Cli({"-v", "--port", link, "identify"});
    EXPECT_EQ(identify.status, 0) << identify.err;
    EXPECT_TRUE(
        Holds(identify.err, QStringLiteral("%1 (%2): the driver offers no low latency setting").arg(link, Port())));
}

TEST_F(CliTest, APortHeldByAnotherProgramNamesIt)
{
    StartSim();
    CSerialPort holder;
    ASSERT_TRUE(holder.Open(Port(), 19200));
    const CliRun run = Cli({"identify"});
    EXPECT_EQ(run.status, 3);
    const QString name = QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1).left(15);
    EXPECT_EQ(run.err, QStringLiteral("torv-cli: Cannot open %1: %2 (process %3) holds the port. Close it first.\n")
                           .arg(Port(), name)
                           .arg(QCoreApplication::applicationPid()));
}

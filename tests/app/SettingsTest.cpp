#include "app/CIniFile.h"
#include "app/CTorvSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QString IniPath() const { return m_dir.filePath(QStringLiteral("TORV.ini")); }

    void WriteIni(const QByteArray& content)
    {
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray ReadIni() const
    {
        QFile file(IniPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }

    CTorvSettings Load() const
    {
        CIniFile ini(IniPath());
        ini.Load();
        return CTorvSettings::Read(ini, m_folder);
    }

    QTemporaryDir m_dir;
    QString m_folder = m_dir.path();
};

TEST_F(SettingsTest, FreshFolderGivesTheDefaults)
{
    const CTorvSettings s = Load();
    EXPECT_EQ(s.escFile, m_folder + "/Brisko.esc");
    EXPECT_EQ(s.firmwareFolder, m_folder);
    EXPECT_EQ(s.melodiesFolder, m_folder);
    EXPECT_EQ(s.saveFolder, m_folder);
    EXPECT_EQ(s.port, "COM1:");
    EXPECT_EQ(s.cx, -1);
    EXPECT_EQ(s.cy, -1);
    EXPECT_EQ(s, CTorvSettings::Defaults(m_folder));
}

TEST_F(SettingsTest, AllSevenKeysRoundTripAsPlainEditableText)
{
    CTorvSettings s;
    s.escFile = QStringLiteral("/home/jiří/ESC files/Brisko=new.esc");
    s.firmwareFolder = "/opt/fw";
    s.melodiesFolder = "/home/me/Melodies";
    s.saveFolder = "/home/me/Saved";
    s.port = "/dev/ttyUSB0";
    s.cx = 640;
    s.cy = -480;
    ASSERT_TRUE(s.Save(IniPath(), true));

    EXPECT_EQ(Load(), s);
    EXPECT_EQ(ReadIni(),
              QStringLiteral("[TORV]\nESCFile=/home/jiří/ESC files/Brisko=new.esc\nFirmwareFolder=/opt/fw\n"
                             "MelodiesFolder=/home/me/Melodies\nPort=/dev/ttyUSB0\nSaveFolder=/home/me/Saved\n"
                             "cx=640\ncy=-480\n")
                  .toUtf8());
}

TEST_F(SettingsTest, SavingWithoutTheLibraryLeavesTheStoredLibraryAlone)
{
    WriteIni("[TORV]\nESCFile=/kept.esc\nPort=COM2:\n");
    CTorvSettings s = Load();
    s.escFile = "/changed.esc";
    s.port = "/dev/ttyACM0";
    ASSERT_TRUE(s.Save(IniPath(), false));

    const CTorvSettings back = Load();
    EXPECT_EQ(back.escFile, "/kept.esc");
    EXPECT_EQ(back.port, "/dev/ttyACM0");
}

TEST_F(SettingsTest, GarbledFilesGiveDefaultsOrTheReadableParts)
{
    const CTorvSettings defaults = CTorvSettings::Defaults(m_folder);

    QByteArray junk;
    for (int i = 0; i < 2048; ++i)
        junk.append(static_cast<char>((i * 131 + 7) % 256));
    WriteIni(junk);
    EXPECT_EQ(Load(), defaults);

    WriteIni("Port=/dev/ttyUSB0\n[NotTORV]\nESCFile=/x.esc\ncx=10\n");
    EXPECT_EQ(Load(), defaults);

    WriteIni("[TORV]\nPort=/dev/first\nPort=/dev/second\ncx=wide\ncy=300px\n");
    CTorvSettings s = Load();
    EXPECT_EQ(s.port, "/dev/first");
    EXPECT_EQ(s.cx, -1);
    EXPECT_EQ(s.cy, 300);
}

TEST_F(SettingsTest, OverlongValuesAreCut)
{
    const QString longPath = "/" + QString(400, QLatin1Char('p'));
    WriteIni(QStringLiteral("[TORV]\nESCFile=%1\nFirmwareFolder=%1\nMelodiesFolder=%1\nSaveFolder=%1\n"
                            "Port=/dev/serial/by-id/usb-FTDI_FT232R\ncx=123456789012345\n")
                 .arg(longPath)
                 .toUtf8());
    const CTorvSettings s = Load();
    EXPECT_EQ(s.escFile, longPath.left(259));
    EXPECT_EQ(s.firmwareFolder, longPath.left(259));
    EXPECT_EQ(s.melodiesFolder, longPath.left(259));
    EXPECT_EQ(s.saveFolder, longPath.left(259));
    EXPECT_EQ(s.port, "/dev/serial/by-id/usb-FTDI_FT232R");
    EXPECT_EQ(s.cx, -1);
}

TEST_F(SettingsTest, OtherSectionsSurviveTheRewrite)
{
    const QByteArray chart = "[Chart.RPM]\nColor=255\nWidth=2\n";
    const QByteArray tracks = "[Panel.Tracks]\n1=/home/me/a.tplay\n";
    WriteIni(chart + "\n[TORV]\nPort=COM1:\n\n" + tracks);
    CTorvSettings s = Load();
    s.cx = 500;
    ASSERT_TRUE(s.Save(IniPath(), true));

    const QByteArray written = ReadIni();
    EXPECT_TRUE(written.startsWith(chart));
    EXPECT_TRUE(written.endsWith(tracks));
    EXPECT_EQ(Load().cx, 500);
}

TEST_F(SettingsTest, UnwritableLocationsAreReportedWithoutHarm)
{
    const CTorvSettings s = CTorvSettings::Defaults(m_folder);
    WriteIni("[TORV]\n");
    EXPECT_FALSE(s.Save(IniPath() + "/TORV.ini", true));
    EXPECT_FALSE(s.Save("/proc/torv-test/TORV.ini", true));
    // A file that exists but cannot be read is not replaced.
    ASSERT_TRUE(QDir(m_folder).mkdir("folder.ini"));
    EXPECT_FALSE(s.Save(m_dir.filePath("folder.ini"), true));
    EXPECT_TRUE(QFileInfo(m_dir.filePath("folder.ini")).isDir());
}

TEST_F(SettingsTest, FileLivesBesideTheProgramWhenItsFolderIsWritableElseInTheUserConfiguration)
{
    EXPECT_EQ(CTorvSettings::Location(m_folder, "/home/me/.config"), m_folder + "/TORV.ini");

    WriteIni("");
    const QString notAFolder = IniPath() + "/bin";
    EXPECT_EQ(CTorvSettings::Location(notAFolder, "/home/me/.config"), "/home/me/.config/TORV/TORV.ini");
    EXPECT_EQ(CTorvSettings::Location("/proc/self", m_folder + "/config"), m_folder + "/config/TORV/TORV.ini");

    // Saving there creates the TORV folder.
    const QString fallback = CTorvSettings::Location(notAFolder, m_folder + "/config");
    EXPECT_TRUE(CTorvSettings::Defaults(notAFolder).Save(fallback, true));
    EXPECT_TRUE(QFileInfo::exists(m_folder + "/config/TORV/TORV.ini"));
}

}

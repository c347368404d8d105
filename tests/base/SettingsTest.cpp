#include "base/CDataFiles.h"
#include "base/CIniFile.h"
#include "base/CTorvSettings.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "common/TestFiles.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QString IniPath() const { return m_dir.filePath(QStringLiteral("TORV.ini")); }
    void WriteIni(const QByteArray& content) const { TestFiles::Write(m_dir.path(), "TORV.ini", content); }
    QByteArray ReadIni() const { return TestFiles::Read(IniPath()); }
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
    const CTorvSettings expected { m_folder + "/Brisko.esc", m_folder, m_folder, m_folder, "COM1:", -1, -1 };
    EXPECT_EQ(Load(), expected);
    EXPECT_EQ(CTorvSettings::Defaults(m_folder), expected);
}

TEST_F(SettingsTest, InstalledProgramTakesTheSampleLibraryFromItsDataFolderAndKeepsSettingsWithTheUser)
{
    // An installation: prefix/bin without a library, prefix/share/torv with one.
    const QString bin = m_folder + "/bin";
    for (const char* folder : {"bin", "share/torv", "data/torv"})
        ASSERT_TRUE(QDir(m_folder).mkpath(folder));
    TestFiles::Write(m_folder + "/share/torv", "Brisko.esc", {});
    TestFiles::Write(m_folder + "/data/torv", "other.esc", {});
    const CTorvSettings installed = CTorvSettings::Defaults(bin);
    EXPECT_EQ(installed.escFile, m_folder + "/share/torv/Brisko.esc");
    // Its file dialogs start in the user's home, not in prefix/bin.
    for (const QString& folder : {installed.firmwareFolder, installed.melodiesFolder, installed.saveFolder})
        EXPECT_EQ(folder, QDir::homePath());
    // Installed, it keeps its settings with the user's, though it could
    // write beside itself.
    EXPECT_EQ(CTorvSettings::Location(bin, m_folder + "/config"), m_folder + "/config/TORV/TORV.ini");
    EXPECT_EQ(CDataFiles::Find(bin, "other.esc", QStringList{m_folder + "/data"}), m_folder + "/data/torv/other.esc");
    EXPECT_EQ(CDataFiles::Find(bin, "missing.esc", QStringList{m_folder + "/data"}), std::nullopt);

    // One beside the program wins, and so does the folder.
    TestFiles::Write(bin, "Brisko.esc", {});
    EXPECT_EQ(CTorvSettings::Defaults(bin).escFile, bin + "/Brisko.esc");
    EXPECT_EQ(CTorvSettings::Defaults(bin).saveFolder, bin);
    EXPECT_EQ(CTorvSettings::Location(bin, m_folder + "/config"), bin + "/TORV.ini");
}

// Long values too are read and written back whole.
TEST_F(SettingsTest, AllSevenKeysRoundTripWholeAsPlainTextBesideOtherSections)
{
    const QString longPath = "/" + QString(400, QLatin1Char('p'));
    const QString longPort = "/dev/serial/by-id/usb-FTDI_FT232R_" + QString(300, QLatin1Char('x'));
    WriteIni("[Chart.RPM]\nColor=255\n\n[Panel.Tracks]\n1=/home/me/a.tplay");
    CTorvSettings s { QStringLiteral("/home/jiří/ESC files/Brisko=new.esc") + longPath, longPath + "/fw",
                      longPath + "/Melodies", longPath + "/Saved", longPort, 640, -480 };
    ASSERT_TRUE(s.Save(IniPath(), true));
    EXPECT_EQ(Load(), s);
    EXPECT_EQ(ReadIni(),
              QStringLiteral("[Chart.RPM]\nColor=255\n\n[Panel.Tracks]\n1=/home/me/a.tplay\n\n"
                             "[TORV]\nESCFile=/home/jiří/ESC files/Brisko=new.esc%1\nFirmwareFolder=%1/fw\n"
                             "MelodiesFolder=%1/Melodies\nPort=%2\nSaveFolder=%1/Saved\ncx=640\ncy=-480\n")
                  .arg(longPath, longPort)
                  .toUtf8());
}

TEST_F(SettingsTest, GarbledFilesGiveDefaultsAndCanBeRewritten)
{
    const CTorvSettings defaults = CTorvSettings::Defaults(m_folder);
    QByteArray junk;
    for (int i = 0; i < 2048; ++i)
        junk.append(static_cast<char>((i * 131 + 7) % 256));
    junk.append("\0\xff\xfe[TORV\0=\x01", 11);
    WriteIni(junk);
    EXPECT_EQ(Load(), defaults);
    CTorvSettings changed = defaults;
    changed.port = "/dev/ttyUSB0";
    ASSERT_TRUE(changed.Save(IniPath(), true));
    EXPECT_EQ(Load(), changed);
    // The junk is kept ahead of the new section.
    EXPECT_TRUE(ReadIni().startsWith(junk.left(std::min(junk.indexOf('\n'), junk.indexOf('\r')))));

    WriteIni("Port=/dev/ttyUSB0\n[NotTORV]\nESCFile=/x.esc\ncx=10\n");
    EXPECT_EQ(Load(), defaults);
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

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/ScopedEnv.h"
#include "common/TestFiles.h"
#include "library/CBackupFolder.h"

namespace {

TEST(BackupFolder, FollowsXdgDataHomeNamesFilesSafelyAndKeepsTheNewestFifty)
{
    {
        ScopedEnv dataHome("XDG_DATA_HOME", "/data/home");
        EXPECT_EQ(CBackupFolder::Path(), QStringLiteral("/data/home/TORV/backups"));
        dataHome.Set("relative");
        EXPECT_EQ(CBackupFolder::Path(), QDir::homePath() + QStringLiteral("/.local/share/TORV/backups"));
    }

    const QDateTime when(QDate(2026, 5, 4), QTime(13, 2, 1));
    EXPECT_EQ(CBackupFolder::FileName(QStringLiteral("Brisko Pro 80"), when),
              QStringLiteral("Brisko Pro 80-2026-05-04_13-02-01.escp"));
    EXPECT_EQ(CBackupFolder::FileName(QStringLiteral("../a/b"), when), QStringLiteral("_._a_b-2026-05-04_13-02-01.escp"));
    EXPECT_EQ(CBackupFolder::FileName(QStringLiteral("  "), when), QStringLiteral("ESC-2026-05-04_13-02-01.escp"));

    QTemporaryDir dir;
    const QDateTime start = QDateTime::currentDateTime().addDays(-1);
    for (int i = 0; i < CBackupFolder::kKept + 3; ++i) {
        QFile file(TestFiles::Write(QDir(dir.path()), QStringLiteral("esc-%1.escp").arg(i, 2, 10, QLatin1Char('0')),
                                    QByteArray(128, 0)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        // Names and ages in opposite orders: the age decides.
        ASSERT_TRUE(file.setFileTime(start.addSecs(-60 * i), QFileDevice::FileModificationTime));
    }
    TestFiles::Write(QDir(dir.path()), QStringLiteral("notes.txt"), "kept");
    CBackupFolder::Prune(dir.path());
    const QStringList left = QDir(dir.path()).entryList({QStringLiteral("*.escp")}, QDir::Files, QDir::Name);
    ASSERT_EQ(left.size(), CBackupFolder::kKept);
    EXPECT_EQ(left.front(), QStringLiteral("esc-00.escp"));
    EXPECT_EQ(left.back(), QStringLiteral("esc-49.escp"));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("notes.txt"))));
}

TEST(BackupFolder, NewBackupsNeverReplaceOldOnesAndSettingsAlreadyKeptAreFound)
{
    QTemporaryDir dir;
    const QDateTime when(QDate(2026, 5, 4), QTime(13, 2, 1));
    const QString first = TestFiles::Write(QDir(dir.path()), CBackupFolder::FileName("Pro 80", when), "A");
    // A second backup in the same second gets a name of its own.
    const QString second = CBackupFolder::FreePath(dir.path(), CBackupFolder::FileName("Pro 80", when));
    EXPECT_EQ(second, dir.filePath("Pro 80-2026-05-04_13-02-01-2.escp"));
    TestFiles::Write(QDir(dir.path()), QFileInfo(second).fileName(), "A");
    EXPECT_EQ(CBackupFolder::FreePath(dir.path(), CBackupFolder::FileName("Pro 80", when)),
              dir.filePath("Pro 80-2026-05-04_13-02-01-3.escp"));

    // The newest other backup of the device decides; another device's files
    // (a name that only begins alike) do not count.
    const auto age = [](const QString& path, int seconds) {
        QFile file(path);
        return file.open(QIODevice::ReadWrite) &&
               file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime);
    };
    ASSERT_TRUE(age(first, 30));
    ASSERT_TRUE(age(second, 0));
    ASSERT_TRUE(age(TestFiles::Write(QDir(dir.path()), CBackupFolder::FileName("Pro 80-HV", when), "B"), 10));
    EXPECT_EQ(CBackupFolder::EarlierCopy(dir.path(), second, "Pro 80"), first);
    const QString other = TestFiles::Write(QDir(dir.path()), CBackupFolder::FileName("Pro 80", when.addSecs(5)), "C");
    ASSERT_TRUE(age(other, 0));
    EXPECT_EQ(CBackupFolder::EarlierCopy(dir.path(), other, "Pro 80"), std::nullopt);
}

}

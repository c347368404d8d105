#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
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

}

#include "base/CAtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "common/FileSizeLimit.h"
#include "common/TestFiles.h"

#include <sys/stat.h>

namespace {

TEST(AtomicFileTest, AFailedFlushKeepsTheOldFileAndReportsTheFailure)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.escp"));
    const QByteArray previous("the user's earlier file");
    ASSERT_TRUE(CAtomicFile::WriteWhole(path, previous));

    bool written = true;
    QString error;
    {
        const FileSizeLimit limit(64);
        written = CAtomicFile::WriteWhole(path, QByteArray(4096, 'x'), &error);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(TestFiles::Read(path), previous);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.escp")});
}

TEST(AtomicFileTest, OnlyRegularFilesAreReplaced)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    CAtomicFile file(fifo);
    EXPECT_FALSE(file.Open());
    EXPECT_FALSE(file.ErrorString().isEmpty());
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    // A link to a regular file is written through, the link itself stays.
    const QString target = dir.filePath(QStringLiteral("target.ini"));
    const QString link = dir.filePath(QStringLiteral("link.ini"));
    ASSERT_TRUE(CAtomicFile::WriteWhole(target, "old"));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_TRUE(CAtomicFile::WriteWhole(link, "new"));
    EXPECT_EQ(TestFiles::Read(target), QByteArray("new"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

}

#include "base/CAtomicFile.h"

#include <QCoreApplication>
#include <QFileInfo>

CAtomicFile::CAtomicFile(QString path)
    : m_path(std::move(path))
{
}

CAtomicFile::~CAtomicFile()
{
    Cancel();
}

bool CAtomicFile::Open()
{
    Cancel();
    const QFileInfo target(m_path);
    // QFileInfo follows links, so a link to a regular file is accepted and
    // a link to a FIFO is not.
    if (target.exists() && !target.isFile()) {
        m_error = QCoreApplication::translate("CAtomicFile", "%1 is not a regular file").arg(m_path);
        return false;
    }
    m_file = std::make_unique<QSaveFile>(m_path);
    if (!m_file->open(QIODevice::WriteOnly)) {
        m_error = m_file->errorString();
        m_file.reset();
        return false;
    }
    return true;
}

bool CAtomicFile::Write(const QByteArray& bytes)
{
    if (!m_file)
        return false;
    if (m_file->write(bytes) != bytes.size()) {
        m_error = m_file->errorString();
        return false;
    }
    return true;
}

bool CAtomicFile::Commit()
{
    if (!m_file)
        return false;
    // QSaveFile::commit can report success although its buffered bytes never
    // reached the disk; flushing first makes that failure visible here.
    if (!m_file->flush() || m_file->error() != QFileDevice::NoError) {
        m_error = m_file->errorString();
        Cancel();
        return false;
    }
    const bool committed = m_file->commit();
    if (!committed)
        m_error = m_file->errorString();
    m_file.reset();
    return committed;
}

void CAtomicFile::Cancel()
{
    if (m_file) {
        m_file->cancelWriting();
        m_file.reset();
    }
}

bool CAtomicFile::WriteWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    CAtomicFile file(path);
    const bool ok = file.Open() && file.Write(bytes) && file.Commit();
    if (!ok && error != nullptr)
        *error = file.ErrorString();
    return ok;
}

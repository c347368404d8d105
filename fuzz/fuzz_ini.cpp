// The settings file: an arbitrary buffer read as TORV.ini, its keys read as
// the program reads them, keys set (with values cut from the input, line
// breaks and all) and sections removed, then written to a file and read
// back: what was read back must be what was held before writing.

#include "FuzzInput.h"

#include "base/CIniFile.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstdio>

namespace {

const QString kTorv = QStringLiteral("TORV");

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "CIniFile: %s\n", what);
    std::abort();
}

void ReadAll(const CIniFile& ini)
{
    for (const QString& section : ini.Sections()) {
        for (const QString& key : ini.Keys(section)) {
            ini.Value(section, key);
            ini.String(section, key, QString(), 8);
            ini.Int(section, key, -1);
        }
    }
    for (const char* key : {"ESCFile", "FirmwareFolder", "MelodiesFolder", "SaveFolder", "Port"})
        ini.String(kTorv, QString::fromLatin1(key), QString(), 260);
    ini.Int(kTorv, QStringLiteral("cx"), -1);
    ini.Int(kTorv, QStringLiteral("cy"), -1);
}

// A name the program could use for a section or key: one line, trimmed, and
// not read as something else when it is written back.
bool UsableName(const QString& name)
{
    return !name.isEmpty() && name == name.trimmed() && !name.contains(QLatin1Char('\n'))
        && !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('=')) && !name.contains(QLatin1Char(']'))
        && !name.startsWith(QLatin1Char('[')) && !name.startsWith(QLatin1Char(';'));
}

// The same sections, keys and values in both.
void ExpectSameContent(const CIniFile& held, const CIniFile& reread)
{
    if (held.Sections() != reread.Sections())
        Fail("sections changed by writing and reading back");
    for (const QString& section : held.Sections()) {
        if (held.Keys(section) != reread.Keys(section))
            Fail("keys changed by writing and reading back");
        for (const QString& key : held.Keys(section)) {
            if (held.Value(section, key) != reread.Value(section, key))
                Fail("value changed by writing and reading back");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Saving syncs the file to disk; in memory that costs nothing.
    static QTemporaryDir folder(QDir(QStringLiteral("/dev/shm")).exists()
                                    ? QStringLiteral("/dev/shm/torv-fuzz-ini-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/torv-fuzz-ini-XXXXXX"));
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
        return true;
    }();
    (void)quiet;
    if (!folder.isValid())
        Fail("no temporary folder");

    const QString inPath = folder.filePath(QStringLiteral("in.ini"));
    {
        QFile file(inPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            Fail("cannot write the input file");
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    CIniFile ini(inPath);
    if (ini.Load() != CIniFile::LoadResult::Loaded)
        Fail("cannot read the input file back");
    ReadAll(ini);

    // Values taken from the input itself: its tail, line breaks included.
    FuzzInput input(data, size);
    const QByteArray all = input.Rest();
    const QString tail = QString::fromUtf8(all.right(64));
    const QString head = QString::fromUtf8(all.left(32));

    ini.SetValue(kTorv, QStringLiteral("Port"), tail);
    // A value set is read back as one trimmed line.
    QString expected = tail;
    expected.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (ini.Value(kTorv, QStringLiteral("Port")) != expected.trimmed())
        Fail("a value set is not the value read");
    ini.SetInt(kTorv, QStringLiteral("cx"), static_cast<int>(size) - 100);
    ini.SetValue(QStringLiteral("Chart.3"), QStringLiteral("Color"), head);
    const QStringList sections = ini.Sections();
    if (!sections.isEmpty()) {
        const QString& first = sections.front();
        const QStringList keys = ini.Keys(first);
        if (!keys.isEmpty() && UsableName(keys.front()))
            ini.SetValue(first, keys.front(), tail);
        if (sections.size() > 2 && sections.back().compare(kTorv, Qt::CaseInsensitive) != 0)
            ini.RemoveSection(sections.back());
    }
    ReadAll(ini);

    if (!ini.Save())
        Fail("cannot write the file");
    CIniFile reread(inPath);
    if (reread.Load() != CIniFile::LoadResult::Loaded)
        Fail("cannot read the written file");
    ExpectSameContent(ini, reread);

    // A file in a folder that does not exist yet.
    QDir(folder.filePath(QStringLiteral("new"))).removeRecursively();
    CIniFile fresh(folder.filePath(QStringLiteral("new/TORV/TORV.ini")));
    fresh.SetValue(kTorv, QStringLiteral("SaveFolder"), head);
    if (!fresh.Save())
        Fail("cannot write a file in a new folder");
    return 0;
}

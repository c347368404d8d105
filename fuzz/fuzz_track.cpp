// The track file (*.tplay): an arbitrary file read and parsed as the panel
// loads it, the same bytes parsed directly, and the track played through
// (ticks from the input's tail). Segments follow each other without gaps,
// values stay 1..255, and playback never drives a value outside 1..255.

#include "FuzzInput.h"

#include "panel/CTrackFile.h"
#include "panel/CTrackPlayer.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void Fail(const char* what, size_t index)
{
    std::fprintf(stderr, "%s: segment %zu inconsistent\n", what, index);
    std::abort();
}

void Check(const CTrack& track, const char* what)
{
    quint32 start = 0;
    for (size_t i = 0; i < track.size(); ++i) {
        const CTrackSegment& s = track[i];
        if (s.start != start || s.end < s.start || s.startValue < 1 || s.startValue > 255 || s.endValue < 1 ||
            s.endValue > 255)
            Fail(what, i);
        start = s.end;
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir* folder = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return new QTemporaryDir;
    }();
    const QString path = folder->filePath(QStringLiteral("input.tplay"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::abort();
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const std::optional<CTrack> read = CTrackFile::Read(path);
    if (!read) {
        std::fprintf(stderr, "a written file could not be read\n");
        std::abort();
    }
    Check(*read, "CTrackFile::Read");
    const CTrack track =
        CTrackFile::Parse(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    Check(track, "CTrackFile::Parse");
    if (track != *read) {
        std::fprintf(stderr, "Read and Parse disagree\n");
        std::abort();
    }

    CTrackPlayer player;
    player.SetTrack(track);
    FuzzInput input(data, size);
    if (input.Bool())
        player.ToggleRepeat();
    player.Play(input.Byte());
    for (int i = 0; i < 64 && player.IsPlaying(); ++i) {
        const quint32 ticks = input.Bool() ? input.Byte() : input.Word() * 65537u;
        const std::optional<quint8> value = player.Step(ticks);
        if (value && *value < 1)
            Fail("CTrackPlayer::Step", player.CurrentSegment());
    }
    return 0;
}

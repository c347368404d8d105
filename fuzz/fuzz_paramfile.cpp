// The parameter file (*.escp): an arbitrary file loaded into a simulated ESC
// by the whole load path, as the window's Load runs it: the file is read,
// its identity cells compared with the device's, its values checked against
// the device library, and cells 0..63 written and read back, frame by frame
// through the simulated ESC's own frame handling (no port, no pauses).
//
// Input: the file's content; the bytes after the first 128, which loading
// ignores, steer the run:
//   [128] answers: bit 0 Yes to the first question (the identity's, or the
//         values the library does not allow), bit 1 Yes to the second
//         (absent: Yes to both)
//   [129] the ESC stops answering from this frame on (0 or absent: never)
//   [130] the answer to this one frame is lost: the ESC did the command
//         (0 or absent: none)
//   [131] bit 7: cell (bits 0..5) is worn (writes answered, nothing kept);
//         bit 6: the "plain" ESC (single-cell reads) instead of "full"
// Checked: nothing is written unless every question was answered Yes; no
// cell from 64 on is ever written; a complete load leaves every writable
// cell of 0..63 as in the file and the cell image as the device reports it;
// once the ESC has gone, at most one more write is tried before the load
// stops; a file shorter than 128 bytes writes nothing.

#include "FuzzInput.h"

#include "CSimDevice.h"
#include "CSimProfile.h"

#include "base/IPrompt.h"
#include "library/CChanMap.h"
#include "library/CDeviceLibrary.h"
#include "library/CFormulaTable.h"
#include "library/CParameterFile.h"
#include "library/CParameterModel.h"
#include "library/CPropertyList.h"
#include "link/CCrc16.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr size_t kFileSize = CParameterFile::kFileSize;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "parameter file load: %s\n", what);
    std::abort();
}

// The ESC behind a cable that delivers every frame whole: each exchange is
// one frame handed to the simulated device and its answer checked as the
// link checks it (sum of a short answer, CRC of a block).
class SimulatedEsc : public ICellLoader, public ICellWriter {
public:
    SimulatedEsc(const CSimProfile& profile, int silentFrom, int lostFrame)
        : m_device(profile, CSimDevice::Settings{}), m_silentFrom(silentFrom), m_lostFrame(lostFrame)
    {
    }

    CSimDevice& Device() { return m_device; }
    bool Gone() const { return m_silentFrom > 0 && m_frames >= m_silentFrom; }
    int Writes() const { return m_writes; }
    int WritesWhileGone() const { return m_writesWhileGone; }

    bool LoadCell(int cell, uint8_t& value) override
    {
        std::vector<uint8_t> answer;
        if (cell < 0 || cell > 255 || !Exchange('r', 'e', static_cast<uint8_t>(cell), answer) || !ShortValid(answer))
            return false;
        value = answer[1];
        return true;
    }

    bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) override
    {
        std::vector<uint8_t> answer;
        const size_t count = static_cast<size_t>(last) - first + 1;
        if (last < first || !Exchange('R', first, last, answer) || answer.size() != count + 3 || answer[0] != 'M')
            return false;
        const uint16_t crc = CCrc16::Compute(answer.data(), count + 1);
        if (crc != static_cast<uint16_t>(answer[count + 1] | (answer[count + 2] << 8)))
            return false;
        std::copy(answer.begin() + 1, answer.begin() + 1 + static_cast<std::ptrdiff_t>(count), out + first);
        return true;
    }

    bool WriteCell(uint8_t cell, uint8_t value) override
    {
        if (cell >= CParameterFile::kWrittenCells)
            Fail("a cell from 64 on was written");
        ++m_writes;
        std::vector<uint8_t> answer;
        const bool answered = Exchange('w', cell, value, answer) && ShortValid(answer);
        if (Gone())
            ++m_writesWhileGone;
        return answered;
    }

    void Pause(int) const override {}

    bool Probe() override
    {
        std::vector<uint8_t> answer;
        return Exchange('s', 'e', 't', answer) && ShortValid(answer);
    }

private:
    bool Exchange(uint8_t command, uint8_t a1, uint8_t a2, std::vector<uint8_t>& answer)
    {
        ++m_frames;
        if (Gone())
            return false;
        const std::vector<uint8_t> frame = {'M', command, a1, a2, static_cast<uint8_t>('M' + command + a1 + a2)};
        CSimDevice::Answer reply;
        if (!m_device.Handle(frame, CSimDevice::Clock::now(), reply) || m_frames == m_lostFrame)
            return false;
        answer = reply.bytes;
        return true;
    }

    static bool ShortValid(const std::vector<uint8_t>& answer)
    {
        return answer.size() == 3 && answer[0] == 'M' && answer[2] == static_cast<uint8_t>(answer[0] + answer[1]);
    }

    CSimDevice m_device;
    int m_silentFrom;
    int m_lostFrame;
    int m_frames = 0;
    int m_writes = 0;
    int m_writesWhileGone = 0;
};

// Offers the input's file and answers each question as the input says.
class ScriptedPrompt : public IPrompt {
public:
    ScriptedPrompt(QString path, uint8_t answers)
        : m_path(std::move(path)), m_answers(answers)
    {
    }

    int questions = 0;
    bool refused = false;

    Answer Message(const QString&, const QString&, Icon, Buttons buttons) override
    {
        if (buttons != Buttons::YesNo)
            return Answer::Ok;
        const bool yes = (m_answers >> (questions++ % 2) & 1) != 0;
        refused = refused || !yes;
        return yes ? Answer::Yes : Answer::No;
    }
    std::optional<QString> OpenFile(const FileRequest&) override { return m_path; }
    std::optional<QString> SaveFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QString> BrowseFolder(const QString&, const QString&) override { return std::nullopt; }
    std::optional<quint32> ChooseColour(quint32) override { return std::nullopt; }
    void Beep() override {}

private:
    QString m_path;
    uint8_t m_answers;
};

struct Environment {
    QTemporaryDir folder;
    QString path;
    CDeviceLibrary library;
};

Environment& Setup()
{
    static int argc = 1;
    static char name[] = "fuzz_paramfile";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Environment environment;
    static const bool ready = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        environment.path = environment.folder.filePath(QStringLiteral("in.escp"));
        return environment.folder.isValid() && environment.library.Load(QStringLiteral(TORV_SAMPLE_LIBRARY));
    }();
    if (!ready)
        Fail("the sample library or the scratch folder is not there");
    return environment;
}

uint8_t At(const uint8_t* data, size_t size, size_t index, uint8_t absent)
{
    return index < size ? data[index] : absent;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Environment& env = Setup();
    {
        QFile file(env.path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
            Fail("cannot write the input file");
    }
    const uint8_t answers = At(data, size, kFileSize, 0xFF);
    const uint8_t worn = At(data, size, kFileSize + 3, 0);

    CSimProfile profile;
    if (!CSimProfile::Find((worn & 0x40) != 0 ? "plain" : "full", profile))
        Fail("no simulator profile");
    SimulatedEsc esc(profile, At(data, size, kFileSize + 1, 0), At(data, size, kFileSize + 2, 0));
    const int wornCell = (worn & 0x80) != 0 ? worn & 0x3F : -1;
    if (wornCell >= 0)
        esc.Device().SetWriteProtected(wornCell, true);
    const std::array<uint8_t, 256> before = esc.Device().Cells();

    // The parameter list of the identified ESC, as a connection builds it.
    pugi::xml_node element;
    bool deprecated = false;
    if (!env.library.IdentifyDevice(profile.type, profile.major, profile.minor, element, deprecated))
        Fail("the sample library does not know the simulated ESC");
    CPropertyList list;
    CChanMap image;
    CFormulaTable formulas;
    CParameterModel model(env.library, list, image, esc, formulas);
    const DeviceFacts facts = model.BuildParameterList(element, profile.major, profile.minor);
    image.ResetImage(256, &esc, facts.rangeReads);
    CFormulaTable::SetCurrentImage(&image);

    ScriptedPrompt prompt(env.path, answers);
    int reconnects = 0;
    CParameterFile file(prompt, esc, esc, image, [&reconnects] { ++reconnects; });
    file.SetLimitCheck([&model](const CParameterFile::Image& cells) { return model.ValuesOutsideLibrary(cells); });
    QString folder;
    file.Load(folder);
    CFormulaTable::SetCurrentImage(nullptr);

    const std::array<uint8_t, 256>& after = esc.Device().Cells();
    if (!std::equal(before.begin() + CParameterFile::kWrittenCells, before.end(),
                    after.begin() + CParameterFile::kWrittenCells))
        Fail("a cell from 64 on changed");
    if ((size < kFileSize || prompt.refused) && esc.Writes() != 0)
        Fail("cells were written although the file was refused");
    if (esc.WritesWhileGone() > 1)
        Fail("writes went on after the ESC had gone");
    const bool wrote = esc.Writes() > 0;
    if (wrote && reconnects != 1)
        Fail("a load did not end by connecting afresh");

    // A load that ran to its end with the ESC answering throughout.
    if (wrote && esc.Writes() == CParameterFile::kWrittenCells && !esc.Gone()) {
        for (int cell = 0; cell < CParameterFile::kWrittenCells; ++cell) {
            const auto i = static_cast<size_t>(cell);
            const bool kept = cell == wornCell || profile.IsReadOnly(cell);
            if (after[i] != (kept ? before[i] : data[i]))
                Fail("a cell does not hold the file's value");
            uint8_t shown = 0;
            if (!image.GetCell(cell, shown) || shown != after[i])
                Fail("the cell image does not show what the ESC holds");
        }
    }
    return 0;
}

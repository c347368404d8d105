#include "library/CParameterFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "base/CAtomicFile.h"
#include "library/CChanMap.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"

namespace {
const char* const kCaption = "TORV";
constexpr int kWakeProbes = 4;
constexpr int kFileLoadPauseMs = 21;

QString tr(const char* text)
{
    return QCoreApplication::translate("CParameterFile", text);
}

IPrompt::FileRequest FileRequest(const QString& folder)
{
    IPrompt::FileRequest request;
    request.defaultExtension = QStringLiteral(".escp");
    request.filters = CParameterFile::Filters();
    request.initialFolder = folder;
    return request;
}
}

CParameterFile::CParameterFile(IPrompt& prompt, ICellLoader& device, ICellWriter& writer, CChanMap& image,
                               std::function<void()> reconnect)
    : m_prompt(prompt), m_device(device), m_writer(writer), m_image(image), m_reconnect(std::move(reconnect))
{
}

QStringList CParameterFile::Filters()
{
    return {tr("Esc Parameter Files (*.escp)"), tr("All Files (*.*)")};
}

void CParameterFile::ShowMessage(const QString& text, IPrompt::Icon icon)
{
    m_prompt.Message(text, kCaption, icon, IPrompt::Buttons::Ok);
}

std::optional<CParameterFile::Image> CParameterFile::ParseImage(const QByteArray& bytes)
{
    if (bytes.size() < kFileSize)
        return std::nullopt;
    Image image{};
    std::copy(bytes.cbegin(), bytes.cbegin() + kFileSize, image.begin());
    return image;
}

CParameterFile::Result CParameterFile::ReadFile(const QString& path, Image& image)
{
    // A FIFO or a device would block the read or never end: only a regular
    // file is read. Anything else that fails gives the system's reason.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return {Status::OpenFailed, -1, tr("it is not a regular file")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {Status::OpenFailed, -1, file.errorString()};
    const std::optional<Image> parsed = ParseImage(file.read(kFileSize));
    if (!parsed)
        return {Status::ReadFailed, -1, QString()};
    image = *parsed;
    return {};
}

CParameterFile::Result CParameterFile::ReadCells(Image& cells)
{
    for (int i = 0; i < kFileSize; ++i) {
        if (!Step(i, kFileSize))
            return {Status::Cancelled, i, QString()};
        if (!m_image.GetCell(i, cells[static_cast<size_t>(i)]))
            return {Status::DeviceFailed, i, QString()};
    }
    return {};
}

CParameterFile::Result CParameterFile::SaveTo(const QString& path)
{
    // The new content goes to a temporary file beside the target; the target
    // is replaced only once every cell has been read and written.
    CAtomicFile file(path);
    if (!file.Open())
        return {Status::OpenFailed, -1, file.ErrorString()};
    Image cells{};
    const Result read = ReadCells(cells);
    if (read.status != Status::Ok)
        return read;
    if (!file.Write(QByteArray(reinterpret_cast<const char*>(cells.data()), kFileSize)) || !file.Commit())
        return {Status::WriteFailed, -1, file.ErrorString()};
    return {};
}

CParameterFile::Identity CParameterFile::CheckIdentity(const Image& file)
{
    // Wake the link; the outcome of these probes decides nothing.
    for (int i = 0; i < kWakeProbes && !m_writer.Probe(); ++i) {
    }
    uint8_t type = 0;
    uint8_t revision = 0;
    if (!m_device.LoadCell(kTypeCell, type) || !m_device.LoadCell(kRevisionCell, revision))
        return Identity::Unreadable;
    return type == file[kTypeCell] && revision == file[kRevisionCell] ? Identity::Match : Identity::Mismatch;
}

CParameterFile::Result CParameterFile::WriteSettings(const Image& file, std::vector<int>* failedWrites)
{
    for (int i = 0; i < kWrittenCells; ++i) {
        if (!Step(i, kWrittenCells))
            return {Status::Cancelled, i, QString()};
        const auto cell = static_cast<uint8_t>(i);
        if (m_writer.WriteCell(cell, file[static_cast<size_t>(i)])) {
            m_image.InvalidateCell(i);
            m_writer.Pause(kFileLoadPauseMs);
            uint8_t readBack = 0;
            m_image.GetCell(i, readBack);
            continue;
        }
        // A probe after each failure tells a vanished ESC (stop now, instead
        // of failing every write that follows) from one bad write, also when
        // the ESC goes after an earlier write had failed.
        if (!m_writer.Probe())
            return {Status::DeviceFailed, i, QString()};
        if (failedWrites != nullptr)
            failedWrites->push_back(i);
    }
    return {};
}

std::optional<QString> CParameterFile::Save(const QString& initialFolder)
{
    IPrompt::FileRequest request = FileRequest(initialFolder);
    request.promptOverwrite = true;
    const std::optional<QString> path = m_prompt.SaveFile(request);
    if (!path)
        return std::nullopt;

    const Result result = SaveTo(*path);
    switch (result.status) {
    case Status::Ok:
        return path;
    case Status::ReadFailed:
    case Status::Cancelled:
        break;
    case Status::OpenFailed:
        ShowMessage(tr("Unable to open file"), IPrompt::Icon::Information);
        break;
    case Status::DeviceFailed:
        ShowMessage(tr("Unable to get response on reading the %1 cell\nReconnecting...").arg(result.failedCell),
                    IPrompt::Icon::Error);
        m_reconnect();
        break;
    case Status::WriteFailed:
        ShowMessage(tr("Unable to write to file"), IPrompt::Icon::Information);
        break;
    }
    return std::nullopt;
}

IPrompt::Answer CParameterFile::Ask(const QString& text, IPrompt::Icon icon, IPrompt::Buttons buttons)
{
    Stage(LoadStage::Idle);
    const IPrompt::Answer answer = m_prompt.Message(text, kCaption, icon, buttons);
    Stage(LoadStage::Busy);
    return answer;
}

std::optional<QString> CParameterFile::AskLoadPath(QString& saveFolder)
{
    IPrompt::FileRequest request = FileRequest(saveFolder);
    request.mustExist = true;
    const std::optional<QString> path = m_prompt.OpenFile(request);
    if (!path)
        return std::nullopt;
    const int slash = path->lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;
    saveFolder = path->left(slash);
    return path;
}

std::optional<CParameterFile::LoadReport> CParameterFile::Load(QString& saveFolder)
{
    const std::optional<QString> path = AskLoadPath(saveFolder);
    if (!path)
        return std::nullopt;
    return LoadFrom(*path);
}

std::optional<CParameterFile::LoadReport> CParameterFile::LoadFrom(const QString& path)
{
    // The file dialog has closed: the window is busy until the load ends.
    Stage(LoadStage::Busy);
    struct Idle {
        const CParameterFile& file;
        ~Idle() { file.Stage(LoadStage::Idle); }
    } idle{*this};

    Image bytes{};
    const Result read = ReadFile(path, bytes);
    if (read.status == Status::OpenFailed) {
        Ask(tr("Unable to open file"), IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return std::nullopt;
    }
    if (read.status != Status::Ok) {
        Ask(tr("Unable to read file"), IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return std::nullopt;
    }

    switch (CheckIdentity(bytes)) {
    case Identity::Unreadable:
        Ask(tr("Unable to get response on reading 64 or 65 cells...\nReconnecting..."), IPrompt::Icon::Error,
            IPrompt::Buttons::Ok);
        m_reconnect();
        return std::nullopt;
    case Identity::Mismatch:
        if (Ask(tr("The ESC type and/or revision does not match the parameters file.\nDo you want to continue?"),
                IPrompt::Icon::Warning, IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
            return std::nullopt;
        break;
    case Identity::Match:
        break;
    }

    // Values the library does not allow would be written as they stand; the
    // user decides knowingly.
    const QStringList outside = m_limitCheck ? m_limitCheck(bytes) : QStringList();
    if (!outside.isEmpty()) {
        const QString text = tr("The file holds values that the device library does not allow:\n%1\n"
                                "Do you want to load them anyway?")
                                 .arg(outside.join(QLatin1Char('\n')));
        if (Ask(text, IPrompt::Icon::Warning, IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
            return std::nullopt;
    }

    LoadReport report;
    report.path = path;
    Stage(LoadStage::BeforeWrite);
    const Result written = WriteSettings(bytes, &report.failedWrites);
    report.complete = written.status == Status::Ok;
    Stage(LoadStage::AfterWrite);
    for (int cell : report.failedWrites)
        Ask(tr("Unable to get response on writing the %1 cell\nReconnecting...").arg(cell), IPrompt::Icon::Error,
            IPrompt::Buttons::Ok);
    if (written.status == Status::DeviceFailed)
        Ask(tr("Unable to get response on writing the %1 cell\nReconnecting...").arg(written.failedCell),
            IPrompt::Icon::Error, IPrompt::Buttons::Ok);
    m_reconnect();
    return report;
}

#include "library/CParameterFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include "app/IPrompt.h"
#include "library/CChanMap.h"
#include "link/CDeviceProtocol.h"

namespace {
const char* const kCaption = "TORV";

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

CParameterFile::CParameterFile(IPrompt& prompt, CDeviceProtocol& protocol, CChanMap& image,
                               std::function<void()> reconnect)
    : m_prompt(prompt), m_protocol(protocol), m_image(image), m_reconnect(std::move(reconnect))
{
}

QStringList CParameterFile::Filters()
{
    return {tr("Esc Parameter Files (*.escp)"), tr("All Files (*.*)")};
}

std::optional<CParameterFile::Image> CParameterFile::ParseImage(const QByteArray& bytes)
{
    if (bytes.size() < kFileSize)
        return std::nullopt;
    Image image{};
    std::copy_n(reinterpret_cast<const uint8_t*>(bytes.constData()), kFileSize, image.begin());
    return image;
}

bool CParameterFile::ReadCells(Image& cells)
{
    for (int i = 0; i < kFileSize; ++i) {
        if (!m_image.GetCell(i, cells[static_cast<size_t>(i)])) {
            m_prompt.Message(tr("Unable to get response on reading the %1 cell\nReconnecting...").arg(i),
                             kCaption, IPrompt::Icon::Error, IPrompt::Buttons::Ok);
            m_reconnect();
            return false;
        }
    }
    return true;
}

void CParameterFile::Save(const QString& initialFolder)
{
    IPrompt::FileRequest request = FileRequest(initialFolder);
    request.promptOverwrite = true;
    const std::optional<QString> path = m_prompt.SaveFile(request);
    if (!path)
        return;

    // The new content goes to a temporary file beside the target; the target
    // is replaced only once every cell has been read and written.
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return;
    }
    Image cells{};
    if (!ReadCells(cells)) {
        file.cancelWriting();
        return;
    }
    const qint64 written = file.write(reinterpret_cast<const char*>(cells.data()), kFileSize);
    if (written != kFileSize || !file.commit()) {
        file.cancelWriting();
        m_prompt.Message(tr("Unable to write to file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
    }
}

void CParameterFile::Load(QString& saveFolder)
{
    IPrompt::FileRequest request = FileRequest(saveFolder);
    request.mustExist = true;
    const std::optional<QString> path = m_prompt.OpenFile(request);
    if (!path)
        return;
    const int slash = path->lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return;
    saveFolder = path->left(slash);

    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return;
    }
    const std::optional<Image> parsed = ParseImage(file.read(kFileSize));
    file.close();
    if (!parsed) {
        m_prompt.Message(tr("Unable to read file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return;
    }
    const Image& bytes = *parsed;

    // Wake the link; the outcome of these probes decides nothing.
    for (int i = 0; i < 4 && !m_protocol.Probe(); ++i) {
    }

    uint8_t type = 0;
    uint8_t revision = 0;
    if (!m_protocol.LoadCell(64, type) || !m_protocol.LoadCell(65, revision)) {
        m_prompt.Message(tr("Unable to get response on reading 64 or 65 cells...\nReconnecting..."), kCaption,
                         IPrompt::Icon::Error, IPrompt::Buttons::Ok);
        m_reconnect();
        return;
    }
    if (type != bytes[64] || revision != bytes[65]) {
        const IPrompt::Answer answer = m_prompt.Message(
            tr("The ESC type and/or revision does not match the parameters file.\nDo you want to continue?"),
            kCaption, IPrompt::Icon::Warning, IPrompt::Buttons::YesNo);
        if (answer != IPrompt::Answer::Yes)
            return;
    }

    for (int i = 0; i < kWrittenCells; ++i) {
        if (m_protocol.WriteCell(static_cast<uint8_t>(i), bytes[static_cast<size_t>(i)])) {
            m_protocol.Pause(CDeviceProtocol::kFileLoadPauseMs);
            uint8_t readBack = 0;
            m_image.GetCell(i, readBack);
        } else {
            m_prompt.Message(tr("Unable to get response on writing the %1 cell\nReconnecting...").arg(i), kCaption,
                             IPrompt::Icon::Error, IPrompt::Buttons::Ok);
        }
    }
    m_reconnect();
}

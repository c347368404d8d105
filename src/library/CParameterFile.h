#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class CChanMap;
class CDeviceProtocol;
class IPrompt;

// Saving the first 128 cells of the connected ESC to a parameter file
// (*.escp, 128 raw bytes) and loading such a file back into the same type of
// ESC. Both run on the user-interface thread and block it for their serial
// exchanges.
class CParameterFile {
public:
    static constexpr int kFileSize = 128;
    static constexpr int kWrittenCells = 64;   // loading writes cells 0..63 only
    using Image = std::array<uint8_t, kFileSize>;

    // reconnect drops the link and connects afresh (the main window's
    // CleanAndReconnect with restart).
    CParameterFile(IPrompt& prompt, CDeviceProtocol& protocol, CChanMap& image, std::function<void()> reconnect);

    // Asks for a file and saves the cells into it. The cells are all read
    // before the file is replaced, and the file is replaced atomically, so a
    // device that stops answering never damages an existing file.
    void Save(const QString& initialFolder);

    // Asks for a file and loads it into the ESC. saveFolder becomes the
    // chosen file's folder.
    void Load(QString& saveFolder);

    // File filters of both dialogs.
    static QStringList Filters();

    // The cell image held by a parameter file's content: its first 128
    // bytes; none when the content is shorter.
    static std::optional<Image> ParseImage(const QByteArray& bytes);

private:
    bool ReadCells(Image& cells);

    IPrompt& m_prompt;
    CDeviceProtocol& m_protocol;
    CChanMap& m_image;
    std::function<void()> m_reconnect;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/IPrompt.h"

class CChanMap;
class ICellLoader;
class ICellWriter;

// Saving the first 128 cells of the connected ESC to a parameter file
// (*.escp, 128 raw bytes) and loading such a file back into the same type of
// ESC. Both run on the user-interface thread and block it for their serial
// exchanges. The steps without questions (reading, checking, writing) are
// public so that the command-line program runs exactly the same exchanges.
class CParameterFile {
public:
    static constexpr int kFileSize = 128;
    static constexpr int kWrittenCells = 64;   // loading writes cells 0..63 only
    static constexpr int kTypeCell = 64;
    static constexpr int kRevisionCell = 65;
    using Image = std::array<uint8_t, kFileSize>;

    // Lists, for a file about to be loaded, the settings whose values the
    // device library does not allow (one line each); empty when all are fine.
    using LimitCheck = std::function<QStringList(const Image&)>;

    enum class Status {
        Ok,
        OpenFailed,     // the file cannot be opened (or is no regular file)
        ReadFailed,     // the file is shorter than 128 bytes
        DeviceFailed,   // the device stopped answering; failedCell names the cell
        WriteFailed,    // the file could not be written completely
        Cancelled,      // the step hook stopped the loop; failedCell names the next cell
    };
    struct Result {
        Status status = Status::Ok;
        int failedCell = -1;
        QString error;   // the file system's reason, when there is one
    };

    enum class Identity { Match, Mismatch, Unreadable };

    // device reads the identity cells directly (not through the image);
    // reconnect drops the link and connects afresh (the main window's
    // CleanAndReconnect with restart).
    CParameterFile(IPrompt& prompt, ICellLoader& device, ICellWriter& writer, CChanMap& image,
                   std::function<void()> reconnect);

    void SetLimitCheck(LimitCheck check) { m_limitCheck = std::move(check); }

    // Called before each cell that ReadCells reads or WriteSettings writes,
    // with the cells done and the cells in all; returning false stops the
    // loop there (Status::Cancelled). Serves progress display and cancelling.
    using StepHook = std::function<bool(int done, int total)>;
    void SetStepHook(StepHook hook) { m_stepHook = std::move(hook); }

    // The stages of a load the caller follows: Busy and Idle around the
    // device work (never while a question is open), BeforeWrite and
    // AfterWrite around the writing of the settings (the cells of the image
    // then hold what the ESC had, and what it reads back).
    enum class LoadStage { Busy, Idle, BeforeWrite, AfterWrite };
    using LoadHook = std::function<void(LoadStage)>;
    void SetLoadHook(LoadHook hook) { m_loadHook = std::move(hook); }

    // What a load wrote.
    struct LoadReport {
        QString path;
        std::vector<int> failedWrites;   // cells whose write failed
        bool complete = true;            // false when the ESC stopped answering
    };

    // Asks for a file and saves the cells into it. The cells are all read
    // before the file is replaced, and the file is replaced atomically, so a
    // device that stops answering never damages an existing file. The path
    // saved, or none.
    std::optional<QString> Save(const QString& initialFolder);

    // Asks for a file and loads it into the ESC. saveFolder becomes the
    // chosen file's folder. None when nothing was written.
    std::optional<LoadReport> Load(QString& saveFolder);
    // Loads the named file into the ESC, asking what Load asks after its
    // file dialog.
    std::optional<LoadReport> LoadFrom(const QString& path);
    // The file dialog of Load; saveFolder becomes the chosen file's folder.
    std::optional<QString> AskLoadPath(QString& saveFolder);

    // File filters of both dialogs.
    static QStringList Filters();

    // The first 128 bytes of a parameter file; none when it is shorter.
    static std::optional<Image> ParseImage(const QByteArray& bytes);
    static Result ReadFile(const QString& path, Image& image);

    // Reads the 128 cells through the cell image, then replaces the file.
    Result SaveTo(const QString& path);
    // Reads the 128 cells through the cell image.
    Result ReadCells(Image& cells);
    // Wakes the link and compares the device's type and revision cells with
    // the file's.
    Identity CheckIdentity(const Image& file);
    // Writes cells 0..63, pausing after each write and reading the cell back.
    // After each failed write the device is probed: when it no longer
    // answers, the load stops there (DeviceFailed). failedWrites lists the
    // cells whose write failed while the device still answered.
    Result WriteSettings(const Image& file, std::vector<int>* failedWrites = nullptr);

private:
    void ShowMessage(const QString& text, IPrompt::Icon icon);
    bool Step(int done, int total) const { return !m_stepHook || m_stepHook(done, total); }
    void Stage(LoadStage stage) const
    {
        if (m_loadHook)
            m_loadHook(stage);
    }
    // A question of the load, asked with the busy state lifted.
    IPrompt::Answer Ask(const QString& text, IPrompt::Icon icon, IPrompt::Buttons buttons);

    IPrompt& m_prompt;
    ICellLoader& m_device;
    ICellWriter& m_writer;
    CChanMap& m_image;
    std::function<void()> m_reconnect;
    LimitCheck m_limitCheck;
    StepHook m_stepHook;
    LoadHook m_loadHook;
};

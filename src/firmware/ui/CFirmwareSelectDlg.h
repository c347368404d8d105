#pragma once

#include <QDialog>

#include <memory>

#include "firmware/CFirmwareFolder.h"

class CDeviceProtocol;
class CFirmwareUploader;
class CSerialPort;
class IPrompt;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeWidget;

// "Select firmware file": lists the update files of the firmware folder that
// fit the connected device, reads and checks the chosen one, asks, and
// uploads it to the boot loader with a progress bar. It is modal over the
// main window from opening to closing, so no other device operation can
// start meanwhile; when it closes the caller reconnects.
class CFirmwareSelectDlg : public QDialog {
    Q_OBJECT
public:
    CFirmwareSelectDlg(int deviceId, int hardwareVersion, QString& folder, CSerialPort& port,
                       CDeviceProtocol& protocol, IPrompt& prompt, QWidget* parent = nullptr);
    ~CFirmwareSelectDlg() override;

    // True once an upload has been acknowledged to its last page.
    bool Uploaded() const { return m_uploaded; }
    bool Uploading() const;

    QTreeWidget* List() const { return m_list; }
    QPushButton* OkButton() const { return m_ok; }
    QProgressBar* Progress() const { return m_progress; }
    CFirmwareUploader& Uploader() { return *m_uploader; }

    // Shows the firmware the ESC reports (identity cells 65 and 66) and its
    // hardware version beside the list.
    void SetCurrentFirmware(int major, int minor, int hardware);
    QString CurrentFirmwareText() const;
    // What the dialog says when a search found no update file for this ESC
    // (empty while there is nothing to say).
    QString ListingNote() const;

    // Runs the folder search to its end (tests; the dialog itself steps it
    // one file per idle moment).
    void FinishListing();

public slots:
    void accept() override;
    void reject() override;

private:
    void StartListing();
    void ListStep();
    void AddRows();
    void UpdateOk();
    void UpdateListingNote();
    void BrowseFolder();
    void ShowUploading(bool uploading);
    void OnProgress(int percent);
    void OnPageLate(int page);
    void OnFinished();
    void OnFailed(const QString& reason);
    // Closes the dialog after the upload has ended: done, or failed with
    // the reason shown first.
    void EndUpload();

    enum class Ended { No, Finished, Failed };

    QString& m_folder;
    IPrompt& m_prompt;
    CFirmwareFolder m_files;
    size_t m_rowsShown = 0;
    size_t m_rowsBeforeSearch = 0;   // rows found by earlier searches
    int m_deviceId;
    int m_hardwareVersion;
    std::unique_ptr<CFirmwareUploader> m_uploader;
    bool m_uploaded = false;
    bool m_asking = false;   // the stop question is open
    Ended m_ended = Ended::No;
    QString m_failure;

    QTreeWidget* m_list = nullptr;
    QLabel* m_current = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_folderLabel = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QToolButton* m_browse = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_ok = nullptr;
    QTimer* m_idle = nullptr;
};

#pragma once

#include <QDialog>

#include <optional>
#include <vector>

#include "melody/CMelodyFolder.h"
#include "melody/CMelodyPreview.h"
#include "melody/CMelodyRow.h"

class CMelodyCells;
class IPrompt;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Select melody file": lists the custom melodies stored in the ESC and the
// melody files of the melody folder, previews the selected melody on the
// MIDI output and loads it into the ESC's melody cells. The folder is listed
// one file per idle moment; choosing another folder changes the setting.
class CMelodyDlg : public QDialog {
    Q_OBJECT
public:
    enum Column { ColumnType, ColumnFile, ColumnDescription, ColumnMelody, ColumnCount };
    static constexpr int kTypeWidth = 40;
    static constexpr int kFileWidth = 130;

    // Reads the ESC's melodies through cells and starts listing folder.
    CMelodyDlg(QString& folder, CMelodyCells& cells, IPrompt& prompt, CMelodyPreview::OutputFactory midi,
               QWidget* parent = nullptr);
    ~CMelodyDlg() override;

    QTreeWidget* List() const { return m_list; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* LoadButton() const { return m_load; }
    QToolButton* BrowseButton() const { return m_browse; }
    QLineEdit* FolderEdit() const { return m_folderEdit; }
    CMelodyPreview& Preview() { return m_preview; }
    bool Listing() const { return m_files.Searching(); }
    // What the dialog last wrote into the ESC; empty when nothing.
    const QString& Outcome() const { return m_outcome; }
    // The row shown at index.
    CMelodyRow Row(int index) const;

    void Play();
    void Load();

public slots:
    void done(int result) override;

private:
    // A file row goes among the file rows in order of file name; the ESC's
    // rows stay on top.
    void AddFileRow(const CMelodyRow& row);
    // Puts the ESC's rows (m_deviceRows) on top, replacing the ones shown.
    void ShowDeviceRows();
    static QTreeWidgetItem* MakeItem(const CMelodyRow& row);
    static bool IsDeviceItem(const QTreeWidgetItem* item);
    void StartListing();
    void ListStep();
    void BrowseFolder();
    void UpdateButtons();
    std::optional<CMelodyRow> SelectedRow() const;

    QString& m_folder;
    CMelodyCells& m_cells;
    IPrompt& m_prompt;
    CMelodyFolder m_files;
    CMelodyPreview m_preview;
    // The melodies the ESC held when last read.
    std::vector<CMelodyRow> m_deviceRows;
    // Said once: a dialog without a MIDI output does not say it at every Play.
    bool m_toldNoMidi = false;
    bool m_toldThrough = false;
    QString m_outcome;

    QTreeWidget* m_list = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QToolButton* m_browse = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_load = nullptr;
    QPushButton* m_close = nullptr;
    QTimer* m_idle = nullptr;
};

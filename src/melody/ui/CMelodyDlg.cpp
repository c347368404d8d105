#include "melody/ui/CMelodyDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/IPrompt.h"
#include "melody/CMelodyCells.h"

namespace {
const char* const kCaption = "TORV";
// Marks the rows of the melodies stored in the ESC.
constexpr int kDeviceRole = Qt::UserRole;
}

CMelodyDlg::CMelodyDlg(QString& folder, CMelodyCells& cells, IPrompt& prompt, CMelodyPreview::OutputFactory midi,
                       QWidget* parent)
    : QDialog(parent), m_folder(folder), m_cells(cells), m_prompt(prompt), m_preview(std::move(midi))
{
    setWindowTitle(tr("Select melody file"));
    setObjectName(QStringLiteral("melodyDlg"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Available melody files:"), this));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("melodyList"));
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({tr("Type"), tr("File"), tr("Description"), tr("Melody")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->resizeSection(ColumnType, kTypeWidth);
    m_list->header()->resizeSection(ColumnFile, kFileWidth);
    m_list->header()->setSectionResizeMode(ColumnDescription, QHeaderView::Stretch);
    // The encoded melody is kept in the list, never shown.
    m_list->setColumnHidden(ColumnMelody, true);
    layout->addWidget(m_list, 1);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(tr("&Folder:"), this);
    m_folderEdit = new QLineEdit(this);
    folderLabel->setBuddy(m_folderEdit);
    m_folderEdit->setObjectName(QStringLiteral("melodyFolder"));
    m_folderEdit->setReadOnly(true);
    m_browse = new QToolButton(this);
    m_browse->setObjectName(QStringLiteral("browseFolder"));
    m_browse->setText(QStringLiteral("..."));
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(m_folderEdit, 1);
    folderRow->addWidget(m_browse);
    layout->addLayout(folderRow);

    auto* buttons = new QHBoxLayout;
    m_play = new QPushButton(tr("Play"), this);
    m_play->setObjectName(QStringLiteral("play"));
    m_play->setDefault(true);
    m_load = new QPushButton(tr("Load"), this);
    m_load->setObjectName(QStringLiteral("load"));
    m_close = new QPushButton(tr("Close"), this);
    m_close->setObjectName(QStringLiteral("close"));
    m_close->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(m_play);
    buttons->addWidget(m_load);
    buttons->addWidget(m_close);
    layout->addLayout(buttons);
    resize(480, 320);

    connect(m_play, &QPushButton::clicked, this, &CMelodyDlg::Play);
    connect(m_load, &QPushButton::clicked, this, &CMelodyDlg::Load);
    connect(m_close, &QPushButton::clicked, this, &CMelodyDlg::reject);
    connect(m_browse, &QToolButton::clicked, this, &CMelodyDlg::BrowseFolder);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CMelodyDlg::UpdateButtons);
    connect(&m_preview, &CMelodyPreview::finished, this, &CMelodyDlg::UpdateButtons);

    // The folder is searched one file whenever the event loop has nothing
    // else to do, so a large folder never freezes the dialog.
    m_idle = new QTimer(this);
    m_idle->setInterval(0);
    connect(m_idle, &QTimer::timeout, this, &CMelodyDlg::ListStep);

    m_play->setEnabled(false);
    m_load->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_deviceRows = m_cells.ReadRows();
    ShowDeviceRows();
    QApplication::restoreOverrideCursor();
    StartListing();
}

CMelodyDlg::~CMelodyDlg() = default;

QTreeWidgetItem* CMelodyDlg::MakeItem(const CMelodyRow& row)
{
    auto* item = new QTreeWidgetItem(QStringList{row.type, row.file, row.description, row.hex});
    item->setToolTip(ColumnDescription, row.description);
    return item;
}

bool CMelodyDlg::IsDeviceItem(const QTreeWidgetItem* item)
{
    return item->data(ColumnType, kDeviceRole).toBool();
}

void CMelodyDlg::ShowDeviceRows()
{
    for (int i = m_list->topLevelItemCount() - 1; i >= 0; --i) {
        if (IsDeviceItem(m_list->topLevelItem(i)))
            delete m_list->takeTopLevelItem(i);
    }
    int position = 0;
    for (const CMelodyRow& row : m_deviceRows) {
        QTreeWidgetItem* item = MakeItem(row);
        item->setData(ColumnType, kDeviceRole, true);
        m_list->insertTopLevelItem(position++, item);
    }
}

void CMelodyDlg::AddFileRow(const CMelodyRow& row)
{
    int position = m_list->topLevelItemCount();
    while (position > 0) {
        const QTreeWidgetItem* before = m_list->topLevelItem(position - 1);
        if (IsDeviceItem(before) || QString::compare(before->text(ColumnFile), row.file, Qt::CaseInsensitive) <= 0)
            break;
        --position;
    }
    m_list->insertTopLevelItem(position, MakeItem(row));
}

CMelodyRow CMelodyDlg::Row(int index) const
{
    CMelodyRow row;
    const QTreeWidgetItem* item = m_list->topLevelItem(index);
    if (item == nullptr)
        return row;
    row.type = item->text(ColumnType);
    row.file = item->text(ColumnFile);
    row.description = item->text(ColumnDescription);
    row.hex = item->text(ColumnMelody);
    return row;
}

std::optional<CMelodyRow> CMelodyDlg::SelectedRow() const
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return Row(m_list->indexOfTopLevelItem(selected.front()));
}

void CMelodyDlg::StartListing()
{
    m_folderEdit->setText(m_folder);
    m_folderEdit->setToolTip(m_folder);
    m_files.Start(m_folder);
    if (m_files.Searching())
        m_idle->start();
    UpdateButtons();
}

void CMelodyDlg::ListStep()
{
    const std::optional<CMelodyRow> row = m_files.Next();
    if (row) {
        AddFileRow(*row);
        return;
    }
    m_idle->stop();
    UpdateButtons();
}

void CMelodyDlg::UpdateButtons()
{
    if (m_files.Searching())
        return;
    const std::optional<CMelodyRow> row = SelectedRow();
    const bool enabled = m_list->topLevelItemCount() > 0 && row && row->IsMelody() && !m_preview.Playing();
    m_play->setEnabled(enabled);
    m_load->setEnabled(enabled);
}

void CMelodyDlg::BrowseFolder()
{
    const std::optional<QString> chosen = m_prompt.BrowseFolder(tr("Folder Location"), m_folder);
    if (!chosen)
        return;
    m_folder = *chosen;
    m_folderEdit->setText(m_folder);
    m_folderEdit->setToolTip(m_folder);
    m_play->setEnabled(false);
    m_load->setEnabled(false);
    if (m_folder.isEmpty())
        return;
    m_idle->stop();
    m_list->clear();
    // The ESC's melodies stay listed above the new folder's files.
    ShowDeviceRows();
    StartListing();
}

void CMelodyDlg::Play()
{
    const std::optional<CMelodyRow> row = SelectedRow();
    if (!row || !row->IsMelody() || m_preview.Playing())
        return;
    if (!m_preview.Play(CMelodyRow::Decode(row->hex))) {
        if (!m_toldNoMidi) {
            m_toldNoMidi = true;
            m_prompt.Message(tr("The MIDI output cannot be opened, so the melody cannot be played.\r\n"
                                "Connect a MIDI device or start a software synthesizer to hear it."),
                             kCaption, IPrompt::Icon::Warning, IPrompt::Buttons::Ok);
        }
        return;
    }
    if (m_preview.LastOutputWasThrough() && !m_toldThrough) {
        m_toldThrough = true;
        m_prompt.Message(tr("The melody plays on \"Midi Through\", the only MIDI output, which passes it on "
                            "without making a sound.\r\nStart a software synthesizer (such as FluidSynth or "
                            "TiMidity++) or connect a MIDI device to hear it."),
                         kCaption, IPrompt::Icon::Warning, IPrompt::Buttons::Ok);
    }
    UpdateButtons();
}

void CMelodyDlg::Load()
{
    const std::optional<CMelodyRow> row = SelectedRow();
    if (!row || !row->IsMelody() || m_preview.Playing())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CMelodyCells::WriteResult result = m_cells.Write(row->Kind(), CMelodyRow::Decode(row->hex));
    // The ESC's rows show what it holds now.
    m_deviceRows = m_cells.ReadRows();
    ShowDeviceRows();
    QApplication::restoreOverrideCursor();
    if (!result.Ok()) {
        m_prompt.Message(tr("The melody was not stored in the ESC: %1.").arg(result.Problem()), kCaption,
                         IPrompt::Icon::Error, IPrompt::Buttons::Ok);
        return;
    }
    m_outcome = tr("Wrote the melody \"%1\" into the ESC.").arg(row->file);
}

void CMelodyDlg::done(int result)
{
    m_idle->stop();
    m_preview.Stop();
    QDialog::done(result);
}

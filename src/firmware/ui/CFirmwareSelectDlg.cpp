#include "firmware/ui/CFirmwareSelectDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>


#include "base/IPrompt.h"
#include "firmware/CFirmwareUploader.h"
#include "firmware/CUpdateFile.h"
#include "library/CDeviceSession.h"

namespace {
const char* const kCaption = "TORV";
const char* const kPercentFormat = "%p%";
constexpr int kVersionWidth = 80;
constexpr int kPathRole = Qt::UserRole;
constexpr int kLinesRole = Qt::UserRole + 1;

QString FileName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
}

CFirmwareSelectDlg::CFirmwareSelectDlg(int deviceId, int hardwareVersion, QString& folder, CSerialPort& port,
                                       CDeviceProtocol& protocol, IPrompt& prompt, QWidget* parent)
    : QDialog(parent),
      m_folder(folder),
      m_prompt(prompt),
      m_files(deviceId, hardwareVersion),
      m_deviceId(deviceId),
      m_hardwareVersion(hardwareVersion),
      m_uploader(std::make_unique<CFirmwareUploader>(port, protocol))
{
    setWindowTitle(tr("Select firmware file"));
    setObjectName(QStringLiteral("firmwareSelectDlg"));
    setWindowModality(Qt::ApplicationModal);

    auto* layout = new QVBoxLayout(this);
    // The firmware in the ESC stands beside the list's title, to compare
    // with the versions below.
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(new QLabel(tr("Available firmware files:"), this));
    titleRow->addStretch(1);
    m_current = new QLabel(this);
    m_current->setObjectName(QStringLiteral("currentFirmware"));
    m_current->setTextInteractionFlags(Qt::TextSelectableByMouse);
    titleRow->addWidget(m_current);
    layout->addLayout(titleRow);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("firmwareList"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({tr("Version"), tr("Description")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The version column starts narrow, grows to fit the versions found,
    // and the user may drag it wider or narrower.
    m_list->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_list->header()->setMinimumSectionSize(kVersionWidth / 2);
    m_list->header()->resizeSection(0, kVersionWidth);
    m_list->header()->setStretchLastSection(true);
    m_list->headerItem()->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_list, 1);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("listingNote"));
    m_note->setWordWrap(true);
    m_note->hide();
    layout->addWidget(m_note);

    auto* folderRow = new QHBoxLayout;
    m_folderLabel = new QLabel(tr("Folder:"), this);
    m_folderEdit = new QLineEdit(this);
    m_folderEdit->setObjectName(QStringLiteral("firmwareFolder"));
    m_folderEdit->setReadOnly(true);
    m_browse = new QToolButton(this);
    m_browse->setText(QStringLiteral("..."));
    m_browse->setObjectName(QStringLiteral("browseFolder"));
    folderRow->addWidget(m_folderLabel);
    folderRow->addWidget(m_folderEdit, 1);
    folderRow->addWidget(m_browse);
    layout->addLayout(folderRow);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("uploadProgress"));
    m_progress->setRange(0, 100);
    m_progress->hide();
    layout->addWidget(m_progress);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    resize(520, 360);

    connect(buttons, &QDialogButtonBox::accepted, this, &CFirmwareSelectDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFirmwareSelectDlg::reject);
    connect(m_browse, &QToolButton::clicked, this, &CFirmwareSelectDlg::BrowseFolder);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CFirmwareSelectDlg::UpdateOk);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CFirmwareSelectDlg::accept);
    connect(m_uploader.get(), &CFirmwareUploader::progress, this, &CFirmwareSelectDlg::OnProgress);
    connect(m_uploader.get(), &CFirmwareUploader::pageLate, this, &CFirmwareSelectDlg::OnPageLate);
    connect(m_uploader.get(), &CFirmwareUploader::finished, this, &CFirmwareSelectDlg::OnFinished);
    connect(m_uploader.get(), &CFirmwareUploader::failed, this, &CFirmwareSelectDlg::OnFailed);

    // The search advances one file whenever the event loop has nothing else
    // to do, so a large folder never freezes the dialog.
    m_idle = new QTimer(this);
    m_idle->setInterval(0);
    connect(m_idle, &QTimer::timeout, this, &CFirmwareSelectDlg::ListStep);
    m_ok->setEnabled(false);
    StartListing();
}

CFirmwareSelectDlg::~CFirmwareSelectDlg() = default;

bool CFirmwareSelectDlg::Uploading() const
{
    return m_uploader->Running();
}

void CFirmwareSelectDlg::SetCurrentFirmware(int major, int minor, int hardware)
{
    const QString version = CDeviceSession::VersionLooksErased(major, minor)
                                ? tr("none (erased)")
                                : QStringLiteral("%1.%2").arg(major).arg(minor);
    m_current->setText(tr("In the ESC: firmware %1, hardware %2").arg(version).arg(hardware));
}

QString CFirmwareSelectDlg::CurrentFirmwareText() const
{
    return m_current->text();
}

QString CFirmwareSelectDlg::ListingNote() const
{
    return m_note->isHidden() ? QString() : m_note->text();
}

void CFirmwareSelectDlg::StartListing()
{
    m_folderEdit->setText(m_folder);
    m_folderEdit->setToolTip(m_folder);
    m_rowsBeforeSearch = m_files.Rows().size();
    m_note->hide();
    if (m_folder.isEmpty()) {
        UpdateListingNote();
        return;
    }
    m_files.Start(m_folder);
    m_idle->start();
}

void CFirmwareSelectDlg::UpdateListingNote()
{
    if (m_files.Searching())
        return;
    if (m_folder.isEmpty()) {
        m_note->setText(tr("No firmware folder is chosen yet: choose the folder that holds the update files "
                           "(*.upd) with the \"...\" button."));
    } else if (m_files.Rows().size() == m_rowsBeforeSearch) {
        m_note->setText(tr("The folder \"%1\" holds no update file for this ESC (device %2, hardware %3). "
                           "Choose another folder with the \"...\" button.")
                            .arg(QDir::toNativeSeparators(m_folder))
                            .arg(m_deviceId)
                            .arg(m_hardwareVersion));
    } else {
        m_note->hide();
        return;
    }
    m_note->show();
}

void CFirmwareSelectDlg::ListStep()
{
    if (!m_files.Step())
        m_idle->stop();
    AddRows();
    UpdateOk();
    UpdateListingNote();
}

void CFirmwareSelectDlg::FinishListing()
{
    m_files.Finish();
    m_idle->stop();
    AddRows();
    UpdateOk();
    UpdateListingNote();
}

void CFirmwareSelectDlg::AddRows()
{
    // The folder keeps its newest find on top; show the finds not yet shown.
    const std::vector<CUpdateFile::Info>& rows = m_files.Rows();
    if (m_rowsShown >= rows.size())
        return;
    while (m_rowsShown < rows.size()) {
        const CUpdateFile::Info& info = rows[rows.size() - 1 - m_rowsShown];
        auto* item = new QTreeWidgetItem({info.version, info.OneLine()});
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, kPathRole, info.path);
        item->setData(0, kLinesRole, info.Lines());
        item->setToolTip(1, info.Lines().trimmed());
        m_list->insertTopLevelItem(0, item);
        ++m_rowsShown;
    }
    // A longer version than the column holds widens it; a column made wider
    // by hand stays so. Once for all new rows: each resize measures every row.
    const int before = m_list->header()->sectionSize(0);
    m_list->resizeColumnToContents(0);
    if (m_list->header()->sectionSize(0) < before)
        m_list->header()->resizeSection(0, before);
}

void CFirmwareSelectDlg::UpdateOk()
{
    if (m_files.Searching())
        return;
    m_ok->setEnabled(m_list->topLevelItemCount() > 0 && !m_list->selectedItems().isEmpty() && !Uploading());
}

void CFirmwareSelectDlg::BrowseFolder()
{
    const std::optional<QString> chosen = m_prompt.BrowseFolder(tr("Folder Location"), m_folder);
    if (!chosen)
        return;
    m_folder = *chosen;
    m_ok->setEnabled(false);
    StartListing();
}

void CFirmwareSelectDlg::accept()
{
    if (Uploading())
        return;
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    const QString path = selected.front()->data(0, kPathRole).toString();
    const QString lines = selected.front()->data(0, kLinesRole).toString();
    const QString version = selected.front()->text(0);

    CUpdateFile::Image image = CUpdateFile::ReadImage(path);
    if (image.status == CUpdateFile::Image::Status::CrcError)
        m_prompt.Message(tr("Corrupted firmware file \"%1\" - %2 line has wrong CRC").arg(path).arg(image.line),
                         kCaption, IPrompt::Icon::Error, IPrompt::Buttons::Ok);
    if (image.status != CUpdateFile::Image::Status::Ok) {
        m_prompt.Message(tr("It seems that firmware file \"%1\" has wrong size %2.\r\nDo you want to upload it?")
                             .arg(path)
                             .arg(image.size),
                         kCaption, IPrompt::Icon::Error, IPrompt::Buttons::Ok);
        return;
    }
    const QString question =
        lines.isEmpty()
            ? tr("Firmware file \"%1\" contains the firmware update \"%2\".\r\nDo you want to upload it?")
                  .arg(FileName(path), version)
            : tr("Firmware file \"%1\" contains the firmware update \"%2\".\r\n%3\r\nDo you want to upload it?")
                  .arg(FileName(path), version, lines);
    if (m_prompt.Message(question, kCaption, IPrompt::Icon::Question, IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
        return;

    if (!m_uploader->QueryBootloader()) {
        m_prompt.Message(tr("It seems that your device does not support the firmware upload"), kCaption,
                         IPrompt::Icon::Error, IPrompt::Buttons::Ok);
        return;
    }
    m_ended = Ended::No;
    ShowUploading(true);
    m_progress->setValue(0);
    m_uploader->Start(std::move(image.bytes));
}

void CFirmwareSelectDlg::ShowUploading(bool uploading)
{
    m_progress->setFormat(QString::fromLatin1(kPercentFormat));
    m_progress->setVisible(uploading);
    // The focus leaves the list before it is disabled, so that it does not
    // fall on Cancel, where Enter would stop the upload.
    if (uploading)
        m_progress->setFocus(Qt::OtherFocusReason);
    m_ok->setEnabled(!uploading);
    m_folderLabel->setVisible(!uploading);
    m_folderEdit->setVisible(!uploading);
    m_browse->setVisible(!uploading);
    m_browse->setEnabled(!uploading);
    m_list->setEnabled(!uploading);
    if (!uploading)
        m_list->setFocus(Qt::OtherFocusReason);
}

void CFirmwareSelectDlg::OnProgress(int percent)
{
    m_progress->setFormat(QString::fromLatin1(kPercentFormat));
    m_progress->setValue(percent);
}

void CFirmwareSelectDlg::OnPageLate(int page)
{
    m_prompt.Beep();
    m_progress->setFormat(tr("%p% - waiting for the ESC to acknowledge page %1 of %2")
                              .arg(page + 1)
                              .arg(m_uploader->PageCount()));
}

void CFirmwareSelectDlg::reject()
{
    if (m_asking)
        return;
    if (Uploading()) {
        const QString question = tr("Stop the firmware upload?\nThe ESC stays in its boot loader; you can start "
                                    "the update again at any time.");
        // The upload goes on while the question is open: its end waits
        // until the question is answered, and the window may close under it.
        const QPointer<CFirmwareSelectDlg> alive(this);
        m_asking = true;
        const IPrompt::Answer answer =
            m_prompt.Message(question, kCaption, IPrompt::Icon::Warning, IPrompt::Buttons::YesNoDefaultNo);
        if (alive.isNull())
            return;
        m_asking = false;
        if (m_ended != Ended::No) {
            EndUpload();
            return;
        }
        if (answer != IPrompt::Answer::Yes)
            return;
        m_uploader->Cancel();
    }
    ShowUploading(false);
    QDialog::reject();
}

void CFirmwareSelectDlg::OnFinished()
{
    m_uploaded = true;
    m_ended = Ended::Finished;
    if (!m_asking)
        EndUpload();
}

void CFirmwareSelectDlg::OnFailed(const QString& reason)
{
    m_failure = reason;
    m_ended = Ended::Failed;
    if (!m_asking)
        EndUpload();
}

void CFirmwareSelectDlg::EndUpload()
{
    ShowUploading(false);
    if (m_ended == Ended::Finished) {
        QDialog::accept();
        return;
    }
    m_prompt.Message(m_failure + tr("\nThe ESC stays in its boot loader; you can start the update again."), kCaption,
                     IPrompt::Icon::Error, IPrompt::Buttons::Ok);
    QDialog::reject();
}

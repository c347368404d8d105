#include "library/ui/CCompareDlg.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CCompareDlg::CCompareDlg(const QString& path, const QString& identityMismatch,
                         const std::vector<CFileParameters::Change>& changes, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("compareDlg"));
    setWindowTitle(tr("Compare with %1").arg(QFileInfo(path).fileName()));
    auto* layout = new QVBoxLayout(this);

    // A file of another ESC type or revision is the first thing to know.
    m_mismatch = new QLabel(identityMismatch, this);
    m_mismatch->setObjectName(QStringLiteral("identityMismatch"));
    m_mismatch->setWordWrap(true);
    QFont bold = m_mismatch->font();
    bold.setBold(true);
    m_mismatch->setFont(bold);
    m_mismatch->setVisible(!identityMismatch.isEmpty());
    layout->addWidget(m_mismatch);

    m_summary = new QLabel(changes.empty() ? tr("The ESC holds every setting of %1.").arg(path)
                                           : tr("%1 settings differ between the ESC and %2.")
                                                 .arg(changes.size())
                                                 .arg(path),
                           this);
    m_summary->setObjectName(QStringLiteral("compareSummary"));
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    m_table = new QTableWidget(static_cast<int>(changes.size()), 3, this);
    m_table->setObjectName(QStringLiteral("compareTable"));
    m_table->setHorizontalHeaderLabels({tr("Setting"), tr("ESC value"), tr("File value")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int row = 0; row < static_cast<int>(changes.size()); ++row) {
        const CFileParameters::Change& change = changes[static_cast<size_t>(row)];
        m_table->setItem(row, 0, new QTableWidgetItem(change.name));
        m_table->setItem(row, 1, new QTableWidgetItem(change.device));
        m_table->setItem(row, 2, new QTableWidgetItem(change.file));
    }
    m_table->resizeColumnsToContents();
    layout->addWidget(m_table, 1);

    auto* buttons = new QDialogButtonBox(this);
    m_load = buttons->addButton(tr("Load this file"), QDialogButtonBox::AcceptRole);
    m_load->setObjectName(QStringLiteral("loadThisFile"));
    buttons->addButton(QDialogButtonBox::Close);
    connect(m_load, &QPushButton::clicked, this, [this] { done(ResultLoad); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(520, 360);
}

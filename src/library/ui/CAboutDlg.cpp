#include "library/ui/CAboutDlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <utility>

// The resources live in the widget library; a static library needs them
// registered by name (outside any namespace).
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {
constexpr int kUrlRole = Qt::UserRole;
}

CAboutDlg::CAboutDlg(const QString& programName, const QString& version, const std::vector<Device>& devices,
                     const QString& libRevision, QWidget* parent)
    : QDialog(parent)
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    InitResources();
    setWindowTitle(tr("About TORV"));
    setObjectName(QStringLiteral("AboutDlg"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/torv.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto* title = new QLabel(QStringLiteral("<b>%1</b>").arg(programName.toHtmlEscaped()), this);
    title->setObjectName(QStringLiteral("ProgramName"));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    title->setFont(big);
    auto* versionLabel = new QLabel(tr("Version %1").arg(version), this);
    versionLabel->setObjectName(QStringLiteral("ProgramVersion"));
    auto* purpose = new QLabel(tr("Configuration tool for Brisko speed controllers"), this);

    auto* heading = new QVBoxLayout;
    heading->addWidget(title);
    heading->addWidget(versionLabel);
    heading->addWidget(purpose);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(heading, 1);

    m_devices = new QListWidget(this);
    m_devices->setObjectName(QStringLiteral("SupportedDevices"));
    m_devices->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const Device& device : devices) {
        auto* item = new QListWidgetItem(device.name, m_devices);
        if (!device.url.isEmpty()) {
            item->setData(kUrlRole, device.url);
            item->setToolTip(device.url);
        }
    }
    connect(m_devices, &QListWidget::itemDoubleClicked, this, &CAboutDlg::OpenDevicePage);

    auto* revision = new QLineEdit(libRevision, this);
    revision->setObjectName(QStringLiteral("LibRevision"));
    revision->setReadOnly(true);
    auto* form = new QFormLayout;
    form->addRow(tr("Lib revision:"), revision);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(new QLabel(tr("Supported devices:"), this));
    layout->addWidget(m_devices, 1);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(360, 380);
}

void CAboutDlg::SetUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void CAboutDlg::OpenDevicePage(QListWidgetItem* item)
{
    if (item == nullptr)
        return;
    const QString url = item->data(kUrlRole).toString();
    if (url.isEmpty() || !m_openUrl)
        return;
    m_openUrl(QUrl::fromUserInput(url));
}

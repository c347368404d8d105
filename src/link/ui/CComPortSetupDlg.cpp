#include "link/ui/CComPortSetupDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimerEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {
std::vector<CPortEnumerator::Port> PathsOnly(const QStringList& paths)
{
    std::vector<CPortEnumerator::Port> ports;
    for (const QString& path : paths) {
        CPortEnumerator::Port port;
        port.path = path;
        ports.push_back(port);
    }
    return ports;
}
}

CComPortSetupDlg::CComPortSetupDlg(const CPortSetup::Settings& settings, QWidget* parent)
    : CComPortSetupDlg(settings, [] { return CPortEnumerator().Ports(); }, parent)
{
}

CComPortSetupDlg::CComPortSetupDlg(const CPortSetup::Settings& settings, const QStringList& ports,
                                   QWidget* parent)
    : CComPortSetupDlg(settings, [list = PathsOnly(ports)] { return list; }, parent)
{
}

CComPortSetupDlg::CComPortSetupDlg(const CPortSetup::Settings& settings, PortSource source, QWidget* parent)
    : QDialog(parent)
    , m_setup(settings)
    , m_result(settings)
    , m_source(std::move(source))
{
    Build();
    m_refreshTimer = startTimer(kRefreshMs);
}

void CComPortSetupDlg::Build()
{
    setWindowTitle(tr("COM Port Setup"));
    setObjectName(QStringLiteral("ComPortSetupDlg"));

    // The port entry is editable so that a path no enumeration finds (a
    // pseudo-terminal) can be typed; the lists keep their given order. The
    // entry shows the name to keep, the opened list a table of what each
    // adapter says of itself.
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("PortCombo"));
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_portModel = new QStandardItemModel(0, ColumnCount, m_port);
    m_portModel->setHorizontalHeaderLabels({tr("Port"), tr("Device"), tr("Description"), tr("Manufacturer"),
                                            tr("Serial number"), tr("USB ID")});
    m_portView = new QTreeView(m_port);
    m_portView->setObjectName(QStringLiteral("PortList"));
    m_portView->setRootIsDecorated(false);
    m_portView->setItemsExpandable(false);
    m_portView->setAllColumnsShowFocus(true);
    m_port->setModel(m_portModel);
    m_port->setView(m_portView);
    m_port->setMinimumContentsLength(14);
    // Paths such as /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    // must show whole: the box takes the width of the longest listed or
    // typed path, and the dialog (of fixed size) grows with it.
    m_port->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_port, &QComboBox::editTextChanged, this, &CComPortSetupDlg::FitPortBox);
    FillPorts(m_source());
    const QString& name = m_setup.Initial().portName;
    const CPortEnumerator::Port* given = CPortEnumerator::Find(m_ports, name);
    const int portIndex = given != nullptr ? static_cast<int>(given - m_ports.data()) : -1;
    m_port->setCurrentIndex(portIndex);
    if (portIndex < 0)
        m_port->setEditText(name);
    FitPortBox();

    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("SpeedCombo"));
    for (int speed : CPortSetup::kSpeeds)
        m_speed->addItem(QString::number(speed), speed);
    m_speed->setCurrentIndex(m_setup.ShownSpeedIndex());

    m_useDefault = new QCheckBox(tr("Use default settings"), this);
    m_useDefault->setObjectName(QStringLiteral("UseDefaultCheck"));
    m_useDefault->setChecked(m_setup.UseDefaultSettings());
    connect(m_useDefault, &QCheckBox::toggled, this, &CComPortSetupDlg::UpdateSpeedEnabled);
    UpdateSpeedEnabled();

    auto* form = new QFormLayout;
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("Baudrate:"), m_speed);
    form->addRow(QString(), m_useDefault);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CComPortSetupDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CComPortSetupDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CComPortSetupDlg::FillPorts(const std::vector<CPortEnumerator::Port>& ports)
{
    m_ports = ports;
    m_portModel->removeRows(0, m_portModel->rowCount());
    for (const CPortEnumerator::Port& port : m_ports) {
        QList<QStandardItem*> row;
        for (const QString& text : {port.Name(), port.path, port.description, port.manufacturer, port.serialNumber,
                                    CPortEnumerator::UsbId(port)}) {
            auto* item = new QStandardItem(text);
            item->setEditable(false);
            item->setToolTip(port.Details().isEmpty() ? port.path : port.path + QStringLiteral(": ") + port.Details());
            row << item;
        }
        m_portModel->appendRow(row);
    }
    FitPortList();
}

void CComPortSetupDlg::FitPortList()
{
    // The opened list is as wide as its columns, which fit their contents.
    const QFontMetrics metrics = m_portView->fontMetrics();
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('x'));
    int total = 0;
    for (int column = 0; column < ColumnCount; ++column) {
        int width = metrics.horizontalAdvance(m_portModel->headerData(column, Qt::Horizontal).toString());
        for (int row = 0; row < m_portModel->rowCount(); ++row)
            width = std::max(width, metrics.horizontalAdvance(m_portModel->item(row, column)->text()));
        m_portView->setColumnWidth(column, width + padding);
        total += width + padding;
    }
    m_portView->setMinimumWidth(total + m_portView->frameWidth() * 2);
}

void CComPortSetupDlg::Refresh()
{
    std::vector<CPortEnumerator::Port> ports = m_source();
    if (ports == m_ports)
        return;
    // An adapter came or went: the list follows; the entry keeps what it
    // shows, whether chosen from the list or typed.
    const QString text = m_port->currentText();
    const bool chosen = m_port->currentIndex() >= 0 && m_port->itemText(m_port->currentIndex()) == text;
    const QSignalBlocker blocker(m_port);
    FillPorts(ports);
    const int index = chosen ? m_port->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) : -1;
    m_port->setCurrentIndex(index);
    if (index < 0)
        m_port->setEditText(text);
    FitPortBox();
}

void CComPortSetupDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_refreshTimer)
        Refresh();
    else
        QDialog::timerEvent(event);
}

void CComPortSetupDlg::FitPortBox()
{
    const QFontMetrics metrics = m_port->fontMetrics();
    int textWidth = metrics.horizontalAdvance(m_port->currentText());
    for (int index = 0; index < m_port->count(); ++index)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(m_port->itemText(index)));
    QStyleOptionComboBox option;
    option.initFrom(m_port);
    option.editable = true;
    option.frame = m_port->hasFrame();
    // Room for the cursor after the last character.
    const QSize text(textWidth + metrics.horizontalAdvance(QLatin1Char('x')), metrics.height());
    int width = m_port->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, m_port).width();
    // Never wider than most of the screen; the tooltip has the whole path.
    if (const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() * 3 / 4);
    m_port->setMinimumWidth(width);
    m_port->setToolTip(m_port->currentText());
}

void CComPortSetupDlg::UpdateSpeedEnabled()
{
    m_speed->setEnabled(!m_useDefault->isChecked());
}

void CComPortSetupDlg::accept()
{
    // A listed port is kept by its stable name where it has one, also when
    // its device path was typed.
    QString text = m_port->currentText().trimmed();
    if (const CPortEnumerator::Port* port = CPortEnumerator::Find(m_ports, text))
        text = port->Name();
    m_result = m_setup.Confirm(text, m_speed->currentIndex(), m_useDefault->isChecked());
    QDialog::accept();
}

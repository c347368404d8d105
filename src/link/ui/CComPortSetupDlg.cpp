#include "link/ui/CComPortSetupDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>

#include <algorithm>

CComPortSetupDlg::CComPortSetupDlg(const CPortSetup::Settings& settings, QWidget* parent)
    : CComPortSetupDlg(settings, CPortSetup::AvailablePorts(), parent)
{
}

CComPortSetupDlg::CComPortSetupDlg(const CPortSetup::Settings& settings, const QStringList& ports,
                                   QWidget* parent)
    : QDialog(parent)
    , m_setup(settings)
    , m_result(settings)
{
    Build(ports);
}

void CComPortSetupDlg::Build(const QStringList& ports)
{
    setWindowTitle(tr("COM Port Setup"));
    setObjectName(QStringLiteral("ComPortSetupDlg"));

    // The port entry is editable so that a path no enumeration finds (a
    // pseudo-terminal) can be typed; the lists keep their given order.
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("PortCombo"));
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->addItems(ports);
    m_port->setMinimumContentsLength(14);
    // Paths such as /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    // must show whole: the box takes the width of the longest listed or
    // typed path, and the dialog (of fixed size) grows with it.
    m_port->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_port, &QComboBox::editTextChanged, this, &CComPortSetupDlg::FitPortBox);
    const QString& name = m_setup.Initial().portName;
    const int portIndex = m_port->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
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
    m_result = m_setup.Confirm(m_port->currentText(), m_speed->currentIndex(), m_useDefault->isChecked());
    QDialog::accept();
}

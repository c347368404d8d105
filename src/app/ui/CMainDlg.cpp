#include "app/ui/CMainDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

CMainDlg::CMainDlg(const CTorvSettings& settings, std::unique_ptr<pugi::xml_document> library, QWidget* parent)
    : QMainWindow(parent)
    , m_settings(settings)
    , m_library(library != nullptr ? std::move(library) : std::make_unique<pugi::xml_document>())
{
    setObjectName(QStringLiteral("mainDlg"));
    setWindowTitle(QStringLiteral("TORV"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_libraryLabel = new QLabel(QDir::toNativeSeparators(m_settings.escFile), central);
    m_libraryLabel->setObjectName(QStringLiteral("libraryPathLabel"));
    m_libraryLabel->setAlignment(Qt::AlignCenter);
    m_libraryLabel->setWordWrap(true);
    m_libraryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_libraryLabel);
    setCentralWidget(central);

    m_linkPane = new QLabel(QStringLiteral(" "), this);
    m_linkPane->setObjectName(QStringLiteral("linkStatePane"));
    m_linkPane->setFixedWidth(LinkPaneWidth);
    m_messagePane = new QLabel(this);
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    statusBar()->addWidget(m_linkPane);
    statusBar()->addWidget(m_messagePane, 1);
    statusBar()->setSizeGripEnabled(true);

    auto* closeAction = new QAction(this);
    closeAction->setObjectName(QStringLiteral("closeAction"));
    closeAction->setShortcut(QKeySequence(Qt::Key_Escape));
    closeAction->setShortcutContext(Qt::WindowShortcut);
    connect(closeAction, &QAction::triggered, this, &CMainDlg::close);
    addAction(closeAction);

    setMinimumSize(MinimumClientSize());
    resize(MinimumClientSize());
}

CMainDlg::~CMainDlg() = default;

QSize CMainDlg::MinimumClientSize()
{
    return QSize(460, 440);
}

int CMainDlg::Run()
{
    show();
    PlaceWindow();
    QEventLoop loop;
    m_loop = &loop;
    const int result = loop.exec();
    m_loop = nullptr;
    return result;
}

QSize CMainDlg::FrameExtra() const
{
    return frameGeometry().size() - geometry().size();
}

QSize CMainDlg::OuterSize() const
{
    const bool restored = !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
    const QSize client = restored || !normalGeometry().isValid() ? size() : normalGeometry().size();
    return client + FrameExtra();
}

void CMainDlg::PlaceWindow()
{
    const QScreen* screen = this->screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();

    if (m_settings.cx != -1 && m_settings.cy != -1) {
        QSize client = QSize(m_settings.cx, m_settings.cy) - FrameExtra();
        if (available.isValid())
            client = client.boundedTo(available.size() - FrameExtra());
        resize(client.expandedTo(minimumSize()));
    }
    if (available.isValid()) {
        QRect frame = frameGeometry();
        frame.moveCenter(available.center());
        move(frame.topLeft());
    }
}

void CMainDlg::closeEvent(QCloseEvent* event)
{
    const QSize outer = OuterSize();
    m_settings.cx = outer.width();
    m_settings.cy = outer.height();
    event->accept();
    if (m_loop != nullptr)
        m_loop->exit(CloseCommand);
}

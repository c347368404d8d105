#pragma once

#include "app/CTorvSettings.h"
#include "app/IMainWindow.h"

#include <QMainWindow>
#include <QPointer>

#include <pugixml.hpp>

#include <memory>

class QEventLoop;
class QLabel;

// The program's single main window. For now it shows which device library
// is in use and a status bar with the link state and message panes; it
// closes with Escape or the close box and remembers its outer size.
class CMainDlg : public QMainWindow, public IMainWindow {
    Q_OBJECT
public:
    // The command that closes the window; also the result of its event loop.
    static constexpr int CloseCommand = 2;
    static constexpr int LinkPaneWidth = 200;

    CMainDlg(const CTorvSettings& settings, std::unique_ptr<pugi::xml_document> library,
             QWidget* parent = nullptr);
    ~CMainDlg() override;

    int Run() override;
    CTorvSettings Settings() const override { return m_settings; }

    const pugi::xml_document& Library() const { return *m_library; }

    // The smallest size the window can take, which is also its size when
    // no size is stored.
    static QSize MinimumClientSize();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Opening: the stored outer size when both cx and cy are given (kept on
    // the screen), then centred.
    void PlaceWindow();
    QSize FrameExtra() const;
    QSize OuterSize() const;

    CTorvSettings m_settings;
    std::unique_ptr<pugi::xml_document> m_library;
    QLabel* m_libraryLabel = nullptr;
    QLabel* m_linkPane = nullptr;
    QLabel* m_messagePane = nullptr;
    QPointer<QEventLoop> m_loop;
};

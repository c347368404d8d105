#pragma once

#include "app/IMainWindowFactory.h"

// Creates the widget main window, CMainDlg.
class CMainDlgFactory : public IMainWindowFactory {
public:
    std::unique_ptr<IMainWindow> Create(const CTorvSettings& settings,
                                        std::unique_ptr<pugi::xml_document> library) override;
};

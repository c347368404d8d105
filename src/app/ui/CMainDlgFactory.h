#pragma once

#include "app/IMainWindowFactory.h"

class CTORVModule;
class CWidgetPrompt;

// Creates the widget main window, CMainDlg.
class CMainDlgFactory : public IMainWindowFactory {
public:
    // The window talks to the device through the application object's port
    // and short-answer collector and asks the user through the prompt, whose
    // dialogs then belong to the window.
    CMainDlgFactory(CTORVModule& module, CWidgetPrompt& prompt) : m_module(module), m_prompt(prompt) {}

    std::unique_ptr<IMainWindow> Create(const CTorvSettings& settings,
                                        std::unique_ptr<CDeviceLibrary> library) override;

private:
    CTORVModule& m_module;
    CWidgetPrompt& m_prompt;
};

#pragma once

// Command identifiers of the main window: toolbar buttons, shortcuts, the
// menu bar and the ☰ menu.
namespace MainCommand {
enum : int {
    Ok = 1,
    Close = 2,
    PortSetup = 16,
    About = 17,
    LoadParameters = 57601,
    SaveParameters = 57603,
    Refresh = 32775,
    RestoreDefaults = 32777,
    LibraryUpdate = 32778,
    Logs = 32780,
    EraseLogger = 32781,
    WriteLoggerImage = 32782,
    MeasurementPanel = 32791,
    FirmwareUpdate = 32792,
    EraseLoggerDialog = 32794,
    Melodies = 32808,
    Curves = 32813,
    // Commands of the menu bar that have no toolbar button or shortcut of
    // their own in the window's original command set.
    OpenLogFile = 33001,
    CompareWithFile = 33002,
    OpenBackupFolder = 33003,
    Undo = 33004,
    Redo = 33005,
    Help = 33006,
    KeyboardShortcuts = 33007,
};
}

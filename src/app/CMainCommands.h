#pragma once

// Command identifiers of the main window: toolbar buttons, shortcuts and
// system menu items.
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
};
}

#pragma once

#include "CSimProfile.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

// The ESC itself: its cells, logger memory, boot loader and motor, and how it
// answers each frame that reaches it. It knows nothing of the line; the
// simulator feeds it whole frames and carries its answers.
class CSimDevice {
public:
    using Clock = std::chrono::steady_clock;

    struct Settings {
        bool corruptedFirmware = false;
        bool corruptedVersion255 = false;
        bool bootloaderOnly = false;
        bool firmwareUploadSupported = true;
        int loggerPages = 0;    // 0: the profile's memory size
        int firmwarePages = 0;  // blocks of a whole image; 0: any number, whole at the next ordinary frame
    };

    struct Answer {
        std::vector<uint8_t> bytes;   // empty: nothing is sent
        int switchToBaud = 0;         // after the answer, the ESC's line runs at this speed
        int busyUs = 0;               // flash work before the answer can be sent
    };

    static constexpr int kStartBaud = 19200;

    CSimDevice(const CSimProfile& profile, const Settings& settings);

    // Handles one whole frame; returns false when the frame gets no answer.
    bool Handle(const std::vector<uint8_t>& frame, Clock::time_point now, Answer& answer);

    const CSimProfile& Profile() const { return m_profile; }
    int Baud() const { return m_baud; }
    void SetBaud(int baud) { m_baud = baud; }
    // Power comes back after a cut: 19200 baud, the motor at rest, and an
    // upload that was under way leaves only the boot loader.
    void PowerUp();
    bool InBootloader() const { return !m_application || m_loaderActive; }

    uint8_t Cell(int index) const { return m_cells[static_cast<std::size_t>(index & 0xFF)]; }
    void SetCell(int index, uint8_t value) { m_cells[static_cast<std::size_t>(index & 0xFF)] = value; }
    const std::array<uint8_t, 256>& Cells() const { return m_cells; }
    const std::vector<uint8_t>& LoggerMemory() const { return m_logger; }
    void SetLoggerMemory(std::vector<uint8_t> memory);
    const std::vector<uint8_t>& UploadedFirmware() const { return m_image; }
    void SetTempA(uint16_t raw) { m_tempA = raw; }
    // Record bytes that replace the computed ones from offset on (empty: none).
    void SetTelemetryBytes(std::size_t offset, std::vector<uint8_t> bytes)
    {
        m_telemetryOffset = offset;
        m_telemetryBytes = std::move(bytes);
    }
    // A worn cell: writes to it are answered but leave it as it is.
    void SetWriteProtected(int index, bool on) { m_writeProtected[static_cast<std::size_t>(index & 0xFF)] = on; }

    // Baud rate of a one-bit speed code (0x01 = 4800 ... 0x80 = 460800); 0 if none.
    static int BaudOfCode(uint8_t code);

private:
    void LoadProfile(const CSimProfile& profile);
    bool HandleBootloader(const std::vector<uint8_t>& frame, Answer& answer);
    bool HandleApplication(const std::vector<uint8_t>& frame, Clock::time_point now, Answer& answer);
    bool HandleLogger(const std::vector<uint8_t>& frame, Answer& answer);
    void FinishUpload();
    void EnterBootloaderOnly();
    void UpdateLoggerStatus();
    void EraseFromPage(std::size_t page);
    void AdvanceMotor(Clock::time_point now);
    void UpdateLiveCells(Clock::time_point now);
    std::vector<uint8_t> TelemetryRecord(uint8_t servo, Clock::time_point now);

    static std::vector<uint8_t> Short(uint8_t value);
    static std::vector<uint8_t> Block(const uint8_t* data, std::size_t size);

    CSimProfile m_profile;
    Settings m_settings;
    std::array<uint8_t, 256> m_cells{};
    std::array<bool, 256> m_writeProtected{};
    std::vector<uint8_t> m_logger;
    std::vector<uint8_t> m_image;
    bool m_application = true;   // false: only the boot loader is there
    bool m_loaderActive = false; // the boot loader takes blocks
    int m_blocksReceived = 0;
    int m_baud = kStartBaud;

    // Motor and measurements
    Clock::time_point m_start;
    Clock::time_point m_lastMotorUpdate;
    Clock::time_point m_lastServo;
    uint8_t m_servo = 0;
    double m_rpm = 0.0;
    double m_current = 0.0;
    double m_voltage = 16.5;
    double m_temperature = 25.0;
    double m_consumedMah = 0.0;
    uint16_t m_tempA = 512;
    std::size_t m_telemetryOffset = 0;
    std::vector<uint8_t> m_telemetryBytes;
    uint16_t m_records = 0;
};

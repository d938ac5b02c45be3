#pragma once
// AppConfig: every user setting of the program, in one record. Filled from
// the settings store once at start (Load) and written back once at exit
// (Save), then only if it differs from the copy taken after the last load or
// save. The UI thread is its only user.
#include <cstdint>
#include <string>

namespace shell {

class AppConfig {
public:
    static constexpr const char* kProductName = "Pellumo";
    static constexpr std::size_t kImagePathChars = 260; // with the terminating zero
    static constexpr std::size_t kRtspUrlChars = 2084;  // with the terminating zero
    static constexpr const char* kDefaultRtspUrl = "rtsp://127.0.0.1:8554/live0";
    static constexpr std::size_t kBoxScanHostsChars = 256; // with the terminating zero
    static constexpr std::size_t kCaliNameChars = 256;     // 63 UTF-16 units in UTF-8, with the zero

    // Fields in record order; the names are the stored value names.
    std::int32_t ExitPrompt = 0;
    std::int32_t MaximizeWindow = 1;
    std::int32_t DisableStillCap = 0;
    std::int32_t FileSave_Rule = 0;
    std::int32_t ImagePath_MyDoc = 0;
    std::string ImagePath;
    std::int32_t FileType = 3;
    std::int32_t Language = 0;
    // The chosen calibration: its index in the calibration list (negative:
    // none, lengths in pixels) and its name, which wins at start when a
    // calibration of that name exists (empty in settings of older versions).
    std::int32_t curCaliData = 0;
    std::string curCaliName;
    std::int32_t curPhyUnit = 0;
    std::int32_t ConshotCount = 0;
    std::int32_t ConshotInterval = 0;
    std::string rtspURL;
    // Hosts the wireless-box scan probes (comma-separated IPv4 addresses,
    // e.g. a network's broadcast address); empty: loopback only.
    std::string BoxScanHosts;
    // A timed series makes one time-lapse video instead of pictures: a frame
    // every TimeLapseIntervalMs milliseconds, played at TimeLapseRate frames
    // per second (1 … 60), for ConshotCount frames or, with
    // TimeLapseUntilStopped, until the user stops it.
    std::int32_t TimeLapse = 0;
    std::int32_t TimeLapseIntervalMs = 1000;
    std::int32_t TimeLapseRate = 30;
    std::int32_t TimeLapseUntilStopped = 0;
    // The measure page's scale bar is shown over the picture.
    std::int32_t ScaleBar = 0;
    static constexpr std::int32_t kTimeLapseMinIntervalMs = 10;
    static constexpr std::int32_t kTimeLapseMaxIntervalMs = 86'400'000;

    AppConfig() { SetDefaults(); }

    // The values before any load; copies them to the shadow and names the key.
    void SetDefaults();
    // False only when the key can neither be opened nor created.
    bool Load();
    // True when nothing changed or after writing; false when the key cannot
    // be opened or created.
    bool Save();
    // Writes curCaliData and curCaliName at once (the calibrations file is
    // written at every change too, so the two never disagree after a crash).
    bool SaveCalibrationChoice();
    // Whether the record differs from the shadow copy.
    bool IsChanged() const;

    // "Software\Pellumo\Config".
    const std::string& KeyName() const { return m_keyName; }
    // The key's folder in the user's configuration folder (read anew each
    // time, so tests may point XDG_CONFIG_HOME elsewhere).
    std::string KeyFolder() const;
    // The user's documents folder + "/Pellumo Files/Images/"; empty when the
    // documents folder cannot be found or created.
    static std::string DocumentsRulePath();

private:
    void TakeShadow();

    std::string m_keyName;
    // The state after the last load or save (only its fields are used).
    struct Shadow {
        std::int32_t ExitPrompt, MaximizeWindow, DisableStillCap, FileSave_Rule, ImagePath_MyDoc;
        std::string ImagePath;
        std::int32_t FileType, Language, curCaliData;
        std::string curCaliName;
        std::int32_t curPhyUnit, ConshotCount, ConshotInterval;
        std::string rtspURL;
        std::string BoxScanHosts;
        std::int32_t TimeLapse, TimeLapseIntervalMs, TimeLapseRate, TimeLapseUntilStopped;
        std::int32_t ScaleBar;
        bool operator==(const Shadow&) const = default;
    } m_shadow{};
    Shadow Current() const;
};

// The program's one settings record.
AppConfig& Config();

} // namespace shell

// Not a test: the long-session driver behind scripts/soak.sh. Runs the real
// main window in demo mode on a live 1920 × 1080 at 60 frames/s emulated USB3
// camera (whose unplug fault repeats, set by the script) and, driven
// in-process like a user, keeps recording, measuring and taking snapshots
// while it samples the process's health into a CSV table:
//
//   soak_driver <minutes> <table.csv>
//
// A period of the plan is scaled by min(1, minutes / 10), so that a short run
// still does every action at least once: a recording restarted every 10
// minutes (it runs for the first half of each period, since snapshots are
// disabled while recording), a snapshot every minute when not recording, 100
// line measurements drawn and removed again and again, and a sample every
// minute. The actions' counts are written at the end as "# actions" lines.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/shell/session/DemoMode.h"
#include "app/view/ImageRenderUI.h"
#include "app/view/X11ChildWindow.h"
#include "tests/shell_session/DemoWindow.h"
#include "tests/soak/StallStacks.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <map>
#include <string>

using ui::testing::Driver;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A value of /proc/self/status ("VmRSS", "Threads"), 0 when missing.
long StatusValue(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::atol(line.c_str() + key.size() + 1);
    return 0;
}

// Bytes the allocator has handed out and not got back (its arenas and its
// mapped blocks), in KiB: next to the resident size, it tells memory the
// program holds from memory the allocator keeps after it was freed.
long HeapInUseKb()
{
    const struct mallinfo2 info = ::mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

// The names of the process's threads with their counts ("pellumo-capture×1 ..."),
// so a thread that stays behind can be named.
std::string ThreadNames()
{
    std::map<std::string, int> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        ++names[name];
    }
    std::string list;
    for (const auto& [name, count] : names)
        list += name + "x" + std::to_string(count) + " ";
    return list;
}

long OpenDescriptors()
{
    long n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// The longest time the UI thread did not get round to a 10 ms timer: how long
// the window took to answer at worst. Its stacks go to the log whenever it is
// more than 50 ms late.
class AnswerProbe {
public:
    AnswerProbe()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const double late = std::chrono::duration<double, std::milli>(now - m_last).count() - 10.0;
            m_worstMs = std::max(m_worstMs, late);
            m_last = now;
            m_stalls.Beat();
        });
        m_last = Clock::now();
        m_timer.start();
    }
    // The worst delay since the last call.
    double TakeWorstMs() { return std::exchange(m_worstMs, 0.0); }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    double m_worstMs = 0;
    StallStacks m_stalls{50};
};

class Soak {
public:
    Soak(shell::CMainWnd& window, CImageRenderUI& view, double minutes, const std::string& table)
        : m_window(window), m_view(view), m_ui(window), m_minutes(minutes), m_table(table)
    {
        m_scale = std::min(1.0, minutes / 10.0);
    }

    int Run()
    {
        if (!m_table) {
            std::fprintf(stderr, "soak: cannot write the table\n");
            return 2;
        }
        m_table << "minute,rss_kb,fds,threads,frames_delivered,frames_expected,frames_lost,live_seconds,"
                   "max_answer_ms,camera_live,recording,recordings,snapshots,measure_cycles,reconnects,heap_kb\n";
        const double minute = 60.0 * m_scale;
        const double recordingPeriod = 600.0 * m_scale;
        const auto start = Clock::now();
        double nextSample = minute, nextSnapshot = minute / 2, nextRecording = 0, recordingAnchor = 0;
        int sample = 0;
        m_lastDelivered = Session().FramesDelivered();
        m_lastCount = Clock::now();
        m_ui.click("MainTabOptMeasure");
        while (SecondsSince(start) < 60.0 * m_minutes) {
            const double now = SecondsSince(start);
            Pump(50);
            m_recording = RecordButtonOn(); // a lost camera ends its recording
            if (now >= nextRecording) {
                if (StartRecording()) {
                    recordingAnchor += recordingPeriod;
                    nextRecording = recordingAnchor;
                    m_stopRecordingAt = now + recordingPeriod / 2;
                } else {
                    nextRecording = now + 1.0; // camera away: try again in a second
                }
            }
            if (m_recording && now >= m_stopRecordingAt)
                StopRecording();
            if (now >= nextSnapshot && TakeSnapshot())
                nextSnapshot = now + minute;
            MeasureStep();
            if (now >= nextSample) {
                WriteSample(++sample);
                nextSample += minute;
            }
        }
        if (m_recording)
            StopRecording();
        WriteSample(++sample);
        m_table << "# actions recordings=" << m_recordings << " snapshots=" << m_snapshots
                << " measure_cycles=" << m_measureCycles << " reconnects=" << m_reconnects << "\n";
        m_table.flush();
        return m_table ? 0 : 2;
    }

private:
    shell::CameraSession& Session() { return *m_window.Session(); }
    bool Live() { return Session().Camera() && !Session().IsLost(); }
    // Live and its frames arriving. An unplugged camera's stream thread has
    // ended before the window notices the silence: a sample of that moment
    // is not one of the camera's level.
    bool Delivering() { return Live() && m_silentSeconds < 0.5; }

    // Runs the event loop for `ms`, then counts the frames of the open camera
    // since the last count against its 60 frames/s clock (only while it was
    // live at both ends; a new camera counts from zero again).
    void Pump(int ms)
    {
        const bool wasLive = Live();
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until)
            ui::Application::processEventsFor(5);
        const auto now = Clock::now();
        const unsigned long delivered = Session().FramesDelivered();
        const bool live = Live();
        if (wasLive && live && delivered >= m_lastDelivered) {
            const double seconds = std::chrono::duration<double>(now - m_lastCount).count();
            m_liveSeconds += seconds;
            m_delivered += delivered - m_lastDelivered;
            m_silentSeconds = delivered > m_lastDelivered ? 0.0 : m_silentSeconds + seconds;
        }
        if (wasLive && !live) {
            // The camera was unplugged when its frames stopped, not when the
            // window noticed: that silence is not loss.
            m_liveSeconds -= m_silentSeconds;
            m_silentSeconds = 0;
        }
        if (!wasLive && live)
            ++m_reconnects;
        m_lastDelivered = delivered;
        m_lastCount = now;
    }

    // True when a recording runs (started now or before).
    bool StartRecording()
    {
        if (!Live() || m_recording)
            return m_recording;
        m_ui.click("ToolbarBtnRecord");
        auto* record = dynamic_cast<COptionUI*>(m_window.PaintManager().FindControl("ToolbarBtnRecord"));
        m_recording = record && record->IsSelected();
        m_recordings += m_recording;
        if (!m_recording)
            std::printf("soak: the recording did not start: %s\n", StatusText().c_str());
        return m_recording;
    }

    bool RecordButtonOn()
    {
        auto* record = dynamic_cast<COptionUI*>(m_window.PaintManager().FindControl("ToolbarBtnRecord"));
        return record && record->IsSelected();
    }

    std::string StatusText()
    {
        CControlUI* label = m_window.PaintManager().FindControl("StatusBarLabelInfo");
        return label ? std::string(label->GetText()) : std::string();
    }

    void StopRecording()
    {
        auto* record = dynamic_cast<COptionUI*>(m_window.PaintManager().FindControl("ToolbarBtnRecord"));
        if (record && record->IsSelected())
            m_ui.click("ToolbarBtnRecord");
        m_recording = false;
    }

    // A snapshot when the camera button takes one (not while recording).
    bool TakeSnapshot()
    {
        CControlUI* capture = m_window.PaintManager().FindControl("ToolbarBtnCapture");
        // Also when the camera has just stopped sending: the still is waited
        // for off the UI thread, so the window must keep answering.
        if (!Live() || !capture || !capture->IsEnabled())
            return false;
        m_ui.click("ToolbarBtnCapture");
        ++m_snapshots;
        return true;
    }

    // One line measurement per step; at 100, all are removed (answering the
    // question) and the cycle starts again.
    void MeasureStep()
    {
        if (!Live())
            return;
        if (m_lines == 100) {
            Driver::answerNextModal(Driver::ClickControl("okbtn"));
            m_ui.click("MeasureBtnDeleteAll");
            Driver::processEventsUntil([] { return Driver::pendingAnswers() == 0; }, 5000);
            m_lines = 0;
            ++m_measureCycles;
            return;
        }
        m_ui.click("MeasureBtnLine");
        const float x = 40.0f + 15.0f * float(m_lines % 50), y = 60.0f + 400.0f * float(m_lines / 50);
        for (const POINT p : {At(x, y), At(x + 10.0f, y + 300.0f)}) {
            m_ui.mouseMove(p);
            m_ui.mousePress(p);
            m_ui.mouseRelease(p);
        }
        m_ui.click("MeasureBtnNone");
        ++m_lines;
    }

    POINT At(float x, float y) const
    {
        const ViewFit fit = m_view.currentFit();
        const RECT pos = m_view.GetPos();
        return POINT{pos.left + int(std::lround(fit.originX + x * fit.zoom)),
                     pos.top + int(std::lround(fit.originY + y * fit.zoom))};
    }

    void WriteSample(int sample)
    {
        const double expected = 60.0 * m_liveSeconds;
        const double lost = std::max(0.0, expected - double(m_delivered));
        m_table << sample * m_scale << ',' << StatusValue("VmRSS") << ',' << OpenDescriptors() << ','
                << StatusValue("Threads") << ',' << m_delivered << ',' << std::lround(expected) << ','
                << std::lround(lost) << ',' << m_liveSeconds << ',' << m_probe.TakeWorstMs() << ',' << Delivering()
                << ',' << m_recording << ',' << m_recordings << ',' << m_snapshots << ',' << m_measureCycles << ','
                << m_reconnects << ',' << HeapInUseKb() << '\n';
        m_table.flush();
        std::printf("soak: sample %d written; threads: %s\n", sample, ThreadNames().c_str());
        std::fflush(stdout);
    }

    shell::CMainWnd& m_window;
    CImageRenderUI& m_view;
    Driver m_ui;
    double m_minutes;
    double m_scale = 1;
    std::ofstream m_table;
    AnswerProbe m_probe;

    bool m_recording = false;
    double m_stopRecordingAt = 0;
    int m_lines = 0;
    int m_recordings = 0, m_snapshots = 0, m_measureCycles = 0, m_reconnects = 0;
    unsigned long m_lastDelivered = 0;
    Clock::time_point m_lastCount;
    unsigned long long m_delivered = 0;
    double m_liveSeconds = 0;
    double m_silentSeconds = 0; // live time since the last frame arrived
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <minutes> <table.csv>\n", argv[0]);
        return 2;
    }
    shell::KeepPictureBuffersApart(); // as the program does
    const double minutes = std::atof(argv[1]);
    if (!(minutes > 0)) {
        std::fprintf(stderr, "soak: minutes must be positive\n");
        return 2;
    }
    if (const char* display = std::getenv("DISPLAY"); !display || !*display) {
        std::fprintf(stderr, "soak: needs an X display\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    X11ChildWindow::initThreads();

    shell::DemoMode demo;
    demowindow::PrepareSettings(demo, true); // the home's settings: pictures go to its documents folder

    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    shell::RegisterSkin();
    ui::testing::answerModalWindows(true);
    int result = 1;
    {
        shell::CMainWnd window;
        if (CImageRenderUI* view = demowindow::ShowLive(window, 30000)) {
            Soak soak(window, *view, minutes, argv[2]);
            result = soak.Run();
        } else {
            std::fprintf(stderr, "soak: no live picture\n");
        }
        window.DestroyWindow();
        Driver::processEvents();
    }
    ui::testing::answerModalWindows(false);
    CResourceManager::GetInstance()->Release();
    return result;
}

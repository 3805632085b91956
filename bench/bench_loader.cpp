// The desktop window against the simulated controllers: how soon the window is on screen, and
// how long the event loop is ever kept from running while panels work. A report, not a test:
// the figures depend on the machine, so nothing here passes or fails.
//
//   lpfp_loader_bench [repeats]     (runs on the offscreen platform unless QT_QPA_PLATFORM is set)
//
// Start-up: constructing and showing the window until it is exposed, for N controllers, next
// to the same for none (the floor: the window alone). Gaps: a 10 ms timer beats on the event
// loop while the panels work; the longest interval between two beats is the longest stall, next
// to the 10 ms floor.

#include "core/config/file_io.h"
#include "loader/mainwindow.h"
#include "loader/varko5configwidget.h"
#include "simulator/backend.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int BEAT_MS = 10;

// The simulated backend of a scenario, handed to the window.
struct Installed {
    explicit Installed(const std::string& scenario) : backend(makeSimulatedBackend(scenario)) {}
    std::shared_ptr<DeviceBackend> backend;
};

bool anyBusy(const MainWindow& window) {
    const std::vector<varko5ConfigWidget*> panels = window.panels();
    return std::any_of(panels.begin(), panels.end(),
                       [](const varko5ConfigWidget* panel) { return panel->isBusy(); });
}

bool waitIdle(const MainWindow& window) {
    return QTest::qWaitFor([&window] { return !anyBusy(window); }, 60000);
}

// Milliseconds from constructing the window to its being exposed.
double startUp(int devices) {
    const Installed sim("devices=" + std::to_string(devices) + ";latency=20");
    if (devices == 0) {
        // The start-up box "No Varko 5 Devices found" waits for its OK inside the constructor.
        QTimer::singleShot(0, [] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                box->close();
            }
        });
    }
    QElapsedTimer clock;
    clock.start();
    MainWindow window(sim.backend);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not exposed\n");
    }
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    waitIdle(window);
    return ms;
}

// The longest interval between two beats of a 10 ms timer while work runs.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(BEAT_MS);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ >= 0) {
                longest_ = std::max(longest_, now - last_);
            }
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    double longestMs() const { return static_cast<double>(longest_) / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    qint64 longest_ = 0;
};

double gapWhileIdentifying(int devices) {
    const Installed sim("devices=" + std::to_string(devices) + ";latency=20");
    const Heartbeat beat;
    MainWindow window(sim.backend);
    window.show();
    waitIdle(window);
    return beat.longestMs();
}

double gapWhileUpdating(int devices, const std::string& motorXml) {
    const Installed sim("devices=" + std::to_string(devices) + ";latency=20");
    MainWindow window(sim.backend);
    window.show();
    waitIdle(window);
    for (varko5ConfigWidget* panel : window.panels()) {
        panel->findChild<QLineEdit*>(QStringLiteral("motorConfigFile_LineEdit"))
            ->setText(QString::fromStdString(motorXml));
        panel->dropResults(); // no boxes to close
    }
    const Heartbeat beat;
    for (varko5ConfigWidget* panel : window.panels()) {
        QPushButton* update = panel->findChild<QPushButton*>(QStringLiteral("updateMC"));
        update->setEnabled(true);
        update->click();
    }
    waitIdle(window);
    return beat.longestMs();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qunsetenv("VARKO5_ADVANCED"); // the basic mode logs at info level, which stays quiet here
    std::string pattern = (std::filesystem::temp_directory_path() / "varko5-loader-bench-XXXXXX").string();
    const std::string folder = mkdtemp(pattern.data());
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder));
    const std::string motorXml = folder + "/motor.xml";
    writeFileAtomically(motorXml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<MCConfiguration>\n"
                                  "    <l_current_max>42.5</l_current_max>\n</MCConfiguration>\n");
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    std::vector<double> none;
    for (int i = 0; i < repeats; ++i) {
        none.push_back(startUp(0));
    }
    const double floor = median(none);
    std::printf("start-up until exposed (median of %d)   ms     vs no device\n", repeats);
    std::printf("  no device                             %7.1f  %6.2f\n", floor, 1.0);
    for (const int devices : {1, 4, 6}) {
        std::vector<double> runs;
        for (int i = 0; i < repeats; ++i) {
            runs.push_back(startUp(devices));
        }
        std::printf("  %d device(s)                          %7.1f  %6.2f\n", devices, median(runs),
                    median(runs) / floor);
    }
    std::printf("\nlongest event-loop gap (median of %d)    ms     vs %d ms beat\n", repeats, BEAT_MS);
    for (const int devices : {1, 6}) {
        std::vector<double> runs;
        for (int i = 0; i < repeats; ++i) {
            runs.push_back(gapWhileIdentifying(devices));
        }
        std::printf("  identifying %d controller(s)           %7.1f  %6.2f\n", devices, median(runs),
                    median(runs) / BEAT_MS);
    }
    for (const int devices : {2, 6}) {
        std::vector<double> runs;
        for (int i = 0; i < repeats; ++i) {
            runs.push_back(gapWhileUpdating(devices, motorXml));
        }
        std::printf("  %d MC updates side by side              %7.1f  %6.2f\n", devices, median(runs),
                    median(runs) / BEAT_MS);
    }
    std::filesystem::remove_all(folder);
    return 0;
}

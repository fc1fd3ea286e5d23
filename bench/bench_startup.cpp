// Start-up: the time from starting the program's process to the first paint of Form1, beside the same
// time for a bare Qt window of the same size with no web engine (this program re-run with --floor).
// Both run as whole processes on a private Xvfb display that the benchmark starts itself, interleaved,
// after one warm-up run each. The program reports its first paint only when QINGLAN_REPORT_FIRST_PAINT
// is set, a diagnostic for this benchmark alone.
#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Runs = 10;
constexpr char ReportPrefix[] = "qinglan-first-paint ";

long long steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The floor: a bare window of Form1's client size that reports its first paint the way Form1 does,
// from a zero timer queued by the paint.
class FloorWindow : public QWidget
{
protected:
    bool event(QEvent* event) override
    {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            QTimer::singleShot(0, this, [] {
                std::fprintf(stderr, "%s%lld\n", ReportPrefix, steadyNanoseconds());
                std::fflush(stderr);
                QCoreApplication::exit(0);
            });
        }
        return handled;
    }

private:
    bool painted_ = false;
};

int runFloor(int argc, char* argv[])
{
    QApplication app(argc, argv);
    FloorWindow window;
    window.resize(751, 532);
    window.setWindowTitle(u"floor"_s);
    window.show();
    return app.exec();
}

// Starts Xvfb on the first free display; returns the display name, or an empty one on failure.
QString startXvfb(QProcess& xvfb)
{
    const QString server = QStandardPaths::findExecutable(u"Xvfb"_s);
    if (server.isEmpty())
        return QString();
    xvfb.start(server, { u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s, u"-nolisten"_s, u"tcp"_s });
    if (!xvfb.waitForStarted(5000))
        return QString();
    QByteArray number;
    while (!number.contains('\n') && xvfb.waitForReadyRead(10000))
        number += xvfb.readAllStandardOutput();
    number = number.trimmed();
    return number.isEmpty() ? QString() : u":"_s + QString::fromLatin1(number);
}

// Milliseconds from starting the process to its first-paint report, or -1.
double timeToFirstPaint(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setReadChannel(QProcess::StandardError);
    const long long started = steadyNanoseconds();
    process.start();
    double elapsed = -1;
    QByteArray pending;
    while (elapsed < 0 && process.waitForReadyRead(30000)) {
        pending += process.readAllStandardError();
        qsizetype end;
        while (elapsed < 0 && (end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith(ReportPrefix))
                elapsed = (line.mid(int(std::strlen(ReportPrefix))).toLongLong() - started) / 1e6;
        }
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return elapsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--floor") == 0)
        return runFloor(argc, argv);

    QCoreApplication app(argc, argv);
    const QString program = QCoreApplication::applicationDirPath() + u"/qinglan-cibao";
    const QString floor = QCoreApplication::applicationFilePath();

    QProcess xvfb;
    const QString display = startXvfb(xvfb);
    if (display.isEmpty()) {
        std::printf("could not start Xvfb\n");
        return 1;
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, display);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.insert(u"QINGLAN_REPORT_FIRST_PAINT"_s, u"1"_s);
    // As scripts/env.sh does: the web engine's sandbox refuses root.
    if (geteuid() == 0 && !environment.contains(u"QTWEBENGINE_DISABLE_SANDBOX"_s))
        environment.insert(u"QTWEBENGINE_DISABLE_SANDBOX"_s, u"1"_s);

    std::printf("Start-up to first paint, whole process on Xvfb %s, %d runs each after one warm-up run\n",
                qPrintable(display), Runs);
    timeToFirstPaint(program, {}, environment);
    timeToFirstPaint(floor, { u"--floor"_s }, environment);

    std::vector<double> programTimes;
    std::vector<double> floorTimes;
    std::printf("\n| run | qinglan-cibao ms | floor ms |\n|---|---|---|\n");
    for (int run = 1; run <= Runs; ++run) {
        const double programTime = timeToFirstPaint(program, {}, environment);
        const double floorTime = timeToFirstPaint(floor, { u"--floor"_s }, environment);
        if (programTime < 0 || floorTime < 0) {
            std::printf("run %d: no first paint reported\n", run);
            return 1;
        }
        programTimes.push_back(programTime);
        floorTimes.push_back(floorTime);
        std::printf("| %d | %.1f | %.1f |\n", run, programTime, floorTime);
    }
    const double x = median(programTimes);
    const double y = median(floorTimes);
    std::printf("| median | %.1f | %.1f |\n", x, y);

    xvfb.terminate();
    xvfb.waitForFinished(5000);
    std::printf("\nfirst paint %.1f ms, floor %.1f ms, ratio %.2f\n", x, y, x / y);
    return 0;
}

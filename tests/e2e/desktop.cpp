// The private X display, the desktop tools run on it, and the program started on it.
#include "e2e/desktop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <unistd.h>

// Xlib last: its macros (None, Bool, Status…) would clash with Qt's names.
#include <X11/Xlib.h>

using namespace Qt::StringLiterals;

namespace {

const QString ProgramTitlePattern = u"^晴岚词宝v3\\.3"_s;

// Polls until the condition holds or the time is up; the driver needs no event loop of its own,
// since the fake web answers from its own thread.
template <typename Condition> bool pollUntil(Condition condition, int timeoutMs, int stepMs = 50)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(stepMs);
    }
}

} // namespace

VirtualDisplay::~VirtualDisplay()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(3000)) {
            server_.kill();
            server_.waitForFinished(3000);
        }
    }
}

bool VirtualDisplay::start(QString* error)
{
    // -displayfd: the server takes the first free display number and writes it to its stdout.
    server_.setStandardErrorFile(QProcess::nullDevice());
    server_.start(
        u"Xvfb"_s,
        { u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s, u"-noreset"_s });
    if (!server_.waitForStarted(5000)) {
        *error = u"Xvfb 无法启动（需要软件包 xvfb）"_s;
        return false;
    }
    QByteArray number;
    const bool announced = pollUntil(
        [&] {
            server_.waitForReadyRead(100);
            number += server_.readAllStandardOutput();
            return number.contains('\n') || server_.state() == QProcess::NotRunning;
        },
        15000, 0);
    number = number.trimmed();
    if (!announced || number.isEmpty()) {
        *error = u"Xvfb 没有报告显示编号"_s;
        return false;
    }
    name_ = u":"_s + QString::fromLatin1(number);
    return true;
}

QByteArray VirtualDisplay::run(const QString& tool, const QStringList& arguments, int* exitCode,
                               const QByteArray& input, int timeoutMs) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, name_);
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    int code = -1;
    if (process.waitForStarted(5000)) {
        if (!input.isNull()) {
            process.write(input);
            process.closeWriteChannel();
        }
        if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
            code = process.exitCode();
        else
            process.kill();
        process.waitForFinished(1000);
    }
    if (exitCode)
        *exitCode = code;
    return process.readAllStandardOutput();
}

std::optional<QString> VirtualDisplay::clipboard() const
{
    int code = 0;
    const QByteArray text = run(u"xclip"_s, { u"-selection"_s, u"clipboard"_s, u"-o"_s }, &code, {}, 5000);
    if (code != 0)
        return std::nullopt;
    return QString::fromUtf8(text);
}

void VirtualDisplay::setClipboard(const QString& text) const
{
    // xclip stays in the background serving the text until another program takes the clipboard;
    // its output goes nowhere so that it holds no pipe of ours.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, name_);
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(u"xclip"_s, { u"-selection"_s, u"clipboard"_s, u"-i"_s });
    if (!process.waitForStarted(5000))
        return;
    process.write(text.toUtf8());
    process.closeWriteChannel();
    process.waitForFinished(5000);
    // The clipboard is the new text only once the server says so.
    pollUntil([&] { return clipboard() == text; }, 3000, 20);
}

QStringList VirtualDisplay::findWindows(qint64 pid, const QString& titlePattern) const
{
    const QByteArray found = run(
        u"xdotool"_s,
        { u"search"_s, u"--all"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid), u"--name"_s, titlePattern });
    return QString::fromLatin1(found).split(u'\n', Qt::SkipEmptyParts);
}

QString VirtualDisplay::windowTitle(const QString& window) const
{
    return QString::fromUtf8(run(u"xdotool"_s, { u"getwindowname"_s, window })).chopped(1);
}

QSize VirtualDisplay::windowSize(const QString& window) const
{
    const QString shell = QString::fromLatin1(run(u"xdotool"_s, { u"getwindowgeometry"_s, u"--shell"_s, window }));
    const QRegularExpression width(u"WIDTH=(\\d+)"_s);
    const QRegularExpression height(u"HEIGHT=(\\d+)"_s);
    return QSize(width.match(shell).captured(1).toInt(), height.match(shell).captured(1).toInt());
}

void VirtualDisplay::click(const QString& window, Spot spot) const
{
    run(u"xdotool"_s,
        { u"mousemove"_s, u"--window"_s, window, QString::number(spot.x), QString::number(spot.y), u"click"_s,
          u"1"_s });
}

void VirtualDisplay::key(const QString& keys) const
{
    run(u"xdotool"_s, QStringList { u"key"_s } + keys.split(u' ', Qt::SkipEmptyParts));
}

void VirtualDisplay::type(const QString& text, int delayMs) const
{
    // xdotool types a line feed as the Linefeed key, which a text box ignores; a person presses Return.
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            key(u"Return"_s);
        if (!lines[i].isEmpty())
            run(u"xdotool"_s, { u"type"_s, u"--delay"_s, QString::number(delayMs), u"--"_s, lines[i] }, nullptr, {},
                60000);
    }
}

bool VirtualDisplay::sendCloseRequest(const QString& window) const
{
    Display* connection = XOpenDisplay(name_.toLatin1().constData());
    if (!connection)
        return false;
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.toULong();
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(connection, event.xclient.window, False, NoEventMask, &event) != 0;
    XFlush(connection);
    XCloseDisplay(connection);
    return sent;
}

bool VirtualDisplay::selectionOwned(const char* selection) const
{
    Display* connection = XOpenDisplay(name_.toLatin1().constData());
    if (!connection)
        return false;
    const bool owned = XGetSelectionOwner(connection, XInternAtom(connection, selection, False)) != 0;
    XCloseDisplay(connection);
    return owned;
}

ClipboardManager::~ClipboardManager()
{
    // The bus and the manager form a process group of their own. Killed outright: on SIGTERM the
    // settings service, which the bus started apart, writes its files into a home being removed.
    if (process_.state() != QProcess::NotRunning) {
        ::kill(-pid_t(process_.processId()), SIGKILL);
        process_.waitForFinished(3000);
    }
}

bool ClipboardManager::start(QString* error)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, display_.name());
    environment.insert(u"HOME"_s, home_.path());
    for (const QString& name : { u"XDG_CONFIG_HOME"_s, u"XDG_DATA_HOME"_s, u"XDG_CACHE_HOME"_s,
                                 u"DBUS_SESSION_BUS_ADDRESS"_s })
        environment.remove(name);
    process_.setProcessEnvironment(environment);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.setChildProcessModifier([] { ::setsid(); });
    process_.start(u"dbus-run-session"_s, { u"--"_s, u"xfsettingsd"_s, u"--no-daemon"_s, u"--disable-wm-check"_s });
    if (!process_.waitForStarted(5000)) {
        *error = u"dbus-run-session 无法启动（需要软件包 dbus）"_s;
        return false;
    }
    if (!pollUntil([this] { return display_.selectionOwned("CLIPBOARD_MANAGER"); }, 10000)) {
        *error = u"xfsettingsd 没有接管剪贴板（需要软件包 xfce4-settings）"_s;
        return false;
    }
    return true;
}

SilentClipboardManager::~SilentClipboardManager()
{
    if (connection_)
        XCloseDisplay(static_cast<Display*>(connection_));
}

bool SilentClipboardManager::start()
{
    Display* connection = XOpenDisplay(display_.name().toLatin1().constData());
    if (!connection)
        return false;
    connection_ = connection;
    const Window window = XCreateSimpleWindow(connection, DefaultRootWindow(connection), 0, 0, 1, 1, 0, 0, 0);
    const Atom manager = XInternAtom(connection, "CLIPBOARD_MANAGER", False);
    XSetSelectionOwner(connection, manager, window, CurrentTime);
    XSync(connection, False);
    return XGetSelectionOwner(connection, manager) == window;
}

bool VirtualDisplay::saveWindowPicture(const QString& window, const QString& pngPath) const
{
    int code = 0;
    run(u"import"_s, { u"-window"_s, window, pngPath }, &code, {}, 30000);
    return code == 0 && QFile::exists(pngPath);
}

ProgramWindow::ProgramWindow(const VirtualDisplay& display, Options options)
    : display_(display)
    , options_(std::move(options))
{
}

ProgramWindow::~ProgramWindow()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString ProgramWindow::directory() const
{
    return options_.copyToOwnDirectory ? dir_.path() + u"/bin"_s : QFileInfo(options_.program).absolutePath();
}

QString ProgramWindow::homeDirectory() const
{
    return dir_.path() + u"/home"_s;
}

QByteArray ProgramWindow::fileBytes(const QString& fileName) const
{
    QFile file(directory() + u'/' + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString ProgramWindow::output() const
{
    QFile file(dir_.path() + u"/output.log"_s);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

bool ProgramWindow::start(QString* error)
{
    if (!dir_.isValid()) {
        *error = u"无法创建临时文件夹"_s;
        return false;
    }
    QString program = options_.program;
    if (options_.copyToOwnDirectory) {
        QDir().mkpath(directory());
        program = directory() + u"/qinglan-cibao"_s;
        if (!QFile::copy(options_.program, program)) {
            *error = u"无法复制程序："_s + options_.program;
            return false;
        }
    }
    const QString runtime = dir_.path() + u"/runtime"_s;
    QDir().mkpath(homeDirectory());
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : { u"https_proxy"_s, u"HTTPS_PROXY"_s, u"all_proxy"_s, u"ALL_PROXY"_s,
                                 u"XDG_CONFIG_HOME"_s, u"XDG_DATA_HOME"_s, u"XDG_CACHE_HOME"_s })
        environment.remove(name);
    const QString proxy = u"http://127.0.0.1:"_s + QString::number(options_.proxyPort);
    environment.insert(u"http_proxy"_s, proxy);
    environment.insert(u"HTTP_PROXY"_s, proxy);
    environment.insert(u"no_proxy"_s, QString());
    environment.insert(u"NO_PROXY"_s, QString());
    environment.insert(u"DISPLAY"_s, display_.name());
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(u"HOME"_s, homeDirectory());
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    if (!options_.dataHome.isEmpty())
        environment.insert(u"XDG_DATA_HOME"_s, options_.dataHome);
    environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    // The web engine refuses to start as root inside its sandbox; scripts/env.sh turns it off the same
    // way, and the suite may be run without it.
    if (::geteuid() == 0 && !environment.contains(u"QTWEBENGINE_DISABLE_SANDBOX"_s))
        environment.insert(u"QTWEBENGINE_DISABLE_SANDBOX"_s, u"1"_s);
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(homeDirectory());
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(dir_.path() + u"/output.log"_s);
    process_.start(program, {});
    if (!process_.waitForStarted(10000)) {
        *error = u"程序无法启动："_s + program;
        return false;
    }
    const bool shown = pollUntil(
        [this] {
            if (process_.state() == QProcess::NotRunning)
                return true;
            const QStringList windows = display_.findWindows(process_.processId(), ProgramTitlePattern);
            if (!windows.isEmpty())
                window_ = windows.first();
            return !window_.isEmpty();
        },
        30000, 100);
    if (!shown || window_.isEmpty()) {
        *error = u"没有出现程序窗口。程序输出：\n"_s + output();
        return false;
    }
    return true;
}

bool ProgramWindow::typeInto(Spot box, const QString& text)
{
    // What the box holds, read back as a user would: select all, copy, read the clipboard.
    const QString sentinel = u"（尚未复制）"_s;
    const auto boxText = [&] {
        display_.setClipboard(sentinel);
        display_.key(u"ctrl+a ctrl+c"_s);
        std::optional<QString> copied;
        pollUntil(
            [&] {
                copied = display_.clipboard();
                return copied && *copied != sentinel;
            },
            3000);
        return copied;
    };
    for (int attempt = 0; attempt < 4; ++attempt) {
        click(box);
        display_.key(u"ctrl+a BackSpace"_s);
        display_.type(text, 60 * (attempt + 1));
        const std::optional<QString> copied = boxText();
        if (copied == text)
            return true;
        qWarning("e2e: typed \"%s\", the box holds \"%s\"; typing again more slowly", qPrintable(text),
                 qPrintable(copied.value_or(QString())));
        ++typingRepeats_;
    }
    // The last resort a user has as well: the text pasted from the clipboard.
    ++pastes_;
    display_.setClipboard(text);
    click(box);
    display_.key(u"ctrl+a BackSpace ctrl+v"_s);
    return boxText() == text;
}

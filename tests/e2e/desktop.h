// A private X display and the desktop tools that drive the real program on it as a person would:
// xdotool for the mouse, the keyboard and window geometry, xclip for the clipboard, and a close
// request sent the way a window manager sends it.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// A point of the window's client area, in pixels.
struct Spot
{
    int x = 0;
    int y = 0;
};

// The centre of a control placed at (left, top, width, height) twips inside a frame whose corner
// is at (frameLeft, frameTop) twips of the client area; 15 twips make one pixel.
constexpr Spot centreOf(int frameLeft, int frameTop, int left, int top, int width, int height)
{
    return { (frameLeft + left + width / 2) / 15, (frameTop + top + height / 2) / 15 };
}

// The round mark of an option button, a little inside its left edge.
constexpr Spot markOf(int frameLeft, int frameTop, int left, int top, int height)
{
    return { (frameLeft + left + 150) / 15, (frameTop + top + height / 2) / 15 };
}

// An Xvfb server of its own, on a display number that the server picks itself, so that several
// runs never collide; it ends with the object.
class VirtualDisplay
{
public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool start(QString* error);
    QString name() const { return name_; } // ":N"

    // Runs a desktop tool on this display and returns its standard output; exitCode gets -1 when it
    // could not start or did not end within timeoutMs.
    QByteArray run(const QString& tool, const QStringList& arguments, int* exitCode = nullptr,
                   const QByteArray& input = {}, int timeoutMs = 10000) const;

    // The clipboard's text as another program reads it; nothing when no program offers one.
    std::optional<QString> clipboard() const;
    void setClipboard(const QString& text) const;

    // Visible windows of a process whose title matches the pattern (a regular expression).
    QStringList findWindows(qint64 pid, const QString& titlePattern) const;
    QString windowTitle(const QString& window) const;
    QSize windowSize(const QString& window) const;

    void click(const QString& window, Spot spot) const;
    void key(const QString& keys) const; // e.g. "ctrl+a", "Return"
    void type(const QString& text, int delayMs) const;

    // WM_DELETE_WINDOW, as a window manager sends it when the user closes a window.
    bool sendCloseRequest(const QString& window) const;

    // Whether some program owns the selection, e.g. "CLIPBOARD_MANAGER".
    bool selectionOwned(const char* selection) const;

    bool saveWindowPicture(const QString& window, const QString& pngPath) const;

private:
    QProcess server_;
    QString name_;
};

// The desktop's clipboard manager on the display: the one of xfsettingsd (Debian package
// xfce4-settings) on a session bus of its own, where its settings service runs. It copies the
// clipboard only when the owner asks it to (SAVE_TARGETS), so the text outlives its owner only if
// the owner hands it over. It ends with the object.
class ClipboardManager
{
public:
    explicit ClipboardManager(const VirtualDisplay& display)
        : display_(display)
    {
    }
    ~ClipboardManager();
    ClipboardManager(const ClipboardManager&) = delete;
    ClipboardManager& operator=(const ClipboardManager&) = delete;

    // Starts it and waits until it has taken the CLIPBOARD_MANAGER selection.
    bool start(QString* error);

private:
    const VirtualDisplay& display_;
    QTemporaryDir home_;
    QProcess process_;
};

// A clipboard manager that takes the CLIPBOARD_MANAGER selection and never answers: a program that
// hands its clipboard over at exit waits its whole time for it. It lets go with the object.
class SilentClipboardManager
{
public:
    explicit SilentClipboardManager(const VirtualDisplay& display)
        : display_(display)
    {
    }
    ~SilentClipboardManager();
    SilentClipboardManager(const SilentClipboardManager&) = delete;
    SilentClipboardManager& operator=(const SilentClipboardManager&) = delete;

    bool start();

private:
    const VirtualDisplay& display_;
    void* connection_ = nullptr; // the Display of Xlib
};

// The program under test, run from a directory of its own so that the files it writes beside
// itself land there; it reaches the web only through the given proxy.
class ProgramWindow
{
public:
    struct Options
    {
        QString program; // path of the built qinglan-cibao
        quint16 proxyPort = 0;
        bool copyToOwnDirectory = true; // false: run it where it was built (the web strip beside it)
        QString dataHome; // XDG_DATA_HOME, where the session is kept; empty: the program's own new home
    };

    ProgramWindow(const VirtualDisplay& display, Options options);
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    // Starts the program and waits until its main window is shown.
    bool start(QString* error);

    QString window() const { return window_; }
    qint64 pid() const { return process_.processId(); }
    QProcess& process() { return process_; }
    QString directory() const; // where the program runs from
    QString homeDirectory() const; // HOME of the program
    QByteArray fileBytes(const QString& fileName) const; // a file in directory()
    QString output() const; // what the program wrote to stdout and stderr

    void click(Spot spot) const { display_.click(window_, spot); }

    // Clicks a text box, replaces its text by typing and checks the result by copying it back. A
    // keystroke that xdotool types while it is remapping the keyboard can be lost, so a typing that
    // did not arrive whole is repeated, more slowly, and at last pasted from the clipboard instead.
    // Returns false if the text never arrived.
    bool typeInto(Spot box, const QString& text);
    int typingRepeats() const { return typingRepeats_; }
    int pastes() const { return pastes_; }

private:
    const VirtualDisplay& display_;
    Options options_;
    QTemporaryDir dir_;
    QProcess process_;
    QString window_;
    int typingRepeats_ = 0;
    int pastes_ = 0;
};

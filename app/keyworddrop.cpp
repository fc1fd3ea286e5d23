// Dropped keyword files: the drag is taken over only when it carries local files, and the files are
// read after the drop has been answered, so that the file manager never waits for a long read or
// for the message box.
#include "app/keyworddrop.h"

#include "app/messagebox.h"
#include "listtools/filejoin.h"
#include "platform/listreplace.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// The dropped files, or nothing when the drop holds anything but local files (text, web addresses).
QStringList localFiles(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            return {};
        paths.append(url.toLocalFile());
    }
    return paths;
}

// A copy whenever the source offers one: the file manager deletes the file after an accepted move.
bool chooseAction(QDropEvent* drop)
{
    if (drop->possibleActions() & Qt::CopyAction)
        drop->setDropAction(Qt::CopyAction);
    else if (drop->possibleActions() & Qt::LinkAction)
        drop->setDropAction(Qt::LinkAction);
    else
        return false;
    return true;
}

} // namespace

KeywordFileDrop::KeywordFileDrop(QPlainTextEdit* box)
    : QObject(box)
    , box_(box)
{
    viewport_ = box_->viewport();
    viewport_->installEventFilter(this);
}

bool KeywordFileDrop::eventFilter(QObject* watched, QEvent* event)
{
    // The type is looked at first: the viewport outlives the box's own destructor, and the box must
    // not be asked anything then.
    const QEvent::Type type = event->type();
    if ((type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) || watched != viewport_
        || box_->isReadOnly())
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList paths = localFiles(drop->mimeData());
    if (paths.isEmpty())
        return false;
    // Files always go to the end, so the box shows no drop caret for them.
    if (!chooseAction(drop)) {
        drop->ignore();
        return true;
    }
    drop->accept();
    if (type == QEvent::Drop)
        QMetaObject::invokeMethod(this, [this, paths] { joinFiles(paths); }, Qt::QueuedConnection);
    return true;
}

void KeywordFileDrop::joinFiles(const QStringList& paths)
{
    QStringList refused;
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
        QList<QString> texts;
        for (const QString& path : paths) {
            TextFile::ReadResult read = TextFile::read(path);
            if (read.refusal == TextFile::Refusal::None) {
                if (fileRead)
                    fileRead(QFileInfo(path).fileName(), read.text);
                texts.append(std::move(read.text));
            } else
                refused.append(QDir::toNativeSeparators(path) + u"："_s + TextFile::refusalText(read.refusal));
        }
        if (!texts.isEmpty()) {
            const QString before = ListReplace::keywordListText(box_);
            const QString list = FileJoin::joinFileTexts(before, texts);
            texts.clear(); // the file texts are in the new list now; a long one need not be held twice
            // Only the files' lines go into the box, as one step that Ctrl+Z takes back.
            ListReplace::extendKeywordList(box_, list, before.size());
        }
    }
    if (!refused.isEmpty())
        MessageBox::show(box_->window(), u"导入"_s, u"以下文件没有导入：\n"_s + refused.join(u'\n'),
                         MessageBox::Warning);
}

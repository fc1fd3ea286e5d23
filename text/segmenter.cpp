// Word segmentation with friso. The program sets friso up itself instead of reading an ini file:
// complex mode (mmseg's four rules), the UTF-8 lexicons, no synonyms, no stop-word removal (the
// callers decide what a word is worth).
//
// Sharing: friso keeps everything a segmentation changes in its task, so one loaded dictionary
// serves every thread, each call with a task of its own. The one exception is that friso notes
// a word's position in the dictionary entry it returns (lex_entry_cdt::offset) before copying it
// into the task's token; this program never reads that position, so several threads writing it
// does not change a result.
#include "text/segmenter.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <mutex>

extern "C" {
#include <friso.h>
}

using namespace Qt::StringLiterals;

namespace {

// friso reads paths into buffers of 160 bytes; the folder must leave room for the file names.
constexpr qsizetype MaxFolderBytes = 100;
// Text is handed to friso in pieces of at most this many UTF-16 code units, cut at spaces or
// punctuation where there are any, so that one hostile line never builds one huge buffer.
constexpr qsizetype MaxPieceLength = 4096;

// Where friso never joins two characters into one word: spaces and punctuation. Cutting there
// gives the same words as segmenting the whole text.
bool isBreak(QChar c)
{
    return c.isSpace() || c.isPunct();
}

struct TaskDeleter
{
    void operator()(friso_task_t task) const { friso_free_task(task); }
};

// One task per thread, reused by every call on that thread.
friso_task_t threadTask()
{
    thread_local std::unique_ptr<friso_task_entry, TaskDeleter> task(friso_new_task());
    return task.get();
}

// UTF-8 for friso: a lone surrogate becomes U+FFFD, and NUL and other control characters a space,
// because friso reads up to the first NUL and treats control characters as letters.
QByteArray friendlyUtf8(QStringView text)
{
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            clean += c;
            clean += text.at(++i);
        } else if (c.isSurrogate()) {
            clean += QChar(QChar::ReplacementCharacter);
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            clean += u' ';
        } else {
            clean += c;
        }
    }
    return clean.toUtf8();
}

} // namespace

namespace Segmentation {

struct Segmenter::Private
{
    friso_t friso = nullptr;
    friso_config_t config = nullptr;
    QString error;

    ~Private()
    {
        if (config)
            friso_free_config(config);
        if (friso)
            friso_free(friso);
    }
};

QString defaultLexiconFolder()
{
    return u"/usr/share/friso/dict/UTF-8"_s;
}

Segmenter::Segmenter(const QString& lexiconFolder)
    : d(std::make_unique<Private>())
{
    const QString folder = QDir::cleanPath(lexiconFolder) + u'/';
    const QByteArray folderBytes = QFile::encodeName(folder);
    if (!QFileInfo(folder + u"friso.lex.ini"_s).isReadable() || !QFileInfo(folder + u"lex-main.lex"_s).isReadable()) {
        d->error = u"找不到分词词典（%1），请安装 friso-dict 软件包"_s.arg(QDir::toNativeSeparators(folder));
        return;
    }
    if (folderBytes.size() > MaxFolderBytes) {
        d->error = u"分词词典的路径太长：%1"_s.arg(QDir::toNativeSeparators(folder));
        return;
    }

    d->config = friso_new_config();
    friso_config_t config = d->config;
    config->max_len = 5;
    config->r_name = 0;
    config->mix_len = 2;
    config->lna_len = 1;
    config->add_syn = 0;
    config->clr_stw = 0;
    config->keep_urec = 0;
    config->spx_out = 0;
    // "iphone13" also gives "iphone" and "13", so that models of one product meet at its name.
    config->en_sseg = 1;
    config->st_minl = 2;
    config->nthreshold = 2000000;
    qstrncpy(config->kpuncs, "@%.#&+", sizeof(config->kpuncs));
    friso_set_mode(config, __FRISO_COMPLEX_MODE__);

    d->friso = friso_new();
    d->friso->charset = FRISO_UTF8;
    d->friso->dic = friso_dic_new();
    QByteArray path = folderBytes;
    friso_dic_load_from_ifile(d->friso, config, path.data(), config->max_len * 3);
    if (friso_spec_dic_size(d->friso->dic, __LEX_CJK_WORDS__) == 0)
        d->error = u"分词词典是空的（%1），请重新安装 friso-dict 软件包"_s.arg(QDir::toNativeSeparators(folder));
}

Segmenter::~Segmenter() = default;

const Segmenter& Segmenter::shared()
{
    // Never destroyed: a grouping that is still running when the program ends may be using it.
    static const Segmenter* const instance = new Segmenter();
    return *instance;
}

bool Segmenter::available() const
{
    return d->error.isEmpty();
}

QString Segmenter::errorText() const
{
    return d->error;
}

QStringList Segmenter::words(const QString& text) const
{
    QStringList result;
    forEachWord(text, [&result](QStringView word) { result += word.toString(); });
    return result;
}

void Segmenter::forEachWord(QStringView text, const std::function<void(QStringView word)>& take) const
{
    if (!available())
        return;
    friso_task_t task = threadTask();
    QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString word(qsizetype(__HITS_WORD_LENGTH__), Qt::Uninitialized);
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype to = std::min(text.size(), from + MaxPieceLength);
        if (to < text.size()) {
            qsizetype cut = to;
            while (cut > from && !isBreak(text.at(cut - 1)))
                --cut;
            if (cut > from)
                to = cut;
            else if (text.at(to - 1).isHighSurrogate())
                --to; // never between the halves of a pair
        }
        QByteArray bytes = friendlyUtf8(text.mid(from, to - from));
        friso_set_text(task, bytes.data());
        while (d->config->next_token(d->friso, d->config, task)) {
            // A token holds less than __HITS_WORD_LENGTH__ bytes, and never more UTF-16 code units.
            const QByteArrayView utf8(task->token->word, std::min<int>(task->token->length, __HITS_WORD_LENGTH__ - 1));
            QChar* end = fromUtf8.appendToBuffer(word.data(), utf8);
            take(QStringView(word.constData(), end - word.constData()));
        }
        from = to;
    }
    // The task keeps no pointer into this call's text once it is over.
    QByteArray none;
    friso_set_text(task, none.data());
}

} // namespace Segmentation

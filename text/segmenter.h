// Chinese word segmentation: text in, words out. The one place that speaks to friso (the Debian
// packages libfriso0 and friso-dict); everything above it works with plain strings.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <memory>

namespace Segmentation {

// The folder of friso's UTF-8 lexicons as Debian installs them.
QString defaultLexiconFolder();

// A segmenter over one loaded dictionary. The dictionary is only read once loaded, so words() may be
// called from several threads at once: each call segments with a task of its own.
class Segmenter
{
public:
    // Loads the lexicons of folder (a second or so: do it off the window's thread). Without them the
    // segmenter is not available and words() returns nothing.
    explicit Segmenter(const QString& lexiconFolder = defaultLexiconFolder());
    ~Segmenter();
    Segmenter(const Segmenter&) = delete;
    Segmenter& operator=(const Segmenter&) = delete;

    // The program's segmenter over the default lexicon folder, loaded on the first call (which blocks
    // for the loading; later calls return at once). Safe to call from any thread.
    static const Segmenter& shared();

    bool available() const;
    // Why the segmenter is not available, in Chinese; empty when it is.
    QString errorText() const;

    // The words of text in order, in friso's complex mode, letter case as friso gives it (Latin in
    // lower case). Punctuation and spaces come out as words of their own only when friso keeps them;
    // callers filter what they do not want. Any text is safe: lone surrogates are read as U+FFFD,
    // NULs as spaces, and long text is segmented piece by piece.
    QStringList words(const QString& text) const;
    // The same words handed to take one at a time, each valid only during the call: no list, and no
    // allocation for each word.
    void forEachWord(QStringView text, const std::function<void(QStringView word)>& take) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Segmentation

// Word segmentation with friso.
#include "text/segmenter.h"

using namespace Qt::StringLiterals;

namespace Segmentation {

struct Segmenter::Private
{
};

QString defaultLexiconFolder()
{
    return u"/usr/share/friso/dict/UTF-8"_s;
}

Segmenter::Segmenter(const QString&)
    : d(std::make_unique<Private>())
{
}

Segmenter::~Segmenter() = default;

const Segmenter& Segmenter::shared()
{
    static const Segmenter* const instance = new Segmenter();
    return *instance;
}

bool Segmenter::available() const
{
    return false;
}

QString Segmenter::errorText() const
{
    return {};
}

QStringList Segmenter::words(const QString&) const
{
    return {};
}

} // namespace Segmentation

// Page decoding takes any bytes under any Content-Type. Where the outcome is known it is checked:
// a charset no decoder knows reads as GBK, text in GBK or UTF-8 comes back whole, and ASCII without
// a declaration stays as it is.
#include "fuzzinput.h"
#include "platform/codepage.h"

#include <QStringEncoder>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const QByteArray contentType = input.flag() ? QByteArray("text/html; charset=" + input.bytes(32)) : input.bytes(64);
    const QString text = input.text(4096);
    const QByteArray body = input.restAsBytes();

    const QString decoded = CodePage::decodePage(body, contentType);
    const QByteArray declared = CodePage::charsetFromContentType(contentType);
    FUZZ_CHECK(declared == declared.toLower());
    const QByteArray meta = CodePage::charsetFromMeta(body);

    if (!declared.isEmpty() && !QStringDecoder(declared.constData()).isValid())
        FUZZ_CHECK_EQUAL(decoded, CodePage::decodePage(body, "text/html; charset=gbk"));
    bool ascii = true;
    for (char c : body)
        ascii = ascii && quint8(c) < 0x80;
    if (ascii && declared.isEmpty() && meta.isEmpty())
        FUZZ_CHECK_EQUAL(decoded, QString::fromLatin1(body));

    if (!text.isValidUtf16() || text.startsWith(QChar(0xFEFF)))
        return 0;
    // The header wins over anything the page declares.
    FUZZ_CHECK_EQUAL(CodePage::decodePage(text.toUtf8(), "text/html; charset=utf-8"), text);
    QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
    const QByteArray gbkBytes = gbk.encode(text);
    if (!gbk.hasError() && CodePage::charsetFromMeta(gbkBytes).isEmpty()) {
        FUZZ_CHECK(CodePage::toGbk(text) == gbkBytes);
        FUZZ_CHECK_EQUAL(CodePage::decodePage(gbkBytes), text);
    }
    return 0;
}

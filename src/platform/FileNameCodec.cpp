#include "FileNameCodec.h"

#include <QStringView>

namespace {

constexpr int Utf8Mib = 106;
constexpr char16_t EscapeBase = 0xef00; // + a byte from 0x80 to 0xff

bool isEscape(char32_t c)
{
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xff;
}

// The code point of the valid UTF-8 sequence at in[0], and its length; 0 when there is none.
int decodeSequence(const uchar* in, int available, char32_t& c)
{
    // A lead byte 110xxxxx, 1110xxxx or 11110xxx, then 10xxxxxx bytes.
    const uchar lead = in[0];
    const int length = (lead & 0xe0) == 0xc0 ? 2
        : (lead & 0xf0) == 0xe0              ? 3
        : (lead & 0xf8) == 0xf0              ? 4
                                             : 0;
    if (length == 0 || length > available)
        return 0;
    c = lead & (0x7f >> length);
    for (int i = 1; i < length; ++i) {
        if ((in[i] & 0xc0) != 0x80)
            return 0;
        c = c << 6 | (in[i] & 0x3f);
    }
    // The shortest form only, and no UTF-16 surrogate.
    static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = c >= 0xd800 && c <= 0xdfff;
    return c < least[length] || c > 0x10ffff || surrogate ? 0 : length;
}

} // namespace

void FileNameCodec::installForLocale()
{
    if (QTextCodec::codecForLocale()->mibEnum() == Utf8Mib)
        QTextCodec::setCodecForLocale(new FileNameCodec); // Qt deletes its codecs at exit
}

QByteArray FileNameCodec::name() const
{
    return QByteArrayLiteral("UTF-8 with escaped bytes");
}

int FileNameCodec::mibEnum() const
{
    return -Utf8Mib; // no registered encoding
}

QString FileNameCodec::convertToUnicode(const char* in, int length, ConverterState*) const
{
    const auto* bytes = reinterpret_cast<const uchar*>(in);
    QString text;
    text.reserve(length);
    for (int i = 0; i < length;) {
        char32_t c = bytes[i];
        const int used = c < 0x80 ? 1 : decodeSequence(bytes + i, length - i, c);
        if (used == 0 || isEscape(c)) {
            text += QChar(EscapeBase + bytes[i]);
            ++i;
            continue;
        }
        text += QString::fromUcs4(&c, 1);
        i += used;
    }
    return text;
}

QByteArray FileNameCodec::convertFromUnicode(const QChar* in, int length, ConverterState*) const
{
    QByteArray bytes;
    int run = 0; // start of the characters not yet written
    for (int i = 0; i <= length; ++i) {
        if (i < length && !isEscape(in[i].unicode()))
            continue;
        bytes += QStringView(in + run, i - run).toUtf8();
        if (i < length)
            bytes += char(in[i].unicode() - EscapeBase);
        run = i + 1;
    }
    return bytes;
}

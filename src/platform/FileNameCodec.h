#pragma once

#include <QTextCodec>

// The locale's encoding where it is UTF-8, made to take any file name: every byte string
// decodes, and encodes back to the same bytes. A byte that is no part of valid UTF-8 decodes
// to the private-use character U+EF00 + byte (U+EF80 to U+EFFF), which encodes back to that
// byte; the UTF-8 of such a character in a name is taken byte by byte the same way, so that
// no two names decode alike. Names are converted whole: no state is kept between calls.
class FileNameCodec : public QTextCodec
{
public:
    // Makes it the locale's codec when that is UTF-8. Before anything reads a file name or
    // the arguments; Qt keeps the codec to the end.
    static void installForLocale();

    QByteArray name() const override;
    int mibEnum() const override;

protected:
    QString convertToUnicode(const char* in, int length, ConverterState* state) const override;
    QByteArray convertFromUnicode(const QChar* in, int length,
                                  ConverterState* state) const override;
};

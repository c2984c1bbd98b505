#pragma once

#include "producers/Thumbnailer.h"

#include <memory>

class QPrinter;
class QTextDocument;

// Plain text: typeset by Qt into an intermediate PDF, whose first page becomes the thumbnail.
class TextThumbnailer : public Thumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(TextThumbnailer)

public:
    TextThumbnailer();
    ~TextThumbnailer() override;

    const QSet<QString>& supportedExtensions() const override { return extensions; }
    tThumbnailPages generate(QFile& file) override;
    void releaseWorkerResources() override;

    // Creates the document and the printer; call on the thread that runs generate.
    void prepare();

    // The most of a file that is read: far more than one page can show.
    static constexpr qint64 MaxTextBytes = 64 * 1024;
    // Text of a file's first bytes: decoded by its byte-order mark, else UTF-8 up to the
    // first zero byte.
    static QString decodeText(const QByteArray& bytes);

private:
    QSet<QString> extensions;
    std::unique_ptr<QTextDocument> textDocument;
    std::unique_ptr<QPrinter> pdfPrinter;
};

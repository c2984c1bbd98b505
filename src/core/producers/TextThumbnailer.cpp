#include "producers/TextThumbnailer.h"

#include "job/FileFamilies.h"
#include "producers/StageTimer.h"

#include <QDebug>
#include <QFileInfo>
#include <QPrinter>
#include <QTextCodec>
#include <QTextDocument>

#include <optional>

TextThumbnailer::TextThumbnailer()
    : extensions(FileFamilies::suffixSet(Text))
{
}

TextThumbnailer::~TextThumbnailer() = default;

void TextThumbnailer::prepare()
{
    textDocument = std::make_unique<QTextDocument>();
    QFont font = textDocument->defaultFont();
    font.setPointSize(font.pointSize() + 7);
    textDocument->setDefaultFont(font);

    pdfPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    pdfPrinter->setOutputFormat(QPrinter::PdfFormat);
    pdfPrinter->setFullPage(true);
}

void TextThumbnailer::releaseWorkerResources()
{
    pdfPrinter.reset();
    textDocument.reset();
}

QString TextThumbnailer::decodeText(const QByteArray& bytes)
{
    // Only a byte-order mark selects another encoding; UTF-8 stays the default.
    QTextCodec* codec = QTextCodec::codecForUtfText(bytes, nullptr);
    if (codec)
        return codec->toUnicode(bytes);
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

Thumbnailer::tThumbnailPages TextThumbnailer::generate(QFile& file)
{
    tThumbnailPages pages;
    {
        const StageTimer stage("clear", file.fileName());
        removeWorkingFiles(QStringLiteral("*.pdf"));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << " [ERROR] "
                 << "TextThumbnailer::generate"
                 << "  file.open(QIODevice::ReadOnly)  " << file.fileName();
        fail(FileReport::NotReadable);
    } else {
        std::optional<StageTimer> typesetting(std::in_place, "typeset", file.fileName());
        textDocument->setPlainText(decodeText(file.read(MaxTextBytes)));
        file.close();

        const QString pdfPath =
            workArea() + QFileInfo(file).completeBaseName() + QStringLiteral(".pdf");
        pdfPrinter->setOutputFileName(pdfPath);
        pdfPrinter->setFromTo(settings.pageStart, settings.pageEnd);
        textDocument->print(pdfPrinter.get());
        typesetting.reset();

        QFile pdfFile(pdfPath);
        if (!pdfFile.exists()) {
            qDebug() << " [ERROR] "
                     << "TextThumbnailer::generate"
                     << "  !pdfFile.exists() " << pdfPath;
            fail(FileReport::WorkAreaFailed);
        } else {
            pages = runPdfToPng(pdfFile, settings.outputFolderFor(file), file);
        }
    }
    if (pages.isEmpty())
        qDebug() << " [ERROR] "
                 << "TextThumbnailer::generate"
                 << "  pages.count() == 0 ";
    return pages;
}

#include "producers/PDFThumbnailer.h"

#include "job/FileFamilies.h"

#include <QDebug>

PDFThumbnailer::PDFThumbnailer()
    : extensions(FileFamilies::suffixSet(Pdf))
{
}

Thumbnailer::tThumbnailPages PDFThumbnailer::generate(QFile& file)
{
    // No naming source: the tokens describe the PDF itself.
    QFile unnamed;
    const tThumbnailPages pages = runPdfToPng(file, settings.outputFolderFor(file), unnamed);
    if (pages.isEmpty())
        qDebug() << " [ERROR] "
                 << "PDFThumbnailer::generate"
                 << "  pages.count() == 0 ";
    return pages;
}

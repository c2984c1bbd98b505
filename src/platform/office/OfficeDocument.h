#pragma once

#include "OfficeResult.h"

#include <QSize>
#include <QString>
#include <QtGlobal>

#include <memory>

class OfficeDocumentPrivate;
class OfficeSessionPrivate;

// A document loaded hidden and read-only by the office. Closed by close(), by the
// application's quit() or when destroyed. Calls answer their result or what went wrong.
class OfficeDocument
{
    Q_DISABLE_COPY(OfficeDocument)

public:
    enum class Kind {
        Text,
        Spreadsheet,
        Presentation,
        Drawing,
        Other
    };

    ~OfficeDocument();

    Kind kind() const;
    bool isOpen() const;

    // Writes pages firstPage to lastPage (from 1) of the printed form as a PDF file and
    // answers how many it wrote. A range running past the last page gives the pages that
    // exist; a range that holds no page gives 0 and no file. ignorePrintAreas prints every
    // sheet of a spreadsheet whole, as if it defined none (the loaded copy only).
    OfficeResult<int> exportPdf(const QString& pdfPath, int firstPage, int lastPage,
                                bool ignorePrintAreas = false);

    // Slides of a presentation or pages of a drawing; 0 for other documents.
    OfficeResult<int> slideCount();
    // Size of slide slideNumber (from 1) in hundredths of a millimetre.
    OfficeResult<QSize> slideSize(int slideNumber);
    // Writes slide slideNumber (from 1) as an image of exactly width x height pixels.
    // mediaType is "image/png" or "image/jpeg".
    OfficeResult<bool> exportSlide(int slideNumber, const QString& imagePath,
                                   const QString& mediaType, int width, int height);

    // Stores a copy with an office filter ("MS Word 2007 XML", "writer8", ...), encrypted
    // when a password is given.
    OfficeResult<bool> saveCopy(const QString& path, const QString& filterName,
                                const QString& password = QString());

    void close();

private:
    friend class OfficeDocuments;

    OfficeDocument(std::weak_ptr<OfficeSessionPrivate> session,
                   std::shared_ptr<OfficeDocumentPrivate> document);

    const std::weak_ptr<OfficeSessionPrivate> session;
    const std::shared_ptr<OfficeDocumentPrivate> d;
};

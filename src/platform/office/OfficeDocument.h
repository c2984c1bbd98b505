#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class OfficeDocumentPrivate;
class OfficeSessionPrivate;

// A document loaded hidden and read-only by the office. Closed by close(), by the
// application's quit() or when destroyed. Export calls answer success or failure; the
// session's lastError() tells why one failed.
class OfficeDocument
{
    Q_DISABLE_COPY(OfficeDocument)

public:
    enum class Kind { Text, Spreadsheet, Presentation, Drawing, Other };

    ~OfficeDocument();

    Kind kind() const;
    bool isOpen() const;

    // Pages of the printed form (slides of a presentation); -1 when unknown.
    int pageCount();
    // Writes pages firstPage to lastPage (from 1) as a PDF file. A range running past the
    // last page gives the pages that exist; a range starting past it gives false and no
    // file.
    bool exportPdf(const QString& pdfPath, int firstPage, int lastPage);
    // Spreadsheets: prints every sheet whole, as if no print areas were defined. Changes
    // only the loaded copy; false for other documents.
    bool ignorePrintAreas();

    // Slides of a presentation or pages of a drawing; 0 for other documents.
    int slideCount();
    // Writes slide slideNumber (from 1) as an image of exactly width x height pixels.
    // mediaType is "image/png" or "image/jpeg".
    bool exportSlide(int slideNumber, const QString& imagePath, const QString& mediaType,
                     int width, int height);

    // Stores a copy with an office filter ("MS Word 2007 XML", "writer8", ...), encrypted
    // when a password is given.
    bool saveCopy(const QString& path, const QString& filterName,
                  const QString& password = QString());

    void close();

private:
    friend class OfficeDocuments;

    OfficeDocument(std::weak_ptr<OfficeSessionPrivate> session,
                   std::shared_ptr<OfficeDocumentPrivate> document);

    const std::weak_ptr<OfficeSessionPrivate> session;
    const std::shared_ptr<OfficeDocumentPrivate> d;
};

#pragma once

#include "OfficeDocument.h"

#include <QString>
#include <QTemporaryDir>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include <memory>

class OfficeSessionPrivate;

class OfficeDocumentPrivate
{
public:
    // Closes the document if the office that loaded it still runs, and lets it go.
    void close(const std::weak_ptr<OfficeSessionPrivate>& session);

    css::uno::Reference<css::lang::XComponent> component;
    OfficeDocument::Kind kind = OfficeDocument::Kind::Other;
    // Empty when the document has no PDF export.
    QString pdfFilter;
    // The office process that loaded the document; its references die with it.
    quint64 generation = 0;
    // Holds the link the document was opened through, when its own name is not valid UTF-8.
    std::unique_ptr<QTemporaryDir> linkFolder;
};

#pragma once

#include "OfficeDocument.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class OfficeDocumentPrivate;
class OfficeSession;
class OfficeSessionPrivate;

// The documents of an application: opens files and remembers them until they are closed.
class OfficeDocuments
{
    Q_DISABLE_COPY(OfficeDocuments)

public:
    ~OfficeDocuments();

    // Loads the file hidden and read-only, without macros and without any prompt. Throws
    // OfficeAutomationError when the file cannot be opened (missing, unreadable,
    // password-protected, time limit exceeded), and, when a family is given, when the
    // office reads it as plain text or as a document of another family.
    std::unique_ptr<OfficeDocument> open(const QString& path,
                                         std::optional<OfficeDocument::Kind> family = {});

    // Closes every document opened here that is still open.
    void closeAll();

private:
    friend class OfficeApplication;

    explicit OfficeDocuments(OfficeSession& session);

    const std::weak_ptr<OfficeSessionPrivate> session;
    std::vector<std::weak_ptr<OfficeDocumentPrivate>> opened;
};

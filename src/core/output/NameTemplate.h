#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QString>

// The output name template: literal text and bracketed tokens such as [NAME] or [PAGE],
// expanded for one source file and page.
class NameTemplate
{
    Q_DECLARE_TR_FUNCTIONS(NameTemplate)

public:
    // The template with every token replaced; no folder, no extension.
    static QString expand(const QString& nameTemplate, const QFile& file, qint32 page);
    // One token's text (what stands between the brackets); unknown tokens give "".
    static QString expandToken(const QString& token, const QFile& file, qint32 page);
    // Whether the template holds [DATE] or [TIME], which give a new name at every run.
    static bool readsClock(const QString& nameTemplate);
    // Why such a template leaves no way to find the thumbnails of an earlier run.
    static QString clockExcludesUpdate();
};

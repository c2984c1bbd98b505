#pragma once

#include <QFile>
#include <QString>

// The output name template: literal text and bracketed tokens such as [NAME] or [PAGE],
// expanded for one source file and page.
class NameTemplate
{
public:
    // The template with every token replaced; no folder, no extension.
    static QString expand(const QString& nameTemplate, const QFile& file, qint32 page);
    // One token's text (what stands between the brackets); unknown tokens give "".
    static QString expandToken(const QString& token, const QFile& file, qint32 page);
};

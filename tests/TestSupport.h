#pragma once

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Every entry of the window's file-type tree, depth-first.
inline QStringList fileTypeEntries()
{
    return QStringLiteral(
        "Documents,Microsoft Word,doc,docx,rtf,odt,Microsoft Excel,xls,xlsx,xlsm,ods,"
        "Microsoft PowerPoint,ppt,pptx,Text,txt,xml,log,ans,asc,csv,nfo,1st,bat,info,"
        "Portable Document Format (PDF),Pictures,jpg,jpeg,jpe,jif,jfif,jfi,png,ppm,pgm,pbm,pnm,"
        "tiff,tif,gif,bmp,dib,xbm,xpm").split(QLatin1Char(','));
}

// Writes `contents` whole to `path`: the path, or an empty string when it could not.
inline QString writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() ? path : QString();
}

// Collects the debug lines written while it lives (from any thread); only one at a time.
class LogCapture
{
public:
    LogCapture() { previous = qInstallMessageHandler(&LogCapture::handle); instance() = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        instance() = nullptr;
    }

    QStringList lines() const
    {
        QMutexLocker lock(&mutex);
        return captured;
    }
    // Lines that carry the error marker.
    QStringList errors() const
    {
        return lines().filter(QStringLiteral(" [ERROR] "));
    }

private:
    static LogCapture*& instance()
    {
        static LogCapture* current = nullptr;
        return current;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (LogCapture* self = instance()) {
            QMutexLocker lock(&self->mutex);
            self->captured << message;
        }
    }

    QtMessageHandler previous = nullptr;
    mutable QMutex mutex;
    QStringList captured;
};

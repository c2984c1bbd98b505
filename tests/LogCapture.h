#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

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

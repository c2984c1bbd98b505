#include "BatchMessages.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QtGlobal>

namespace {

struct Message
{
    QtMsgType type;
    const char* file; // the context's texts are literals: they outlive the message
    int line;
    const char* function;
    const char* category;
    QString text;
};

enum class Mode {
    Holding,
    Showing,
    Dropping
};

// Messages come from any thread.
QMutex mutex;
Mode mode = Mode::Holding;
QList<Message> held;
QtMessageHandler written = nullptr;

void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    QMutexLocker lock(&mutex);
    if (mode == Mode::Showing || type == QtFatalMsg) {
        lock.unlock();
        written(type, context, text);
    } else if (mode == Mode::Holding) {
        held.append({type, context.file, context.line, context.function, context.category, text});
    }
}

} // namespace

void BatchMessages::hold()
{
    written = qInstallMessageHandler(handle);
}

void BatchMessages::release(bool show)
{
    QList<Message> waiting;
    {
        const QMutexLocker lock(&mutex);
        mode = show ? Mode::Showing : Mode::Dropping;
        waiting.swap(held);
    }
    if (!show)
        return;
    for (const Message& m : qAsConst(waiting))
        written(m.type, QMessageLogContext(m.file, m.line, m.function, m.category), m.text);
}

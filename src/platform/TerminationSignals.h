#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event loop, so the
// program can end as if its window were closed (settings saved, office process ended).
// One instance per process.
class TerminationSignals : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TerminationSignals)

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    // The signal's number, such as SIGINT.
    void received(int signalNumber);

private:
    QSocketNotifier* notifier = nullptr;
};

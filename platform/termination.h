// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>

// Turns the system's requests to end the process (SIGTERM, SIGINT, SIGHUP) into a signal
// delivered on the event loop, so the program can shut down in order.
class TerminationWatcher : public QObject
{
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);
};

// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class Database;

// This console's place among the desks of a shared database: its row in `desks`, found by its
// name or made at start-up, and the lock on its number that it holds for as long as its
// connection lives. The database server drops that lock the instant the connection dies (a
// killed console included), so the locks held are the desks that run; `beat` is only for
// people reading the table. On a console of its own file it is desk 0, alone and always alive,
// and nothing is stored.
class DeskRegistry : public QObject
{
    Q_OBJECT
public:
    // How often the beat is written, and how often the running desks are looked up again.
    static constexpr int BeatMs = 5000;
    static constexpr int AliveMs = 1500;

    explicit DeskRegistry(Database& db, QObject* parent = nullptr);
    ~DeskRegistry() override;

    // Finds or makes this console's desk and takes its lock; false, with refusal(), when
    // another running console holds it or the desk cannot be had.
    bool start();
    // Lets the desk go (a console closing in order); the lock goes with the connection anyway.
    void stop();
    QString refusal() const { return m_refusal; }
    static QString takenText(const QString& name);

    int desk() const { return m_desk; }
    QString name() const { return m_name; }
    QString deskName(int desk) const { return m_names.value(desk); }

    // Whether the console of that desk runs, as last looked up (this desk always does).
    bool isAlive(int desk) const;
    // Whether the desk that carries the connection with that index runs.
    bool isIndexAlive(qint64 index) const;
    // Looks the running desks up now; emits deskDown/deskUp for every change.
    void refresh();

Q_SIGNALS:
    void deskDown(int desk);
    void deskUp(int desk);

private:
    void beat();

    Database& m_db;
    int m_desk = 0;
    bool m_locked = false;
    QString m_name;
    QString m_refusal;
    QSet<int> m_alive;
    QHash<int, QString> m_names;
    QTimer m_beatTimer;
    QTimer m_aliveTimer;
};

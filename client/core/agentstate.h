// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// What the workstation shows, as the command interpreter and the lock screen leave it. The
// windows follow this state; tests read it (and, with $VANTIROKIT_AGENT_STATE_FILE set, the
// agent writes it to that file as JSON after every change).
struct AgentState
{
    // System-key lock (keyboard and pointer held by the lock screen).
    bool keysLocked = false;

    // Lock screen. Each fresh load bumps lockScreenLoads: a reloaded window starts from
    // its designed state (options panel hidden, System menu's Restart and Shut down off).
    bool lockScreenLoaded = false;
    bool lockScreenVisible = false;
    int lockScreenLoads = 0;
    bool optionsVisible = false;
    bool passwordVisible = true;
    QString caption;
    // A session password is with the console: the lock holds until it answers.
    bool checkingPassword = false;
    // A prepaid login (ticket code or member id and password) is with the console: the lock
    // holds until it answers.
    bool checkingPrepaid = false;

    // Session window and warning window.
    bool sessionWindowLoaded = false;
    bool warningLoaded = false;
    qint64 warningMinutes = 0;
    // The running session spends prepaid credit: the session window counts the time left
    // down and offers Log off. Seconds and credit as the console last said, counted down since.
    bool prepaid = false;
    qint64 prepaidSecondsLeft = 0;
    QString prepaidCredit;

    // Connection dialog.
    bool dialogVisible = false;
    bool dialogHideMode = false; // second button reads "&Hide"
    QString status;

    // Link.
    bool linkUp = false;
    // The console has proven the link key (always true on an open link once it is up).
    bool linkProven = false;
    quint16 wakePort = 0; // 0 when the auxiliary listener could not listen

    // Counters for observers.
    int autologoutsSent = 0;
    int prepaidLogoffsSent = 0;
    int warningsShown = 0;
    int sessionWindowClosesRefused = 0;
    int sessionWindowRestores = 0;
    QString lastMessage;
    QString lastWebAddress;
    QString lastPowerAction;
    // The last power request was refused or failed (and is in the error log).
    bool powerFailed = false;
};

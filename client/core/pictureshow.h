// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QStringList>
#include <QTimer>

#include <functional>

class AgentSettings;

// The lock screen's picture show, driven by the vkscreen settings: the pictures of one folder
// in a stable order, one per interval. It decides what is shown; the lock screen displays it
// through the display function:
//   display(path) shows the picture file and returns false when it cannot be read (the
//   previous picture then stays); display("") shows the built-in picture.
class PictureShow : public QObject
{
    Q_OBJECT

public:
    using Display = std::function<bool(const QString& path)>;

    static inline const QString ModePictures = QStringLiteral("VKPictures");
    // The longest interval a timer takes; longer settings are shortened to it.
    static constexpr qint64 MaxIntervalMs = 24LL * 3600 * 1000;

    explicit PictureShow(AgentSettings& settings, QObject* parent = nullptr);

    void setDisplay(Display display) { m_display = std::move(display); }

    // Called whenever the lock screen is shown or painted: when the display mode is
    // "VKPictures" the show is started, unless it already runs with the same folder and
    // interval (so painting does not hold the show back). Other modes change nothing.
    void refresh();
    // Starts (or restarts from the first picture) with the stored folder and interval.
    void start();
    void stop();

    bool isRunning() const { return m_running; }
    // The interval in milliseconds; 0 means the timer never fires.
    int interval() const { return m_interval; }
    bool timerActive() const { return m_timer.isActive(); }
    QString folder() const { return m_folder; }
    QStringList files() const { return m_files; }
    // Index of the next picture.
    int index() const { return m_index; }

    // One step of the show (the timer's tick).
    void tick();

    // The picture files of a folder in a stable order: names ending in .bmp, .gif, .jpeg or
    // .jpg in any letter case, sorted by name without regard to case (ties by exact name).
    static QStringList listPictures(const QString& folder);
    // Where a picture of the given size goes: centred across the screen and in the area below
    // the caption line.
    static QPoint placement(const QSize& screen, int captionHeight, const QSize& picture);

Q_SIGNALS:
    // The show started: the lock screen hides its background picture and shows the desktop
    // wallpaper (or its plain background) until the first tick.
    void wallpaperRequested();

private:
    void relist();

    AgentSettings& m_settings;
    Display m_display;
    QTimer m_timer;
    bool m_running = false;
    QString m_folder;
    int m_interval = 0;
    QStringList m_files;
    int m_index = 0;
};

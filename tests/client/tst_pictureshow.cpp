// SPDX-License-Identifier: Apache-2.0
#include "client/core/agentsettings.h"
#include "client/core/pictureshow.h"
#include "support/agentfixture.h"
#include "support/datarow.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A real picture file of the given size.
void writePicture(const QString& path, int w, int h, const char* format)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QVERIFY(img.save(path, format));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct Shown
{
    QStringList files; // "" = the built-in picture
    QStringList refused;
    PictureShow::Display display()
    {
        return [this](const QString& path) {
            if (path.isEmpty()) {
                files << QString();
                return true;
            }
            QImage img;
            if (!img.load(path)) {
                refused << QFileInfo(path).fileName();
                return false;
            }
            files << QFileInfo(path).fileName();
            return true;
        };
    }
};

// A show over the given settings, refreshed once, recording what it shows.
struct Running
{
    explicit Running(AgentSettings& settings)
        : show(settings), wallpaper(&show, &PictureShow::wallpaperRequested)
    {
        show.setDisplay(shown.display());
        show.refresh();
    }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            show.tick();
    }

    PictureShow show;
    Shown shown;
    QSignalSpy wallpaper;
};

} // namespace

class TstPictureShow : public QObject, public AgentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        openAgentHome();
        m_dir = m_home->file(u"pictures"_s);
        QVERIFY(QDir().mkpath(m_dir));
    }

    void cleanup() { closeAgentHome(); }

    void listsPicturesInAStableOrder()
    {
        for (const char* n :
             {"b.bmp", "A.JPG", "c.gif", "d.jpeg", "e.png", "f.txt", "g.Jpg", "a.jpg", "H.GIF"})
            writeFile(QDir(m_dir).filePath(QString::fromLatin1(n)), "x");
        QVERIFY(QDir(m_dir).mkdir(u"sub.jpg"_s));
        const QStringList expected = {u"A.JPG"_s,  u"a.jpg"_s, u"b.bmp"_s, u"c.gif"_s,
                                      u"d.jpeg"_s, u"g.Jpg"_s, u"H.GIF"_s};
        QCOMPARE(PictureShow::listPictures(m_dir), expected);
        QCOMPARE(PictureShow::listPictures(m_dir), expected);
        QCOMPARE(PictureShow::listPictures(m_home->file(u"nowhere"_s)), QStringList());
    }

    void placementCentresBelowTheCaption_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("caption");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QPoint>("expected");
        dataRow("small", QSize(1024, 768), 40, QSize(200, 100), QPoint(412, 354));
        dataRow("odd sizes", QSize(1280, 1024), 31, QSize(641, 333), QPoint(319, 361));
        dataRow("larger than screen", QSize(800, 600), 20, QSize(1000, 800), QPoint(-100, -90));
    }
    void placementCentresBelowTheCaption()
    {
        QFETCH(QSize, screen);
        QFETCH(int, caption);
        QFETCH(QSize, picture);
        QFETCH(QPoint, expected);
        QCOMPARE(PictureShow::placement(screen, caption, picture), expected);
    }

    void cyclesThroughTheFolderAndSkipsUnreadable()
    {
        writePicture(QDir(m_dir).filePath(u"1.bmp"_s), 40, 30, "BMP");
        writeFile(QDir(m_dir).filePath(u"2.jpg"_s), "not a picture at all");
        writePicture(QDir(m_dir).filePath(u"3.jpg"_s), 50, 20, "JPG");
        configure(PictureShow::ModePictures, u"True"_s, m_dir, u"3000"_s);

        Running r(*m_settings);
        r.tick(7);
        // The unreadable one is tried in its turn and leaves the previous picture up.
        QCOMPARE(r.shown.files,
                 (QStringList{u"1.bmp"_s, u"3.jpg"_s, u"1.bmp"_s, u"3.jpg"_s, u"1.bmp"_s}));
        QCOMPARE(r.shown.refused, (QStringList{u"2.jpg"_s, u"2.jpg"_s}));
        QCOMPARE(r.show.index(), 1);
    }

    void timerRunsAtTheStoredSpeed()
    {
        picture("a.bmp");
        picture("b.bmp");
        configure(PictureShow::ModePictures, u"False"_s, m_dir, u"40"_s);
        Running r(*m_settings);
        // "picture" only has to be set: the value False still runs the show.
        QVERIFY(r.show.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(r.shown.files.size() >= 3, 2000);
        QCOMPARE(r.shown.files.mid(0, 3), (QStringList{u"a.bmp"_s, u"b.bmp"_s, u"a.bmp"_s}));
    }

    void speedZeroOrUnsetNeverFires_data()
    {
        QTest::addColumn<QString>("speed");
        dataRow("zero", u"0"_s);
        dataRow("unset", QString());
        dataRow("negative", u"-500"_s);
        dataRow("not a number", u"fast"_s);
    }
    void speedZeroOrUnsetNeverFires()
    {
        QFETCH(QString, speed);
        picture("a.bmp");
        configure(PictureShow::ModePictures, u"True"_s, m_dir, speed);
        Running r(*m_settings);
        QVERIFY(r.show.isRunning());
        QCOMPARE(r.show.interval(), 0);
        QVERIFY(!r.show.timerActive());
        QTest::qWait(100);
        QCOMPARE(r.shown.files, QStringList());
    }

    void folderWithoutPicturesShowsTheBuiltIn()
    {
        writeFile(QDir(m_dir).filePath(u"readme.txt"_s), "x");
        configure(PictureShow::ModePictures, u"True"_s, m_dir, u"1000"_s);
        Running r(*m_settings);
        r.tick(2);
        QCOMPARE(r.shown.files, (QStringList{QString(), QString()}));
        QCOMPARE(r.show.index(), 0);
    }

    void missingFolderOrFileLeavesThePrevious()
    {
        picture("a.bmp");
        picture("b.bmp");
        configure(PictureShow::ModePictures, u"True"_s, m_dir, u"1000"_s);
        Running r(*m_settings);
        r.tick();
        // A picture removed after the folder was read is refused; the previous one stays.
        QVERIFY(QFile::remove(QDir(m_dir).filePath(u"b.bmp"_s)));
        r.tick();
        QCOMPARE(r.shown.files, QStringList{u"a.bmp"_s});
        QCOMPARE(r.shown.refused, QStringList{u"b.bmp"_s});
        // The whole folder gone: nothing changes on screen, and nothing fails.
        QVERIFY(QDir(m_dir).removeRecursively());
        r.tick(2);
        QCOMPARE(r.shown.files, QStringList{u"a.bmp"_s});

        // A folder that never existed: the show runs and shows nothing new.
        configure({}, {}, m_home->file(u"never"_s), {});
        Running other(*m_settings);
        other.tick();
        QCOMPARE(other.shown.files, QStringList());
    }

    void onlyThePicturesModeStartsTheShow_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("runs");
        dataRow("pictures", u"VKPictures"_s, true);
        dataRow("text", u"VKText"_s, false);
        dataRow("other case", u"vkpictures"_s, false);
        dataRow("unset", QString(), false);
    }
    void onlyThePicturesModeStartsTheShow()
    {
        QFETCH(QString, mode);
        QFETCH(bool, runs);
        configure(mode, u"True"_s, m_dir, u"1000"_s);
        PictureShow show(*m_settings);
        show.refresh();
        QCOMPARE(show.isRunning(), runs);
        QCOMPARE(show.timerActive(), runs);
    }

    void unsetPictureOrPathStopsEarly()
    {
        configure(PictureShow::ModePictures, QString(), m_dir, u"1000"_s);
        Running r(*m_settings);
        QVERIFY(!r.show.isRunning());
        QCOMPARE(r.wallpaper.count(), 0);

        // "picture" set, "path" not: the wallpaper shows and no timer runs.
        TestHome home;
        AgentSettings settings;
        settings.write(RegKey::Screen, u"defaults"_s, PictureShow::ModePictures);
        settings.write(RegKey::Picture, u"picture"_s, u"True"_s);
        settings.write(RegKey::Picture, u"Speed"_s, u"1000"_s);
        Running second(settings);
        QCOMPARE(second.wallpaper.count(), 1);
        QVERIFY(!second.show.timerActive());
    }

    void repaintingDoesNotHoldTheShowBack()
    {
        for (const char* n : {"a.bmp", "b.bmp", "c.bmp"})
            picture(n);
        configure(PictureShow::ModePictures, u"True"_s, m_dir, u"1000"_s);
        Running r(*m_settings);
        r.tick(2);
        r.show.refresh(); // a repaint
        QCOMPARE(r.show.index(), 2);
        QCOMPARE(r.wallpaper.count(), 1);
        // New settings take effect at the next refresh, from the first picture.
        configure({}, {}, {}, u"2000"_s);
        r.show.refresh();
        QCOMPARE(r.show.interval(), 2000);
        QCOMPARE(r.show.index(), 0);
        QCOMPARE(r.wallpaper.count(), 2);
    }

    void picturesAddedLaterJoinTheNextRound()
    {
        picture("a.bmp");
        configure(PictureShow::ModePictures, u"True"_s, m_dir, u"1000"_s);
        Running r(*m_settings);
        r.tick();
        picture("b.bmp");
        r.tick(2);
        QCOMPARE(r.shown.files, (QStringList{u"a.bmp"_s, u"a.bmp"_s, u"b.bmp"_s}));
    }

private:
    void picture(const char* name)
    {
        writePicture(QDir(m_dir).filePath(QLatin1String(name)), 10, 10, "BMP");
    }
    void configure(const QString& mode, const QString& picture, const QString& path,
                   const QString& speed)
    {
        if (!mode.isNull())
            m_settings->write(RegKey::Screen, u"defaults"_s, mode);
        if (!picture.isNull())
            m_settings->write(RegKey::Picture, u"picture"_s, picture);
        if (!path.isNull())
            m_settings->write(RegKey::Picture, u"path"_s, path);
        if (!speed.isNull())
            m_settings->write(RegKey::Picture, u"Speed"_s, speed);
    }

    QString m_dir;
};

QTEST_MAIN(TstPictureShow)
#include "tst_pictureshow.moc"

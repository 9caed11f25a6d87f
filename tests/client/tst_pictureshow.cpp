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

} // namespace

class TstPictureShow : public QObject, public AgentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        openAgentHome();
        m_dir = m_home->file(QStringLiteral("pictures"));
        QVERIFY(QDir().mkpath(m_dir));
    }

    void cleanup() { closeAgentHome(); }

    void listsPicturesInAStableOrder()
    {
        for (const char* n :
             {"b.bmp", "A.JPG", "c.gif", "d.jpeg", "e.png", "f.txt", "g.Jpg", "a.jpg", "H.GIF"})
            writeFile(QDir(m_dir).filePath(QString::fromLatin1(n)), "x");
        QVERIFY(QDir(m_dir).mkdir(QStringLiteral("sub.jpg")));
        const QStringList expected = {QStringLiteral("A.JPG"),  QStringLiteral("a.jpg"),
                                      QStringLiteral("b.bmp"),  QStringLiteral("c.gif"),
                                      QStringLiteral("d.jpeg"), QStringLiteral("g.Jpg"),
                                      QStringLiteral("H.GIF")};
        QCOMPARE(PictureShow::listPictures(m_dir), expected);
        QCOMPARE(PictureShow::listPictures(m_dir), expected);
        QCOMPARE(PictureShow::listPictures(m_home->file(QStringLiteral("nowhere"))), QStringList());
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
        writePicture(QDir(m_dir).filePath(QStringLiteral("1.bmp")), 40, 30, "BMP");
        writeFile(QDir(m_dir).filePath(QStringLiteral("2.jpg")), "not a picture at all");
        writePicture(QDir(m_dir).filePath(QStringLiteral("3.jpg")), 50, 20, "JPG");
        writePicture(QDir(m_dir).filePath(QStringLiteral("4.gif.png")), 50, 20,
                     "PNG"); // not listed
        configure(PictureShow::ModePictures, QStringLiteral("True"), m_dir, QStringLiteral("3000"));

        PictureShow show(*m_settings);
        Shown shown;
        show.setDisplay(shown.display());
        QSignalSpy wallpaper(&show, &PictureShow::wallpaperRequested);
        show.refresh();
        QVERIFY(show.isRunning());
        QCOMPARE(wallpaper.count(), 1);
        QCOMPARE(show.interval(), 3000);
        QVERIFY(show.timerActive());
        QCOMPARE(show.files(), (QStringList{QStringLiteral("1.bmp"), QStringLiteral("2.jpg"),
                                            QStringLiteral("3.jpg")}));

        for (int i = 0; i < 7; ++i)
            show.tick();
        // The unreadable one is tried in its turn and leaves the previous picture up.
        QCOMPARE(shown.files, (QStringList{QStringLiteral("1.bmp"), QStringLiteral("3.jpg"),
                                           QStringLiteral("1.bmp"), QStringLiteral("3.jpg"),
                                           QStringLiteral("1.bmp")}));
        QCOMPARE(shown.refused, (QStringList{QStringLiteral("2.jpg"), QStringLiteral("2.jpg")}));
        QCOMPARE(show.index(), 1);
    }

    void timerRunsAtTheStoredSpeed()
    {
        writePicture(QDir(m_dir).filePath(QStringLiteral("a.bmp")), 10, 10, "BMP");
        writePicture(QDir(m_dir).filePath(QStringLiteral("b.bmp")), 10, 10, "BMP");
        configure(PictureShow::ModePictures, QStringLiteral("False"), m_dir, QStringLiteral("40"));
        PictureShow show(*m_settings);
        Shown shown;
        show.setDisplay(shown.display());
        show.refresh();
        // "picture" only has to be set: the value False still runs the show.
        QVERIFY(show.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(shown.files.size() >= 3, 2000);
        QCOMPARE(shown.files.mid(0, 3),
                 (QStringList{QStringLiteral("a.bmp"), QStringLiteral("b.bmp"),
                              QStringLiteral("a.bmp")}));
    }

    void speedZeroOrUnsetNeverFires_data()
    {
        QTest::addColumn<QString>("speed");
        dataRow("zero", QStringLiteral("0"));
        dataRow("unset", QString());
        dataRow("negative", QStringLiteral("-500"));
        dataRow("not a number", QStringLiteral("fast"));
    }
    void speedZeroOrUnsetNeverFires()
    {
        QFETCH(QString, speed);
        writePicture(QDir(m_dir).filePath(QStringLiteral("a.bmp")), 10, 10, "BMP");
        configure(PictureShow::ModePictures, QStringLiteral("True"), m_dir, speed);
        PictureShow show(*m_settings);
        Shown shown;
        show.setDisplay(shown.display());
        show.refresh();
        QVERIFY(show.isRunning());
        QCOMPARE(show.interval(), 0);
        QVERIFY(!show.timerActive());
        QTest::qWait(100);
        QCOMPARE(shown.files, QStringList());
    }

    void folderWithoutPicturesShowsTheBuiltIn()
    {
        writeFile(QDir(m_dir).filePath(QStringLiteral("readme.txt")), "x");
        configure(PictureShow::ModePictures, QStringLiteral("True"), m_dir, QStringLiteral("1000"));
        PictureShow show(*m_settings);
        Shown shown;
        show.setDisplay(shown.display());
        show.refresh();
        show.tick();
        show.tick();
        QCOMPARE(shown.files, (QStringList{QString(), QString()}));
        QCOMPARE(show.index(), 0);
    }

    void missingFolderOrFileLeavesThePrevious()
    {
        writePicture(QDir(m_dir).filePath(QStringLiteral("a.bmp")), 10, 10, "BMP");
        writePicture(QDir(m_dir).filePath(QStringLiteral("b.bmp")), 10, 10, "BMP");
        configure(PictureShow::ModePictures, QStringLiteral("True"), m_dir, QStringLiteral("1000"));
        PictureShow show(*m_settings);
        Shown shown;
        show.setDisplay(shown.display());
        show.refresh();
        show.tick();
        // A picture removed after the folder was read is refused; the previous one stays.
        QVERIFY(QFile::remove(QDir(m_dir).filePath(QStringLiteral("b.bmp"))));
        show.tick();
        QCOMPARE(shown.files, QStringList{QStringLiteral("a.bmp")});
        QCOMPARE(shown.refused, QStringList{QStringLiteral("b.bmp")});
        // The whole folder gone: nothing changes on screen, and nothing fails.
        QVERIFY(QDir(m_dir).removeRecursively());
        show.tick();
        show.tick();
        QCOMPARE(shown.files, QStringList{QStringLiteral("a.bmp")});

        // A folder that never existed: the show runs and shows nothing new.
        configure({}, {}, m_home->file(QStringLiteral("never")), {});
        PictureShow other(*m_settings);
        Shown none;
        other.setDisplay(none.display());
        other.refresh();
        other.tick();
        QCOMPARE(none.files, QStringList());
    }

    void onlyThePicturesModeStartsTheShow_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("runs");
        dataRow("pictures", QStringLiteral("VKPictures"), true);
        dataRow("text", QStringLiteral("VKText"), false);
        dataRow("default", QStringLiteral("Default"), false);
        dataRow("other case", QStringLiteral("vkpictures"), false);
        dataRow("unset", QString(), false);
    }
    void onlyThePicturesModeStartsTheShow()
    {
        QFETCH(QString, mode);
        QFETCH(bool, runs);
        configure(mode, QStringLiteral("True"), m_dir, QStringLiteral("1000"));
        PictureShow show(*m_settings);
        show.refresh();
        QCOMPARE(show.isRunning(), runs);
        QCOMPARE(show.timerActive(), runs);
    }

    void unsetPictureOrPathStopsEarly()
    {
        configure(PictureShow::ModePictures, QString(), m_dir, QStringLiteral("1000"));
        PictureShow show(*m_settings);
        QSignalSpy wallpaper(&show, &PictureShow::wallpaperRequested);
        show.refresh();
        QVERIFY(!show.isRunning());
        QCOMPARE(wallpaper.count(), 0);

        // "picture" set, "path" not: the wallpaper shows and no timer runs.
        TestHome home;
        AgentSettings settings;
        settings.write(RegKey::Screen, QStringLiteral("defaults"), PictureShow::ModePictures);
        settings.write(RegKey::Picture, QStringLiteral("picture"), QStringLiteral("True"));
        settings.write(RegKey::Picture, QStringLiteral("Speed"), QStringLiteral("1000"));
        PictureShow second(settings);
        QSignalSpy wallpaper2(&second, &PictureShow::wallpaperRequested);
        second.refresh();
        QCOMPARE(wallpaper2.count(), 1);
        QVERIFY(!second.timerActive());
    }

    void repaintingDoesNotHoldTheShowBack()
    {
        for (const char* n : {"a.bmp", "b.bmp", "c.bmp"})
            writePicture(QDir(m_dir).filePath(QString::fromLatin1(n)), 10, 10, "BMP");
        configure(PictureShow::ModePictures, QStringLiteral("True"), m_dir, QStringLiteral("1000"));
        PictureShow show(*m_settings);
        Shown shown;
        show.setDisplay(shown.display());
        QSignalSpy wallpaper(&show, &PictureShow::wallpaperRequested);
        show.refresh();
        show.tick();
        show.tick();
        show.refresh(); // a repaint
        QCOMPARE(show.index(), 2);
        QCOMPARE(wallpaper.count(), 1);
        // New settings take effect at the next refresh, from the first picture.
        configure({}, {}, {}, QStringLiteral("2000"));
        show.refresh();
        QCOMPARE(show.interval(), 2000);
        QCOMPARE(show.index(), 0);
        QCOMPARE(wallpaper.count(), 2);
    }

    void picturesAddedLaterJoinTheNextRound()
    {
        writePicture(QDir(m_dir).filePath(QStringLiteral("a.bmp")), 10, 10, "BMP");
        configure(PictureShow::ModePictures, QStringLiteral("True"), m_dir, QStringLiteral("1000"));
        PictureShow show(*m_settings);
        Shown shown;
        show.setDisplay(shown.display());
        show.refresh();
        show.tick();
        writePicture(QDir(m_dir).filePath(QStringLiteral("b.bmp")), 10, 10, "BMP");
        show.tick();
        show.tick();
        QCOMPARE(shown.files, (QStringList{QStringLiteral("a.bmp"), QStringLiteral("a.bmp"),
                                           QStringLiteral("b.bmp")}));
    }

private:
    void configure(const QString& mode, const QString& picture, const QString& path,
                   const QString& speed);

    QString m_dir;
};

void TstPictureShow::configure(const QString& mode, const QString& picture, const QString& path,
                               const QString& speed)
{
    if (!mode.isNull())
        m_settings->write(RegKey::Screen, QStringLiteral("defaults"), mode);
    if (!picture.isNull())
        m_settings->write(RegKey::Picture, QStringLiteral("picture"), picture);
    if (!path.isNull())
        m_settings->write(RegKey::Picture, QStringLiteral("path"), path);
    if (!speed.isNull())
        m_settings->write(RegKey::Picture, QStringLiteral("Speed"), speed);
}

QTEST_MAIN(TstPictureShow)
#include "tst_pictureshow.moc"

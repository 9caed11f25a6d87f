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

// A show over the given settings, refreshed once, recording what it shows ("" = the built-in
// picture) and which files it could not read.
struct Running
{
    explicit Running(AgentSettings& settings)
        : show(settings), wallpaper(&show, &PictureShow::wallpaperRequested)
    {
        show.setDisplay([this](const QString& path) {
            QImage img;
            if (!path.isEmpty() && !img.load(path)) {
                refused << QFileInfo(path).fileName();
                return false;
            }
            files << (path.isEmpty() ? QString() : QFileInfo(path).fileName());
            return true;
        });
        show.refresh();
    }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            show.tick();
    }

    PictureShow show;
    QStringList files;
    QStringList refused;
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
        for (const char* n : {"b.bmp", "A.JPG", "e.png", "a.jpg", "H.GIF"})
            writeFile(QDir(m_dir).filePath(QString::fromLatin1(n)), "x");
        QVERIFY(QDir(m_dir).mkdir(u"sub.jpg"_s));
        QCOMPARE(PictureShow::listPictures(m_dir),
                 (QStringList{u"A.JPG"_s, u"a.jpg"_s, u"b.bmp"_s, u"H.GIF"_s}));
    }

    void placementCentresBelowTheCaption_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("caption");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QPoint>("expected");
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
        // "picture" only has to be set: the value False still runs the show.
        configure(PictureShow::ModePictures, u"False"_s, m_dir, u"3000"_s);
        Running r(*m_settings);
        QCOMPARE(r.show.interval(), 3000);
        QVERIFY(r.show.timerActive());
        r.tick(7);
        // The unreadable one is tried in its turn and leaves the previous picture up.
        QCOMPARE(r.files,
                 (QStringList{u"1.bmp"_s, u"3.jpg"_s, u"1.bmp"_s, u"3.jpg"_s, u"1.bmp"_s}));
        QCOMPARE(r.refused, (QStringList{u"2.jpg"_s, u"2.jpg"_s}));
        // A picture added now joins the next round; a repaint does not start the show over.
        picture("4.bmp");
        r.show.refresh();
        r.tick(6);
        QCOMPARE(r.files.mid(5), (QStringList{u"3.jpg"_s, u"1.bmp"_s, u"3.jpg"_s, u"4.bmp"_s}));
        QCOMPARE(r.wallpaper.count(), 1);
        // New settings take effect at the next refresh, from the first picture.
        configure({}, {}, {}, u"2000"_s);
        r.show.refresh();
        QCOMPARE(r.show.interval(), 2000);
        QCOMPARE(r.show.index(), 0);
    }

    void folderWithoutPicturesShowsTheBuiltIn()
    {
        writeFile(QDir(m_dir).filePath(u"readme.txt"_s), "x");
        configure(PictureShow::ModePictures, u"True"_s, m_dir, u"1000"_s);
        Running r(*m_settings);
        r.tick(2);
        QCOMPARE(r.files, (QStringList{QString(), QString()}));
    }

    void missingFolderOrFileLeavesThePrevious()
    {
        picture("a.bmp");
        picture("b.bmp");
        configure(PictureShow::ModePictures, u"True"_s, m_dir, u"1000"_s);
        Running r(*m_settings);
        r.tick();
        // The whole folder gone: nothing changes on screen, and nothing fails.
        QVERIFY(QDir(m_dir).removeRecursively());
        r.tick(2);
        QCOMPARE(r.files, QStringList{u"a.bmp"_s});
    }

    void onlyThePicturesModeStartsTheShow()
    {
        // Unset "picture": no show. Not "vkpictures": the mode is compared exactly.
        configure(PictureShow::ModePictures, QString(), m_dir, u"1000"_s);
        QVERIFY(!Running(*m_settings).show.isRunning());
        configure(u"vkpictures"_s, u"True"_s, QString(), QString());
        QVERIFY(!Running(*m_settings).show.isRunning());
        // A speed of 0 runs the show but never fires.
        picture("a.bmp");
        configure(PictureShow::ModePictures, QString(), QString(), u"0"_s);
        QVERIFY(Running(*m_settings).show.isRunning());
        QVERIFY(!Running(*m_settings).show.timerActive());
        // "picture" set, "path" not: the wallpaper shows and no timer runs.
        TestHome home;
        AgentSettings settings;
        settings.write(RegKey::Screen, u"defaults"_s, PictureShow::ModePictures);
        settings.write(RegKey::Picture, u"picture"_s, u"True"_s);
        Running r(settings);
        QCOMPARE(r.wallpaper.count(), 1);
        QVERIFY(!r.show.timerActive());
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

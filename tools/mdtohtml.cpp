// SPDX-License-Identifier: Apache-2.0
// Turns one Markdown document of docs/ into a page of the console's help, so that the guide
// is written once, as Markdown, and read in the help like every other page.
//
//   mdtohtml [--contents] <input.md> <output.html> [stylesheet]
//
// --contents adds a link back to the help's start page (index.html beside the output).
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextStream>

namespace {

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

int main(int argc, char** argv)
{
    // Laying out text needs fonts, not a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    const bool contents = args.removeAll(QStringLiteral("--contents")) > 0;
    if (args.size() < 3) {
        QTextStream(stderr)
            << "usage: mdtohtml [--contents] <input.md> <output.html> [stylesheet]\n";
        return 2;
    }
    QFile in(args.at(1));
    if (!in.open(QIODevice::ReadOnly)) {
        QTextStream(stderr) << "cannot read " << args.at(1) << '\n';
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());

    QTextDocument doc;
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    const QString html = doc.toHtml();
    // Keep what is between <body ...> and </body>: the page gets our own head and stylesheet.
    const qsizetype open = html.indexOf(QStringLiteral("<body"));
    const qsizetype bodyStart = open < 0 ? -1 : html.indexOf(QLatin1Char('>'), open);
    const qsizetype bodyEnd = html.lastIndexOf(QStringLiteral("</body>"));
    if (bodyStart < 0 || bodyEnd < bodyStart) {
        QTextStream(stderr) << "unexpected HTML for " << args.at(1) << '\n';
        return 1;
    }
    QString body = html.mid(bodyStart + 1, bodyEnd - bodyStart - 1);
    // A link to a neighbouring Markdown page points at its converted copy beside this one.
    body.replace(QRegularExpression(QStringLiteral("href=\"([^\":/#]+)\\.md(#[^\"]*)?\"")),
                 QStringLiteral("href=\"\\1.html\\2\""));

    QString title = QStringLiteral("Help");
    const QRegularExpression heading(QStringLiteral("^#\\s+(.+)$"),
                                     QRegularExpression::MultilineOption);
    if (const auto m = heading.match(markdown); m.hasMatch()) {
        title = m.captured(1).trimmed();
    }
    const QString stylesheet = args.size() > 3 ? args.at(3) : QStringLiteral("style.css");

    QFile out(args.at(2));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QTextStream(stderr) << "cannot write " << args.at(2) << '\n';
        return 1;
    }
    QTextStream s(&out);
    s << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<title>" << escaped(title) << "</title>\n"
      << "<link rel=\"stylesheet\" href=\"" << escaped(stylesheet) << "\">\n</head>\n<body>\n";
    if (contents) {
        s << "<p class=\"nav\"><a href=\"index.html\">Contents</a></p>\n";
    }
    s << body << "\n</body>\n</html>\n";
    s.flush();
    return out.error() == QFileDevice::NoError ? 0 : 1;
}

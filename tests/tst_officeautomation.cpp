#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeConverter.h"
#include "OfficeDocument.h"
#include "OfficeInstallation.h"
#include "OfficeSession.h"
#include "OfficeFixtures.h"
#include "ProcessGroups.h"

#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

Q_DECLARE_METATYPE(OfficeDocument::Kind)

using namespace OfficeFixtures;

namespace {

QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(30000))
        return QString();
    return QString::fromUtf8(tool.readAllStandardOutput());
}

int pdfPageCount(const QString& pdfPath)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"),
                             QRegularExpression::MultilineOption)
              .match(runTool(QStringLiteral("pdfinfo"), {pdfPath}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The lines of text on one page; spreadsheet pages also carry a header and a footer.
QStringList pdfPageLines(const QString& pdfPath, int page)
{
    const QString number = QString::number(page);
    QStringList lines = runTool(QStringLiteral("pdftotext"),
                                {QStringLiteral("-f"), number, QStringLiteral("-l"), number,
                                 pdfPath, QStringLiteral("-")})
                            .split(QRegularExpression(QStringLiteral("[\\n\\f]")),
                                   Qt::SkipEmptyParts);
    for (QString& line : lines)
        line = line.trimmed();
    return lines;
}

} // namespace

class tst_OfficeAutomation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void documentKind_data();
    void documentKind();
    void exportPdf_data();
    void exportPdf();
    void printAreas_data();
    void printAreas();
    void openFails_data();
    void openFails();
    void exportSlide_data();
    void exportSlide();
    void quitClosesDocuments();
    void startFailsWithoutOffice();

    // These replace the office process; they run last.
    void restartsAfterProcessDied();
    void timeLimitKillsProcess_data();
    void timeLimitKillsProcess();
    void sessionEndEndsProcess();

private:
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    std::unique_ptr<OfficeSession> session;
};

void tst_OfficeAutomation::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    const OfficeInstallation& office = OfficeInstallation::system();
    if (!office.writerAvailable() || !office.calcAvailable() || !office.impressAvailable())
        QSKIP("LibreOffice with Writer, Calc and Impress is not installed");
    QVERIFY(dir.isValid());

    QVERIFY(writeFile(path(QStringLiteral("doc.fodt")), textDocument()));
    QVERIFY(writeFile(path(QStringLiteral("book.fods")), spreadsheet()));
    QVERIFY(writeFile(path(QStringLiteral("deck.fodp")), presentation()));

    session = std::make_unique<OfficeSession>();
    QVERIFY2(session->ensureRunning(), qPrintable(session->lastError()));

    using Format = OfficeConverter::Format;
    const struct
    {
        const char* source;
        QString target;
        Format format;
        const char* password;
    } conversions[] = {
        {"doc.fodt", QStringLiteral("doc.docx"), Format::Docx, nullptr},
        {"doc.fodt", QStringLiteral("doc.doc"), Format::Doc, nullptr},
        {"doc.fodt", QStringLiteral("Q3 r\u00e9port #1.docx"), Format::Docx, nullptr},
        {"doc.fodt", QStringLiteral("locked.odt"), Format::Odt, "secret"},
        {"book.fods", QStringLiteral("book.xlsx"), Format::Xlsx, nullptr},
        {"deck.fodp", QStringLiteral("deck.pptx"), Format::Pptx, nullptr},
    };
    for (const auto& conversion : conversions) {
        QVERIFY2(OfficeConverter::convert(*session, path(QLatin1String(conversion.source)),
                                          path(conversion.target), conversion.format,
                                          QLatin1String(conversion.password)),
                 qPrintable(session->lastError()));
    }
}

void tst_OfficeAutomation::documentKind_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<OfficeDocument::Kind>("kind");
    QTest::addColumn<int>("slides");

    QTest::addRow("word document is text") << "doc.docx" << OfficeDocument::Kind::Text << 0;
    QTest::addRow("workbook is a spreadsheet")
        << "book.xlsx" << OfficeDocument::Kind::Spreadsheet << 0;
    QTest::addRow("slide deck is a presentation with its slides")
        << "deck.pptx" << OfficeDocument::Kind::Presentation << 3;
}

void tst_OfficeAutomation::documentKind()
{
    QFETCH(QString, file);
    QFETCH(OfficeDocument::Kind, kind);
    QFETCH(int, slides);

    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY(application);
    const std::unique_ptr<OfficeDocument> document = application->documents().open(path(file));
    QCOMPARE(document->kind(), kind);
    QCOMPARE(document->slideCount(), slides);
}

void tst_OfficeAutomation::exportPdf_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("firstPage");
    QTest::addColumn<int>("lastPage");
    QTest::addColumn<int>("pages"); // 0: nothing exported
    QTest::addColumn<QString>("firstText"); // a line on the first exported page

    QTest::addRow("document pages 2 to 3") << "doc.docx" << 2 << 3 << 2 << "2";
    QTest::addRow("document last page alone") << "doc.docx" << 5 << 5 << 1 << "5";
    QTest::addRow("document range running past the end") << "doc.docx" << 4 << 9 << 2 << "4";
    QTest::addRow("document range past the end") << "doc.docx" << 6 << 8 << 0 << "";
    QTest::addRow("document range reversed") << "doc.docx" << 3 << 2 << 0 << "";
    QTest::addRow("word 97 document") << "doc.doc" << 1 << 2 << 2 << "1";
    QTest::addRow("flat text document, all pages") << "doc.fodt" << 1 << 5 << 5 << "1";
    QTest::addRow("path with blanks, accent and hash")
        << "Q3 r\u00e9port #1.docx" << 3 << 3 << 1 << "3";
    QTest::addRow("spreadsheet pages across sheets") << "book.xlsx" << 2 << 3 << 2 << "2";
    QTest::addRow("spreadsheet range running past the end")
        << "book.xlsx" << 3 << 10 << 1 << "3";
    QTest::addRow("spreadsheet range past the end") << "book.xlsx" << 4 << 4 << 0 << "";
    QTest::addRow("presentation slides as pages") << "deck.pptx" << 2 << 3 << 2 << "2";
}

void tst_OfficeAutomation::exportPdf()
{
    QFETCH(QString, file);
    QFETCH(int, firstPage);
    QFETCH(int, lastPage);
    QFETCH(int, pages);
    QFETCH(QString, firstText);
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdfinfo and pdftotext (poppler-utils) are not installed");

    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY(application);
    const std::unique_ptr<OfficeDocument> document = application->documents().open(path(file));
    const QString pdf = path(QStringLiteral("export.pdf"));
    QFile::remove(pdf);

    QCOMPARE(document->exportPdf(pdf, firstPage, lastPage), pages > 0);
    QCOMPARE(QFile::exists(pdf), pages > 0);
    if (pages > 0) {
        QCOMPARE(pdfPageCount(pdf), pages);
        QVERIFY2(pdfPageLines(pdf, 1).contains(firstText), qPrintable(pdfPageLines(pdf, 1).join(u'|')));
    }
}

void tst_OfficeAutomation::printAreas_data()
{
    QTest::addColumn<bool>("ignore");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("lastText");

    QTest::addRow("print areas honoured") << false << 3 << "3";
    QTest::addRow("print areas ignored") << true << 4 << "4";
}

void tst_OfficeAutomation::printAreas()
{
    QFETCH(bool, ignore);
    QFETCH(int, pages);
    QFETCH(QString, lastText);
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdfinfo and pdftotext (poppler-utils) are not installed");

    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY(application);
    const std::unique_ptr<OfficeDocument> document
        = application->documents().open(path(QStringLiteral("book.xlsx")));
    if (ignore)
        QVERIFY(document->ignorePrintAreas());
    QCOMPARE(document->pageCount(), pages);
    const QString pdf = path(QStringLiteral("areas.pdf"));
    QVERIFY(document->exportPdf(pdf, 1, 99));
    QCOMPARE(pdfPageCount(pdf), pages);
    QVERIFY(pdfPageLines(pdf, pages).contains(lastText));
}

void tst_OfficeAutomation::openFails_data()
{
    QTest::addColumn<QString>("file");

    QTest::addRow("missing file") << "missing.docx";
    QTest::addRow("folder") << "";
    QTest::addRow("password-protected document") << "locked.odt";
}

void tst_OfficeAutomation::openFails()
{
    QFETCH(QString, file);

    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY(application);
    const qint64 office = session->processId();
    QString message;
    try {
        application->documents().open(path(file));
    } catch (const OfficeAutomationError& error) {
        message = error.message();
    }
    QVERIFY(!message.isEmpty());
    // The same process still serves: no call ran into its time limit.
    QCOMPARE(session->processId(), office);
}

void tst_OfficeAutomation::exportSlide_data()
{
    QTest::addColumn<int>("slide");
    QTest::addColumn<QString>("mediaType");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format"); // empty: nothing exported

    QTest::addRow("png at the requested size")
        << 2 << "image/png" << QSize(300, 200) << QByteArray("png");
    QTest::addRow("jpeg at the requested size")
        << 3 << "image/jpeg" << QSize(320, 240) << QByteArray("jpeg");
    QTest::addRow("size against the slide's proportions")
        << 1 << "image/png" << QSize(120, 400) << QByteArray("png");
    QTest::addRow("slide past the end") << 4 << "image/png" << QSize(300, 200) << QByteArray();
    QTest::addRow("slide zero") << 0 << "image/png" << QSize(300, 200) << QByteArray();
    QTest::addRow("bitmap refused") << 1 << "image/bmp" << QSize(300, 200) << QByteArray();
}

void tst_OfficeAutomation::exportSlide()
{
    QFETCH(int, slide);
    QFETCH(QString, mediaType);
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);

    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY(application);
    const std::unique_ptr<OfficeDocument> document
        = application->documents().open(path(QStringLiteral("deck.pptx")));
    const QString image = path(QStringLiteral("slide.img"));
    QFile::remove(image);

    QCOMPARE(document->exportSlide(slide, image, mediaType, size.width(), size.height()),
             !format.isEmpty());
    QCOMPARE(QFile::exists(image), !format.isEmpty());
    if (!format.isEmpty()) {
        QImageReader reader(image);
        QCOMPARE(reader.format(), format);
        QCOMPARE(reader.size(), size);
    }
}

void tst_OfficeAutomation::quitClosesDocuments()
{
    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY(application);
    application->setVisible(false);
    application->setDisplayAlerts(false);
    const std::unique_ptr<OfficeDocument> document
        = application->documents().open(path(QStringLiteral("doc.docx")));
    const qint64 office = session->processId();
    QVERIFY(document->isOpen());

    application->quit();

    QVERIFY(!document->isOpen());
    QVERIFY(!document->exportPdf(path(QStringLiteral("closed.pdf")), 1, 1));
    // The office stays up for the next document.
    QCOMPARE(session->processId(), office);
}

void tst_OfficeAutomation::startFailsWithoutOffice()
{
    OfficeSession nowhere(path(QStringLiteral("no-office")));

    QVERIFY(!OfficeApplication::start(nowhere));
    QVERIFY(!nowhere.lastError().isEmpty());
    QCOMPARE(nowhere.processId(), qint64(0));
}

void tst_OfficeAutomation::restartsAfterProcessDied()
{
    QVERIFY(session->ensureRunning());
    const qint64 crashed = session->processId();
    QVERIFY(crashed > 0);
    ::kill(-static_cast<pid_t>(crashed), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(crashed), 10000);

    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY2(application, qPrintable(session->lastError()));
    QVERIFY(session->processId() > 0);
    QVERIFY(session->processId() != crashed);
    const std::unique_ptr<OfficeDocument> document
        = application->documents().open(path(QStringLiteral("doc.docx")));
    QCOMPARE(document->pageCount(), 5);
}

void tst_OfficeAutomation::timeLimitKillsProcess_data()
{
    QTest::addColumn<bool>("duringExport"); // otherwise while opening

    QTest::addRow("opening overruns") << false;
    QTest::addRow("export overruns") << true;
}

void tst_OfficeAutomation::timeLimitKillsProcess()
{
    QFETCH(bool, duringExport);

    QVERIFY(session->ensureRunning());
    const qint64 overrun = session->processId();
    const int callTimeoutMs = session->callTimeoutMs();
    const QString pdf = path(QStringLiteral("overrun.pdf"));
    {
        const std::unique_ptr<OfficeApplication> application
            = OfficeApplication::start(*session);
        QVERIFY(application);
        std::unique_ptr<OfficeDocument> document;
        if (duringExport)
            document = application->documents().open(path(QStringLiteral("doc.docx")));
        session->setCallTimeoutMs(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "took longer than 1 ms; the office process "
                                               "was ended")));
        if (duringExport) {
            QVERIFY(!document->exportPdf(pdf, 1, 5));
        } else {
            QVERIFY_EXCEPTION_THROWN(application->documents().open(path(QStringLiteral("doc.docx"))),
                                     OfficeAutomationError);
        }
        session->setCallTimeoutMs(callTimeoutMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(overrun), 10000);

    // A fresh process serves the next document, also at the path the overrun wrote to.
    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(*session);
    QVERIFY2(application, qPrintable(session->lastError()));
    QVERIFY(session->processId() != overrun);
    const std::unique_ptr<OfficeDocument> document
        = application->documents().open(path(QStringLiteral("doc.docx")));
    QVERIFY2(document->exportPdf(pdf, 1, 2), qPrintable(session->lastError()));
}

void tst_OfficeAutomation::sessionEndEndsProcess()
{
    QVERIFY(session->ensureRunning());
    const qint64 office = session->processId();
    QVERIFY(groupAlive(office));

    session.reset();

    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(office), 10000);
}

QTEST_MAIN(tst_OfficeAutomation)
#include "tst_officeautomation.moc"

// The tools page with the link down: path checks, the generator run against the command line's
// files, progress in the status bar, and the site information viewer in both languages.
#include "UiTestSupport.h"

#include "../../cli/Command.h"

#include <Dialogs.h>
#include <Logger.h>
#include <ProfileGenerator.h>
#include <StringTable.h>
#include <untMain.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <sstream>

using namespace quillon;
using namespace quillon::test;

namespace
{

const QString kData = QStringLiteral(QUILLON_TEST_DATA);
constexpr int kToolsPage = 4;

// String `id` of the table in the current language, read past the window's own helper.
QString tableText(int id)
{
    return QString::fromStdString(loadUiString(id));
}

QLineEdit* edit(TfrmMain& window, const char* name)
{
    return child<QLineEdit>(window, name);
}

void click(TfrmMain& window, const char* name)
{
    QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
}

// Every file of a folder by name, with its bytes.
QMap<QString, QByteArray> folderFiles(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(folder + "/" + name);
        if (file.open(QIODevice::ReadOnly))
            files.insert(name, file.readAll());
    }
    return files;
}

QString makeFolder(const QTemporaryDir& root, const QString& name)
{
    QDir(root.path()).mkpath(name);
    return root.filePath(name);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// What `quillon-cli usb-profiles` prints for a run, without the line end.
QString runUsbProfilesCommand(const QString& workbook, const QString& folder)
{
    std::ostringstream out, err;
    cli::Context context{{workbook.toStdString(), folder.toStdString()}, out, err};
    cli::makeUsbProfilesCommand()->run(context);
    return QString::fromStdString(out.str() + err.str()).trimmed().replace('\n', ' '); // the window: one line
}

} // namespace

class TestToolsPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        QVERIFY(logDir_.isValid());
        Logger::instance().setFileName(logDir_.filePath("quillon.log").toStdString());
    }
    void init() { Dialogs::resetCounters(); }

    // Catches a browse button that is not wired, a filter without the reader's other formats, a
    // folder picker with the wrong title, and a cancel that wipes the field.
    void browseDialogsFillTheFields()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());

        Dialogs::setNextOpenFileName(kData + "/profiles.xlsx");
        click(window, "btnBrowseConfigFile");
        QCOMPARE(edit(window, "edtConfigFile")->text(), QDir::toNativeSeparators(kData + "/profiles.xlsx"));
        const QStringList filters = Dialogs::lastFileFilter().split(";;");
        // The first filter, the one the dialog opens on, shows every format the readers take.
        QCOMPARE(filters.first(), QStringLiteral("Workbooks (*.xls *.xlsx *.ods *.csv)"));
        QCOMPARE(filters.last(), QStringLiteral("All files (*.*)"));
        for (const char* pattern : {"*.xlsx", "*.ods", "*.csv"})
            QVERIFY2(Dialogs::lastFileFilter().contains(pattern), pattern);
        Dialogs::setNextOpenFileName(QString());
        click(window, "btnBrowseConfigFile");
        QCOMPARE(edit(window, "edtConfigFile")->text(), QDir::toNativeSeparators(kData + "/profiles.xlsx"));

        for (uint8_t language : {LanguageEnglish, LanguageChinese}) {
            language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
            Dialogs::setNextFolderName(kData);
            click(window, "btnBrowseOutputPath");
            QCOMPARE(Dialogs::lastFolderTitle(), tableText(460));
            QCOMPARE(edit(window, "edtOutputPath")->text(), QDir::toNativeSeparators(kData));
        }
        Dialogs::setNextFolderName(QString());
        click(window, "btnBrowseOutputPath");
        QCOMPARE(edit(window, "edtOutputPath")->text(), QDir::toNativeSeparators(kData));

        edit(window, "edtZoneInfo")->setText("earlier result");
        Dialogs::setNextOpenFileName(QString());
        click(window, "btnBrowseZoneInfoFile");
        QCOMPARE(edit(window, "edtZoneInfo")->text(), QStringLiteral("earlier result"));
        QCOMPARE(Dialogs::lastFileFilter(), QStringLiteral("Config files (*.cfg);;All files (*.*)"));
        Dialogs::setNextOpenFileName(kData + "/common.cfg");
        click(window, "btnBrowseZoneInfoFile");
        QCOMPARE(edit(window, "edtZoneInfoFile")->text(), QDir::toNativeSeparators(kData + "/common.cfg"));
        QVERIFY(edit(window, "edtZoneInfo")->text().isEmpty());
        QCOMPARE(Dialogs::suppressedMessageCount(), 0);
    }

    void createRefusesBadPaths_data()
    {
        QTest::addColumn<QString>("src");
        QTest::addColumn<QString>("dst");
        QTest::addColumn<int>("textId");
        // <book> a real workbook, <out> an empty folder, <dir> a folder, <file> a file.
        QTest::newRow("no workbook") << ""
                                     << "<out>" << 461;
        QTest::newRow("blank workbook") << "   "
                                        << "<out>" << 461;
        QTest::newRow("missing workbook") << "<missing>"
                                          << "<out>" << 462;
        QTest::newRow("workbook is a folder") << "<dir>"
                                              << "<out>" << 462;
        QTest::newRow("both missing: workbook first") << "<missing>"
                                                      << "" << 462;
        QTest::newRow("no output") << "<book>"
                                   << "" << 463;
        QTest::newRow("blank output") << "<book>"
                                      << "  " << 463;
        QTest::newRow("missing output") << "<book>"
                                        << "<missing>" << 464;
        QTest::newRow("output is a file") << "<book>"
                                          << "<file>" << 464;
    }

    // Catches a missing or misordered check, the path in the text, no message box, and a run
    // that starts anyway.
    void createRefusesBadPaths()
    {
        QFETCH(QString, src);
        QFETCH(QString, dst);
        QFETCH(int, textId);
        QTemporaryDir root;
        const QString out = makeFolder(root, "out");
        writeFile(root.filePath("plain.txt"), "x");
        auto resolve = [&](QString path) {
            return path.replace("<book>", kData + "/profiles.xls")
                .replace("<out>", out)
                .replace("<dir>", makeFolder(root, "dir"))
                .replace("<file>", root.filePath("plain.txt"))
                .replace("<missing>", root.filePath("none/missing.xls"));
        };
        Commandio queues;
        TfrmMain window(queues, noLink());
        for (uint8_t language : {LanguageChinese, LanguageEnglish}) {
            language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
            Dialogs::resetCounters();
            edit(window, "edtConfigFile")->setText(resolve(src));
            edit(window, "edtOutputPath")->setText(resolve(dst));
            click(window, "btnCreate");
            QCOMPARE(Dialogs::suppressedMessageCount(), 1);
            // A message about a missing path ends with that path.
            const QString named = textId == 462 ? resolve(src).trimmed() : textId == 464 ? resolve(dst).trimmed() : "";
            QCOMPARE(Dialogs::lastMessageText(), tableText(textId) + named);
            QCOMPARE(window.statusText(), tableText(textId) + named);
            QVERIFY(QDir(out).isEmpty());
        }
    }

    void createWritesWhatTheCommandWrites_data()
    {
        QTest::addColumn<QString>("workbook");
        QTest::addColumn<bool>("writesFiles");
        QTest::newRow("xls with rejected rows") << "profiles.xls" << true;
        QTest::newRow("xlsx") << "profiles.xlsx" << true;
        QTest::newRow("ods") << "profiles.ods" << true;
        QTest::newRow("title row only") << "title-only.xls" << false;
        QTest::newRow("title in another case") << "title-case.xlsx" << false;
        QTest::newRow("damaged workbook") << "truncated.xls" << false;
    }

    // Catches the page and `quillon-cli usb-profiles` drifting apart (other paths, trimming,
    // result text), a message box instead of the status line, a changed window mode and a
    // missing INFO line.
    void createWritesWhatTheCommandWrites()
    {
        QFETCH(QString, workbook);
        QFETCH(bool, writesFiles);
        QTemporaryDir root;
        const QString fromPage = makeFolder(root, "page");
        const QString fromCommand = makeFolder(root, "command");
        const QString path = kData + "/" + workbook;

        Commandio queues;
        TfrmMain window(queues, noLink());
        const int8_t mode = window.windowMode();
        edit(window, "edtConfigFile")->setText("  " + path + " ");
        edit(window, "edtOutputPath")->setText(" " + fromPage + "  ");
        QFile::remove(logDir_.filePath("quillon.log")); // only this run's lines
        click(window, "btnCreate");
        const QString shown = window.statusText();

        QCOMPARE(shown, runUsbProfilesCommand(path, fromCommand));
        const QMap<QString, QByteArray> pageFiles = folderFiles(fromPage);
        QCOMPARE(pageFiles, folderFiles(fromCommand));
        QCOMPARE(!pageFiles.isEmpty(), writesFiles);
        QCOMPARE(Dialogs::suppressedMessageCount(), 0);
        QCOMPARE(window.windowMode(), mode);

        if (pageFiles.contains("error.txt")) {
            const int rejected = int(pageFiles.value("error.txt").count("Error row:"));
            QVERIFY(rejected > 0);
            QCOMPARE(shown, tableText(468) + QString::number(rejected) + tableText(469));
        } else if (writesFiles) {
            QCOMPARE(shown, tableText(466));
        } else {
            QVERIFY(shown != tableText(466) && shown != tableText(465) && !shown.isEmpty());
        }
        // A damaged workbook is described in our own words, the reader's reason after them.
        if (workbook == "truncated.xls")
            QVERIFY2(shown.startsWith(tableText(802)) && shown.size() > tableText(802).size(), qPrintable(shown));

        QFile log(logDir_.filePath("quillon.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n');
        const QString infoWord = QString::fromLatin1(Logger::levelWord(Logger::Info));
        QVERIFY2(!lines.filter(infoWord).filter(shown).isEmpty(), qPrintable(shown));
    }

    // Catches progress that never reaches the window's bar, a bar left standing after the run,
    // and a run that does not show string 465 while it works.
    void progressReachesTheStatusBar()
    {
        QTemporaryDir root;
        const QString path = kData + "/profiles.xls";
        std::vector<int> expected;
        CreateUserProfile(path.toStdString(), makeFolder(root, "direct").toStdString(), [&](int percent) {
            if (percent != 0 && (expected.empty() || expected.back() != percent))
                expected.push_back(percent);
        });
        QVERIFY(!expected.empty());

        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        auto* bar = child<QProgressBar>(window, "progressBar");
        QVERIFY(bar->isHidden());
        std::vector<int> seen;
        QStringList statusWhileRunning;
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
            seen.push_back(value);
            statusWhileRunning << window.statusText();
        });
        bool shownDuringRun = false;
        connect(bar, &QProgressBar::valueChanged, this, [&] { shownDuringRun |= bar->isVisible(); });

        edit(window, "edtConfigFile")->setText(path);
        edit(window, "edtOutputPath")->setText(makeFolder(root, "page"));
        click(window, "btnCreate");

        QCOMPARE(seen, expected);
        QCOMPARE(seen.back(), 100);
        QVERIFY(shownDuringRun);
        QVERIFY(bar->isHidden());
        statusWhileRunning.removeDuplicates();
        QCOMPARE(statusWhileRunning, QStringList{tableText(465)});
    }

    void zoneInfo_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("Chinese") << int(LanguageChinese);
        QTest::newRow("English") << int(LanguageEnglish);
    }

    // Catches a missing check, the path instead of the site, a separator between string 472 and
    // the site, the wrong language, and an old result left after an error or a new file.
    void zoneInfo()
    {
        QFETCH(int, language);
        QTemporaryDir root;
        const QString common = root.filePath("common.cfg");
        writeFile(common, "# site file\r\nname = test\r\ninfo = Beijing\r\ninfo = Shanghai\r\n");
        const QString bare = root.filePath("bare.cfg");
        writeFile(bare, "name = test\n");

        Commandio queues;
        TfrmMain window(queues, noLink());
        language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
        QLineEdit* result = edit(window, "edtZoneInfo");

        Dialogs::setNextOpenFileName(common);
        click(window, "btnBrowseZoneInfoFile");
        click(window, "btnLookZoneInfo");
        QCOMPARE(result->text(), tableText(472) + "Beijing");
        QCOMPARE(Dialogs::suppressedMessageCount(), 0);

        edit(window, "edtZoneInfoFile")->setText(bare);
        click(window, "btnLookZoneInfo");
        QCOMPARE(result->text(), tableText(472));

        const struct {
            QString path;
            int textId;
        } refused[] = {{"  ", 470}, {root.filePath("missing.cfg"), 471}, {root.path(), 471}};
        for (const auto& c : refused) {
            result->setText("kept");
            Dialogs::resetCounters();
            edit(window, "edtZoneInfoFile")->setText(c.path);
            click(window, "btnLookZoneInfo");
            QCOMPARE(Dialogs::suppressedMessageCount(), 1);
            const QString expected = tableText(c.textId) + (c.textId == 471 ? c.path : QString());
            QCOMPARE(Dialogs::lastMessageText(), expected);
            QCOMPARE(window.statusText(), expected);
            QCOMPARE(result->text(), QStringLiteral("kept"));
        }
    }

    // Catches a tools page disabled with the link down, or one that queues work for the link.
    void worksWithTheLinkDown()
    {
        QTemporaryDir root;
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(0);
        QCOMPARE(window.linkState(), uint8_t(0));
        auto* pages = child<QTabWidget>(window, "pgAllPage");
        QVERIFY(!pages->widget(1)->isEnabled()); // the contents of the link's pages are off...
        QVERIFY(pages->isTabEnabled(kToolsPage));
        pages->setCurrentIndex(kToolsPage);
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("shtUSBDiskConfig"));
        for (const char* name :
             {"btnCreate", "btnLookZoneInfo", "btnBrowseConfigFile", "btnBrowseOutputPath", "btnBrowseZoneInfoFile"})
            QVERIFY2(child<QPushButton>(window, name)->isEnabled(), name);

        const QString out = makeFolder(root, "out");
        edit(window, "edtConfigFile")->setText(kData + "/profiles.ods");
        edit(window, "edtOutputPath")->setText(out);
        click(window, "btnCreate");
        QVERIFY(QFile::exists(out + "/account.ini"));
        QCOMPARE(takeRequest(queues), nullptr);
    }

private:
    QTemporaryDir logDir_;
};

QTEST_MAIN(TestToolsPage)
#include "test_tools_page.moc"

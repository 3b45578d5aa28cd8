// The log view's rows as text: rows from a GBK box, GBK-only characters, and long lines cut
// for showing, in either encoding.
#include <LogRowModel.h>
#include <LogRows.h>
#include <StringTable.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace quillon;

namespace
{

QString zh(int id)
{
    return QString::fromStdString(loadUiString(id));
}

const QString kReplacement = QString(QChar(0xFFFD));

} // namespace

class TestLogRowsText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setUiLanguage(LanguageChinese); }

    // Faults caught: rows shown in their raw GBK bytes or through GB2312 (replacement
    // characters), a keyword compared with raw bytes, a row's colour from another row.
    void gbkLiveRowsShowAsTextAndMatchChineseKeywords()
    {
        LogRowModel model;
        model.setFilter(LogFilter({"错误", "镕"}), 7);
        std::vector<LiveLogRow> rows(4);
        rows[0].text = "\xB2\xA5\xB7\xC5\xB4\xED\xCE\xF3 5";  // 播放错误 5
        rows[1].text = "\x81\x40\x81\x5E \xE9\x46\n2nd line"; // 丂乛 镕, two lines in one row
        rows[2].text = "plain ascii";
        rows[3].text = "\x81\x65RROR"; // 乪RROR
        QCOMPARE(model.appendLive(rows), 0);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.shownText(0), QString::fromUtf8("播放错误 5"));
        QCOMPARE(model.shownText(1), QString::fromUtf8("丂乛 镕\n2nd line"));
        QCOMPARE(model.data(model.index(1), Qt::DisplayRole).toString(), QString::fromUtf8("丂乛 镕\n2nd line"));
        QCOMPARE(model.shownText(3), QString::fromUtf8("乪RROR"));
        QVERIFY(model.rowMatches(0));
        QVERIFY(model.rowMatches(1));
        QVERIFY(!model.rowMatches(2));
        QVERIFY(!model.rowMatches(3));
        QCOMPARE(model.data(model.index(0), Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
        QVERIFY(!model.data(model.index(2), Qt::ForegroundRole).isValid());

        // A new filter recolours every row: the views are told that all of them changed colour,
        // or rows already painted would keep the old filter's red until something repaints them.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setFilter(LogFilter({"PLAIN"}), 8);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].value<QModelIndex>().row(), 0);
        QCOMPARE(changed[0][1].value<QModelIndex>().row(), model.rowCount() - 1);
        QVERIFY(changed[0][2].value<QList<int>>().contains(Qt::ForegroundRole));
        QVERIFY(!model.data(model.index(0), Qt::ForegroundRole).isValid());
        QVERIFY(model.data(model.index(2), Qt::ForegroundRole).isValid());
    }

    // A line longer than the shown length is cut between two characters, whatever the encoding
    // of the file, and marked. Faults caught: a cut inside a character that shows a replacement
    // character, or that makes a UTF-8 line no longer UTF-8 so that all of it is read as GBK.
    void longLinesAreCutBetweenCharacters()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("long.log").toStdString();
        // Both lines are laid out so that the 2047-byte cut falls inside a character.
        std::string gbkLine;
        std::string utf8Line = "yz";
        QString gbkShown, utf8Shown = "yz";
        for (int i = 0; i < 1500; ++i) {
            gbkLine += i % 2 ? "\xD6\xD0" : "\x81\x40"; // 中, 丂
            utf8Line += "中";
        }
        // 1023 whole GBK characters fit in 2047 bytes; 681 UTF-8 ones after the "yz".
        for (int i = 0; i < 1023; ++i)
            gbkShown += i % 2 ? QString::fromUtf8("中") : QString::fromUtf8("丂");
        for (int i = 0; i < 681; ++i)
            utf8Shown += QString::fromUtf8("中");
        {
            std::ofstream out(path, std::ios::binary);
            out << gbkLine << "\r\n" << utf8Line << "\n";
        }
        LogRowModel model;
        QVERIFY(model.loadFile(path).ok);
        QCOMPARE(model.rowCount(), 2);
        const QString gbk = model.shownText(0);
        const QString utf8 = model.shownText(1);
        QVERIFY2(!gbk.contains(kReplacement), qPrintable(gbk.right(8)));
        QVERIFY2(!utf8.contains(kReplacement), qPrintable(utf8.right(8)));
        QCOMPARE(gbk, gbkShown + zh(793));
        QCOMPARE(utf8, utf8Shown + zh(793));
    }
};

QTEST_MAIN(TestLogRowsText)
#include "test_log_rows_text.moc"

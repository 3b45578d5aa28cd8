// The window as it looks: every page in both languages at the smallest size the window allows,
// filled with the simulated box's values, with no caption or value cut; the window's size rules;
// Qt's own dialog texts following the window's language.
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <IpAddressEdit.h>
#include <QtLanguage.h>
#include <StbSimulator.h>
#include <StringTable.h>
#include <untAbout.h>
#include <untMain.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string_view>

using namespace quillon;
using namespace quillon::test;

namespace
{

// The visible texts under `root` that do not fit the room they have, as "name: text".
QStringList cutTexts(QWidget& root)
{
    QStringList cut;
    auto visible = [&root](QWidget* w) { return w->isVisibleTo(&root) && w->width() > 0; };
    auto report = [&cut](QWidget* w, const QString& text, int need, int have) {
        cut << QString("%1 \"%2\" needs %3 px, has %4").arg(w->objectName(), text).arg(need).arg(have);
    };
    for (QLabel* label : root.findChildren<QLabel*>()) {
        // The status line is cut by design and shows its text whole in the log and the box.
        if (!visible(label) || label->text().isEmpty() || label->wordWrap() || label->objectName() == "statusText")
            continue;
        if (label->sizeHint().width() > label->width())
            report(label, label->text(), label->sizeHint().width(), label->width());
    }
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        if (!visible(button) || button->text().isEmpty())
            continue;
        if (button->sizeHint().width() > button->width())
            report(button, button->text(), button->sizeHint().width(), button->width());
    }
    for (QGroupBox* group : root.findChildren<QGroupBox*>()) {
        if (!visible(group) || group->title().isEmpty())
            continue;
        const int need = group->fontMetrics().horizontalAdvance(group->title()) + 16;
        if (need > group->width())
            report(group, group->title(), need, group->width());
    }
    for (QComboBox* combo : root.findChildren<QComboBox*>()) {
        if (!visible(combo) || combo->isEditable())
            continue;
        QStyleOptionComboBox option;
        option.initFrom(combo);
        const int room =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
        for (int i = 0; i < combo->count(); ++i) {
            const int need = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
            if (need > room)
                report(combo, combo->itemText(i), need, room);
        }
    }
    for (QTabBar* tabs : root.findChildren<QTabBar*>()) {
        if (!visible(tabs))
            continue;
        for (int i = 0; i < tabs->count(); ++i) {
            const QRect rect = tabs->tabRect(i);
            const int need = tabs->fontMetrics().horizontalAdvance(tabs->tabText(i));
            if (need > rect.width() || !tabs->rect().contains(rect))
                report(tabs, tabs->tabText(i), need, rect.width());
        }
    }
    return cut;
}

void chooseLanguage(TfrmMain& window, uint8_t language)
{
    language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
}

} // namespace

class TestWindowLayout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
    }

    // Faults caught: a window of fixed size again, one that opens smaller than its minimum or
    // off the screen's centre, a minimum below what either language needs.
    void opensCentredAtItsMinimumAndMayGrow()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        QCOMPARE(window.size(), window.minimumSize());
        QVERIFY(window.maximumWidth() > window.minimumWidth());
        QVERIFY(window.maximumHeight() > window.minimumHeight());
        QVERIFY(!(window.windowFlags() & Qt::MSWindowsFixedSizeDialogHint));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(qAbs(window.geometry().center().x() - screen.center().x()) <= 1);
        for (uint8_t language : {LanguageEnglish, LanguageChinese}) {
            chooseLanguage(window, language);
            QVERIFY(window.minimumSize().width() >= window.minimumSizeHint().width());
            QVERIFY(window.minimumSize().height() >= window.minimumSizeHint().height());
        }
        window.resize(window.minimumSize() + QSize(200, 100));
        QCOMPARE(window.size(), window.minimumSize() + QSize(200, 100));
    }

    // Every page, filled by the simulated box, in both languages at the minimum size and
    // larger: the test fails on any caption, value, item or tab that does not fit.
    void everyPageShowsEveryTextWhole()
    {
        sim::SimOptions options;
        options.port = 0;
        options.channels = 5;
        sim::StbSimulator box(options);
        std::string error;
        QVERIFY2(box.start(&error), error.c_str());
        Commandio queues;
        TfrmMain window(queues, quickLinkSetup());
        window.setStbPort(box.port());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        child<IpAddressEdit>(window, "ipSTBAddress")->setText("127.0.0.1");
        child<QLineEdit>(window, "edtUserName")->setText(sim::kDefaultUser);
        child<QLineEdit>(window, "edtPassword")->setText(sim::kDefaultPassword);
        child<QPushButton>(window, "btnConnect")->click();
        QTRY_COMPARE_WITH_TIMEOUT(window.linkState(), uint8_t(1), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!labelText(window, "lblSerialNumberValue").isEmpty(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(window.pendingHandlerCount(), size_t(0), 15000);
        // The longest values the box holds are among those checked.
        QCOMPARE(labelText(window, "lblSerialNumberValue"), QString::fromStdString(box.value("STBSerialNumber")));
        QCOMPARE(labelText(window, "lblHomepage1Value"), QString::fromStdString(box.value("Secondary_HomepageUrl")));

        auto* pages = child<QTabWidget>(window, "pgAllPage");
        pages->setCurrentIndex(1); // reads the configuration
        QTRY_COMPARE_WITH_TIMEOUT(window.pendingHandlerCount(), size_t(0), 15000);
        QVERIFY(!child<QLineEdit>(window, "edtHomepage")->text().isEmpty());

        // The test screen is smaller than the window, so "large" is a size, not a maximised window.
        for (const bool large : {false, true}) {
            window.resize(window.minimumSize() + (large ? QSize(500, 300) : QSize()));
            for (uint8_t language : {LanguageChinese, LanguageEnglish}) {
                chooseLanguage(window, language);
                for (int page = 0; page < pages->count(); ++page) {
                    pages->setCurrentIndex(page);
                    QTRY_COMPARE_WITH_TIMEOUT(window.pendingHandlerCount(), size_t(0), 15000);
                    QApplication::processEvents();
                    const QStringList cut = cutTexts(window);
                    QVERIFY2(cut.isEmpty(), qPrintable(QString("%1, page %2, %3:\n")
                                                           .arg(language == LanguageEnglish ? "English" : "Chinese")
                                                           .arg(page)
                                                           .arg(large ? "large" : "minimum size") +
                                                       cut.join('\n')));
                }
            }
        }
        // A value too long for any window is cut, and its tip holds it whole.
        const QString longUrl = "http://10.20.0.8:8080/" + QString(300, 'x');
        child<QLineEdit>(window, "edtHomepage")->setText(longUrl);
        QCOMPARE(child<QLineEdit>(window, "edtHomepage")->toolTip(), longUrl);
        window.close();
        box.stop();
    }

    // Faults caught: a menu bar that shrinks to the English height and then takes the taller
    // Chinese items for hidden ones, moving them to its extension menu while Qt still walks the
    // items' widget list (freed memory read; a crash under the sanitizer or valgrind).
    void switchingLanguageWhileShownKeepsTheMenuBarWhole()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<qsizetype> places; // where each menu shows: the bar and its tool button
        for (QAction* action : window.menuBar()->actions())
            places << action->associatedObjects().size();
        // A switch to English, a larger window, then Chinese: the bar is still at the English
        // height when the Chinese items arrive.
        window.menuLanguageEnClick();
        window.resize(window.minimumSize() + QSize(500, 300));
        window.menuLanguageChClick();
        window.menuLanguageEnClick();
        QApplication::processEvents();
        window.menuLanguageChClick();
        QApplication::processEvents();
        // An item the bar took for hidden is also in its extension menu.
        for (int i = 0; i < places.size(); ++i) {
            QAction* action = window.menuBar()->actions().at(i);
            QVERIFY2(
                action->associatedObjects().size() == places[i],
                qPrintable(action->text() + QString(" shown in %1 places").arg(action->associatedObjects().size())));
        }
        QVERIFY(window.menuBar()->height() >= window.menuBar()->sizeHint().height());
    }

    // Faults caught: the About box keeping a Chinese caption in English, its texts cut, no licence.
    void aboutBoxFollowsTheLanguage()
    {
        for (uint8_t language : {LanguageChinese, LanguageEnglish}) {
            setUiLanguage(language);
            TfrmAbout about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            const QString compiled = labelText(about, "lblCompilerTime");
            QVERIFY2(compiled.startsWith(QString::fromStdString(loadUiString(797))), qPrintable(compiled));
            QCOMPARE(language == LanguageEnglish && compiled.contains(QString::fromUtf8("编译")), false);
            QVERIFY(labelText(about, "lblLicence").contains("GPL-3.0-or-later"));
            QVERIFY2(cutTexts(about).isEmpty(), qPrintable(cutTexts(about).join('\n')));
        }
        setUiLanguage(LanguageChinese);
    }

    // Faults caught: a dialog parented to the page that asks, disabled with it while the link is
    // down or a request runs, its buttons grey and impossible to answer.
    void dialogsAskedByADisabledPageCanBeAnswered()
    {
        QWidget top;
        auto* page = new QWidget(&top);
        top.resize(400, 300);
        top.show();
        page->setEnabled(false);
        const QList<std::pair<const char*, std::function<void()>>> asks{
            {"save", [page] { Dialogs::saveFileName(page, "Text (*.txt)"); }},
            {"open", [page] { Dialogs::openFileName(page, "Text (*.txt)"); }},
            {"folder", [page] { Dialogs::folderName(page, "Folder"); }},
            {"information", [page] { Dialogs::information(page, "caption", "text"); }},
            {"question", [page] { Dialogs::question(page, "caption", "text"); }},
        };
        Dialogs::setSuppressMessages(false);
        for (const auto& [kind, ask] : asks) {
            bool seen = false;
            bool usable = false;
            bool ownedByWindow = false;
            bool wordsInPlace = std::string_view(kind) != "information" && std::string_view(kind) != "question";
            QTimer::singleShot(0, &top, [&] {
                QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 5000);
                QWidget* dialog = QApplication::activeModalWidget();
                seen = true;
                usable = dialog->isEnabled();
                ownedByWindow = dialog->parentWidget() == &top;
                if (auto* box = qobject_cast<QMessageBox*>(dialog))
                    wordsInPlace = box->windowTitle() == "caption" && box->text() == "text";
                if (auto* d = qobject_cast<QDialog*>(dialog))
                    d->reject();
                else
                    dialog->close();
            });
            ask(); // returns once the dialog is closed
            QVERIFY2(seen, kind);
            QVERIFY2(usable, kind);
            QVERIFY2(ownedByWindow, kind);
            QVERIFY2(wordsInPlace, kind); // the caption as the title, the text in the box
        }
        Dialogs::setSuppressMessages(true);
    }

    // Faults caught: Qt's dialogs and buttons in English beside a Chinese window, or left in
    // Chinese after a switch to English.
    void qtTextsFollowTheWindowLanguage()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        auto yesText = [] {
            QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
            return box.button(QMessageBox::Yes)->text();
        };
        QVERIFY(qtTranslationInstalled());
        QCOMPARE(yesText(), QString::fromUtf8("是(&Y)"));
        // Simplified Chinese, as the window's own texts: not the traditional script.
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Save As"), QString::fromUtf8("另存为"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Open"), QString::fromUtf8("打开"));
        window.menuLanguageEnClick();
        QVERIFY(!qtTranslationInstalled());
        QCOMPARE(yesText(), QString("&Yes"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Save As"), QString("Save As"));
        window.menuLanguageChClick();
        QVERIFY(qtTranslationInstalled());
        QVERIFY(yesText() != QString("&Yes"));
    }
};

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"

// The window in each of its two languages: captions, menus and the About box.
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <StringTable.h>
#include <untAbout.h>
#include <untMain.h>

#include <QAction>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace quillon;
using namespace quillon::test;

namespace
{

QString zh(int id)
{
    return textIn(LanguageChinese, id);
}

QString en(int id)
{
    return textIn(LanguageEnglish, id);
}

bool hasHan(const QString& text)
{
    static const QRegularExpression han("\\p{Han}");
    return text.contains(han);
}

// Every caption the window shows: labels, buttons, group boxes, tabs, menus and column titles.
QStringList captions(TfrmMain& window)
{
    QStringList texts;
    for (QLabel* label : window.findChildren<QLabel*>())
        if (!label->objectName().endsWith("Value") && label->objectName() != "statusText")
            texts << label->objectName() + "=" + label->text();
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (!button->objectName().isEmpty())
            texts << button->objectName() + "=" + button->text();
    for (QGroupBox* group : window.findChildren<QGroupBox*>())
        texts << group->objectName() + "=" + group->title();
    for (QAction* action : window.findChildren<QAction*>())
        if (!action->objectName().isEmpty())
            texts << action->objectName() + "=" + action->text();
    auto* pages = child<QTabWidget>(window, "pgAllPage");
    for (int i = 0; i < pages->count(); ++i)
        texts << QString("tab%1=").arg(i) + pages->tabText(i);
    QTreeWidgetItem* header = child<QTreeWidget>(window, "lvChannelList")->headerItem();
    for (int i = 0; i < 4; ++i)
        texts << QString("column%1=").arg(i) + header->text(i);
    return texts;
}

} // namespace

class TestWindowLanguage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Dialogs::setSuppressMessages(true); }
    void init() { Dialogs::resetCounters(); }

    void languageSwitchReappliesEveryCaptionInPlace()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        const QStringList chinese = captions(window);
        auto* timezone = child<QComboBox>(window, "cmbTimezone");
        auto* flicker = child<QComboBox>(window, "cmbAniFicker");
        auto* level = child<QComboBox>(window, "cmbLogLevel");
        timezone->setCurrentIndex(20);
        flicker->setCurrentIndex(1);
        level->setCurrentIndex(2);

        window.menuLanguageEnClick();
        QVERIFY(child<QAction>(window, "menuLanguageEn")->isChecked());
        QVERIFY(!child<QAction>(window, "menuLanguageCh")->isChecked());
        for (const QString& caption : captions(window))
            QVERIFY2(!hasHan(caption), qPrintable(caption));
        QCOMPARE(child<QPushButton>(window, "btnConnect")->text(), en(25));
        QCOMPARE(child<QTabWidget>(window, "pgAllPage")->tabText(3), QString(" Log "));
        QCOMPARE(child<QTreeWidget>(window, "lvChannelList")->headerItem()->text(3), en(60));
        QCOMPARE(timezone->count(), 25);
        QCOMPARE(timezone->currentIndex(), 20);
        QCOMPARE(flicker->count(), 2);
        QCOMPARE(flicker->currentIndex(), 1);
        QCOMPARE(flicker->currentText(), en(134));
        QCOMPARE(level->currentIndex(), 2);
        QCOMPARE(level->currentText(), en(248));

        // The server information's tags, each with its own text (44 onwards) in each language.
        const char* const serverTags[] = {"lblHomepageTag", "lblHomepage1Tag", "lblEPGUrlTag",   "lblUpgradeServerTag",
                                          "lblNTPTag",      "lblTimeZoneTag",  "lblCurrTimeTag", "lblQosLogTag",
                                          "lblTMSUrlTag",   "lblTVMSUrlTag"};
        for (int i = 0; i < 10; ++i)
            QCOMPARE(labelText(window, serverTags[i]), en(44 + i));

        window.menuLanguageChClick();
        QCOMPARE(captions(window), chinese);
        QCOMPARE(flicker->currentText(), zh(134));
        for (int i = 0; i < 10; ++i)
            QCOMPARE(labelText(window, serverTags[i]), zh(44 + i));
    }

    void choosingTheCheckedLanguageChangesNothing()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showStatus("kept");
        child<QAction>(window, "menuLanguageCh")->trigger(); // unchecks by itself, then the handler runs
        QCOMPARE(window.statusText(), QString("kept"));      // no re-apply: the status line is not emptied
        QVERIFY(child<QAction>(window, "menuLanguageCh")->isChecked());
        child<QAction>(window, "menuLanguageEn")->trigger();
        QVERIFY(window.statusText().isEmpty());
        QCOMPARE(uiLanguage(), uint8_t(LanguageEnglish));
        window.menuLanguageChClick();
    }

    // Fault caught: a menu bar smaller than its titles (narrower before its first layout, or laid
    // out in English and a pixel too low for the Chinese titles) moves a menu being renamed into
    // its overflow menu while Qt still walks that title's widgets: a crash at a language switch
    // of a shown window.
    void menuBarHoldsItsTitlesInBothLanguagesFromTheStart()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        auto* bar = child<QMenuBar>(window, "mainMenu");
        for (int language : {LanguageEnglish, LanguageChinese, LanguageEnglish}) {
            language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
            QVERIFY2(bar->width() >= bar->sizeHint().width() && bar->height() >= bar->sizeHint().height(),
                     qPrintable(QString("%1x%2 < %3x%4")
                                    .arg(bar->width())
                                    .arg(bar->height())
                                    .arg(bar->sizeHint().width())
                                    .arg(bar->sizeHint().height())));
            if (!window.isVisible())
                window.show(); // renamed again at once, before the window is ever exposed
        }
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (QAction* menu : bar->actions())
            QVERIFY(bar->rect().contains(bar->actionGeometry(menu)));
        window.menuLanguageChClick();
    }

    // Faults caught: a caption clipped in one of the two languages by a size taken from the other.
    void noCaptionIsClippedInEitherLanguage()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* pages = child<QTabWidget>(window, "pgAllPage");
        for (int language : {LanguageChinese, LanguageEnglish}) {
            language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
            for (int page = 0; page < pages->count(); ++page) {
                pages->setCurrentIndex(page);
                QCoreApplication::processEvents();
                for (QWidget* w : pages->widget(page)->findChildren<QWidget*>()) {
                    auto* label = qobject_cast<QLabel*>(w);
                    auto* button = qobject_cast<QAbstractButton*>(w);
                    if ((!label && !button) || !w->isVisible() || w->objectName().endsWith("Value") ||
                        (label && label->wordWrap()))
                        continue;
                    QVERIFY2(w->width() >= w->minimumSizeHint().width(),
                             qPrintable(QString("%1 page %2 lang %3").arg(w->objectName()).arg(page).arg(language)));
                }
            }
        }
        window.menuLanguageChClick();
    }

    void aboutBoxSpeaksTheCurrentLanguage()
    {
        setUiLanguage(LanguageEnglish);
        {
            TfrmAbout about;
            QCOMPARE(about.windowTitle(), en(293));
            QCOMPARE(child<QLabel>(about, "lblVersion")->text(), en(295));
            QCOMPARE(child<QPushButton>(about, "btnOK")->text(), en(297));
            // The compiler's forms: "Mmm dd yyyy hh:mm:ss".
            QVERIFY(
                child<QLabel>(about, "lblCompilerTime")
                    ->text()
                    .contains(QRegularExpression("^Build time: [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$")));
        }
        setUiLanguage(LanguageChinese);
        TfrmAbout about;
        QCOMPARE(about.windowTitle(), zh(293));
    }

    // Help -> About opens the About box, in the language the menu switched to. Faults caught:
    // the menu item connected to nothing or to another dialog, the box built in the old language.
    void helpAboutOpensTheAboutBox()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        auto* about = window.findChild<QAction*>("menuHelpAbout");
        QVERIFY(about);
        const int before = Dialogs::suppressedMessageCount();
        about->trigger();
        QCOMPARE(Dialogs::suppressedMessageCount(), before + 1);
        QCOMPARE(Dialogs::lastMessageCaption(), zh(293));
        window.findChild<QAction*>("menuLanguageEn")->trigger();
        about->trigger();
        QCOMPARE(Dialogs::lastMessageCaption(), en(293));
        window.findChild<QAction*>("menuLanguageCh")->trigger();
        QCOMPARE(uiLanguage(), uint8_t(LanguageChinese));
    }
};

QTEST_MAIN(TestWindowLanguage)
#include "test_window_language.moc"

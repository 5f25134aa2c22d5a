#include "veltrane.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void freshWindow();
    void objectsByName_data();
    void objectsByName();
    void layoutsHoldTheirWidgets();
    void texts_data();
    void texts();
    void onlyGbkChecked();
    void radioButtonsExclusive_data();
    void radioButtonsExclusive();
    void existingObjectNameSurvives();
    void metaObjectHasOneSlot();
    void clickRunsSlotOnce();
    void closingEndsEventLoopWithZero();
};

void TestWindow::freshWindow()
{
    Veltrane window;
    QCOMPARE(window.size(), QSize(560, 394));
    QCOMPARE(window.windowTitle(), QStringLiteral("Veltraner"));
    QCOMPARE(window.objectName(), QStringLiteral("VeltraneClass"));
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    for (const char *name : { "plainTextEdit_res", "plainTextEdit_hex" }) {
        auto *box = window.findChild<QPlainTextEdit *>(QLatin1String(name));
        QVERIFY2(box, name);
        QVERIFY2(box->toPlainText().isEmpty(), name);
    }
    QVERIFY(!window.menuWidget());
    QVERIFY(window.windowIcon().isNull());
}

void TestWindow::objectsByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");

    const std::pair<const char *, const char *> objects[] = {
        { "centralWidget", "QWidget" },
        { "verticalLayout_3", "QVBoxLayout" },
        { "label_2", "QLabel" },
        { "plainTextEdit_res", "QPlainTextEdit" },
        { "label", "QLabel" },
        { "plainTextEdit_hex", "QPlainTextEdit" },
        { "groupBox", "QGroupBox" },
        { "horizontalLayout", "QHBoxLayout" },
        { "verticalLayout_2", "QVBoxLayout" },
        { "radioButton_GBK", "QRadioButton" },
        { "radioButton_UTF16", "QRadioButton" },
        { "radioButton_ISO_2022_JP", "QRadioButton" },
        { "radioButton_big5", "QRadioButton" },
        { "verticalLayout", "QVBoxLayout" },
        { "radioButton_UTF8", "QRadioButton" },
        { "radioButton_shift_jis", "QRadioButton" },
        { "radioButton_EUC_JP", "QRadioButton" },
        { "radioButton_EUC_KR", "QRadioButton" },
        { "pushButton", "QPushButton" },
    };
    for (const auto &[name, className] : objects)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className);
}

void TestWindow::objectsByName()
{
    QFETCH(QString, name);
    QFETCH(QString, className);

    Veltrane window;
    const QList<QObject *> found = window.findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
}

void TestWindow::layoutsHoldTheirWidgets()
{
    Veltrane window;
    const auto names = [](const QLayout *layout) {
        QStringList result;
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            const QObject *object
                = item->widget() ? static_cast<const QObject *>(item->widget()) : item->layout();
            result << (object ? object->objectName() : QStringLiteral("<spacer>"));
        }
        return result;
    };

    const auto *outer = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_3"));
    QCOMPARE(names(outer),
        QStringList({ "label_2", "plainTextEdit_res", "label", "plainTextEdit_hex", "groupBox",
            "pushButton" }));
    QCOMPARE(outer->spacing(), 6);
    QCOMPARE(outer->contentsMargins(), QMargins(11, 11, 11, 11));

    const auto *columns = window.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QCOMPARE(names(columns), QStringList({ "verticalLayout_2", "verticalLayout" }));
    QCOMPARE(columns->spacing(), 6);
    QCOMPARE(columns->contentsMargins(), QMargins(11, 11, 11, 11));

    const auto *left = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_2"));
    QCOMPARE(names(left),
        QStringList({ "radioButton_GBK", "radioButton_UTF16", "radioButton_ISO_2022_JP",
            "radioButton_big5" }));
    const auto *right = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
    QCOMPARE(names(right),
        QStringList({ "radioButton_UTF8", "radioButton_shift_jis", "radioButton_EUC_JP",
            "radioButton_EUC_KR" }));
    QCOMPARE(left->spacing(), 6);
    QCOMPARE(right->spacing(), 6);

    const auto *button = window.findChild<QPushButton *>(QStringLiteral("pushButton"));
    QCOMPARE(button->minimumSize(), QSize(0, 64));
    for (const QRadioButton *radio : window.findChildren<QRadioButton *>())
        QCOMPARE(radio->parent()->objectName(), QStringLiteral("groupBox"));
}

void TestWindow::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    const std::pair<const char *, const char *> texts[] = {
        { "label_2", "Text:" },
        { "label", "hex:" },
        { "groupBox", "Encode" },
        { "radioButton_GBK", "GBK" },
        { "radioButton_UTF16", "UTF-16" },
        { "radioButton_ISO_2022_JP", "ISO-2022-JP" },
        { "radioButton_big5", "Big5" },
        { "radioButton_UTF8", "UTF-8" },
        { "radioButton_shift_jis", "shift-jis" },
        { "radioButton_EUC_JP", "EUC-JP" },
        { "radioButton_EUC_KR", "EUC-KR" },
        { "pushButton", "Translate" },
    };
    for (const auto &[name, text] : texts)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(text);
}

void TestWindow::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    Veltrane window;
    const QWidget *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    // Labels and buttons call it "text", the group box "title".
    const char *property = qobject_cast<const QGroupBox *>(widget) ? "title" : "text";
    QCOMPARE(widget->property(property).toString(), text);
}

void TestWindow::onlyGbkChecked()
{
    Veltrane window;
    QStringList checked;
    for (const QRadioButton *radio : window.findChildren<QRadioButton *>()) {
        if (radio->isChecked())
            checked << radio->objectName();
    }
    QCOMPARE(checked, QStringList { QStringLiteral("radioButton_GBK") });
}

void TestWindow::radioButtonsExclusive_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : { "radioButton_UTF16", "radioButton_ISO_2022_JP", "radioButton_big5",
             "radioButton_UTF8", "radioButton_shift_jis", "radioButton_EUC_JP",
             "radioButton_EUC_KR", "radioButton_GBK" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestWindow::radioButtonsExclusive()
{
    QFETCH(QString, name);

    Veltrane window;
    window.show();
    // Start from a button other than the default, so that GBK too must take the check over.
    window.findChild<QRadioButton *>(QStringLiteral("radioButton_EUC_KR"))->click();
    window.findChild<QRadioButton *>(name)->click();

    QStringList checked;
    for (const QRadioButton *radio : window.findChildren<QRadioButton *>()) {
        if (radio->isChecked())
            checked << radio->objectName();
    }
    QCOMPARE(checked, QStringList { name });
}

void TestWindow::existingObjectNameSurvives()
{
    QMainWindow window;
    window.setObjectName(QStringLiteral("alreadyNamed"));
    Ui::VeltraneClass form;
    form.setupUi(&window);
    QCOMPARE(window.objectName(), QStringLiteral("alreadyNamed"));
    QCOMPARE(form.plainTextEdit_res->objectName(), QStringLiteral("plainTextEdit_res"));
}

void TestWindow::metaObjectHasOneSlot()
{
    const QMetaObject &meta = Veltrane::staticMetaObject;
    QCOMPARE(meta.className(), "Veltrane");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 1);
    const QMetaMethod slot = meta.method(meta.methodOffset());
    QCOMPARE(slot.methodSignature(), QByteArray("SLOT_OnTranslate()"));
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Public);
    QCOMPARE(meta.propertyCount() - meta.propertyOffset(), 0);
    QCOMPARE(meta.enumeratorCount() - meta.enumeratorOffset(), 0);
    QCOMPARE(meta.classInfoCount() - meta.classInfoOffset(), 0);
    QCOMPARE(meta.constructorCount(), 0);
}

void TestWindow::clickRunsSlotOnce()
{
    // Each run of the slot rewrites the hex box, so the number of rewrites per click tells how
    // often the slot ran: the same as one direct call, and not twice that.
    Veltrane window;
    window.show();
    auto *text = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit_res"));
    auto *hex = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit_hex"));
    auto *button = window.findChild<QPushButton *>(QStringLiteral("pushButton"));
    text->setPlainText(QStringLiteral("abc"));

    QSignalSpy hexChanges(hex, &QPlainTextEdit::textChanged);
    window.SLOT_OnTranslate();
    const auto changesPerRun = hexChanges.count();
    QVERIFY(changesPerRun > 0);

    hexChanges.clear();
    QSignalSpy clicks(button, &QPushButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(hexChanges.count(), changesPerRun);
}

void TestWindow::closingEndsEventLoopWithZero()
{
    Veltrane window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, &window, &QWidget::close);
    QCOMPARE(QApplication::exec(), 0);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"

#include "controls/BitBox.h"

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using vantor::BitBox;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Records OnClick and OnChange in the order they arrive, with State at that
// moment.
struct EventLog {
    QStringList lines;
    void attach(BitBox* box) {
        QObject::connect(box, &BitBox::OnClick, box, [this](BitBox* s) {
            lines << QStringLiteral("click %1").arg(s->State());
        });
        QObject::connect(box, &BitBox::OnChange, box, [this](BitBox* s) {
            lines << QStringLiteral("change %1").arg(s->State());
        });
    }
};

QRgb Pixel(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}

} // namespace

class BitBoxTest : public QObject {
    Q_OBJECT

private:
    // A shown, active window holding a bit box and a second focusable widget.
    struct Window {
        QWidget top;
        BitBox* box;
        QPushButton* other;
        Window() {
            auto* lay = new QVBoxLayout(&top);
            other = new QPushButton(QStringLiteral("other"), &top);
            box = new BitBox(&top);
            box->SetCaption(QStringLiteral("Bit 7"));
            lay->addWidget(other);
            lay->addWidget(box);
            top.show();
            top.activateWindow();
            (void)QTest::qWaitForWindowActive(&top);
            other->setFocus();
        }
    };

private slots:
    void defaults() {
        BitBox box;
        QCOMPARE(box.State(), false);
        QCOMPARE(box.Caption(), QString());
        QCOMPARE(box.OnColor(), QColor(0, 255, 0));
        QCOMPARE(box.OffColor(), QColor(255, 0, 0));
        QVERIFY(box.TabStop());
        QVERIFY(box.focusPolicy() & Qt::TabFocus);
        box.SetTabStop(false);
        QVERIFY(!box.TabStop());
    }

    void setStateAlwaysRaisesOnChangeAndOtherSettersNever() {
        BitBox box;
        QSignalSpy change(&box, &BitBox::OnChange);
        box.SetState(false); // unchanged, still reported
        box.SetState(true);
        box.SetState(true);
        QCOMPARE(change.count(), 3);
        QCOMPARE(change.at(0).at(0).value<BitBox*>(), &box);
        box.SetCaption(QStringLiteral("x"));
        box.SetOnColor(Qt::blue);
        box.SetOffColor(Qt::yellow);
        box.setProperty("State", false);
        QCOMPARE(change.count(), 4);
        QCOMPARE(box.OnColor(), QColor(Qt::blue));
    }

    void clickFlipsTakesFocusAndReportsClickThenChange() {
        Window w;
        EventLog log;
        log.attach(w.box);
        QVERIFY(!w.box->hasFocus());
        QTest::mouseClick(w.box, Qt::LeftButton, {}, QPoint(5, w.box->height() / 2));
        QCOMPARE(w.box->State(), true);
        QVERIFY(w.box->hasFocus());
        QCOMPARE(log.lines, (QStringList{"click 1", "change 1"}));

        // Right button, and a press that slides off before the release, do
        // nothing.
        QTest::mouseClick(w.box, Qt::RightButton, {}, QPoint(5, 5));
        QTest::mousePress(w.box, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(w.box, Qt::LeftButton, {}, QPoint(w.box->width() + 5, 5));
        QCOMPARE(w.box->State(), true);
        QCOMPARE(log.lines.size(), 2);
    }

    void doubleClickFlipsTwice() {
        Window w;
        EventLog log;
        log.attach(w.box);
        // Through the window system, as a real mouse: press, release, then
        // a press that the application turns into a double click, release.
        QTest::mouseDClick(w.top.windowHandle(), Qt::LeftButton, {},
                           w.box->mapTo(&w.top, QPoint(5, 5)));
        QCOMPARE(w.box->State(), false);
        QCOMPARE(log.lines, (QStringList{"click 1", "change 1", "click 0", "change 0"}));

        // Where the second press also arrives as a press, its release must
        // still not count as a third click.
        const QPoint at(5, 5);
        QTest::mousePress(w.box, Qt::LeftButton, {}, at);
        QTest::mouseRelease(w.box, Qt::LeftButton, {}, at);
        QTest::mousePress(w.box, Qt::LeftButton, {}, at);
        QTest::mouseDClick(w.box, Qt::LeftButton, {}, at);
        QTest::mouseRelease(w.box, Qt::LeftButton, {}, at);
        QCOMPARE(w.box->State(), false);
        QCOMPARE(log.lines.size(), 8);
    }

    void onlySpaceFlipsFromTheKeyboard() {
        Window w;
        w.box->setFocus();
        EventLog log;
        log.attach(w.box);

        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(w.box, &enter);
        QVERIFY(!enter.isAccepted()); // goes on to the dialog's default button
        QTest::keyClick(w.box, Qt::Key_A);
        QTest::keyClick(w.box, Qt::Key_Enter);
        QCOMPARE(w.box->State(), false);

        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(w.box, &space);
        QVERIFY(space.isAccepted());
        QCOMPARE(w.box->State(), true);
        QTest::keyClick(w.box, Qt::Key_Space);
        QCOMPARE(w.box->State(), false);
        QCOMPARE(log.lines, (QStringList{"change 1", "change 0"})); // no OnClick
        QVERIFY(w.box->hasFocus());
    }

    void tabReachesTheBoxOnlyWithTabStop() {
        Window w;
        QTest::keyClick(w.other, Qt::Key_Tab);
        QVERIFY(w.box->hasFocus());
        w.box->SetTabStop(false);
        w.other->setFocus();
        QTest::keyClick(w.other, Qt::Key_Tab);
        QVERIFY(!w.box->hasFocus());
        QTest::mouseClick(w.box, Qt::LeftButton, {}, QPoint(5, 5)); // a click still focuses
        QVERIFY(w.box->hasFocus());
    }

    void anEmptyCaptionTakesTheName() {
        BitBox box;
        box.SetName(QStringLiteral("BitBox1"));
        QCOMPARE(box.Caption(), QStringLiteral("BitBox1"));
        box.SetName(QStringLiteral("Renamed")); // caption no longer empty
        QCOMPARE(box.Caption(), QStringLiteral("BitBox1"));
        QCOMPARE(box.objectName(), QStringLiteral("Renamed"));

        BitBox fromUi; // a .ui file names the widget with setObjectName
        fromUi.setObjectName(QStringLiteral("bitCarry"));
        QCOMPARE(fromUi.Caption(), QStringLiteral("bitCarry"));

        BitBox captioned;
        captioned.SetCaption(QStringLiteral("Carry"));
        captioned.SetName(QStringLiteral("BitBox2"));
        QCOMPARE(captioned.Caption(), QStringLiteral("Carry"));
    }

    void colourDecisionsEnabledAndDisabled() {
        BitBox box;
        box.SetCaption(QStringLiteral("x"));
        QCOMPARE(box.boxFillColor(), QColor(0, 0, 0));
        QCOMPARE(box.digitColor(), QColor(255, 0, 0));
        box.SetState(true);
        QCOMPARE(box.digitColor(), QColor(0, 255, 0));
        QCOMPARE(box.captionColor(), box.palette().color(QPalette::WindowText));
        QVERIFY(!box.captionShadowColor().isValid());

        box.SetEnabled(false);
        const QColor grey = box.palette().color(QPalette::Disabled, QPalette::WindowText);
        QCOMPARE(box.boxFillColor(), QColor(0x11, 0x11, 0x11));
        QCOMPARE(box.digitColor(), grey);
        QCOMPARE(box.captionColor(), grey);
        QCOMPARE(box.captionShadowColor(), box.palette().color(QPalette::Light));
        QVERIFY(box.captionShadowColor() != grey); // the emboss must show
    }

    void geometryFollowsTheMiddleRow() {
        BitBox box;
        box.SetCaption(QStringLiteral("Carry"));
        struct Case {
            int height, mid;
        };
        // Integer division toward zero, so a height of 0 still gives 0.
        for (const Case c : {Case{17, 8}, Case{18, 8}, Case{30, 14}, Case{0, 0}}) {
            box.resize(80, c.height);
            QCOMPARE(box.layout().mid, c.mid);
        }
        box.resize(80, 31);
        const BitBox::Layout l = box.layout();
        QCOMPARE(l.box, QRect(0, 7, 17, 17));

        const QFontMetrics dm(BitBox::digitFont());
        QCOMPARE(l.digitTopLeft,
                 QPoint((16 - dm.horizontalAdvance('0')) / 2, 15 - dm.height() / 2));
        const QFontMetrics cm(box.font());
        const int y = 15 - cm.height() / 2;
        QCOMPARE(l.captionTopLeft, QPoint(21, y));
        QCOMPARE(l.focusRect.topLeft(), QPoint(19, y - 2));
        QCOMPARE(l.focusRect.right(), cm.horizontalAdvance(QStringLiteral("Carry")) + 22);
        QCOMPARE(l.focusRect.bottom(), 15 + cm.height() / 2 + 1);

        // The preferred size holds the box and the whole focus rectangle.
        box.resize(box.sizeHint());
        const BitBox::Layout fit = box.layout();
        QVERIFY(fit.box.top() >= 0 && fit.focusRect.top() >= 0);
        QVERIFY(QRect(QPoint(), box.size()).contains(fit.focusRect));
        QVERIFY(QRect(QPoint(), box.size()).contains(fit.box));
    }

    void frameIsSunkenAndDisabledBoxIsNearBlack() {
        BitBox box;
        box.resize(60, 21); // mid 10: frame rows 2..18
        QImage img = box.grab().toImage();
        QCOMPARE(Pixel(img, 0, 2), 0x808080u);  // top-left: dark outer
        QCOMPARE(Pixel(img, 15, 2), 0x808080u); // top row ends before x 16
        QCOMPARE(Pixel(img, 16, 2), 0xFFFFFFu); // top-right: light outer
        QCOMPARE(Pixel(img, 0, 18), 0x808080u); // bottom-left: dark outer
        QCOMPARE(Pixel(img, 16, 18), 0xFFFFFFu);
        QCOMPARE(Pixel(img, 1, 3), 0x555555u);
        QCOMPARE(Pixel(img, 15, 3), 0xC0C0C0u);
        QCOMPARE(Pixel(img, 2, 17), 0xC0C0C0u);
        QCOMPARE(Pixel(img, 1, 17), 0x555555u);
        QCOMPARE(Pixel(img, 2, 4), 0x000000u);
        QCOMPARE(Pixel(img, 17, 10), Pixel(img, 40, 10)); // nothing beyond the frame

        box.SetEnabled(false);
        img = box.grab().toImage();
        QCOMPARE(Pixel(img, 2, 4), 0x111111u);
    }

    void repaintsOnFocusAndEnabledChanges() {
        Window w;
        PaintCounter counter;
        w.box->installEventFilter(&counter);
        auto paintsAfter = [&](auto&& change) {
            QCoreApplication::processEvents();
            counter.paints = 0;
            change();
            QCoreApplication::processEvents();
            return counter.paints;
        };
        QVERIFY(paintsAfter([&] { w.box->setFocus(); }) > 0);
        QVERIFY(paintsAfter([&] { w.other->setFocus(); }) > 0);
        QVERIFY(paintsAfter([&] { w.box->SetEnabled(false); }) > 0);
        QVERIFY(paintsAfter([&] { w.box->SetOnColor(Qt::cyan); }) > 0);

        // The focus frame is there only while focused: count ink on its top
        // edge, which lies above the caption's text cell.
        w.box->SetEnabled(true);
        const QRect frame = w.box->layout().focusRect;
        const QRgb ink = w.box->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF;
        auto inkOnTopEdge = [&] {
            const QImage img = w.box->grab().toImage();
            int n = 0;
            for (int x = frame.left(); x <= frame.right(); ++x)
                n += Pixel(img, x, frame.top()) == ink;
            return n;
        };
        QCOMPARE(inkOnTopEdge(), 0);
        w.box->setFocus();
        QVERIFY(w.box->hasFocus());
        QVERIFY(inkOnTopEdge() >= frame.width() / 3);
    }

    // Pictures to look at: VANTOR_SHOT_DIR=/some/dir ./test_bitbox shots
    void shots() {
        const QString dir = qEnvironmentVariable("VANTOR_SHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set VANTOR_SHOT_DIR to write the pictures");
        QDir().mkpath(dir);
        Window w;
        w.box->resize(w.box->sizeHint());
        auto save = [&](const char* name) {
            const QImage img = w.box->grab().toImage();
            QVERIFY(img.save(dir + "/bitbox-" + name + ".png"));
            QVERIFY(img.scaled(img.size() * 6, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                        .save(dir + "/bitbox-" + name + "-x6.png"));
        };
        save("off");
        w.box->SetState(true);
        save("on");
        w.box->setFocus();
        save("on-focused");
        w.box->SetEnabled(false);
        save("on-disabled");
        w.box->SetState(false);
        save("off-disabled");
    }
};

QTEST_MAIN(BitBoxTest)
#include "BitBoxTest.moc"

// Shared fixture of the window tests: a main window with its own settings file, scripted answers
// to every message box and file dialog, and helpers to load programs and wait for runs.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTableWidget>
#include <deque>
#include <memory>
#include <vector>

#include "Code.h"
#include "ProgramFiles.h"
#include "SimCfg.h"
#include "Prompts.h"
#include "Settings.h"
#include "TempFiles.h"
#include "Unit1.h"

class ScriptedPrompts : public Prompts {
public:
    QStringList messages;   // every text shown, in order
    std::deque<bool> answers;  // answers to questions; Yes/OK when empty
    QString openFile, saveFile, openFilter;
    void Error(QWidget*, const QString& t) override { messages << t; }
    bool ErrorYesNo(QWidget*, const QString& t) override { return Answer(t); }
    bool ConfirmYesNo(QWidget*, const QString& t) override { return Answer(t); }
    bool ConfirmOkCancel(QWidget*, const QString& t) override { return Answer(t); }
    QString OpenFileName(QWidget*, const QString&, const QString& filter) override {
        openFilter = filter;
        return openFile;
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return saveFile;
    }

private:
    bool Answer(const QString& t) {
        messages << t;
        if (answers.empty()) return true;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

// What a screen reader reads for a control, or for one cell of a grid.
inline QString AccessibleText(QObject* o, QAccessible::Text t = QAccessible::Name) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
    return a ? a->text(t) : QStringLiteral("<none>");
}
inline QString AccessibleCellText(QTableWidget* grid, int row, int column,
                                  QAccessible::Text t = QAccessible::Name) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(grid);
    QAccessibleInterface* cell = a && a->tableInterface() ? a->tableInterface()->cellAt(row, column) : nullptr;
    return cell ? cell->text(t) : QStringLiteral("<none>");
}

// Texts in `root` that a user cannot read in full: a label or button narrower than its text; a
// label's letters cut off by the label or its parent, lying over or within two pixels beside
// another control, or within three pixels of another label's letters; a list box narrower than
// its items; and a child window too small for its content.
inline QStringList CrampedTexts(QWidget* root) {
    QStringList found;
    std::vector<std::pair<QLabel*, QRect>> inks;
    auto name = [](QWidget* w, const QString& text) {
        return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), text);
    };
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(root) && w != root) continue;
        if (auto* sub = qobject_cast<QMdiSubWindow*>(w); sub && sub->widget() &&
            !sub->contentsRect().contains(sub->widget()->geometry()))
            found << name(w, w->windowTitle()) + QStringLiteral(" shows only part of its content");
        if (auto* box = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox opt;
            opt.initFrom(box);
            // The style draws the chosen item one pixel inside the edit field on either side.
            const int room =
                box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, box).width() - 2;
            for (int i = 0; i < box->count(); ++i)
                if (QFontMetrics(box->font()).horizontalAdvance(box->itemText(i)) > room) {
                    found << name(w, box->itemText(i)) + QStringLiteral(" does not fit %1 pixels").arg(room);
                    break;
                }
        }
        QString text;
        auto* label = qobject_cast<QLabel*>(w);
        if (label && label->textFormat() != Qt::RichText && !Qt::mightBeRichText(label->text()))
            text = label->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        if (text.isEmpty()) continue;
        // A push button's size hint asks for a comfortable minimum; its text needs less.
        const bool push = qobject_cast<QPushButton*>(w) != nullptr;
        const int needs = push ? QFontMetrics(w->font()).horizontalAdvance(text) + 8 : w->sizeHint().width();
        if (needs > w->width())
            found << name(w, text) + QStringLiteral(" is %1 wide, needs %2").arg(w->width()).arg(needs);
        if (!label) continue;
        const QFontMetrics fm(label->font());
        const QRect cr = label->contentsRect();
        const Qt::Alignment al = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
        const int advance = fm.horizontalAdvance(text);
        int x = cr.left(), top = cr.top();
        if (al & Qt::AlignHCenter) x += (cr.width() - advance) / 2;
        else if (al & Qt::AlignRight) x = cr.right() + 1 - advance;
        if (al & Qt::AlignVCenter) top += (cr.height() - fm.height()) / 2;
        else if (al & Qt::AlignBottom) top = cr.bottom() + 1 - fm.height();
        const QRect ink = fm.tightBoundingRect(text).translated(x, top + fm.ascent());
        // A glyph may reach a pixel beyond its advance: only a faint edge, not cut off.
        if (!label->rect().adjusted(-1, 0, 1, 0).contains(ink))
            found << name(w, text) + QStringLiteral(" cut off: letters %1 wide in a label %2 wide")
                                         .arg(ink.width())
                                         .arg(label->width());
        const QRect inParent = ink.translated(label->pos());
        if (!label->parentWidget()->rect().contains(inParent))
            found << name(w, text) + QStringLiteral(" runs out of its parent");
        for (QWidget* sibling : label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (sibling != label && !qobject_cast<QLabel*>(sibling) && sibling->isVisibleTo(root) &&
                sibling->geometry().intersects(inParent.adjusted(-2, 0, 2, 0)))
                found << name(w, text) + QStringLiteral(" lies over or against a ") +
                             QString::fromLatin1(sibling->metaObject()->className());
        for (const auto& [other, r] : inks)
            if (other->parentWidget() == label->parentWidget() && r.adjusted(-3, -3, 3, 3).intersects(inParent))
                found << name(w, text) + QStringLiteral(" runs into \"%1\"").arg(other->text());
        inks.emplace_back(label, inParent);
    }
    return found;
}

// Listing cells whose text does not fit its column (the instruction column is bold), and columns
// that run past what the view shows.
inline QStringList ClippedListingCells(QTableView* grid) {
    QStringList found;
    QAbstractItemModel* model = grid->model();
    int columns = 0;
    for (int c = 0; c < model->columnCount(); ++c) columns += grid->columnWidth(c);
    if (columns > grid->viewport()->width())
        found << QStringLiteral("columns %1 wide in a view %2 wide").arg(columns).arg(grid->viewport()->width());
    QFont bold = grid->font();
    bold.setBold(true);
    const QFontMetrics regular(grid->font()), wide(bold);
    for (int r = 0; r < model->rowCount() && found.size() < 5; ++r)
        for (int c = 0; c < model->columnCount(); ++c) {
            const QString text = model->index(r, c).data().toString();
            if ((c == 1 ? wide : regular).horizontalAdvance(text) + 2 > grid->columnWidth(c))
                found << text + QStringLiteral(" does not fit %1 pixels").arg(grid->columnWidth(c));
        }
    return found;
}

// Waits up to ten seconds for `done`, serving the event loop.
template <class Done>
bool WaitUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallPrompts(&prompts);
        Settings = TSettings();
        form = std::make_unique<TForm1>(QString::fromStdString(dir.File("corvamat.ini")));
        // Programs opened from the source tree get no session files; the session tests switch
        // sessions on, with a configuration folder of their own.
        form->KeepSessions = false;
        form->SessionConfigFolder = QString::fromStdString(dir.File("config"));
    }
    void TearDown() override {
        if (form) {
            form->FinishWorker(true);
            form->close();
            form.reset();
        }
        QApplication::processEvents();
        InstallPrompts(nullptr);
    }
    // Writes an Intel HEX file of `bytes` at 0000h and opens it through the Open command.
    bool Open(const std::vector<uint8_t>& bytes, const std::string& name = "prog.hex") {
        std::string text;
        for (size_t at = 0; at < bytes.size(); at += 16) {
            size_t n = std::min<size_t>(16, bytes.size() - at);
            unsigned sum = unsigned(n) + unsigned(at >> 8) + unsigned(at & 0xFF);
            char head[16];
            std::snprintf(head, sizeof head, ":%02X%04X00", unsigned(n), unsigned(at));
            text += head;
            for (size_t i = 0; i < n; ++i) {
                char b[3];
                std::snprintf(b, sizeof b, "%02X", bytes[at + i]);
                text += b;
                sum += bytes[at + i];
            }
            char cs[4];
            std::snprintf(cs, sizeof cs, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
            text += cs;
        }
        text += ":00000001FF\n";
        prompts.openFile = QString::fromStdString(dir.Write(name, text));
        form->OpenHEX->trigger();
        return !ProgramFileName.empty();
    }
    // Waits for the run or step in progress, serving its calls into the user-interface thread.
    void WaitForRun() {
        form->FinishWorker(false);
        QApplication::processEvents();
    }

    TempDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TForm1> form;
};

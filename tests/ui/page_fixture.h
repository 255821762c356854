// Shared by the page tests: a document built from chosen values, the page shown inside a
// window, and the user's actions on controls. The rows run in normal mode: what write-only
// mode adds (changes kept apart, the save command) is the page base's, tested once in
// binding_test.cpp.
#pragma once

#include "support/ui_fixture.h"

#include "dialog_units.h"
#include "main_frame.h"
#include "page_registry.h"
#include "printer_doc.h"
#include "settings_view.h"
#include "spin_button.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pagetest {

// The page under test and the document behind it.
class Driver {
  public:
    Driver(int pageId, const StringMap& values, const std::function<void(CPrinterDoc&)>& prepare = {}) {
        Doc.OnNewDocument("LPT1", values, 0);
        if (prepare) prepare(Doc);
        Initial = Doc.CurrentValues;
        Frame = std::make_unique<QWidget>();
        Frame->show();
        Reshow(pageId);
        Frame->resize(Page->size());
    }

    template <class T> T* Get(int id) const {
        T* control = Page->ControlAs<T>(id);
        EXPECT_NE(control, nullptr) << "control " << id;
        return control;
    }
    bool Enabled(int id) const { return Get<QWidget>(id) && Get<QWidget>(id)->isEnabled(); }
    bool Checked(int id) const { return Get<QAbstractButton>(id) && Get<QAbstractButton>(id)->isChecked(); }
    std::string Text(int id) const {
        return Get<QLineEdit>(id) ? Get<QLineEdit>(id)->text().toStdString() : "";
    }
    // The key attached to the selected item ("" when none is selected).
    std::string Selected(int id) const {
        QComboBox* combo = Get<QComboBox>(id);
        return combo && combo->currentIndex() >= 0 ? combo->currentData().toString().toStdString() : "";
    }
    // The control's rectangle in dialog units, as the template placed it.
    bool At(int id, int x, int y, int width) const {
        QWidget* control = Get<QWidget>(id);
        return control &&
               control->geometry().topLeft() == QPoint(DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y)) &&
               control->width() == DialogUnitsToPixelsX(width);
    }
    std::string Label(int id) const {
        QWidget* control = Get<QWidget>(id);
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text().toStdString();
        if (auto* box = qobject_cast<QGroupBox*>(control)) return box->title().toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text().toStdString();
        if (auto* title = qobject_cast<QTextEdit*>(control)) return title->toPlainText().toStdString();
        return "";
    }
    int Count(int id) const { return Get<QComboBox>(id) ? Get<QComboBox>(id)->count() : -1; }
    std::string SelectedText(int id) const {
        return Get<QComboBox>(id) ? Get<QComboBox>(id)->currentText().toStdString() : "";
    }

    // The user picks the item with `key` (a disabled combo box cannot be opened).
    void Select(int id, const std::string& key) {
        QComboBox* combo = Get<QComboBox>(id);
        if (!combo || !combo->isEnabled()) return;
        int index = combo->findData(QString::fromStdString(key));
        ASSERT_GE(index, 0) << key;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    // A mouse click on the button (nothing happens on a disabled one).
    void Click(int id) {
        if (QAbstractButton* button = Get<QAbstractButton>(id)) button->click();
    }
    // Clicks the up (+) or down (-) arrow of an up-down control `count` times.
    void Step(int spinId, int count) {
        CSpinButton* spin = Get<CSpinButton>(spinId);
        if (!spin) return;
        QToolButton* arrow = spin->findChild<QToolButton*>(count > 0 ? "up" : "down");
        ASSERT_NE(arrow, nullptr);
        for (int i = 0; i < std::abs(count); ++i)
            arrow->click();
    }
    // Keystrokes into a text edit.
    void Type(int id, const QString& text) {
        if (QLineEdit* edit = Get<QLineEdit>(id)) {
            edit->setFocus();
            edit->end(false);
            for (QChar c : text) {
                if (c.unicode() < 0x80)
                    QTest::keyClick(edit, c.toLatin1());
                else // a character typed through an input method
                    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }
    void Backspace(int id) {
        if (QLineEdit* edit = Get<QLineEdit>(id)) QTest::keyClick(edit, Qt::Key_Backspace);
    }
    // Shows the page again, as selecting its tree item once more does.
    void Reshow(int pageId) {
        delete Page; // null on the first showing
        Page = CreatePageView(pageId, &Doc);
        Page->setParent(Frame.get());
        Page->show();
        Page->OnInitialUpdate();
    }

    CPrinterDoc Doc;
    StringMap Initial;
    std::unique_ptr<QWidget> Frame;
    CSettingsView* Page = nullptr;
};

// One row of a page's table.
struct Case {
    std::string name;
    StringMap values;                            // the document's values before the page is shown
    std::function<void(Driver&)> act;            // what the user does
    StringMap stored;                            // every value the actions store
    std::function<void(Driver&)> check{};        // control states afterwards
    std::function<void(CPrinterDoc&)> prepare{}; // changes to the catalogue's descriptors
};

// The shipped catalogue in a private working directory (see UiFixture).
class PageTest : public UiFixture {
  protected:
    void Run(int pageId, const std::vector<Case>& table) {
        for (const Case& c : table) {
            SCOPED_TRACE(c.name);
            Driver d(pageId, c.values, c.prepare);
            ASSERT_TRUE(d.Page->TemplateError().empty()) << d.Page->TemplateError();
            if (c.act) c.act(d);
            StringMap expected = d.Initial;
            for (const auto& [name, value] : c.stored)
                expected[name] = value;
            EXPECT_EQ(d.Doc.CurrentValues, expected);
            EXPECT_EQ(d.Doc.IsModified(), !c.stored.empty());
            if (c.check) c.check(d);
        }
    }
};

} // namespace pagetest

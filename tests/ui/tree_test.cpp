// The settings tree: its shape from the catalogue, and the page that each
// selection puts into the right-hand pane.
#include "support/ui_fixture.h"

#include "main_frame.h"
#include "page_registry.h"
#include "printer_doc.h"
#include "printer_mop_view.h"
#include "res/strings.h"
#include "settings_tree.h"
#include "settings_view.h"

#include <QImage>
#include <QLineEdit>
#include <QSplitter>

namespace {

// A page that shows one text setting, to see which values a fresh page shows.
class ValuePage : public CSettingsView {
  public:
    explicit ValuePage(CPrinterDoc* doc) : CSettingsView(doc), Edit(new QLineEdit(this)) {
        Edit->setObjectName("1");
    }
    TextSetting Setting{"X", 40};
    QLineEdit* Edit;
    void FillControls() override { FillText(Setting, Edit); }

  protected:
    void OnUpdate() override { FillControls(); }
};
ORBIS_REGISTER_PAGE(77, ValuePage)

// "label(page)[children]" for a readable comparison.
std::string Shape(const QTreeWidgetItem* item) {
    std::string out =
        item->text(0).toStdString() + "(" + std::to_string(CPrinterMopView::ItemPageId(item)) + ")";
    if (item->childCount() == 0) return out;
    out += "[";
    for (int i = 0; i < item->childCount(); ++i)
        out += (i ? "," : "") + Shape(item->child(i));
    return out + "]";
}

class Tree : public UiFixture {};

TEST_F(Tree, ShippedCatalogueGivesTheSixBranches) {
    MakeDocument({});
    CMainFrame& frame = MakeFrame();
    QTreeWidgetItem* root = frame.Tree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(frame.Tree()->topLevelItemCount(), 1);
    std::string shape = Shape(root);
    // The port branch names no page: whatever its id, it must not be one of the eleven.
    int portsId = CPrinterMopView::ItemPageId(root->child(5));
    EXPECT_TRUE(portsId < 1 || portsId > 11);
    EXPECT_EQ(shape, "LPT1 - Orbis LP 2200(0)[용지(1)[사용자(2),용지 구조(3),용지 무게(4)],마무리(5),설정(6),"
                     "PCL 에뮬레이션(7)[트레이 번호(8)],포스트스크립트(9),포트(" +
                         std::to_string(portsId) + ")[별렬(10),USB(11)]]");
    EXPECT_TRUE(root->isExpanded());
    EXPECT_TRUE(frame.Tree()->selectedItems().isEmpty());
    EXPECT_FALSE(frame.Tree()->rootIsDecorated());

    // Lines between the items below the root: drawn pixels in the middle of each item's
    // indentation column, from its top to its middle.
    CPrinterMopView* tree = frame.Tree();
    tree->resize(150, 300);
    root->child(0)->setExpanded(true);
    QImage shot = tree->viewport()->grab().toImage();
    QColor base = shot.pixelColor(shot.width() - 1, shot.height() - 1);
    for (QTreeWidgetItem* item : {root->child(0)->child(1), root->child(1), root->child(5)}) {
        QRect cell = tree->visualItemRect(item);
        int x = cell.left() - tree->indentation() / 2 - 1, drawn = 0;
        for (int dx = 0; dx < 3; ++dx)
            for (int y = cell.top(); y <= cell.center().y(); ++y)
                drawn += shot.pixelColor(x + dx, y) != base;
        EXPECT_GE(drawn, 2) << item->text(0).toStdString();
    }
}

TEST_F(Tree, CatalogueListRules) {
    struct Case {
        const char* what;
        const char* catalogue;
        const char* shape;
    };
    const Case cases[] = {
        {"NumChildren below the list uses the first names",
         "[TreeRoot]\nNumChildren=2\nChildren=A,B,C\n[A]\nStringId=61214\nViewId=1\n[B]\nStringId="
         "61225\nViewId=5\n"
         "[C]\nStringId=61224\nViewId=6\n",
         "P(0)[용지(1),마무리(5)]"},
        {"NumChildren 0 with names listed gives no items",
         "[TreeRoot]\nNumChildren=0\nChildren=A,B\n[A]\nStringId=61214\nViewId=1\n", "P(0)"},
        {"a child list with NumChildren 0 is not read",
         "[TreeRoot]\nNumChildren=1\nChildren=A\n[A]\nStringId=61214\nViewId=1\nNumChildren=0\nChildren=B\n"
         "[B]\nStringId=61219\nViewId=2\n",
         "P(0)[용지(1)]"},
        {"empty names are skipped, third level never read",
         "[TreeRoot]\nNumChildren=2\nChildren=,A,,B,\n[A]\nStringId=61211\nNumChildren=1\nChildren=C\n"
         "[B]\nStringId=61224\nViewId=6\n[C]\nStringId=61213\nViewId=11\nNumChildren=1\nChildren=D\n"
         "[D]\nStringId=61212\nViewId=10\n",
         "P(0)[포트(0)[USB(11)],설정(6)]"},
        {"a blank beside a comma belongs to the name",
         "[TreeRoot]\nNumChildren=2\nChildren=A, A\n[A]\nStringId=61214\n"
         "ViewId=1\n[ A]\nStringId=61225\nViewId=5\n",
         "P(0)[용지(1),용지(1)]"},
        {"missing keys: empty label, page 0", "[TreeRoot]\nNumChildren=1\nChildren=Nowhere\n", "P(0)[(0)]"},
        {"no catalogue tree at all", "[DriverNames]\nOrbis LP 2200 PCL\n", "P(0)"},
        {"at most ten names of a list", "[TreeRoot]\nNumChildren=12\nChildren=A,A,A,A,A,A,A,A,A,A,A,A\n",
         "P(0)[(0),(0),(0),(0),(0),(0),(0),(0),(0),(0)]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteCatalogue(c.catalogue);
        CPrinterDoc doc;
        CPrinterMopView view(&doc);
        view.OnInitialUpdate("P");
        ASSERT_EQ(view.topLevelItemCount(), 1);
        EXPECT_EQ(Shape(view.topLevelItem(0)), c.shape);
    }
}

TEST_F(Tree, SelectionReplacesThePageWithANewOneShowingCurrentValues) {
    WriteCatalogue("[TreeRoot]\nNumChildren=2\nChildren=Parent,Other\n"
                   "[Parent]\nStringId=61211\nViewId=0\nNumChildren=1\nChildren=Child\n"
                   "[Child]\nStringId=61213\nViewId=77\n[Other]\nStringId=61224\nViewId=4242\n");
    CPrinterDoc& doc = MakeDocument({{"X", "first"}});
    CMainFrame& frame = MakeFrame();
    QTreeWidgetItem* root = frame.Tree()->topLevelItem(0);
    QTreeWidgetItem* parent = root->child(0);
    QTreeWidgetItem* child = parent->child(0);
    QTreeWidgetItem* other = root->child(1);

    struct Step {
        QTreeWidgetItem* select;
        std::string valueBefore; // set in the document before selecting ("" = leave)
        bool valuePage;
        std::string shown;
    };
    const Step steps[] = {
        {child, "", true, "first"}, {parent, "", false, ""},           {child, "", true, "first"},
        {other, "", false, ""},     {child, "second", true, "second"}, {root, "", false, ""},
    };
    CSettingsView* previous = frame.Page();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.select->text(0).toStdString());
        if (!s.valueBefore.empty()) doc.CurrentValues["X"] = s.valueBefore;
        frame.Tree()->setCurrentItem(s.select);
        CSettingsView* page = frame.Page();
        ASSERT_NE(page, nullptr);
        EXPECT_NE(page, previous) << "every selection builds a new page";
        EXPECT_EQ(frame.Splitter()->count(), 2);
        auto* valuePage = dynamic_cast<ValuePage*>(page);
        EXPECT_EQ(valuePage != nullptr, s.valuePage);
        if (valuePage)
            EXPECT_EQ(valuePage->Edit->text().toStdString(), s.shown);
        else
            EXPECT_EQ(page->TemplateId(), CSettingsView::kBlankTemplateId);
        EXPECT_EQ(page->GetDocument(), &doc);
        previous = page;
    }
}

} // namespace

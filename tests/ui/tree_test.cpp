// The settings tree: its shape from the catalogue, and the page that each
// selection puts into the right-hand pane.
#include "support/ui_fixture.h"

#include "printer_mop_view.h"

#include <QComboBox>
#include <QImage>
#include <QSplitter>

namespace {

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

TEST_F(Tree, ShippedCatalogueGivesTheSixBranchesAndEachSelectionANewPage) {
    CPrinterDoc& doc = Start({{"BLANKPGS", "PRINT"}});
    CPrinterMopView* tree = frame_->Tree();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    // The port branch names no page: whatever its id, it must not be one of the eleven.
    int portsId = CPrinterMopView::ItemPageId(root->child(5));
    EXPECT_TRUE(portsId < 1 || portsId > 11);
    EXPECT_EQ(Shape(root),
              "LPT1 - Orbis LP 2200(0)[용지(1)[사용자(2),용지 구조(3),용지 무게(4)],마무리(5),설정(6),"
              "PCL 에뮬레이션(7)[트레이 번호(8)],포스트스크립트(9),포트(" +
                  std::to_string(portsId) + ")[별렬(10),USB(11)]]");
    EXPECT_TRUE(root->isExpanded());
    EXPECT_TRUE(tree->selectedItems().isEmpty());
    EXPECT_FALSE(tree->rootIsDecorated());

    // Lines between the items below the root: drawn pixels in the middle of each item's
    // indentation column, from its top to its middle.
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

    // Every selection builds a new page over the document's current values; an item without a
    // page (the port branch, the root) gets the blank one.
    const std::pair<QTreeWidgetItem*, std::string> steps[] = {
        {root->child(0), "PRINT"},     {root->child(5), ""}, {root->child(0), "PRINT"}, {root, ""},
        {root->child(0), "DONTPRINT"}, // the value changed in the document before
    };
    CSettingsView* previous = frame_->Page();
    for (const auto& [item, shown] : steps) {
        SCOPED_TRACE(item->text(0).toStdString() + " " + shown);
        if (!shown.empty()) doc.CurrentValues["BLANKPGS"] = shown;
        tree->setCurrentItem(item);
        CSettingsView* page = frame_->Page();
        ASSERT_NE(page, nullptr);
        EXPECT_NE(page, previous);
        EXPECT_EQ(frame_->Splitter()->count(), 2);
        EXPECT_EQ(page->GetDocument(), &doc);
        auto* list = page->ControlAs<QComboBox>(1018);
        EXPECT_EQ(list ? list->currentData().toString().toStdString() : "",
                  shown.empty() ? "" : "BLANKPGS:" + shown);
        EXPECT_EQ(page->TemplateId() == CSettingsView::kBlankTemplateId, shown.empty());
        previous = page;
    }
    ASSERT_NE(ShowPage(4242), nullptr);
    EXPECT_EQ(frame_->Page()->TemplateId(), CSettingsView::kBlankTemplateId) << "a page id no page has";
}

TEST_F(Tree, CatalogueListRules) {
    const std::pair<const char*, const char*> cases[] = {
        {// NumChildren below the list uses the first names
         "[TreeRoot]\nNumChildren=2\nChildren=A,B,C\n[A]\nStringId=61214\nViewId=1\n"
         "[B]\nStringId=61225\nViewId=5\n[C]\nStringId=61224\nViewId=6\n",
         "P(0)[용지(1),마무리(5)]"},
        {// NumChildren 0 with names listed gives no items
         "[TreeRoot]\nNumChildren=0\nChildren=A,B\n[A]\nStringId=61214\nViewId=1\n", "P(0)"},
        {// a child list with NumChildren 0 is not read
         "[TreeRoot]\nNumChildren=1\nChildren=A\n[A]\nStringId=61214\nViewId=1\nNumChildren=0\nChildren=B\n"
         "[B]\nStringId=61219\nViewId=2\n",
         "P(0)[용지(1)]"},
        {// empty names are skipped, the third level never read
         "[TreeRoot]\nNumChildren=2\nChildren=,A,,B,\n[A]\nStringId=61211\nNumChildren=1\nChildren=C\n"
         "[B]\nStringId=61224\nViewId=6\n[C]\nStringId=61213\nViewId=11\nNumChildren=1\nChildren=D\n"
         "[D]\nStringId=61212\nViewId=10\n",
         "P(0)[포트(0)[USB(11)],설정(6)]"},
        {// a blank beside a comma belongs to the name
         "[TreeRoot]\nNumChildren=2\nChildren=A, A\n[A]\nStringId=61214\nViewId=1\n[ "
         "A]\nStringId=61225\nViewId=5\n",
         "P(0)[용지(1),용지(1)]"},
        {"[TreeRoot]\nNumChildren=1\nChildren=Nowhere\n", "P(0)[(0)]"}, // missing keys: empty label, page 0
        {"[DriverNames]\nOrbis LP 2200 PCL\n", "P(0)"},                 // no catalogue tree at all
        {"[TreeRoot]\nNumChildren=12\nChildren=A,A,A,A,A,A,A,A,A,A,A,A\n", // at most ten names of a list
         "P(0)[(0),(0),(0),(0),(0),(0),(0),(0),(0),(0)]"},
    };
    for (const auto& [catalogue, shape] : cases) {
        SCOPED_TRACE(catalogue);
        WriteCatalogue(catalogue);
        CPrinterDoc doc;
        CPrinterMopView view(&doc);
        view.OnInitialUpdate("P");
        ASSERT_EQ(view.topLevelItemCount(), 1);
        EXPECT_EQ(Shape(view.topLevelItem(0)), shape);
    }
}

} // namespace

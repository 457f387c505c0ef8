// List box, check list box and combo box: sorted insertion, selection rules, check marks that
// stay with their items, and the edit's change events.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ui/StdCtrls.h"

namespace dravello::testing {
namespace {

class ListControlsTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    form = CreateForm<TForm>(app.get());
  }
  static std::vector<std::string> Lines(const TCustomListControl& c) {
    return std::vector<std::string>(c.Items()->begin(), c.Items()->end());
  }
  static std::vector<bool> Checks(const TCheckListBox& c) {
    std::vector<bool> out;
    for (int i = 0; i < c.Items()->Count(); ++i) out.push_back(c.Checked(i));
    return out;
  }
  TForm* form = nullptr;
};

TEST_F(ListControlsTest, SortedComboAddsInPlaceAndTheSelectionFollowsItsItem) {
  auto* cbx = Make<TComboBox>(form, form, "cbxScriptName");
  cbx->SetStyle(csDropDownList);
  cbx->SetSorted(true);
  cbx->Items()->Add("Weekly");
  cbx->Items()->Add("daily");
  cbx->SetItemIndex(1);
  EXPECT_EQ(cbx->Text(), "Weekly");
  EXPECT_EQ(cbx->Items()->Add("Monthly"), 1);
  EXPECT_EQ(Lines(*cbx), (std::vector<std::string>{"daily", "Monthly", "Weekly"}));
  EXPECT_EQ(cbx->ItemIndex(), 2);
  EXPECT_EQ(cbx->Text(), "Weekly");

  // Deleting the selected item leaves no selection and no text.
  cbx->Items()->Delete(2);
  EXPECT_EQ(cbx->ItemIndex(), -1);
  EXPECT_EQ(cbx->Text(), "");
  // Deleting an item before the selection moves the selection along.
  cbx->SetItemIndex(1);
  cbx->Items()->Delete(0);
  EXPECT_EQ(cbx->ItemIndex(), 0);
  EXPECT_EQ(cbx->Text(), "Monthly");
  cbx->Items()->Clear();
  EXPECT_EQ(cbx->ItemIndex(), -1);
}

TEST_F(ListControlsTest, AnIndexOutsideTheItemsSelectsNothing) {
  auto* cbx = Make<TComboBox>(form, form, "cbx");
  cbx->SetStyle(csDropDownList);
  cbx->Items()->SetCommaText("a,b,c");
  for (int32_t bad : {3, 17, -2}) {
    cbx->SetItemIndex(1);
    cbx->SetItemIndex(bad);
    EXPECT_EQ(cbx->ItemIndex(), -1) << bad;
    EXPECT_EQ(cbx->Text(), "");
  }
  cbx->SetText("C");  // the drop-down list selects by the list's comparison
  EXPECT_EQ(cbx->ItemIndex(), 2);
  cbx->SetText("zzz");
  EXPECT_EQ(cbx->ItemIndex(), -1);
}

TEST_F(ListControlsTest, FreeTextComboKeepsTypedTextAndRaisesOnChange) {
  auto* cbx = Make<TComboBox>(form, form, "cbx");
  cbx->Items()->SetCommaText("one,two");
  std::vector<std::string> changes;
  cbx->OnChange = [&](TObject*) { changes.push_back(cbx->Text()); };
  cbx->SetText("tw");
  cbx->SetText("two");
  EXPECT_EQ(cbx->ItemIndex(), 1);
  cbx->SetText("twos");
  EXPECT_EQ(cbx->ItemIndex(), -1);
  EXPECT_EQ(cbx->Text(), "twos");
  EXPECT_EQ(changes, (std::vector<std::string>{"tw", "two", "twos"}));
}

TEST_F(ListControlsTest, OnlyUserSelectionsRaiseEvents) {
  auto* cbx = Make<TComboBox>(form, form, "cbx");
  auto* lb = Make<TListBox>(form, form, "lb");
  cbx->Items()->SetCommaText("a,b");
  lb->Items()->SetCommaText("a,b");
  std::vector<std::string> events;
  cbx->OnClick = [&](TObject*) { events.push_back("cbx click " + std::to_string(cbx->ItemIndex())); };
  cbx->OnChange = [&](TObject*) { events.push_back("cbx change"); };
  lb->OnClick = [&](TObject*) { events.push_back("lb click " + std::to_string(lb->ItemIndex())); };
  cbx->SetItemIndex(0);
  lb->SetItemIndex(0);
  cbx->SelectItem(1);
  lb->SelectItem(1);
  EXPECT_EQ(events, (std::vector<std::string>{"cbx click 1", "cbx change", "lb click 1"}));
  // A disabled list cannot be used (the script list during a run).
  cbx->SetEnabled(false);
  cbx->SelectItem(0);
  EXPECT_EQ(cbx->ItemIndex(), 1);
  EXPECT_EQ(events.size(), 3u);
}

TEST_F(ListControlsTest, ItemAtPosCountsOnlyExistingLinesInsideTheClientArea) {
  auto* lb = Make<TListBox>(form, form, "lb");
  lb->SetBounds(56, 16, 176, 116);  // client 172 x 112
  lb->Items()->SetCommaText("a,b,c");
  EXPECT_EQ(lb->ItemAtPos(5, 0, true), 0);
  EXPECT_EQ(lb->ItemAtPos(5, 12, true), 0);
  EXPECT_EQ(lb->ItemAtPos(5, 13, true), 1);
  EXPECT_EQ(lb->ItemAtPos(5, 38, true), 2);
  EXPECT_EQ(lb->ItemAtPos(5, 39, true), -1);
  EXPECT_EQ(lb->ItemAtPos(5, 39, false), 3);
  EXPECT_EQ(lb->ItemAtPos(5, 112, false), -1);  // below the client area
  EXPECT_EQ(lb->ItemAtPos(-1, 5, false), -1);
  lb->SetTopIndex(1);
  EXPECT_EQ(lb->ItemAtPos(5, 0, true), 1);
  lb->SetItemHeight(20);
  EXPECT_EQ(lb->ItemAtPos(5, 19, true), 1);
  EXPECT_EQ(lb->ItemAtPos(5, 20, true), 2);
}

TEST_F(ListControlsTest, PointerMovesCanTurnTheLineUnderThePointerIntoTheHint) {
  auto* lb = Make<TListBox>(form, form, "lbSrcExt");
  lb->SetBounds(252, 16, 96, 116);
  lb->Items()->SetCommaText("*.doc,*.a-very-long-filter-that-does-not-fit");
  lb->OnMouseMove = [lb](TObject*, TShiftState, int32_t x, int32_t y) {
    int32_t i = lb->ItemAtPos(x, y, true);
    lb->SetHint(i >= 0 ? lb->Items()->Strings(i) : std::string());
  };
  lb->MouseMove(0, 10, 15);
  EXPECT_EQ(lb->Hint(), "*.a-very-long-filter-that-does-not-fit");
  lb->MouseMove(0, 10, 60);
  EXPECT_EQ(lb->Hint(), "");
  EXPECT_EQ(fe->Count("lbSrcExt.Hint"), 2);
}

TEST_F(ListControlsTest, CheckMarksStayWithTheirItemsWhenSortingIsSwitchedOn) {
  // As the script editor fills its source list: unsorted, flag stripped line by line, then sorted.
  auto* lb = Make<TCheckListBox>(form, form, "lbSrcPath");
  lb->Items()->SetCommaText("\"1/srv/zeta\",\"0/home/ann\",\"1/data/mail\",\"1/home/ann\"");
  for (int i = 0; i < lb->Items()->Count(); ++i) {
    std::string line = lb->Items()->Strings(i);
    lb->SetItemText(i, line.substr(1));
    lb->SetChecked(i, line[0] == '1');
  }
  lb->SetItemIndex(0);
  lb->SetSorted(true);
  EXPECT_EQ(Lines(*lb), (std::vector<std::string>{"/data/mail", "/home/ann", "/home/ann", "/srv/zeta"}));
  EXPECT_EQ(Checks(*lb), (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(lb->ItemIndex(), 3);  // the selection went with /srv/zeta
}

TEST_F(ListControlsTest, CheckMarksSurviveSortedInsertionDeletionAndInPlaceEdits) {
  auto* lb = Make<TCheckListBox>(form, form, "lb");
  lb->SetSorted(true);
  lb->Items()->Add("b");
  lb->Items()->Add("d");
  lb->SetChecked(1, true);  // d
  int32_t at = lb->Items()->Add("a");
  ASSERT_EQ(at, 0);
  lb->SetChecked(at, true);
  lb->SetItemIndex(at);
  lb->Items()->Add("c");
  EXPECT_EQ(Lines(*lb), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(Checks(*lb), (std::vector<bool>{true, false, false, true}));

  // Editing an item keeps its place, its mark and the selection, even out of order, and may
  // make two lines equal.
  lb->SetItemText(0, "d");
  EXPECT_EQ(Lines(*lb), (std::vector<std::string>{"d", "b", "c", "d"}));
  EXPECT_EQ(Checks(*lb), (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(lb->ItemIndex(), 0);

  lb->Items()->Delete(1);
  EXPECT_EQ(Checks(*lb), (std::vector<bool>{true, false, true}));
  EXPECT_THROW(lb->Checked(3), EListError);
  EXPECT_THROW(lb->SetItemText(3, "x"), EListError);
}

TEST_F(ListControlsTest, ReplacingTheWholeTextKeepsMarksOfLinesThatStay) {
  auto* lb = Make<TCheckListBox>(form, form, "lb");
  lb->Items()->SetCommaText("x,y,z");
  lb->SetChecked(1, true);
  lb->SetChecked(2, true);
  lb->Items()->SetText("z\ny\nnew\n");
  EXPECT_EQ(Checks(*lb), (std::vector<bool>{true, true, false}));
}

TEST_F(ListControlsTest, UserCheckClicksRaiseOnClickCheck) {
  auto* lb = Make<TCheckListBox>(form, form, "lb");
  lb->Items()->SetCommaText("a,b");
  int clicks = 0;
  lb->OnClickCheck = [&](TObject*) { ++clicks; };
  lb->SetChecked(0, true);
  lb->ClickCheck(1);
  EXPECT_EQ(Checks(*lb), (std::vector<bool>{true, true}));
  EXPECT_EQ(clicks, 1);
  EXPECT_GE(fe->Count("lb:items"), 3);
}

TEST_F(ListControlsTest, EditRaisesOnChangeOnEveryChangeOfItsText) {
  auto* edt = Make<TEdit>(form, form, "edtDstPath");
  std::vector<std::string> seen;
  edt->OnChange = [&](TObject* s) { seen.push_back(static_cast<TEdit*>(s)->Text()); };
  for (const char* t : {"/", "/b", "/b", "/ba", ""}) edt->SetText(t);
  EXPECT_EQ(seen, (std::vector<std::string>{"/", "/b", "/ba", ""}));
  EXPECT_EQ(fe->Count("edtDstPath.Text"), 4);
}

}  // namespace
}  // namespace dravello::testing

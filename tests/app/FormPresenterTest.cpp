#include <gtest/gtest.h>

#include "app/FormPresenter.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

// A message box that, while it waits for its answer, sees the user try to close the window.
class ClosingWhileAsked : public ScriptedUi {
 public:
  std::function<void()> whileAsked;
  int MessageBox(const MessageBoxRequest& request) override {
    if (whileAsked) whileAsked();
    return ScriptedUi::MessageBox(request);
  }
};

class FormPresenterTest : public ::testing::Test {
 protected:
  FormPresenterTest() {
    inst.Write(inst.ProgramIni(),
               "[Project]\r\nNumberOfMachines=1\r\n[Machine1]\r\nMachineName=Linie 1\r\n");
    inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=TRUE\r\n");
    module.GetExistingMachines("");
    dialog.SetupUserInterFace();
    dialog.Form_Activate();
  }
  size_t At(const std::string& name, int index = -1) {
    return size_t(dialog.form.IndexOf(dialog.form.Get(name, index)));
  }

  Installation inst;
  ClosingWhileAsked ui;
  StandardModule module{Services{inst.process, inst.files, *inst.ini, ui}};
  UpdateRun update{module};
  HoravexConfigForm dialog{module, update};
  int redraws = 0;
  FormPresenter presenter{dialog, [this] { ++redraws; }};
};

TEST_F(FormPresenterTest, ActionsReachOnlyControlsThatTakeInputAndNeverASecondHandler) {
  // Machine 2's frame is hidden: its boxes take no click.
  presenter.Toggle(At("CheckMa", 48));
  presenter.MouseUp(At("CheckMa", 48), kLeftButton);
  EXPECT_EQ(dialog.form.Get("CheckMa", 48).value, 0);
  EXPECT_EQ(redraws, 0);

  // A left click on minutes selects them and clears the row's seconds.
  presenter.Toggle(At("CheckMa", 1));
  presenter.MouseUp(At("CheckMa", 1), kLeftButton);
  EXPECT_EQ(dialog.form.Get("CheckMa", 0).value, 0);
  EXPECT_EQ(dialog.form.Get("CheckMa", 1).value, 1);
  EXPECT_EQ(redraws, 2);

  // While the help box of OK waits for its answer, a close request and a click are refused
  // without running anything.
  presenter.Click(At("CommandQuest"));
  EXPECT_EQ(dialog.form.Get("CommandQuest").backColor, kGreen);
  bool closeAllowed = true;
  ui.whileAsked = [&] {
    EXPECT_TRUE(presenter.Handling());
    EXPECT_FALSE(presenter.Accepts(At("CommandCancel")));
    closeAllowed = presenter.CloseRequested();
    presenter.Click(At("CommandQuest"));
  };
  ui.answers = {kAnswerOk};
  presenter.Click(At("CommandOK"));
  EXPECT_FALSE(closeAllowed);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].title, "Info:");
  EXPECT_EQ(dialog.form.Get("CommandQuest").backColor, kGreen);
  EXPECT_FALSE(presenter.Handling());

  // Outside a handler a close request asks; No keeps the window.
  ui.whileAsked = nullptr;
  ui.answers = {kAnswerNo};
  EXPECT_FALSE(presenter.CloseRequested());
  EXPECT_EQ(ui.shown.back().title, "Cancel?");
}

TEST_F(FormPresenterTest, FocusOrderAccessKeysAndPlacesAsDesigned) {
  std::vector<size_t> order = presenter.FocusOrder();
  ASSERT_EQ(order.size(), 4u + 240u);
  EXPECT_EQ(order[0], At("CommandOK"));
  EXPECT_EQ(order[1], At("CommandCancel"));
  EXPECT_EQ(order[2], At("CommandQuest"));
  EXPECT_EQ(order[3], At("CheckDDZahler"));
  EXPECT_EQ(order[4], At("CheckMa", 0));
  // Frames 1 to 4 take the focus backwards.
  EXPECT_EQ(order[4 + 48], At("CheckMa", 95));
  EXPECT_EQ(presenter.InitialFocus(), At("CommandOK"));
  EXPECT_EQ(presenter.LabelTarget(At("Header")), At("CheckDDZahler"));
  EXPECT_EQ(presenter.LabelTarget(At("LabelMaNummer", 16)), At("CheckMa", 48));

  // Inside two frames: each container's offset rounded on its own.
  PixelRect box = presenter.Placement(At("CheckMa", 0), 96);
  EXPECT_EQ(box.left, 54);
  EXPECT_EQ(box.top, 141);
  EXPECT_EQ(box.width, 16);
  EXPECT_EQ(box.height, 20);
  EXPECT_EQ(presenter.Placement(At("CheckMa", 0), 144).top, 212);
  EXPECT_FALSE(presenter.Shown(At("LabelMaUeber", 1)));
  EXPECT_TRUE(presenter.Shown(At("LabelMaUeber", 0)));

  EXPECT_EQ(presenter.Title(), dialog.form.caption);
  presenter.ShowWaiting("waiting for another configuration run of this installation");
  EXPECT_EQ(presenter.Title(),
            dialog.form.caption + " - waiting for another configuration run of this installation");
}

TEST_F(FormPresenterTest, CaptionsAndMessagesAsShown) {
  // 10 pixels a character at the design size, one less per point below it.
  auto width = [](const std::string& shown, double points) {
    return int(shown.size() * (10 - (8.25 - points)));
  };
  CaptionFit fits = FitCaption("&OK", 8.25, 40, width);
  EXPECT_EQ(fits.points, 8.25);
  EXPECT_EQ(fits.text, "&OK");
  CaptionFit smaller = FitCaption("Abbruch", 8.25, 60, width);
  EXPECT_EQ(smaller.points, 6.75);
  EXPECT_EQ(smaller.text, "Abbruch");
  CaptionFit cut = FitCaption("Hilfe zu allem", 8.25, 50, width);
  EXPECT_EQ(cut.points, 5.75);
  EXPECT_EQ(cut.text, "Hilfe");

  EXPECT_EQ(WithoutAccessKeyMarks("&Datei && mehr&"), "Datei & mehr&");
  EXPECT_EQ(OneBreakPerPair("a\n\rb\r\nc\rd\ne"), "a\nb\nc\nd\ne");
}

}  // namespace
}  // namespace horavex::testing

#include "order/OrderedFoodViewController.h"

#include "link/MsgCodes.h"
#include "link/RoomLinkFixture.h"
#include "order/OrderScreens.h"
#include "order/RoomInfoBarView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::testing {
namespace {

using support::Device;

std::shared_ptr<OKFolioObject> line(const char* no, const char* name, const char* price, const char* quantity,
                                    const char* flag = "N") {
  auto l = std::make_shared<OKFolioObject>();
  l->setFoodNo(no);
  l->setFoodName(name);
  l->setPrice(price);
  l->setQuantity(quantity);
  l->setFlag(flag);
  l->setMonad("份");
  return l;
}
std::shared_ptr<OKFolioObject> packageLine(const char* no, const char* name, const char* price) {
  auto l = line(no, name, price, "1");
  l->setIfPack("1");
  return l;
}
std::shared_ptr<OKFolioObject> contentLine(const char* no, const char* name, const char* quantity, const char* parent) {
  auto l = line(no, name, "0", quantity);
  l->setIfPackChild("1");
  l->setParentFoodNo(parent);
  return l;
}
std::shared_ptr<OKFolioObject> grouped(std::shared_ptr<OKFolioObject> l, const char* group) {
  l->setGroupID(group);
  return l;
}

// The basket screen pushed over a plain screen standing for the menu, on the link to the
// stand-in room server, with room "A08" bound.
class OrderedFoodViewControllerTest : public RoomLinkTest {
 protected:
  void SetUp() override {
    OrderScreens::registerStoryboard();
    startServer();
    room().setRoomNo("A08");
    // The room's state, answered to every 119.
    std::vector<std::string> state(25, "");
    state[0] = "0";
    state[5] = "M0815";
    state[11] = "王敏";
    state[24] = "388.00";
    server.setReply(MsgRoomStateAndInfo, state);
    link().initConnect();
    ASSERT_TRUE(runUntil([] { return link().isConnect(); }));
  }
  void TearDown() override {
    m_nav.reset();
    window().setRootViewController(nullptr);
    support::drainMainLoop();
  }

  FolioList& basket() { return handle().getTmpSelectFood()->foodSetArray(); }

  std::shared_ptr<OrderedFoodViewController> showBasket() {
    m_menu = std::make_shared<ui::ViewController>();
    m_nav = std::make_shared<ui::NavigationController>(m_menu);
    m_nav->setNavigationBarHidden(true);  // as the menu keeps it
    window().setRootViewController(m_nav);
    render();
    auto screen = std::dynamic_pointer_cast<OrderedFoodViewController>(
        ui::Storyboard::named(OrderScreens::StoryboardName)->instantiate(OrderScreens::Basket));
    m_nav->pushViewController(screen, false);
    wait(0.1);
    render();
    return screen;
  }
  // The requests of one code the stand-in received, in order.
  std::vector<venue::Frame> requests(int code) const {
    std::vector<venue::Frame> out;
    for (const auto& f : server.frames())
      if (f.code == code) out.push_back(f);
    return out;
  }
  // The fields of a request as sent: every piece after the code line (a last field "" included).
  static std::vector<std::string> sentFields(const venue::Frame& frame) {
    return frame.parts.size() < 2 ? std::vector<std::string>() : std::vector<std::string>(frame.parts.begin() + 2, frame.parts.end());
  }
  std::shared_ptr<OrderFoodCell> row(OrderedFoodViewController& screen, int index) {
    render();
    return std::dynamic_pointer_cast<OrderFoodCell>(
        screen.tblView()->cellForRowAtIndexPath(ui::IndexPath::forRow(index, 0)));
  }
  // Types the password on the open pad and presses OK (or Cancel when `ok` is false).
  void answerPad(OrderedFoodViewController& screen, const std::string& digits, bool ok = true) {
    auto pad = screen.passwordPad();
    ASSERT_TRUE(pad);
    for (char d : digits) pad->clickNum(d - '0');
    ok ? pad->clickOK() : pad->clickCancel();
    wait(0.5);
  }
  std::string frontAlert() const {
    auto alerts = ui::AlertView::queuedAlerts();
    return alerts.empty() ? "" : alerts.back()->title() + "|" + alerts.back()->message();
  }
  // A sample basket: a dish of 12.5 x 2, a package content line x 3, a free line.
  void sampleBasket() {
    basket() = {grouped(line("101", "宫保鸡丁", "12.5", "2"), "G1"), contentLine("301", "果盘", "3", "P9"),
                grouped(line("205", "柠檬茶", "8", "1", "F"), "G1")};
  }

  std::shared_ptr<ui::ViewController> m_menu;
  std::shared_ptr<ui::NavigationController> m_nav;
};

TEST_F(OrderedFoodViewControllerTest, RowsShowEachKindOfLineAndTheTotalsSkipFreeLines) {
  sampleBasket();
  auto screen = showBasket();
  EXPECT_EQ(handle().delegate(), static_cast<SocketDataHandleDelegate*>(screen.get()));
  EXPECT_EQ(screen->lblAmount()->text(), "25.00");
  EXPECT_EQ(screen->lblQuantity()->text(), "5");
  EXPECT_EQ(room().willPayedMoney(), "25.00");

  struct Expected {
    const char *name, *num, *price, *state, *total;
    bool deletable;
  };
  const Expected rows[] = {{"宫保鸡丁", "2", "12.5", OrderFoodCell::DefaultStateText, "25.00", true},
                           {"果盘", "3", "0", "套餐内项目", "0.00", false},
                           {"柠檬茶", "1", "8", " 赠送", "8.00", false}};
  ASSERT_EQ(screen->tblView()->numberOfRowsInSection(0), 3);
  for (int i = 0; i < 3; ++i) {
    auto cell = row(*screen, i);
    ASSERT_TRUE(cell) << i;
    EXPECT_EQ(cell->lblFoodName()->text(), rows[i].name);
    EXPECT_EQ(cell->lblFoodNum()->text(), rows[i].num);
    EXPECT_EQ(cell->lblFoodUntiPrice()->text(), rows[i].price);
    EXPECT_EQ(cell->lblFoodState()->text(), rows[i].state);
    EXPECT_EQ(cell->lblFoodTotalPrice()->text(), rows[i].total);
    EXPECT_EQ(cell->btnDelete()->isHidden(), !rows[i].deletable) << i;
    EXPECT_EQ(cell->btnDelete()->tag(), i);
  }

  // On appearing it asks for the room's state, and the reply refreshes the bar.
  ASSERT_TRUE(runUntil([&] { return screen->roomInfobar()->lblYiXiaoFei()->text() == "388.00"; }));
  ASSERT_EQ(requests(MsgRoomStateAndInfo).size(), 1u);
  EXPECT_EQ(requests(MsgRoomStateAndInfo)[0].fields, (std::vector<std::string>{"A08", "", "0"}));
  EXPECT_EQ(screen->roomInfobar()->lblDingFangRen()->text(), "王敏");
  EXPECT_EQ(screen->roomInfobar()->lblRoomName()->text(), "A08");
  EXPECT_EQ(room().masterID(), "M0815");
}

TEST_F(OrderedFoodViewControllerTest, DeletingTakesTheLinesThatBelongToTheLine) {
  auto package = packageLine("P9", "欢唱套餐", "298");
  auto dish = grouped(line("101", "宫保鸡丁", "28", "1"), "G1");
  auto alone = line("102", "薯条", "15", "1");
  auto other = line("103", "爆米花", "12", "1");
  basket() = {package,
              contentLine("301", "果盘", "1", "P9"),
              dish,
              contentLine("302", "啤酒", "6", "P9"),
              grouped(line("205", "柠檬茶", "0", "1", "F"), "G1"),
              alone,
              other,
              grouped(line("206", "爆米花", "0", "1", "F"), "G2")};
  auto screen = showBasket();
  auto probeButton = ui::Button::create();
  ui::Button& probe = *probeButton;

  // A package takes its content lines, wherever they stand.
  probe.setTag(0);
  screen->deleteSelect(probe);
  ASSERT_EQ(basket().size(), 5u);
  EXPECT_EQ(basket()[0], dish);
  // A dish takes every line of its pricing.
  screen->deleteSelect(*row(*screen, 0)->btnDelete());
  ASSERT_EQ(basket().size(), 3u);
  EXPECT_EQ(basket()[0], alone);
  // A line without a group goes alone, and the totals and rows follow.
  probe.setTag(0);
  screen->deleteSelect(probe);
  EXPECT_EQ(basket().size(), 2u);
  EXPECT_EQ(basket()[0], other);
  EXPECT_EQ(screen->lblAmount()->text(), "12.00");
  EXPECT_EQ(screen->tblView()->numberOfRowsInSection(0), 2);
  // A tag past the end or below zero changes nothing.
  for (int tag : {2, 7, -1}) {
    probe.setTag(tag);
    screen->deleteSelect(probe);
  }
  EXPECT_EQ(basket().size(), 2u);

  screen->DeleteAllFoodAction();
  EXPECT_TRUE(basket().empty());
  EXPECT_EQ(screen->lblAmount()->text(), "0.00");
  EXPECT_EQ(screen->lblQuantity()->text(), "0");
  EXPECT_EQ(screen->tblView()->numberOfRowsInSection(0), 0);
}

TEST_F(OrderedFoodViewControllerTest, ConfirmNeedsTheLinkAndADish) {
  auto screen = showBasket();
  tap(*screen->btnConfirm());
  EXPECT_EQ(frontAlert(), "提示|您还没有点选菜品！");
  EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  EXPECT_FALSE(screen->passwordPad());

  // The venue goes away: the screen takes the loss and keeps trying as the decoder would.
  sampleBasket();
  ASSERT_TRUE(server.setRefusing(true));
  const size_t accepted = server.connectionsAccepted();
  server.closeConnection();
  ASSERT_TRUE(runUntil([&] { return noticeCount("serverDidDisconnect") >= 2; }));
  EXPECT_FALSE(link().getConnected());
  ui::AlertView::reset();
  tap(*screen->btnConfirm());
  EXPECT_EQ(frontAlert(), "提示|当前网络未链接！请检查网络链接后再试。");
  EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  EXPECT_FALSE(screen->passwordPad());

  ASSERT_TRUE(server.setRefusing(false));
  wait(SocketDataHandle::kRetryDelay);
  ASSERT_TRUE(runUntil([&] { return link().isConnect() && server.connectionsAccepted() == accepted + 1; }));
  EXPECT_TRUE(requests(MsgConfirmInputFood).empty());
}

TEST_F(OrderedFoodViewControllerTest, AnAcceptedOrderSendsEveryLineAndReturnsToTheMenuWithAnEmptyBasket) {
  sampleBasket();
  basket()[1]->setDeduckClerkName(std::nullopt);  // an unset field still takes its place
  // Summed in single precision, 1234567.89 would read 1234567.875 and the total lose a cent.
  basket().push_back(line("900", "烤全羊", "1234567.89", "1"));
  server.setReply(MsgConfirmInputFood, std::vector<std::string>{"0", ""});
  auto screen = showBasket();
  EXPECT_EQ(screen->lblAmount()->text(), "1234592.89");
  tap(*screen->btnConfirm());
  auto pad = screen->passwordPad();
  ASSERT_TRUE(pad);
  EXPECT_EQ(pad->title()->text(), "请输入落单密码");
  EXPECT_FALSE(screen->btnConfirm()->isEnabled());
  answerPad(*screen, "13579");

  ASSERT_TRUE(runUntil([&] { return m_nav->topViewController() == m_menu.get(); }));
  const std::vector<venue::Frame> sent = requests(MsgConfirmInputFood);
  ASSERT_EQ(sent.size(), 1u);
  const std::vector<std::string> f = sentFields(sent[0]);
  ASSERT_EQ(f.size(), 11u + 30 * 4);
  EXPECT_EQ(std::vector<std::string>(f.begin(), f.begin() + 11),
            (std::vector<std::string>{"A08", "3", "3", "", "13579", "1234592.89", "4", "0", "0", "", ""}));
  const std::vector<std::string> first(f.begin() + 11, f.begin() + 41);
  EXPECT_EQ(first, (std::vector<std::string>{"101", "宫保鸡丁", "12.5", "N", "2", "", "", "", "份", "", "", "",
                                             "", "", "", "0", "G1", "", "", "", "", "", "", "0", "0", "", "", "",
                                             "", ""}));
  EXPECT_EQ(f[41 + 13], "1");   // the content line's IfPackChild
  EXPECT_EQ(f[41 + 17], "P9");  // and its package
  EXPECT_EQ(f[71 + 3], "F");
  EXPECT_TRUE(basket().empty());
  EXPECT_TRUE(ui::AlertView::queuedAlerts().empty());
}

TEST_F(OrderedFoodViewControllerTest, ARefusalIsShownAndKeepsTheBasketAndTheScreen) {
  sampleBasket();
  auto screen = showBasket();
  for (const auto& [message, shown] : {std::pair<std::string, std::string>{"落单密码错误", "落单密码错误"},
                                       std::pair<std::string, std::string>{"", "提交失败"}}) {
    ui::AlertView::reset();
    server.setReply(MsgConfirmInputFood, std::vector<std::string>{"1", message});
    tap(*screen->btnConfirm());
    answerPad(*screen, "1");
    ASSERT_TRUE(runUntil([&] { return !frontAlert().empty(); })) << shown;
    EXPECT_EQ(frontAlert(), "提示|" + shown);
    EXPECT_EQ(m_nav->topViewController(), screen.get());
    EXPECT_EQ(basket().size(), 3u);
    EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  }
  EXPECT_EQ(requests(MsgConfirmInputFood).size(), 2u);
}

TEST_F(OrderedFoodViewControllerTest, TheConfirmButtonComesBackWhenNoOrderIsOut) {
  sampleBasket();
  auto screen = showBasket();
  // Cancel, and OK with nothing typed, send nothing.
  tap(*screen->btnConfirm());
  answerPad(*screen, "42", false);
  EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  tap(*screen->btnConfirm());
  answerPad(*screen, "");
  EXPECT_TRUE(screen->btnConfirm()->isEnabled());
  EXPECT_FALSE(screen->passwordPad());

  // An order out when the link goes: no reply can come, so the button returns, and the link is
  // opened again at once.
  tap(*screen->btnConfirm());
  answerPad(*screen, "8888");
  ASSERT_TRUE(runUntil([&] { return requests(MsgConfirmInputFood).size() == 1; }));
  EXPECT_FALSE(screen->btnConfirm()->isEnabled());
  server.closeConnection();
  ASSERT_TRUE(runUntil([&] { return screen->btnConfirm()->isEnabled(); }));
  ASSERT_TRUE(runUntil([&] { return server.connectionsAccepted() == 2 && link().isConnect(); }));
  EXPECT_EQ(basket().size(), 3u);
  EXPECT_EQ(m_nav->topViewController(), screen.get());
}

class OrderedFoodViewControllerFramesTest : public OrderedFoodViewControllerTest,
                                            public ::testing::WithParamInterface<Device> {};

TEST_P(OrderedFoodViewControllerFramesTest, TheSceneKeepsTheStandardGridOnBothTablets) {
  setDevice(GetParam());
  sampleBasket();
  basket().insert(basket().begin(), packageLine("P9", "欢唱套餐", "298"));
  basket().push_back(line("102", "薯条", "15", "2"));
  auto screen = showBasket();
  ASSERT_TRUE(runUntil([&] { return screen->roomInfobar()->lblYiXiaoFei()->text() == "388.00"; }));
  wait(0.5);
  struct Row {
    const char* what;
    const ui::View* view;
    gfx::Rect frame;
  };
  auto cell = row(*screen, 0);
  const Row rows[] = {
      {"room bar", screen->roomInfobar(), {10, 19, 470, 92}},
      {"list", screen->tblView(), {20, 170, 984, 480}},
      {"amount", screen->lblAmount(), {330, 672, 190, 48}},
      {"quantity", screen->lblQuantity(), {130, 672, 90, 48}},
      {"back", screen->btnBack(), {560, 668, 130, 56}},
      {"delete all", screen->btnDelete(), {710, 668, 130, 56}},
      {"confirm", screen->btnConfirm(), {860, 668, 144, 56}},
      {"order out spinner", screen->orderOutSpinner(), {724, 84, 32, 32}},
      {"order out text", screen->orderOutLabel(), {760, 84, 244, 32}},
      {"row name", cell->lblFoodName(), {20, 0, 320, 56}},
      {"row total", cell->lblFoodTotalPrice(), {770, 0, 120, 56}},
      {"row delete", cell->btnDelete(), {900, 10, 64, 36}},
  };
  for (const Row& r : rows)
    support::expectRect(r.view->frame(), r.frame.x(), r.frame.y(), r.frame.width(), r.frame.height(), r.what);
  EXPECT_EQ(cell->frame().height(), 56);
  EXPECT_EQ(screen->view()->backgroundColor(), gfx::Color::black());
  screenshot("basket");
  tap(*screen->btnConfirm());
  wait(0.5);
  screenshot("password-pad");
}

INSTANTIATE_TEST_SUITE_P(Tablets, OrderedFoodViewControllerFramesTest,
                         ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace kt::testing

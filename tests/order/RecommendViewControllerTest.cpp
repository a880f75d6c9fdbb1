#include "order/RecommendViewController.h"

#include <algorithm>

#include "imagecache/ImageViewWebCache.h"
#include "link/MsgCodes.h"
#include "link/RoomLinkFixture.h"
#include "link/RoomRequests.h"
#include "order/OrderScreens.h"
#include "order/PackChildCell.h"
#include "order/PackChildViewController.h"
#include "order/PopViewController.h"
#include "order/RoomInfoBarView.h"
#include "order/ShowPopViewSegue.h"
#include "platform/core/Device.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Stepper.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "venue/VenueRoom.h"
#include "venue/WebServer.h"
#include "widgets/controls/EffectLabel.h"

namespace kt::testing {
namespace {

using support::Device;

// The recommended dishes as the menu opens them: the list of the stand-in venue's recommended
// dishes, fetched over the link and decoded, on a screen pushed over a plain stand-in for the
// menu.
class RecommendViewControllerTest : public RoomLinkTest {
 protected:
  void SetUp() override {
    OrderScreens::registerStoryboard();
    ShowPopViewSegue::resetForTesting();
    core::Device::setSystemVersion("9.3");
    m_venue.install(server);
    startServer();
    ASSERT_TRUE(m_web.start());
    core::UserDefaults::standard().setString("webService_Port", std::to_string(m_web.port()));
    room().setRoomNo(m_venue.identity().roomNo);
    link().initConnect();
    ASSERT_TRUE(runUntil([] { return link().isConnect(); }));
    RecordingDelegate menu(&D::socketDataHandleDidFoodList);
    handle().setDelegate(&menu);
    RoomRequests::send(RoomRequests::recommendedFoodList());
    ASSERT_TRUE(runUntil([&] { return !menu.foods.empty(); }));
    m_list = menu.foods;
  }
  void TearDown() override {
    ShowPopViewSegue::setDismiss();
    m_nav.reset();
    window().setRootViewController(nullptr);
    support::drainMainLoop();
    ShowPopViewSegue::resetForTesting();
    core::Device::resetSystemVersionForTesting();
  }

  std::shared_ptr<RecommendViewController> showRecommend(FoodList list) {
    m_nav = std::make_shared<ui::NavigationController>(std::make_shared<ui::ViewController>());
    m_nav->setNavigationBarHidden(true);
    window().setRootViewController(m_nav);
    render();
    auto screen = std::dynamic_pointer_cast<RecommendViewController>(
        ui::Storyboard::named(OrderScreens::StoryboardName)->instantiate(OrderScreens::Recommended));
    screen->setTempFoodList(std::move(list));
    m_nav->pushViewController(screen, false);
    wait(0.5);
    render();
    return screen;
  }
  static void toPage(RecommendViewController& screen, int page) {
    screen.hPageControl()->setCurrentPage(page);
    screen.pageControlValueDidChange();
  }
  // The page of the first listed dish that `pick` accepts in the venue's menu.
  int pageOf(const std::function<bool(const venue::MenuDish&)>& pick) const {
    for (size_t i = 0; i < m_list.size(); ++i)
      if (const venue::MenuDish* dish = m_venue.menu().dish(*m_list[i]->No()); dish && pick(*dish))
        return static_cast<int>(i);
    return -1;
  }
  FolioList& basket() { return handle().getTmpSelectFood()->foodSetArray(); }
  // Goes to the page and presses its order button: the dish popover it opened.
  std::shared_ptr<PopViewController> orderFromPage(RecommendViewController& screen, int page) {
    toPage(screen, page);
    tap(*screen.btnDianXuan());
    wait(0.5);
    return shownIn<PopViewController>(screen.popoverController());
  }
  // The popover the screen opened last, when it is showing.
  template <class T>
  std::shared_ptr<T> shownIn(const std::shared_ptr<ui::PopoverController>& popover) {
    if (!popover || !popover->isPopoverVisible()) return nullptr;
    return std::dynamic_pointer_cast<T>(popover->contentViewController());
  }
  // The popover's card points at the order button: it sits above it and spans its centre.
  static void expectPointsAtOrderButton(RecommendViewController& screen, const ui::PopoverController& popover) {
    auto card = popover.card();
    ASSERT_TRUE(card);
    const gfx::Rect button = screen.btnDianXuan()->convertRectTo(screen.btnDianXuan()->bounds(), nullptr);
    const gfx::Rect box = card->convertRectTo(card->bounds(), nullptr);
    EXPECT_LE(box.maxY(), button.minY() + 1);
    EXPECT_LE(box.minX(), button.midX());
    EXPECT_GE(box.maxX(), button.midX());
  }

  venue::VenueRoom m_venue;
  venue::WebServer m_web;
  FoodList m_list;
  std::shared_ptr<ui::NavigationController> m_nav;
};

TEST_F(RecommendViewControllerTest, PagesShowTheDishAndWhatTheBasketAlreadyHolds) {
  ASSERT_GE(m_list.size(), 3u);
  // The second dish is in the basket twice, the first time as a package content line.
  auto content = std::make_shared<OKFolioObject>();
  content->setFoodNo(m_list[1]->No());
  content->setQuantity("4");
  content->setIfPackChild("1");
  auto again = std::make_shared<OKFolioObject>();
  again->setFoodNo(m_list[1]->No());
  again->setQuantity("9");
  basket() = {content, again};

  auto screen = showRecommend(m_list);
  EXPECT_EQ(screen->hFlowView()->pageCount(), static_cast<int64_t>(m_list.size()));
  EXPECT_EQ(screen->hPageControl()->numberOfPages(), static_cast<int>(m_list.size()));
  const auto expectPage = [&](int page, const char* already, bool orderable) {
    EXPECT_EQ(screen->index(), page);
    EXPECT_EQ(screen->lblPinMing()->text(), *m_list[page]->NameChs()) << page;
    EXPECT_EQ(screen->lblDanJia()->text(), *m_list[page]->Price());
    EXPECT_EQ(screen->lblDanWei()->text(), *m_list[page]->Monad());
    EXPECT_EQ(screen->lblYiXuan()->text(), already) << page;
    EXPECT_EQ(screen->btnDianXuan()->isHidden(), !orderable) << page;
  };
  expectPage(0, "0", true);
  toPage(*screen, 1);
  expectPage(1, "4", false);
  screen->didScrollToPage(*screen->hFlowView(), 2);
  expectPage(2, "0", true);

  // A scroll view's page, kept within the list whatever the offset.
  auto scroller = std::make_shared<ui::ScrollView>(gfx::Rect{0, 0, 800, 550});
  const double last = static_cast<double>(m_list.size() - 1);
  for (const auto& [x, page] : std::vector<std::pair<double, int>>{
           {800, 1}, {1199, 1}, {1201, 2}, {-500, 0}, {800 * (last + 5), static_cast<int>(last)}}) {
    scroller->setContentOffset({x, 0});
    screen->scrollViewDidScroll(*scroller);
    EXPECT_EQ(screen->index(), page) << x;
  }

  // Each page is a rounded photograph asked without the time, at 1024 x 768.
  auto photo = std::dynamic_pointer_cast<ui::ImageView>(screen->hFlowView()->cellAtIndex(0));
  ASSERT_TRUE(photo);
  EXPECT_EQ(ImageViewWebCache::ic_imageURL(photo)->absoluteString(),
            "http://127.0.0.1:" + std::to_string(m_web.port()) + "/GetPhoto.aspx?Flag=00&id=" + *m_list[0]->No() +
                "&width=1024.000000&height=768.000000");
  EXPECT_EQ(photo->layer()->cornerRadius(), 6);
  EXPECT_TRUE(photo->layer()->masksToBounds());
  EXPECT_EQ(screen->hFlowView()->pageSize(), RecommendViewController::PageSize);
}

TEST_F(RecommendViewControllerTest, AnEmptyListShowsNothingAndOrdersNothing) {
  auto screen = showRecommend({});
  auto scroller = std::make_shared<ui::ScrollView>(gfx::Rect{0, 0, 800, 550});
  scroller->setContentOffset({1600, 0});
  screen->scrollViewDidScroll(*scroller);
  screen->didScrollToPage(*screen->hFlowView(), 3);
  screen->btnDianXuanAction();
  EXPECT_EQ(screen->index(), 0);
  EXPECT_EQ(screen->lblPinMing()->text(), "");
  EXPECT_FALSE(screen->popoverController());
}

TEST_F(RecommendViewControllerTest, APartFlipShowsTheDishItPassesIntoBeforeComingToRest) {
  ASSERT_GE(m_list.size(), 3u);
  auto screen = showRecommend(m_list);
  const auto& pages = screen->hFlowView()->scrollView();
  ASSERT_EQ(screen->scrollView(), pages);
  pages->setContentOffset({pages->frame().width() * 1.6, 0});  // past half of the second flip, not at rest
  EXPECT_EQ(screen->lblPinMing()->text(), *m_list[2]->NameChs());
}

TEST_F(RecommendViewControllerTest, ADishListReachingItThroughTheDecoderIsStored) {
  auto screen = showRecommend({m_list.front()});
  handle().setDelegate(screen.get());
  RoomRequests::send(RoomRequests::recommendedFoodList());
  ASSERT_TRUE(runUntil([&] { return screen->tempFoodList().size() == m_list.size(); }));
  EXPECT_EQ(screen->tempFoodList().back()->No(), m_list.back()->No());
}

TEST_F(RecommendViewControllerTest, ADishOrderedInThePopoverHidesTheOrderButton) {
  const int page = pageOf([](const venue::MenuDish& d) { return !d.pack && d.freeSetId.empty() && d.autoFree.empty(); });
  ASSERT_GE(page, 0);
  auto screen = showRecommend(m_list);
  auto popover = orderFromPage(*screen, page);
  ASSERT_TRUE(popover);
  EXPECT_EQ(popover->tempFoodObject(), m_list[page]);
  EXPECT_EQ(popover->delegate(), static_cast<popViewControllerDelegate*>(screen.get()));
  expectPointsAtOrderButton(*screen, *screen->popoverController());
  screenshot("dish-popover");

  popover->onClickAction(*popover->padKey(2));
  popover->onClickAction(*popover->padKey(PopViewController::OkTag));
  ASSERT_TRUE(runUntil([&] { return !screen->popoverController()->isPopoverVisible(); }));
  EXPECT_EQ(screen->lblYiXuan()->text(), "2");
  EXPECT_TRUE(screen->btnDianXuan()->isHidden());
  ASSERT_FALSE(basket().empty());
  EXPECT_EQ(basket()[0]->FoodNo(), m_list[page]->No());
}

TEST_F(RecommendViewControllerTest, APackageGoesOnToTheChooserFromTheOrderButton) {
  const int page = pageOf([](const venue::MenuDish& d) { return d.pack; });
  ASSERT_GE(page, 0);
  auto screen = showRecommend(m_list);
  auto popover = orderFromPage(*screen, page);
  ASSERT_TRUE(popover);
  popover->onClickAction(*popover->padKey(PopViewController::OkTag));

  // The priced package brings its groups: the dish popover closes and the chooser opens from the
  // same button, with the package and its groups.
  ASSERT_TRUE(runUntil([&] { return shownIn<PackChildViewController>(ShowPopViewSegue::sharedPopover()) != nullptr; }));
  wait(0.5);
  auto chooser = shownIn<PackChildViewController>(ShowPopViewSegue::sharedPopover());
  EXPECT_FALSE(popover->view()->window());
  EXPECT_EQ(screen->popoverController(), ShowPopViewSegue::sharedPopover());
  EXPECT_EQ(chooser->food(), m_list[page]);
  EXPECT_EQ(chooser->delegate(), static_cast<popViewControllerDelegate*>(screen.get()));
  EXPECT_EQ(chooser->packArray().size(), m_venue.menu().packGroups(*m_list[page]->No())->size());
  EXPECT_FALSE(chooser->dict().empty());
  EXPECT_EQ(chooser->view()->bounds().size, ShowPopViewSegue::PackChooserSize);
  expectPointsAtOrderButton(*screen, *ShowPopViewSegue::sharedPopover());
  screenshot("package-chooser");

  // Cancel orders nothing: the chooser closes and the dish can still be ordered.
  chooser->btnCancel();
  wait(0.5);
  EXPECT_FALSE(ShowPopViewSegue::sharedPopover()->isPopoverVisible());
  EXPECT_FALSE(screen->btnDianXuan()->isHidden());
  EXPECT_EQ(screen->lblYiXuan()->text(), "0");
  EXPECT_TRUE(basket().empty());

  // Again, with every group filled: the package and its contents reach the basket and the page
  // shows it ordered.
  popover = orderFromPage(*screen, page);
  ASSERT_TRUE(popover);
  popover->onClickAction(*popover->padKey(PopViewController::OkTag));
  ASSERT_TRUE(runUntil([&] { return shownIn<PackChildViewController>(ShowPopViewSegue::sharedPopover()) != nullptr; }));
  wait(0.5);
  chooser = shownIn<PackChildViewController>(ShowPopViewSegue::sharedPopover());
  // Each group opened and filled: the beer whole, three snacks, the fruit plate.
  const auto choose = [&](int group, int times) {
    auto header = ui::Button::create();
    header->setTag(group);
    if (chooser->rowsInSection(group) == 0) chooser->headerClicked(*header);
    render();
    for (int count = 1; count <= times; ++count) {
      render();
      auto dish = std::dynamic_pointer_cast<PackChildCell>(
          chooser->prckChildTableView()->cellForRowAtIndexPath(ui::IndexPath::forRow(0, group)));
      ASSERT_TRUE(dish) << group;
      if (dish->stepper()->value() >= times) break;  // chosen already (a group of one dish)
      dish->stepper()->setValue(dish->stepper()->value() + 1);
      chooser->stepperAction(*dish->stepper());
    }
    chooser->headerClicked(*header);  // closed again, so the next group shows
    render();
  };
  choose(0, 1);
  choose(1, 3);
  choose(2, 1);
  chooser->btnOK();
  wait(0.5);
  EXPECT_TRUE(ui::AlertView::queuedAlerts().empty());
  EXPECT_FALSE(ShowPopViewSegue::sharedPopover()->isPopoverVisible());
  EXPECT_TRUE(screen->btnDianXuan()->isHidden());
  EXPECT_EQ(screen->lblYiXuan()->text(), "1");
  ASSERT_GE(basket().size(), 4u);
  EXPECT_EQ(basket()[0]->FoodNo(), m_list[page]->No());
  for (size_t i = 1; i < basket().size(); ++i) {
    EXPECT_EQ(basket()[i]->IfPackChild(), "1") << i;
    EXPECT_EQ(basket()[i]->ParentFoodNo(), m_list[page]->No()) << i;
  }
}

class RecommendViewControllerFramesTest : public RecommendViewControllerTest,
                                          public ::testing::WithParamInterface<Device> {};

TEST_P(RecommendViewControllerFramesTest, TheSceneKeepsTheStandardGridOnBothTablets) {
  setDevice(GetParam());
  auto screen = showRecommend(m_list);
  toPage(*screen, 1);
  const auto photo = [&](size_t i) { return std::dynamic_pointer_cast<ui::ImageView>(screen->hFlowView()->cellAtIndex(i)); };
  ASSERT_TRUE(runUntil([&] { return photo(0) && photo(0)->image() && photo(1) && photo(1)->image(); }));
  wait(1.0);
  struct Row {
    const char* what;
    const ui::View* view;
    gfx::Rect frame;
  };
  const Row rows[] = {
      {"room bar", screen->roomInfobar(), {10, 39, 470, 92}},
      {"pager", screen->hFlowView(), {0, 136, 1024, 550}},
      {"page dots", screen->hPageControl(), {312, 686, 400, 18}},
      {"name", screen->lblPinMing(), {30, 706, 330, 52}},
      {"price", screen->lblDanJia(), {430, 706, 110, 52}},
      {"already", screen->lblYiXuan(), {750, 706, 80, 52}},
      {"order", screen->btnDianXuan().get(), {850, 706, 150, 52}},
      {"back", screen->btnBack(), {884, 56, 120, 50}},
  };
  for (const Row& r : rows)
    support::expectRect(r.view->frame(), r.frame.x(), r.frame.y(), r.frame.width(), r.frame.height(), r.what);
  EXPECT_EQ(screen->lblPinMing()->shadowBlur(), 5);
  EXPECT_EQ(screen->hFlowView()->minimumPageScale(), 0.9);
  screenshot("recommended");
}

INSTANTIATE_TEST_SUITE_P(Tablets, RecommendViewControllerFramesTest,
                         ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace kt::testing
